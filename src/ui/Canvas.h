#pragma once
// Software drawing on a Bitmap24 with the semantics of a classic desktop toolkit's canvas:
// lines exclude their end point, rectangles and ellipses fill [left, right) x [top, bottom),
// exclusive-or mode combines pen colour and pixel bit by bit (drawing twice restores).
// Everything is clipped to the picture.
#include <string>

#include "ui/Bitmap24.h"

namespace ui {

enum class PenStyle { Solid, Dot };
enum class PenMode { Copy, Xor };
enum class BrushStyle { Solid, Clear };

struct Pen {
  Color color = colors::Black;
  int width = 1;
  PenStyle style = PenStyle::Solid;
  PenMode mode = PenMode::Copy;
};

struct Brush {
  Color color = colors::White;
  BrushStyle style = BrushStyle::Solid;
};

class Canvas {
 public:
  explicit Canvas(Bitmap24& target) : bmp_(target) {}

  Pen pen;
  Brush brush;
  Color fontColor = colors::Black;

  Bitmap24& bitmap() { return bmp_; }

  void moveTo(int x, int y);
  void lineTo(int x, int y);  // from the pen position up to, not including, (x, y)
  int penX() const { return penX_; }
  int penY() const { return penY_; }

  // Outline with the pen, inside filled with the brush unless it is clear.
  void rectangle(int x1, int y1, int x2, int y2);
  void ellipse(int x1, int y1, int x2, int y2);
  // Brush only, no outline.
  void fillRect(const Rect& r);
  void setPixel(int x, int y, Color c);
  Color pixel(int x, int y) const;

  // Text in the built-in bitmap font; the cell background is filled with the brush colour
  // unless the brush is clear. (x, y) is the top-left corner of the first cell.
  void textOut(int x, int y, const std::string& text);
  static int textWidth(const std::string& text);
  static int textHeight();

  // Copies src's srcRect into dst, stretching (nearest pixel) when the sizes differ.
  void copyRect(const Rect& dst, const Bitmap24& src, const Rect& srcRect);
  void stretchDraw(const Rect& dst, const Bitmap24& src);
  void draw(int x, int y, const Bitmap24& src);

 private:
  void plot(int x, int y, Color c);  // one pixel with the pen mode
  Bitmap24& bmp_;
  int penX_ = 0, penY_ = 0;
  int dotPhase_ = 0;
};

}  // namespace ui
