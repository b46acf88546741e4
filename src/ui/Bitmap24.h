#pragma once
// The picture every stage hands on: 24 bits per pixel, bytes blue, green, red, rows top to
// bottom, rows packed without padding (row stride = width * 3).
#include <cstdint>
#include <cstring>
#include <vector>

namespace ui {

struct Color {
  uint8_t r = 0, g = 0, b = 0;
  constexpr Color() = default;
  constexpr Color(uint8_t r_, uint8_t g_, uint8_t b_) : r(r_), g(g_), b(b_) {}
  constexpr bool operator==(const Color& o) const { return r == o.r && g == o.g && b == o.b; }
  constexpr bool operator!=(const Color& o) const { return !(*this == o); }
};

namespace colors {
constexpr Color Black{0, 0, 0};
constexpr Color White{255, 255, 255};
constexpr Color Red{255, 0, 0};
constexpr Color Green{0, 128, 0};   // the toolkit's "green"
constexpr Color Lime{0, 255, 0};
constexpr Color Blue{0, 0, 255};
constexpr Color Yellow{255, 255, 0};
constexpr Color Silver{192, 192, 192};
constexpr Color Gray{128, 128, 128};
constexpr Color Teal{0, 128, 128};
constexpr Color Aqua{0, 255, 255};
constexpr Color Fuchsia{255, 0, 255};
constexpr Color Navy{0, 0, 128};
constexpr Color Maroon{128, 0, 0};
}  // namespace colors

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  constexpr int width() const { return right - left; }
  constexpr int height() const { return bottom - top; }
};

class Bitmap24 {
 public:
  Bitmap24() = default;
  Bitmap24(int width, int height) { setSize(width, height); }

  // Resizes; the overlapping top-left part keeps its pixels, new pixels are black.
  // Keeping the size keeps the storage (no allocation when a frame of the same size arrives).
  void setSize(int width, int height);
  // Resizes without keeping anything; contents are black.
  void reset(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ <= 0 || height_ <= 0; }
  size_t stride() const { return static_cast<size_t>(width_) * 3; }
  uint8_t* data() { return data_.data(); }
  const uint8_t* data() const { return data_.data(); }
  size_t byteSize() const { return data_.size(); }
  uint8_t* row(int y) { return data_.data() + static_cast<size_t>(y) * stride(); }
  const uint8_t* row(int y) const { return data_.data() + static_cast<size_t>(y) * stride(); }

  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  Color pixel(int x, int y) const {
    const uint8_t* p = row(y) + x * 3;
    return Color(p[2], p[1], p[0]);
  }
  void setPixel(int x, int y, Color c) {
    uint8_t* p = row(y) + x * 3;
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
  }
  void fill(Color c);
  // Copies pixels and size from another picture, reusing storage where it can.
  void assign(const Bitmap24& other);

  bool operator==(const Bitmap24& o) const {
    return width_ == o.width_ && height_ == o.height_ && data_ == o.data_;
  }

 private:
  int width_ = 0, height_ = 0;
  std::vector<uint8_t> data_;
};

}  // namespace ui
