#include "wavelets/WaveletController.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "ui/Canvas.h"

namespace wavelets {

namespace {
constexpr int kArrowLeft = 37, kArrowRight = 39;
}

WaveletController::WaveletController(ui::Services& s, WaveletControls& c, WaveletDeps d)
    : s_(s), c_(c), d_(d), st_(d.state) {
  ReadKernelFromSpins();
  Wire();
  WireWindows();
}

void WaveletController::Wire() {
  c_.AutoProcessBox.OnClick = [this] { AutoProcessBoxClick(); };
  c_.ProcessButton.OnClick = [this] { ProcessButtonClick(); };
  c_.ResetButton.OnClick = [this] { ResetButtonClick(); };
  c_.LevelStep.OnChange = [this] { LevelStepChange(); };
  c_.Multiplicant.OnChange = [this] { LevelStepChange(); };
  c_.Scaletype.OnClick = [this] { ScaletypeClick(); };
  for (int n = 0; n < 6; ++n) {
    c_.LayerBoxes[n]->OnClick = [this, n] { LayerBoxClick(n + 1); };
    c_.LayerSliders[n]->OnChange = [this] { RxSlider3Change(); };
    c_.LayerSliders[n]->OnChanged = [this] { RxSlider3Changed(); };
    // The toolkit's button has no press and release: a click shows the preview, the next
    // click (on any layer button) puts the picture back.
    c_.LayerButtons[n]->OnClick = [this, n] {
      if (st_.PreviewLayer) LayerButtonMouseUp();
      else LayerButtonMouseDown(n + 1);
    };
  }
  c_.ContrastSlider.OnChange = [this] { c_.ContrastLabel.setCaption("Contrast   : " + std::to_string(c_.ContrastSlider.value())); };
  c_.BrightnessSlider.OnChange = [this] {
    c_.Brightnesslabel.setCaption("Brightness : " + std::to_string(c_.BrightnessSlider.value()));
  };
  c_.ContrastSlider.OnChanged = [this] { RxSlider3Changed(); };
  c_.BrightnessSlider.OnChanged = [this] { RxSlider3Changed(); };
  c_.ContrastSlider.OnKeyDown = [this](int& key, bool ctrl, bool) { SliderKeyDown(c_.ContrastSlider, key, ctrl); };
  c_.BrightnessSlider.OnKeyDown = [this](int& key, bool ctrl, bool) { SliderKeyDown(c_.BrightnessSlider, key, ctrl); };
  c_.ShowProcessingArea.OnClick = [this] {
    st_.ShowArea = c_.ShowProcessingArea.checked();
    RxSlider3Changed();
  };
  c_.PartialProcessControl.OnClick = [this] { st_.PartialProcessing = c_.PartialProcessControl.checked(); };
  c_.DoAll.OnClick = [this] { DoAllClick(); };
  c_.SaveBMP2button.OnClick = [this] { SaveBMP2buttonClick(); };
  // The tone windows are shown from this page; their graphs belong to the tone stage.
  c_.Histowin.OnClick = [this] {
    d_.finish.HistoWindow.setVisible(c_.Histowin.checked());
    RxSlider3Changed();
  };
  d_.finish.HistoWindow.OnClose = [this] { c_.Histowin.setChecked(false); };
  c_.Gammawin.OnClick = [this] { d_.finish.GammaWindow.setVisible(c_.Gammawin.checked()); };
  d_.finish.GammaWindow.OnClose = [this] { c_.Gammawin.setChecked(false); };
  c_.ProcessImage.OnMouseDown = [this](const ui::MouseEvent& e) { ProcessImageMouseDown(e); };
  c_.ProcessImage.OnMouseMove = [this](const ui::MouseEvent& e) { ProcessImageMouseMove(e); };
  c_.ProcessImage.OnMouseUp = [this](const ui::MouseEvent& e) { ProcessImageMouseUp(e); };
  d_.inputControls.Processarea.OnChange = [this] { ProcessareaChange(); };
}

bool WaveletController::haveStack() const {
  return d_.stack.StackExists && !d_.planes.ColourPlanes[1].empty() && d_.planes.LayerPlanes.size() == 21;
}

bool WaveletController::lrgb() const { return d_.stackingControls.LRGB2.checked(); }

bool WaveletController::colourMode() const { return d_.inputControls.ColourStack.checked() && !lrgb(); }

AreaRect WaveletController::areaRect() const {
  const auto& a = d_.area;
  return ClampArea(a.left, a.top, std::min(a.width, a.limit), std::min(a.height, a.limit), st_.Width, st_.Height);
}

double WaveletController::viewFactor() const {
  if (d_.aligning.Drizzling.checked()) return 2;
  if (d_.aligning.Resampled.checked()) return d_.aligning.ResampleSpin.value();
  return 1;
}

// Step 3 of "Process": the processed size follows the frame size and the stacking options;
// it never exceeds the planes the stack was built in.
void WaveletController::ComputeImageSize() {
  auto& in = d_.input;
  int W = in.ImageWidth, H = in.ImageHeight;
  if (d_.aligning.Resampled.checked()) {
    const double f = d_.aligning.ResampleSpin.value();
    W = px::Round(in.FrameWidth * f) - 1;
    H = px::Round(in.FrameHeight * f) - 1;
    if (d_.stackingControls.Drizzle2.checked()) {
      W = px::Round(2.0 * in.FrameWidth) - 1;
      H = px::Round(2.0 * in.FrameHeight) - 1;
    }
    W = std::min(W, 4096);
    H = std::min(H, 4096);
    in.ImageWidth = W;
    in.ImageHeight = H;
  }
  st_.Width = std::clamp(W, 1, d_.planes.width + 1);
  st_.Height = std::clamp(H, 1, d_.planes.height + 1);
}

void WaveletController::PutStackView() {
  ui::Bitmap24& pic = c_.ProcessImage.picture();
  const ui::Bitmap24& stackView = d_.stackingControls.Stackimage.picture();
  if (pic.width() == stackView.width() && pic.height() == stackView.height()) {
    std::copy_n(stackView.data(), stackView.byteSize(), pic.data());
  } else {
    pic.assign(stackView);
  }
  pic.setSize(st_.Width, st_.Height);
  st_.MarksDrawn = false;
}

FillSettings WaveletController::MakeFillSettings() const {
  FillSettings f;
  if (!d_.inputControls.ColourStack.checked()) f.mode = FillMode::Mono;
  // The luminance plane holds values only when a luminance stack went into it.
  else if (lrgb())
    f.mode = d_.inputControls.Lumichannel.checked() && d_.stack.LumiChannelSeen ? FillMode::LrgbLuminance
                                                                                : FillMode::LrgbMix;
  else f.mode = FillMode::Colour;
  f.dxR = st_.ShiftRedX;
  f.dyR = st_.ShiftRedY;
  f.dxB = st_.ShiftBlueX;
  f.dyB = st_.ShiftBlueY;
  f.wR = st_.LumWeightR;
  f.wG = st_.LumWeightG;
  f.wB = st_.LumWeightB;
  return f;
}

void WaveletController::FillPlanes() {
  FillWorkingPlanes(d_.planes.StackPlanes, d_.planes.ColourPlanes, st_.Width, st_.Height, MakeFillSettings());
}

void WaveletController::DecomposeLayerN(int n) {
  const int s = LayerScale(n, c_.Scaletype.itemIndex() == 0, c_.LevelStep.value(), c_.Multiplicant.value());
  st_.LayerScales[n] = s;
  const AreaRect a = areaRect();
  LayerSums sums;
  auto& p = d_.planes;
  const bool colour = colourMode();
  for (int c = colour ? 0 : 1; c <= (colour ? 2 : 1); ++c)
    DecomposeLayer(p.ColourPlanes[c], p.WaveletWorkPlane, p.Layer(n, c), st_.FilterKernel, s, a, st_.Width, st_.Height,
                   c == 1 ? &sums : nullptr);
  FinishLayerStatistics(sums, n, st_.Stats);
}

void WaveletController::DecomposeAll(bool tileCaption) {
  st_.DecomposedMode = static_cast<int>(MakeFillSettings().mode);
  for (int n = 1; n <= 6; ++n) {
    s_.progress.setProgress(px::Round(n * (1.0 / 6) * 100));
    if (tileCaption)
      s_.progress.setCaption("X1= " + std::to_string(d_.area.left) + " Y1=" + std::to_string(d_.area.top));
    else
      s_.progress.setCaption("Calculating Layer " + std::to_string(n));
    DecomposeLayerN(n);
  }
  DeriveStatistics(st_.Stats);
}

void WaveletController::ProcessButtonClick() {
  if (!haveStack() || resetting_) return;  // nothing stacked yet
  if (st_.PreviewLayer) LayerButtonMouseUp();
  const bool decompose = st_.DecompositionStale;
  if (decompose) s_.progress.start("Calculating Layer 1");
  st_.NewStackWaiting = false;
  c_.SaveBMP2button.setEnabled(true);
  s_.ui.setCursor(ui::Cursor::Busy);
  ComputeImageSize();
  PutStackView();
  if (decompose) {
    FillPlanes();
    const auto& a = d_.area;
    c_.DoAll.setVisible(a.width < st_.Width || a.height < st_.Height);
    DecomposeAll(false);
    st_.DecompositionStale = false;
    st_.LayersValid = true;
  }
  s_.progress.hide();
  RxSlider3Changed();
  s_.ui.setCursor(ui::Cursor::Normal);
}

void WaveletController::UpdateGainCaptions() {
  for (int n = 0; n < 6; ++n) {
    const double gain = c_.LayerSliders[n]->value() * 0.1;
    c_.LayerButtons[n]->setCaption(px::FloatToStr(px::Round(gain * 10) * 0.1));
  }
}

void WaveletController::RxSlider3Change() {
  UpdateGainCaptions();
  if (c_.AutoProcessBox.checked()) RxSlider3Changed();
}

// Recombine and display. Reads the controls into plain settings; nothing is allocated.
void WaveletController::RxSlider3Changed() {
  if (!haveStack() || !st_.LayersValid) return;
  if (st_.PreviewLayer) LayerButtonMouseUp();
  // Colour, mono and LRGB use different planes: layers of another mode are computed anew first
  // (Process recombines once they match).
  if (st_.DecomposedMode != static_cast<int>(MakeFillSettings().mode)) {
    st_.DecompositionStale = true;
    ProcessButtonClick();
    return;
  }
  auto& p = d_.planes;
  const AreaRect a = areaRect();
  RecombineSettings rs;
  rs.colour = colourMode();
  for (int n = 1; n <= 6; ++n) {
    rs.on[n] = c_.LayerBoxes[n - 1]->checked();
    rs.gain[n] = static_cast<float>(c_.LayerSliders[n - 1]->value() * 0.1);
    rs.marked[n] = c_.Cut[n - 1]->checked();
    rs.threshold[n] = st_.LayerThreshold[n];
  }

  const auto& tone = d_.tone;
  DisplaySettings ds;
  ds.mode = !d_.inputControls.ColourStack.checked() ? DisplayMode::Mono : lrgb() ? DisplayMode::Lrgb : DisplayMode::Colour;
  ds.stackMin = d_.stack.StackMin;
  ds.stackMax = d_.stack.StackMax;
  ds.contrast = c_.ContrastSlider.value();
  ds.brightness = c_.BrightnessSlider.value();
  ds.curve = &tone.DisplayCurve;
  ds.levelLow = tone.LevelLow;
  ds.levelHigh = tone.LevelHigh;
  // Levels that meet would divide by zero; they are kept apart.
  if (ds.levelHigh - ds.levelLow == 0) ds.levelHigh = ds.levelLow + 1;
  ds.offset = {static_cast<double>(d_.finish.RedSlider.value()), static_cast<double>(d_.finish.GreenSlider.value()),
               static_cast<double>(d_.finish.blueslider.value())};
  ds.channelGain = {tone.ChannelGainR, tone.ChannelGainG, tone.ChannelGainB};
  ds.showRed = c_.Showred.checked();
  ds.showGreen = c_.ShowGreen.checked();
  ds.showBlue = c_.ShowBlue.checked();
  ds.antiRing = c_.AntiRing.checked();
  ds.antiRingLevel = st_.AntiRingLevel;
  ds.lumWeight = {st_.LumWeightR, st_.LumWeightG, st_.LumWeightB};
  ds.dxR = st_.ShiftRedX;
  ds.dyR = st_.ShiftRedY;
  ds.dxB = st_.ShiftBlueX;
  ds.dyB = st_.ShiftBlueY;
  const AreaRect rect = DisplayRect(a, st_.Width, st_.Height, LayersReach(st_.LayerScales, st_.FilterKernel));
  st_.MarksDrawn = false;  // the pass may overwrite them; they are drawn anew below
  RecombineAndDisplay(p.ColourPlanes, p.LayerPlanes, p.StackPlanes, a, rect, st_.Width, st_.Height, rs, ds,
                      c_.ProcessImage.picture(), p.OutputBitmap48, st_.Hist);
  p.OutputBitmap48.has16Bit = true;
  s_.ui.setCursor(ui::Cursor::Normal);
  if (st_.ShowArea) DrawAreaMarks();
  c_.ProcessImage.invalidate();
  if (AfterDisplay) AfterDisplay();
}

void WaveletController::AutoProcessBoxClick() {
  c_.ProcessButton.setVisible(!c_.AutoProcessBox.checked());
  s_.settings.writeBool("Settings", "Autoprocess", c_.AutoProcessBox.checked());
}

void WaveletController::UpdateLayerCaptions() {
  const bool dyadic = c_.Scaletype.itemIndex() == 0;
  for (int n = 1; n <= 6; ++n)
    c_.LayerBoxes[n - 1]->setCaption(std::to_string(n) + " : " +
                                     std::to_string(LayerScale(n, dyadic, c_.LevelStep.value(), c_.Multiplicant.value())));
}

void WaveletController::LevelStepChange() {
  st_.DecompositionStale = true;
  UpdateLayerCaptions();
  if (c_.AutoProcessBox.checked()) ProcessButtonClick();
}

void WaveletController::ScaletypeClick() {
  st_.DecompositionStale = true;
  const bool linear = c_.Scaletype.itemIndex() == 1;
  c_.LevelStep.setEnabled(linear);
  c_.Multiplicant.setEnabled(linear);
  UpdateLayerCaptions();
  ProcessButtonClick();
}

void WaveletController::LayerBoxClick(int n) {
  ProcessButtonClick();
  c_.LayerSliders[n - 1]->setEnabled(c_.LayerBoxes[n - 1]->checked());
}

void WaveletController::ResetButtonClick() {
  c_.LevelStep.setValue(1);
  c_.Multiplicant.setValue(0);
  st_.DecompositionStale = true;
  for (auto* sl : c_.LayerSliders) sl->setValue(10);
  c_.ContrastSlider.setValue(100);
  c_.BrightnessSlider.setValue(0);
  d_.finish.Gamma1spin.setValue(1);
  d_.tone.BuildGammaOneCurve();
  ProcessButtonClick();
}

void WaveletController::SliderKeyDown(ui::Slider& slider, int& key, bool ctrl) {
  if (key != kArrowLeft && key != kArrowRight) return;
  const int step = ctrl ? 1 : 10;
  slider.setValue(slider.value() + (key == kArrowLeft ? -step : step));
  key = 0;
  RxSlider3Changed();
}

void WaveletController::LayerButtonMouseDown(int n) {
  if (!haveStack() || !st_.LayersValid) return;
  ui::Bitmap24& pic = c_.ProcessImage.picture();
  savedView_.assign(pic);
  st_.PreviewLayer = n;
  const AreaRect a = areaRect();
  const PreviewRange r = DrawLayerPreview(d_.planes.Layer(n, 1), a, c_.Cut[n - 1]->checked(), st_.LayerThreshold[n], pic);
  ui::Canvas cv(pic);
  cv.brush.style = ui::BrushStyle::Clear;
  cv.fontColor = ui::Color(255, 255, 0);
  auto two = [](double v) { return px::FloatToStr(std::trunc(v * 100) / 100); };
  cv.textOut(a.x0 + 5, a.y0, "Red=decreasing , Green=increasing (*when layer is enhanced*)");
  cv.textOut(a.x0 + 5, a.y0 + 15, "HI :" + two(r.max));
  cv.textOut(a.x0 + 5, a.y0 + 35, "LO :" + two(r.min));
  cv.textOut(a.x0 + 5, a.y0 + 55, "DEV :" + two(st_.Stats.Variance[n]));
  c_.ProcessImage.invalidate();
}

void WaveletController::LayerButtonMouseUp() {
  if (!st_.PreviewLayer) return;
  st_.PreviewLayer = 0;
  c_.ProcessImage.picture().assign(savedView_);
  c_.ProcessImage.invalidate();
}

// Four L-shaped corners of the area, white, exclusive-or (drawn twice they vanish).
void WaveletController::DrawAreaMarks() {
  const AreaRect a = areaRect();
  if (a.empty()) return;
  ui::Canvas cv(c_.ProcessImage.picture());
  cv.pen.color = ui::colors::White;
  cv.pen.mode = ui::PenMode::Xor;
  auto corner = [&](int x, int y, int dx, int dy) {
    cv.moveTo(x + dx * 10, y);
    cv.lineTo(x, y);
    cv.lineTo(x, y + dy * 10);
  };
  corner(a.x0, a.y0, 1, 1);
  corner(a.x1, a.y0, -1, 1);
  corner(a.x0, a.y1, 1, -1);
  corner(a.x1, a.y1, -1, -1);
  st_.MarksDrawn = !st_.MarksDrawn;
}

void WaveletController::StackBuilt() {
  st_.DecompositionStale = true;
  st_.LayersValid = false;
  st_.NewStackWaiting = true;
}

void WaveletController::PageEntered() {
  if (st_.NewStackWaiting) ProcessButtonClick();
}

void WaveletController::FinalPageEntering() {
  if (!st_.PartialProcessing) DoAllClick();
}

void WaveletController::ResetForNewInput() {
  c_.ProcessImage.setScrollPosition(0, 0);
  // The planes are being replaced: the old layers are gone and nothing is processed meanwhile.
  st_.LayersValid = false;
  st_.DecompositionStale = true;
  resetting_ = true;
  for (auto* b : c_.LayerBoxes) b->setChecked(true);
  for (auto* sl : c_.LayerSliders) sl->setEnabled(true);
  if (!c_.HoldWavelets.checked()) {
    for (auto* sl : c_.LayerSliders) sl->setValue(10);
    c_.ContrastSlider.setValue(100);
    c_.BrightnessSlider.setValue(0);
    d_.finish.Gamma1spin.setValue(1);
    d_.tone.BuildGammaOneCurve();
  }
  st_.PartialProcessing = c_.PartialProcessControl.checked();
  resetting_ = false;
}

void WaveletController::ForSingleFrame(bool colourStack) {
  c_.RGBSHIFT.setEnabled(colourStack);
  if (c_.RGBSHIFT.enabled() && c_.RGBSHIFT.checked()) c_.RGBShiftWindow.setVisible(true);
  c_.RestartAlign.setVisible(false);
}

}  // namespace wavelets
