// Debayering: mosaics made from known colour scenes, rebuilt and measured against the scene.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "frames/Debayer.h"

namespace {

using frames::BayerPattern;
using frames::DebayerMethod;

struct Scene {
  int w, h;
  std::vector<uint8_t> rgb;  // R, G, B per pixel
};

std::vector<uint8_t> Mosaic(const Scene& s, BayerPattern p) {
  std::vector<uint8_t> m(static_cast<size_t>(s.w) * s.h);
  for (int y = 0; y < s.h; ++y)
    for (int x = 0; x < s.w; ++x) m[y * s.w + x] = s.rgb[(y * s.w + x) * 3 + frames::MosaicColour(p, x, y)];
  return m;
}

std::vector<uint8_t> Rebuild(const Scene& s, BayerPattern p, DebayerMethod m) {
  frames::Debayerer d;
  std::vector<uint8_t> out(s.rgb.size());
  const auto mosaic = Mosaic(s, p);
  d.Run(mosaic.data(), s.w, s.w, s.h, p, m, out.data(), static_cast<size_t>(s.w) * 3, 0);
  return out;
}

// Root-mean-square error over the pixels at least `margin` from the border.
double Rms(const Scene& s, const std::vector<uint8_t>& out, int margin) {
  double sum = 0;
  int n = 0;
  for (int y = margin; y < s.h - margin; ++y)
    for (int x = margin; x < s.w - margin; ++x)
      for (int c = 0; c < 3; ++c) {
        const double e = double(out[(y * s.w + x) * 3 + c]) - s.rgb[(y * s.w + x) * 3 + c];
        sum += e * e;
        ++n;
      }
  return std::sqrt(sum / n);
}

constexpr BayerPattern kPatterns[] = {BayerPattern::RGGB, BayerPattern::GRBG, BayerPattern::GBRG, BayerPattern::BGGR};

TEST(Debayer, FlatColourAndLinearRampsComeBackExactly) {
  Scene flat{9, 7, {}};
  for (int i = 0; i < 9 * 7; ++i) flat.rgb.insert(flat.rgb.end(), {200, 90, 30});
  // A ramp in x and y with even slopes: bilinear's means of neighbours are exact inside.
  Scene ramp{16, 12, {}};
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x)
      ramp.rgb.insert(ramp.rgb.end(), {uint8_t(10 + 4 * x + 2 * y), uint8_t(100 + 2 * x), uint8_t(200 - 6 * y)});
  for (BayerPattern p : kPatterns) {
    for (DebayerMethod m : {DebayerMethod::Bilinear, DebayerMethod::EdgeAware}) {
      EXPECT_EQ(Rebuild(flat, p, m), flat.rgb) << frames::PatternName(p);  // borders included
      EXPECT_EQ(Rms(ramp, Rebuild(ramp, p, m), 2), 0) << frames::PatternName(p) << " method " << int(m);
    }
  }
  // Hand-worked bilinear values at an RGGB blue site (1, 1) of a 4 x 4 mosaic numbered 0..15:
  // green the mean of 1, 4, 6, 9 -> 5; red the mean of 0, 2, 8, 10 -> 5; blue its own 5.
  std::vector<uint8_t> m(16);
  for (int i = 0; i < 16; ++i) m[i] = uint8_t(i * 3);
  std::vector<uint8_t> out(48);
  frames::Debayerer d;
  d.Run(m.data(), 4, 4, 4, BayerPattern::RGGB, DebayerMethod::Bilinear, out.data(), 12, 0);
  EXPECT_EQ(out[(1 * 4 + 1) * 3 + 0], 15);  // red
  EXPECT_EQ(out[(1 * 4 + 1) * 3 + 1], 15);  // green
  EXPECT_EQ(out[(1 * 4 + 1) * 3 + 2], 15);  // blue
  // Green site (1, 0) in a red row: red the mean of 0 and 2 -> 3, blue of its mirrored
  // neighbours 5 and 5 -> 15.
  EXPECT_EQ(out[1 * 3 + 0], 3);
  EXPECT_EQ(out[1 * 3 + 1], 3);
  EXPECT_EQ(out[1 * 3 + 2], 15);
  // Red index 2 swaps red and blue only.
  std::vector<uint8_t> bgr(48);
  d.Run(m.data(), 4, 4, 4, BayerPattern::RGGB, DebayerMethod::Bilinear, bgr.data(), 12, 2);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(bgr[3 * i], out[3 * i + 2]);
    EXPECT_EQ(bgr[3 * i + 2], out[3 * i]);
  }
}

// Bilinear one pixel at a time, neighbours mirrored about the outermost pixel.
template <class T>
std::vector<T> PlainBilinear(const std::vector<T>& m, size_t stride, int w, int h, BayerPattern p, int ri) {
  auto mirror = [](int i, int n) {
    if (i < 0) i = -i;
    if (i >= n) i = 2 * (n - 1) - i;
    return std::clamp(i, 0, n - 1);
  };
  auto at = [&](int x, int y) { return int(m[mirror(y, h) * stride + mirror(x, w)]); };
  std::vector<T> out(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      T* o = &out[(static_cast<size_t>(y) * w + x) * 3];
      const int c = frames::MosaicColour(p, x, y);
      const int cross = (at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1) + 2) >> 2;
      const int diag = (at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1) + 2) >> 2;
      const int hor = (at(x - 1, y) + at(x + 1, y) + 1) >> 1, ver = (at(x, y - 1) + at(x, y + 1) + 1) >> 1;
      int rgb[3];
      if (c != 1) {
        rgb[c] = at(x, y), rgb[1] = cross, rgb[2 - c] = diag;
      } else {
        const int side = frames::MosaicColour(p, x + 1, y);  // the colour left and right
        rgb[1] = at(x, y), rgb[side] = hor, rgb[2 - side] = ver;
      }
      o[ri] = T(rgb[0]), o[1] = T(rgb[1]), o[2 - ri] = T(rgb[2]);
    }
  return out;
}

// Random mosaics of awkward sizes (odd, narrow, tails after whole vectors, padded rows) in both
// depths, every pattern and both channel orders, against the plain version bit for bit.
TEST(Debayer, BilinearMatchesAPlainPixelByPixelVersion) {
  uint32_t r = 7;
  auto next = [&] { return r = r * 1664525u + 1013904223u; };
  const int sizes[][2] = {{1, 1}, {2, 3}, {3, 2}, {5, 4}, {17, 5}, {18, 3}, {33, 9}, {64, 6}, {101, 7}};
  frames::Debayerer d;
  for (const auto& sz : sizes) {
    const int w = sz[0], h = sz[1];
    const size_t stride = w + 3;
    std::vector<uint8_t> m8(stride * h);
    std::vector<uint16_t> m16(stride * h);
    for (size_t i = 0; i < m8.size(); ++i) m8[i] = uint8_t(next() >> 24), m16[i] = uint16_t(next() >> 16);
    for (BayerPattern p : kPatterns)
      for (int ri : {0, 2}) {
        std::vector<uint8_t> out8(static_cast<size_t>(w) * h * 3);
        std::vector<uint16_t> out16(out8.size());
        d.Run(m8.data(), stride, w, h, p, DebayerMethod::Bilinear, out8.data(), static_cast<size_t>(w) * 3, ri);
        d.Run(m16.data(), stride, w, h, p, DebayerMethod::Bilinear, out16.data(), static_cast<size_t>(w) * 3, ri);
        EXPECT_EQ(out8, PlainBilinear(m8, stride, w, h, p, ri)) << w << "x" << h << " " << frames::PatternName(p) << ri;
        EXPECT_EQ(out16, PlainBilinear(m16, stride, w, h, p, ri)) << w << "x" << h << " " << frames::PatternName(p);
      }
  }
}

TEST(Debayer, EdgeAwareBeatsBilinearOnAnEdgeScene) {
  // Grey discs and stripes (colour edges where bilinear gives fringes), a planet-like scene.
  Scene s{96, 80, {}};
  for (int y = 0; y < s.h; ++y)
    for (int x = 0; x < s.w; ++x) {
      const double r = std::hypot(x - 40.3, y - 38.7);
      double v = r < 25 ? 180 + 40 * std::sin(x * 0.7) * (r < 18) : 20;
      if (x > 70) v = ((x / 3) % 2) ? 220 : 40;
      s.rgb.insert(s.rgb.end(), {uint8_t(v), uint8_t(v * 0.9), uint8_t(v * 0.7)});
    }
  for (BayerPattern p : kPatterns) {
    const double bilinear = Rms(s, Rebuild(s, p, DebayerMethod::Bilinear), 2);
    const double edge = Rms(s, Rebuild(s, p, DebayerMethod::EdgeAware), 2);
    EXPECT_LT(edge, 0.75 * bilinear) << frames::PatternName(p) << " bilinear " << bilinear << " edge " << edge;
    EXPECT_LT(bilinear, 40);
  }
}

TEST(Debayer, SixteenBitSamplesKeepTheirLowBits) {
  std::vector<uint16_t> m(8 * 8, 0);
  for (int i = 0; i < 64; ++i) m[i] = uint16_t(40000 + (i % 8) * 3 + (i / 8) * 5);  // a ramp below one 8-bit step
  std::vector<uint16_t> out(8 * 8 * 3);
  frames::Debayerer d;
  for (DebayerMethod meth : {DebayerMethod::Bilinear, DebayerMethod::EdgeAware}) {
    d.Run(m.data(), 8, 8, 8, BayerPattern::GBRG, meth, out.data(), 24, 0);
    for (int y = 2; y < 6; ++y)
      for (int x = 2; x < 6; ++x)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(out[(y * 8 + x) * 3 + c], 40000 + x * 3 + y * 5) << x << "," << y;
  }
}

}  // namespace
