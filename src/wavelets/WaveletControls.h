#pragma once
// Controls of the "Wavelet Processing" page and its tool windows ("Noise reduction window",
// "Wavelet Filter", "RGB-Shift").
#include <array>

#include "ui/FormModel.h"

namespace wavelets {

struct WaveletControls {
  explicit WaveletControls(ui::Form& f);

  ui::Image& ProcessImage;

  ui::Panel& LayerPanel;
  std::array<ui::CheckBox*, 6> LayerBoxes;  // CheckBox5 .. CheckBox10
  std::array<ui::Slider*, 6> LayerSliders;  // RxSlider3 .. RxSlider8
  ui::RadioGroup& Scaletype;
  ui::SpinEdit& LevelStep;     // "Initial"
  ui::SpinEdit& Multiplicant;  // "Step"
  ui::Slider& ContrastSlider;
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

  ui::ToolWindow& Denoisewindow;
  ui::ToolWindow& FilterWindow;
  ui::ToolWindow& RGBShiftWindow;
};

}  // namespace wavelets
