#pragma once
// Controls of the "Final" page and the tone tool windows ("Histogram", "GammaWindow",
// "HSLWindow", "Resized image").
#include "ui/FormModel.h"

namespace finish {

struct FinishControls {
  explicit FinishControls(ui::Form& f);

  // A new input: neutral colour balance; gamma 1 unless the user holds the processing values.
  void ResetForNewInput(bool holdTone);

  ui::Image& RotateImage;

  ui::ToolWindow& HistoWindow;
  ui::Image& Histograph;
  ui::CheckBox& Showpeak;
  ui::CheckBox& HistoSmooth;
  ui::Slider& RedSlider;
  ui::Slider& GreenSlider;
  ui::Slider& blueslider;
  ui::SpinEdit& Rbalance;
  ui::SpinEdit& Gbalance;
  ui::SpinEdit& Bbalance;

  ui::ToolWindow& GammaWindow;
  ui::Image& GammaSplineGraph;
  ui::SpinEdit& Gamma1spin;

  ui::ToolWindow& HLSWindow;
  ui::ToolWindow& Shrinkview;  // "Resized image"
  ui::ComboBox& ComboBox1;     // zoom percentage
};

}  // namespace finish
