// The reference made of the best frames: after a first pass, the sharpest tenth of the
// frames, each cut out around its found feature position and averaged, is a far better
// reference than any single turbulent frame (its noise and speckle average out). It replaces
// the reference box and the reference image around the feature, so the second pass, the
// registration difference and the optimizer all compare against it.
#include <algorithm>
#include <exception>
#include <numeric>

#include "base/Numbers.h"
#include "registration/BoxRegistration.h"
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
  const int left = st_.HotX - side / 2, top = st_.HotY - side / 2;
  std::vector<float> sum(static_cast<size_t>(side) * side * 3, 0.0f);
  std::vector<int> count(static_cast<size_t>(side) * side, 0);

  // Reading a single frame must not register it.
  const bool alignPass = in.AlignPass;
  in.AlignPass = false;
  int averaged = 0;
  for (const int f : best) {
    const int fl = left + table[f].ShiftX, ft = top + table[f].ShiftY;
    const bool kept = CropCovers(f, fl, ft, fl + side, ft + side);
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
    for (int j = 0; j < side; ++j) {
      const int y = ft + j;
      if (y < 0 || y >= h) continue;
      const uint8_t* row = kept ? crops_.crop(f) + (static_cast<size_t>(y - crops_.top[f]) * crops_.side +
                                                    static_cast<size_t>(fl - crops_.left[f])) * 3
                                : pic.row(y) + static_cast<ptrdiff_t>(fl) * 3;
      for (int i = 0; i < side; ++i) {
        const int x = fl + i;
        if (x < 0 || x >= w) continue;
        const size_t k = static_cast<size_t>(j) * side + i;
        for (int c = 0; c < 3; ++c) sum[k * 3 + c] += row[i * 3 + c];
        ++count[k];
      }
    }
  }
  in.AlignPass = alignPass;

  KeepReferenceFrame();
  // The reference image's neighbourhood of the feature, as bytes.
  const int rw = image1_.width(), rh = image1_.height();
  for (int j = 0; j < side; ++j) {
    const int y = top + j;
    if (y < 0 || y >= rh) continue;
    uint8_t* row = image1_.row(y);
    for (int i = 0; i < side; ++i) {
      const int x = left + i;
      const size_t k = static_cast<size_t>(j) * side + i;
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
  const int bx = st_.BoxX - left, by = st_.BoxY - top;
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      const int i = bx + x, j = by + y;
      if (i < 0 || j < 0 || i >= side || j >= side) continue;
      const size_t k = static_cast<size_t>(j) * side + i;
      if (count[k] == 0) continue;
      const float* v = &sum[k * 3];
      lum.at(x, y) = (v[2] * lumWeights_[0] + v[1] * lumWeights_[1] + v[0] * lumWeights_[2]) / count[k];
    }
  referenceQuality_.Prepare(e, lum, Window(), BandForBox(o.qualityFilter, o.qualFilterDX, n), averaged);
  StoreReferenceSpectrum(lum, o.filter, o.correlation.filterRadius2);
  c_.Memo2.add("Reference from the best " + std::to_string(best.size()) + " frames");
  return true;
}

void RegistrationController::QualityAgainstReference() {
  if (!referenceQuality_.Ready()) return;
  auto& in = x_.input;
  auto& table = x_.table;
  const int last = std::min(c_.AlignSlider.max(), frames::MaxFrames - 1);
  const int n = Box();
  const LuminanceWeights w{lumWeights_[0], lumWeights_[1], lumWeights_[2]};
  FftPlane& box = *boxLum_;
  std::vector<float> row(static_cast<size_t>(n));
  std::vector<float> quality(static_cast<size_t>(last + 1), -1.0f);
  int total = 0, done = 0;
  for (int q = 0; q <= last; ++q) total += table[q].Excluded ? 0 : 1;

  const bool alignPass = in.AlignPass;
  in.AlignPass = false;
  for (int q = 0; q <= last && !in.CancelRequested; ++q) {
    if (table[q].Excluded) continue;
    const int bx = st_.BoxX + table[q].ShiftX, by = st_.BoxY + table[q].ShiftY;
    if (CropCovers(q, bx, by, bx + n, by + n)) {
      const uint8_t* crop = crops_.crop(q);
      for (int j = 0; j < n; ++j) {
        const size_t at = static_cast<size_t>(by + j - crops_.top[q]) * crops_.side + (bx - crops_.left[q]);
        LuminanceRow(crop + at * 3, row.data(), n, w.r, w.g, w.b);
        for (int i = 0; i < n; ++i) box.at(i, j) = row[static_cast<size_t>(i)];
      }
    } else {
      try {
        LoadFrameForShow(q);
      } catch (const std::exception&) {
        continue;
      }
      const ui::Bitmap24& pic = x_.source.preview();
      ExtractBox(pic, std::min(in.ImageWidth, pic.width()), std::min(in.ImageHeight, pic.height()), bx, by, n, w,
                 box);
    }
    quality[static_cast<size_t>(q)] = static_cast<float>(referenceQuality_.Measure(*engine_, box));
    if (++done % 64 == 0) {
      if (total > 0) s_.progress.setProgress(px::Round(100.0 * done / total));
      s_.ui.processEvents();
    }
  }
  in.AlignPass = alignPass;
  if (in.CancelRequested) return;
  for (int q = 0; q <= last; ++q)
    if (quality[static_cast<size_t>(q)] >= 0) table[q].Quality = quality[static_cast<size_t>(q)];
  c_.Memo2.add("Quality measured against the best frames");
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
