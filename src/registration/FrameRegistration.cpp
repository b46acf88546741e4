// Registering the frame in the preview against the reference: correlation, peak, tracking,
// manual re-pointing, the registration difference and the power spectrum of the aligned box.
#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "registration/QualityMeasure.h"
#include "registration/RegistrationController.h"
#include "registration/RegistrationMath.h"
#include "ui/Canvas.h"

namespace registration {

namespace {

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

// Luminance of `count` pixels: G wG + B wB + R wR, as the weight tables give it.
void LuminanceRow(const uint8_t* __restrict px, float* __restrict out, int count, float wr, float wg, float wb) {
  for (int i = 0; i < count; ++i)
    out[i] = static_cast<float>(px[3 * i + 1]) * wg + static_cast<float>(px[3 * i]) * wb +
             static_cast<float>(px[3 * i + 2]) * wr;
}

}  // namespace

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

void RegistrationController::RegisterFrame() {
  FftEngine& e = *engine_;
  auto& in = x_.input;
  auto& table = x_.table;
  const int n = Box(), h = n / 2;
  const int k = std::clamp(in.CurrentFrameIndex, 0, frames::MaxFrames - 1);
  frames::FrameRecord& rec = table[k];
  UpdateLuminanceTables();
  const bool display = DisplayDue();

  // 1. Search offset: the whole frame's displacement when it is aligned on the whole frame,
  // else the tracking offset. The stored shift includes whichever offset was used.
  const ui::Bitmap24& preview = x_.source.preview();
  const int iw = std::min(in.ImageWidth, preview.width());
  const int ih = std::min(in.ImageHeight, preview.height());
  int ox = 0, oy = 0;
  bool withOffset = false;
  const std::optional<CoarseShift> whole = c_.WholeFrameAlign.checked() ? WholeFrameShift(k, preview, iw, ih)
                                                                        : std::nullopt;
  const CoarseShift wholeShift = whole.value_or(CoarseShift{});
  if (whole) {
    ox = px::Round(wholeShift.x);
    oy = px::Round(wholeShift.y);
    withOffset = true;
  } else if (c_.Followme.checked()) {
    withOffset = true;
    ox = st_.TrackX;
    oy = st_.TrackY;
    if (c_.PredictTrack.checked()) {
      ox += st_.TrackVX;
      oy += st_.TrackVY;
    }
  }
  const bool trace = c_.Showtracebox.checked();
  // 2.
  if (trace && display) c_.AlignImage.picture().assign(preview);
  // 3.
  if (display)
    x_.inputControls.Frames.setCaption("Processing frame " + std::to_string(k + 1) + " of " +
                                       std::to_string(in.SelectedCount));

  // 4. Box extraction.
  FftPlane& lum = *boxLum_;
  e.ClearCorner(lum);
  double sum = 0;
  float largest = 0, smallest = 255;
  const int bx = st_.BoxX + ox, by = st_.BoxY + oy;
  const int x0 = std::max(0, -bx), x1 = std::min(n, iw - bx);
  const int y0 = std::max(0, -by), y1 = std::min(n, ih - by);
  // Rows are read a block at a time and written column by column, a cache line per column.
  for (int yb = y0; yb < y1; yb += kRowBlock) {
    const int rows = std::min(kRowBlock, y1 - yb);
    for (int r = 0; r < rows; ++r) {
      const uint8_t* row = preview.row(by + yb + r) + static_cast<ptrdiff_t>(bx) * 3;
      float* buf = rowBlock_.data() + r * kBlockStride;
      if (x1 > x0) LuminanceRow(row + x0 * 3, buf + x0, x1 - x0, lumWeights_[0], lumWeights_[1], lumWeights_[2]);
      for (int x = x0; x < x1; ++x) {
        const float v = buf[x];
        sum += v;
        largest = std::max(largest, v);
        smallest = std::min(smallest, v);
      }
    }
    for (int x = x0; x < x1; ++x) {
      float* col = lum.column(x) + yb;
      for (int r = 0; r < rows; ++r) col[r] = rowBlock_[r * kBlockStride + x];
    }
  }
  // 5.
  rec.BoxContrast = (largest - smallest) / 255.0f;
  float mean = static_cast<float>(sum / (static_cast<double>(n) * n));
  if (mean == 0) mean = 1e-6f;
  // The correlation box is tapered: its edges do not move with the feature.
  e.ClearCorner(e.FFTIm);
  TaperedMeanFree(lum, Window(), n, e.FFTRe);
  e.FFT2DForward();
  const float noisePower = std::max(1e-6f, static_cast<float>(CornerNoisePower(e.FFTRe, e.FFTIm, n)));
  // 6.
  if (c_.FFTFilter.checked()) {
    const float r = static_cast<float>(c_.FFTFilterspin.value());
    st_.FilterRadius2 = r * r;
    ApplyAlignmentFilter(e.FFTRe, e.FFTIm, n, st_.FilterRadius2);
  }
  // 7. + 8. Frame spectrum (normalised) and the correlation R * conj(F).
  FftPlane& fre = *frameSpecRe_;
  FftPlane& fim = *frameSpecIm_;
  const bool normalize = c_.Normalize.checked();
  const bool phase = c_.Correlationtype.itemIndex() == 1;
  for (int x = 0; x < n; ++x) {
    const int v = (normalize ? 1 : 0) + (phase ? 2 : 0);
    Correlate* const kernels[4] = {CorrelateColumn<false, false>, CorrelateColumn<true, false>,
                                   CorrelateColumn<false, true>, CorrelateColumn<true, true>};
    kernels[v](e.FFTRe.column(x), e.FFTIm.column(x), fre.column(x), fim.column(x), refSpecRe_->column(x),
               refSpecIm_->column(x), n, noisePower);
  }
  e.FFT2DInverse();
  if (c_.ShowFFTbox.checked() && display) {
    ui::Bitmap24 surface = e.SpectrumBitmap(e.FFTRe, &e.FFTIm, 1.0f);
    ui::Bitmap24& pic = c_.FFTImage.picture();
    if (pic.empty()) pic.reset(256, 256);
    ui::Canvas(pic).stretchDraw({0, 0, pic.width(), pic.height()}, surface);
    c_.FFTImage.invalidate();
  }

  // 9. Peak.
  const Peak peak = FindPeak(e.FFTRe, n);
  int px = peak.x, py = peak.y;
  const double p = peak.value;

  // 10. + 11. Manual pointing and the lost-alignment question.
  bool manual = false;
  if (c_.ManualAlign.checked()) manual = PointManually(px, py, ox, oy);
  if ((0.7 * st_.LastPeak > p && c_.Misalignwarning.checked()) || forceRealign_) {
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
  // 12.
  st_.LastPeak = p;

  // 13. Integer shift; the feature moved by -s.
  int sx, sy;
  if (manual) {
    sx = h - px;
    sy = h - py;
  } else if (whole) {
    // Measured on far more pixels than the box holds, the whole frame's displacement is the
    // shift; the box's correlation only watches for a lost alignment.
    sx = sy = 0;
  } else {
    sx = PeakToShift(px, n);
    sy = PeakToShift(py, n);
  }
  const int dx = -sx, dy = -sy;
  const int fx = st_.HotX + dx, fy = st_.HotY + dy;

  // 14. The surface peaks at tau = -(feature displacement), so the sub-pixel vertex offset
  // (t) of the peak index adds to s and subtracts from the displacement: fine = dx - t (+ the
  // tracking offset, like the stored integer shift).
  // The whole-frame alignment measures the fraction anyway: its fine shift is kept too.
  if (c_.SubPixelEstimate.checked() || whole) {
    double tx = 0, ty = 0;
    if (whole && !manual) {
      tx = ox - wholeShift.x;
      ty = oy - wholeShift.y;
    } else if (!manual) {
      const SubPixel sp = ParabolaPeak(e.FFTRe, n, px, py);
      tx = sp.fx;
      ty = sp.fy;
    }
    const int tox = withOffset ? ox : 0, toy = withOffset ? oy : 0;
    rec.FineShiftX = static_cast<float>(dx + tox - tx);
    rec.FineShiftY = static_cast<float>(dy + toy - ty);
  }

  // 15.
  if (display) {
    c_.ShiftLabel.setCaption(std::to_string(dx) + " " + std::to_string(dy));
    c_.FeatureLabel.setCaption(std::to_string(fx - st_.BoxX) + " " + std::to_string(fy - st_.BoxY));
  }

  // 16. The shift pair and difference field of this frame or field.
  const bool interlaced = x_.inputControls.Interlaced.checked();
  const bool fieldA = interlaced && in.FieldIndex == 0;
  int32_t& shiftX = fieldA ? rec.ShiftXa : rec.ShiftX;
  int32_t& shiftY = fieldA ? rec.ShiftYa : rec.ShiftY;
  float& difference = fieldA ? rec.DifferenceA : rec.Difference;
  shiftX = dx;
  shiftY = dy;

  // 17.
  if (trace && display) {
    DrawMarker(c_.AlignImage.picture(), fx + ox, fy + oy, n, true);
    c_.AlignImage.invalidate();
  }

  // 18. Tracking.
  if (withOffset) {
    shiftX = dx + ox;
    shiftY = dy + oy;
  }
  if (c_.Followme.checked()) {
    if (k > 0) {
      st_.TrackVX = (table[k - 1].ShiftX - table[k].ShiftX) / 2;
      st_.TrackVY = (table[k - 1].ShiftY - table[k].ShiftY) / 2;
    }
    st_.TrackX = dx + ox;
    st_.TrackY = dy + oy;
  }

  if (in.AlignPass && crops_.side > 0 && !interlaced && !c_.Resampled.checked()) KeepCrop(k, st_.HotX + shiftX, st_.HotY + shiftY);

  // 19. + 20. Registration difference of the aligned box against the reference image.
  const int tx = shiftX, ty = shiftY;
  e.ClearCorner(e.FFTRe);
  e.ClearCorner(e.FFTIm);
  const int rw = std::min(iw, image1_.width()), rh = std::min(ih, image1_.height());
  double sumF = 0, sumR = 0;
  const int i0 = std::max({-h, -(st_.HotX + tx), -st_.HotX}), i1 = std::min({h, iw - st_.HotX - tx, rw - st_.HotX});
  const int j0 = std::max({-h, -(st_.HotY + ty), -st_.HotY}), j1 = std::min({h, ih - st_.HotY - ty, rh - st_.HotY});
  for (int jb = j0; jb < j1; jb += kRowBlock) {
    const int rows = std::min(kRowBlock, j1 - jb);
    for (int r = 0; r < rows; ++r) {
      const uint8_t* frow = preview.row(st_.HotY + ty + jb + r) + static_cast<ptrdiff_t>(st_.HotX + tx) * 3;
      const uint8_t* rrow = image1_.row(st_.HotY + jb + r) + static_cast<ptrdiff_t>(st_.HotX) * 3;
      float* fbuf = rowBlock_.data() + r * kBlockStride + h;
      float* rbuf = refBlock_.data() + r * kBlockStride + h;
      if (i1 > i0) {
        LuminanceRow(frow + i0 * 3, fbuf + i0, i1 - i0, lumWeights_[0], lumWeights_[1], lumWeights_[2]);
        LuminanceRow(rrow + i0 * 3, rbuf + i0, i1 - i0, lumWeights_[0], lumWeights_[1], lumWeights_[2]);
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
        fc[r] = rowBlock_[r * kBlockStride + i + h];
        rc[r] = refBlock_[r * kBlockStride + i + h];
      }
    }
  }
  const float meanF = static_cast<float>(sumF / (static_cast<double>(n) * n));
  qualityBoxMean_ = meanF;
  const float meanR = static_cast<float>(sumR / (static_cast<double>(n) * n));
  const bool relative = c_.Relative.checked(), noSquare = c_.NoSquare.checked();
  double diff = 0;
  for (int x = 0; x < n; ++x) {
    float* wr = e.FFTRe.column(x);
    float* wi = e.FFTIm.column(x);
    for (int y = 0; y < n; ++y) {
      wr[y] -= meanF;
      float d = wr[y] - (wi[y] - meanR);
      wi[y] = 0;
      if (relative) d = d / (wr[y] + 0.01f);
      diff += noSquare ? std::fabs(static_cast<double>(d)) : static_cast<double>(d) * d;
    }
  }
  difference = static_cast<float>(diff);

  // 21.
  if (c_.Resampled.checked()) {
    rec.Difference = 1.0f;
    shiftX = px::Round(shiftX * static_cast<double>(st_.ResampleFactor));
    shiftY = px::Round(shiftY * static_cast<double>(st_.ResampleFactor));
  }

  // 22. The power spectrum of the aligned box gives the quality.
  if (static_cast<int>(qualityTaper_.size()) != n) qualityTaper_ = QualityTaper(n);
  ApplyQualityTaper(e.FFTRe.data(), kPlaneStride, qualityTaper_, n);
  e.FFT2DForward();
  e.RadialSpectrum();
  DrawSpectrumGraph();
}

}  // namespace registration
