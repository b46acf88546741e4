// Registering the frame in the preview against the reference: correlation, peak, tracking,
// manual re-pointing, the registration difference and the power spectrum of the aligned box.
#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "registration/BoxRegistration.h"
#include "registration/FrameShift.h"
#include "registration/QualityMeasure.h"
#include "registration/RegistrationController.h"
#include "registration/RegistrationMath.h"
#include "ui/Canvas.h"

namespace registration {

void RegistrationController::AlignImageMouseDown(int x, int y) {
  if (!waitingForClick_) return;
  clickX_ = x;
  clickY_ = y;
  waitingForClick_ = false;
}

void RegistrationController::AlignImageMouseMove(int x, int y) {
  if (!waitingForClick_) return;
  const int h = Box() / 2;
  ui::Canvas cv(c_.AlignImage.picture());
  cv.pen.mode = ui::PenMode::Xor;
  cv.pen.color = ui::colors::White;
  cv.brush.style = ui::BrushStyle::Clear;
  if (lastMouseX_ != -1) cv.rectangle(lastMouseX_ - h, lastMouseY_ - h, lastMouseX_ + h, lastMouseY_ + h);
  cv.rectangle(x - h, y - h, x + h, y + h);
  lastMouseX_ = x;
  lastMouseY_ = y;
  c_.AlignImage.invalidate();
}

// Waits for a click on the aligning picture: the toolkit blocks on window events, a script
// supplies the point. A cancelled run stops waiting and keeps the automatic peak; a window
// closed during the wait cancels the run.
bool RegistrationController::PointManually(int& px, int& py, int ox, int oy) {
  c_.FFTWindow.setVisible(false);
  s_.progress.hide();
  waitingForClick_ = true;
  forceRealign_ = false;
  lastMouseX_ = lastMouseY_ = -1;
  c_.AlignImage.setCursor(ui::Cursor::Cross);
  s_.ui.setCursor(ui::Cursor::Cross);
  struct EndWait {
    RegistrationController& r;
    ~EndWait() {
      r.waitingForClick_ = false;
      r.c_.AlignImage.setCursor(ui::Cursor::Normal);
      r.s_.ui.setCursor(ui::Cursor::Busy);
    }
  };
  bool clicked;
  {
    EndWait end{*this};
    const bool waited = s_.ui.waitForPoint([this] { return waitingForClick_ && !x_.input.CancelRequested; },
                                           [this](int x, int y) {
                                             ui::MouseEvent e;
                                             e.x = x;
                                             e.y = y;
                                             c_.AlignImage.userMouse(ui::MouseAction::Down, e);
                                           });
    if (!waited) x_.input.CancelRequested = true;
    clicked = !waitingForClick_;
  }
  if (!clicked) return false;
  px = clickX_ - st_.BoxX - ox;
  py = clickY_ - st_.BoxY - oy;
  return true;
}

void RegistrationController::ShowToolWindowsAfterQuestion() {
  if (c_.ShowFFTbox.checked()) c_.FFTWindow.setVisible(true);
  if (c_.Showgraphbox.checked()) c_.Propertywindow.setVisible(true);
  s_.progress.show();
}

// Manual pointing, and the lost-alignment question when the peak collapsed (or "Re-Align" was
// pressed): true when the user's click replaced the peak (px, py).
bool RegistrationController::PointedByHand(const RegistrationOptions& o, double peak, int& px, int& py, int ox,
                                           int oy) {
  bool manual = false;
  if (o.manual) manual = PointManually(px, py, ox, oy);
  if ((0.7 * st_.LastPeak > peak && o.misalign) || forceRealign_) {
    forceRealign_ = false;
    c_.FFTWindow.setVisible(false);
    c_.Propertywindow.setVisible(false);
    s_.progress.hide();
    if (s_.ui.messageBox(" Is the alignment lost ? \n\r Click OK to realign on feature ", ui::MsgKind::Warning,
                         ui::ButtonsOKNo) == ui::DialogResult::OK) {
      if (PointManually(px, py, ox, oy)) manual = true;
    }
    ShowToolWindowsAfterQuestion();
  }
  return manual;
}

RegistrationOptions RegistrationController::ReadOptions() {
  RegistrationOptions o;
  o.wholeFrame = c_.WholeFrameAlign.checked();
  o.track = c_.Followme.checked();
  o.predict = c_.PredictTrack.checked();
  o.trace = c_.Showtracebox.checked();
  o.manual = c_.ManualAlign.checked();
  o.misalign = c_.Misalignwarning.checked();
  o.showFFT = c_.ShowFFTbox.checked();
  o.subPixel = c_.SubPixelEstimate.checked();
  o.resample = c_.Resampled.checked();
  o.interlaced = x_.inputControls.Interlaced.checked();
  o.contrast = c_.Contrast.checked();
  o.filter = c_.FFTFilter.checked();
  o.filterRadius = c_.FFTFilterspin.value();
  const float r = static_cast<float>(o.filterRadius);
  o.correlation.filter = o.filter;
  o.correlation.filterRadius2 = r * r;
  o.correlation.normalize = c_.Normalize.checked();
  o.correlation.phase = c_.Correlationtype.itemIndex() == 1;
  o.difference.noSquare = c_.NoSquare.checked();
  o.difference.relative = c_.Relative.checked();
  o.qualityFilter = px::Round(c_.QualityFilter.value());
  o.qualFilterDX = px::Round(c_.QualFilterDX.value());
  return o;
}

void RegistrationController::RegisterFrame() {
  auto& in = x_.input;
  // A run reads its options once; a single registration ("Recalc FFT") reads them now.
  if (!in.AlignPass) runOptions_ = ReadOptions();
  const RegistrationOptions& o = runOptions_;
  const int n = Box();
  const int k = std::clamp(in.CurrentFrameIndex, 0, frames::MaxFrames - 1);
  frames::FrameRecord& rec = x_.table[k];
  UpdateLuminanceTables();
  const LuminanceWeights weights{lumWeights_[0], lumWeights_[1], lumWeights_[2]};
  const bool display = DisplayDue();

  // The search offset: the whole frame's displacement when it is aligned on the whole frame,
  // else the tracking offset. The stored shift includes whichever offset was used.
  const ui::Bitmap24& preview = x_.source.preview();
  const int iw = std::min(in.ImageWidth, preview.width());
  const int ih = std::min(in.ImageHeight, preview.height());
  const std::optional<CoarseShift> whole = o.wholeFrame ? WholeFrameShift(k, preview, iw, ih) : std::nullopt;
  const SearchOffset offset =
      ChooseSearchOffset(whole, o.track, o.predict, {st_.TrackX, st_.TrackY, st_.TrackVX, st_.TrackVY});
  if (o.trace && display) c_.AlignImage.picture().assign(preview);
  if (display)
    x_.inputControls.Frames.setCaption("Processing frame " + std::to_string(k + 1) + " of " +
                                       std::to_string(in.SelectedCount));

  const Peak peak = CorrelateFrameBox(rec, preview, iw, ih, offset, weights, display);
  int px = peak.x, py = peak.y;
  const double p = peak.value;
  const bool manual = PointedByHand(o, p, px, py, offset.x, offset.y);
  st_.LastPeak = p;

  const SubPixel vertex = o.subPixel && !whole && !manual ? ParabolaPeak(engine_->FFTRe, n, px, py) : SubPixel{};
  const FrameShift shift = ShiftFromPeak(px, py, n, manual, whole, offset, o.subPixel, vertex);
  if (shift.hasFine) {
    rec.FineShiftX = shift.fineX;
    rec.FineShiftY = shift.fineY;
  }
  StoreShift(k, shift, offset, display);
  MeasureAlignedBox(k, preview, iw, ih, weights);
}

namespace {

// The shift pair and difference of the frame, or of its first field.
struct ShiftSlots {
  int32_t& x;
  int32_t& y;
  float& difference;
};
ShiftSlots SlotsFor(frames::FrameRecord& rec, bool firstField) {
  if (firstField) return {rec.ShiftXa, rec.ShiftYa, rec.DifferenceA};
  return {rec.ShiftX, rec.ShiftY, rec.Difference};
}

}  // namespace

// The box at the search offset, its contrast, and its correlation with the reference (shown
// in the FFT window when asked for): the correlation's highest peak.
Peak RegistrationController::CorrelateFrameBox(frames::FrameRecord& rec, const ui::Bitmap24& preview, int iw, int ih,
                                               const SearchOffset& offset, const LuminanceWeights& weights,
                                               bool display) {
  FftEngine& e = *engine_;
  const RegistrationOptions& o = runOptions_;
  const BoxStats box = ExtractBox(preview, iw, ih, st_.BoxX + offset.x, st_.BoxY + offset.y, Box(), weights, *boxLum_);
  rec.BoxContrast = (box.largest - box.smallest) / 255.0f;
  if (o.filter) st_.FilterRadius2 = o.correlation.filterRadius2;
  const Peak peak = CorrelateBox(e, *boxLum_, Window(), *refSpecRe_, *refSpecIm_, o.correlation, *frameSpecRe_,
                                 *frameSpecIm_);
  if (o.showFFT && display) {
    ui::Bitmap24 surface = e.SpectrumBitmap(e.FFTRe, &e.FFTIm, 1.0f);
    ui::Bitmap24& pic = c_.FFTImage.picture();
    if (pic.empty()) pic.reset(256, 256);
    ui::Canvas(pic).stretchDraw({0, 0, pic.width(), pic.height()}, surface);
    c_.FFTImage.invalidate();
  }
  return peak;
}

// The shift into the frame's (or field's) pair, the labels and the marker, the tracking
// offset following the total displacement, and the neighbourhood kept for the optimizer.
void RegistrationController::StoreShift(int k, const FrameShift& s, const SearchOffset& offset, bool display) {
  const RegistrationOptions& o = runOptions_;
  auto& table = x_.table;
  const int fx = st_.HotX + s.dx, fy = st_.HotY + s.dy;
  if (display) {
    c_.ShiftLabel.setCaption(std::to_string(s.dx) + " " + std::to_string(s.dy));
    c_.FeatureLabel.setCaption(std::to_string(fx - st_.BoxX) + " " + std::to_string(fy - st_.BoxY));
  }
  const ShiftSlots slots = SlotsFor(table[k], o.interlaced && x_.input.FieldIndex == 0);
  slots.x = s.storedX;
  slots.y = s.storedY;
  if (o.trace && display) {
    DrawMarker(c_.AlignImage.picture(), fx + offset.x, fy + offset.y, Box(), true);
    c_.AlignImage.invalidate();
  }
  if (o.track) {
    if (k > 0) {
      st_.TrackVX = (table[k - 1].ShiftX - table[k].ShiftX) / 2;
      st_.TrackVY = (table[k - 1].ShiftY - table[k].ShiftY) / 2;
    }
    st_.TrackX = s.dx + offset.x;
    st_.TrackY = s.dy + offset.y;
  }
  if (x_.input.AlignPass && crops_.side > 0 && !o.interlaced && !o.resample)
    KeepCrop(k, st_.HotX + slots.x, st_.HotY + slots.y);
}

// The registration difference of the aligned box against the reference image, and the power
// spectrum of the aligned box (tapered), which gives the quality.
void RegistrationController::MeasureAlignedBox(int k, const ui::Bitmap24& preview, int iw, int ih,
                                               const LuminanceWeights& weights) {
  FftEngine& e = *engine_;
  const RegistrationOptions& o = runOptions_;
  const int n = Box();
  frames::FrameRecord& rec = x_.table[k];
  const ShiftSlots slots = SlotsFor(rec, o.interlaced && x_.input.FieldIndex == 0);
  float meanF = 0;
  slots.difference = static_cast<float>(RegistrationDifference(e, preview, iw, ih, image1_, image1_.width(),
                                                               image1_.height(), st_.HotX, st_.HotY, slots.x, slots.y,
                                                               weights, o.difference, meanF, differenceRows_));
  qualityBoxMean_ = meanF;

  // Resampled registration: shifts in resampled pixels, the difference left to the optimizer.
  if (o.resample) {
    rec.Difference = 1.0f;
    slots.x = px::Round(slots.x * static_cast<double>(st_.ResampleFactor));
    slots.y = px::Round(slots.y * static_cast<double>(st_.ResampleFactor));
  }

  if (static_cast<int>(qualityTaper_.size()) != n) qualityTaper_ = QualityTaper(n);
  ApplyQualityTaper(e.FFTRe.data(), kPlaneStride, qualityTaper_, n);
  e.FFT2DForward();
  e.RadialSpectrum();
  DrawSpectrumGraph(o);
}

}  // namespace registration
