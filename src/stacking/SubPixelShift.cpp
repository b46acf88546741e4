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

// One row of `ch` interleaved channels resampled at x + f along the row (edge pixels repeat).
void CubicRow(const float* __restrict in, float* __restrict out, int width, int ch, const float w[4]) {
  auto at = [&](int x, int c) { return in[std::clamp(x, 0, width - 1) * ch + c]; };
  auto edge = [&](int x) {
    for (int c = 0; c < ch; ++c)
      out[x * ch + c] = w[0] * at(x - 1, c) + w[1] * at(x, c) + w[2] * at(x + 1, c) + w[3] * at(x + 2, c);
  };
  if (width < 4) {
    for (int x = 0; x < width; ++x) edge(x);
    return;
  }
  edge(0);
  // Interior: every tap inside the row, one run over the interleaved samples.
  const int k0 = ch, k1 = (width - 2) * ch;
  for (int k = k0; k < k1; ++k) out[k] = w[0] * in[k - ch] + w[1] * in[k] + w[2] * in[k + ch] + w[3] * in[k + 2 * ch];
  edge(width - 2);
  edge(width - 1);
}

// Resampling of `ch` interleaved channels at (x + fx, y + fy), separably: readRow(y, dst)
// gives row y as floats, writeRow(y, src) takes the result.
template <class Read, class Write>
void Resample(int width, int height, int ch, float fx, float fy, Read readRow, Write writeRow) {
  float wx[4], wy[4];
  CubicWeights(fx, wx);
  CubicWeights(fy, wy);
  const size_t n = static_cast<size_t>(width) * ch;
  // Kept between frames: a stack run moves every frame, and allocates nothing per frame.
  thread_local std::vector<float> raw, out, ring;
  raw.resize(n);
  out.resize(n);
  ring.resize(4 * n);
  // The horizontally resampled rows y - 1 .. y + 2, kept in a ring of four.
  int have = -100;  // the last source row in the ring
  auto rowOf = [&](int r) { return ring.data() + static_cast<size_t>((r + 4) % 4) * n; };
  for (int y = 0; y < height; ++y) {
    for (int r = std::max(have + 1, y - 1); r <= y + 2; ++r) {
      readRow(std::clamp(r, 0, height - 1), raw.data());
      CubicRow(raw.data(), rowOf(r), width, ch, wx);
      have = r;
    }
    const float* r0 = rowOf(y - 1);
    const float* r1 = rowOf(y);
    const float* r2 = rowOf(y + 1);
    const float* r3 = rowOf(y + 2);
    for (size_t k = 0; k < n; ++k) out[k] = wy[0] * r0[k] + wy[1] * r1[k] + wy[2] * r2[k] + wy[3] * r3[k];
    writeRow(y, out.data());
  }
}

inline uint16_t To16(float v) { return static_cast<uint16_t>(std::clamp(v + 0.5f, 0.0f, 65535.0f)); }

}  // namespace

void ShiftBytesInto16(const ui::Bitmap24& src, int width, int height, float fx, float fy, formats::TTIFFBitMap& dst) {
  width = std::min(width, src.width());
  height = std::min(height, src.height());
  if (width <= 0 || height <= 0) return;
  if (dst.width48() != width || dst.height48() != height) dst.Allocate48(width, height);
  // Bytes are B, G, R; the 16-bit rows R, G, B.
  Resample(
      width, height, 3, fx, fy,
      [&](int y, float* d) {
        const uint8_t* p = src.row(y);
        for (int x = 0; x < width; ++x) {
          d[x * 3] = p[x * 3 + 2];
          d[x * 3 + 1] = p[x * 3 + 1];
          d[x * 3 + 2] = p[x * 3];
        }
      },
      [&](int y, const float* v) {
        uint16_t* o = dst.row16(y);
        for (int k = 0; k < width * 3; ++k) o[k] = To16(v[k] * 255.0f);
      });
  dst.has16Bit = true;
}

void ShiftRows16(const formats::TTIFFBitMap& src, int width, int height, float fx, float fy, formats::TTIFFBitMap& dst) {
  width = std::min(width, src.width48());
  height = std::min(height, src.height48());
  if (width <= 0 || height <= 0) return;
  if (dst.width48() != width || dst.height48() != height) dst.Allocate48(width, height);
  Resample(
      width, height, 3, fx, fy,
      [&](int y, float* d) {
        const uint16_t* p = src.row16(y);
        for (int k = 0; k < width * 3; ++k) d[k] = p[k];
      },
      [&](int y, const float* v) {
        uint16_t* o = dst.row16(y);
        for (int k = 0; k < width * 3; ++k) o[k] = To16(v[k]);
      });
  dst.has16Bit = true;
}

void ShiftPlane(const frames::Single2dArray& src, int width, int height, float fx, float fy, frames::Single2dArray& dst) {
  width = std::min(width, src.nominalWidth());
  height = std::min(height, src.nominalHeight());
  if (width <= 0 || height <= 0) return;
  if (dst.nominalWidth() != width || dst.nominalHeight() != height) dst.Create(width, height);
  Resample(
      width, height, 1, fx, fy,
      [&](int y, float* d) {
        for (int x = 0; x < width; ++x) d[x] = src.Get(x, y);
      },
      [&](int y, const float* v) {
        for (int x = 0; x < width; ++x) dst.Set(x, y, v[x]);
      });
}

}  // namespace stacking
