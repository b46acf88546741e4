// Moving a frame by the fraction of its fine shift before it is stacked.
#include <gtest/gtest.h>

#include <cmath>

#include "stacking/SubPixelShift.h"

namespace stacking {
namespace {

TEST(SubPixelShiftTest, FineShiftSplitsIntoWholePixelsAndAFraction) {
  bool valid = false;
  FineSplit s = SplitFineShift(-2.25f, 3.5f, -2, 4, valid);
  EXPECT_TRUE(valid);
  EXPECT_EQ(s.sx, -3);
  EXPECT_FLOAT_EQ(s.fx, 0.75f);
  EXPECT_EQ(s.sy, 3);
  EXPECT_FLOAT_EQ(s.fy, 0.5f);
  // A fine shift left over from another run (a pixel or more away) is not used.
  s = SplitFineShift(0, 0, 5, 0, valid);
  EXPECT_FALSE(valid);
  EXPECT_EQ(s.sx, 5);
  EXPECT_EQ(s.fx, 0);
}

TEST(SubPixelShiftTest, CubicShiftKeepsConstantsAndMovesRampsExactly) {
  const int w = 12, h = 9;
  frames::Single2dArray src, dst;
  src.Create(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) src.Set(x, y, static_cast<float>(3 * x + 2 * y + 10));
  ShiftPlane(src, w, h, 0.25f, 0.5f, dst);
  // Away from the repeated edges a linear ramp is reproduced at the moved position.
  for (int y = 1; y < h - 2; ++y)
    for (int x = 1; x < w - 2; ++x) EXPECT_NEAR(dst.Get(x, y), 3 * (x + 0.25) + 2 * (y + 0.5) + 10, 1e-4) << x << "," << y;

  ui::Bitmap24 pic(w, h);
  pic.fill(ui::Color{40, 80, 120});
  formats::TTIFFBitMap out;
  ShiftBytesInto16(pic, w, h, 0.6f, 0.3f, out);
  // Constant everywhere, edges included; red first in the 16-bit rows, times 255.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      ASSERT_EQ(out.row16(y)[x * 3], 40 * 255);
      ASSERT_EQ(out.row16(y)[x * 3 + 1], 80 * 255);
      ASSERT_EQ(out.row16(y)[x * 3 + 2], 120 * 255);
    }
  // No shift leaves the picture as it was.
  pic.row(4)[5 * 3 + 2] = 250;
  ShiftBytesInto16(pic, w, h, 0, 0, out);
  EXPECT_EQ(out.row16(4)[5 * 3], 250 * 255);
  EXPECT_EQ(out.row16(4)[4 * 3], 40 * 255);
}

}  // namespace
}  // namespace stacking
