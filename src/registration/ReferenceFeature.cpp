// The alignment feature: choosing it on the preview, the reference box and its spectrum, the
// box size and the "Recalc FFT" button.
#include <algorithm>

#include "base/Numbers.h"
#include "registration/QualityMeasure.h"
#include "registration/RegistrationController.h"
#include "registration/RegistrationMath.h"
#include "ui/Canvas.h"

namespace registration {

void RegistrationController::PreviewImageMouseDown(int x, int y) {
  auto& in = x_.input;
  const int current = x_.inputControls.PreviewSlider.value();
  // A click during a run would replace the reference under the frames being measured.
  if (in.PreviewClickLock || !in.InputLoaded || in.AlignPass || in.StackPass || runActive_) return;
  if (current >= 0 && current < frames::MaxFrames && x_.table[current].Excluded) return;
  in.CancelRequested = false;
  SetPageVisible(Stage::Aligning, true);

  const int h = Box() / 2;
  if (x <= h || x >= in.FrameWidth - h - 1 || y <= h || y >= in.FrameHeight - h - 1) {
    s_.ui.showMessage(" Alignment feature too close to image border ");
    return;
  }

  st_.WorkStatus = wsFeatureSet;
  st_.RefFrame = current;
  x_.navigation.PreviewSliderChange();
  x_.inputControls.Frames.setVisible(false);
  c_.AlignImage.picture().reset(in.FrameWidth, in.FrameHeight);
  c_.Alignonebutton.setEnabled(true);

  ClearFFTPicture();

  st_.TrackX = st_.TrackY = st_.TrackVX = st_.TrackVY = 0;
  st_.HotX = x;
  st_.HotY = y;
  st_.BoxX = x - h;
  st_.BoxY = y - h;

  c_.ShowFFTbox.setChecked(true);
  c_.Showgraphbox.setChecked(true);
  CalculateReferenceFFT();
  ShowPage(Stage::Aligning);
  if (c_.ShowFFTbox.checked()) c_.FFTWindow.setVisible(true);
  Alignonebuttonclick();
  if (c_.Showgraphbox.checked()) c_.Propertywindow.setVisible(true);
  x_.inputControls.SelectFrameswindow.setVisible(false);
}

void RegistrationController::CalculateReferenceFFT() {
  UpdateLuminanceTables();
  const ui::Bitmap24& preview = x_.source.preview();
  savedReference_.replaced = false;  // a new reference frame
  image1_.assign(preview);
  ++refGeneration_;
  SetWholeFrameReference(preview);
  c_.AlignImage.picture().assign(preview);

  const int n = Box();
  const int iw = std::min(x_.input.ImageWidth, preview.width());
  const int ih = std::min(x_.input.ImageHeight, preview.height());
  FftPlane& lum = *boxLum_;
  engine_->ClearCorner(lum);
  double sum = 0;
  for (int y = 0; y < n; ++y) {
    const int py = st_.BoxY + y;
    if (py < 0 || py >= ih) continue;
    const uint8_t* row = preview.row(py);
    for (int x = 0; x < n; ++x) {
      const int px = st_.BoxX + x;
      if (px < 0 || px >= iw) continue;
      const float v = Luminance(row + px * 3);
      lum.at(x, y) = v;
      sum += v;
    }
  }
  double mean = sum / (static_cast<double>(n) * n);
  if (mean == 0) mean = 1e-10;

  FftEngine& e = *engine_;
  // The quality comes from the plain mean-free box; the reference spectrum from the tapered
  // one, as every frame's correlation box is tapered.
  e.ClearCorner(e.FFTIm);
  for (int x = 0; x < n; ++x) {
    const float* src = lum.column(x);
    float* dst = e.FFTRe.column(x);
    for (int y = 0; y < n; ++y) dst[y] = static_cast<float>(src[y] - mean);
  }
  if (static_cast<int>(qualityTaper_.size()) != n) qualityTaper_ = QualityTaper(n);
  ApplyQualityTaper(e.FFTRe.data(), kPlaneStride, qualityTaper_, n);
  e.FFT2DForward();
  e.RadialSpectrum();
  qualityBoxMean_ = mean;
  DrawSpectrumGraph();

  if (c_.FFTFilter.checked()) {
    const float r = static_cast<float>(c_.FFTFilterspin.value());
    st_.FilterRadius2 = r * r;
  }
  StoreReferenceSpectrum(lum, c_.FFTFilter.checked(), st_.FilterRadius2);

  DrawMarker(c_.AlignImage.picture(), st_.HotX, st_.HotY, n, false);
  c_.AlignImage.invalidate();

  // The reference image as the de-interlaced fields see it.
  if (x_.inputControls.Interlaced.checked()) {
    const int w = std::min(x_.input.ImageWidth, image1_.width());
    const int hgt = std::min(x_.input.ImageHeight, image1_.height());
    if (!x_.inputControls.InterlaceHoriz.checked()) {
      for (int y = 1; y <= hgt - 2; y += 2) {
        const uint8_t* up = preview.row(y - 1);
        const uint8_t* down = preview.row(y + 1);
        uint8_t* row = image1_.row(y);
        for (int i = 0; i < w * 3; ++i) row[i] = static_cast<uint8_t>((up[i] + down[i]) >> 1);
      }
    } else {
      for (int y = 0; y < hgt; ++y) {
        uint8_t* row = image1_.row(y);
        for (int x = 1; x <= w - 2; x += 2)
          for (int k = 0; k < 3; ++k)
            row[x * 3 + k] = static_cast<uint8_t>((row[(x - 1) * 3 + k] + row[(x + 1) * 3 + k]) >> 1);
      }
    }
  }
}

bool RegistrationController::ReferenceFromProcessed(const ui::Bitmap24& processed) {
  const auto& in = x_.input;
  if (runActive_ || in.AlignPass || in.StackPass || !in.InputLoaded || st_.WorkStatus < wsFeatureSet) return false;
  if (processed.width() != in.ImageWidth || processed.height() != in.ImageHeight) {
    s_.ui.messageBox("The processed image is " + std::to_string(processed.width()) + "x" +
                         std::to_string(processed.height()) + " pixels, the frames " + std::to_string(in.ImageWidth) +
                         "x" + std::to_string(in.ImageHeight) + ": it cannot be the alignment reference",
                     ui::MsgKind::Warning, ui::ButtonsOK);
    return false;
  }
  st_.WorkStatus = wsFeatureSet;
  ShowPage(Stage::Aligning);
  if (c_.ShowFFTbox.checked()) c_.FFTWindow.setVisible(true);
  if (c_.Showgraphbox.checked()) c_.Propertywindow.setVisible(true);
  if (HideProcessingWindows) HideProcessingWindows();
  ClearFFTPicture();
  st_.TrackX = st_.TrackY = st_.TrackVX = st_.TrackVY = 0;
  c_.ShowFFTbox.setChecked(true);
  c_.Showgraphbox.setChecked(true);
  x_.source.preview().assign(processed);
  x_.source.ShowPreview();
  const int n = Box();
  st_.BoxX = st_.HotX - n / 2;
  st_.BoxY = st_.HotY - n / 2;
  CalculateReferenceFFT();
  return true;
}

// The feature marker: a circle of radius 15, four ticks from 15 to 5 pixels off the centre
// and the box (corners at +-h, or from the box corner for the reference).
void RegistrationController::DrawMarker(ui::Bitmap24& pic, int cx, int cy, int n, bool centred) {
  ui::Canvas cv(pic);
  cv.pen.color = ui::colors::White;
  cv.brush.style = ui::BrushStyle::Clear;
  cv.ellipse(cx - 15, cy - 15, cx + 15, cy + 15);
  if (centred) cv.setPixel(cx, cy, ui::colors::White);
  cv.moveTo(cx - 15, cy);
  cv.lineTo(cx - 5, cy);
  cv.moveTo(cx + 15, cy);
  cv.lineTo(cx + 5, cy);
  cv.moveTo(cx, cy - 15);
  cv.lineTo(cx, cy - 5);
  cv.moveTo(cx, cy + 15);
  cv.lineTo(cx, cy + 5);
  if (centred) cv.rectangle(cx - n / 2, cy - n / 2, cx + n / 2, cy + n / 2);
  else cv.rectangle(st_.BoxX, st_.BoxY, st_.BoxX + n, st_.BoxY + n);
}

void RegistrationController::FFTsizeGroupClick() {
  x_.source.ShowPreview();
  const int n = 1 << (std::clamp(c_.FFTsizeGroup.itemIndex(), 0, 3) + 5);
  engine_->FFTSetup(n);
  if (st_.BoxX + n >= 352) st_.BoxX = 176 - n / 2;
  if (st_.BoxY + n >= 288) st_.BoxY = 144 - n / 2;
  c_.FFTWindow.setCaption("FFT spectrum " + std::to_string(n) + "x" + std::to_string(n));
  x_.nav.OverlayReset = true;
}

void RegistrationController::Alignonebuttonclick() {
  if (runActive_ || x_.input.AlignPass || x_.input.StackPass) return;
  st_.LastPeak = 0;
  st_.TrackX = st_.TrackY = st_.TrackVX = st_.TrackVY = 0;
  const int n = Box();
  st_.BoxX = st_.HotX - n / 2;
  st_.BoxY = st_.HotY - n / 2;
  auto& slider = x_.inputControls.PreviewSlider;
  if (slider.value() != st_.RefFrame) slider.setValue(st_.RefFrame);
  else x_.navigation.PreviewSliderChange();
  x_.source.ShowPreview();
  CalculateReferenceFFT();
  x_.input.CurrentFrameIndex = st_.RefFrame;
  RegisterFrame();
}

void RegistrationController::FFTFilterClick() {
  ui::Bitmap24& g = c_.imgGraph.picture();
  const int mx = c_.AlignSlider.max();
  const int x = mx > 0 ? px::Round(static_cast<double>(g.width()) * c_.AlignSlider.value() / mx) : 0;
  ui::Canvas cv(g);
  cv.pen.color = ui::colors::Green;
  cv.moveTo(x, 0);
  cv.lineTo(x, g.height());
  c_.imgGraph.invalidate();
}

void RegistrationController::ClearFFTPicture() {
  ui::Bitmap24& fftPic = c_.FFTImage.picture();
  fftPic.fill(ui::colors::White);
  ui::Canvas fc(fftPic);
  fc.textOut(fftPic.width() / 2 - 40, fftPic.height() / 2 - 16, " Not defined ");
  c_.FFTImage.invalidate();
}

// The reference spectrum from a luminance box: tapered and mean-free like every frame's
// correlation box, transformed, low-passed when the alignment filter is on.
void RegistrationController::StoreReferenceSpectrum(const FftPlane& lum, bool filter, float radius2) {
  FftEngine& e = *engine_;
  const int n = Box();
  e.ClearCorner(e.FFTIm);
  TaperedMeanFree(lum, Window(), n, e.FFTRe);
  e.FFT2DForward();
  if (filter) ApplyAlignmentFilter(e.FFTRe, e.FFTIm, n, radius2);
  e.CopyCorner(*refSpecRe_, e.FFTRe);
  e.CopyCorner(*refSpecIm_, e.FFTIm);
}

void RegistrationController::SetWholeFrameReference(const ui::Bitmap24& picture) {
  const int w = std::min(x_.input.ImageWidth, picture.width());
  const int h = std::min(x_.input.ImageHeight, picture.height());
  refDisc_ = FindDisc(picture, w, h, lumR_, lumG_, lumB_, discScratch_);
  coarse_->Clear();
  // Fine shifts need the finer transform.
  if (!refDisc_)
    coarse_->SetReference(picture, w, h, lumR_, lumG_, lumB_,
                          c_.SubPixelEstimate.checked() ? CoarseAligner::kFineSize : CoarseAligner::kQuickSize);
}

std::optional<CoarseShift> RegistrationController::WholeFrameShift(int k, const ui::Bitmap24& picture, int width,
                                                                   int height) {
  const auto f = static_cast<size_t>(k);
  if (x_.input.AlignPass && secondPass_ && coarseKept_[f]) return coarseShifts_[f];
  std::optional<CoarseShift> s;
  if (refDisc_) {
    if (const auto disc = FindDisc(picture, width, height, lumR_, lumG_, lumB_, discScratch_))
      s = CoarseShift{disc->x - refDisc_->x, disc->y - refDisc_->y};
  } else if (coarse_->HasReference()) {
    s = coarse_->Measure(picture, width, height, lumR_, lumG_, lumB_);
  }
  if (x_.input.AlignPass) {
    if (s) {
      coarseShifts_[f] = *s;
      coarseKept_[f] = 1;
    } else {
      ++boxOnlyFrames_;
    }
  }
  return s;
}

}  // namespace registration
