// A frame's shift from its registration: the search offset, the wrap-around of the correlation
// peak, a click by hand, the whole frame's displacement and the fine shift, by hand.
#include <gtest/gtest.h>

#include "registration/FrameShift.h"

namespace registration {
namespace {

TEST(FrameShift, SearchOffsetPrefersTheWholeFrameThenTracking) {
  const Tracking t{4, -2, 1, 3};
  const SearchOffset whole = ChooseSearchOffset(CoarseShift{2.5, -1.5}, true, true, t);
  EXPECT_TRUE(whole.used);
  EXPECT_EQ(whole.x, 2);  // halves to even
  EXPECT_EQ(whole.y, -2);
  const SearchOffset predicted = ChooseSearchOffset(std::nullopt, true, true, t);
  EXPECT_EQ(predicted.x, 5);
  EXPECT_EQ(predicted.y, 1);
  EXPECT_FALSE(ChooseSearchOffset(std::nullopt, false, true, t).used);
}

TEST(FrameShift, PeakWrapsAroundAndTheOffsetJoinsTheStoredShift) {
  const SearchOffset off{10, -4, true};
  // Peak at (3, 60) of a 64 box: s = (3, -4), the feature moved by (-3, 4).
  const FrameShift s = ShiftFromPeak(3, 60, 64, false, std::nullopt, off, true, SubPixel{0.25, -0.5});
  EXPECT_EQ(s.dx, -3);
  EXPECT_EQ(s.dy, 4);
  EXPECT_EQ(s.storedX, 7);
  EXPECT_EQ(s.storedY, 0);
  ASSERT_TRUE(s.hasFine);
  EXPECT_FLOAT_EQ(s.fineX, -3 + 10 - 0.25f);
  EXPECT_FLOAT_EQ(s.fineY, 4 - 4 + 0.5f);
  EXPECT_FALSE(ShiftFromPeak(3, 60, 64, false, std::nullopt, off, false, SubPixel{}).hasFine);
}

TEST(FrameShift, ClickByHandIsMeasuredFromTheBoxCentreWithoutAFraction) {
  const FrameShift s = ShiftFromPeak(40, 20, 64, true, std::nullopt, SearchOffset{}, true, SubPixel{0.3, 0.3});
  EXPECT_EQ(s.dx, 40 - 32);
  EXPECT_EQ(s.dy, 20 - 32);
  EXPECT_EQ(s.storedX, 8);
  EXPECT_FLOAT_EQ(s.fineX, 8);
}

TEST(FrameShift, WholeFrameDisplacementIsTheShiftWithItsFraction) {
  const CoarseShift whole{6.75, -3.25};
  const SearchOffset off = ChooseSearchOffset(whole, false, false, Tracking{});
  const FrameShift s = ShiftFromPeak(5, 9, 64, false, whole, off, false, SubPixel{});
  EXPECT_EQ(s.dx, 0);  // the box's peak only watches for a lost alignment
  EXPECT_EQ(s.storedX, 7);
  EXPECT_EQ(s.storedY, -3);
  ASSERT_TRUE(s.hasFine);
  EXPECT_FLOAT_EQ(s.fineX, 6.75f);
  EXPECT_FLOAT_EQ(s.fineY, -3.25f);
}

}  // namespace
}  // namespace registration
