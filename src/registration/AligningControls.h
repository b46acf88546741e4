#pragma once
// Controls of the "Aligning" page and its tool windows ("FFT spectrum 128x128",
// "Registration properties"), with their captions, ranges and defaults.
#include "ui/FormModel.h"

namespace registration {

struct AligningControls {
  explicit AligningControls(ui::Form& f);

  ui::Image& AlignImage;
  ui::Slider& AlignSlider;

  ui::Panel& AlignButtons;
  ui::Button& Alignonebutton;   // "Recalc FFT"
  ui::Button& Allignallbutton;  // "Align"
  ui::Button& AlignStackButton; // "Align && stack"
  ui::Button& Optimizebutton;   // "Optimize"
  ui::Button& Haltbutton;       // "Re-Align"
  ui::CheckBox& UseProcessed;

  ui::Panel& AlignOptions;
  ui::RadioGroup& FFTsizeGroup;
  ui::CheckBox& FFTFilter;
  ui::SpinEdit& FFTFilterspin;
  ui::SpinEdit& QualityFilter;
  ui::SpinEdit& QualFilterDX;
  ui::CheckBox& Contrast;
  ui::CheckBox& ShowFFTbox;
  ui::CheckBox& Showgraphbox;

  ui::Panel& Trackpanel;
  ui::CheckBox& Followme;
  ui::CheckBox& PredictTrack;
  ui::CheckBox& Misalignwarning;
  ui::CheckBox& ManualAlign;
  // Each frame's shift from the whole frame: a planet's disc by its centroid, any other
  // field by the correlation of the whole frame averaged down. Unchecked, the alignment box
  // alone decides (for a feature that moves differently from the rest of the frame).
  ui::CheckBox& WholeFrameAlign;
  // After the first pass the best tenth of the frames, stacked, becomes the reference and
  // every frame is registered again against it.
  ui::CheckBox& BestFramesReference;

  ui::Panel& Optimizepanel;
  ui::SpinEdit& OptimizeSpin;
  ui::SpinEdit& SearchArea;
  ui::SpinEdit& OptimizeQualitySpin;
  ui::CheckBox& FastOptimize;
  ui::CheckBox& AutoOptimize;

  ui::Panel& ProcessingPanel;
  ui::CheckBox& BlurBox;
  ui::SpinEdit& Bias;
  ui::CheckBox& Resampled;
  ui::SpinEdit& ResampleSpin;
  ui::Label& ResampleXLabel;
  ui::ComboBox& ResampleCombo;

  ui::Panel& Secretoptions;
  ui::CheckBox& Showtracebox;
  ui::CheckBox& Normalize;
  ui::RadioGroup& Correlationtype;
  ui::CheckBox& NoSquare;
  ui::CheckBox& Relative;
  ui::CheckBox& SubPixelEstimate;
  ui::CheckBox& Drizzling;

  ui::Label& ShiftLabel;    // found displacement "dx dy"
  ui::Label& FeatureLabel;  // feature position in the box
  ui::Memo& Memo2;          // the log

  ui::ToolWindow& FFTWindow;
  ui::Image& FFTImage;
  ui::ToolWindow& Propertywindow;
  ui::Image& imgGraph;
};

}  // namespace registration
