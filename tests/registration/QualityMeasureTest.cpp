// The frame-quality measure: its band and noise floor against hand-computed values, and its
// behaviour on boxes whose sharpness and noise are known.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "registration/FftEngine.h"
#include "registration/QualityMeasure.h"
#include "SeeingTexture.h"

namespace registration {
namespace {

TEST(QualityBandTest, ControlValuesMeanTheSameFrequenciesAtEveryBox) {
  const QualityBand b64 = BandForBox(2, 6, 64), b256 = BandForBox(2, 6, 256), b32 = BandForBox(2, 6, 32);
  EXPECT_EQ(b64.lo, 2);
  EXPECT_EQ(b64.hi, 8);
  EXPECT_EQ(b256.lo, 8);
  EXPECT_EQ(b256.hi, 32);
  EXPECT_EQ(b32.lo, 1);
  EXPECT_EQ(b32.hi, 4);
  // At the 64-pixel box a stored band keeps its old meaning: 12 and 5 are entries 13 .. 16.
  std::array<float, 256> p{};
  for (int i = 0; i < 256; ++i) p[static_cast<size_t>(i)] = i == 12 || i == 17 ? 1000.0f : (i >= 13 && i <= 16 ? 1.0f : 0.0f);
  EXPECT_DOUBLE_EQ(MeasureQuality(p, 1.0f, 64, 1.0, 12, 5).band, 4.0);
  // A band one entry wide holds nothing.
  EXPECT_EQ(MeasureQuality(p, 1.0f, 64, 1.0, 13, 1).band, 0.0);
}

TEST(QualityMeasureHand, BandAboveTheFloorPerMeanBrightness) {
  std::array<float, 256> p{};
  for (int i = 3; i <= 7; ++i) p[static_cast<size_t>(i)] = 5;  // the band of 2 / 6 at box 64
  for (int i = 32; i <= 43; ++i) p[static_cast<size_t>(i)] = 1;  // radii 33 .. 44: beyond n/2
  p[44] = 50;  // radius 45 > 0.7 n: not part of the floor
  EXPECT_DOUBLE_EQ(NoiseFloor(p, 64), 1.0);
  const QualityParts q = MeasureQuality(p, 2.0f, 64, 0.5, 2, 6);
  EXPECT_DOUBLE_EQ(q.floor, 1.0);
  EXPECT_DOUBLE_EQ(q.band, 5 * 4.0);
  EXPECT_DOUBLE_EQ(q.quality, 20.0 * 2 / (0.5 * 64 * 64));
  // A black box has no quality rather than an infinite one.
  EXPECT_EQ(MeasureQuality(p, 2.0f, 64, 0.0, 2, 6).quality, 0.0);
}

TEST(QualityTaperTest, FlatMiddleAndRaisedCosineEdges) {
  const std::vector<float> w = QualityTaper(64);
  EXPECT_FLOAT_EQ(w[16], 1.0f);
  EXPECT_FLOAT_EQ(w[32], 1.0f);
  EXPECT_FLOAT_EQ(w[47], 1.0f);
  EXPECT_NEAR(w[0], 0.5 - 0.5 * std::cos(M_PI * (0.5 / 64) / 0.25), 1e-6);
  EXPECT_NEAR(w[8], 0.5 - 0.5 * std::cos(M_PI * (8.5 / 64) / 0.25), 1e-6);
  EXPECT_FLOAT_EQ(w[3], w[60]);  // symmetric
}

// A box of texture blurred by a Gaussian and noise added, through the FFT engine as
// registration measures it.
class QualityOfBoxes : public ::testing::Test {
 protected:
  double Quality(double blur, double noise, uint32_t seed) {
    const int n = 64;
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0, 1);
    test_support::SeeingTexture(e, n, blur);
    const double mean = 100;
    double sum = 0;
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        const double v = mean + 20 * e.FFTRe.at(x, y) + noise * g(rng);
        lum.at(x, y) = static_cast<float>(v);
        sum += v;
      }
    const double m = sum / (n * n);
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        e.FFTRe.at(x, y) = static_cast<float>(lum.at(x, y) - m);
        e.FFTIm.at(x, y) = 0;
      }
    ApplyQualityTaper(e.FFTRe.data(), kPlaneStride, QualityTaper(n), n);
    e.FFT2DForward();
    e.RadialSpectrum();
    return MeasureQuality(e.RadialProfile, e.RadialProfileScale, n, m, 2, 6).quality;
  }
  FftEngine e;
  FftPlane lum;
};

TEST_F(QualityOfBoxes, MoreBlurIsLowerQualityWhateverTheNoise) {
  for (double noise : {0.5, 2.0, 5.0}) {
    double previous = 1e9;
    for (double blur : {0.0, 1.0, 2.0, 3.0}) {
      // The mean over a few noise draws: one draw's spread is not what is compared.
      double q = 0;
      for (uint32_t s = 0; s < 4; ++s) q += Quality(blur, noise, 10 + s) / 4;
      EXPECT_LT(q, previous) << "blur " << blur << " noise " << noise;
      previous = q;
    }
  }
}

TEST_F(QualityOfBoxes, NoiseAloneHasAboutNoQuality) {
  // No texture at all: only noise of 5 levels on a mean of 100.
  const int n = 64;
  std::mt19937 rng(3);
  std::normal_distribution<double> g(0, 5);
  double sum = 0;
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      lum.at(x, y) = static_cast<float>(100 + g(rng));
      sum += lum.at(x, y);
    }
  const double m = sum / (n * n);
  e.FFTSetup(n);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      e.FFTRe.at(x, y) = static_cast<float>(lum.at(x, y) - m);
      e.FFTIm.at(x, y) = 0;
    }
  ApplyQualityTaper(e.FFTRe.data(), kPlaneStride, QualityTaper(n), n);
  e.FFT2DForward();
  e.RadialSpectrum();
  const double noiseOnly = MeasureQuality(e.RadialProfile, e.RadialProfileScale, n, m, 2, 6).quality;
  const double textured = Quality(1.0, 5.0, 3);
  EXPECT_LT(std::fabs(noiseOnly), 0.05 * textured);
}

}  // namespace
}  // namespace registration
