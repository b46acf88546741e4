// The generator's optics and sensor against the textbook: the annular aperture's Airy
// pattern, the tilt theorem, the von Karman structure function, Poisson statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Fft.h"
#include "Sensor.h"
#include "Turbulence.h"

using namespace samplegen;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Azimuthal mean of a PSF around (grid/2, grid/2) in rings of width `step`.
std::vector<double> RadialProfile(const std::vector<float>& psf, int grid, double step) {
  std::vector<double> sum(static_cast<size_t>(grid / 2 / step)), count(sum.size());
  for (int y = 0; y < grid; ++y)
    for (int x = 0; x < grid; ++x) {
      auto k = static_cast<size_t>(std::hypot(x - grid / 2, y - grid / 2) / step);
      if (k >= sum.size()) continue;
      sum[k] += psf[static_cast<size_t>(y) * grid + x];
      count[k] += 1;
    }
  for (size_t k = 0; k < sum.size(); ++k) sum[k] = count[k] > 0 ? sum[k] / count[k] : NAN;
  return sum;
}

}  // namespace

TEST(Fft, MatchesTheDefiningSumAndInvertsToNTimesTheInput) {
  for (int n : {1, 2, 8, 16, 32}) {  // odd and even numbers of stages
  std::vector<Cf> x(static_cast<size_t>(n)), X(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) x[static_cast<size_t>(k)] = {static_cast<float>(std::sin(k * 1.3) + 0.2 * k), static_cast<float>(std::cos(k * 0.7))};
  X = x;
  Fft(n).transform(X.data(), false);
  for (int f = 0; f < n; ++f) {
    double re = 0, im = 0;
    for (int k = 0; k < n; ++k) {
      double a = -2 * kPi * f * k / n;
      re += x[static_cast<size_t>(k)].re * std::cos(a) - x[static_cast<size_t>(k)].im * std::sin(a);
      im += x[static_cast<size_t>(k)].re * std::sin(a) + x[static_cast<size_t>(k)].im * std::cos(a);
    }
    EXPECT_NEAR(X[static_cast<size_t>(f)].re, re, 1e-4) << n;
    EXPECT_NEAR(X[static_cast<size_t>(f)].im, im, 1e-4) << n;
  }
  // Backwards: n times the input; and the many-sequence form agrees with the single one.
  std::vector<Cf> y = X;
  Fft(n).transform(y.data(), true);
  for (int k = 0; k < n; ++k) EXPECT_NEAR(y[static_cast<size_t>(k)].re, n * x[static_cast<size_t>(k)].re, 1e-3) << n;
  std::vector<Cf> two(static_cast<size_t>(2 * n));
  for (int k = 0; k < n; ++k) two[static_cast<size_t>(2 * k)] = two[static_cast<size_t>(2 * k + 1)] = x[static_cast<size_t>(k)];
  Fft(n).transformMany(two.data(), 2, false);
  for (int k = 0; k < n; ++k) {
    EXPECT_NEAR(two[static_cast<size_t>(2 * k + 1)].re, X[static_cast<size_t>(k)].re, 1e-4) << n;
    EXPECT_NEAR(two[static_cast<size_t>(2 * k + 1)].im, X[static_cast<size_t>(k)].im, 1e-4) << n;
  }
  }
  // Two dimensions, with the pruned forward (zero rows skipped) and the full inverse.
  Fft2 f2(8, 4);
  std::vector<Cf> p(32);
  for (int i = 0; i < 8; ++i) p[static_cast<size_t>(i)] = {static_cast<float>(i + 1), 0};  // row 0 only
  std::vector<Cf> q = p;
  f2.forward(q.data(), 1, 4);
  for (const Cf& v : q) EXPECT_NEAR(v.re, q[0].re, 1e9);  // finite
  EXPECT_NEAR(q[0].re, 36, 1e-4);
  EXPECT_NEAR(q[8].re, 36, 1e-4);  // every row of a one-row picture's spectrum is the same
  f2.inverse(q.data());
  for (size_t i = 0; i < p.size(); ++i) {
    EXPECT_NEAR(q[i].re, 32 * p[i].re, 1e-3);
    EXPECT_NEAR(q[i].im, 0, 1e-3);
  }
}

// The obstructed aperture's amplitude goes as 2J1(v)/v - e^2 2J1(ev)/(ev); its first zero sets
// the first dark ring at v / pi lambda/D.
TEST(Optics, DiffractionPsf_HasStrehlOneAndTheAnnularFirstDarkRing) {
  PupilGeometry g;
  g.grid = 512;
  g.diameter = 51.2;  // 10 pixels per lambda/D
  Optics optics(g);
  Fft2 fft(g.grid, g.grid);
  std::vector<Cf> field;
  std::vector<float> psf;
  optics.psf({}, psf, fft, field);
  PsfStats s = optics.measure(psf);
  EXPECT_NEAR(s.strehl, 1.0, 1e-6);
  EXPECT_NEAR(s.cx, 0, 1e-9);
  EXPECT_NEAR(psf[static_cast<size_t>(256) * 512 + 256] / optics.diffractionPeak(), 1.0, 1e-6);  // peak at the centre

  const double e = g.obstruction;
  auto amplitude = [&](double v) { return 2 * std::cyl_bessel_j(1.0, v) / v - e * e * 2 * std::cyl_bessel_j(1.0, e * v) / (e * v); };
  double lo = 2.5, hi = 4.5;
  for (int i = 0; i < 60; ++i) (amplitude((lo + hi) / 2) > 0 ? lo : hi) = (lo + hi) / 2;
  const double ringPixels = lo / kPi * g.grid / g.diameter;
  ASSERT_LT(ringPixels, 1.22 * 10);  // the obstruction pulls the ring in
  const double step = 1;
  std::vector<double> prof = RadialProfile(psf, g.grid, step);
  size_t first = 1;
  while (first + 1 < prof.size() && !(prof[first] < prof[first - 1] && prof[first] <= prof[first + 1])) ++first;
  EXPECT_NEAR((first + 0.5) * step, ringPixels, 0.7);
  EXPECT_LT(prof[first], 0.01 * prof[0]);
}

// A phase ramp of a whole number of waves across the grid moves the PSF by that many pixels
// without changing it; the measured moment follows the sign the truth files use.
TEST(Optics, TiltedPhase_MovesThePsfAndKeepsItsPeak) {
  Optics optics{PupilGeometry{}};
  const int n = optics.grid();
  Fft2 fft(n, n);
  std::vector<Cf> field;
  std::vector<float> psf;
  for (auto [ax, ay] : {std::pair{3.0, 0.0}, std::pair{-2.0, 5.0}, std::pair{1.5, -0.5}}) {
    std::vector<float> phase;
    for (int k : optics.pupil()) phase.push_back(static_cast<float>(2 * kPi * (ax * (k % n) + ay * (k / n)) / n));
    optics.psf(phase, psf, fft, field);
    PsfStats s = optics.measure(psf);
    EXPECT_NEAR(s.cx, ax, 0.002);
    EXPECT_NEAR(s.cy, ay, 0.002);
    EXPECT_NEAR(s.strehl, 1.0, 1e-3);  // the peak between samples is found too
  }
}

// D(r) = < (phase(x + r) - phase(x))^2 > against 2 Int (1 - J0(2 pi f r)) Phi(f) 2 pi f df with
// Phi(f) = 0.023 r0^(-5/3) (f^2 + f0^2)^(-11/6): the screens' strength and outer scale.
TEST(PhaseScreens, StructureFunction_IsVonKarmans) {
  const int n = 1024;
  const double diameter = 51.2, outer = 4;
  PhaseScreens screens(n, diameter, outer, 7);
  const double f0 = 1 / (outer * diameter), c = 0.023 * std::pow(diameter, -5.0 / 3.0);
  for (int r : {3, 12, 40}) {
    double theory = 0;
    const double df = 1e-5;
    for (double f = df / 2; f < 0.5; f += df)
      theory += 2 * (1 - std::cyl_bessel_j(0.0, 2 * kPi * f * r)) * c * std::pow(f * f + f0 * f0, -11.0 / 6.0) * 2 * kPi * f * df;
    for (int layer = 0; layer < 2; ++layer) {
      double sum = 0;
      for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
          double dx = screens.at(layer, x + r, y) - screens.at(layer, x, y);
          double dy = screens.at(layer, x, y + r) - screens.at(layer, x, y);
          sum += dx * dx + dy * dy;
        }
      EXPECT_NEAR(sum / (2.0 * n * n) / theory, 1.0, 0.15) << "r " << r << " layer " << layer;
    }
  }
}

TEST(PhaseScreens, StrehlFalls_AsDOverR0Rises) {
  Optics optics{PupilGeometry{}};
  PhaseScreens screens(1024, optics.geometry().diameter, 4, 3);
  Fft2 fft(optics.grid(), optics.grid());
  std::vector<Cf> field;
  std::vector<float> phase, psf;
  std::vector<double> mean;
  for (double dR0 : {1.0, 3.0, 8.0}) {
    double sum = 0;
    for (int t = 0; t < 60; t += 3) {
      screens.phase(optics, t, dR0, phase);
      optics.psf(phase, psf, fft, field);
      sum += optics.measure(psf).strehl;
    }
    mean.push_back(sum / 20);
  }
  // Kolmogorov with tilt removed: Strehl ~ exp(-0.134 (D/r0)^(5/3)) = 0.87 at D/r0 1 (the
  // outer scale only helps); at D/r0 8 only speckles are left.
  EXPECT_GT(mean[0], 0.85);
  EXPECT_LT(mean[0], 0.97);
  EXPECT_LT(mean[1], 0.8 * mean[0]);
  EXPECT_LT(mean[2], 0.5 * mean[1]);
  EXPECT_LT(mean[2], 0.15);
}

TEST(DR0Series, StaysInItsRangeAndWandersSlowly) {
  auto d = DR0Series(500, 3, 8, 1);
  double lo = 99, hi = 0, step = 0;
  for (size_t i = 0; i < d.size(); ++i) {
    lo = std::min(lo, d[i]);
    hi = std::max(hi, d[i]);
    if (i > 0) step = std::max(step, std::abs(std::log(d[i] / d[i - 1])));
  }
  EXPECT_GE(lo, 3);
  EXPECT_LE(hi, 8);
  EXPECT_GT(hi - lo, 2.5);    // covers much of the range
  EXPECT_LT(step, 0.3);  // no jumps
  EXPECT_EQ(DR0Series(5, 3, 0, 1), std::vector<double>(5, 0.0));
}

TEST(Sensor, PhotonCounts_HaveTheirMeanAsVariance) {
  PhotonSampler s(11);
  for (double mean : {0.3, 4.0, 23.0, 25.0, 900.0}) {
    double m = 0, v = 0;
    const int n = 40000;
    std::vector<double> x(n);
    for (double& e : x) {
      e = s.poisson(mean);
      ASSERT_EQ(e, std::floor(e));  // whole electrons
      m += e;
    }
    m /= n;
    for (double e : x) v += (e - m) * (e - m);
    v /= n - 1;
    EXPECT_NEAR(m, mean, 4 * std::sqrt(mean / n)) << mean;
    EXPECT_NEAR(v / mean, 1.0, 0.05) << mean;
  }
  // Read noise adds its variance; gain and depth set the levels.
  SensorModel m;
  m.readNoise = 5;
  m.gain = 1;
  m.bits = 12;
  std::vector<float> e(40000, 400.0f);
  std::vector<uint16_t> out(e.size());
  uint64_t seed = 5;
  Expose(e.data(), static_cast<int>(e.size()), m, &seed, out.data());
  double mean = 0, var = 0;
  for (uint16_t v : out) mean += v;
  mean /= static_cast<double>(out.size());
  for (uint16_t v : out) var += (v - mean) * (v - mean);
  var /= static_cast<double>(out.size());
  EXPECT_NEAR(mean, 400, 0.5);
  EXPECT_NEAR(var / (400 + 25 + 1.0 / 12), 1.0, 0.05);
  // Saturation clips at the depth; no noise without a seed.
  std::fill(e.begin(), e.end(), 9000.0f);
  Expose(e.data(), 3, m, nullptr, out.data());
  EXPECT_EQ(out[0], 4095);
}
