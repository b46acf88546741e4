#include "registration/AligningControls.h"

namespace registration {

namespace {
constexpr const char* kPage = "AligningPage";
}

AligningControls::AligningControls(ui::Form& f)
    : AlignImage(f.image("AlignImage", kPage, 640, 480)),
      AlignSlider(f.slider("AlignSlider", kPage, 0, 1, 0)),
      AlignButtons(f.panel("AlignButtons", kPage, "Align")),
      Alignonebutton(f.button("Alignonebutton", "AlignButtons", "Recalc FFT")),
      Allignallbutton(f.button("Allignallbutton", "AlignButtons", "Align")),
      AlignStackButton(f.button("AlignStackButton", "AlignButtons", "Align && stack")),
      Optimizebutton(f.button("Optimizebutton", "AlignButtons", "Optimize")),
      Haltbutton(f.button("Haltbutton", "AlignButtons", "Re-Align")),
      UseProcessed(f.checkBox("UseProcessed", "AlignButtons", "Use Processed", false)),
      AlignOptions(f.panel("AlignOptions", kPage, "Alignment")),
      FFTsizeGroup(f.radioGroup("FFTsizeGroup", "InputPage", "Alignment box (pixels)", {"32", "64", "128", "256"}, 1)),
      FFTFilter(f.checkBox("FFTFilter", "AlignOptions", "Alignment filter", true)),
      FFTFilterspin(f.spin("FFTFilterspin", "AlignOptions", "", 1.0, 50.0, 10.0, 1.0, 1)),
      QualityFilter(f.spin("QualityFilter", "AlignOptions", "Quality filter band", 1, 250, 2)),
      QualFilterDX(f.spin("QualFilterDX", "AlignOptions", "", 1, 50, 6)),
      Contrast(f.checkBox("Contrast", "AlignOptions", "Use contrast", false)),
      ShowFFTbox(f.checkBox("ShowFFTbox", "AlignOptions", "Show FFT", false)),
      Showgraphbox(f.checkBox("Showgraphbox", "AlignOptions", "Show graph", false)),
      Trackpanel(f.panel("Trackpanel", kPage, "Tracking", true, true)),
      Followme(f.checkBox("Followme", "Trackpanel", "Track object", true)),
      PredictTrack(f.checkBox("PredictTrack", "Trackpanel", "Predict track", false)),
      Misalignwarning(f.checkBox("Misalignwarning", "Trackpanel", "Misalign warning", false)),
      ManualAlign(f.checkBox("ManualAlign", "Trackpanel", "Manual alignment", false)),
      WholeFrameAlign(f.checkBox("WholeFrameAlign", "Trackpanel", "Align on the whole frame", true)),
      BestFramesReference(f.checkBox("BestFramesReference", "Trackpanel", "Reference from the best frames", true)),
      Optimizepanel(f.panel("Optimizepanel", kPage, "Optimizing options", true, true)),
      OptimizeSpin(f.spin("OptimizeSpin", "Optimizepanel", "Optimize until", 1, 50, 1)),
      SearchArea(f.spin("SearchArea", "Optimizepanel", "Search area", 1, 10, 2)),
      OptimizeQualitySpin(f.spin("OptimizeQualitySpin", "Optimizepanel", "Lower quality", 0, 100, 80, 5)),
      FastOptimize(f.checkBox("FastOptimize", "Optimizepanel", "Fast optimize", true)),
      AutoOptimize(f.checkBox("AutoOptimize", "Optimizepanel", "Auto-Optimisation", true)),
      ProcessingPanel(f.panel("ProcessingPanel", kPage, "Processing options", true, true)),
      BlurBox(f.checkBox("BlurBox", "ProcessingPanel", "Bias subtract", false)),
      Bias(f.spin("Bias", "ProcessingPanel", "", 0, 255, 50)),
      Resampled(f.checkBox("Resampled", "ProcessingPanel", "Resample", false)),
      ResampleSpin(f.spin("ResampleSpin", "ProcessingPanel", "", 1.0, 4.0, 2.0, 0.1, 1)),
      ResampleXLabel(f.label("ResampleXLabel", "ProcessingPanel", "x")),
      ResampleCombo(f.comboBox("ResampleCombo", "ProcessingPanel", {"Bell", "Bspline", "Lanczos", "Mitchell"}, 0)),
      Secretoptions(f.panel("Secretoptions", kPage, "Secret options", true, false)),
      Showtracebox(f.checkBox("Showtracebox", "Secretoptions", "Show aligning", true)),
      Normalize(f.checkBox("Normalize", "Secretoptions", "Normalized", true)),
      Correlationtype(f.radioGroup("Correlationtype", "Secretoptions", "Correlation type", {"Cross", "Phase"}, 0)),
      NoSquare(f.checkBox("NoSquare", "Secretoptions", "NoSquare", false)),
      Relative(f.checkBox("Relative", "Secretoptions", "relative", false)),
      SubPixelEstimate(f.checkBox("SubPixelEstimate", "Secretoptions", "SubPixelEstimate", false)),
      Drizzling(f.checkBox("Drizzling", "Secretoptions", "Drizzling", false)),
      ShiftLabel(f.label("ShiftLabel", kPage, "")),
      FeatureLabel(f.label("FeatureLabel", kPage, "")),
      Memo2(f.memo("Memo2", kPage)),
      FFTWindow(f.toolWindow("FFTWindow", "FFT spectrum 128x128", 276, 300)),
      FFTImage(f.image("FFTImage", "FFTWindow", 256, 256)),
      Propertywindow(f.toolWindow("Propertywindow", "Registration properties", 316, 290)),
      imgGraph(f.image("imgGraph", "Propertywindow", 300, 250)) {
  AlignSlider.setVisible(false);
  Alignonebutton.setEnabled(false);
  Optimizebutton.setEnabled(false);
  Haltbutton.setVisible(false);
  UseProcessed.setVisible(false);
  ResampleSpin.setVisible(false);
  ResampleXLabel.setVisible(false);
  ResampleCombo.setVisible(false);
  Secretoptions.setVisible(false);
  FFTImage.setStretch(true);
  FFTWindow.setPosition(700, 80);
  Propertywindow.setPosition(700, 400);
}

}  // namespace registration
