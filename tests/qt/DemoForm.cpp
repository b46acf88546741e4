#include "DemoForm.h"

#include <cmath>
#include <stdexcept>

#include "base/Error.h"

namespace pxtest {

using namespace ui;

void DrawPlanet(Bitmap24& bmp, double phase) {
  int w = bmp.width(), h = bmp.height();
  double cx = w / 2.0 + 12 * std::sin(phase), cy = h / 2.0, r = std::min(w, h) * 0.36;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bmp.row(y);
    for (int x = 0; x < w; ++x) {
      double dx = (x - cx) / r, dy = (y - cy) / (r * 0.94);
      double d2 = dx * dx + dy * dy;
      uint8_t b = 0, g = 0, rr = 0;
      if (d2 < 1) {
        double limb = std::pow(1 - d2, 0.25);
        double band = 0.75 + 0.25 * std::sin(dy * 11.0 + 0.6 * std::sin(dx * 3 + phase));
        double spot = std::exp(-((dx - 0.25) * (dx - 0.25) * 40 + (dy - 0.32) * (dy - 0.32) * 90));
        double v = 215 * limb * band;
        rr = static_cast<uint8_t>(std::min(255.0, v * 1.0 + spot * 50));
        g = static_cast<uint8_t>(std::min(255.0, v * 0.86 - spot * 30));
        b = static_cast<uint8_t>(std::min(255.0, v * 0.70 - spot * 40));
      }
      row[3 * x] = b;
      row[3 * x + 1] = g;
      row[3 * x + 2] = rr;
    }
  }
}

void DrawGraph(Bitmap24& bmp) {
  bmp.fill(colors::White);
  int w = bmp.width(), h = bmp.height();
  for (int i = 0; i <= 10; ++i) {
    int gy = h - (h / 10) * i - 2, gx = (w / 10) * i + 1;
    for (int x = 1; x < w - 1; ++x)
      if (gy >= 0 && gy < h) bmp.setPixel(x, gy, colors::Silver);
    for (int y = 1; y < h - 1; ++y)
      if (gx < w) bmp.setPixel(gx, y, colors::Silver);
  }
  for (int x = 0; x < w; ++x) {
    double q = 0.5 + 0.35 * std::exp(-x / 90.0) + 0.05 * std::sin(x * 0.7);
    int y = std::clamp(static_cast<int>(h - q * h), 0, h - 1);
    bmp.setPixel(x, y, colors::Red);
    if (y + 1 < h) bmp.setPixel(x, y + 1, colors::Red);
  }
}

DemoForm::DemoForm(UiServices& services, bool allPagesVisible) : ui(services) {
  form.setUiServices(&services);
  form.setCaption("PeliNoxa V2.0");
  auto counter = [this](const std::string& n) { return [this, n] { ++calls[n]; }; };

  // ---- Input
  auto& input = form.page("InputPage", "Input");
  auto& show = form.panel("Showpanel", "InputPage", "");
  auto& logo = form.image("LogoImage", "Showpanel", 500, 320);
  logo.picture().fill(Color(20, 24, 40));
  form.image("PreviewImage", "InputPage", 817, 625);
  DrawPlanet(get<Image>("PreviewImage").picture(), 0);
  show.setVisible(false);
  auto& front = form.panel("FrontPanel", "InputPage", "Input");
  form.button("SelectInputButton", "FrontPanel", "Select input").OnClick = counter("SelectInputButtonClick");
  form.button("FrameListButton", "FrontPanel", "Frame list").OnClick = [this] {
    get<ToolWindow>("FrameListWindow").setVisible(true);
  };
  form.button("ThrowButton", "FrontPanel", "Load broken file").OnClick = [this] { throw px::PelinoxaError(throwText); };
  form.shape("UseFramesign", "FrontPanel", colors::Lime);
  form.label("FrameCaption", "FrontPanel", "Frame 1 of 1000");
  auto& ps = form.slider("PreviewSlider", "FrontPanel", 0, 999, 0);
  ps.setCaption("Frame");
  ps.OnChange = counter("PreviewSliderChange");
  ps.OnChanged = counter("PreviewSliderChanged");
  ps.OnKeyDown = [this](int& key, bool, bool) {
    keys.push_back(key);
    if (key == 32) {
      ++calls["PreviewSliderSpace"];
      key = 0;
    }
  };
  auto& lum = form.panel("LumPanel", "InputPage", "Alignment luminance", true, true);
  (void)lum;
  form.spin("RedWeight", "LumPanel", "Red", 0, 1, 0.3, 0.05, 2).OnChange = counter("RedWeightChange");
  form.spin("GreenWeight", "LumPanel", "Green", 0, 1, 0.59, 0.05, 2);
  form.spin("BlueWeight", "LumPanel", "Blue", 0, 1, 0.11, 0.05, 2);
  form.spin("FreeSpin", "LumPanel", "Offset", 0, 0, 5, 1, 0).OnChange = counter("FreeSpinChange");
  form.panel("DeinterlacePanel", "InputPage", "De-interlace", true, false);
  form.checkBox("Deinterlace", "DeinterlacePanel", "De-interlace", false).OnClick = counter("DeinterlaceClick");
  form.checkBox("InterlaceHoriz", "DeinterlacePanel", "Horizontal", false);
  form.radioGroup("FFTsizeGroup", "InputPage", "Alignment box", {"32", "64", "128", "256"}, 1).OnClick =
      counter("FFTsizeGroupClick");
  form.OnDropFiles = [this](const std::vector<std::string>& f) {
    dropped = f;
    ++calls["FormDropFiles"];
  };
  form.OnPageChange = counter("PageChange");
  front.setHint("The current input");

  // ---- Aligning
  form.page("AlignPage", "Aligning");
  form.image("AlignImage", "AlignPage", 817, 625);
  DrawPlanet(get<Image>("AlignImage").picture(), 0.8);
  form.panel("AlignPanel", "AlignPage", "Align");
  form.button("Allignallbutton", "AlignPanel", "Align").OnClick = counter("AllignallbuttonClick");
  form.button("AlignStackButton", "AlignPanel", "Align && stack");
  form.button("Optimizebutton", "AlignPanel", "Optimize");
  form.button("Haltbutton", "AlignPanel", "Re-Align").setVisible(false);
  form.button("AskButton", "AlignPanel", "Ask").OnClick = [this] {
    lastAnswer = ui.messageBox("Overwrite existing file ?", MsgKind::Confirmation, ButtonsYesNo);
  };
  form.slider("AlignSlider", "AlignPanel", 0, 999, 0);
  form.panel("QualityPanel", "AlignPage", "Quality");
  form.spin("QualityFilter", "QualityPanel", "Quality filter band", 1, 250, 12);
  form.spin("QualFilterDX", "QualityPanel", "Width", 1, 50, 5);
  form.checkBox("UseContrast", "QualityPanel", "Use contrast", false);
  form.checkBox("AutoOptimize", "QualityPanel", "Auto-Optimisation", true);
  form.spin("OptimizeSpin", "QualityPanel", "Optimize until (%)", 1, 50, 1);
  auto& dc = form.slider("differencecutslider", "QualityPanel", 0, 100, 100);
  dc.setVertical(true);
  dc.setCaption("Diff");
  auto& qc = form.slider("qualitycutslider", "QualityPanel", 0, 100, 40);
  qc.setVertical(true);
  qc.setCaption("Qual");
  form.memo("Memo2", "AlignPage");
  for (int i = 0; i < 4; ++i) get<Memo>("Memo2").add("Aligning frame " + std::to_string(i * 250) + " ... ok");

  // ---- Stacking
  form.page("StackPage", "Stacking");
  form.image("StackImage", "StackPage", 817, 625);
  DrawPlanet(get<Image>("StackImage").picture(), 1.6);
  form.panel("StackPanel", "StackPage", "Stack");
  form.image("StackGraph", "StackPanel", 300, 250);
  DrawGraph(get<Image>("StackGraph").picture());
  form.slider("StackSlider", "StackPanel", 1, 1000, 250).setCaption("Frames to stack");
  form.button("StackButton", "StackPanel", "Stack");
  form.button("SaveStackButton", "StackPanel", "Save stack");
  form.comboBox("SaveFormat", "StackPanel", {"BMP", "JPEG", "FITS 16 bit", "FITS 32 bit", "TIFF 48 bit"}, 0)
      .OnChange = counter("SaveFormatChange");
  form.edit("StackName", "StackPanel", "jupiter").OnChange = counter("StackNameChange");
  form.checkBox("Drizzling", "StackPanel", "Drizzle", false);

  // ---- Wavelet Processing
  form.page("WaveletPage", "Wavelet Processing");
  form.image("ProcessedImage", "WaveletPage", 817, 625);
  DrawPlanet(get<Image>("ProcessedImage").picture(), 2.4);
  form.panel("LayerPanel", "WaveletPage", "Layers");
  for (int i = 1; i <= 6; ++i) {
    auto& s = form.slider("RxSlider" + std::to_string(i), "LayerPanel", 0, 400, 100 + 20 * i);
    s.setVertical(true);
    s.setCaption(std::to_string(i));
  }
  form.panel("ColorPanel", "WaveletPage", "Display");
  form.slider("ContrastSlider", "ColorPanel", -100, 100, 0).setCaption("Contrast");
  form.slider("BrightnessSlider", "ColorPanel", -100, 100, 0).setCaption("Brightness");
  form.checkBox("Histowin", "ColorPanel", "Histogram and RGB", false);
  form.label("WarnLabel", "ColorPanel", "Processing area active").setFontColor(colors::Red);
  form.gauge("WaveletGauge", "ColorPanel").setProgress(40);

  // ---- Final
  form.page("FinalPage", "Final");
  form.image("FinalImage", "FinalPage", 817, 625);
  DrawPlanet(get<Image>("FinalImage").picture(), 3.2);
  form.panel("GeometryPanel", "FinalPage", "Geometry");
  form.button("RotateButton", "GeometryPanel", "Rotate 90");
  form.checkBox("FlipX", "GeometryPanel", "Flip X", false);
  form.checkBox("FlipY", "GeometryPanel", "Flip Y", false);
  auto& ov = form.image("Overview", "GeometryPanel", 150, 150);
  ov.setStretch(true);
  ov.picture().reset(300, 300);
  DrawPlanet(ov.picture(), 3.2);
  ov.OnMouseDown = [this](const MouseEvent& e) { mouseDowns.push_back(e); };
  auto& pv = get<Image>("PreviewImage");
  pv.OnMouseDown = [this](const MouseEvent& e) { mouseDowns.push_back(e); };
  pv.OnMouseMove = [this](const MouseEvent& e) { mouseMoves.push_back(e); };
  pv.OnDblClick = counter("PreviewImageDblClick");
  pv.setCursor(Cursor::Cross);

  // ---- information page
  form.page("InfoPage", "Info");
  form.label("VersionLabel", "InfoPage", "Pelinoxa 2.0");
  form.label("SystemLabel", "InfoPage", "Linux x86_64, 2 processors");
  auto& mem = form.memo("MemoryReport", "InfoPage");
  mem.add("Memory load: 23 %");
  mem.add("Physical memory: 15.6 GB, free 11.2 GB");

  // ---- tool windows
  auto& fl = form.toolWindow("FrameListWindow", "Frame list", 300, 420);
  (void)fl;
  auto& list = form.checkList("FrameList", "FrameListWindow");
  list.setMultiSelect(true);
  list.add("frame 0001.bmp", CheckState::Checked);
  list.add("frame 0002.bmp", CheckState::Unchecked);
  list.add("frame 0003.bmp (dropped)", CheckState::Grayed);
  list.add("frame 0004.bmp", CheckState::Checked);
  list.add("frame 0005.bmp", CheckState::Checked);
  list.OnClick = counter("FrameListClick");
  list.OnClickCheck = counter("FrameListClickCheck");
  list.OnDblClick = counter("FrameListDblClick");
  form.button("EnableAllButton", "FrameListWindow", "Enable all");
  form.button("SortButton", "FrameListWindow", "Sort");

  auto& reg = form.toolWindow("RegWindow", "Registration properties", 320, 290);
  reg.OnMove = counter("RegWindowMove");
  reg.OnResize = counter("RegWindowResize");
  reg.OnClose = counter("RegWindowClose");
  form.image("imgGraph", "RegWindow", 300, 250);
  DrawGraph(get<Image>("imgGraph").picture());

  // Positioned children: laid out by their bounds.
  form.toolWindow("HistoWindow", "Histogram", 320, 330);
  auto& hg = form.image("Histograph", "HistoWindow", 281, 260);
  hg.setPosition(16, 0);
  DrawGraph(hg.picture());
  auto& lowMarker = form.shape("LowMarker", "HistoWindow", colors::Teal);
  lowMarker.setBounds(15, 262, 25, 19);
  form.button("BitBtn3", "HistoWindow", "Stretch").setBounds(200, 290, 90, 28);

  progress = std::make_unique<ProgressWindow>(form, ui, cancelRequested);

  if (!allPagesVisible)
    for (auto* p : form.pages())
      if (p != &input) p->setVisible(false);
  form.setActivePage(input);
}

}  // namespace pxtest
