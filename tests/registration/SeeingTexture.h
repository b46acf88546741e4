#pragma once
// A test texture as seeing leaves it: one white field (always the same), cut off near 0.15
// cycles per pixel and blurred by a Gaussian of `blur` pixels, left (zero-mean, real) in the
// n x n corner of e.FFTRe after the inverse transform.
#include <cmath>
#include <random>

#include "registration/FftEngine.h"

namespace registration::test_support {

inline void SeeingTexture(FftEngine& e, int n, double blur) {
  std::mt19937 tex(1);
  std::normal_distribution<double> g(0, 1);
  e.FFTSetup(n);
  e.ClearCorner(e.FFTRe);
  e.ClearCorner(e.FFTIm);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) e.FFTRe.at(x, y) = static_cast<float>(g(tex));
  e.FFT2DForward();
  for (int kx = 0; kx < n; ++kx)
    for (int ky = 0; ky < n; ++ky) {
      const double fx = std::min(kx, n - kx) / double(n), fy = std::min(ky, n - ky) / double(n);
      const double f2 = fx * fx + fy * fy;
      const double h = std::exp(-f2 / (2 * 0.15 * 0.15)) * std::exp(-2 * M_PI * M_PI * blur * blur * f2);
      e.FFTRe.at(kx, ky) *= static_cast<float>(h);
      e.FFTIm.at(kx, ky) *= static_cast<float>(h);
    }
  e.FFT2DInverse();
}

}  // namespace registration::test_support
