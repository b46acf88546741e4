#pragma once
// Controls of the "Final" page and the tone tool windows ("Histogram", "GammaWindow",
// "HSLWindow", "Resized image").
#include "ui/FormModel.h"

namespace finish {

struct FinishControls {
  explicit FinishControls(ui::Form& f);

  // A new input: neutral colour balance; gamma 1 unless the user holds the processing values.
  void ResetForNewInput(bool holdTone);

  // Final page.
  ui::Image& RotateImage;
  ui::SpinEdit& RxSpinEdit4;    // rotation in degrees, no limits
  ui::ComboBox& ComboBox2;      // "0" … "360" in steps of 15
  ui::Slider& ASSwitcher1;      // dial 0 … 36, "deg. x 10"
  ui::CheckBox& FlipX;
  ui::CheckBox& FlipY;
  ui::Label& HueLabel;
  ui::Slider& HueSlider;
  ui::Label& SaturationLabel;
  ui::Slider& SaturationSlider;
  ui::Label& LightnessLabel;
  ui::Slider& Lightnessslider;
  ui::Button& Button7;          // "Reset HSL"
  ui::CheckBox& AdvancedHLS;
  ui::CheckBox& Cropping;       // "Use crop"
  ui::Label& Croppedarea;
  ui::Image& Overview;          // 150 x 150
  ui::Button& BitBtn8;          // "Save"
  ui::Button& BitBtn9;          // "Clipboard"
  ui::Button& ShrinkFinal;      // "Resize"
  ui::Button& ShrinkWavelet;    // "Resize" on the Wavelet Processing page

  // "Histogram"
  ui::ToolWindow& HistoWindow;
  ui::Image& Histograph;
  ui::Shape& Lowtriangle;
  ui::Shape& Hitriangle;
  ui::CheckBox& Showpeak;
  ui::CheckBox& HistoSmooth;
  ui::Button& HistoReset;
  ui::Button& BitBtn3;          // "Stretch"
  ui::Button& Button5;          // "Set Zero"
  ui::Slider& RedSlider;
  ui::Slider& GreenSlider;
  ui::Slider& blueslider;
  ui::SpinEdit& Rbalance;
  ui::SpinEdit& Gbalance;
  ui::SpinEdit& Bbalance;

  // "GammaWindow"
  ui::ToolWindow& GammaWindow;
  ui::Image& GammaSplineGraph;
  ui::Label& GammaHelp;
  ui::Button& Button2;          // "Reset"
  ui::CheckBox& LinearSpline;
  ui::SpinEdit& Gamma1spin;

  // "HSLWindow"
  ui::ToolWindow& HLSWindow;
  ui::Image& Huegraph;
  ui::Image& Saturationgraph;
  ui::Image& Lightnessgraph;
  ui::Image& HueHistoImage;
  ui::Shape& huepoint;

  // "Resized image"
  ui::ToolWindow& Shrinkview;
  ui::Image& ShrinkImage;
  ui::ComboBox& ComboBox1;      // zoom percentage
  ui::ComboBox& Filters;
  ui::Label& Imagesize;
  ui::Button& Shrinktooriginal; // "Original"
  ui::Button& SaveShrink;       // "Save"
};

}  // namespace finish
