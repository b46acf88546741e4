// The butterflies are plain loops over interleaved floats; let GCC vectorise them (with AVX2
// where the processor has it).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3", "no-math-errno")
#define PX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PX_VECTOR_CLONES
#endif

#include "Fft.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace samplegen {

namespace {

constexpr int kBlock = 16;  // columns transformed together (one cache line of Cf)

bool PowerOfTwo(int n) { return n >= 1 && (n & (n - 1)) == 0; }

}  // namespace

Fft::Fft(int n) : n_(n) {
  if (!PowerOfTwo(n)) throw std::invalid_argument("FFT length must be a power of two");
  int bits = 0;
  while ((1 << bits) < n) ++bits;
  for (int i = 0; i < n; ++i) {
    int r = 0;
    for (int b = 0; b < bits; ++b)
      if (i & (1 << b)) r |= 1 << (bits - 1 - b);
    if (i < r) swaps_.emplace_back(i, r);
  }
  twiddle_.resize(static_cast<size_t>(std::max(1, n - 1)));
  for (int h = 1; h < n; h *= 2)
    for (int j = 0; j < h; ++j) {
      double a = -3.14159265358979323846 * j / h;
      twiddle_[static_cast<size_t>(h - 1 + j)] = {static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a))};
    }
}

PX_VECTOR_CLONES void Fft::transform(Cf* d, bool inverse) const {
  for (auto [a, b] : swaps_) std::swap(d[a], d[b]);
  const float sign = inverse ? -1.0f : 1.0f;
  // Length-2 stage: no multiplications.
  for (int i = 0; i + 1 < n_; i += 2) {
    Cf a = d[i], b = d[i + 1];
    d[i] = {a.re + b.re, a.im + b.im};
    d[i + 1] = {a.re - b.re, a.im - b.im};
  }
  for (int h = 2; h < n_; h *= 2) {
    const Cf* w = twiddle_.data() + (h - 1);
    for (int i = 0; i < n_; i += 2 * h) {
      Cf* __restrict lo = d + i;
      Cf* __restrict hi = d + i + h;
      for (int j = 0; j < h; ++j) {
        const float wr = w[j].re, wi = sign * w[j].im;
        const float tr = hi[j].re * wr - hi[j].im * wi, ti = hi[j].re * wi + hi[j].im * wr;
        const float ar = lo[j].re, ai = lo[j].im;
        lo[j].re = ar + tr;
        lo[j].im = ai + ti;
        hi[j].re = ar - tr;
        hi[j].im = ai - ti;
      }
    }
  }
}

PX_VECTOR_CLONES void Fft::transformMany(Cf* d, int count, bool inverse) const {
  const auto c = static_cast<size_t>(count);
  for (auto [a, b] : swaps_) std::swap_ranges(d + a * c, d + (a + 1) * c, d + b * c);
  const float sign = inverse ? -1.0f : 1.0f;
  for (int h = 1; h < n_; h *= 2) {
    const Cf* w = twiddle_.data() + (h - 1);
    for (int i = 0; i < n_; i += 2 * h)
      for (int j = 0; j < h; ++j) {
        const float wr = w[j].re, wi = sign * w[j].im;
        Cf* __restrict lo = d + static_cast<size_t>(i + j) * c;
        Cf* __restrict hi = d + static_cast<size_t>(i + j + h) * c;
        for (size_t k = 0; k < c; ++k) {
          const float tr = hi[k].re * wr - hi[k].im * wi, ti = hi[k].re * wi + hi[k].im * wr;
          const float ar = lo[k].re, ai = lo[k].im;
          lo[k].re = ar + tr;
          lo[k].im = ai + ti;
          hi[k].re = ar - tr;
          hi[k].im = ai - ti;
        }
      }
  }
}

Fft2::Fft2(int width, int height) : rows_(width), cols_(height) {
  block_.resize(static_cast<size_t>(height) * kBlock);
}

// Columns in blocks of kBlock: gathered into a compact buffer, transformed side by side.
void Fft2::columns(Cf* p, bool inverse, int zeroFrom, int zeroTo) {
  const int w = width(), h = height();
  for (int x0 = 0; x0 < w; x0 += kBlock) {
    const int n = std::min(kBlock, w - x0);
    if (x0 >= zeroFrom && x0 + n <= zeroTo) continue;
    for (int y = 0; y < h; ++y)
      for (int k = 0; k < n; ++k) block_[static_cast<size_t>(y) * n + k] = p[static_cast<size_t>(y) * w + x0 + k];
    cols_.transformMany(block_.data(), n, inverse);
    for (int y = 0; y < h; ++y)
      for (int k = 0; k < n; ++k) p[static_cast<size_t>(y) * w + x0 + k] = block_[static_cast<size_t>(y) * n + k];
  }
}

void Fft2::forward(Cf* p, int zeroFrom, int zeroTo) {
  const int w = width(), h = height();
  for (int y = 0; y < h; ++y)
    if (y < zeroFrom || y >= zeroTo) rows_.transform(p + static_cast<size_t>(y) * w, false);
  columns(p, false);
}

void Fft2::forwardZeroColumns(Cf* p, int zeroFrom, int zeroTo) {
  columns(p, false, zeroFrom, zeroTo);
  for (int y = 0; y < height(); ++y) rows_.transform(p + static_cast<size_t>(y) * width(), false);
}

void Fft2::inverse(Cf* p, int rowFrom, int rowTo) {
  const int w = width();
  columns(p, true);
  for (int y = std::max(0, rowFrom); y < std::min(rowTo, height()); ++y) rows_.transform(p + static_cast<size_t>(y) * w, true);
}

}  // namespace samplegen
