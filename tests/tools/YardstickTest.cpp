// The naive yardstick: its pieces on pictures with known answers, and the whole pipeline on
// a turbulent capture scored against the generator's truth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Yardstick.h"
#include "base/Files.h"
#include "base/Json.h"
#include "support/TestSupport.h"

using namespace yardstick;

namespace {

// Smooth structure in both directions (band-limited, so Fourier shifts are exact).
Plane Pattern(int w, int h) {
  Plane p;
  p.width = w;
  p.height = h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      p.v.push_back(static_cast<float>(100 + 40 * std::sin(x * 0.21 + 0.3 * std::cos(y * 0.05)) * std::cos(y * 0.13) +
                                       25 * std::exp(-((x - 70) * (x - 70) + (y - 50) * (y - 50)) / 200.0)));
  return p;
}

}  // namespace

TEST(Yardstick, FourierShiftAndPhaseCorrelation_AgreeOnSignAndSize) {
  Plane a = Pattern(256, 224);
  for (auto [dx, dy] : {std::pair{2.5, -1.25}, std::pair{-7.3, 4.6}, std::pair{0.4, 0.0}}) {
    Plane b = FourierShift(a, dx, dy);
    // Content at (x, y) in a is at (x + dx, y + dy) in b.
    Shift s = PhaseCorrelate(a, b, Box{128, 112, 128});
    EXPECT_NEAR(s.dx, dx, 0.1) << dx;
    EXPECT_NEAR(s.dy, dy, 0.1) << dy;
    // Whole-pixel shifts move samples exactly (away from the mirrored edges).
    Plane c = FourierShift(a, 3, -2);
    EXPECT_NEAR(c.at(50, 40), a.at(47, 42), 0.02);
  }
  // Stacking copies moved back by their shifts gives the original back.
  std::vector<Plane> frames{a, FourierShift(a, 1.5, -0.5), FourierShift(a, -2.25, 3)};
  std::vector<Shift> shifts{{0, 0}, {1.5, -0.5}, {-2.25, 3}};
  Plane st = Stack(frames, shifts, {0, 1, 2});
  EXPECT_NEAR(st.at(128, 112), a.at(128, 112), 0.05);
  EXPECT_NEAR(st.at(30, 90), a.at(30, 90), 0.05);
}

TEST(Yardstick, QualityAndSpearman_OnHandMadeCases) {
  // Spearman of (1, 2, 3, 4) against (10, 20, 40, 30): 1 - 6 * 2 / (4 * 15).
  EXPECT_NEAR(Spearman({1, 2, 3, 4}, {10, 20, 40, 30}), 0.8, 1e-12);
  EXPECT_NEAR(Spearman({1, 2, 3}, {3, 2, 1}), -1, 1e-12);
  // A blurred copy scores lower than the original; a flat box with noise scores near zero.
  Plane a = Pattern(128, 128), blurred = a, flat = a;
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      double s = 0;
      for (int t = -5; t <= 5; ++t) s += a.at(std::clamp(x + t, 0, 127), y) / 11;
      blurred.v[static_cast<size_t>(y) * 128 + x] = static_cast<float>(s);
      flat.v[static_cast<size_t>(y) * 128 + x] = static_cast<float>(100 + ((x * 7919 + y * 104729) % 17) - 8);
    }
  Box box{64, 64, 128};
  EXPECT_GT(Quality(a, box), 1.3 * Quality(blurred, box));
  EXPECT_LT(std::abs(Quality(flat, box)), 0.02 * Quality(a, box));
}

// The yardstick's ranking follows the truth's Strehl ratios and its shifts the truth's,
// on a capture through turbulence with photon noise and 8-bit samples.
TEST(Yardstick, TurbulentCapture_RankingAndShiftsFollowTheTruth) {
  pxtest::TempDir dir;
  std::string log;
  ASSERT_EQ(pxtest::Run("'" + pxtest::ToolPath("pelinoxa-samplegen") + "' --seeing turbulent --frames 150 --size 320x240 --out '" +
                            dir.file("t.avi") + "' --truth '" + dir.file("t.json") + "'",
                        &log),
            0)
      << log;
  px::Json truth = px::Json::parse(px::ReadFileText(dir.file("t.json")));
  std::vector<int> indices;
  auto frames = ReadVideo(dir.file("t.avi"), indices);
  ASSERT_EQ(frames.size(), 150u);
  Settings s;
  Result r = Measure(frames, indices, truth, s);
  EXPECT_GT(r.spearman, 0.7);
  EXPECT_LT(r.shiftRms, 1.5);
  EXPECT_LT(r.shiftRmsBest, r.shiftRms);  // the sharp frames are registered better
  EXPECT_EQ(r.chosen.size(), 30u);
  EXPECT_EQ(r.stack.width, 320);
  // The stack of the best frames shows more detail than an average frame.
  Box box{160, 120, 128};
  Plane stackPlane = r.stack;
  double mean = 0;
  for (double q : r.quality) mean += q / static_cast<double>(r.quality.size());
  EXPECT_GT(Quality(stackPlane, box), mean);
  // The command prints the same numbers.
  ASSERT_EQ(pxtest::Run("'" + pxtest::ToolPath("pelinoxa-yardstick") + "' '" + dir.file("t.avi") + "' --truth '" +
                            dir.file("t.json") + "' --out '" + dir.file("stack.bmp") + "'",
                        &log),
            0)
      << log;
  EXPECT_NE(log.find("frames 150"), std::string::npos) << log;
  EXPECT_TRUE(px::FileExists(dir.file("stack.bmp")));
}
