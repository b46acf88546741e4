// Working planes from the stack (shifts, luminance mix) and the least-squares shift estimate.
#include <gtest/gtest.h>

#include "WaveletTestPlanes.h"
#include "wavelets/ParallelRows.h"
#include "wavelets/RgbShift.h"

namespace {

using frames::Single2dArray;
using namespace wavelets;

struct Stack {
  std::array<Single2dArray, 4> planes;
  std::array<Single2dArray, 3> colour;
  Stack(int W, int H) {
    for (auto& p : planes) p.Create(W + 10, H + 10);
    for (auto& p : colour) p.Create(W + 10, H + 10);
  }
};

TEST(FillWorkingPlanesTest, ShiftsAndLuminanceMix) {
  const int W = 6, H = 4;
  Stack s(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      s.planes[0].Set(x, y, 100 + x + 10 * y);
      s.planes[1].Set(x, y, 200 + x + 10 * y);
      s.planes[2].Set(x, y, 300 + x + 10 * y);
      s.planes[3].Set(x, y, 7);
    }
  FillSettings f;
  f.mode = FillMode::Colour;
  f.dxR = 2;   // red read two pixels to the right
  f.dyB = -1;  // blue read one row up
  FillWorkingPlanes(s.planes, s.colour, W, H, f);
  EXPECT_EQ(s.colour[0].Get(1, 1), 100 + 3 + 10);
  EXPECT_EQ(s.colour[0].Get(5, 1), 100 + 5 + 10);  // source outside: the unshifted pixel
  EXPECT_EQ(s.colour[2].Get(1, 2), 300 + 1 + 10);
  EXPECT_EQ(s.colour[1].Get(4, 3), 200 + 4 + 30);

  f.mode = FillMode::LrgbMix;
  f.wR = f.wG = f.wB = 1.0f / 3;
  FillWorkingPlanes(s.planes, s.colour, W, H, f);
  EXPECT_FLOAT_EQ(s.colour[1].Get(1, 1), (113.0f + 211 + 301) / 3);
  EXPECT_FLOAT_EQ(s.colour[1].Get(5, 0), 205.0f / 3);  // red and blue outside: green alone

  f.mode = FillMode::LrgbLuminance;
  FillWorkingPlanes(s.planes, s.colour, W, H, f);
  EXPECT_EQ(s.colour[1].Get(2, 2), 7);
}

TEST(EstimateBoxTest, LimitsKeepTheSearchInsideTheImage) {
  ShiftBox b = EstimateBox(64, false, 1, false, 200, 150, 640, 480);
  EXPECT_EQ(b.b, 32);
  EXPECT_EQ(b.cx, 200);
  b = EstimateBox(256, true, 2.0, false, 200, 150, 1279, 959);
  EXPECT_EQ(b.b, 128);  // Round(2 x 256 x 0.5) = 256, at most 128
  EXPECT_EQ(b.cx, 400);
  b = EstimateBox(128, false, 1, false, 20, 150, 640, 480);
  EXPECT_LT(b.b, 0);  // 20 pixels from the left border
  b = EstimateBox(256, false, 1, false, 100, 80, 200, 160);  // the search ends on the last column and row
  EXPECT_EQ(b.b, 49);
  EXPECT_EQ(b.cy + b.b + 30, 159);
  b = EstimateBox(128, false, 1, true, 100, 100, 400, 400);
  EXPECT_EQ(b.cx, 200);
  EXPECT_EQ(b.b, 128);
}

TEST(EstimateShiftTest, FindsADisplacedChannelAndAgreesWithThePlainSum) {
  const int W = 200, H = 160;
  Single2dArray g(W + 10, H + 10), r(W + 10, H + 10);
  wavetest::FillPattern(g, W, H, 99);
  // R(x + 3, y - 2) = G(x, y)
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int sx = x - 3, sy = y + 2;
      r.Set(x, y, sx >= 0 && sy < H ? g.Get(sx, sy) : 0.0f);
    }
  const ShiftBox box = EstimateBox(64, false, 1, false, 100, 80, W, H);
  ASSERT_EQ(box.b, 32);
  for (int threads : {1, 2}) {
    SetWaveletThreads(threads);
    const ShiftResult s = EstimateShift(g, r, box);
    EXPECT_EQ(s.dx, 3);
    EXPECT_EQ(s.dy, -2);
    EXPECT_NEAR(s.error, 0.0, 1e-6);
  }
  SetWaveletThreads(0);
  // The vectorised sums are the plain loop's bits, for boxes of every width modulo 4.
  for (int b : {32, 29, 30, 31}) {
    ShiftBox small = box;
    small.b = b;
    const std::vector<double> E = ShiftErrors(g, r, small);
    for (int dx = -30; dx <= 30; dx += 3)
      for (int dy = -30; dy <= 30; dy += 4)
        ASSERT_EQ(E[(dx + 30) * 61 + (dy + 30)], ShiftErrorReference(g, r, small, dx, dy)) << b << " " << dx << "," << dy;
  }
  // A dimmer, offset copy still matches: the boxes are compared after a gain and offset fit.
  Single2dArray dim(W + 10, H + 10);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) dim.Set(x, y, 0.4f * r.Get(x, y) + 30);
  const ShiftResult fitted = EstimateShift(g, dim, box);
  EXPECT_EQ(fitted.dx, 3);
  EXPECT_EQ(fitted.dy, -2);
  // Identical planes: no shift.
  const ShiftResult same = EstimateShift(g, g, box);
  EXPECT_EQ(same.dx, 0);
  EXPECT_EQ(same.dy, 0);
  // A box that does not fit: every error 0, no shift.
  const ShiftResult none = EstimateShift(g, r, EstimateBox(64, false, 1, false, 20, 80, W, H));
  EXPECT_EQ(none.dx, 0);
  EXPECT_EQ(none.dy, 0);
}

}  // namespace
