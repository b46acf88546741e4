// The stacking arithmetic without the form: drop tables, shift splitting, the per-frame
// accumulation geometry and weights, normalisation, calibration files.
#include <gtest/gtest.h>

#include <cmath>

#include "formats/FitsWriter.h"
#include "frames/ImagePlanes.h"
#include "stacking/Calibration.h"
#include "stacking/DrizzleTable.h"
#include "stacking/StackAccumulator.h"
#include "stacking/StackSelection.h"
#include "support/TestSupport.h"
#include "ui/BmpCodec.h"
#include "ui/HeadlessUi.h"

namespace {

using namespace stacking;

float CellWeight(const DropTable& t, int j, int k, bool* present = nullptr) {
  for (int c = 0; c < t.count; ++c)
    if (t.cells[c].j == j && t.cells[c].k == k) {
      if (present) *present = true;
      return t.cells[c].weight;
    }
  if (present) *present = false;
  return 0;
}

TEST(DropTable, HalfPixelDropAtOriginFillsOneCell) {
  DropTable t = BuildDropTable(0, 0, 0.5);
  EXPECT_NEAR(CellWeight(t, 0, 0), 1.0f, 1e-6);
  float sum = 0;
  for (int c = 0; c < t.count; ++c) sum += t.cells[c].weight;
  EXPECT_NEAR(sum, 1.0f, 1e-6);
}

TEST(DropTable, PointEightDropAtPointThreeSharesFourCornersOnly) {
  DropTable t = BuildDropTable(0.3, 0.3, 0.8);
  EXPECT_NEAR(CellWeight(t, 0, 0), 4.0 / 9, 1e-6);
  EXPECT_NEAR(CellWeight(t, 2, 0), 2.0 / 9, 1e-6);
  EXPECT_NEAR(CellWeight(t, 0, 2), 2.0 / 9, 1e-6);
  EXPECT_NEAR(CellWeight(t, 2, 2), 1.0 / 9, 1e-6);
  bool present = true;
  CellWeight(t, 1, 1, &present);
  EXPECT_FALSE(present);  // crossed without holding a corner
  CellWeight(t, 1, 0, &present);
  EXPECT_FALSE(present);
  // Column-major order: j outer, k inner.
  ASSERT_EQ(t.count, 4);
  EXPECT_EQ(t.cells[0].j, 0);
  EXPECT_EQ(t.cells[1].k, 2);
  EXPECT_EQ(t.cells[2].j, 2);
}

TEST(DropTable, NegativeFractionRenormalisesWhatFallsInside) {
  DropTable t = BuildDropTable(-0.25, 0, 0.5);
  float sum = 0;
  for (int c = 0; c < t.count; ++c) sum += t.cells[c].weight;
  EXPECT_NEAR(sum, 1.0f, 1e-6);
  EXPECT_NEAR(CellWeight(t, 0, 0), 1.0f, 1e-6);
}

TEST(DropTable, LargeDropCountsOnlyCellsHoldingACorner) {
  DropTable t = BuildDropTable(0.25, 0.25, 2.0);  // far corner at 2.25: outside every cell
  bool present = false;
  CellWeight(t, 0, 0, &present);
  EXPECT_TRUE(present);
  EXPECT_EQ(t.count, 1);
  EXPECT_NEAR(t.cells[0].weight, 1.0f, 1e-6);
}

TEST(DrizzleShift, SplitRules) {
  SplitShift a = SplitDrizzleShift(5, -3, 0, 0, false, 2, false);
  EXPECT_EQ(a.sx, 5);
  EXPECT_EQ(a.sy, -3);
  EXPECT_EQ(a.qx, 0);
  SplitShift b = SplitDrizzleShift(5, -3, 0, 0, true, 2, false);  // 5/2 -> 2 + 0.5, -3/2 -> -1 - 0.5
  EXPECT_EQ(b.sx, 2);
  EXPECT_DOUBLE_EQ(b.qx, 0.5);
  EXPECT_EQ(b.sy, -1);
  EXPECT_DOUBLE_EQ(b.qy, -0.5);
  SplitShift c = SplitDrizzleShift(5, -3, 1.75f, -2.25f, true, 2, true);  // the fine shift wins
  EXPECT_EQ(c.sx, 1);
  EXPECT_NEAR(c.qx, 0.75, 1e-6);
  EXPECT_EQ(c.sy, -2);
  EXPECT_NEAR(c.qy, -0.25, 1e-6);
}

struct AccFixture : ::testing::Test {
  static constexpr int W = 20, H = 10;
  frames::ImagePlanes planes;
  StackAccumulator acc;
  ui::Bitmap24 frame{W, H};
  AccumulateOptions o;
  void SetUp() override {
    frames::AllocatePlanes(planes, W, H);
    StackGeometry& g = o.geometry;
    g.width = g.checkWidth = g.planeWidth = W;
    g.height = g.checkHeight = g.planeHeight = H;
  }
  FrameSourceView Src() {
    FrameSourceView s;
    s.bytes = &frame;
    s.width = frame.width();
    s.height = frame.height();
    return s;
  }
  float Cov(int x, int y) { return planes.CoveragePlane.Get(x, y); }
};

TEST_F(AccFixture, ShiftedFrameCoversItsRangeOnceMore) {
  frame.fill(ui::Color(30, 60, 90));
  o.colour = true;
  acc.Begin(planes, W, H, false);
  FrameInputs ref, shifted;
  shifted.sx = 3;
  shifted.sy = -2;
  acc.Add(planes, o, ref, Src());
  acc.Add(planes, o, shifted, Src());
  acc.FinishCoverage(planes);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const bool inside = x <= W - 4 && y >= 2;
      EXPECT_EQ(Cov(x, y), inside ? 2.0f : 1.0f) << x << "," << y;
    }
  // The shifted frame's source pixel (i + 3, a - 2) lands on (i, a).
  frame.setPixel(10, 3, ui::Color(200, 0, 0));
  acc.Begin(planes, W, H, false);
  acc.Add(planes, o, shifted, Src());
  acc.FinishCoverage(planes);
  EXPECT_EQ(planes.StackPlanes[0].Get(7, 5), 200.0f);
  EXPECT_EQ(planes.StackPlanes[0].Get(10, 3), 30.0f);
}

TEST_F(AccFixture, ExpandedCanvasSkipsTheOuterRingAndOffsetsTheDestination) {
  frame.fill(ui::Color(10, 10, 10));
  o.colour = true;
  o.geometry.expand = true;
  o.geometry.offsetX = 4;
  o.geometry.offsetY = 2;
  o.geometry.planeWidth = W + 8;
  o.geometry.planeHeight = H + 4;
  frames::AllocatePlanes(planes, W + 8, H + 4);
  acc.Begin(planes, W + 8, H + 4, false);
  FrameInputs ref;
  acc.Add(planes, o, ref, Src());
  acc.FinishCoverage(planes);
  // Source columns 1 .. W - 2 go to 5 .. W + 2.
  EXPECT_EQ(Cov(4, 5), 0.0f);
  EXPECT_EQ(Cov(5, 5), 1.0f);
  EXPECT_EQ(Cov(W + 2, 5), 1.0f);
  EXPECT_EQ(Cov(W + 3, 5), 0.0f);
  EXPECT_EQ(Cov(10, 2), 0.0f);
  EXPECT_EQ(Cov(10, 3), 1.0f);
}

TEST_F(AccFixture, QualityWeightedLuminanceIsDividedByThePlainCount) {
  o.colour = false;
  acc.Begin(planes, W, H, false);
  FrameInputs a, b;
  a.weight = 2;
  b.weight = 0.5f;
  frame.fill(ui::Color(100, 100, 100));
  acc.Add(planes, o, a, Src());
  frame.fill(ui::Color(200, 200, 200));
  acc.Add(planes, o, b, Src());
  acc.FinishCoverage(planes);
  NormalizeStack(planes, W, H, false);
  // (100 * 2 + 200 * 0.5) / 2, not divided by the weight sum.
  EXPECT_NEAR(planes.StackPlanes[1].Get(5, 5), 150.0f, 1e-3);
}

TEST_F(AccFixture, ColourModeIgnoresTheWeight) {
  o.colour = true;
  acc.Begin(planes, W, H, false);
  FrameInputs a;
  a.weight = 7;
  frame.fill(ui::Color(100, 50, 25));
  acc.Add(planes, o, a, Src());
  acc.FinishCoverage(planes);
  NormalizeStack(planes, W, H, true);
  EXPECT_EQ(planes.StackPlanes[0].Get(3, 3), 100.0f);
  EXPECT_EQ(planes.StackPlanes[1].Get(3, 3), 50.0f);
  EXPECT_EQ(planes.StackPlanes[2].Get(3, 3), 25.0f);
}

TEST_F(AccFixture, FitsChannelsFillTheirOwnPlanesWhileCoverageCountsEveryFile) {
  frames::Single2dArray fits(W, H);
  o.colour = true;
  acc.Begin(planes, W, H, false);
  FrameSourceView s;
  s.kind = SourceKind::Fits;
  s.fits = &fits;
  s.width = W;
  s.height = H;
  const float values[4] = {1000, 2000, 3000, 4000};
  bool lum = false;
  for (int ch = 0; ch < 4; ++ch) {
    fits.Fill(values[ch], W, H);
    FrameInputs in;
    in.fitsChannel = ch;
    lum = acc.Add(planes, o, in, s) || lum;
  }
  EXPECT_TRUE(lum);
  acc.FinishCoverage(planes);
  EXPECT_EQ(Cov(2, 2), 4.0f);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(planes.StackPlanes[k].Get(2, 2), values[k]);
}

TEST_F(AccFixture, CalibrationInFloatOnlyWhereTheCalibrationImageReaches) {
  for (auto& p : planes.DarkPlanes) p.Create(5, 4);
  for (auto& p : planes.FlatPlanes) p.Create(5, 4);
  for (int k = 0; k < 3; ++k) {
    planes.DarkPlanes[k].Fill(10.25f * 128, 5, 4);
    planes.FlatPlanes[k].Fill(0.5f, 5, 4);
  }
  frame.fill(ui::Color(50, 50, 50));
  o.colour = true;
  o.useDark = o.useFlat = true;
  o.darkWidth = o.flatWidth = 5;
  o.darkHeight = o.flatHeight = 4;
  acc.Begin(planes, W, H, false);
  FrameInputs in;
  in.sx = 1;  // calibration follows the source pixel, before shifting
  acc.Add(planes, o, in, Src());
  acc.FinishCoverage(planes);
  EXPECT_FLOAT_EQ(planes.StackPlanes[0].Get(3, 3), (50 - 10.25f) / 0.5f);  // source (4, 3)
  EXPECT_FLOAT_EQ(planes.StackPlanes[0].Get(4, 3), 50.0f);                 // source (5, 3): outside
  EXPECT_FLOAT_EQ(planes.StackPlanes[2].Get(0, 4), 50.0f);
}

TEST_F(AccFixture, InterlaceRowFilters) {
  frame.fill(ui::Color(8, 8, 8));
  o.colour = false;
  o.interlaced = true;
  auto rowsAdded = [&](int filter, int field) {
    o.interlaceFilter = filter;
    acc.Begin(planes, W, H, false);
    FrameInputs in;
    in.fieldIndex = field;
    acc.Add(planes, o, in, Src());
    acc.FinishCoverage(planes);
    std::string s;
    for (int y = 0; y < 4; ++y) s += Cov(0, y) > 0 ? '1' : '0';
    return s;
  };
  EXPECT_EQ(rowsAdded(0, 0), "1010");
  EXPECT_EQ(rowsAdded(0, 1), "0101");
  EXPECT_EQ(rowsAdded(1, 0), "1111");
  EXPECT_EQ(rowsAdded(2, 0), "0000");
  EXPECT_EQ(rowsAdded(2, 1), "1111");
  EXPECT_EQ(rowsAdded(3, 0), "1111");
  EXPECT_EQ(rowsAdded(3, 1), "0000");
}

TEST_F(AccFixture, DrizzleSpreadsTheDropOverTheDoubledGrid) {
  const int wd = 2 * W - 1, hd = 2 * H - 1;
  frames::AllocatePlanes(planes, wd, hd);
  o.colour = false;
  o.geometry.drizzle = true;
  o.geometry.width = o.geometry.checkWidth = wd / 2;
  o.geometry.height = o.geometry.checkHeight = hd / 2;
  o.geometry.planeWidth = wd;
  o.geometry.planeHeight = hd;
  acc.Begin(planes, wd, hd, true);
  frame.fill(ui::Color(90, 90, 90));
  FrameInputs in;
  in.drop = BuildDropTable(0.3, 0.3, 0.8);
  acc.Add(planes, o, in, Src());
  acc.FinishCoverage(planes);
  // Inside, an even fine pixel collects 4/9 of its own drop and 2/9, 2/9, 1/9 from the
  // neighbours to the left, above and diagonally; the odd ones get nothing.
  EXPECT_NEAR(Cov(6, 4), 1.0f, 1e-5);
  EXPECT_EQ(Cov(7, 4), 0.0f);
  EXPECT_EQ(Cov(6, 5), 0.0f);
  EXPECT_NEAR(Cov(0, 0), 4.0f / 9, 1e-5);
  NormalizeStack(planes, wd, hd, false);
  EXPECT_NEAR(planes.StackPlanes[1].Get(6, 4), 90.0f, 1e-3);
}

TEST(StackRender, BrightestIs255AndTheCopyRoundsWithoutClamping) {
  frames::ImagePlanes planes;
  frames::AllocatePlanes(planes, 4, 1);
  for (int k = 0; k < 3; ++k)
    for (int x = 0; x < 4; ++x) planes.StackPlanes[k].Set(x, 0, x * 10.0f);
  planes.StackPlanes[0].Set(0, 0, -5);
  float mx = StackMaximum(planes, 4, 1, true);
  EXPECT_EQ(mx, 30.0f);
  ui::Bitmap24 view;
  RenderStack(planes, 4, 1, true, 255.0f / mx, view, planes.OutputBitmap48);
  EXPECT_EQ(view.pixel(3, 0), ui::Color(255, 255, 255));
  EXPECT_EQ(view.pixel(1, 0).g, 85);
  EXPECT_EQ(planes.OutputBitmap48.row16(0)[3 * 3], 65025);
  EXPECT_EQ(planes.OutputBitmap48.row16(0)[0], 0);  // negative: 0, not a wrapped value
}

TEST(StackRender, EmptySelectionGivesBlackNotNaN) {
  frames::ImagePlanes planes;
  frames::AllocatePlanes(planes, 4, 4);
  StackAccumulator acc;
  acc.Begin(planes, 4, 4, false);
  acc.FinishCoverage(planes);
  NormalizeStack(planes, 4, 4, true);
  EXPECT_EQ(StackMaximum(planes, 4, 4, true), 0.0f);
  EXPECT_EQ(planes.StackPlanes[1].Get(2, 2), 0.0f);
}

TEST(CalibrateBytes, DarkThenFlatRoundedAndClampedOverTheirOwnArea) {
  frames::ImagePlanes planes;
  for (auto& p : planes.DarkPlanes) p.Create(2, 2);
  for (auto& p : planes.FlatPlanes) p.Create(2, 2);
  for (int k = 0; k < 3; ++k) {
    planes.DarkPlanes[k].Fill(10.5f * 128, 2, 2);
    planes.FlatPlanes[k].Fill(0.5f, 2, 2);
  }
  ui::Bitmap24 f(3, 2);
  f.fill(ui::Color(100, 5, 200));
  CalibrateBytes(f, planes, true, 2, 2, true, 2, 2);
  // 100 - 10.5 = 89.5 -> 90 (half to even), / 0.5 = 180; 5 - 10.5 -> 0; 200 -> 190 -> 255.
  EXPECT_EQ(f.pixel(0, 0), ui::Color(180, 0, 255));
  EXPECT_EQ(f.pixel(2, 0), ui::Color(100, 5, 200));  // outside the calibration image
}

TEST(Selection, CutOffEqualityExclusionAndDmaxOverAllRanks) {
  frames::FrameTable t;
  t.Reset();
  const float diff[5] = {0, 4, 2, 8, 6};
  for (int k = 0; k < 5; ++k) {
    t.ranks[k].FrameIndex = 4 - k;
    t[4 - k].Difference = diff[k];
  }
  EXPECT_EQ(MaxDifference(t, 4), 8.0f);
  EXPECT_EQ(MaxDifference(t, 2), 4.0f);
  const float cut = DifferenceCut(8, 100);
  EXPECT_TRUE(Admits(t, 3, 4, cut));  // equal to Dmax passes
  EXPECT_FALSE(Admits(t, 4, 3, cut)); // beyond R
  EXPECT_TRUE(Admits(t, 0, 4, DifferenceCut(8, 0)));
  EXPECT_FALSE(Admits(t, 2, 4, DifferenceCut(8, 0)));
  t[4 - 1].Excluded = 1;
  EXPECT_FALSE(Admits(t, 1, 4, cut));
  EXPECT_TRUE(WithinCut(t, 1, cut));
  EXPECT_EQ(CountAdmitted(t, 4, cut), 4);
}

struct CalibrationFiles : ::testing::Test {
  pxtest::TempDir dir;
  ui::HeadlessUi ui;
  frames::ImagePlanes planes;
  StackingState st;
};

TEST_F(CalibrationFiles, BmpDarkframeHoldsLevelTimes128) {
  ui::Bitmap24 b(8, 6);
  b.fill(ui::Color(10, 10, 10));
  ui::SaveBmpFile(dir.file("dark.bmp"), b);
  auto r = LoadCalibrationFile(ui, planes, st, false, dir.file("dark.bmp"), calBmp, false);
  EXPECT_TRUE(r.loaded);
  EXPECT_FALSE(r.colourOff);
  EXPECT_EQ(st.DarkWidth, 8);
  EXPECT_EQ(planes.DarkPlanes[2].Get(7, 5), 1280.0f);
  EXPECT_EQ(st.DarkFileType, 1);
}

TEST_F(CalibrationFiles, HalfAndHalfFlatfieldIsDividedByItsMean) {
  ui::Bitmap24 b(8, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) b.setPixel(x, y, x < 4 ? ui::Color(100, 100, 100) : ui::Color(200, 200, 200));
  ui::SaveBmpFile(dir.file("flat.bmp"), b);
  LoadCalibrationFile(ui, planes, st, true, dir.file("flat.bmp"), calBmp, false);
  EXPECT_NEAR(planes.FlatPlanes[0].Get(0, 0), 100.0 / 150, 1e-6);
  EXPECT_NEAR(planes.FlatPlanes[0].Get(7, 1), 200.0 / 150, 1e-6);
  // A frame value v becomes v / flat: 1.5 v on the left, 0.75 v on the right.
  EXPECT_NEAR(90 / planes.FlatPlanes[1].Get(1, 0), 135.0, 1e-3);
  EXPECT_NEAR(90 / planes.FlatPlanes[1].Get(6, 0), 67.5, 1e-3);
}

TEST_F(CalibrationFiles, ZeroInFlatfieldBecomesTiny) {
  ui::Bitmap24 b(2, 1);
  b.setPixel(0, 0, ui::Color(0, 0, 0));
  b.setPixel(1, 0, ui::Color(200, 200, 200));
  ui::SaveBmpFile(dir.file("flat.bmp"), b);
  LoadCalibrationFile(ui, planes, st, true, dir.file("flat.bmp"), calBmp, false);
  EXPECT_FLOAT_EQ(planes.FlatPlanes[0].Get(0, 0), 0.00001f);
}

TEST_F(CalibrationFiles, FitsVariantsAndTheirUnits) {
  formats::WriteFitsImage16(dir.file("dark.fitx"), 3, 2, {1312, 1312, 1312, 1312, 1312, 1312}, 0);
  auto r = LoadCalibrationFile(ui, planes, st, false, dir.file("dark.fitx"), calFitx, false);
  EXPECT_TRUE(r.colourOff);
  EXPECT_EQ(planes.DarkPlanes[0].Get(2, 1), 1312.0f);  // 10.25 levels
  EXPECT_EQ(planes.DarkPlanes[2].Get(0, 0), 1312.0f);
  formats::WriteFitsImage16(dir.file("dark.fit"), 3, 2, {10, 10, 10, 10, 10, 10}, 0);
  LoadCalibrationFile(ui, planes, st, false, dir.file("dark.fit"), calFits, false);
  EXPECT_EQ(planes.DarkPlanes[1].Get(1, 1), 1280.0f);
  formats::WriteFitsImage16(dir.file("flat.fit"), 2, 1, {100, 300}, 0);
  LoadCalibrationFile(ui, planes, st, true, dir.file("flat.fit"), calFits, false);
  EXPECT_FLOAT_EQ(planes.FlatPlanes[1].Get(0, 0), 0.5f);
  EXPECT_FLOAT_EQ(planes.FlatPlanes[1].Get(1, 0), 1.5f);
}

TEST_F(CalibrationFiles, TooLargeBmpIsCutWithAWarning) {
  ui::Bitmap24 b(4100, 2);
  b.fill(ui::Color(3, 3, 3));
  ui::SaveBmpFile(dir.file("wide.bmp"), b);
  auto r = LoadCalibrationFile(ui, planes, st, true, dir.file("wide.bmp"), calBmp, false);
  EXPECT_TRUE(r.loaded);
  EXPECT_EQ(st.FlatWidth, 4096);
  EXPECT_EQ(st.FlatHeight, 2);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, " Warning: flatfield too large , truncated !");
  EXPECT_FLOAT_EQ(planes.FlatPlanes[2].Get(4095, 1), 1.0f);
}

TEST_F(CalibrationFiles, UnsupportedDepthStopsTheLoading) {
  // A FITS header with BITPIX 8: refused, and no values are used.
  std::string h;
  auto card = [&](const std::string& c) { h += c + std::string(80 - c.size(), ' '); };
  card("SIMPLE  =                    T");
  card("BITPIX  =                    8");
  card("NAXIS   =                    2");
  card("NAXIS1  =                    2");
  card("NAXIS2  =                    2");
  card("END");
  h += std::string(2880 - h.size(), ' ') + std::string(2880, '\0');
  pxtest::WriteText(dir.file("b8.fit"), h);
  auto r = LoadCalibrationFile(ui, planes, st, false, dir.file("b8.fit"), calFits, false);
  EXPECT_FALSE(r.loaded);
  EXPECT_FALSE(r.hideUseBox);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().text, "unsupported fits format");
  EXPECT_EQ(st.DarkWidth, 0);
}

TEST_F(CalibrationFiles, TooLargeFitsIsRefusedWithItsMessage) {
  std::vector<int32_t> v(4097, 1);
  formats::WriteFitsImage16(dir.file("big.fit"), 4097, 1, v, 0);
  auto r = LoadCalibrationFile(ui, planes, st, false, dir.file("big.fit"), calFits, false);
  EXPECT_FALSE(r.loaded);
  EXPECT_TRUE(r.hideUseBox);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().text, " darkframe too large !!");
  // From a project the same file is cut without a word.
  ui.messages.clear();
  r = LoadCalibrationFile(ui, planes, st, true, dir.file("big.fit"), calFits, true);
  EXPECT_TRUE(r.loaded);
  EXPECT_EQ(st.FlatWidth, 4096);
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
