#include "project/FormSnapshot.h"

#include <cstdio>

#include "base/Error.h"
#include "base/Numbers.h"
#include "project/BigIni.h"

namespace project {

namespace {
constexpr const char* kSection = "Form";
}

const std::vector<std::string>& StoredProperties() {
  static const std::vector<std::string> list = {
      "Bias.Value", "BlurBox.Checked", "CheckBox10.Checked", "CheckBox5.Checked", "CheckBox6.Checked",
      "CheckBox7.Checked", "CheckBox8.Checked", "CheckBox9.Checked", "ColourStack.Checked",
      "DeInterlacepanel.Expand", "differencecutslider.Value", "Expandstack.Checked", "FFTFilter.Checked",
      "FFTFilterspin.Value", "FFTsizeGroup.ItemIndex", "FFTWindow.Left", "FFTWindow.Top", "FilterWindow.Left",
      "FilterWindow.Top", "Followme.Checked", "GammaWindow.Left", "GammaWindow.Top", "HistoSmooth.Checked",
      "Histowin.Checked", "HistoWindow.Left", "HistoWindow.Top", "LevelStep.Value", "MessageWindow.Left",
      "MessageWindow.Top", "Misalignwarning.Checked", "Multiplicant.Value", "Optimizepanel.Expand",
      "OptimizeQualitySpin.Value", "OptimizeSpin.Value", "PredictTrack.Checked", "ProcessingPanel.Expand",
      "Propertywindow.Left", "Propertywindow.Top", "QualityFilter.Value", "QualStack.Checked", "RxSlider3.Value",
      "RxSlider4.Value", "RxSlider5.Value", "RxSlider7.Value", "RxSlider8.Value", "Scaletype.ItemIndex",
      "SearchArea.Value", "SelectFrameswindow.Left", "SelectFrameswindow.Top", "Showpeak.Checked",
      "Shrinkview.Left", "Stackframeswindow.Left", "Stackframeswindow.Top", "Stackgraphpanel.Expand",
      "StackSlider.Value", "Trackpanel.Expand", "UseDarkFrame.Checked", "UseFlatfield.Checked",
      "Colourprocess2.Checked", "interlaceinterpolation.ItemIndex", "BrightnessSlider.Value",
      "ContrastSlider.Value", "AutoProcessBox.Checked", "Shrinkview.Top", "LRGB1.Checked", "LRGB2.Checked",
      "ShowProcessingArea.Checked", "PartialProcessControl.Checked", "QualFilterDX.Value", "Contrast.Checked",
      "Processarea.Text", "Denoisewindow.Left", "Denoisewindow.Top", "RGBShiftWindow.Left", "RGBShiftWindow.Top",
      "HLSWindow.Left", "HLSWindow.Top", "Interlaced.Checked", "InterlaceHoriz.Checked",
      "InitialOptionspanel.Expand", "Imageoptionspanel.Expand", "Debayer.Checked", "DebayerPattern.ItemIndex",
      "DebayerMethod.ItemIndex"};
  return list;
}

static std::string KeyOf(const std::string& dotted) {
  std::string k = dotted;
  k[k.find('.')] = '_';
  return k;
}

static std::string FourInts(int a, int b, int c, int d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d,%d,%d,%d", a, b, c, d);
  return buf;
}

void StoreFormSnapshot(const ui::Form& form, TBigIniFile& ini) {
  ini.WriteString(kSection, "FormVersion", "0");
  ini.WriteString(kSection, "ShowCmd", form.maximized() ? "3" : "1");
  ini.WriteString(kSection, "NormPos",
                  FourInts(form.left(), form.top(), form.left() + form.width(), form.top() + form.height()));
  ini.WriteString(kSection, "MinMaxPos", FourInts(-1, -1, -1, -1));
  ini.WriteString(kSection, "PixelsPerInch", "96");
  // Every listed control exists; a name that does not is a fault and throws.
  for (const auto& dotted : StoredProperties()) ini.WriteString(kSection, KeyOf(dotted), form.getProperty(dotted));
}

std::vector<std::string> RestoreFormSnapshot(ui::Form& form, const TBigIniFile& ini) {
  std::vector<std::string> problems;
  std::string norm = ini.ReadString(kSection, "NormPos", "");
  int l, t, r, b;
  if (std::sscanf(norm.c_str(), "%d,%d,%d,%d", &l, &t, &r, &b) == 4 && r > l && b > t)
    form.setBounds(l, t, r - l, b - t);
  form.setMaximized(ini.ReadString(kSection, "ShowCmd", "1") == "3");
  for (const auto& dotted : StoredProperties()) {
    std::string key = KeyOf(dotted);
    if (!ini.ValueExists(kSection, key)) continue;
    const std::string value = ini.ReadString(kSection, key, "");
    try {
      form.setProperty(dotted, value);
    } catch (const px::PelinoxaError& e) {
      // A value that does not fit the control (a hand-edited file) keeps the default.
      problems.push_back(key + "=" + value + " is not used: " + e.what());
    }
  }
  return problems;
}

}  // namespace project
