// The quality against the best frames' reference: scale, shift and brightness invariance,
// and the order of blurred boxes at every noise level.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "registration/ReferenceQuality.h"
#include "registration/RegistrationMath.h"
#include "SeeingTexture.h"

namespace registration {
namespace {

class ReferenceQualityTest : public ::testing::Test {
 protected:
  static constexpr int n = 128;
  void SetUp() override { e.FFTSetup(n); }

  // The seeing texture blurred by `blur` pixels, moved by (sx, sy) whole pixels (circularly),
  // times `gain`, with noise of the given sigma.
  void MakeBox(FftPlane& out, double blur, double noise, uint32_t seed, int sx = 0, int sy = 0, double gain = 1) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0, 1);
    test_support::SeeingTexture(e, n, blur);
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        const float v = e.FFTRe.at(((x - sx) % n + n) % n, ((y - sy) % n + n) % n);
        out.at(x, y) = static_cast<float>(gain * (100 + 20 * v) + noise * g(rng));
      }
  }

  FftEngine e;
  FftPlane reference, box;
  const std::vector<float> window = HannWindow(n);
  const QualityBand band = BandForBox(2, 6, n);
};

TEST_F(ReferenceQualityTest, TheReferenceItselfScoresAboutOneWhereverItSitsAndHoweverBright) {
  MakeBox(reference, 0.5, 0, 1);
  ReferenceQuality q;
  q.Prepare(e, reference, window, band, 30);
  ASSERT_TRUE(q.Ready());
  MakeBox(box, 0.5, 0, 1);
  const double self = q.Measure(e, box);
  EXPECT_NEAR(self, 1.0, 0.05);
  MakeBox(box, 0.5, 0, 1, 2, -3, 2.5);
  EXPECT_NEAR(q.Measure(e, box), self, 0.1 * self);
  // Flat and black boxes have no quality.
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) box.at(x, y) = 50;
  EXPECT_EQ(q.Measure(e, box), 0.0);
  ClearCorner(box, n);
  EXPECT_EQ(q.Measure(e, box), 0.0);
}

TEST_F(ReferenceQualityTest, MoreBlurIsLowerQualityWhateverTheNoise) {
  MakeBox(reference, 0.5, 0.5, 7);
  ReferenceQuality q;
  q.Prepare(e, reference, window, band, 30);
  for (double noise : {0.5, 2.0, 5.0}) {
    double previous = 1e9;
    for (double blur : {0.0, 1.0, 2.0, 3.0}) {
      double sum = 0;
      for (uint32_t s = 0; s < 4; ++s) {
        MakeBox(box, blur, noise, 20 + s);
        sum += q.Measure(e, box) / 4;
      }
      EXPECT_LT(sum, previous) << "noise " << noise << " blur " << blur;
      previous = sum;
    }
  }
}

}  // namespace
}  // namespace registration
