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
  auto& al = d_.aligning;
  StackGeometryOptions go;
  go.resampled = al.Resampled.checked();
  go.drizzle = c_.Drizzle2.checked() || al.Drizzling.checked();
  go.expand = c_.Expandstack.checked();
  if (in.FrameCount <= 0) return;  // nothing chosen yet

  if (!go.resampled) al.UseProcessed.setVisible(true);
  ShowRunStarting();
  go.lastRank = std::clamp(c_.StackSlider.value(), 0, frames::MaxFrames - 1);
  go.cut = DifferenceCut(MaxDifference(d_.table, std::clamp(c_.StackSlider.max(), 0, frames::MaxFrames - 1)),
                         c_.differencecutslider.value());
  PlanStack(go);

  // A stack run is no alignment pass, whoever started it.
  const bool alignPass = in.AlignPass;
  in.AlignPass = false;
  in.StackPass = true;
  const int n = BeginCount(go.lastRank, go.cut);
  bool run = true;
  if (n == 1 && !in.SingleImage)
    run = s_.ui.messageBox("Only one frame to stack, continue ??? ", ui::MsgKind::Warning, ui::ButtonsYesCancel) ==
          ui::DialogResult::Yes;
  int W = geo_.planeWidth, H = geo_.planeHeight;
  if (run) {
    AddSelectedFrames(go.lastRank, go.cut, n);
    d_.source.ReportUnreadable();
    StackSliderChange();
    W = in.ImageWidth = geo_.finalWidth;
    H = in.ImageHeight = geo_.finalHeight;
    FinishStack(W, H);
  }

  s_.ui.setCursor(ui::Cursor::Normal);
  s_.progress.hide();
  SetScrollPositions(W, H);
  // Later previews of video frames are no stacking pass.
  in.StackPass = false;
  in.AlignPass = alignPass;
  if (run) {
    st_.StackExists = true;
    if (StackBuilt) StackBuilt();
  }
}

// The window as a run starts: no cancel pending, the later pages shown, the busy cursor and
// the progress window.
void StackingController::ShowRunStarting() {
  d_.input.CancelRequested = false;
  st_.ExpandOffsetX = st_.ExpandOffsetY = 0;
  if (!st_.CalibrationMode && ShowLaterPages) ShowLaterPages();
  c_.SaveButton.setEnabled(true);
  s_.ui.setCursor(ui::Cursor::Busy);
  s_.progress.start("Stacking frames");
}

// The frames the run will add (at least 1, for the progress), kept for the graph; the frame
// source starts counting unreadable frames.
int StackingController::BeginCount(int R, float cut) {
  int n = CountAdmitted(d_.table, R, cut);
  if (n == 0) n = 1;
  st_.StackedCount = n;
  st_.SliderAtStack = c_.StackSlider.value();
  st_.LumiChannelSeen = false;
  d_.source.BeginRun();
  return n;
}

// The run's extent: captions, the later views' size, the planes, the accumulator and the
// options every frame is added with.
void StackingController::PlanStack(StackGeometryOptions go) {
  const auto& in = d_.input;
  go.imageWidth = in.ImageWidth;
  go.imageHeight = in.ImageHeight;
  go.frameWidth = in.FrameWidth;
  go.frameHeight = in.FrameHeight;
  go.factor = d_.aligning.ResampleSpin.value();
  go.stackX = st_.StackX;
  go.stackY = st_.StackY;
  geo_ = ComputeStackGeometry(go, d_.table);

  st_.ViewScale = geo_.viewScale;
  c_.Stackimagesize.setCaption("Image : " + std::to_string(geo_.runWidth) + "x" + std::to_string(geo_.runHeight));
  if (SizeLaterViews) SizeLaterViews(geo_.runWidth, geo_.runHeight);
  if (geo_.expand) {
    st_.ExpandedWidth = geo_.expandedWidth;
    st_.ExpandedHeight = geo_.expandedHeight;
    st_.ExpandOffsetX = geo_.offsetX;
    st_.ExpandOffsetY = geo_.offsetY;
    c_.Stackimagesize.setCaption("Image : " + std::to_string(geo_.expandedWidth) + "x" +
                                 std::to_string(geo_.expandedHeight));
  }
  if (AllocateImageBuffers) AllocateImageBuffers(geo_.planeWidth, geo_.planeHeight);
  else frames::AllocatePlanes(d_.planes, geo_.planeWidth, geo_.planeHeight);

  acc_.Begin(d_.planes, geo_.planeWidth, geo_.planeHeight, geo_.drizzle);
  ReadRunOptions();
}

// Adds the admitted frames in rank order, n in all, with progress and "Cancel".
void StackingController::AddSelectedFrames(int R, float cut, int n) {
  auto& t = d_.table;
  int j = 0;
  for (int k = 0; k <= R; ++k) {
    if (!Admits(t, k, R, cut)) continue;
    ++j;
    if (c_.StackSlider.value() > 0) s_.progress.setProgress(px::Round(100.0 * j / n));
    infoText_.assign("Stacking ").append(std::to_string(j)).append(" of ").append(std::to_string(n));
    c_.StackInfoLabel.setCaption(infoText_);
    s_.ui.processEvents();
    if (d_.input.CancelRequested) break;
    if (!ReadStackFrame(t.ranks[k].FrameIndex)) {
      // Left out: the stack holds one frame fewer.
      --j;
      st_.StackedCount = std::max(st_.StackedCount - 1, 0);
      continue;
    }
    if (j < frames::MaxFrames) t.ranks[j].StackQuality = MeasureStackQuality();
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
  run_.filterIndex = finish::ResampleFilterIndexForItem(d_.aligning.ResampleCombo.itemIndex());
}

AccumulateOptions StackingController::MakeOptions() {
  AccumulateOptions o;
  auto& ic = d_.inputControls;
  o.colour = colour();
  o.interlaced = ic.Interlaced.checked();
  o.interlaceFilter = ic.interlaceinterpolation.itemIndex();
  o.useDark = ic.UseDarkFrame.checked() && !geo_.resample;
  o.useFlat = ic.UseFlatfield.checked() && !geo_.resample;
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
  o.geometry = geo_;
  return o;
}

void StackingController::AccumulateFrame() {
  auto& in = d_.input;
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

  FrameSourceView src = SourceView();
  if (!geo_.drizzle && !geo_.resample && r.subPixel && !r.interlaced) MoveByFineShift(rec, fi, src);
  if (geo_.drizzle) {
    const SplitShift sp = SplitDrizzleShift(fi.sx, fi.sy, rec.FineShiftX, rec.FineShiftY, r.resampledShifts,
                                            geo_.factor, r.fineShifts);
    fi.sx = sp.sx;
    fi.sy = sp.sy;
    fi.drop = BuildDropTable(sp.qx, sp.qy, r.pixfrac);
  } else if (geo_.resample) {
    EnlargeWindow(fi, src);
  }

  if (acc_.Add(d_.planes, r.accumulate, fi, src) && !st_.LumiChannelSeen) {
    st_.LumiChannelSeen = true;
    d_.inputControls.Lumichannel.setChecked(true);
    if (LuminanceStackAdded) LuminanceStackAdded();
  }
}

// What the frame is added from: its picture, or (not with resampling) the FITS plane or the
// 16-bit rows the reader left.
FrameSourceView StackingController::SourceView() {
  const auto& in = d_.input;
  const auto& planes = d_.planes;
  const ui::Bitmap24& pic = d_.source.preview();
  FrameSourceView src;
  src.kind = SourceKind::Bytes;
  src.bytes = &pic;
  src.width = pic.width();
  src.height = pic.height();
  if (geo_.resample) return src;
  if (in.InputKind == frames::ikFits) {
    src.kind = SourceKind::Fits;
    src.fits = &planes.FitsPlane;
    src.width = planes.FitsPlane.nominalWidth();
    src.height = planes.FitsPlane.nominalHeight();
    // A separate luminance stack must lie on the colour frames pixel for pixel; the run
    // leaves a luminance file of another size out and names it at the end.
    if (in.FitsChannel == 3 && (src.width != geo_.frameWidth || src.height != geo_.frameHeight))
      throw px::PelinoxaError("the luminance file is " + std::to_string(src.width) + "x" +
                              std::to_string(src.height) + ", the colour frames " +
                              std::to_string(geo_.frameWidth) + "x" + std::to_string(geo_.frameHeight));
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
  return src;
}

// Resampled stacking: the calibrated frame's window that, enlarged, covers the stack with
// this frame's shift becomes the source.
void StackingController::EnlargeWindow(const FrameInputs& fi, FrameSourceView& src) {
  ui::Bitmap24& pic = d_.source.preview();
  const StackRunOptions& r = run_;
  CalibrateBytes(pic, d_.planes, r.useDark, st_.DarkWidth, st_.DarkHeight, r.useFlat, st_.FlatWidth, st_.FlatHeight);
  const WindowOrigin o = ResampleWindowOrigin(geo_, fi.sx, fi.sy);
  const int ww = geo_.sourceWindowWidth, wh = geo_.sourceWindowHeight;
  window_.setSize(ww, wh);
  window_.fill(ui::colors::Black);
  for (int y = 0; y < wh; ++y) {
    const int sy = o.y + y;
    if (sy < 0 || sy >= pic.height()) continue;
    const int x0 = std::max(0, -o.x), x1 = std::min(ww, pic.width() - o.x);
    if (x1 > x0) std::copy(pic.row(sy) + (o.x + x0) * 3, pic.row(sy) + (o.x + x1) * 3, window_.row(y) + x0 * 3);
  }
  enlarged_.setSize(geo_.width, geo_.height);
  resampler_.Run(window_, enlarged_, r.filterIndex);
  src.bytes = &enlarged_;
  src.width = geo_.width;
  src.height = geo_.height;
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
  const int maxX = std::min(geo_.frameWidth, geo_.planeWidth + 2), maxY = std::min(geo_.frameHeight, geo_.planeHeight + 2);
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
