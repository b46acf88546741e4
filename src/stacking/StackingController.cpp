#include "stacking/StackingController.h"

#include <algorithm>
#include <cmath>

#include "base/Error.h"
#include "base/Numbers.h"
#include "finish/Resample.h"
#include "registration/QualityMeasure.h"
#include "stacking/StackSelection.h"
#include "stacking/SubPixelShift.h"

namespace stacking {

namespace {
constexpr int kMaxSide = frames::MaxImageSide;
}

StackingController::StackingController(ui::Services& s, StackingControls& c, StackingDeps d)
    : s_(s),
      c_(c),
      d_(d),
      st_(d.state),
      colourStack_(d.inputControls.ColourStack),
      lrgb1_(d.inputControls.LRGB1) {
  colourStack_.OnClick = [this] { ColourStackClick(); };
  c_.Colourprocess2.OnClick = [this] { Colourprocess2Click(); };
  c_.SaveSub.OnClick = [this] { SaveSubClick(); };
  c_.Stacklist.OnClick = [this] { StacklistClick(); };
  c_.Stackframeswindow.OnClose = [this] { StackframeswindowClose(); };
  c_.StackSlider.OnChange = [this] { StackSliderChange(); };
  c_.differencecutslider.OnChange = [this] { differencecutsliderChange(); };
  c_.Stackbutton.OnClick = [this] { StackButtonClick(); };
  c_.SaveButton.OnClick = [this] { SaveButtonClick(); };
  c_.StackFramesList.OnClick = [this] { StackFramesListClick(); };
  c_.StackFramesList.OnClickCheck = [this] { StackFramesListClickCheck(); };
  c_.StackFramesList.OnDblClick = [this] { StackFramesListDblClick(); };
  c_.Drizzle2.OnClick = [this] { Drizzle2Click(); };
  d_.aligning.Drizzling.OnClick = [this] { DrizzlingClick(); };
  auto& ic = d_.inputControls;
  ic.LoadDarkframe.OnClick = [this] { LoadDarkframeClick(); };
  ic.Flatfieldbutton.OnClick = [this] { FlatfieldbuttonClick(); };
  ic.CreateDarkframe.OnClick = [this] { CreateDarkframeClick(); };
  ic.CreateFlatfield.OnClick = [this] { CreateDarkframeClick(); };
  d_.source.AccumulateFrame = [this] { AccumulateFrame(); };
}

// The two "Colour processing" boxes (Input and Stacking pages) always agree; the LRGB boxes
// only make sense in colour.
void StackingController::ColourStackClick() {
  bool colour = colourStack_.checked();
  c_.Colourprocess2.setChecked(colour);
  s_.settings.writeBool("Settings", "usecolour", colour);
  lrgb1_.setEnabled(colour);
  c_.LRGB2.setEnabled(colour);
  if (!colour) {
    lrgb1_.setChecked(false);
    c_.LRGB2.setChecked(false);
  }
}

void StackingController::Colourprocess2Click() { colourStack_.setChecked(c_.Colourprocess2.checked()); }

void StackingController::SaveSubClick() { c_.Subdirname.setVisible(c_.SaveSub.checked()); }

void StackingController::StacklistClick() { c_.Stackframeswindow.setVisible(c_.Stacklist.checked()); }

void StackingController::StackframeswindowClose() { c_.Stacklist.setChecked(false); }

void StackingController::DrizzlingClick() { c_.Drizzle2.setChecked(d_.aligning.Drizzling.checked()); }

void StackingController::Drizzle2Click() { d_.aligning.Drizzling.setChecked(c_.Drizzle2.checked()); }

void StackingController::StackButtonClick() {
  auto& in = d_.input;
  auto& t = d_.table;
  auto& al = d_.aligning;
  const bool resampled = al.Resampled.checked();
  const bool drizzle = c_.Drizzle2.checked() || al.Drizzling.checked();
  const bool expand = c_.Expandstack.checked();
  if (in.FrameCount <= 0) return;  // nothing chosen yet

  if (!resampled) al.UseProcessed.setVisible(true);
  in.CancelRequested = false;
  st_.ExpandOffsetX = st_.ExpandOffsetY = 0;
  if (!st_.CalibrationMode && ShowLaterPages) ShowLaterPages();
  c_.SaveButton.setEnabled(true);
  s_.ui.setCursor(ui::Cursor::Busy);
  s_.progress.start("Stacking frames");

  // Stack size and view scale.
  frameWidth_ = std::clamp(in.FrameWidth, 1, kMaxSide);
  frameHeight_ = std::clamp(in.FrameHeight, 1, kMaxSide);
  factor_ = std::clamp(al.ResampleSpin.value(), 1.0, 4.0);
  filterIndex_ = finish::ResampleFilterIndexForItem(al.ResampleCombo.itemIndex());
  int W = in.ImageWidth, H = in.ImageHeight;
  st_.ViewScale = 1;
  if (expand) {
    W = frameWidth_;
    H = frameHeight_;
  }
  if (drizzle) {
    W = px::Round(2.0 * frameWidth_) - 1;
    H = px::Round(2.0 * frameHeight_) - 1;
    st_.ViewScale = 2;
  } else if (resampled) {
    W = px::Round(frameWidth_ * factor_) - 1;
    H = px::Round(frameHeight_ * factor_) - 1;
    st_.ViewScale = factor_;
  }
  W = std::clamp(W, 1, kMaxSide);
  H = std::clamp(H, 1, kMaxSide);
  runWidth_ = W;
  runHeight_ = H;
  runDrizzle_ = drizzle;
  runResample_ = resampled && !drizzle;
  c_.Stackimagesize.setCaption("Image : " + std::to_string(W) + "x" + std::to_string(H));

  if (SizeLaterViews) SizeLaterViews(W, H);

  // The selection.
  const int R = std::clamp(c_.StackSlider.value(), 0, frames::MaxFrames - 1);
  const float cut = DifferenceCut(MaxDifference(t, std::clamp(c_.StackSlider.max(), 0, frames::MaxFrames - 1)),
                                  c_.differencecutslider.value());

  // Expanded canvas: grown by the shift range of the admitted frames.
  planeWidth_ = W;
  planeHeight_ = H;
  if (expand) {
    int minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int k = 0; k <= R; ++k) {
      if (!Admits(t, k, R, cut)) continue;
      const auto& rec = t[t.ranks[k].FrameIndex];
      minX = std::min(minX, rec.ShiftX);
      maxX = std::max(maxX, rec.ShiftX);
      minY = std::min(minY, rec.ShiftY);
      maxY = std::max(maxY, rec.ShiftY);
    }
    st_.ExpandedWidth = std::clamp(W + maxX - minX - 1, 1, kMaxSide);
    st_.ExpandedHeight = std::clamp(H + maxY - minY - 1, 1, kMaxSide);
    st_.ExpandOffsetX = maxX;
    st_.ExpandOffsetY = maxY;
    c_.Stackimagesize.setCaption("Image : " + std::to_string(st_.ExpandedWidth) + "x" +
                                 std::to_string(st_.ExpandedHeight));
    planeWidth_ = st_.ExpandedWidth;
    planeHeight_ = st_.ExpandedHeight;
  }
  if (AllocateImageBuffers) AllocateImageBuffers(planeWidth_, planeHeight_);
  else frames::AllocatePlanes(d_.planes, planeWidth_, planeHeight_);

  acc_.Begin(d_.planes, planeWidth_, planeHeight_, drizzle);
  ReadRunOptions();

  // A stack run is no alignment pass, whoever started it.
  const bool alignPass = in.AlignPass;
  in.AlignPass = false;
  in.StackPass = true;
  int n = CountAdmitted(t, R, cut);
  if (n == 0) n = 1;
  st_.StackedCount = n;
  st_.SliderAtStack = c_.StackSlider.value();
  st_.LumiChannelSeen = false;
  d_.source.BeginRun();

  bool go = true;
  if (n == 1 && !in.SingleImage)
    go = s_.ui.messageBox("Only one frame to stack, continue ??? ", ui::MsgKind::Warning, ui::ButtonsYesCancel) ==
         ui::DialogResult::Yes;

  if (go) {
    int j = 0;
    for (int k = 0; k <= R; ++k) {
      if (!Admits(t, k, R, cut)) continue;
      ++j;
      if (c_.StackSlider.value() > 0) s_.progress.setProgress(px::Round(100.0 * j / n));
      infoText_.assign("Stacking ").append(std::to_string(j)).append(" of ").append(std::to_string(n));
      c_.StackInfoLabel.setCaption(infoText_);
      s_.ui.processEvents();
      if (in.CancelRequested) break;
      if (!ReadStackFrame(t.ranks[k].FrameIndex)) {
        // Left out: the stack holds one frame fewer.
        --j;
        st_.StackedCount = std::max(st_.StackedCount - 1, 0);
        continue;
      }
      if (j < frames::MaxFrames) t.ranks[j].StackQuality = MeasureStackQuality();
    }
    d_.source.ReportUnreadable();
    StackSliderChange();
    // Final size: resampling keeps one more column and row, which stay 0.
    if (drizzle) {
      W = std::min(px::Round(2.0 * frameWidth_) - 1, kMaxSide);
      H = std::min(px::Round(2.0 * frameHeight_) - 1, kMaxSide);
    } else if (resampled) {
      W = std::min(px::Round(frameWidth_ * factor_), kMaxSide);
      H = std::min(px::Round(frameHeight_ * factor_), kMaxSide);
    }
    if (expand) {
      W = st_.ExpandedWidth;
      H = st_.ExpandedHeight;
    }
    // The planes hold the allocated size; one more column and row stay 0.
    W = std::min(W, planeWidth_ + 1);
    H = std::min(H, planeHeight_ + 1);
    in.ImageWidth = W;
    in.ImageHeight = H;
    FinishStack(W, H);
  } else {
    W = planeWidth_;
    H = planeHeight_;
  }

  s_.ui.setCursor(ui::Cursor::Normal);
  s_.progress.hide();
  SetScrollPositions(W, H);
  // Later previews of video frames are no stacking pass.
  in.StackPass = false;
  in.AlignPass = alignPass;
  if (go) {
    st_.StackExists = true;
    if (StackBuilt) StackBuilt();
  }
}

// Delivers one frame through the frame source, which runs AccumulateFrame once or per field.
bool StackingController::ReadStackFrame(int frame) {
  auto& in = d_.input;
  frame_ = frame;
  in.CurrentFrameIndex = frame;
  try {
    if (in.InputKind == frames::ikAvi) {
      d_.source.ReadAvi(in.AviPath, frame);
    } else {
      const std::string& name = d_.table.fileNames[frame];
      auto read = [&] { d_.source.ReadStillFrame(name, in.InputKind); };
      read();
      d_.source.RunFrameSteps(in.FrameWidth, in.FrameHeight, read);
    }
  } catch (const std::exception& e) {
    // A frame that cannot be read adds nothing; the run goes on and names it at the end.
    d_.source.SkipUnreadable(frame, e.what());
    return false;
  }
  return true;
}

void StackingController::ReadRunOptions() {
  const auto& ic = d_.inputControls;
  run_.accumulate = MakeOptions();
  run_.qualityWeights = c_.QualStack.checked();
  run_.interlaced = ic.Interlaced.checked();
  run_.subPixel = c_.SubPixelStack.checked();
  run_.resampledShifts = d_.aligning.Resampled.checked();
  run_.fineShifts = d_.aligning.SubPixelEstimate.checked();
  run_.pixfrac = c_.Pixfrac.value() * 0.01;
  run_.useDark = ic.UseDarkFrame.checked();
  run_.useFlat = ic.UseFlatfield.checked();
}

AccumulateOptions StackingController::MakeOptions() {
  AccumulateOptions o;
  auto& ic = d_.inputControls;
  o.colour = colour();
  o.expand = c_.Expandstack.checked();
  o.drizzle = runDrizzle_;
  o.resampled = runResample_;
  o.interlaced = ic.Interlaced.checked();
  o.interlaceFilter = ic.interlaceinterpolation.itemIndex();
  o.useDark = ic.UseDarkFrame.checked() && !runResample_;
  o.useFlat = ic.UseFlatfield.checked() && !runResample_;
  o.darkWidth = st_.DarkWidth;
  o.darkHeight = st_.DarkHeight;
  o.flatWidth = st_.FlatWidth;
  o.flatHeight = st_.FlatHeight;
  if (LuminanceWeights) {
    auto w = LuminanceWeights();
    o.lumR = w[0];
    o.lumG = w[1];
    o.lumB = w[2];
  }
  o.planeWidth = planeWidth_;
  o.planeHeight = planeHeight_;
  o.offsetX = st_.ExpandOffsetX;
  o.offsetY = st_.ExpandOffsetY;
  if (runDrizzle_) {
    const int wd = std::min(px::Round(2.0 * frameWidth_) - 1, kMaxSide);
    const int hd = std::min(px::Round(2.0 * frameHeight_) - 1, kMaxSide);
    o.width = o.checkWidth = wd / 2;
    o.height = o.checkHeight = hd / 2;
  } else if (o.expand) {
    o.width = o.checkWidth = frameWidth_;
    o.height = o.checkHeight = frameHeight_;
  } else if (!runResample_) {
    o.width = o.checkWidth = runWidth_;
    o.height = o.checkHeight = runHeight_;
  }
  return o;
}

void StackingController::AccumulateFrame() {
  auto& in = d_.input;
  auto& planes = d_.planes;
  const int frame = std::clamp(frame_, 0, frames::MaxFrames - 1);
  const frames::FrameRecord& rec = d_.table[frame];
  const StackRunOptions& r = run_;
  const bool firstField = r.interlaced && in.FieldIndex == 0;

  FrameInputs fi;
  fi.sx = firstField ? rec.ShiftXa : rec.ShiftX;
  fi.sy = firstField ? rec.ShiftYa : rec.ShiftY;
  fi.weight = r.qualityWeights ? (firstField ? rec.QualityA : rec.Quality) : 1.0f;
  fi.fieldIndex = in.FieldIndex;
  fi.fitsChannel = in.FitsChannel;

  FrameSourceView src;
  ui::Bitmap24& pic = d_.source.preview();
  src.kind = SourceKind::Bytes;
  src.bytes = &pic;
  src.width = pic.width();
  src.height = pic.height();
  if (!runResample_) {
    if (in.InputKind == frames::ikFits) {
      src.kind = SourceKind::Fits;
      src.fits = &planes.FitsPlane;
      src.width = planes.FitsPlane.nominalWidth();
      src.height = planes.FitsPlane.nominalHeight();
      // A separate luminance stack must lie on the colour frames pixel for pixel; the run
      // leaves a luminance file of another size out and names it at the end.
      if (in.FitsChannel == 3 && (src.width != frameWidth_ || src.height != frameHeight_))
        throw px::PelinoxaError("the luminance file is " + std::to_string(src.width) + "x" +
                                std::to_string(src.height) + ", the colour frames " + std::to_string(frameWidth_) +
                                "x" + std::to_string(frameHeight_));
    } else if (in.InputKind == frames::ikTiff) {
      const auto& tif = planes.OutputBitmap48;
      // Depths without 16-bit samples (1, 4, 8, 32 bits) are stacked from their picture.
      const bool has16 = tif.bitsPerPixel == 48 || tif.bitsPerPixel == 16 || tif.bitsPerPixel == 24;
      if (has16 && tif.width48() >= pic.width() && tif.height48() >= pic.height()) {
        src.kind = SourceKind::Tiff16;
        src.tiff = &tif;
      }
    } else if (in.InputKind == frames::ikAvi && in.DeepFrame) {
      // Deep video frames (16-bit SER) left their full-depth samples in the same buffer.
      const auto& deep = planes.OutputBitmap48;
      if (deep.width48() >= pic.width() && deep.height48() >= pic.height()) {
        src.kind = SourceKind::Tiff16;
        src.tiff = &deep;
      }
    }
  }

  AccumulateOptions o = r.accumulate;
  if (!runDrizzle_ && !runResample_ && r.subPixel && !r.interlaced) MoveByFineShift(rec, fi, src);
  if (runDrizzle_) {
    const SplitShift sp = SplitDrizzleShift(fi.sx, fi.sy, rec.FineShiftX, rec.FineShiftY, r.resampledShifts, factor_,
                                            r.fineShifts);
    fi.sx = sp.sx;
    fi.sy = sp.sy;
    fi.drop = BuildDropTable(sp.qx, sp.qy, r.pixfrac);
  } else if (runResample_) {
    CalibrateBytes(pic, planes, r.useDark, st_.DarkWidth, st_.DarkHeight, r.useFlat, st_.FlatWidth, st_.FlatHeight);
    const int wr = px::Round(frameWidth_ * factor_) - 1, hr = px::Round(frameHeight_ * factor_) - 1;
    int w = wr, h = hr, t = 0, m = 0;
    if (w > kMaxSide) {
      t = std::clamp(px::Round(st_.StackX * factor_) - 2048, 0, w - kMaxSide);
      w = kMaxSide;
    }
    if (h > kMaxSide) {
      m = std::clamp(px::Round(st_.StackY * factor_) - 2048, 0, h - kMaxSide);
      h = kMaxSide;
    }
    // The frame window that, enlarged, covers the stack with this frame's shift.
    const int ox = px::Round((t + fi.sx) / factor_), oy = px::Round((m + fi.sy) / factor_);
    const int ww = std::max(px::Round(w / factor_), 1), wh = std::max(px::Round(h / factor_), 1);
    window_.setSize(ww, wh);
    window_.fill(ui::colors::Black);
    for (int y = 0; y < wh; ++y) {
      const int sy = oy + y;
      if (sy < 0 || sy >= pic.height()) continue;
      const int x0 = std::max(0, -ox), x1 = std::min(ww, pic.width() - ox);
      if (x1 > x0) std::copy(pic.row(sy) + (ox + x0) * 3, pic.row(sy) + (ox + x1) * 3, window_.row(y) + x0 * 3);
    }
    enlarged_.setSize(w, h);
    resampler_.Run(window_, enlarged_, filterIndex_);
    src.bytes = &enlarged_;
    src.width = w;
    src.height = h;
    o.width = w;
    o.height = h;
    o.checkWidth = wr;
    o.checkHeight = hr;
    o.windowX = t;
    o.windowY = m;
  }

  if (acc_.Add(planes, o, fi, src) && !st_.LumiChannelSeen) {
    st_.LumiChannelSeen = true;
    d_.inputControls.Lumichannel.setChecked(true);
    if (LuminanceStackAdded) LuminanceStackAdded();
  }
}

void StackingController::MoveByFineShift(const frames::FrameRecord& rec, FrameInputs& fi, FrameSourceView& src) {
  bool valid = false;
  const FineSplit f = SplitFineShift(rec.FineShiftX, rec.FineShiftY, fi.sx, fi.sy, valid);
  if (!valid) return;
  fi.sx = f.sx;
  fi.sy = f.sy;
  switch (src.kind) {
    case SourceKind::Bytes:
      ShiftBytesInto16(*src.bytes, src.width, src.height, f.fx, f.fy, shifted16_);
      src.kind = SourceKind::Tiff16;
      src.tiff = &shifted16_;
      break;
    case SourceKind::Tiff16:
      ShiftRows16(*src.tiff, src.width, src.height, f.fx, f.fy, shifted16_);
      src.tiff = &shifted16_;
      break;
    case SourceKind::Fits:
      ShiftPlane(*src.fits, src.width, src.height, f.fx, f.fy, shiftedPlane_);
      src.fits = &shiftedPlane_;
      break;
  }
}

float StackingController::MeasureStackQuality() {
  if (!Engine) return 0;
  registration::FftEngine& e = Engine();
  const int B = e.FFTSize();
  e.ClearCorner(e.FFTRe);
  e.ClearCorner(e.FFTIm);
  const int bx = d_.reg.BoxX, by = d_.reg.BoxY;
  const auto& p = d_.planes.StackPlanes;
  std::array<float, 3> w{0.299f, 0.587f, 0.114f};
  if (LuminanceWeights) w = LuminanceWeights();
  const bool col = colour();
  const int maxX = std::min(frameWidth_, planeWidth_ + 2), maxY = std::min(frameHeight_, planeHeight_ + 2);
  double sum = 0;
  for (int x = 0; x < B; ++x)
    for (int y = 0; y < B; ++y) {
      const int px_ = bx + x, py = by + y;
      if (px_ < 0 || py < 0 || px_ >= maxX || py >= maxY) continue;
      const float v = col ? w[0] * p[0].Get(px_, py) + w[1] * p[1].Get(px_, py) + w[2] * p[2].Get(px_, py)
                          : p[1].Get(px_, py);
      e.FFTRe.at(x, y) = v;
      sum += v;
    }
  // Divided by its mean and made mean-free (so the mean brightness is 1), tapered like every
  // frame's quality box.
  const float mean = static_cast<float>(sum / (static_cast<double>(B) * B));
  const float inv = static_cast<float>(1.0 / (mean + 0.000001));
  for (int x = 0; x < B; ++x) {
    float* col_ = e.FFTRe.column(x);
    for (int y = 0; y < B; ++y) col_[y] = (col_[y] - mean) * inv;
  }
  if (static_cast<int>(qualityTaper_.size()) != B) qualityTaper_ = registration::QualityTaper(B);
  registration::ApplyQualityTaper(e.FFTRe.data(), registration::kPlaneStride, qualityTaper_, B);
  e.FFT2DForward();
  e.RadialSpectrum();
  // The box was divided by its mean, so its mean brightness is 1.
  const int qf = px::Round(d_.aligning.QualityFilter.value()), dx = px::Round(d_.aligning.QualFilterDX.value());
  return static_cast<float>(registration::MeasureQuality(e.RadialProfile, e.RadialProfileScale, B, 1.0, qf, dx).quality);
}

void StackingController::FinishStack(int width, int height) {
  auto& planes = d_.planes;
  acc_.FinishCoverage(planes);
  const bool col = colour();
  NormalizeStack(planes, width, height, col);
  st_.StackMax = st_.CalibrationMode ? 255.0f : StackMaximum(planes, width, height, col);
  st_.StackMin = 0;
  // A stack without contributions (or only negative ones) shows black.
  const float range = st_.StackMax - st_.StackMin;
  const float scale = range > 0 ? 255.0f / range : 0.0f;
  RenderStack(planes, width, height, col, scale, c_.Stackimage.picture(), planes.OutputBitmap48);
  c_.Stackimage.invalidate();
  st_.StackWidth = width;
  st_.StackHeight = height;
}

void StackingController::SetScrollPositions(int width, int height) {
  const int x = px::Round(d_.reg.HotX * st_.ViewScale), y = px::Round(d_.reg.HotY * st_.ViewScale);
  c_.Stackimage.scrollOnto(x, y, width, height);
  if (ScrollProcessedView) ScrollProcessedView(x, y, width, height);
}

}  // namespace stacking
