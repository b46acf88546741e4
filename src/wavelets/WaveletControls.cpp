#include "wavelets/WaveletControls.h"

#include <string>

#include "wavelets/WaveletKernel.h"

namespace wavelets {

namespace {
constexpr const char* kPage = "WaveletPage";
constexpr double kNoLimit = 1000000;
}

WaveletPageControls::WaveletPageControls(ui::Form& f)
    : ProcessImage(f.image("ProcessImage", kPage, ui::Image::kDeclaredWidth, ui::Image::kDeclaredHeight)),
      LayerPanel(f.panel("LayerPanel", kPage, "Layers")),
      Scaletype(f.radioGroup("Scaletype", kPage, "Wavelet Scheme", {"Dyadic (2^n)", "Linear"}, 1)),
      LevelStep(f.spin("LevelStep", kPage, "Initial", 1, 32, 1)),
      Multiplicant(f.spin("Multiplicant", kPage, "Step", 0, 32, 0, 0.1, 2)),
      ContrastLabel(f.label("ContrastLabel", kPage, "Contrast   : 100")),
      ContrastSlider(f.slider("ContrastSlider", kPage, 10, 500, 100)),
      Brightnesslabel(f.label("Brightnesslabel", kPage, "Brightness : 0")),
      BrightnessSlider(f.slider("BrightnessSlider", kPage, -127, 127, 0)),
      AutoProcessBox(f.checkBox("AutoProcessBox", kPage, "Auto-process", false)),
      ProcessButton(f.button("ProcessButton", kPage, "Process")),
      ResetButton(f.button("ResetButton", kPage, "Reset")),
      HoldWavelets(f.checkBox("HoldWavelets", kPage, "Hold layer", false)),
      WaveletOptions(f.panel("WaveletOptions", kPage, "Options")),
      Histowin(f.checkBox("Histowin", "WaveletOptions", "Histogram and RGB", false)),
      Showdenoise(f.checkBox("Showdenoise", "WaveletOptions", "Noise reduction", false)),
      RGBSHIFT(f.checkBox("RGBSHIFT", "WaveletOptions", "Set RGB shift", false)),
      Filtercheckbox(f.checkBox("Filtercheckbox", "WaveletOptions", "Show wavelet filter", false)),
      Gammawin(f.checkBox("Gammawin", "WaveletOptions", "Gamma Curve", false)),
      ShowProcessingArea(f.checkBox("ShowProcessingArea", "WaveletOptions", "Show processing area", false)),
      PartialProcessControl(f.checkBox("PartialProcessControl", "WaveletOptions", "Partial processing", true)),
      DoAll(f.button("DoAll", "WaveletOptions", "Do all")),
      DoAllspeed(f.label("DoAllspeed", "WaveletOptions", "")),
      RestartAlign(f.button("RestartAlign", "WaveletOptions", "Re-align with processed")),
      SaveBMP2button(f.button("SaveBMP2button", "WaveletOptions", "Save")),
      LRGBMIX(f.panel("LRGBMIX", kPage, "L= R+G+B mixer")),
      RedLRGBslider(f.slider("RedLRGBslider", "LRGBMIX", 1, 1000, 299)),
      GreenLRGBSlider(f.slider("GreenLRGBSlider", "LRGBMIX", 1, 1000, 587)),
      BlueLRGBSlider(f.slider("BlueLRGBSlider", "LRGBMIX", 1, 1000, 114)) {}

NoiseWindowControls::NoiseWindowControls(ui::Form& f)
    : Denoisewindow(f.toolWindow("Denoisewindow", "Noise reduction window", 330, 420)),
      Denoise(f.radioGroup("Denoise", "Denoisewindow", "Estimator",
                           {"None", "Method A", "Method B", "Method C", "Method D"}, 0)),
      stdevfactor(f.spin("stdevfactor", "Denoisewindow", "", 0, 1000, 10)),
      Subtract(f.checkBox("Subtract", "Denoisewindow", "Hard Threshold", true)),
      ActiveNoise(f.checkBox("ActiveNoise", "Denoisewindow", "Active", true)),
      AntiRing(f.checkBox("AntiRing", "Denoisewindow", "Anti-ring", false)),
      AntiRingSlider(f.slider("AntiRingSlider", "Denoisewindow", 0, 1000, 0)),
      Label46(f.label("Label46", "Denoisewindow", "Point at the darkest area and\nright-click to use anti-ringing")),
      NoiseFactorLabel(f.label("NoiseFactorLabel", "Denoisewindow", " factor :------")) {}

FilterWindowControls::FilterWindowControls(ui::Form& f)
    : FilterWindow(f.toolWindow("FilterWindow", "Wavelet Filter", 300, 260)),
      Filter60spin(f.spin("Filter60spin", "FilterWindow", "", -kNoLimit, kNoLimit, 0)),
      Button1(f.button("Button1", "FilterWindow", "Set")),
      Button3(f.button("Button3", "FilterWindow", "Reset")),
      SaveFilter(f.button("SaveFilter", "FilterWindow", "Save")),
      LoadFilter(f.button("LoadFilter", "FilterWindow", "Load")) {}

RgbShiftWindowControls::RgbShiftWindowControls(ui::Form& f)
    : RGBShiftWindow(f.toolWindow("RGBShiftWindow", "RGB-Shift", 260, 260)),
      RDXSpin(f.spin("RDXSpin", "RGBShiftWindow", "R-channel", -4096, 4096, 0)),
      RdySpin(f.spin("RdySpin", "RGBShiftWindow", "", -4096, 4096, 0)),
      BDXspin(f.spin("BDXspin", "RGBShiftWindow", "B-Channel", -4096, 4096, 0)),
      BDYSpin(f.spin("BDYSpin", "RGBShiftWindow", "", -4096, 4096, 0)),
      Button16(f.button("Button16", "RGBShiftWindow", "Up")),
      Button19(f.button("Button19", "RGBShiftWindow", "Dn")),
      Button17(f.button("Button17", "RGBShiftWindow", "Lt")),
      Button18(f.button("Button18", "RGBShiftWindow", "Rt")),
      Button8(f.button("Button8", "RGBShiftWindow", "Up")),
      Button11(f.button("Button11", "RGBShiftWindow", "Dn")),
      Button9(f.button("Button9", "RGBShiftWindow", "Lt")),
      Button10(f.button("Button10", "RGBShiftWindow", "Rt")),
      RGBShifter(f.button("RGBShifter", "RGBShiftWindow", "Estimate")),
      Showred(f.checkBox("Showred", "RGBShiftWindow", "Showred", true)),
      ShowGreen(f.checkBox("ShowGreen", "RGBShiftWindow", "ShowGreen", true)),
      ShowBlue(f.checkBox("ShowBlue", "RGBShiftWindow", "ShowBlue", true)),
      CheckBox2(f.checkBox("CheckBox2", "RGBShiftWindow", "Set RGB align area", false)) {}

namespace {

// The layer boxes, gain sliders and preview buttons, in rows so they sit side by side.
void DeclareLayerRows(ui::Form& f, WaveletPageControls& c) {
  for (int n = 0; n < 6; ++n) {
    c.LayerBoxes[n] = &f.checkBox("CheckBox" + std::to_string(5 + n), "LayerPanel", std::to_string(n + 1) + ":", true);
    c.LayerSliders[n] = &f.slider("RxSlider" + std::to_string(3 + n), "LayerPanel", -50, 1000, 10);
    c.LayerButtons[n] = &f.button("layer" + std::to_string(n + 1) + "button", "LayerPanel", "1");
  }
}

void DeclareNoiseRows(ui::Form& f, NoiseWindowControls& c) {
  static const char* kNoiseNames[6] = {"Noise1", "Noise2", "Noise3", "noise4", "noise5", "noise6"};
  for (int n = 0; n < 6; ++n) {
    c.Cut[n] = &f.checkBox("cut" + std::to_string(n + 1), "Denoisewindow", "layer " + std::to_string(n + 1), false);
    c.NoiseSliders[n] = &f.slider(kNoiseNames[n], "Denoisewindow", 0, 1000, 0);
  }
}

// The 5 x 5 filter weights, starting at the default kernel.
void DeclareFilterGrid(ui::Form& f, FilterWindowControls& c) {
  const KernelGrid grid = DefaultKernelGrid();
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x)
      c.FilterSpins[y * 5 + x] = &f.spin("Filter" + std::to_string(x) + std::to_string(y), "FilterWindow", "",
                                         -kNoLimit, kNoLimit, grid[y * 5 + x]);
}

// Captions, hidden controls and the tool windows' places at start-up.
void SetStartState(WaveletControls& c) {
  c.RedLRGBslider.setCaption("R");
  c.GreenLRGBSlider.setCaption("G");
  c.BlueLRGBSlider.setCaption("B");
  c.DoAll.setVisible(false);
  c.DoAllspeed.setVisible(false);
  c.LRGBMIX.setVisible(false);
  c.stdevfactor.setVisible(false);
  c.Subtract.setVisible(false);
  c.ActiveNoise.setVisible(false);
  c.NoiseFactorLabel.setVisible(false);
  c.Filter60spin.setVisible(false);
  c.Denoisewindow.setHint(
      "1. choose the layers to denoise\n2. try the different methods\n3. select the best method\n"
      "4. change the sliders manually");
  c.Denoisewindow.setPosition(760, 100);
  c.FilterWindow.setPosition(760, 140);
  c.RGBShiftWindow.setPosition(760, 180);
  c.Denoisewindow.setVisible(false);
  c.RGBShiftWindow.setVisible(false);
}

}  // namespace

WaveletControls::WaveletControls(ui::Form& f)
    : WaveletPageControls(f), NoiseWindowControls(f), FilterWindowControls(f), RgbShiftWindowControls(f) {
  DeclareLayerRows(f, *this);
  DeclareNoiseRows(f, *this);
  DeclareFilterGrid(f, *this);
  SetStartState(*this);
}

}  // namespace wavelets
