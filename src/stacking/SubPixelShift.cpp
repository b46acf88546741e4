#include "stacking/SubPixelShift.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace stacking {

FineSplit SplitFineShift(float fineX, float fineY, int shiftX, int shiftY, bool& valid) {
  FineSplit s;
  valid = std::fabs(fineX - shiftX) < 1.0f && std::fabs(fineY - shiftY) < 1.0f;
  if (!valid) {
    s.sx = shiftX;
    s.sy = shiftY;
    return s;
  }
  s.sx = static_cast<int>(std::floor(fineX));
  s.sy = static_cast<int>(std::floor(fineY));
  s.fx = fineX - static_cast<float>(s.sx);
  s.fy = fineY - static_cast<float>(s.sy);
  return s;
}

namespace {

// Cubic convolution (Keys, a = -0.5) weights for a fraction f: taps at -1, 0, 1, 2. It keeps
// the detail a bilinear blend would soften, and a constant stays constant.
void CubicWeights(float f, float w[4]) {
  const float a = -0.5f;
  auto near = [a](float t) { return ((a + 2) * t - (a + 3)) * t * t + 1; };
  auto far = [a](float t) { return ((a * t - 5 * a) * t + 8 * a) * t - 4 * a; };
  w[0] = far(1 + f);
  w[1] = near(f);
  w[2] = near(1 - f);
  w[3] = far(2 - f);
}

// Resampling of `channels` interleaved samples per pixel at (x + fx, y + fy): get(x, y, c)
// reads (the edge pixels repeat), put(x, y, c, v) writes.
template <class Get, class Put>
void Resample(int width, int height, int channels, float fx, float fy, Get get, Put put) {
  float wx[4], wy[4];
  CubicWeights(fx, wx);
  CubicWeights(fy, wy);
  int xs[4];
  for (int y = 0; y < height; ++y) {
    int ys[4];
    for (int k = 0; k < 4; ++k) ys[k] = std::clamp(y - 1 + k, 0, height - 1);
    for (int x = 0; x < width; ++x) {
      for (int k = 0; k < 4; ++k) xs[k] = std::clamp(x - 1 + k, 0, width - 1);
      for (int c = 0; c < channels; ++c) {
        float v = 0;
        for (int j = 0; j < 4; ++j) {
          float r = 0;
          for (int i = 0; i < 4; ++i) r += wx[i] * get(xs[i], ys[j], c);
          v += wy[j] * r;
        }
        put(x, y, c, v);
      }
    }
  }
}

uint16_t To16(float v) { return static_cast<uint16_t>(std::clamp(std::lround(v), 0L, 65535L)); }

}  // namespace

void ShiftBytesInto16(const ui::Bitmap24& src, int width, int height, float fx, float fy, formats::TTIFFBitMap& dst) {
  width = std::min(width, src.width());
  height = std::min(height, src.height());
  if (dst.width48() != width || dst.height48() != height) dst.Allocate48(width, height);
  // Bytes are B, G, R; the 16-bit rows R, G, B.
  Resample(
      width, height, 3, fx, fy, [&](int x, int y, int c) { return static_cast<float>(src.row(y)[x * 3 + 2 - c]); },
      [&](int x, int y, int c, float v) { dst.row16(y)[x * 3 + c] = To16(v * 255.0f); });
  dst.has16Bit = true;
}

void ShiftRows16(const formats::TTIFFBitMap& src, int width, int height, float fx, float fy, formats::TTIFFBitMap& dst) {
  width = std::min(width, src.width48());
  height = std::min(height, src.height48());
  if (dst.width48() != width || dst.height48() != height) dst.Allocate48(width, height);
  Resample(
      width, height, 3, fx, fy, [&](int x, int y, int c) { return static_cast<float>(src.row16(y)[x * 3 + c]); },
      [&](int x, int y, int c, float v) { dst.row16(y)[x * 3 + c] = To16(v); });
  dst.has16Bit = true;
}

void ShiftPlane(const frames::Single2dArray& src, int width, int height, float fx, float fy, frames::Single2dArray& dst) {
  width = std::min(width, src.nominalWidth());
  height = std::min(height, src.nominalHeight());
  if (dst.nominalWidth() != width || dst.nominalHeight() != height) dst.Create(width, height);
  Resample(
      width, height, 1, fx, fy, [&](int x, int y, int) { return src.Get(x, y); },
      [&](int x, int y, int, float v) { dst.Set(x, y, v); });
}

}  // namespace stacking
