// The decomposition: layers add back to the input for any kernel, constant pictures have no
// detail away from the border, an impulse spreads by the layer's scale, hand-computed
// statistics, and the same bits for one or two workers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "WaveletTestPlanes.h"
#include "wavelets/Decomposition.h"
#include "wavelets/NoiseEstimators.h"
#include "wavelets/ParallelRows.h"

namespace {

using frames::Single2dArray;
using namespace wavelets;

Kernel Normalised(const KernelGrid& g) {
  Kernel k{};
  std::string error;
  EXPECT_TRUE(NormaliseKernel(g, k, error)) << error;
  return k;
}

struct Decomp {
  Single2dArray colour, work;
  std::vector<Single2dArray> layers;
  LayerStatistics stats;
  Decomp(int W, int H, int side) : colour(W + 10, H + 10), work(W + 10, H + 10), layers(7) {
    for (auto& l : layers) l.Create(side, side);
  }
  void Run(const Kernel& k, const std::array<int, 7>& scales, const AreaRect& a, int W, int H) {
    for (int n = 1; n <= 6; ++n) {
      LayerSums s;
      DecomposeLayer(colour, work, layers[n], k, scales[n], a, W, H, &s);
      FinishLayerStatistics(s, n, stats);
    }
    DeriveStatistics(stats);
  }
};

TEST(LayerScaleTest, DyadicAndLinearSchemes) {
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(LayerScale(n, true, 7, 3.5), 1 << (n - 1));
  const int linear[6] = {1, 2, 2, 2, 3, 4};  // Initial 1, Step 0.5, halves to even
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(LayerScale(n, false, 1, 0.5), linear[n - 1]) << n;
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(LayerScale(n, false, 1, 0), 1);
}

TEST(KernelTest, DefaultAndUserWeightsAreNormalised) {
  Kernel k = Normalised(DefaultKernelGrid());
  EXPECT_FLOAT_EQ(k[12], 50.0f / 98);
  for (int idx : {6, 7, 8, 11, 13, 16, 17, 18}) EXPECT_FLOAT_EQ(k[idx], 6.0f / 98) << idx;
  for (int idx : {0, 4, 20, 24, 2, 10}) EXPECT_EQ(k[idx], 0.0f);

  KernelGrid g{};
  g[12] = 4;
  g[0] = -1;
  g[24] = 1;
  k = Normalised(g);  // sum 4: negative weights count in the sum
  EXPECT_FLOAT_EQ(k[12], 1.0f);
  EXPECT_FLOAT_EQ(k[0], -0.25f);
  EXPECT_FLOAT_EQ(k[24], 0.25f);

  KernelGrid zero{};
  zero[12] = 3;
  zero[13] = -3;
  Kernel keep = Normalised(DefaultKernelGrid());
  std::string error;
  EXPECT_FALSE(NormaliseKernel(zero, keep, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FLOAT_EQ(keep[12], 50.0f / 98);  // unchanged
}

TEST(DecompositionTest, LayersPlusResidualGiveTheInputForAnyKernel) {
  const int W = 90, H = 70;
  KernelGrid wide{};
  for (int k = 0; k < 25; ++k) wide[k] = (k * 7) % 5 - 1;  // negatives, zeros and outer taps
  wide[12] = 20;
  for (const KernelGrid& g : {DefaultKernelGrid(), wide}) {
    for (bool dyadic : {false, true}) {
      Decomp d(W, H, 64);
      wavetest::FillPattern(d.colour, W, H);
      Single2dArray input(W + 10, H + 10);
      wavetest::FillPattern(input, W, H);
      std::array<int, 7> scales{};
      for (int n = 1; n <= 6; ++n) scales[n] = LayerScale(n, dyadic, 1, 0);
      const AreaRect a = ClampArea(20, 5, 64, 64, W, H);
      d.Run(Normalised(g), scales, a, W, H);
      double worst = 0;
      for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
          double sum = d.colour.Get(x, y);
          for (int n = 1; n <= 6; ++n) sum += d.layers[n].Get(x - a.x0, y - a.y0);
          worst = std::max(worst, std::fabs(sum - input.Get(x, y)));
        }
      EXPECT_LT(worst, 2e-4) << "dyadic " << dyadic;
      // Outside the area the working plane keeps the input.
      EXPECT_EQ(d.colour.Get(5, 30), input.Get(5, 30));
    }
  }
}

TEST(DecompositionTest, ConstantPictureHasDetailOnlyWithinReachOfTheBorder) {
  const int W = 40, H = 40;
  Decomp d(W, H, 40);
  wavetest::Fill(d.colour, W, H, 100);
  const Kernel k = Normalised(DefaultKernelGrid());
  LayerSums s;
  DecomposeLayer(d.colour, d.work, d.layers[1], k, 3, ClampArea(0, 0, W, H, W, H), W, H, &s);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const float v = d.layers[1].Get(x, y);
      const bool nearBorder = x < 3 || y < 3 || x >= W - 3 || y >= H - 3;
      if (nearBorder) EXPECT_GT(v, 1.0f) << x << "," << y;  // fewer taps, smaller smooth value
      else EXPECT_NEAR(v, 0.0f, 1e-4) << x << "," << y;
    }
  // A corner pixel keeps the centre, right, lower and lower-right taps: 68/98 of the value.
  EXPECT_NEAR(d.layers[1].Get(0, 0), 100 - 100 * 68.0 / 98, 1e-4);
}

TEST(DecompositionTest, BrightPixelSpreadsByTheLayerScale) {
  const int W = 60, H = 60;
  const Kernel k = Normalised(DefaultKernelGrid());
  for (int scale : {1, 4, 8}) {
    Decomp d(W, H, 60);
    wavetest::Fill(d.colour, W, H, 0);
    d.colour.Set(30, 30, 98);
    DecomposeLayer(d.colour, d.work, d.layers[1], k, scale, ClampArea(0, 0, W, H, W, H), W, H, nullptr);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int dx = x - 30, dy = y - 30;
        float expected = 0, smooth = 0;
        if (dx == 0 && dy == 0) {
          smooth = 50;
          expected = 98 - 50;
        } else if (dx % scale == 0 && dy % scale == 0 && std::abs(dx) <= scale && std::abs(dy) <= scale) {
          smooth = 6;
          expected = -6;
        }
        ASSERT_NEAR(d.layers[1].Get(x, y), expected, 1e-4) << "scale " << scale << " at " << dx << "," << dy;
        ASSERT_NEAR(d.colour.Get(x, y), smooth, 1e-4);
      }
  }
}

// One tap one column to the right: the detail of a parabola x^2 is x^2 - (x + 1)^2 = -2x - 1.
// Inside the band (x, y = 11..18 of a 30 x 30 area) the 64 values are -23, -25 .. -37 in
// every row: mean absolute 30, sample variance 8 x 2 x (1 + 9 + 25 + 49) / 63 = 21.333.
TEST(DecompositionTest, StatisticsFromTheInnerBandByHand) {
  const int W = 40, H = 40;
  Decomp d(W, H, 30);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) d.colour.Set(x, y, static_cast<float>(x * x));
  KernelGrid g{};
  g[2 * 5 + 3] = 1;  // Filter32
  LayerSums s;
  DecomposeLayer(d.colour, d.work, d.layers[1], Normalised(g), 1, ClampArea(0, 0, 30, 30, W, H), W, H, &s);
  EXPECT_EQ(s.count, 64);
  LayerStatistics st;
  FinishLayerStatistics(s, 1, st);
  EXPECT_FLOAT_EQ(st.MeanAbs[1], 30.0f);
  EXPECT_NEAR(st.Variance[1], 1344.0 / 63, 1e-4);
  // The estimators on that plane, multiplier 10: Method A the variance, Method D the mean.
  EXPECT_NEAR(EstimateThresholds(1, 10, st, {})[1], 1344.0 / 63, 1e-4);
  EXPECT_FLOAT_EQ(EstimateThresholds(4, 10, st, {})[1], 30.0f);
  EXPECT_FLOAT_EQ(EstimateThresholds(4, 5, st, {})[1], 15.0f);

  // An area 22 pixels wide has no samples: count 2, statistics 0.
  LayerSums none;
  DecomposeLayer(d.colour, d.work, d.layers[2], Normalised(g), 1, ClampArea(0, 0, 22, 30, W, H), W, H, &none);
  EXPECT_EQ(none.count, 0);
  FinishLayerStatistics(none, 2, st);
  EXPECT_EQ(st.MeanAbs[2], 0.0f);
  EXPECT_EQ(st.Variance[2], 0.0f);
}

TEST(DecompositionTest, DerivedStatisticsFollowTheMeanAbsoluteValues) {
  LayerStatistics st;
  const float mean[7] = {0, 4, 2, 1, 0.5f, 0.25f, 0.5f};
  for (int n = 1; n <= 6; ++n) st.MeanAbs[n] = mean[n];
  DeriveStatistics(st);
  EXPECT_NEAR(st.NoiseRatio[1], 0.25 / 4.0001, 1e-7);
  EXPECT_NEAR(st.NoiseRatio[6], 0.25 / 0.5001, 1e-7);
  EXPECT_NEAR(st.NoiseLevel[1], std::pow(2.0, 2.5) * 0.5 * 4, 1e-5);
  EXPECT_NEAR(st.NoiseLevel[6], 0.5 * 4, 1e-6);
}

TEST(DecompositionTest, SameBitsForOneAndTwoWorkers) {
  const int W = 300, H = 260;
  std::vector<float> results[2];
  LayerStatistics stats[2];
  for (int run = 0; run < 2; ++run) {
    SetWaveletThreads(run + 1);
    Decomp d(W, H, 256);
    wavetest::FillPattern(d.colour, W, H);
    std::array<int, 7> scales{0, 1, 2, 4, 8, 16, 32};
    d.Run(Normalised(DefaultKernelGrid()), scales, ClampArea(30, 2, 256, 256, W, H), W, H);
    stats[run] = d.stats;
    for (int n = 1; n <= 6; ++n)
      for (int v = 0; v < 256; ++v) results[run].insert(results[run].end(), d.layers[n].Row(v), d.layers[n].Row(v) + 256);
    for (int y = 0; y < H; ++y) results[run].insert(results[run].end(), d.colour.Row(y), d.colour.Row(y) + W);
  }
  SetWaveletThreads(0);
  ASSERT_EQ(results[0].size(), results[1].size());
  EXPECT_EQ(std::memcmp(results[0].data(), results[1].data(), results[0].size() * sizeof(float)), 0);
  for (int n = 1; n <= 6; ++n) {
    EXPECT_EQ(stats[0].Variance[n], stats[1].Variance[n]);
    EXPECT_EQ(stats[0].MeanAbs[n], stats[1].MeanAbs[n]);
  }
}

}  // namespace
