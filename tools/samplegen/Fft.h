#pragma once
// A small radix-2 complex FFT for the generator's optics: phase screens, PSFs and the
// convolution of whole frames. Single precision data, double precision twiddles.
#include <cstddef>
#include <vector>

namespace samplegen {

struct Cf {
  float re = 0, im = 0;
};

// One length (a power of two). The forward transform uses exp(-2 pi i jk / n); the inverse
// exp(+2 pi i jk / n) and does not divide by n.
class Fft {
 public:
  explicit Fft(int n);
  int size() const { return n_; }
  void transform(Cf* data, bool inverse) const;
  // `count` sequences side by side: element k of sequence c is data[k * count + c].
  void transformMany(Cf* data, int count, bool inverse) const;

 private:
  int n_;
  std::vector<std::pair<int, int>> swaps_;  // bit reversal
  std::vector<Cf> twiddle_;                 // stage of half-length h at [h - 1, 2h - 1)
};

// Row-major width x height planes (both powers of two), with pruning for the generator's
// sparse kernels and partial outputs. Not thread-safe (one per thread).
class Fft2 {
 public:
  Fft2(int width, int height);
  int width() const { return rows_.size(); }
  int height() const { return cols_.size(); }
  // Rows [zeroFrom, zeroTo) are known to be zero on input.
  void forward(Cf* plane, int zeroFrom = 0, int zeroTo = 0);
  // Columns [zeroFrom, zeroTo) are known to be zero on input (columns first, then rows).
  void forwardZeroColumns(Cf* plane, int zeroFrom, int zeroTo);
  // Only rows [rowFrom, rowTo) of the result are computed; the others hold garbage.
  void inverse(Cf* plane, int rowFrom, int rowTo);
  void inverse(Cf* plane) { inverse(plane, 0, height()); }

 private:
  void columns(Cf* plane, bool inverse, int zeroFrom = 0, int zeroTo = 0);
  Fft rows_, cols_;
  std::vector<Cf> block_;
};

}  // namespace samplegen
