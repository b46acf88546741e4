#include "registration/BoxRegistration.h"

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

constexpr int kRowBlock = 16, kBlockStride = 1025;

// One column of the frame spectrum (w, normalised into s when asked) against the reference
// (r): the workspace receives R * conj(F), divided by |R * F| for phase correlation.
// Normalising divides by the magnitude with the noise power added, so that coefficients
// drowned in noise keep a weight in proportion to their signal instead of a full one.
using Correlate = void(float*, float*, float*, float*, const float*, const float*, int, float);
template <bool Normalize, bool Phase>
void CorrelateColumn(float* __restrict wr, float* __restrict wi, float* __restrict sr, float* __restrict si,
                     const float* __restrict rr, const float* __restrict ri, int n, float noisePower) {
  for (int y = 0; y < n; ++y) {
    float re = wr[y], im = wi[y];
    if (Normalize) {
      const float g = 1.0f / std::sqrt(re * re + im * im + noisePower);
      re *= g;
      im *= g;
    }
    sr[y] = re;
    si[y] = im;
    const float cr = rr[y] * re + ri[y] * im;
    const float ci = ri[y] * re - rr[y] * im;
    if (Phase) {
      const float a = rr[y] * re - ri[y] * im;
      const float b = ri[y] * re + rr[y] * im;
      float m = std::sqrt(a * a + b * b);
      m = m == 0 ? 1e-6f : m;
      wr[y] = cr / m;
      wi[y] = ci / m;
    } else {
      wr[y] = cr;
      wi[y] = ci;
    }
  }
}

}  // namespace

void LuminanceRow(const uint8_t* __restrict px, float* __restrict out, int count, float wr, float wg, float wb) {
  for (int i = 0; i < count; ++i)
    out[i] = static_cast<float>(px[3 * i + 1]) * wg + static_cast<float>(px[3 * i]) * wb +
             static_cast<float>(px[3 * i + 2]) * wr;
}

BoxStats ExtractBox(const ui::Bitmap24& picture, int width, int height, int bx, int by, int n,
                    const LuminanceWeights& w, FftPlane& box) {
  return ExtractBox(picture.row(0), picture.stride(), width, height, bx, by, n, w, box);
}

BoxStats ExtractBox(const uint8_t* pixels, size_t stride, int width, int height, int bx, int by, int n,
                    const LuminanceWeights& w, FftPlane& box) {
  ClearCorner(box, n);
  BoxStats s;
  const int x0 = std::max(0, -bx), x1 = std::min(n, width - bx);
  const int y0 = std::max(0, -by), y1 = std::min(n, height - by);
  // Rows are read a block at a time and written column by column, a cache line per column.
  static thread_local std::vector<float> block(kRowBlock * kBlockStride);
  for (int yb = y0; yb < y1; yb += kRowBlock) {
    const int rows = std::min(kRowBlock, y1 - yb);
    for (int r = 0; r < rows; ++r) {
      const uint8_t* row = pixels + static_cast<size_t>(by + yb + r) * stride + static_cast<ptrdiff_t>(bx) * 3;
      float* buf = block.data() + r * kBlockStride;
      if (x1 > x0) LuminanceRow(row + x0 * 3, buf + x0, x1 - x0, w.r, w.g, w.b);
      for (int x = x0; x < x1; ++x) {
        const float v = buf[x];
        s.sum += v;
        s.largest = std::max(s.largest, v);
        s.smallest = std::min(s.smallest, v);
      }
    }
    for (int x = x0; x < x1; ++x) {
      float* col = box.column(x) + yb;
      for (int r = 0; r < rows; ++r) col[r] = block[r * kBlockStride + x];
    }
  }
  return s;
}

Peak CorrelateBox(FftEngine& e, const FftPlane& box, const std::vector<float>& window, const FftPlane& refRe,
                  const FftPlane& refIm, const CorrelationOptions& o, FftPlane& frameRe, FftPlane& frameIm) {
  const int n = e.FFTSize();
  // The correlation box is tapered: its edges do not move with the feature.
  e.ClearCorner(e.FFTIm);
  TaperedMeanFree(box, window, n, e.FFTRe);
  e.FFT2DForward();
  const float noisePower = std::max(1e-6f, static_cast<float>(CornerNoisePower(e.FFTRe, e.FFTIm, n)));
  if (o.filter) ApplyAlignmentFilter(e.FFTRe, e.FFTIm, n, o.filterRadius2);
  Correlate* const kernels[4] = {CorrelateColumn<false, false>, CorrelateColumn<true, false>,
                                 CorrelateColumn<false, true>, CorrelateColumn<true, true>};
  Correlate* const kernel = kernels[(o.normalize ? 1 : 0) + (o.phase ? 2 : 0)];
  for (int x = 0; x < n; ++x)
    kernel(e.FFTRe.column(x), e.FFTIm.column(x), frameRe.column(x), frameIm.column(x), refRe.column(x),
           refIm.column(x), n, noisePower);
  e.FFT2DInverse();
  return FindPeak(e.FFTRe, n);
}

double RegistrationDifference(FftEngine& e, const ui::Bitmap24& frame, int frameWidth, int frameHeight,
                              const ui::Bitmap24& reference, int refWidth, int refHeight, int hotX, int hotY,
                              int tx, int ty, const LuminanceWeights& w, const DifferenceOptions& o, float& meanF,
                              std::vector<float>& scratch) {
  const int n = e.FFTSize(), h = n / 2;
  scratch.resize(static_cast<size_t>(2) * kRowBlock * kBlockStride);
  float* fblock = scratch.data();
  float* rblock = scratch.data() + kRowBlock * kBlockStride;
  e.ClearCorner(e.FFTRe);
  e.ClearCorner(e.FFTIm);
  const int iw = frameWidth, ih = frameHeight;
  const int rw = std::min(iw, refWidth), rh = std::min(ih, refHeight);
  double sumF = 0, sumR = 0;
  const int i0 = std::max({-h, -(hotX + tx), -hotX}), i1 = std::min({h, iw - hotX - tx, rw - hotX});
  const int j0 = std::max({-h, -(hotY + ty), -hotY}), j1 = std::min({h, ih - hotY - ty, rh - hotY});
  for (int jb = j0; jb < j1; jb += kRowBlock) {
    const int rows = std::min(kRowBlock, j1 - jb);
    for (int r = 0; r < rows; ++r) {
      const uint8_t* frow = frame.row(hotY + ty + jb + r) + static_cast<ptrdiff_t>(hotX + tx) * 3;
      const uint8_t* rrow = reference.row(hotY + jb + r) + static_cast<ptrdiff_t>(hotX) * 3;
      float* fbuf = fblock + r * kBlockStride + h;
      float* rbuf = rblock + r * kBlockStride + h;
      if (i1 > i0) {
        LuminanceRow(frow + i0 * 3, fbuf + i0, i1 - i0, w.r, w.g, w.b);
        LuminanceRow(rrow + i0 * 3, rbuf + i0, i1 - i0, w.r, w.g, w.b);
      }
      for (int i = i0; i < i1; ++i) {
        sumF += fbuf[i];
        sumR += rbuf[i];
      }
    }
    for (int i = i0; i < i1; ++i) {
      float* fc = e.FFTRe.column(i + h) + jb + h;
      float* rc = e.FFTIm.column(i + h) + jb + h;
      for (int r = 0; r < rows; ++r) {
        fc[r] = fblock[r * kBlockStride + i + h];
        rc[r] = rblock[r * kBlockStride + i + h];
      }
    }
  }
  meanF = static_cast<float>(sumF / (static_cast<double>(n) * n));
  const float meanR = static_cast<float>(sumR / (static_cast<double>(n) * n));
  double diff = 0;
  for (int x = 0; x < n; ++x) {
    float* wr = e.FFTRe.column(x);
    float* wi = e.FFTIm.column(x);
    for (int y = 0; y < n; ++y) {
      wr[y] -= meanF;
      float d = wr[y] - (wi[y] - meanR);
      wi[y] = 0;
      if (o.relative) d = d / (wr[y] + 0.01f);
      diff += o.noSquare ? std::fabs(static_cast<double>(d)) : static_cast<double>(d) * d;
    }
  }
  return diff;
}

}  // namespace registration
