// "Align" and "Align && stack": register every frame in use, rank the frames by quality,
// optimize, and optionally go on to stack; browsing the frames by rank.
#include <algorithm>

#include "base/FlagScope.h"
#include "base/Numbers.h"
#include "registration/RegistrationController.h"
#include "registration/RegistrationMath.h"
#include "ui/Canvas.h"

namespace registration {

namespace {

// Leaves the run's flags and cursor sound also when a frame cannot be read.
struct RunScope {
  bool& alignPass;
  bool& inRun;
  ui::UiServices& ui;
  ~RunScope() {
    alignPass = false;
    inRun = false;
    ui.setCursor(ui::Cursor::Normal);
  }
};

}  // namespace

void RegistrationController::AlignStackButtonClick() {
  if (runActive_ || x_.input.AlignPass || x_.input.StackPass) return;
  autoStack_ = true;
  c_.ShowFFTbox.setChecked(false);
  LogTime("");
  AlignallButtonClick();
}

void RegistrationController::LoadFrameForShow(int f) {
  auto& in = x_.input;
  if (in.stillInput()) {
    const std::string& path = x_.table.fileNames[f];
    x_.source.ReadStillFrame(path, in.InputKind);
    s_.form.setCaption(frames::KindCaptionPrefix(in.InputKind) + path);
  } else if (!in.AviPath.empty()) {
    x_.source.ReadAvi(in.AviPath, f);
  }
}

void RegistrationController::AlignSliderChange() {
  if (suppressSliderChange_) return;
  const int pos = c_.AlignSlider.value();
  const int f = std::clamp(x_.table.ranks[std::clamp(pos, 0, frames::MaxFrames - 1)].FrameIndex, 0,
                           frames::MaxFrames - 1);
  LoadFrameForShow(f);
  DrawAlignGraph();
  ui::Bitmap24& g = c_.imgGraph.picture();
  const int mx = c_.AlignSlider.max();
  const int x = mx > 0 ? px::Round(static_cast<double>(g.width()) * pos / mx) : 0;
  ui::Canvas cv(g);
  cv.pen.color = ui::colors::Green;
  cv.moveTo(x, 0);
  cv.lineTo(x, g.height());
  c_.imgGraph.invalidate();
}

// One registration of every frame in use, in frame-number order.
void RegistrationController::RegistrationPass() {
  auto& in = x_.input;
  auto& ic = x_.inputControls;
  auto& table = x_.table;
  if (in.stillInput()) {
    const int last = std::min(c_.AlignSlider.max(), frames::MaxFrames - 1);
    const bool interlaced = ic.Interlaced.checked(), horizontal = ic.InterlaceHoriz.checked();
    int count = 0;
    const int runWidth = in.FrameWidth, runHeight = in.FrameHeight;
    for (int q = 0; q <= last; ++q) {
      if (table[q].Excluded) continue;
      // A cancelled run stops here; the frames measured so far keep their values.
      if (in.CancelRequested) break;
      ++count;
      if (in.SelectedCount > 0) s_.progress.setProgress(px::Round(100.0 * count / in.SelectedCount));
      const std::string& path = table.fileNames[q];
      if (!x_.source.ReadRunStill(q, in.InputKind)) continue;
      const ui::Bitmap24& pic = x_.source.preview();
      if (sizeNote_.empty() && (pic.width() != runWidth || pic.height() != runHeight))
        sizeNote_ = "The frames differ in size: " + path + " is " + std::to_string(pic.width()) + "x" +
                    std::to_string(pic.height()) + ", the first frame " + std::to_string(runWidth) + "x" +
                    std::to_string(runHeight) + ".";
      if (pic.width() < in.FrameWidth) in.FrameWidth = in.ImageWidth = pic.width();
      if (pic.height() < in.FrameHeight) in.FrameHeight = in.ImageHeight = pic.height();
      s_.form.setCaption(frames::KindCaptionPrefix(in.InputKind) + path);
      in.CurrentFrameIndex = q;
      s_.ui.processEvents();
      if (c_.Misalignwarning.checked()) c_.Haltbutton.setVisible(true);
      if (in.CancelRequested) break;
      if (interlaced) {
        in.FieldIndex = 0;
        frames::RebuildField(x_.source.preview(), 0, horizontal, in.FrameWidth, in.FrameHeight);
        RegisterFrame();
        in.FieldIndex = 1;
        if (!x_.source.ReadRunStill(q, in.InputKind)) continue;
        frames::RebuildField(x_.source.preview(), 1, horizontal, in.FrameWidth, in.FrameHeight);
        RegisterFrame();
      } else {
        RegisterFrame();
      }
      if (displayNow_) c_.AlignImage.invalidate();
    }
  } else {
    s_.form.setCaption("Pelinoxa processing AVI: " + in.AviFileName);
    x_.source.ReadAvi(in.AviPath, -1);
    // A later pass skips the frames the first found dropped; the caption keeps saying so.
    droppedSeen_ = droppedSeen_ || in.DroppedFramesSeen;
    if (droppedSeen_) s_.form.setCaption("Pelinoxa processing AVI: " + in.AviFileName + "(Dropped frames !)");
  }
}

// After a pass that was not cancelled: the rank list, the stack lists and graphs, the
// optimizer until it stops improving, and for "Align && stack" the stack itself.
void RegistrationController::RankOptimizeAndStack() {
  auto& in = x_.input;
  auto& ic = x_.inputControls;
  auto& table = x_.table;
  const int m = std::min(c_.AlignSlider.max(), frames::MaxFrames - 1);
  double sumD = 0;
  for (int p = 0; p <= m; ++p) {
    sumD += table[p].Difference;
    table.ranks[p].FrameIndex = p;
    table.ranks[p].RankQuality = table[p].Quality;
  }
  if (c_.Resampled.checked()) sumD = 1;
  SortRankList();
  if (ic.PreviewSlider.value() != 0) ic.PreviewSlider.setValue(0);
  else x_.navigation.PreviewSliderChange();
  const int maxPos = std::max(in.SelectedCount - 1, 0);
  c_.AlignSlider.setMax(maxPos);
  if (SetStackRange) SetStackRange(maxPos);
  if (FillStackList) FillStackList();
  const int cut = autoStack_ ? AutoStackCut(table, maxPos, c_.OptimizeQualitySpin.value()) : 0;
  if (sumD == 0) sumD = 1e-10;
  double prev = sumD * 0.001;
  DrawAlignGraph();
  s_.ui.setCursor(ui::Cursor::Normal);

  if (c_.AutoOptimize.checked() && !c_.SubPixelEstimate.checked()) {
    s_.progress.setCaption("Optimizing frames");
    RunOptimizerPass();
    double total = optimizerTotal_;
    if (c_.Resampled.checked()) prev = total * 10;
    const double pct = c_.OptimizeSpin.value();
    while ((1 - pct / 100) * prev > total) {
      s_.progress.setLine2("Last improvement :" + std::to_string(px::Round((1 - total / prev) * 100)) + "%");
      prev = total;
      s_.ui.processEvents();
      if (!in.CancelRequested) RunOptimizerPass();
      total = optimizerTotal_;
    }
  }
  s_.progress.setLine2(" ");
  s_.progress.hide();
  c_.AlignSlider.setVisible(true);  // browsing by rank
  if (RefreshStackSelection) RefreshStackSelection();
  LogTime("End of optimizer ");
  if (ProcessedViewToCorner) ProcessedViewToCorner();

  // A run cancelled while optimizing does not go on to stack.
  if (autoStack_ && !in.CancelRequested) {
    if (SetStackCut) SetStackCut(cut);
    c_.FFTWindow.setVisible(false);
    c_.Propertywindow.setVisible(false);
    ShowPage(Stage::Stacking);
    if (RunStacking) RunStacking();
    c_.UseProcessed.setVisible(true);
    if (AfterAutoStack) AfterAutoStack();
  }
}

// Calibration of another size than the frames is only warned about.
void RegistrationController::WarnCalibrationSizes() {
  auto& in = x_.input;
  auto& ic = x_.inputControls;
  if (ic.UseDarkFrame.checked()) {
    const frames::Single2dArray* dark = Darkframe ? Darkframe() : nullptr;
    if (!dark || dark->nominalWidth() != in.ImageWidth || dark->nominalHeight() != in.ImageHeight)
      s_.ui.messageBox(" darkframe size does not match imagesize !!", ui::MsgKind::Warning, ui::ButtonsOK);
  }
  if (ic.UseFlatfield.checked()) {
    const frames::Single2dArray* flat = Flatfield ? Flatfield() : nullptr;
    if (!flat || flat->nominalWidth() != in.ImageWidth || flat->nominalHeight() != in.ImageHeight)
      s_.ui.messageBox(" flatfield size does not match imagesize !!", ui::MsgKind::Warning, ui::ButtonsOK);
  }
}

// With "Reference from the best frames": the reference replaced, the frames registered by
// their box alone registered again, and every frame's quality measured against it. Frames
// aligned on the whole frame keep their shifts; the best frames' reference still serves the
// registration difference and the optimizer.
void RegistrationController::BestFramesPasses() {
  auto& in = x_.input;
  referenceQuality_.Clear();
  if (in.CancelRequested || !c_.BestFramesReference.checked() || !ReferenceFromBestFrames()) return;
  if (boxOnlyFrames_ > 0) {
    s_.progress.setLine2("Second pass: reference from the best frames");
    st_.LastPeak = 0;
    st_.TrackX = st_.TrackY = st_.TrackVX = st_.TrackVY = 0;
    secondPass_ = true;
    RegistrationPass();
    secondPass_ = false;
    s_.progress.setLine2(" ");
  }
  if (in.CancelRequested) return;
  s_.progress.setLine2("Quality against the best frames");
  QualityAgainstReference();
  s_.progress.setLine2(" ");
}

void RegistrationController::AlignallButtonClick() {
  auto& in = x_.input;
  auto& ic = x_.inputControls;
  auto& table = x_.table;
  if (runActive_ || in.AlignPass || in.StackPass) return;  // pressed again while a run handles events
  if (!in.InputLoaded || st_.WorkStatus < wsFeatureSet) {
    s_.ui.showMessage("Click the alignment feature on the preview first");
    return;
  }
  const int n = Box();
  px::FlagScope active(runActive_);

  // The run starts: every frame's results and the rank list cleared.
  if (c_.ManualAlign.checked()) s_.ui.showMessage(" Point at the alignmentfeature and left-click ");
  c_.Optimizebutton.setVisible(true);
  c_.AlignSlider.setVisible(false);
  alignStartTime_ = s_.ui.nowMs();
  st_.WorkStatus = wsAligned;
  c_.ShowFFTbox.setChecked(false);
  for (auto& r : table.frames) {
    r.ShiftX = r.ShiftY = r.ShiftXa = r.ShiftYa = 0;
    r.FineShiftX = r.FineShiftY = 0;
    r.Quality = r.Difference = r.QualityA = r.DifferenceA = 0;
    r.OptimizeGain = 100;
  }
  for (auto& k : table.ranks) k = frames::RankEntry{};

  // The pictures sized to the frames; calibration of another size only warned about.
  c_.AlignImage.picture().reset(in.FrameWidth, in.FrameHeight);
  const std::string sizeText = "Image : " + std::to_string(in.FrameWidth) + "x" + std::to_string(in.FrameHeight);
  if (StackSizeCaption) StackSizeCaption(sizeText);
  ic.Frames.setVisible(true);
  WarnCalibrationSizes();
  // The progress window and the run's state.
  if (c_.Misalignwarning.checked()) {
    c_.Haltbutton.setVisible(true);
    c_.Haltbutton.setFocus();
  }
  st_.LastPeak = 0;
  c_.Optimizebutton.setEnabled(true);
  in.CancelRequested = false;
  SetPageVisible(Stage::Stacking, true);
  ic.Frames.setCaption("FFT spectrum ");
  s_.progress.start("Alignment processing");
  in.AlignPass = true;
  inRun_ = true;
  lastDisplay_ = -1e18;
  RunScope scope{in.AlignPass, inRun_, s_.ui};
  x_.source.BeginRun();
  PrepareCrops();
  st_.TrackX = st_.TrackY = st_.TrackVX = st_.TrackVY = 0;
  st_.BoxX = st_.HotX - n / 2;
  st_.BoxY = st_.HotY - n / 2;
  c_.AlignSlider.setMax(ic.PreviewSlider.max());

  runOptions_ = ReadOptions();
  RestoreReferenceFrame();
  SetWholeFrameReference(image1_);  // at the precision this run's options ask for
  droppedSeen_ = false;
  sizeNote_.clear();
  secondPass_ = false;
  std::fill(coarseKept_.begin(), coarseKept_.end(), 0);
  // Every frame in use; then, with a reference made of the best frames, every frame again.
  boxOnlyFrames_ = c_.WholeFrameAlign.checked() ? 0 : 1;
  RegistrationPass();
  BestFramesPasses();
  inRun_ = false;
  c_.AlignImage.invalidate();
  if (!sizeNote_.empty())
    s_.ui.messageBox(sizeNote_ + " Every frame is cut to the common part of " + std::to_string(in.FrameWidth) + "x" +
                         std::to_string(in.FrameHeight) + ".",
                     ui::MsgKind::Warning, ui::ButtonsOK);
  x_.source.ReportUnreadable();

  // The pass is over.
  c_.Allignallbutton.setFocus();
  c_.Haltbutton.setVisible(false);
  if (StackSizeCaption) StackSizeCaption(sizeText);
  in.AlignPass = false;

  // Ranking, optimizing and the automatic stack.
  if (!in.CancelRequested) RankOptimizeAndStack();
  else s_.progress.hide();

  // The time lines; a single frame reports the whole time as its time.
  const double elapsed = s_.ui.nowMs() - alignStartTime_;
  const int m = c_.AlignSlider.max();
  const double perImage = m > 0 ? px::Round(elapsed / m * 1000) * 0.001 : elapsed;
  c_.Memo2.add("Time per image :" + px::FloatToStr(perImage) + " ms");
  c_.Memo2.add("Total Time     :" + std::to_string(px::Round64(elapsed)) + " ms");
}

}  // namespace registration
