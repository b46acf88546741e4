#include "wavelets/WaveletControls.h"

#include <string>

namespace wavelets {

namespace {
constexpr const char* kPage = "WaveletPage";
}

WaveletControls::WaveletControls(ui::Form& f)
    : ProcessImage(f.image("ProcessImage", kPage, ui::Image::kDeclaredWidth, ui::Image::kDeclaredHeight)),
      LayerPanel(f.panel("LayerPanel", kPage, "Layers")),
      LayerBoxes{},
      LayerSliders{},
      Scaletype(f.radioGroup("Scaletype", kPage, "Wavelet Scheme", {"Dyadic (2^n)", "Linear"}, 1)),
      LevelStep(f.spin("LevelStep", kPage, "Initial", 1, 32, 1)),
      Multiplicant(f.spin("Multiplicant", kPage, "Step", 0, 32, 0, 0.1, 2)),
      ContrastSlider(f.slider("ContrastSlider", kPage, 10, 500, 100)),
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
      BlueLRGBSlider(f.slider("BlueLRGBSlider", "LRGBMIX", 1, 1000, 114)),
      Denoisewindow(f.toolWindow("Denoisewindow", "Noise reduction window", 330, 420)),
      FilterWindow(f.toolWindow("FilterWindow", "Wavelet Filter", 300, 260)),
      RGBShiftWindow(f.toolWindow("RGBShiftWindow", "RGB-Shift", 260, 260)) {
  // The layer boxes and gain sliders are declared in pairs so they sit side by side.
  for (int n = 0; n < 6; ++n) {
    LayerBoxes[n] = &f.checkBox("CheckBox" + std::to_string(5 + n), "LayerPanel", std::to_string(n + 1) + ":", true);
    LayerSliders[n] = &f.slider("RxSlider" + std::to_string(3 + n), "LayerPanel", -50, 1000, 10);
  }
  ContrastSlider.setCaption("Contrast");
  BrightnessSlider.setCaption("Brightness");
  RedLRGBslider.setCaption("R");
  GreenLRGBSlider.setCaption("G");
  BlueLRGBSlider.setCaption("B");
  DoAll.setVisible(false);
  DoAllspeed.setVisible(false);
  LRGBMIX.setVisible(false);
  Denoisewindow.setPosition(760, 100);
  FilterWindow.setPosition(760, 140);
  RGBShiftWindow.setPosition(760, 180);
}

}  // namespace wavelets
