#pragma once
// Controls of the "Wavelet Processing" page and its tool windows ("Noise reduction window",
// "Wavelet Filter", "RGB-Shift").
#include <array>

#include "ui/FormModel.h"

namespace wavelets {

// The page itself: the picture, the layers, the options and the LRGB mixer.
struct WaveletPageControls {
  explicit WaveletPageControls(ui::Form& f);

  ui::Image& ProcessImage;

  ui::Panel& LayerPanel;
  std::array<ui::CheckBox*, 6> LayerBoxes{};    // CheckBox5 .. CheckBox10
  std::array<ui::Slider*, 6> LayerSliders{};    // RxSlider3 .. RxSlider8
  std::array<ui::Button*, 6> LayerButtons{};    // layer1button .. layer6button: gain, preview
  ui::RadioGroup& Scaletype;
  ui::SpinEdit& LevelStep;     // "Initial"
  ui::SpinEdit& Multiplicant;  // "Step"
  ui::Label& ContrastLabel;
  ui::Slider& ContrastSlider;
  ui::Label& Brightnesslabel;
  ui::Slider& BrightnessSlider;
  ui::CheckBox& AutoProcessBox;
  ui::Button& ProcessButton;
  ui::Button& ResetButton;
  ui::CheckBox& HoldWavelets;

  ui::Panel& WaveletOptions;
  ui::CheckBox& Histowin;
  ui::CheckBox& Showdenoise;
  ui::CheckBox& RGBSHIFT;
  ui::CheckBox& Filtercheckbox;
  ui::CheckBox& Gammawin;
  ui::CheckBox& ShowProcessingArea;
  ui::CheckBox& PartialProcessControl;
  ui::Button& DoAll;
  ui::Label& DoAllspeed;
  ui::Button& RestartAlign;
  ui::Button& SaveBMP2button;

  ui::Panel& LRGBMIX;
  ui::Slider& RedLRGBslider;
  ui::Slider& GreenLRGBSlider;
  ui::Slider& BlueLRGBSlider;
};

struct NoiseWindowControls {
  explicit NoiseWindowControls(ui::Form& f);

  ui::ToolWindow& Denoisewindow;
  std::array<ui::CheckBox*, 6> Cut{};        // cut1 .. cut6
  std::array<ui::Slider*, 6> NoiseSliders{};  // Noise1, Noise2, Noise3, noise4, noise5, noise6
  ui::RadioGroup& Denoise;
  ui::SpinEdit& stdevfactor;
  ui::CheckBox& Subtract;
  ui::CheckBox& ActiveNoise;
  ui::CheckBox& AntiRing;
  ui::Slider& AntiRingSlider;
  ui::Label& Label46;
  ui::Label& NoiseFactorLabel;  // hidden: " factor :" and one mark per layer
};

struct FilterWindowControls {
  explicit FilterWindowControls(ui::Form& f);

  ui::ToolWindow& FilterWindow;
  std::array<ui::SpinEdit*, 25> FilterSpins{};  // index Y * 5 + X of FilterXY
  ui::SpinEdit& Filter60spin;
  ui::Button& Button1;  // "Set"
  ui::Button& Button3;  // "Reset"
  ui::Button& SaveFilter;
  ui::Button& LoadFilter;
};

struct RgbShiftWindowControls {
  explicit RgbShiftWindowControls(ui::Form& f);

  ui::ToolWindow& RGBShiftWindow;
  ui::SpinEdit& RDXSpin;
  ui::SpinEdit& RdySpin;
  ui::SpinEdit& BDXspin;
  ui::SpinEdit& BDYSpin;
  ui::Button& Button16;  // red Up
  ui::Button& Button19;  // red Dn
  ui::Button& Button17;  // red Lt
  ui::Button& Button18;  // red Rt
  ui::Button& Button8;   // blue Up
  ui::Button& Button11;  // blue Dn
  ui::Button& Button9;   // blue Lt
  ui::Button& Button10;  // blue Rt
  ui::Button& RGBShifter;  // "Estimate"
  ui::CheckBox& Showred;
  ui::CheckBox& ShowGreen;
  ui::CheckBox& ShowBlue;
  ui::CheckBox& CheckBox2;  // "Set RGB align area"
};

// Every control of the page and its windows, declared in this order (the order the views lay
// them out in): the page, the noise, filter and RGB-shift windows, then the rows of layers,
// noise thresholds and filter weights.
struct WaveletControls : WaveletPageControls, NoiseWindowControls, FilterWindowControls, RgbShiftWindowControls {
  explicit WaveletControls(ui::Form& f);
};

}  // namespace wavelets
