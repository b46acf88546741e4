#include "finish/FinishControls.h"

#include <string>
#include <vector>

namespace finish {

namespace {
constexpr const char* kPage = "FinalPage";

std::vector<std::string> AngleItems() {
  std::vector<std::string> v;
  for (int i = 0; i <= 24; ++i) v.push_back(std::to_string(i * 15));
  return v;
}
}  // namespace

FinishControls::FinishControls(ui::Form& f)
    : RotateImage(f.image("RotateImage", kPage, ui::Image::kDeclaredWidth, ui::Image::kDeclaredHeight)),
      RxSpinEdit4(f.spin("RxSpinEdit4", kPage, "Rotation (degrees)", 0, 0, 0, 1, 2)),
      ComboBox2(f.comboBox("ComboBox2", kPage, AngleItems(), 0)),
      ASSwitcher1(f.slider("ASSwitcher1", kPage, 0, 36, 0)),
      FlipX(f.checkBox("FlipX", kPage, "Flip X", false)),
      FlipY(f.checkBox("FlipY", kPage, "Flip Y", false)),
      HueLabel(f.label("HueLabel", kPage, "Hue        :0")),
      HueSlider(f.slider("HueSlider", kPage, -100, 100, 0)),
      SaturationLabel(f.label("SaturationLabel", kPage, "Saturation :0")),
      SaturationSlider(f.slider("SaturationSlider", kPage, -50, 50, 0)),
      LightnessLabel(f.label("LightnessLabel", kPage, "lightness  :0")),
      Lightnessslider(f.slider("Lightnessslider", kPage, -100, 100, 0)),
      Button7(f.button("Button7", kPage, "Reset HSL")),
      AdvancedHLS(f.checkBox("AdvancedHLS", kPage, "Advanced HSL", false)),
      Cropping(f.checkBox("Cropping", kPage, "Use crop", false)),
      Croppedarea(f.label("Croppedarea", kPage, "")),
      Overview(f.image("Overview", kPage, 150, 150)),
      BitBtn8(f.button("BitBtn8", kPage, "Save")),
      BitBtn9(f.button("BitBtn9", kPage, "Clipboard")),
      ShrinkFinal(f.button("ShrinkFinal", kPage, "Resize")),
      ShrinkWavelet(f.button("ShrinkWavelet", "WaveletPage", "Resize")),
      HistoWindow(f.toolWindow("HistoWindow", "Histogram", 300, 460)),
      Histograph(f.image("Histograph", "HistoWindow", 281, 260)),
      Lowtriangle(f.shape("Lowtriangle", "HistoWindow", ui::colors::Teal)),
      Hitriangle(f.shape("Hitriangle", "HistoWindow", ui::colors::Red)),
      Showpeak(f.checkBox("Showpeak", "HistoWindow", "Show peak", false)),
      HistoSmooth(f.checkBox("HistoSmooth", "HistoWindow", "Smooth", false)),
      HistoReset(f.button("HistoReset", "HistoWindow", "Reset")),
      BitBtn3(f.button("BitBtn3", "HistoWindow", "Stretch")),
      Button5(f.button("Button5", "HistoWindow", "Set Zero")),
      RedSlider(f.slider("RedSlider", "HistoWindow", -100, 100, 0)),
      GreenSlider(f.slider("GreenSlider", "HistoWindow", -100, 100, 0)),
      blueslider(f.slider("blueslider", "HistoWindow", -100, 100, 0)),
      Rbalance(f.spin("Rbalance", "HistoWindow", "Colourweight", 0, 1.5, 1.0, 0.05, 2)),
      Gbalance(f.spin("Gbalance", "HistoWindow", "", 0, 1.5, 1.0, 0.05, 2)),
      Bbalance(f.spin("Bbalance", "HistoWindow", "", 0, 1.5, 1.0, 0.05, 2)),
      GammaWindow(f.toolWindow("GammaWindow", "GammaWindow", 301, 399)),
      GammaSplineGraph(f.image("GammaSplineGraph", "GammaWindow", 255, 255)),
      GammaHelp(f.label("GammaHelp", "GammaWindow",
                        " right-click : insert a point\n ctrl-left-click : delete a point\n double - click : reset")),
      Button2(f.button("Button2", "GammaWindow", "Reset")),
      LinearSpline(f.checkBox("LinearSpline", "GammaWindow", "Linear", false)),
      Gamma1spin(f.spin("Gamma1spin", "GammaWindow", "Gamma (overrules graph)", 0.1, 10.0, 1.0, 0.1, 1)),
      HLSWindow(f.toolWindow("HLSWindow", "HSLWindow", 400, 420)),
      Huegraph(f.image("Huegraph", "HLSWindow", 361, 100)),
      Saturationgraph(f.image("Saturationgraph", "HLSWindow", 361, 100)),
      Lightnessgraph(f.image("Lightnessgraph", "HLSWindow", 361, 100)),
      HueHistoImage(f.image("HueHistoImage", "HLSWindow", 361, 50)),
      huepoint(f.shape("huepoint", "HLSWindow", ui::colors::Red)),
      Shrinkview(f.toolWindow("Shrinkview", "Resized image", 390, 390)),
      ShrinkImage(f.image("ShrinkImage", "Shrinkview", 190, 366)),
      ComboBox1(f.comboBox("ComboBox1", "Shrinkview", {"200%", "150%", "100%", "75%", "50%", "25%"}, 1)),
      Filters(f.comboBox("Filters", "Shrinkview", {"Bell", "B-Spline", "Lanczos", "Mitchell"}, 1)),
      Imagesize(f.label("Imagesize", "Shrinkview", "Imagesize: ")),
      Shrinktooriginal(f.button("Shrinktooriginal", "Shrinkview", "Original")),
      SaveShrink(f.button("SaveShrink", "Shrinkview", "Save")) {
  RedSlider.setCaption("Red");
  GreenSlider.setCaption("Green");
  blueslider.setCaption("Blue");
  Cropping.setVisible(false);
  Lowtriangle.setBounds(15, 259, 25, 19);
  Hitriangle.setBounds(270, 259, 25, 19);
  Histograph.setPosition(16, 0);
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
