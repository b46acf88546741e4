#pragma once
// The built-in text face for drawing on pictures: printable ASCII in a fixed cell of
// 7 x 13 pixels (a 5 x 7 glyph with two descender rows, one blank column either side).
#include <cstdint>
#include <string_view>
#include <vector>

namespace ui {

class BitmapFont {
 public:
  static constexpr int CellWidth = 7;
  static constexpr int CellHeight = 13;

  // The ink of one row (0 at the top) of a character's cell: bit (CellWidth - 1 - column)
  // is set where the pixel is ink. Control codes are blank; anything outside 32..126 draws
  // as '?'.
  static uint8_t RowBits(uint32_t code, int row);

  // One code per cell: ASCII bytes as they are, each UTF-8 sequence as one non-ASCII code,
  // so "°" takes one cell, not two.
  static std::vector<uint32_t> Codes(std::string_view text);
};

}  // namespace ui
