// Threshold estimators and their sliders, the anti-ringing level, the filter files (written,
// read back, read by Python's INI reader, refused when broken) and the "Do all" tiles.
#include <gtest/gtest.h>

#include "WaveletTestPlanes.h"
#include "support/TestSupport.h"
#include "wavelets/FilterFile.h"
#include "wavelets/NoiseEstimators.h"
#include "wavelets/Tiling.h"

namespace {

using namespace wavelets;

TEST(EstimatorTest, ThresholdsFromTheLayerStatistics) {
  LayerStatistics st;
  for (int n = 1; n <= 6; ++n) {
    st.Variance[n] = 2.0f * n;
    st.MeanAbs[n] = 0.5f * n;
    st.NoiseRatio[n] = 0.25f;
    st.NoiseLevel[n] = 3.0f;
  }
  std::array<float, 7> saved{0, 9, 9, 9, 9, 9, 9};
  auto t = EstimateThresholds(4, 10, st, saved);  // Method D, f = 10: the mean absolute values
  for (int n = 1; n <= 6; ++n) EXPECT_FLOAT_EQ(t[n], 0.5f * n);
  t = EstimateThresholds(1, 5, st, saved);  // Method A: f x variance x 0.1
  EXPECT_FLOAT_EQ(t[3], 3.0f);
  t = EstimateThresholds(2, 20, st, saved);
  EXPECT_FLOAT_EQ(t[6], 0.5f);
  t = EstimateThresholds(3, 10, st, saved);
  EXPECT_FLOAT_EQ(t[1], 3.0f);
  t = EstimateThresholds(0, 10, st, saved);
  EXPECT_EQ(t[2], 0.0f);
  t = EstimateThresholds(5, 10, st, saved);
  EXPECT_EQ(t[4], 9.0f);
}

TEST(EstimatorTest, SliderCarriesTheThresholdToThreeDecimals) {
  ThresholdSlider s = SliderForThreshold(0.0123f);
  EXPECT_EQ(s.max, 25);
  EXPECT_EQ(s.value, 12);
  s = SliderForThreshold(0);
  EXPECT_EQ(s.max, 1);
  EXPECT_EQ(s.value, 0);
  s = SliderForThreshold(1e30f);  // no overflow
  EXPECT_GT(s.max, 0);
}

TEST(AntiRingTest, LevelFromTheBlockAroundTheClick) {
  const int W = 20, H = 20;
  std::array<frames::Single2dArray, 3> p;
  for (auto& q : p) q.Create(W + 10, H + 10);
  for (int c = 0; c < 3; ++c) wavetest::Fill(p[c], W, H, 10.0f * (c + 1));
  const std::array<float, 3> w{0.299f, 0.587f, 0.114f};
  EXPECT_NEAR(AntiRingLuminance(p, 10, 10, W, H, true, w), 0.299 * 10 + 0.587 * 20 + 0.114 * 30, 1e-5);
  EXPECT_NEAR(AntiRingLuminance(p, 0, 0, W, H, false, w), 0.587 * 20, 1e-5);  // block limited to the image
  p[1].Set(19, 19, 20 + 36 * 100);
  EXPECT_NEAR(AntiRingLuminance(p, 19, 19, W, H, false, w), 0.587 * (20 + 100), 1e-3);  // 36 pixels inside

  AntiRingSlider s = AntiRingSliderFor(0.5);
  EXPECT_EQ(s.max, 2500);
  EXPECT_EQ(s.min, 50);
  EXPECT_EQ(s.value, 1000);
  s = AntiRingSliderFor(-0.1);
  EXPECT_EQ(s.min, -500);
  EXPECT_EQ(s.max, 500);
  EXPECT_EQ(s.value, -100);
  s = AntiRingSliderFor(0);
  EXPECT_EQ(s.min, 0);
  EXPECT_EQ(s.max, 0);
}

KernelGrid SampleGrid() {
  KernelGrid g{};
  for (int k = 0; k < 25; ++k) g[k] = k * 3 - 20;
  return g;
}

TEST(FilterFileTest, WrittenAndReadBack) {
  const std::string text = FilterFileText(SampleGrid());
  EXPECT_EQ(text.rfind("[TMainForm]", 0), 0u);
  EXPECT_NE(text.find("Filter00_Value=-20"), std::string::npos);
  EXPECT_NE(text.find("Filter10_Value=-17"), std::string::npos);  // column 1, row 0: index 1
  EXPECT_NE(text.find("Filter01_Value=-5"), std::string::npos);   // column 0, row 1: index 5
  EXPECT_LT(text.find("Filter04_Value"), text.find("Filter10_Value"));  // column outer
  KernelGrid back{};
  std::string error;
  ASSERT_TRUE(ParseFilterText(text, back, error)) << error;
  EXPECT_EQ(back, SampleGrid());
}

TEST(FilterFileTest, ReadByPythonsIniReader) {
  PX_REQUIRE_PROGRAM("python3");
  pxtest::TempDir dir;
  pxtest::WriteText(dir.file("f.pxf"), FilterFileText(SampleGrid()));
  std::string out;
  ASSERT_EQ(pxtest::Run("python3 -c \"import configparser; c = configparser.ConfigParser(); c.optionxform = str; "
                        "c.read('" + dir.file("f.pxf") + "'); s = c['TMainForm']; "
                        "print(len(s), s['Filter00_Value'], s['Filter44_Value'], s['Filter31_Value'])\"",
                        &out),
            0)
      << out;
  EXPECT_EQ(out, "25 -20 52 4\n");  // index 24 = 52, index 1 * 5 + 3 = 8 -> 4
}

TEST(FilterFileTest, BrokenFilesAreRefusedAndLeaveTheGridAlone) {
  const std::string good = FilterFileText(SampleGrid());
  const KernelGrid before = DefaultKernelGrid();
  struct Case {
    const char* name;
    std::string text;
  };
  std::string truncated = good.substr(0, good.size() / 2);
  truncated = truncated.substr(0, truncated.rfind('\n'));
  std::string nonNumeric = good, range = good, binary = good;
  nonNumeric.replace(nonNumeric.find("=-20"), 4, "=abc");
  range.replace(range.find("=-20"), 4, "=99999999999");
  binary[5] = '\0';
  const Case cases[] = {{"truncated", truncated},
                        {"non-numeric", nonNumeric},
                        {"out of range", range},
                        {"binary", binary},
                        {"empty", ""},
                        {"other ini", "[Form]\nA=1\n"}};
  for (const Case& c : cases) {
    KernelGrid g = before;
    std::string error;
    EXPECT_FALSE(ParseFilterText(c.text, g, error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
    EXPECT_EQ(g, before) << c.name;
  }
}

TEST(TilingTest, ReachOfTheSixLayers) {
  Kernel k{};
  std::string error;
  ASSERT_TRUE(NormaliseKernel(DefaultKernelGrid(), k, error));
  EXPECT_EQ(LayersReach({0, 1, 1, 1, 1, 1, 1}, k), 6);
  EXPECT_EQ(LayersReach({0, 1, 2, 4, 8, 16, 32}, k), 63);
  KernelGrid outer = DefaultKernelGrid();
  outer[0] = 1;  // a tap two steps out
  ASSERT_TRUE(NormaliseKernel(outer, k, error));
  EXPECT_EQ(LayersReach({0, 1, 1, 1, 1, 1, 1}, k), 12);
  outer[0] = -1;  // negative taps are never applied
  ASSERT_TRUE(NormaliseKernel(outer, k, error));
  EXPECT_EQ(LayersReach({0, 1, 1, 1, 1, 1, 1}, k), 6);
}

TEST(TilingTest, TilesCoverTheImageWithOverlap) {
  // m = reach + 2.
  TilePlan p = PlanTiles(1000, 800, 512, 512, 4);
  EXPECT_EQ(p.margin, 6);
  EXPECT_EQ(p.step, 500);
  EXPECT_EQ(p.nx, 2);
  EXPECT_EQ(p.ny, 1);
  ASSERT_EQ(p.tiles.size(), 6u);
  EXPECT_EQ(p.tiles[2].ox, 1000);
  EXPECT_EQ(p.tiles[3].oy, 500);
  EXPECT_EQ(p.tiles[3].ox, 0);
  EXPECT_TRUE(PlanTiles(1000, 800, 10, 10, 4).tiles.empty());  // area no larger than 2m
}

}  // namespace
