// The page's tool windows: "Noise reduction window", "Wavelet Filter", "RGB-Shift", and the
// LRGB mixer.
#include <algorithm>

#include "base/Files.h"
#include "base/Numbers.h"
#include "ui/Canvas.h"
#include "wavelets/FilterFile.h"
#include "wavelets/NoiseEstimators.h"
#include "wavelets/WaveletController.h"

namespace wavelets {

namespace {
const char* const kFilterDialog = "Pelinoxa Filter|*.pxf";
}

void WaveletController::WireWindows() {
  // Noise reduction.
  c_.Showdenoise.OnClick = [this] { c_.Denoisewindow.setVisible(c_.Showdenoise.checked()); };
  c_.Denoisewindow.OnClose = [this] { c_.Showdenoise.setChecked(false); };
  for (int n = 0; n < 6; ++n) {
    c_.Cut[n]->OnClick = [this] {
      UpdateFactorLabel();
      ProcessButtonClick();
    };
    c_.NoiseSliders[n]->OnChange = [this, n] { NoiseChange(n + 1); };
  }
  c_.Denoise.OnClick = [this] { DenoiseClick(); };
  c_.Subtract.OnClick = [this] { ProcessButtonClick(); };
  c_.AntiRing.OnClick = [this] { RxSlider3Changed(); };
  c_.AntiRingSlider.OnChange = [this] { AntiRingSliderChange(); };

  // Filter kernel.
  c_.Filtercheckbox.OnClick = [this] { c_.FilterWindow.setVisible(c_.Filtercheckbox.checked()); };
  c_.FilterWindow.OnClose = [this] { c_.Filtercheckbox.setChecked(false); };
  c_.Button1.OnClick = [this] { SetFilterClick(); };
  c_.Button3.OnClick = [this] { ResetFilterClick(); };
  c_.SaveFilter.OnClick = [this] { SaveFilterClick(); };
  c_.LoadFilter.OnClick = [this] { LoadFilterClick(); };

  // RGB shift.
  for (ui::SpinEdit* sp : {&c_.RDXSpin, &c_.RdySpin, &c_.BDXspin, &c_.BDYSpin})
    sp->OnChange = [this] { ShiftSpinChange(); };
  auto nudge = [](ui::SpinEdit& sp, int by) { return [&sp, by] { sp.setValue(sp.value() + by); }; };
  c_.Button16.OnClick = nudge(c_.RdySpin, 1);
  c_.Button19.OnClick = nudge(c_.RdySpin, -1);
  c_.Button17.OnClick = nudge(c_.RDXSpin, -1);
  c_.Button18.OnClick = nudge(c_.RDXSpin, 1);
  c_.Button8.OnClick = nudge(c_.BDYSpin, 1);
  c_.Button11.OnClick = nudge(c_.BDYSpin, -1);
  c_.Button9.OnClick = nudge(c_.BDXspin, -1);
  c_.Button10.OnClick = nudge(c_.BDXspin, 1);
  c_.RGBShifter.OnClick = [this] { RGBShifterClick(); };
  c_.RGBSHIFT.OnClick = [this] { RGBSHIFTClick(); };
  c_.RGBShiftWindow.OnClose = [this] { RGBShiftWindowClose(); };
  for (ui::CheckBox* b : {&c_.Showred, &c_.ShowGreen, &c_.ShowBlue}) b->OnClick = [this] { RxSlider3Changed(); };
  c_.CheckBox2.OnClick = [this] { st_.RgbAlignArea = c_.CheckBox2.checked(); };

  // LRGB.
  d_.inputControls.LRGB1.OnClick = [this] { LRGBClick(true); };
  d_.stackingControls.LRGB2.OnClick = [this] { LRGBClick(false); };
  for (ui::Slider* sl : {&c_.RedLRGBslider, &c_.GreenLRGBSlider, &c_.BlueLRGBSlider})
    sl->OnChanged = [this] { MixerChanged(); };
  d_.inputControls.Lumichannel.OnClick = [this] { LumichannelClick(); };
}

// --- Noise reduction -------------------------------------------------------------------

void WaveletController::UpdateFactorLabel() {
  std::string t = " factor :";
  for (auto* b : c_.Cut) t += b->checked() ? '*' : '-';
  c_.NoiseFactorLabel.setCaption(t);
}

void WaveletController::DenoiseClick() {
  const auto t = EstimateThresholds(c_.Denoise.itemIndex(), c_.stdevfactor.value(), st_.Stats, st_.SavedThresholds);
  st_.LayerThreshold = t;
  st_.SavedThresholds = t;
  // Each slider carries its threshold to three decimals; setting it runs its change handler.
  const bool active = c_.ActiveNoise.checked();
  c_.ActiveNoise.setChecked(false);
  for (int n = 1; n <= 6; ++n) {
    ui::Slider& sl = *c_.NoiseSliders[n - 1];
    const ThresholdSlider ts = SliderForThreshold(t[n]);
    sl.setRange(std::min(0, ts.max), std::max(0, ts.max));
    sl.setValue(ts.value);
    st_.LayerThreshold[n] = static_cast<float>(sl.value() * 0.001);
  }
  c_.ActiveNoise.setChecked(active);
  RxSlider3Changed();
}

void WaveletController::NoiseChange(int n) {
  st_.LayerThreshold[n] = static_cast<float>(c_.NoiseSliders[n - 1]->value() * 0.001);
  if (c_.ActiveNoise.checked()) RxSlider3Changed();
}

void WaveletController::AntiRingSliderChange() {
  st_.AntiRingLevel = static_cast<float>(c_.AntiRingSlider.value() * 0.001);
  RxSlider3Changed();
}

void WaveletController::PickAntiRingLevel(int x, int y) {
  if (!haveStack()) return;
  const double L = AntiRingLuminance(d_.planes.ColourPlanes, x, y, st_.Width, st_.Height,
                                     d_.inputControls.ColourStack.checked() && !lrgb(),
                                     {st_.LumWeightR, st_.LumWeightG, st_.LumWeightB});
  st_.AntiRingLevel = static_cast<float>(L);
  c_.AntiRing.setCaption("Antiring " + px::FloatToStr(px::Round(L * 100) * 0.01));
  const AntiRingSlider a = AntiRingSliderFor(L);
  ui::Slider& sl = c_.AntiRingSlider;
  sl.setRange(std::min(a.min, a.max), std::max(a.min, a.max));
  sl.setValue(a.value);
  st_.AntiRingLevel = static_cast<float>(sl.value() * 0.001);
  RxSlider3Changed();
}

// --- Filter kernel ---------------------------------------------------------------------

bool WaveletController::ReadKernelFromSpins() {
  KernelGrid g{};
  for (int k = 0; k < 25; ++k) g[k] = c_.FilterSpins[k]->intValue();
  std::string error;
  if (!NormaliseKernel(g, st_.FilterKernel, error)) {
    s_.ui.messageBox(error, ui::MsgKind::Warning, ui::ButtonsOK);
    return false;
  }
  return true;
}

void WaveletController::SetFilterClick() {
  if (!ReadKernelFromSpins()) return;
  st_.DecompositionStale = true;
  ProcessButtonClick();
}

void WaveletController::ResetFilterClick() {
  const KernelGrid g = DefaultKernelGrid();
  for (int k = 0; k < 25; ++k) c_.FilterSpins[k]->setValue(g[k]);
  SetFilterClick();
}

void WaveletController::SaveFilterClick() {
  ui::FileDialogRequest rq;
  rq.save = true;
  rq.filter = kFilterDialog;
  rq.defaultExt = "pxf";
  rq.initialDir = d_.input.InputDir;
  const ui::FileDialogResult r = s_.ui.fileDialog(rq);
  if (!r.accepted || r.files.empty()) return;
  std::string path = r.files.front();
  if (px::ExtractFileExt(path).empty()) path += ".pxf";
  if (px::FileExists(path) && s_.ui.messageBox(" Overwrite existing projectfile ?", ui::MsgKind::Confirmation, ui::ButtonsYesNo) != ui::DialogResult::Yes) return;
  KernelGrid g{};
  for (int k = 0; k < 25; ++k) g[k] = c_.FilterSpins[k]->intValue();
  const std::string text = FilterFileText(g);
  // Both files are replaced whole, so a failed write keeps the previous ones.
  try {
    px::WriteFileAtomic(path, text);
  } catch (const std::exception& e) {
    s_.ui.showError(std::string("The filter file cannot be written: ") + e.what());
    return;
  }
  try {
    px::WriteFileAtomic(px::JoinPath(d_.input.ProgramDir, "savefilter.ini"), text);
  } catch (const std::exception& e) {
    s_.ui.logProblem(std::string("The copy of the filter cannot be kept: ") + e.what());
  }
}

void WaveletController::LoadFilterClick() {
  ui::FileDialogRequest rq;
  rq.filter = kFilterDialog;
  rq.defaultExt = "pxf";
  rq.initialDir = d_.input.InputDir;
  const ui::FileDialogResult r = s_.ui.fileDialog(rq);
  if (!r.accepted || r.files.empty()) return;
  const std::string& path = r.files.front();
  std::string text, error;
  if (!px::FileExists(path)) {
    s_.ui.messageBox("Filter file " + path + " not found", ui::MsgKind::Warning, ui::ButtonsOK);
    return;
  }
  try {
    text = px::ReadFileText(path);
  } catch (const std::exception& e) {
    s_.ui.messageBox("Filter file " + path + " cannot be read: " + e.what(), ui::MsgKind::Warning, ui::ButtonsOK);
    return;
  }
  KernelGrid g{};
  if (!ParseFilterText(text, g, error)) {
    s_.ui.messageBox(error + " (" + path + ")", ui::MsgKind::Warning, ui::ButtonsOK);
    return;
  }
  for (int k = 0; k < 25; ++k) c_.FilterSpins[k]->setValue(g[k]);
  try {
    px::WriteFileAtomic(px::JoinPath(d_.input.ProgramDir, "savefilter.ini"), FilterFileText(g));
  } catch (const std::exception& e) {
    s_.ui.logProblem(std::string("The copy of the filter cannot be kept: ") + e.what());
  }
}

// --- RGB shift and LRGB ----------------------------------------------------------------

// The spins show the shift as the user sees it: red dx = -Round(RDXSpin), dy = Round(RdySpin).
// The working planes change, so the layers are computed anew (recombining the old layers onto
// the unsmoothed planes would show them added twice).
void WaveletController::ShiftSpinChange() {
  st_.ShiftRedX = -px::Round(c_.RDXSpin.value());
  st_.ShiftRedY = px::Round(c_.RdySpin.value());
  st_.ShiftBlueX = -px::Round(c_.BDXspin.value());
  st_.ShiftBlueY = px::Round(c_.BDYSpin.value());
  st_.DecompositionStale = true;
  if (estimating_) return;
  ProcessButtonClick();
}

ShiftBox WaveletController::CurrentShiftBox() const {
  const int N = 32 << std::clamp(d_.aligning.FFTsizeGroup.itemIndex(), 0, 3);
  return EstimateBox(N, d_.aligning.Resampled.checked(), d_.aligning.ResampleSpin.value(),
                     d_.aligning.Drizzling.checked(), d_.reg.HotX, d_.reg.HotY, st_.Width, st_.Height);
}

void WaveletController::DrawShiftBoxes() {
  const ShiftBox b = CurrentShiftBox();
  ui::Canvas cv(c_.ProcessImage.picture());
  cv.brush.style = ui::BrushStyle::Clear;
  cv.pen.mode = ui::PenMode::Xor;
  cv.pen.color = ui::Color(0, 128, 0);
  cv.rectangle(b.cx - b.b, b.cy - b.b, b.cx + b.b, b.cy + b.b);
  cv.pen.color = ui::Color(255, 255, 0);
  const int o = b.b + kShiftRange;
  cv.rectangle(b.cx - o, b.cy - o, b.cx + o, b.cy + o);
  c_.ProcessImage.invalidate();
}

void WaveletController::RGBSHIFTClick() {
  const bool show = c_.RGBSHIFT.checked();
  c_.RGBShiftWindow.setVisible(show);
  for (ui::CheckBox* b : {&c_.Showred, &c_.ShowGreen, &c_.ShowBlue}) b->setVisible(!lrgb());
  if (!haveStack()) return;
  if (!show) {
    PutStackView();
    RxSlider3Changed();
  } else {
    DrawShiftBoxes();
  }
}

void WaveletController::RGBShiftWindowClose() {
  c_.RGBSHIFT.setChecked(false);
  for (ui::CheckBox* b : {&c_.Showred, &c_.ShowGreen, &c_.ShowBlue}) b->setChecked(true);
}

void WaveletController::RGBShifterClick() {
  if (!haveStack()) return;
  ComputeImageSize();
  const ShiftBox box = CurrentShiftBox();
  DrawShiftBoxes();
  auto& sp = d_.planes.StackPlanes;
  s_.progress.window.setPosition(c_.RGBShiftWindow.left() + c_.RGBShiftWindow.width(), c_.RGBShiftWindow.top());
  s_.progress.start("Search Red ");
  auto gauge = [this](int p) { s_.progress.setProgress(p); };
  const ShiftResult red = EstimateShift(sp[1], sp[0], box, gauge);
  s_.progress.start("Search Blue ");
  const ShiftResult blue = EstimateShift(sp[1], sp[2], box, gauge);
  estimating_ = true;
  c_.RDXSpin.setValue(-red.dx);
  c_.RdySpin.setValue(red.dy);
  c_.BDXspin.setValue(-blue.dx);
  c_.BDYSpin.setValue(blue.dy);
  estimating_ = false;
  ShiftSpinChange();
  s_.progress.hide();
}

void WaveletController::LRGBClick(bool fromInputPage) {
  const bool on = fromInputPage ? d_.inputControls.LRGB1.checked() : d_.stackingControls.LRGB2.checked();
  d_.inputControls.LRGB1.setChecked(on);
  d_.stackingControls.LRGB2.setChecked(on);
  c_.LRGBMIX.setVisible(on);
  const bool sliders = !d_.inputControls.Lumichannel.checked();
  for (ui::Slider* sl : {&c_.RedLRGBslider, &c_.GreenLRGBSlider, &c_.BlueLRGBSlider}) sl->setEnabled(sliders);
  st_.DecompositionStale = true;
}

void WaveletController::MixerChanged() {
  const double r = c_.RedLRGBslider.value(), g = c_.GreenLRGBSlider.value(), b = c_.BlueLRGBSlider.value();
  const double sum = r + g + b;  // each slider is at least 1
  st_.LumWeightR = static_cast<float>(r / sum);
  st_.LumWeightG = static_cast<float>(g / sum);
  st_.LumWeightB = static_cast<float>(b / sum);
  st_.DecompositionStale = true;
  ProcessButtonClick();
}

void WaveletController::LumichannelClick() {
  st_.DecompositionStale = true;
  const bool lumi = d_.inputControls.Lumichannel.checked();
  if (!lumi)
    for (ui::Slider* sl : {&c_.RedLRGBslider, &c_.GreenLRGBSlider, &c_.BlueLRGBSlider}) sl->setEnabled(true);
  // Without a stacked luminance file the L plane holds nothing to use.
  if (lumi && !d_.stack.LumiChannelSeen && d_.stack.StackExists) {
    s_.ui.messageBox("No luminance (FITS) file has been stacked; the luminance is mixed from the colours.",
                     ui::MsgKind::Warning, ui::ButtonsOK);
    d_.inputControls.Lumichannel.setChecked(false);
    return;
  }
  ProcessButtonClick();
}

}  // namespace wavelets
