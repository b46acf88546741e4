#include "registration/CoarseAlignment.h"

#include <algorithm>
#include <cmath>

#include "registration/RegistrationMath.h"

namespace registration {

CoarseAligner::CoarseAligner()
    : fft_(std::make_unique<FftEngine>()), refRe_(std::make_unique<FftPlane>()), refIm_(std::make_unique<FftPlane>()) {
  fft_->FFTSetup(kQuickSize);
}

CoarseAligner::~CoarseAligner() = default;

void CoarseAligner::Load(const ui::Bitmap24& picture, const float* lumR, const float* lumG, const float* lumB) {
  const int f = factor_;
  small_.assign(static_cast<size_t>(cols_) * rows_, 0.0f);
  rowSum_.assign(static_cast<size_t>(cols_), 0.0f);
  for (int r = 0; r < rows_; ++r) {
    std::fill(rowSum_.begin(), rowSum_.end(), 0.0f);
    for (int k = 0; k < f; ++k) {
      const uint8_t* p = picture.row(top_ + r * f + k) + static_cast<ptrdiff_t>(left_) * 3;
      for (int c = 0; c < cols_; ++c) {
        float s = 0;
        for (int i = 0; i < f; ++i, p += 3) s += lumB[p[0]] + lumG[p[1]] + lumR[p[2]];
        rowSum_[static_cast<size_t>(c)] += s;
      }
    }
    std::copy(rowSum_.begin(), rowSum_.end(), small_.begin() + static_cast<ptrdiff_t>(r) * cols_);
  }
  // Mean-free under the taper, so that no constant leaks into the spectrum.
  double sum = 0, weight = 0;
  for (int r = 0; r < rows_; ++r)
    for (int c = 0; c < cols_; ++c) {
      const double w = static_cast<double>(window_[static_cast<size_t>(c)]) * window_[static_cast<size_t>(size_ + r)];
      sum += w * small_[static_cast<size_t>(r) * cols_ + c];
      weight += w;
    }
  const float mean = weight > 0 ? static_cast<float>(sum / weight) : 0.0f;
  FftEngine& e = *fft_;
  e.ClearCorner(e.FFTRe);
  e.ClearCorner(e.FFTIm);
  for (int c = 0; c < cols_; ++c) {
    float* col = e.FFTRe.column(c);
    const float wc = window_[static_cast<size_t>(c)];
    for (int r = 0; r < rows_; ++r)
      col[r] = (small_[static_cast<size_t>(r) * cols_ + c] - mean) * wc * window_[static_cast<size_t>(size_ + r)];
  }
  e.FFT2DForward();
}

bool CoarseAligner::SetReference(const ui::Bitmap24& picture, int width, int height, const float* lumR,
                                 const float* lumG, const float* lumB, int size) {
  factor_ = 0;
  size_ = size == kFineSize ? kFineSize : kQuickSize;
  if (fft_->FFTSize() != size_) fft_->FFTSetup(size_);
  const int kSize = size_;
  width = std::min(width, picture.width());
  height = std::min(height, picture.height());
  const int f = std::max(1, (std::max(width, height) + kSize - 1) / kSize);
  const int cols = std::min(kSize, width / f), rows = std::min(kSize, height / f);
  if (cols < 16 || rows < 16) return false;
  width_ = width;
  height_ = height;
  factor_ = f;
  cols_ = cols;
  rows_ = rows;
  left_ = (width - cols * f) / 2;
  top_ = (height - rows * f) / 2;
  // Tapers along the columns (first kSize entries) and the rows (the next kSize).
  window_.assign(2 * kSize, 0.0f);
  const std::vector<float> wc = HannWindow(cols), wr = HannWindow(rows);
  std::copy(wc.begin(), wc.end(), window_.begin());
  std::copy(wr.begin(), wr.end(), window_.begin() + kSize);
  Load(picture, lumR, lumG, lumB);
  fft_->CopyCorner(*refRe_, fft_->FFTRe);
  fft_->CopyCorner(*refIm_, fft_->FFTIm);
  return true;
}

std::optional<CoarseShift> CoarseAligner::Measure(const ui::Bitmap24& picture, int width, int height,
                                                  const float* lumR, const float* lumG, const float* lumB) {
  if (factor_ == 0 || std::min(width, picture.width()) != width_ || std::min(height, picture.height()) != height_)
    return std::nullopt;
  Load(picture, lumR, lumG, lumB);
  FftEngine& e = *fft_;
  const int n = size_;
  // Plain cross-correlation R conj(F): at this scale the seeing has left little but the
  // frame's tilt, and the broad peak it gives interpolates well between grid points.
  for (int x = 0; x < n; ++x) {
    float* wr = e.FFTRe.column(x);
    float* wi = e.FFTIm.column(x);
    const float* rr = refRe_->column(x);
    const float* ri = refIm_->column(x);
    for (int y = 0; y < n; ++y) {
      const float re = wr[y], im = wi[y];
      wr[y] = rr[y] * re + ri[y] * im;
      wi[y] = ri[y] * re - rr[y] * im;
    }
  }
  e.FFT2DInverse();
  const Peak peak = FindPeak(e.FFTRe, n);
  const SubPixel sp = ParabolaPeak(e.FFTRe, n, peak.x, peak.y);
  // The surface peaks at minus the displacement.
  CoarseShift s;
  s.x = -(PeakToShift(peak.x, n) + sp.fx) * factor_;
  s.y = -(PeakToShift(peak.y, n) + sp.fy) * factor_;
  return s;
}

}  // namespace registration
