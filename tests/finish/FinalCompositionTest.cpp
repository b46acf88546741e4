// The Final page's pipeline: HSV conversions, rotation, flips, hue histogram, crop, 16-bit.
#include <gtest/gtest.h>

#include <cmath>

#include "finish/FinalComposition.h"

using namespace finish;

namespace {

// A 16-bit picture whose words are byte values x 256 (exact in the 8-bit pipeline).
formats::TTIFFBitMap Gradient(int W, int H) {
  formats::TTIFFBitMap b;
  b.Allocate48(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint16_t* p = b.row16(y) + 3 * x;
      p[0] = static_cast<uint16_t>(((x * 37 + y * 11) % 256) * 256);
      p[1] = static_cast<uint16_t>(((x * 5 + y * 23) % 256) * 256);
      p[2] = static_cast<uint16_t>(((x * 13 + y * 3) % 256) * 256);
    }
  b.has16Bit = true;
  return b;
}

ui::Bitmap24 Compose(const formats::TTIFFBitMap& src, int W, int H, const FinalSettings& s) {
  ui::Bitmap24 a, b;
  HueCounts h{};
  ComposeFinal8(src, W, H, s, a, b, h);
  return b;
}

}  // namespace

TEST(HsvTest, GreysAndPrimariesRoundTrip) {
  for (int v = 0; v <= 255; ++v) {
    const Hsv c = RgbToHsv(v, v, v);
    EXPECT_EQ(c.s, 0);
    unsigned char r, g, b;
    HsvToRgb8(static_cast<int>(c.h), 0, v, r, g, b);
    EXPECT_EQ(r, v);
    EXPECT_EQ(g, v);
    EXPECT_EQ(b, v);
  }
  struct P {
    int r, g, b;
    double hue;
  } prims[] = {{255, 0, 0, 0}, {0, 255, 0, 120}, {0, 0, 255, 240}, {255, 255, 0, 60}, {0, 255, 255, 180}, {255, 0, 255, 300}};
  for (auto p : prims) {
    const Hsv c = RgbToHsv(p.r, p.g, p.b);
    EXPECT_DOUBLE_EQ(c.h, p.hue);
    unsigned char r, g, b;
    HsvToRgb8(static_cast<int>(c.h), static_cast<int>(c.s * 255), static_cast<int>(c.v), r, g, b);
    EXPECT_EQ(r, p.r);
    EXPECT_EQ(g, p.g);
    EXPECT_EQ(b, p.b);
    double rf, gf, bf;
    HsvToRgbF(c.h, c.s, c.v, rf, gf, bf);
    EXPECT_NEAR(rf, p.r, 1e-9);
    EXPECT_NEAR(bf, p.b, 1e-9);
  }
}

TEST(FinalCompositionTest, AngleZeroIsThePictureThroughHsv) {
  const auto src = Gradient(37, 23);
  const ui::Bitmap24 out = Compose(src, 37, 23, {});
  int maxDiff = 0;
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) {
      const uint16_t* p = src.row16(y) + 3 * x;
      const ui::Color c = out.pixel(x, y);
      maxDiff = std::max({maxDiff, std::abs(c.r - p[0] / 256), std::abs(c.g - p[1] / 256), std::abs(c.b - p[2] / 256)});
    }
  EXPECT_LE(maxDiff, 5);  // HSV quantisation only
}

TEST(FinalCompositionTest, Rotation90IsATransposeAndFlipInside) {
  const int N = 31;  // square, odd: the centre is (15.5, 15.5)
  const auto src = Gradient(N, N);
  FinalSettings s0, s90;
  s90.angle = 90;
  const ui::Bitmap24 a = Compose(src, N, N, s0);
  const ui::Bitmap24 b = Compose(src, N, N, s90);
  int bad = 0;
  for (int y = 2; y < N - 2; ++y)
    for (int x = 2; x < N - 2; ++x) {
      // Output (x, y) samples xs = cx + (y - cy), ys = cy - (x - cx) = N - x: source (y, N - x).
      const ui::Color c = b.pixel(x, y), d = a.pixel(y, N - x);
      if (std::abs(c.r - d.r) > 1 || std::abs(c.g - d.g) > 1 || std::abs(c.b - d.b) > 1) ++bad;
    }
  EXPECT_EQ(bad, 0);
  FinalSettings s360;
  s360.angle = 360;
  EXPECT_EQ(Compose(src, N, N, s360), a);
}

TEST(FinalCompositionTest, Rotation90OnAWideImageBlackCorners) {
  const auto src = Gradient(40, 10);
  FinalSettings s;
  s.angle = 90;
  const ui::Bitmap24 b = Compose(src, 40, 10, s);
  EXPECT_EQ(b.width(), 40);
  EXPECT_EQ(b.height(), 10);
  EXPECT_EQ(b.pixel(0, 0), ui::colors::Black);
  EXPECT_EQ(b.pixel(39, 9), ui::colors::Black);
}

TEST(FinalCompositionTest, BadAnglesGiveASoundPicture) {
  const auto src = Gradient(16, 12);
  const ui::Bitmap24 zero = Compose(src, 16, 12, {});
  FinalSettings s;
  s.angle = NAN;
  EXPECT_EQ(Compose(src, 16, 12, s), zero);
  s.angle = INFINITY;
  EXPECT_EQ(Compose(src, 16, 12, s), zero);
  s.angle = -1e9;  // -1e9 mod 360 = -280: a real rotation, finite
  const ui::Bitmap24 big = Compose(src, 16, 12, s);
  s.angle = -280;
  EXPECT_EQ(Compose(src, 16, 12, s), big);
}

TEST(FinalCompositionTest, FlipsAndHueShift) {
  const auto src = Gradient(20, 14);
  FinalSettings both;
  both.flipX = both.flipY = true;
  FinalSettings r180;
  r180.angle = 180;
  const ui::Bitmap24 a = Compose(src, 20, 14, both), b = Compose(src, 20, 14, r180);
  // 180 degrees about (10, 7) maps x to 20 - x: one pixel off the mirror; compare inside.
  const ui::Bitmap24 plain = Compose(src, 20, 14, {});
  EXPECT_EQ(a.pixel(0, 0), plain.pixel(19, 13));
  EXPECT_EQ(b.pixel(5, 5), plain.pixel(15, 9));
  // Pure red with hue + 100: hue 100.
  formats::TTIFFBitMap red;
  red.Allocate48(1, 1);
  red.row16(0)[0] = 255 * 256;
  red.has16Bit = true;
  FinalSettings h;
  h.hue = 100;
  const ui::Color c = Compose(red, 1, 1, h).pixel(0, 0);
  EXPECT_DOUBLE_EQ(RgbToHsv(c.r, c.g, c.b).h, 100);
}

TEST(FinalCompositionTest, HueHistogramCountsBrightPixelsOnly) {
  formats::TTIFFBitMap b;
  b.Allocate48(2, 1);
  b.row16(0)[1] = 200 * 256;  // green, value 200
  b.row16(0)[3 + 1] = 90 * 256;  // green, value 90: not counted
  b.has16Bit = true;
  ui::Bitmap24 u, s;
  HueCounts h{};
  ComposeFinal8(b, 2, 1, {}, u, s, h);
  EXPECT_EQ(h[120], 1);
  int total = 0;
  for (int v : h) total += v;
  EXPECT_EQ(total, 1);
}

TEST(FinalCompositionTest, SixteenBitWithoutRotation) {
  formats::TTIFFBitMap b;
  b.Allocate48(2, 1);
  uint16_t* p = b.row16(0);
  p[0] = 51200, p[1] = 25600, p[2] = 12800;  // 200, 100, 50 on the 0 … 255 scale
  p[3] = p[4] = p[5] = 128 * 256;            // grey 128
  b.has16Bit = true;
  formats::TTIFFBitMap out;
  FinalSettings s;
  s.flipX = true;
  ComposeFinal16(b, 2, 1, s, out);
  // Flipped: the grey comes first; the +0.01 on red gives it a faint hue but S stays ~0.
  EXPECT_NEAR(out.row16(0)[0], 128 * 255, 3);
  EXPECT_NEAR(out.row16(0)[2], 128 * 255, 3);
  EXPECT_NEAR(out.row16(0)[3], 200.01 * 255, 2);
  EXPECT_NEAR(out.row16(0)[4], 100 * 255, 3);
  EXPECT_NEAR(out.row16(0)[5], 50 * 255, 3);
}

TEST(FinalCompositionTest, CropClampedAndOrdered) {
  ui::Bitmap24 p(10, 8);
  p.setPixel(3, 2, ui::colors::Red);
  const CropRect r = NormaliseCrop({7, 6, 3, 2}, 10, 8);
  EXPECT_EQ(r.left, 3);
  EXPECT_EQ(r.bottom, 6);
  const ui::Bitmap24 c = CropPicture(p, r);
  EXPECT_EQ(c.width(), 4);
  EXPECT_EQ(c.height(), 4);
  EXPECT_EQ(c.pixel(0, 0), ui::colors::Red);
  const CropRect out = NormaliseCrop({-50, -50, 500, 500}, 10, 8);
  EXPECT_EQ(out.right, 10);
  EXPECT_EQ(out.top, 0);
  EXPECT_TRUE(NormaliseCrop({20, 20, 30, 30}, 10, 8).none());
  EXPECT_EQ(CropPicture(p, {}), p);
}

TEST(HslCurveTest, DefaultTableZeroAndEndPointsMoveTogether) {
  TBSpline s;
  SetDefaultHslCurve(s);
  HslCurveTable t{};
  SampleHslCurve(s, t);
  for (float v : t) ASSERT_NEAR(v, 0, 1e-4);
  EXPECT_TRUE(DragHslPoint(s, 2, 42));
  EXPECT_EQ(s.GetPoint(1).y, 42);
  EXPECT_EQ(s.GetPoint(9).y, 42);
  EXPECT_EQ(s.GetPoint(9).x, 360);
  EXPECT_FALSE(DragHslPoint(s, 50, 20));   // beyond 10 of every point
  EXPECT_FALSE(DragHslPoint(s, 80, 50));   // point 2 (45) would come within 15 of point 3 (90)
  EXPECT_TRUE(DragHslPoint(s, 54, 45));
  EXPECT_EQ(s.GetPoint(2).x, 54);
}
