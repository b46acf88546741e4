#include "ui/Canvas.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ui/BitmapFont.h"

namespace {

using ui::Bitmap24;
using ui::Canvas;
using ui::Color;
using ui::Rect;
namespace colors = ui::colors;

Bitmap24 Pattern(int w, int h) {
  Bitmap24 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.setPixel(x, y, Color(static_cast<uint8_t>(x * 9 + y), static_cast<uint8_t>(y * 13 + 5),
                             static_cast<uint8_t>(x * y)));
  return b;
}

// '#' for pixels that are not black, '.' for black; rows separated by '|'.
std::string Ascii(const Bitmap24& b) {
  std::string s;
  for (int y = 0; y < b.height(); ++y) {
    if (y) s += '|';
    for (int x = 0; x < b.width(); ++x) s += b.pixel(x, y) == colors::Black ? '.' : '#';
  }
  return s;
}

int CountNot(const Bitmap24& b, Color background) {
  int n = 0;
  for (int y = 0; y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x) n += b.pixel(x, y) != background;
  return n;
}

// Compares every pixel with want(x, y), naming the first few that differ.
void ExpectPixels(const Bitmap24& b, const std::function<Color(int, int)>& want, const std::string& what = "") {
  int wrong = 0;
  for (int y = 0; y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x)
      if (b.pixel(x, y) != want(x, y) && wrong++ < 3) ADD_FAILURE() << what << " pixel " << x << "," << y;
  EXPECT_EQ(wrong, 0) << what;
}

struct Shape {
  std::string name;
  std::function<void(Canvas&)> draw;
};

// Every kind of figure, including degenerate boxes, wide and dotted pens and figures that
// leave the picture.
std::vector<Shape> AllShapes() {
  std::vector<Shape> s;
  for (int w : {1, 2, 3, 6}) {
    for (int dx = -9; dx <= 9; dx += 3)
      for (int dy = -7; dy <= 7; dy += 7)
        if (dx != 0 || dy != 0)
          s.push_back({"line w" + std::to_string(w) + " " + std::to_string(dx) + "," + std::to_string(dy),
                     [=](Canvas& c) {
                       c.pen.width = w;
                       c.moveTo(20, 20);
                       c.lineTo(20 + dx, 20 + dy);
                     }});
  }
  s.push_back({"dotted polyline", [](Canvas& c) {
                 c.pen.style = ui::PenStyle::Dot;
                 c.moveTo(2, 2);
                 c.lineTo(30, 5);
                 c.lineTo(31, 40);
                 c.lineTo(2, 2);
               }});
  s.push_back({"line leaving the picture", [](Canvas& c) {
                 c.moveTo(-30, 10);
                 c.lineTo(100, 47);
               }});
  for (int w : {1, 2, 3, 4}) {
    for (bool clear : {false, true}) {
      std::string tag = " w" + std::to_string(w) + (clear ? " clear" : " solid");
      for (Rect r : {Rect{5, 6, 25, 19}, Rect{5, 6, 6, 19}, Rect{5, 6, 25, 7}, Rect{5, 6, 7, 8},
                     Rect{30, 20, 3, 2}, Rect{-5, -5, 50, 40}}) {
        std::string box = " " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                          std::to_string(r.right) + "," + std::to_string(r.bottom);
        s.push_back({"rectangle" + tag + box, [=](Canvas& c) {
                       c.pen.width = w;
                       if (clear) c.brush.style = ui::BrushStyle::Clear;
                       c.rectangle(r.left, r.top, r.right, r.bottom);
                     }});
        s.push_back({"ellipse" + tag + box, [=](Canvas& c) {
                       c.pen.width = w;
                       if (clear) c.brush.style = ui::BrushStyle::Clear;
                       c.ellipse(r.left, r.top, r.right, r.bottom);
                     }});
      }
    }
  }
  for (Rect r : {Rect{3, 4, 40, 30}, Rect{10, 10, 13, 11}, Rect{-20, 5, 30, 80}}) {
    s.push_back({"dotted rectangle", [=](Canvas& c) {
                   c.pen.style = ui::PenStyle::Dot;
                   c.rectangle(r.left, r.top, r.right, r.bottom);
                 }});
    s.push_back({"dotted ellipse", [=](Canvas& c) {
                   c.pen.style = ui::PenStyle::Dot;
                   c.ellipse(r.left, r.top, r.right, r.bottom);
                 }});
  }
  for (int e : {1, 2, 3, 4, 5, 7, 8, 13, 21})
    s.push_back({"ellipse " + std::to_string(e) + " x " + std::to_string(e + 3), [=](Canvas& c) {
                   c.ellipse(10, 10, 10 + e, 13 + e);
                 }});
  s.push_back({"text", [](Canvas& c) { c.textOut(3, 4, "Q: 12.5% <-> (a=b/c)"); }});
  s.push_back({"text clear", [](Canvas& c) {
                 c.brush.style = ui::BrushStyle::Clear;
                 c.textOut(-4, 40, "gjpqy|,_");
               }});
  return s;
}

// --- Lines --------------------------------------------------------------------------------

// Small figures in a white pen on black, as '#' and '.' rows.
TEST(CanvasFigures, SmallFigures_HaveTheClassicShapes) {
  const struct {
    const char* what;
    int w, h;
    std::function<void(Canvas&)> draw;
    const char* ascii;
  } cases[] = {
      {"lineTo leaves out the end point", 10, 6,
       [](Canvas& c) {
         c.moveTo(1, 2);
         c.lineTo(6, 2);
         c.lineTo(6, 5);
       },
       "..........|..........|.######...|......#...|......#...|.........."},
      {"a wide pen is a square around each pixel", 12, 7,
       [](Canvas& c) {
         c.pen.width = 3;
         c.moveTo(3, 3);
         c.lineTo(8, 3);
       },
       "............|............|..#######...|..#######...|..#######...|............|............"},
      {"outline with a clear brush", 8, 6,
       [](Canvas& c) {
         c.brush.style = ui::BrushStyle::Clear;
         c.rectangle(1, 1, 7, 5);
       },
       "........|.######.|.#....#.|.#....#.|.######.|........"},
      {"boxes without width or height draw nothing", 8, 3,
       [](Canvas& c) {
         c.rectangle(3, 0, 3, 3);
         c.ellipse(1, 2, 7, 2);
       },
       "........|........|........"},
      {"circle of 5", 7, 7,
       [](Canvas& c) {
         c.brush.style = ui::BrushStyle::Clear;
         c.ellipse(1, 1, 6, 6);
       },
       ".......|..###..|.#...#.|.#...#.|.#...#.|..###..|......."},
      {"circle of 7", 7, 7,
       [](Canvas& c) {
         c.brush.style = ui::BrushStyle::Clear;
         c.ellipse(0, 0, 7, 7);
       },
       "..###..|.#...#.|#.....#|#.....#|#.....#|.#...#.|..###.."},
      {"an ellipse one column wide is a line", 7, 7,
       [](Canvas& c) {
         c.brush.style = ui::BrushStyle::Clear;
         c.ellipse(3, 1, 4, 6);
       },
       ".......|...#...|...#...|...#...|...#...|...#...|......."},
  };
  for (const auto& f : cases) {
    Bitmap24 b(f.w, f.h);
    Canvas c(b);
    c.pen.color = colors::White;
    f.draw(c);
    EXPECT_EQ(Ascii(b), f.ascii) << f.what;
  }
  Bitmap24 b(10, 10);
  Canvas c(b);
  c.moveTo(1, 2);
  c.lineTo(6, 7);
  EXPECT_EQ(c.penX(), 6);  // the pen moves to the end point
  EXPECT_EQ(c.penY(), 7);
}

TEST(CanvasLine, EveryDirection_OnePixelPerStepOnTheTrueLine) {
  for (int dx = -12; dx <= 12; ++dx) {
    for (int dy = -12; dy <= 12; ++dy) {
      Bitmap24 b(30, 30);
      Canvas c(b);
      c.pen.color = colors::White;
      c.moveTo(15, 15);
      c.lineTo(15 + dx, 15 + dy);
      const int n = std::max(std::abs(dx), std::abs(dy));
      ASSERT_EQ(CountNot(b, colors::Black), n) << dx << "," << dy;
      if (n == 0) continue;
      EXPECT_NE(b.pixel(15, 15), colors::Black);
      EXPECT_EQ(b.pixel(15 + dx, 15 + dy), colors::Black);
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
          if (b.pixel(x, y) == colors::Black) continue;
          // distance along the minor axis from the true line at most half a pixel
          double t = std::abs(dx) >= std::abs(dy) ? double(x - 15) / dx : double(y - 15) / dy;
          double off = std::abs(dx) >= std::abs(dy) ? (y - 15) - t * dy : (x - 15) - t * dx;
          EXPECT_LE(std::abs(off), 0.5) << dx << "," << dy << " at " << x << "," << y;
        }
    }
  }
}

TEST(CanvasLine, DottedPen_DrawsRunsOfThreeAndTheGapsStayUntouched) {
  Bitmap24 b(20, 1);
  b.fill(colors::Navy);
  Canvas c(b);
  c.pen.color = colors::White;
  c.pen.style = ui::PenStyle::Dot;
  c.moveTo(0, 0);
  c.lineTo(20, 0);
  std::string runs;
  for (int x = 0; x < 20; ++x) runs += b.pixel(x, 0) == colors::White ? '#' : b.pixel(x, 0) == colors::Navy ? '.' : '?';
  EXPECT_EQ(runs, "###...###...###...##");
}

TEST(CanvasLine, DottedPolyline_PhaseContinuesAcrossSegmentsAndRestartsAtMoveTo) {
  Bitmap24 one(20, 3), two(20, 3);
  Canvas a(one), b(two);
  for (Canvas* c : {&a, &b}) {
    c->pen.color = colors::White;
    c->pen.style = ui::PenStyle::Dot;
    c->moveTo(0, 1);
  }
  a.lineTo(19, 1);
  b.lineTo(4, 1);
  b.lineTo(11, 1);
  b.lineTo(19, 1);
  EXPECT_EQ(one, two);
  // After moveTo the pattern starts again with a run.
  b.moveTo(4, 0);
  b.lineTo(8, 0);
  EXPECT_EQ(Ascii(two).substr(0, 20), "....###.............");
}

// Wide dotted pens draw solid, like the classic toolkit.
TEST(CanvasLine, WideDottedPen_DrawsSolid) {
  Bitmap24 b(12, 7);
  Canvas c(b);
  c.pen.color = colors::White;
  c.pen.width = 3;
  c.pen.style = ui::PenStyle::Dot;
  c.moveTo(3, 3);
  c.lineTo(8, 3);
  EXPECT_EQ(CountNot(b, colors::Black), 21);
}

// --- Exclusive-or mode ---------------------------------------------------------------------

TEST(CanvasXor, DrawingEveryShapeTwice_RestoresThePicture) {
  const Bitmap24 original = Pattern(60, 50);
  for (const Shape& shape : AllShapes()) {
    Bitmap24 b = original;
    Canvas c(b);
    c.pen.mode = ui::PenMode::Xor;
    c.pen.color = Color(0x5A, 0xC3, 0x0F);
    c.brush.color = Color(0x21, 0x84, 0xF0);
    c.fontColor = Color(0xFF, 0x10, 0x80);
    shape.draw(c);
    ASSERT_NE(b, original) << shape.name << " drew nothing";
    shape.draw(c);
    EXPECT_EQ(b, original) << shape.name;
  }
}

// Exclusive-or on black shows each pixel that was plotted an odd number of times; copy mode
// every pixel plotted at all. Equal pictures mean no pixel of a shape is plotted twice.
TEST(CanvasXor, OneShape_PlotsEachPixelOnce) {
  for (const Shape& shape : AllShapes()) {
    Bitmap24 copied(60, 50), xored(60, 50);
    for (Bitmap24* b : {&copied, &xored}) {
      Canvas c(*b);
      c.pen.mode = b == &xored ? ui::PenMode::Xor : ui::PenMode::Copy;
      c.pen.color = Color(200, 10, 10);
      c.brush.color = Color(10, 10, 200);
      c.fontColor = Color(10, 200, 10);
      shape.draw(c);
    }
    EXPECT_EQ(Ascii(xored), Ascii(copied)) << shape.name;
    EXPECT_EQ(xored, copied) << shape.name;
  }
}

// --- Rectangles and ellipses ----------------------------------------------------------------

TEST(CanvasRectangle, OutlineAndInside_CoverExactlyTheBox) {
  for (bool swapped : {false, true}) {
    Bitmap24 b(12, 10);
    Canvas c(b);
    c.pen.color = colors::Red;
    c.brush.color = colors::Blue;
    if (swapped) c.rectangle(9, 8, 2, 3); else c.rectangle(2, 3, 9, 8);
    ExpectPixels(b, [](int x, int y) {
      bool inBox = x >= 2 && x < 9 && y >= 3 && y < 8;
      bool edge = inBox && (x == 2 || x == 8 || y == 3 || y == 7);
      return edge ? colors::Red : inBox ? colors::Blue : colors::Black;
    }, swapped ? "swapped corners" : "");
  }
}

TEST(CanvasRectangle, WidePen_IsCentredOnTheOutline) {
  Bitmap24 b(12, 10);
  Canvas c(b);
  c.pen.color = colors::White;
  c.pen.width = 3;
  c.brush.color = colors::Blue;
  c.rectangle(2, 2, 10, 8);
  // pen on columns 1..3 and 8..10, rows 1..3 and 6..8; brush on 4..7 x 4..5
  ExpectPixels(b, [](int x, int y) {
    bool outer = x >= 1 && x <= 10 && y >= 1 && y <= 8;
    bool inner = x >= 4 && x <= 7 && y >= 4 && y <= 5;
    return inner ? colors::Blue : outer ? colors::White : colors::Black;
  });
}

TEST(CanvasEllipse, EveryBox_TouchedOnAllSidesNeverLeftAndSymmetric) {
  for (int w = 1; w <= 40; w += 3) {
    for (int h = 1; h <= 40; h += 4) {
      Bitmap24 b(44, 44);
      Canvas c(b);
      c.pen.color = colors::White;
      c.brush.color = colors::Blue;
      c.ellipse(2, 2, 2 + w, 2 + h);
      std::string where = std::to_string(w) + " x " + std::to_string(h);
      bool top = false, bottom = false, left = false, right = false;
      for (int y = 0; y < 44; ++y)
        for (int x = 0; x < 44; ++x) {
          Color p = b.pixel(x, y);
          if (p == colors::Black) continue;
          ASSERT_TRUE(x >= 2 && x < 2 + w && y >= 2 && y < 2 + h) << where << " at " << x << "," << y;
          top |= y == 2, bottom |= y == 1 + h, left |= x == 2, right |= x == 1 + w;
          EXPECT_EQ(p, b.pixel(3 + w - x, y)) << where;  // mirror images
          EXPECT_EQ(p, b.pixel(x, 3 + h - y)) << where;
          if (p == colors::Blue) {  // the brush only inside the outline
            EXPECT_NE(b.pixel(x - 1, y), colors::Black) << where;
            EXPECT_NE(b.pixel(x, y - 1), colors::Black) << where;
          }
        }
      EXPECT_TRUE(top && bottom && left && right) << where;
    }
  }
}

TEST(CanvasEllipse, OutlineIsClosed) {
  // Flood the outside from the corner through 4-neighbours: it must not reach the centre.
  for (int w : {3, 9, 30, 41}) {
    for (int h : {4, 9, 17, 40}) {
      Bitmap24 b(w + 4, h + 4);
      Canvas c(b);
      c.pen.color = colors::White;
      c.brush.style = ui::BrushStyle::Clear;
      c.ellipse(2, 2, 2 + w, 2 + h);
      std::vector<char> seen(static_cast<size_t>((w + 4) * (h + 4)), 0);
      std::vector<std::pair<int, int>> todo{{0, 0}};
      while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        if (!b.contains(x, y) || seen[y * (w + 4) + x] || b.pixel(x, y) != colors::Black) continue;
        seen[y * (w + 4) + x] = 1;
        todo.insert(todo.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
      }
      EXPECT_FALSE(seen[(2 + h / 2) * (w + 4) + 2 + w / 2]) << w << " x " << h;
    }
  }
}

// --- Text -----------------------------------------------------------------------------------

TEST(CanvasText, Extent_IsOneFixedCellPerCharacter) {
  const int cell = Canvas::textWidth("x");
  EXPECT_GT(cell, 0);
  EXPECT_EQ(Canvas::textWidth(""), 0);
  EXPECT_EQ(Canvas::textWidth("100%"), 4 * cell);
  EXPECT_EQ(Canvas::textWidth("5\xC2\xB0 C"), 4 * cell);  // a UTF-8 character takes one cell
}

TEST(CanvasText, InkLiesInsideTheCellsAndTheBrushFillsTheRest) {
  const std::string text = "Ag<->:%()=/.,";
  Bitmap24 b(120, 30);
  b.fill(colors::Navy);
  Canvas c(b);
  c.fontColor = colors::Yellow;
  c.brush.color = colors::Silver;
  c.textOut(10, 8, text);
  const int right = 10 + Canvas::textWidth(text);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 120; ++x) {
      bool inCell = x >= 10 && x < right && y >= 8 && y < 8 + 13;
      Color p = b.pixel(x, y);
      if (inCell) EXPECT_TRUE(p == colors::Yellow || p == colors::Silver) << x << "," << y;
      else EXPECT_EQ(p, colors::Navy) << x << "," << y;
    }
  // Every character has ink in its own cell.
  for (size_t k = 0; k < text.size(); ++k) {
    Bitmap24 cell(7, 13);
    Canvas(cell).copyRect(Rect{0, 0, 7, 13}, b, Rect{10 + int(k) * 7, 8, 17 + int(k) * 7, 21});
    EXPECT_GT(CountNot(cell, colors::Silver), 0) << text[k];
  }
}

TEST(CanvasText, ClearBrush_LeavesTheBackground) {
  Bitmap24 b = Pattern(30, 20), before = b;
  Canvas c(b);
  c.brush.style = ui::BrushStyle::Clear;
  c.fontColor = colors::White;
  c.textOut(2, 3, "-");
  int changed = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x)
      if (b.pixel(x, y) != before.pixel(x, y)) {
        ++changed;
        EXPECT_EQ(b.pixel(x, y), colors::White);
        EXPECT_EQ(y, 3 + 2 + 3);  // the dash is one row in the middle of the glyph
      }
  EXPECT_EQ(changed, 5);
}

TEST(CanvasText, Glyphs_AreDistinctAndSitInTheCell) {
  std::set<std::vector<uint8_t>> seen;
  for (uint32_t code = 33; code <= 126; ++code) {
    std::vector<uint8_t> rows;
    for (int r = 0; r < ui::BitmapFont::CellHeight; ++r) rows.push_back(ui::BitmapFont::RowBits(code, r));
    EXPECT_TRUE(seen.insert(rows).second) << "glyph of '" << char(code) << "' repeats another";
    EXPECT_NE(rows, std::vector<uint8_t>(rows.size(), 0)) << char(code);
    // a blank column either side keeps neighbouring characters apart
    for (uint8_t r : rows) EXPECT_EQ(r & 0x41, 0) << char(code);
  }
  EXPECT_EQ(ui::BitmapFont::RowBits(0xFFFD, 4), ui::BitmapFont::RowBits('?', 4));
  EXPECT_EQ(ui::BitmapFont::RowBits('\t', 4), 0);
}

// --- Clipping -------------------------------------------------------------------------------

TEST(CanvasClip, HugeCoordinates_DrawOnlyTheVisiblePart) {
  Bitmap24 b(40, 30);
  Canvas c(b);
  c.pen.color = colors::White;
  c.moveTo(-1000000000, -1000000000);
  c.lineTo(1000000000, 1000000000);  // the main diagonal
  ExpectPixels(b, [](int x, int y) { return x == y ? colors::White : colors::Black; }, "diagonal");

  b.fill(colors::Black);
  c.moveTo(INT_MIN, 7);
  c.lineTo(INT_MAX, 7);
  c.moveTo(5, INT_MAX);
  c.lineTo(5, INT_MIN);
  c.moveTo(INT_MIN, INT_MIN);
  c.lineTo(INT_MAX, INT_MIN);
  EXPECT_EQ(CountNot(b, colors::Black), 40 + 30 - 1);

  b.fill(colors::Black);
  c.pen.width = 5;
  c.moveTo(INT_MAX, INT_MIN);
  c.lineTo(INT_MIN, INT_MAX);
  c.pen.width = 1;
  c.pen.style = ui::PenStyle::Dot;
  c.moveTo(INT_MIN, 3);
  c.lineTo(INT_MAX, 3);
  c.rectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  c.ellipse(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  c.pen.style = ui::PenStyle::Solid;
  c.rectangle(-5, -5, 1000000, 1000000);
  c.textOut(INT_MAX - 3, INT_MAX - 3, "far away");
  c.textOut(INT_MIN, INT_MIN, "far away");
  c.textOut(-20, 25, "partly visible");
  c.setPixel(INT_MIN, INT_MAX, colors::Red);
  c.setPixel(40, 0, colors::Red);
  EXPECT_EQ(c.pixel(-1, 0), colors::Black);
  EXPECT_EQ(c.pixel(0, INT_MAX), colors::Black);

  // An enormous filled ellipse or rectangle around the picture covers it with the brush.
  for (int shape = 0; shape < 2; ++shape) {
    b.fill(colors::Black);
    c.pen.width = 3;
    c.brush.color = colors::Teal;
    if (shape == 0) c.ellipse(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    else c.rectangle(-1000000000, -1000000000, 1000000000, 1000000000);
    EXPECT_EQ(CountNot(b, colors::Teal), 0) << shape;
  }
}

TEST(CanvasClip, EmptyPicture_DrawsNothingAndDoesNotFail) {
  Bitmap24 b;
  Canvas c(b);
  c.lineTo(10, 10);
  c.rectangle(0, 0, 5, 5);
  c.ellipse(0, 0, 5, 5);
  c.textOut(0, 0, "x");
  c.fillRect(Rect{0, 0, 5, 5});
  c.draw(0, 0, Pattern(3, 3));
  EXPECT_TRUE(b.empty());
}

// --- Filling and copying ----------------------------------------------------------------------

TEST(CanvasFill, FillRect_CopiesTheBrushWhateverThePenMode) {
  Bitmap24 b = Pattern(10, 8);
  Canvas c(b);
  c.pen.mode = ui::PenMode::Xor;
  c.brush.color = colors::Fuchsia;
  c.fillRect(Rect{2, 3, 5, 7});
  c.fillRect(Rect{8, 3, 6, 7});  // inverted: nothing
  c.fillRect(Rect{-100, 7, 100, 100});
  const Bitmap24 pattern = Pattern(10, 8);
  ExpectPixels(b, [&](int x, int y) {
    return (x >= 2 && x < 5 && y >= 3 && y < 7) || y == 7 ? colors::Fuchsia : pattern.pixel(x, y);
  });
  Bitmap24 before = b;
  c.brush.style = ui::BrushStyle::Clear;
  c.fillRect(Rect{0, 0, 10, 8});
  EXPECT_EQ(b, before);
}

TEST(CanvasCopy, Stretch_EnlargesAndShrinksByNearestPixel) {
  Bitmap24 src(2, 2);
  src.setPixel(0, 0, colors::Red);
  src.setPixel(1, 0, colors::Lime);
  src.setPixel(0, 1, colors::Blue);
  src.setPixel(1, 1, colors::White);
  Bitmap24 big(4, 4);
  Canvas(big).stretchDraw(Rect{0, 0, 4, 4}, src);
  ExpectPixels(big, [&](int x, int y) { return src.pixel(x / 2, y / 2); }, "enlarged");

  Bitmap24 from = Pattern(8, 6), small(4, 3);
  Canvas(small).copyRect(Rect{0, 0, 4, 3}, from, Rect{0, 0, 8, 6});
  ExpectPixels(small, [&](int x, int y) { return from.pixel(2 * x + 1, 2 * y + 1); }, "shrunk");

  // Three pixels onto seven: each source pixel on the destination pixels whose centres fall in it.
  Bitmap24 row(3, 1), wide(7, 1);
  row.setPixel(0, 0, Color(1, 0, 0));
  row.setPixel(1, 0, Color(2, 0, 0));
  row.setPixel(2, 0, Color(3, 0, 0));
  Canvas(wide).stretchDraw(Rect{0, 0, 7, 1}, row);
  const int want[] = {1, 1, 2, 2, 2, 3, 3};
  for (int x = 0; x < 7; ++x) EXPECT_EQ(wide.pixel(x, 0).r, want[x]) << x;
}

TEST(CanvasCopy, ClippedOnBothSidesAndMirrored) {
  Bitmap24 src = Pattern(6, 5), dst(8, 8);
  Canvas c(dst);
  c.copyRect(Rect{-2, 5, 4, 10}, src, Rect{0, 0, 6, 5});
  ExpectPixels(dst, [&](int x, int y) { return x < 4 && y >= 5 ? src.pixel(x + 2, y - 5) : colors::Black; },
               "leaving the destination");
  dst.fill(colors::Black);
  c.copyRect(Rect{0, 0, 4, 4}, src, Rect{4, 3, 8, 7});
  ExpectPixels(dst, [&](int x, int y) { return x < 2 && y < 2 ? src.pixel(x + 4, y + 3) : colors::Black; },
               "reading past the source");
  dst.fill(colors::Black);
  c.copyRect(Rect{6, 0, 0, 5}, src, Rect{0, 0, 6, 5});
  ExpectPixels(dst, [&](int x, int y) { return x < 6 && y < 5 ? src.pixel(5 - x, y) : colors::Black; },
               "opposite widths mirror");
  c.copyRect(Rect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, src, Rect{INT_MIN, 0, INT_MAX, 5});
  c.copyRect(Rect{0, 0, 8, 8}, src, Rect{0, 0, 0, 5});  // empty source: nothing
}

TEST(CanvasCopy, WithinOnePicture_ReadsTheOriginalPixels) {
  Bitmap24 b = Pattern(10, 6), before = b;
  Canvas c(b);
  c.draw(2, 1, b);
  ExpectPixels(b, [&](int x, int y) { return x >= 2 && y >= 1 ? before.pixel(x - 2, y - 1) : before.pixel(x, y); },
               "drawn onto itself");
  b = before;
  c.copyRect(Rect{0, 0, 8, 5}, b, Rect{2, 1, 10, 6});
  ExpectPixels(b, [&](int x, int y) { return x < 8 && y < 5 ? before.pixel(x + 2, y + 1) : before.pixel(x, y); },
               "copied within itself");
}

}  // namespace
