#include "registration/ReferenceQuality.h"

#include <algorithm>
#include <cmath>

#include "registration/RegistrationMath.h"

namespace registration {

namespace {

double BoxMean(const FftPlane& p, int n) {
  double s = 0;
  for (int x = 0; x < n; ++x) {
    const float* c = p.column(x);
    for (int y = 0; y < n; ++y) s += c[y];
  }
  return n > 0 ? s / (static_cast<double>(n) * n) : 0.0;
}

constexpr int kSearch = 3;

// Distance of frequency index k from zero on an n-point axis.
int Folded(int k, int n) { return k <= n / 2 ? k : n - k; }

}  // namespace

void ReferenceQuality::Prepare(FftEngine& e, const FftPlane& reference, const std::vector<float>& window,
                               QualityBand band, int averaged) {
  n_ = 0;
  const int n = e.FFTSize();
  const double mean = BoxMean(reference, n);
  if (mean <= 1e-6 || static_cast<int>(window.size()) != n) return;
  window_ = window;
  e.ClearCorner(e.FFTIm);
  TaperedMeanFree(reference, window_, n, e.FFTRe);
  e.FFT2DForward();

  // The noise power of one frame's spectrum: what lies beyond half the sampling frequency
  // (no optics passes detail there), times the number of frames the reference averages.
  const size_t cells = static_cast<size_t>(n) * n;
  gRe_.assign(cells, 0.0f);
  gIm_.assign(cells, 0.0f);
  const double inv = 1.0 / mean;
  const double noise = CornerNoisePower(e.FFTRe, e.FFTIm, n) * inv * inv * std::max(averaged, 1);

  // The band's edges as radii in this box's frequency steps.
  int inBand = 0;
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      const double fx = Folded(x, n), fy = Folded(y, n);
      const double radius = std::sqrt(fx * fx + fy * fy);
      if (radius <= band.lo || radius >= band.hi) continue;
      const double re = e.FFTRe.at(x, y) * inv, im = e.FFTIm.at(x, y) * inv;
      const double d = re * re + im * im + noise;
      if (d <= 0) continue;
      gRe_[static_cast<size_t>(x) * n + y] = static_cast<float>(re / d);
      gIm_[static_cast<size_t>(x) * n + y] = static_cast<float>(-im / d);
      ++inBand;
    }
  if (inBand == 0) return;
  norm_ = static_cast<double>(cells) / inBand;
  n_ = n;
}

double ReferenceQuality::Measure(FftEngine& e, const FftPlane& box) const {
  const int n = n_;
  if (n == 0 || e.FFTSize() != n) return 0;
  const double mean = BoxMean(box, n);
  if (mean <= 1e-6) return 0;
  e.ClearCorner(e.FFTIm);
  TaperedMeanFree(box, window_, n, e.FFTRe);
  e.FFT2DForward();
  for (int x = 0; x < n; ++x) {
    float* re = e.FFTRe.column(x);
    float* im = e.FFTIm.column(x);
    const float* gr = gRe_.data() + static_cast<size_t>(x) * n;
    const float* gi = gIm_.data() + static_cast<size_t>(x) * n;
    for (int y = 0; y < n; ++y) {
      const float a = re[y], b = im[y];
      re[y] = a * gr[y] - b * gi[y];
      im[y] = a * gi[y] + b * gr[y];
    }
  }
  e.FFT2DInverse();
  // The box is already aligned: only a small residual shift is searched, so that a noisy
  // box cannot pick a noise peak far away.
  float peak = -1e30f;
  for (int dx = -kSearch; dx <= kSearch; ++dx) {
    const float* c = e.FFTRe.column((dx + n) % n);
    for (int dy = -kSearch; dy <= kSearch; ++dy) peak = std::max(peak, c[(dy + n) % n]);
  }
  return std::max(0.0, peak * norm_ / mean);
}

}  // namespace registration
