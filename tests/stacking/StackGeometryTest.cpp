// The extent of a stack run against sizes worked out by hand: plain, expanded by the shifts of
// the admitted frames, drizzled, resampled (halves round to even), and resampled beyond 4096
// pixels, where a window of the enlarged frame is stacked.
#include <gtest/gtest.h>

#include <memory>

#include "stacking/StackGeometry.h"

namespace {

using namespace stacking;

StackGeometryOptions Frames(int w, int h) {
  StackGeometryOptions o;
  o.imageWidth = o.frameWidth = w;
  o.imageHeight = o.frameHeight = h;
  return o;
}

TEST(StackGeometry, PlainStackKeepsTheImageSize) {
  frames::FrameTable t;
  t.Reset();
  const StackGeometry g = ComputeStackGeometry(Frames(640, 480), t);
  EXPECT_EQ(g.runWidth, 640);
  EXPECT_EQ(g.planeHeight, 480);
  EXPECT_EQ(g.finalWidth, 640);
  EXPECT_EQ(g.finalHeight, 480);
  EXPECT_EQ(g.checkWidth, 640);
  EXPECT_EQ(g.viewScale, 1);
}

TEST(StackGeometry, ExpandedCanvasGrowsByTheAdmittedShiftsOnly) {
  auto t = std::make_unique<frames::FrameTable>();
  t->Reset();
  const int shifts[5][2] = {{3, -2}, {-5, 4}, {1, 1}, {20, 20}, {-30, -30}};
  for (int k = 0; k < 5; ++k) {
    t->ranks[k].FrameIndex = k;
    (*t)[k].ShiftX = shifts[k][0];
    (*t)[k].ShiftY = shifts[k][1];
  }
  (*t)[3].Excluded = 1;  // rank 3 left out, rank 4 beyond R
  StackGeometryOptions o = Frames(100, 80);
  o.imageWidth = 50;  // the canvas starts from the frame, not the last image
  o.expand = true;
  o.lastRank = 3;
  o.cut = 1;
  const StackGeometry g = ComputeStackGeometry(o, *t);
  EXPECT_EQ(g.runWidth, 100);
  EXPECT_EQ(g.expandedWidth, 100 + 3 + 5 - 1);
  EXPECT_EQ(g.expandedHeight, 80 + 4 + 2 - 1);
  EXPECT_EQ(g.offsetX, 3);
  EXPECT_EQ(g.offsetY, 4);
  EXPECT_EQ(g.planeWidth, 107);
  EXPECT_EQ(g.finalWidth, 107);
  EXPECT_EQ(g.finalHeight, 85);
  EXPECT_EQ(g.width, 100);
  // Every admitted frame adds its inner part (the outer ring left out) inside the planes.
  for (int k = 0; k < 3; ++k) {
    const int sx = shifts[k][0], sy = shifts[k][1];
    const FrameRegion r = ContributionRegion(g, sx, sy, 100, 80);
    EXPECT_EQ(r.i0, 1 - sx) << k;
    EXPECT_EQ(r.i1, 98 - sx) << k;
    EXPECT_EQ(r.a0, 1 - sy) << k;
    EXPECT_EQ(r.a1, 78 - sy) << k;
    EXPECT_GE(r.i0 + g.offsetX, 0);
    EXPECT_LT(r.i1 + g.offsetX, g.planeWidth);
    EXPECT_LT(r.a1 + g.offsetY, g.planeHeight);
  }
}

TEST(StackGeometry, DrizzleDoublesTheGridLessOne) {
  frames::FrameTable t;
  StackGeometryOptions o = Frames(101, 75);
  o.drizzle = true;
  o.resampled = true;  // drizzle wins
  const StackGeometry g = ComputeStackGeometry(o, t);
  EXPECT_FALSE(g.resample);
  EXPECT_EQ(g.viewScale, 2);
  EXPECT_EQ(g.runWidth, 201);
  EXPECT_EQ(g.runHeight, 149);
  EXPECT_EQ(g.width, 100);
  EXPECT_EQ(g.height, 74);
  EXPECT_EQ(g.finalWidth, 201);
}

TEST(StackGeometry, ResampledSizesRoundHalvesToEvenAndKeepOneMoreColumn) {
  frames::FrameTable t;
  StackGeometryOptions o = Frames(101, 75);
  o.resampled = true;
  o.factor = 1.5;  // 151.5 -> 152, 112.5 -> 112
  const StackGeometry g = ComputeStackGeometry(o, t);
  EXPECT_EQ(g.runWidth, 151);
  EXPECT_EQ(g.runHeight, 111);
  EXPECT_EQ(g.finalWidth, 152);
  EXPECT_EQ(g.finalHeight, 112);
  EXPECT_EQ(g.width, 151);
  EXPECT_EQ(g.sourceWindowWidth, 101);  // 151 / 1.5 = 100.67
  EXPECT_EQ(g.sourceWindowHeight, 74);
  EXPECT_EQ(g.windowX, 0);
  EXPECT_DOUBLE_EQ(g.viewScale, 1.5);
}

TEST(StackGeometry, ResampledBeyond4096StacksAWindowAroundTheFeature) {
  frames::FrameTable t;
  StackGeometryOptions o = Frames(3000, 2000);
  o.resampled = true;
  o.factor = 2;
  o.stackX = 1500;
  const StackGeometry g = ComputeStackGeometry(o, t);
  EXPECT_EQ(g.checkWidth, 5999);
  EXPECT_EQ(g.width, 4096);
  EXPECT_EQ(g.windowX, 3000 - 2048);
  EXPECT_EQ(g.height, 3999);  // fits: no window
  EXPECT_EQ(g.windowY, 0);
  EXPECT_EQ(g.planeWidth, 4096);
  EXPECT_EQ(g.finalWidth, 4096);
  EXPECT_EQ(g.finalHeight, 4000);
  EXPECT_EQ(g.sourceWindowHeight, 2000);  // 1999.5
  const WindowOrigin w = ResampleWindowOrigin(g, 5, -3);
  EXPECT_EQ(w.x, 478);  // 957 / 2
  EXPECT_EQ(w.y, -2);   // -1.5
  o.stackX = 2900;      // near the edge the window stops at the frame's end
  EXPECT_EQ(ComputeStackGeometry(o, t).windowX, 5999 - 4096);
}

}  // namespace
