// The reference made of the best frames: after a first pass, the sharpest tenth of the
// frames, each cut out around its found feature position and averaged, is a far better
// reference than any single turbulent frame (its noise and speckle average out). It replaces
// the reference box and the reference image around the feature, so the second pass, the
// registration difference and the optimizer all compare against it.
#include <algorithm>
#include <exception>
#include <numeric>

#include "base/Numbers.h"
#include "registration/QualityMeasure.h"
#include "registration/RegistrationController.h"
#include "registration/RegistrationMath.h"

namespace registration {

namespace {
constexpr int kMinFramesForBestReference = 10;
constexpr double kBestShare = 0.1;
constexpr int kMinBestFrames = 3;
}  // namespace

bool RegistrationController::ReferenceFromBestFrames() {
  auto& in = x_.input;
  auto& table = x_.table;
  // Hand pointing, fields and resampled shifts keep the single reference frame.
  const RegistrationOptions& o = runOptions_;
  if (o.manual || o.interlaced || o.resample) return false;
  const int last = std::min(c_.AlignSlider.max(), frames::MaxFrames - 1);
  int measured = 0;
  for (int q = 0; q <= last; ++q) measured += table[q].Excluded ? 0 : 1;
  if (measured < kMinFramesForBestReference) return false;
  const std::vector<int> best = BestFrames(table, last, kBestShare, kMinBestFrames);

  const int n = Box();
  const int side = n + 2 * 12 + 1;  // the box and the optimizer's usual search around it
  // The average covers the quality's side too; the reference image takes its middle.
  const int qside = std::max(n, ReferenceQuality::kMinSide);
  const int outer = std::max(side, qside);
  const int left = st_.HotX - outer / 2, top = st_.HotY - outer / 2;
  const int inner = outer / 2 - side / 2;
  std::vector<float> sum(static_cast<size_t>(outer) * outer * 3, 0.0f);
  std::vector<int> count(static_cast<size_t>(outer) * outer, 0);

  // Reading a single frame must not register it.
  const bool alignPass = in.AlignPass;
  in.AlignPass = false;
  int averaged = 0;
  for (const int f : best) {
    const int fl = left + table[f].ShiftX, ft = top + table[f].ShiftY;
    const bool kept = CropCovers(f, fl, ft, fl + outer, ft + outer);
    if (!kept) {
      // A frame that read well a moment ago and fails now is simply left out of the average.
      try {
        LoadFrameForShow(f);
      } catch (const std::exception&) {
        continue;
      }
    }
    ++averaged;
    const ui::Bitmap24& pic = x_.source.preview();
    const int w = std::min(in.ImageWidth, pic.width()), h = std::min(in.ImageHeight, pic.height());
    for (int j = 0; j < outer; ++j) {
      const int y = ft + j;
      if (y < 0 || y >= h) continue;
      const uint8_t* row = kept ? crops_.crop(f) + (static_cast<size_t>(y - crops_.top[f]) * crops_.side +
                                                    static_cast<size_t>(fl - crops_.left[f])) * 3
                                : pic.row(y) + static_cast<ptrdiff_t>(fl) * 3;
      for (int i = 0; i < outer; ++i) {
        const int x = fl + i;
        if (x < 0 || x >= w) continue;
        const size_t k = static_cast<size_t>(j) * outer + i;
        for (int c = 0; c < 3; ++c) sum[k * 3 + c] += row[i * 3 + c];
        ++count[k];
      }
    }
  }
  in.AlignPass = alignPass;

  KeepReferenceFrame();
  // The reference image's neighbourhood of the feature, as bytes.
  const int rw = image1_.width(), rh = image1_.height();
  for (int j = inner; j < inner + side; ++j) {
    const int y = top + j;
    if (y < 0 || y >= rh) continue;
    uint8_t* row = image1_.row(y);
    for (int i = inner; i < inner + side; ++i) {
      const int x = left + i;
      const size_t k = static_cast<size_t>(j) * outer + i;
      if (x < 0 || x >= rw || count[k] == 0) continue;
      for (int c = 0; c < 3; ++c)
        row[x * 3 + c] = static_cast<uint8_t>(std::clamp(px::Round(sum[k * 3 + c] / count[k]), 0, 255));
    }
  }
  ++refGeneration_;

  // The reference box from the averages themselves (no rounding to bytes).
  UpdateLuminanceTables();
  FftEngine& e = *engine_;
  FftPlane& lum = *boxLum_;
  e.ClearCorner(lum);
  auto averageBox = [&](int bx, int by, int size, FftPlane& out) {
    for (int x = 0; x < size; ++x)
      for (int y = 0; y < size; ++y) {
        const int i = bx + x, j = by + y;
        if (i < 0 || j < 0 || i >= outer || j >= outer) continue;
        const size_t k = static_cast<size_t>(j) * outer + i;
        if (count[k] == 0) continue;
        const float* v = &sum[k * 3];
        out.at(x, y) = (v[2] * lumWeights_[0] + v[1] * lumWeights_[1] + v[0] * lumWeights_[2]) / count[k];
      }
  };
  const QualityBand band = BandForBox(o.qualityFilter, o.qualFilterDX, qside);
  QualityWorker& qw = QualityWorkerAt(0, qside);
  qw.e.ClearCorner(qw.box);
  averageBox(st_.HotX - qside / 2 - left, st_.HotY - qside / 2 - top, qside, qw.box);
  referenceQuality_.Prepare(qw.e, qw.box, HannWindow(qside), band, averaged);
  averageBox(st_.BoxX - left, st_.BoxY - top, n, lum);
  StoreReferenceSpectrum(lum, o.filter, o.correlation.filterRadius2);
  c_.Memo2.add("Reference from the best " + std::to_string(best.size()) + " frames");
  return true;
}

void RegistrationController::KeepReferenceFrame() {
  SavedReference& r = savedReference_;
  if (r.replaced) return;
  if (!r.re) {
    r.re = std::make_unique<FftPlane>();
    r.im = std::make_unique<FftPlane>();
  }
  r.image.assign(image1_);
  engine_->CopyCorner(*r.re, *refSpecRe_);
  engine_->CopyCorner(*r.im, *refSpecIm_);
  r.replaced = true;
}

void RegistrationController::RestoreReferenceFrame() {
  SavedReference& r = savedReference_;
  if (!r.replaced) return;
  image1_.assign(r.image);
  ++refGeneration_;
  engine_->CopyCorner(*refSpecRe_, *r.re);
  engine_->CopyCorner(*refSpecIm_, *r.im);
  r.replaced = false;
}

}  // namespace registration
