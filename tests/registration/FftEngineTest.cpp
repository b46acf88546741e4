#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

#include "base/Numbers.h"
#include "registration/FftEngine.h"
#include "registration/SpectraLib.h"

// Every product and sum is rounded on its own; results are compared bit for bit.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

using registration::FftEngine;
using registration::FftPlane;
using registration::kPlaneStride;

namespace {

constexpr int kSizes[] = {32, 64, 128, 256, 512};

// Deterministic values in [-amp, amp] (xorshift32, fixed seed).
class Noise {
 public:
  explicit Noise(uint32_t seed) : s_(seed) {}
  float Next(float amp) {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return amp * (static_cast<float>(s_ >> 8) / 8388608.0f - 1.0f);
  }

 private:
  uint32_t s_;
};

// The transform written out the plain way: the twiddle recurrence is run live inside every
// group, and every 1-D transform goes through the row buffer one at a time.
class ReferenceFft {
 public:
  explicit ReferenceFft(int n) : n_(n), bits_(static_cast<int>(std::log2(n)) - 1) {
    for (int k = 0; k < n; ++k) {
      int r = 0, kk = k;
      for (int b = 0; b < bits_ + 1; ++b) {
        r = 2 * r + (kk & 1);
        kk >>= 1;
      }
      brev_[k] = r;
    }
  }

  void Fft1D(int sign) {
    int h = 1;
    for (int a = 2; a <= n_; a *= 2) {
      const float theta = static_cast<float>(sign * 2.0 * std::numbers::pi / a);
      const float s = static_cast<float>(std::sin(static_cast<double>(theta) / 2.0));
      const float t = static_cast<float>(std::sin(static_cast<double>(theta)));
      const float alpha = 2.0f * s * s;
      for (int g = 0; g < n_; g += a) {
        float wr = 1.0f, wi = 0.0f;
        for (int j = 0; j < h; ++j) {
          const int i = g + j;
          const float f = rowRe[i + h], gi = rowIm[i + h];
          const float m = wr * f - wi * gi;
          const float o = wr * gi + wi * f;
          rowRe[i + h] = rowRe[i] - m;
          rowIm[i + h] = rowIm[i] - o;
          rowRe[i] = rowRe[i] + m;
          rowIm[i] = rowIm[i] + o;
          const float nwr = wr - (alpha * wr + t * wi);
          const float nwi = wi - (alpha * wi - t * wr);
          wr = nwr;
          wi = nwi;
        }
      }
      h = a;
    }
  }

  void Forward() {
    for (int y = 0; y < n_; ++y) AlongX(y, 1, 1.0f, false);
    for (int x = 0; x < n_; ++x) AlongY(x, 1, 1.0f, false);
  }
  void Inverse() {
    const float scale = 1.0f / n_;
    for (int x = 0; x < n_; ++x) AlongY(x, -1, scale, true);
    for (int y = 0; y < n_; ++y) AlongX(y, -1, scale, true);
  }

  void Radial(float* profile, float* profileMax) const {
    std::vector<float> m(static_cast<size_t>(n_) * n_);
    float largest = -1e11f;
    for (int x = 0; x < n_; ++x)
      for (int y = 0; y < n_; ++y) {
        const float r = re.at(x, y), i = im.at(x, y);
        m[x * n_ + y] = std::sqrt(r * r + i * i);
        if (m[x * n_ + y] > largest) largest = m[x * n_ + y];
      }
    const float scale = 1.0f / (largest + 1e-5f);
    int count[257] = {};
    for (int k = 0; k < 256; ++k) profile[k] = 0;
    const int h = n_ / 2;
    for (int x = 0; x < n_; ++x)
      for (int y = 0; y < n_; ++y) {
        const float v = m[x * n_ + y] * scale;
        const int dx = ((x + h) % n_) - h, dy = ((y + h) % n_) - h;
        const int k = px::Round(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
        if (k >= 1 && k <= 255) {
          profile[k - 1] += v;
          count[k] += 1;
        }
      }
    *profileMax = 0;
    for (int k = 1; k <= 256; ++k) {
      profile[k - 1] = count[k] > 0 ? profile[k - 1] / count[k] : 0;
      if (profile[k - 1] > *profileMax) *profileMax = profile[k - 1];
    }
  }

  FftPlane re, im;
  float rowRe[1025] = {}, rowIm[1025] = {};
  int brev_[514] = {};

 private:
  void AlongX(int y, int sign, float scale, bool scaled) {
    for (int x = 0; x < n_; ++x) {
      rowRe[brev_[x]] = re.at(x, y);
      rowIm[brev_[x]] = im.at(x, y);
    }
    Fft1D(sign);
    for (int x = 0; x < n_; ++x) {
      re.at(x, y) = scaled ? rowRe[x] * scale : rowRe[x];
      im.at(x, y) = scaled ? rowIm[x] * scale : rowIm[x];
    }
  }
  void AlongY(int x, int sign, float scale, bool scaled) {
    for (int y = 0; y < n_; ++y) {
      rowRe[brev_[y]] = re.at(x, y);
      rowIm[brev_[y]] = im.at(x, y);
    }
    Fft1D(sign);
    for (int y = 0; y < n_; ++y) {
      re.at(x, y) = scaled ? rowRe[y] * scale : rowRe[y];
      im.at(x, y) = scaled ? rowIm[y] * scale : rowIm[y];
    }
  }

  int n_, bits_;
};

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Number of corner cells whose bits differ between the two planes.
int CountDifferentBits(const FftPlane& a, const FftPlane& b, int n) {
  int diff = 0;
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) diff += !SameBits(a.at(x, y), b.at(x, y));
  return diff;
}

void FillNoise(FftPlane& re, FftPlane& im, int n, uint32_t seed, float amp) {
  Noise noise(seed);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      re.at(x, y) = noise.Next(amp);
      im.at(x, y) = noise.Next(amp);
    }
}

std::unique_ptr<FftEngine> EngineFor(int n) {
  auto e = std::make_unique<FftEngine>();
  EXPECT_TRUE(e->FFTSetup(n));
  return e;
}

}  // namespace

TEST(FftEngine, SetupTables_ForEverySize) {
  auto e = std::make_unique<FftEngine>();
  EXPECT_EQ(e->FFTSize(), 64);  // ready for the default box before any set-up
  const int bits[] = {4, 5, 6, 7, 8};
  for (int s = 0; s < 5; ++s) {
    const int n = kSizes[s];
    ASSERT_TRUE(e->FFTSetup(n));
    EXPECT_EQ(e->FFTSize(), n);
    EXPECT_EQ(e->FFTHalf(), n / 2);
    EXPECT_EQ(e->FFTBits(), bits[s]);
    EXPECT_EQ(e->FFTSign(), 1);
    EXPECT_EQ(e->BitReverse()[0], 0);
    EXPECT_EQ(e->BitReverse()[1], n / 2);
    EXPECT_EQ(e->BitReverse()[n - 1], n - 1);
  }
  e->FFTSetup(32);
  EXPECT_EQ(e->BitReverse()[6], 12);  // 00110 -> 01100
}

TEST(FftEngine, SetupWithUnsupportedSize_IsRefusedAndKeepsWorking) {
  auto e = EngineFor(64);
  for (int bad : {63, 16, 1024, 0, -64, 100}) {
    EXPECT_FALSE(e->FFTSetup(bad)) << bad;
    EXPECT_EQ(e->FFTBits(), 5) << bad;
    EXPECT_EQ(e->FFTSize(), 64) << bad;
  }
  // The transforms still run at the previous size.
  e->FFTRe.at(0, 0) = 1.0f;
  e->FFT2DForward();
  EXPECT_EQ(e->FFTRe.at(63, 63), 1.0f);
}

TEST(FftEngine, FastPath_MatchesReferenceBitForBit_AllSizes) {
  for (int n : kSizes) {
    SCOPED_TRACE(n);
    auto e = EngineFor(n);
    auto ref = std::make_unique<ReferenceFft>(n);
    FillNoise(e->FFTRe, e->FFTIm, n, 12345u + n, 1000.0f);
    FillNoise(ref->re, ref->im, n, 12345u + n, 1000.0f);

    e->FFT2DForward();
    ref->Forward();
    EXPECT_EQ(CountDifferentBits(e->FFTRe, ref->re, n), 0);
    EXPECT_EQ(CountDifferentBits(e->FFTIm, ref->im, n), 0);

    e->RadialSpectrum();
    float profile[256], profileMax = 0;
    ref->Radial(profile, &profileMax);
    for (int k = 0; k < 256; ++k) ASSERT_TRUE(SameBits(e->RadialProfile[k], profile[k])) << k;
    EXPECT_TRUE(SameBits(e->RadialProfileMax, profileMax));

    e->FFT2DInverse();
    ref->Inverse();
    EXPECT_EQ(CountDifferentBits(e->FFTRe, ref->re, n), 0);
    EXPECT_EQ(CountDifferentBits(e->FFTIm, ref->im, n), 0);
    EXPECT_EQ(e->FFTSign(), 1);
    EXPECT_EQ(e->FFTScale(), 1.0f / n);
  }
}

TEST(FftEngine, FFT1D_MatchesReferenceBitForBit) {
  for (int n : kSizes) {
    auto e = EngineFor(n);
    ReferenceFft ref(n);
    Noise noise(777u + n);
    for (int k = 0; k < n; ++k) {
      e->RowRe[k] = ref.rowRe[k] = noise.Next(10.0f);
      e->RowIm[k] = ref.rowIm[k] = noise.Next(10.0f);
    }
    e->FFT1D();
    ref.Fft1D(1);
    for (int k = 0; k < n; ++k) {
      ASSERT_TRUE(SameBits(e->RowRe[k], ref.rowRe[k])) << n << " " << k;
      ASSERT_TRUE(SameBits(e->RowIm[k], ref.rowIm[k])) << n << " " << k;
    }
  }
}

TEST(FftEngine, DeltaAtOrigin_TransformsToConstantOne) {
  for (int n : kSizes) {
    auto e = EngineFor(n);
    e->FFTRe.at(0, 0) = 1.0f;
    e->FFT2DForward();
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        ASSERT_EQ(e->FFTRe.at(x, y), 1.0f) << n << " " << x << "," << y;
        ASSERT_EQ(e->FFTIm.at(x, y), 0.0f) << n << " " << x << "," << y;
      }
  }
}

TEST(FftEngine, InverseOfConstant_IsConstantAtOriginOnly) {
  for (int n : kSizes) {
    auto e = EngineFor(n);
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) e->FFTRe.at(x, y) = 3.0f;
    e->FFT2DInverse();
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        ASSERT_EQ(e->FFTRe.at(x, y), (x == 0 && y == 0) ? 3.0f : 0.0f) << n << " " << x << "," << y;
        ASSERT_EQ(e->FFTIm.at(x, y), 0.0f);
      }
  }
}

TEST(FftEngine, ForwardThenInverse_ReturnsInputWithinSinglePrecision) {
  for (int n : kSizes) {
    auto e = EngineFor(n);
    FftPlane re0, im0;
    FillNoise(re0, im0, n, 99u + n, 100.0f);
    e->CopyCorner(e->FFTRe, re0);
    e->CopyCorner(e->FFTIm, im0);
    e->FFT2DForward();
    e->FFT2DInverse();
    double worst = 0;
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        worst = std::max(worst, static_cast<double>(std::fabs(e->FFTRe.at(x, y) - re0.at(x, y))));
        worst = std::max(worst, static_cast<double>(std::fabs(e->FFTIm.at(x, y) - im0.at(x, y))));
      }
    // A few units of float rounding per butterfly stage on values of magnitude 100.
    const int stages = 2 * (e->FFTBits() + 1);
    EXPECT_LT(worst, 100.0 * stages * 4.0 * 6e-8) << n;
  }
}

TEST(FftEngine, CrossPowerProduct_TransformsBackToCorrelationWithShiftPeak) {
  // f is r moved by (+3, +2); R conj(F) transforms back to c(tau) = sum r(m + tau) f(m),
  // whose peak sits at tau = (-3, -2), i.e. index (N - 3, N - 2).
  const int n = 32;
  auto e = EngineFor(n);
  FftPlane r, f, rRe, rIm;
  Noise noise(4242u);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) r.at(x, y) = noise.Next(1.0f);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) f.at(x, y) = r.at((x - 3 + n) % n, (y - 2 + n) % n);

  e->CopyCorner(e->FFTRe, r);
  e->ClearCorner(e->FFTIm);
  e->FFT2DForward();
  e->CopyCorner(rRe, e->FFTRe);
  e->CopyCorner(rIm, e->FFTIm);
  e->CopyCorner(e->FFTRe, f);
  e->ClearCorner(e->FFTIm);
  e->FFT2DForward();
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      const float ar = rRe.at(x, y), ai = rIm.at(x, y);
      const float br = e->FFTRe.at(x, y), bi = e->FFTIm.at(x, y);
      e->FFTRe.at(x, y) = ar * br + ai * bi;
      e->FFTIm.at(x, y) = ai * br - ar * bi;
    }
  e->FFT2DInverse();

  int px = -1, py = -1;
  float peak = -1e11f;
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y)
      if (e->FFTRe.at(x, y) > peak) {
        peak = e->FFTRe.at(x, y);
        px = x;
        py = y;
      }
  EXPECT_EQ(px, n - 3);
  EXPECT_EQ(py, n - 2);

  // Every value of the surface agrees with the direct sum.
  double worst = 0;
  for (int tx = 0; tx < n; ++tx)
    for (int ty = 0; ty < n; ++ty) {
      double c = 0;
      for (int mx = 0; mx < n; ++mx)
        for (int my = 0; my < n; ++my) c += r.at((mx + tx) % n, (my + ty) % n) * f.at(mx, my);
      worst = std::max(worst, std::fabs(c - e->FFTRe.at(tx, ty)));
    }
  EXPECT_LT(worst, 1e-3);
}

TEST(FftEngine, RadialProfile_OfDcOnlyPlane_IsAllZero) {
  auto e = EngineFor(64);
  e->FFTRe.at(0, 0) = 500.0f;
  e->FFTIm.at(0, 0) = -20.0f;
  e->RadialSpectrum();
  for (int k = 0; k < 256; ++k) EXPECT_EQ(e->RadialProfile[k], 0.0f) << k;
  EXPECT_EQ(e->RadialProfileMax, 0.0f);
}

TEST(FftEngine, RadialProfile_LastEntryIsZero_EvenAt512) {
  auto e = EngineFor(512);
  FillNoise(e->FFTRe, e->FFTIm, 512, 5u, 1.0f);
  e->RadialSpectrum();
  EXPECT_EQ(e->RadialProfile[255], 0.0f);
  EXPECT_GT(e->RadialProfile[254], 0.0f);  // radius 255 is still counted
}

TEST(FftEngine, RadialProfile_OfCosine_PeaksInItsRadiusBin) {
  // cos(2 pi 5 x / 64) has two spectral lines at (5, 0) and (59, 0), both radius 5, each of
  // the largest magnitude; so radius 5 holds 2 * ~1 spread over the cells of that ring.
  const int n = 64;
  auto e = EngineFor(n);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) e->FFTRe.at(x, y) = static_cast<float>(std::cos(2 * std::numbers::pi * 5 * x / n));
  e->FFT2DForward();
  e->RadialSpectrum();
  int ring = 0;  // cells (dx, dy) with rnd(|d|) = 5
  for (int dx = -32; dx < 32; ++dx)
    for (int dy = -32; dy < 32; ++dy) ring += std::lround(std::sqrt(dx * dx + dy * dy)) == 5;
  EXPECT_EQ(ring, 28);  // |d|^2 in {25, 26, 29}: 12 + 8 + 8
  EXPECT_NEAR(e->RadialProfile[4], 2.0 / ring, 1e-4);
  EXPECT_EQ(e->RadialProfileMax, e->RadialProfile[4]);
  for (int k = 0; k < 256; ++k) {
    if (k == 4) continue;
    EXPECT_LT(e->RadialProfile[k], 1e-4) << k;
  }
}

TEST(FftEngine, SpectrumCurve_KneeNear0065) {
  auto e = EngineFor(64);  // set-up builds the curve for (4.5, 0.45)
  const double knee = std::pow(4.5, 1.0 / (0.45 - 1.0));
  EXPECT_NEAR(knee, 0.065, 0.001);
  EXPECT_DOUBLE_EQ(e->SpectrumCurve[64], 4.5 * (64 * 0.001));              // linear below
  EXPECT_DOUBLE_EQ(e->SpectrumCurve[65], std::pow(65 * 0.001 + 1e-6, 0.45));  // power above
  EXPECT_NEAR(e->SpectrumCurve[64], e->SpectrumCurve[65], 0.01);             // branches meet
  EXPECT_EQ(e->SpectrumCurve[0], 0.0);
  EXPECT_NEAR(e->SpectrumCurve[1000], 1.0, 1e-6);

  e->BuildSpectrumCurve(2.0, 1.0);  // gamma 1 is nudged to stay finite
  for (double v : e->SpectrumCurve) EXPECT_TRUE(std::isfinite(v));
}

TEST(FftEngine, SpectrumBitmap_OfZeroPlane_IsAllViolet) {
  auto e = EngineFor(32);
  FftPlane zero;
  const ui::Bitmap24 bmp = e->SpectrumBitmap(zero, &zero, 1.0f);
  ASSERT_EQ(bmp.width(), 32);
  ASSERT_EQ(bmp.height(), 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) ASSERT_EQ(bmp.pixel(x, y), ui::Color(255, 0, 255)) << x << "," << y;
}

TEST(FftEngine, SpectrumBitmap_OnlyMaximumIsPureBlue_AndZeroLandsInCentre) {
  const int n = 64;
  auto e = EngineFor(n);
  FftPlane re, im;
  re.at(0, 0) = 1024.0f;  // the maximum: v = 1 exactly
  im.at(5, 9) = -1024.0f;  // the same magnitude
  re.at(1, 0) = 600.0f;
  im.at(1, 0) = 800.0f;  // magnitude 1000: v just below 1
  re.at(3, 3) = 512.0f;
  const ui::Bitmap24 bmp = e->SpectrumBitmap(re, &im, 1.0f);
  int blue = 0;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const ui::Color c = bmp.pixel(x, y);
      if (c.r == 0 && c.g == 0 && c.b > 0 && c.b != 255) ADD_FAILURE() << "unexpected blue " << x << "," << y;
      blue += c == ui::Color(0, 0, 255);
    }
  EXPECT_EQ(blue, 2);
  EXPECT_EQ(bmp.pixel(32, 32), ui::Color(0, 0, 255));            // [0][0] in the centre
  EXPECT_EQ(bmp.pixel(5 + 32, 9 + 32), ui::Color(0, 0, 255));
  // v = 0.5: l = rnd(0.5^0.45 * 255) = 187, 567 nm: red rnd(255 (57/70)^0.8), green 255.
  const int l = px::Round(std::pow(0.5 + 1e-6, 0.45) * 255);
  ASSERT_EQ(l, 187);
  EXPECT_EQ(bmp.pixel(3 + 32, 3 + 32), ui::Color(px::Round(255 * std::pow(57.0 / 70.0, 0.8)), 255, 0));
  // Without an imaginary plane only |re| counts.
  const ui::Bitmap24 reOnly = e->SpectrumBitmap(re, nullptr, 1.0f);
  EXPECT_EQ(reOnly.pixel(5 + 32, 9 + 32), ui::Color(255, 0, 255));
}

TEST(FftEngine, SpectrumBitmap_NonFiniteInput_StaysInsideTables) {
  auto e = EngineFor(32);
  FftPlane re;
  re.at(2, 2) = std::numeric_limits<float>::infinity();
  re.at(4, 4) = std::numeric_limits<float>::quiet_NaN();
  const ui::Bitmap24 bmp = e->SpectrumBitmap(re, nullptr, 0.5f);
  EXPECT_EQ(bmp.width(), 32);
  e->BuildSpectrumCurve(-3.0, -2.0);  // a curve far outside 0 … 1
  const ui::Bitmap24 odd = e->SpectrumBitmap(re, nullptr, 2.0f);
  EXPECT_EQ(odd.height(), 32);
}

TEST(FftEngine, CornerHelpers_TouchOnlyTheCorner) {
  auto e = EngineFor(32);
  FftPlane a, b;
  a.at(31, 31) = 1.0f;
  a.at(32, 0) = 2.0f;
  a.at(0, 32) = 3.0f;
  e->CopyCorner(b, a);
  EXPECT_EQ(b.at(31, 31), 1.0f);
  EXPECT_EQ(b.at(32, 0), 0.0f);
  EXPECT_EQ(b.at(0, 32), 0.0f);
  e->ClearCorner(a);
  EXPECT_EQ(a.at(31, 31), 0.0f);
  EXPECT_EQ(a.at(32, 0), 2.0f);
  registration::ClearCorner(a, 5000);  // clamped to the plane
  EXPECT_EQ(a.at(1024, 1024), 0.0f);
}
