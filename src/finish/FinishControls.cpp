#include "finish/FinishControls.h"

namespace finish {

namespace {
constexpr const char* kPage = "FinalPage";
}

FinishControls::FinishControls(ui::Form& f)
    : RotateImage(f.image("RotateImage", kPage, ui::Image::kDeclaredWidth, ui::Image::kDeclaredHeight)),
      HistoWindow(f.toolWindow("HistoWindow", "Histogram", 300, 460)),
      Histograph(f.image("Histograph", "HistoWindow", 281, 260)),
      Showpeak(f.checkBox("Showpeak", "HistoWindow", "Show peak", false)),
      HistoSmooth(f.checkBox("HistoSmooth", "HistoWindow", "Smooth", false)),
      RedSlider(f.slider("RedSlider", "HistoWindow", -100, 100, 0)),
      GreenSlider(f.slider("GreenSlider", "HistoWindow", -100, 100, 0)),
      blueslider(f.slider("blueslider", "HistoWindow", -100, 100, 0)),
      Rbalance(f.spin("Rbalance", "HistoWindow", "Colourweight", 0, 1.5, 1.0, 0.05, 2)),
      Gbalance(f.spin("Gbalance", "HistoWindow", "", 0, 1.5, 1.0, 0.05, 2)),
      Bbalance(f.spin("Bbalance", "HistoWindow", "", 0, 1.5, 1.0, 0.05, 2)),
      GammaWindow(f.toolWindow("GammaWindow", "GammaWindow", 301, 399)),
      GammaSplineGraph(f.image("GammaSplineGraph", "GammaWindow", 255, 255)),
      Gamma1spin(f.spin("Gamma1spin", "GammaWindow", "Gamma (overrules graph)", 0.1, 10.0, 1.0, 0.1, 1)),
      HLSWindow(f.toolWindow("HLSWindow", "HSLWindow", 400, 420)),
      Shrinkview(f.toolWindow("Shrinkview", "Resized image", 390, 390)),
      ComboBox1(f.comboBox("ComboBox1", "Shrinkview", {"200%", "150%", "100%", "75%", "50%", "25%"}, 1)) {
  RedSlider.setCaption("Red");
  GreenSlider.setCaption("Green");
  blueslider.setCaption("Blue");
  HistoWindow.setPosition(780, 60);
  GammaWindow.setPosition(780, 120);
  HLSWindow.setPosition(780, 180);
  Shrinkview.setPosition(200, 200);
}

void FinishControls::ResetForNewInput(bool holdTone) {
  for (ui::SpinEdit* s : {&Rbalance, &Gbalance, &Bbalance}) s->setValue(1);
  for (ui::Slider* s : {&RedSlider, &GreenSlider, &blueslider}) s->setValue(0);
  if (!holdTone) Gamma1spin.setValue(1);
}

}  // namespace finish
