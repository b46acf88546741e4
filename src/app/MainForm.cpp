#include "app/MainForm.h"

#include "app/ShellControls.h"
#include "app/SystemInfo.h"
#include "app/UserSettings.h"
#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "finish/FinishControls.h"
#include "frames/FrameNavigation.h"
#include "frames/FrameSource.h"
#include "frames/InputSelection.h"
#include "frames/InputControls.h"
#include "frames/MemoryReport.h"
#include "project/BigIni.h"
#include "project/FormSnapshot.h"
#include "registration/AligningControls.h"
#include "registration/RegistrationController.h"
#include "stacking/StackingController.h"
#include "stacking/StackingControls.h"
#include "wavelets/WaveletController.h"
#include "wavelets/WaveletControls.h"

namespace app {

namespace {

// Controls are declared before the objects that keep references to them, so the owning
// pointers are filled in the member-initialiser order below.
template <class T>
T& Make(std::unique_ptr<T>& slot, ui::Form& f) {
  slot = std::make_unique<T>(f);
  return *slot;
}

constexpr int kAreaLimits[] = {4096, 2048, 1024, 512, 256, 128};

}  // namespace

MainForm::MainForm(ui::UiServices& ui)
    : ui_(ui),
      shell(Make(shellOwned_, form_)),
      input(Make(inputOwned_, form_)),
      aligning(Make(aligningOwned_, form_)),
      stackingControls(Make(stackingOwned_, form_)),
      waveletControls(Make(waveletOwned_, form_)),
      finishControls(Make(finishOwned_, form_)),
      progress_(form_, ui, ws.input.CancelRequested),
      services_{form_, ui, settings_, progress_} {
  form_.setUiServices(&ui_);
  form_.setCaption(kAppTitle);
  frameSource_ = std::make_unique<frames::FrameSource>(services_, ws.table, ws.input, input, ws.planes);
  navigation_ = std::make_unique<frames::FrameNavigation>(services_, ws.table, ws.input, ws.nav, input, *frameSource_);
  inputSelection_ = std::make_unique<frames::InputSelection>(services_, ws.table, ws.input, input, *frameSource_,
                                                             *navigation_);
  registration_ = std::make_unique<registration::RegistrationController>(
      services_, ws.reg, aligning,
      registration::RegistrationContext{ws.table, ws.input, ws.nav, input, *frameSource_, *navigation_, ws.tone});
  stacking_ = std::make_unique<stacking::StackingController>(
      services_, stackingControls,
      stacking::StackingDeps{ws.table, ws.input, ws.planes, input, *frameSource_, aligning, ws.reg, ws.stack});
  wavelets_ = std::make_unique<wavelets::WaveletController>(
      services_, waveletControls,
      wavelets::WaveletDeps{ws.input, ws.planes, ws.area, input, aligning, ws.reg, ws.stack, stackingControls, ws.tone,
                            finishControls, ws.wavelet});
  WireShell();
  WireInput();
  WireRegistration();
  WireStacking();
  WireWavelets();

  AddDump("form", [this] { return form_.toJson(); });
  AddDump("input", [this] {
    const auto& in = ws.input;
    px::Json j = px::Json::object();
    j["InputKind"] = static_cast<int>(in.InputKind);
    j["InputLoaded"] = in.InputLoaded;
    j["SingleImage"] = in.SingleImage;
    j["FitsStretch"] = in.FitsStretch;
    j["FitsChannel"] = in.FitsChannel;
    j["VideoInfo"] = in.VideoInfo;
    j["AviFileName"] = in.AviFileName;
    j["InputDir"] = in.InputDir;
    j["FrameCount"] = in.FrameCount;
    j["SelectedCount"] = in.SelectedCount;
    j["CurrentFrame"] = input.PreviewSlider.value();
    j["FrameWidth"] = in.FrameWidth;
    j["FrameHeight"] = in.FrameHeight;
    j["ImageWidth"] = in.ImageWidth;
    j["ImageHeight"] = in.ImageHeight;
    j["SourceWidth"] = in.SourceWidth;
    j["SourceHeight"] = in.SourceHeight;
    j["Caption"] = form_.caption();
    j["FramesLabel"] = input.Frames.caption();
    px::Json list = px::Json::array();
    for (const auto& item : input.SelectFramesChecklist.items()) {
      px::Json e = px::Json::object();
      e["text"] = item.text;
      e["state"] = item.state == ui::CheckState::Checked ? "checked"
                   : item.state == ui::CheckState::Grayed ? "grayed" : "unchecked";
      list.push(e);
    }
    j["frameList"] = list;
    return j;
  });
  AddDump("frames", [this] {
    const auto& in = ws.input;
    px::Json j = px::Json::object();
    px::Json s = px::Json::object();
    s["InputKind"] = static_cast<int>(in.InputKind);
    s["InputLoaded"] = in.InputLoaded;
    s["FitsStretch"] = in.FitsStretch;
    s["AviFileName"] = in.AviFileName;
    s["FrameCount"] = in.FrameCount;
    s["SelectedCount"] = in.SelectedCount;
    s["SourceWidth"] = in.SourceWidth;
    s["SourceHeight"] = in.SourceHeight;
    s["FrameWidth"] = in.FrameWidth;
    s["FrameHeight"] = in.FrameHeight;
    s["ImageWidth"] = in.ImageWidth;
    s["ImageHeight"] = in.ImageHeight;
    s["CurrentFrameIndex"] = in.CurrentFrameIndex;
    s["DroppedFramesSeen"] = in.DroppedFramesSeen;
    s["ProgramDir"] = in.ProgramDir;
    j["input"] = s;
    px::Json frames = px::Json::array();
    px::Json ranks = px::Json::array();
    int n = std::min(in.FrameCount, frames::MaxFrames);
    for (int i = 0; i < n; ++i) {
      const auto& r = ws.table[i];
      px::Json f = px::Json::object();
      f["ShiftX"] = r.ShiftX;
      f["ShiftY"] = r.ShiftY;
      f["ShiftXa"] = r.ShiftXa;
      f["ShiftYa"] = r.ShiftYa;
      f["FineShiftX"] = r.FineShiftX;
      f["FineShiftY"] = r.FineShiftY;
      f["Quality"] = r.Quality;
      f["Difference"] = r.Difference;
      f["QualityA"] = r.QualityA;
      f["DifferenceA"] = r.DifferenceA;
      f["BoxContrast"] = r.BoxContrast;
      f["OptimizeGain"] = r.OptimizeGain;
      f["Excluded"] = r.Excluded;
      f["Dropped"] = r.Dropped;
      if (in.stillInput()) f["FileName"] = ws.table.fileNames[i];
      frames.push(f);
      const auto& k = ws.table.ranks[i];
      px::Json e = px::Json::object();
      e["FrameIndex"] = k.FrameIndex;
      e["RankQuality"] = k.RankQuality;
      e["StackQuality"] = k.StackQuality;
      ranks.push(e);
    }
    j["frames"] = frames;
    j["ranks"] = ranks;
    return j;
  });
}

MainForm::~MainForm() = default;

void MainForm::AddDump(const std::string& name, std::function<px::Json()> dumper) { dumps_[name] = std::move(dumper); }

px::Json MainForm::Dump(const std::string& what) const {
  auto it = dumps_.find(what);
  if (it == dumps_.end()) throw px::PelinoxaError("Nothing to dump named " + what);
  return it->second();
}

std::vector<std::string> MainForm::DumpNames() const {
  std::vector<std::string> names;
  for (auto& [k, v] : dumps_) names.push_back(k);
  return names;
}

void MainForm::WireShell() {
  shell.MemoryButton.OnClick = [this] {
    shell.MemoryMemo.clear();
    ReportMemory();
    shell.MemoryWindow.setVisible(!shell.MemoryWindow.visible());
  };
  progress_.window.OnMove = [this] {
    if (!storeOpened_) return;
    settings_.writeInteger("Toolwin", "MessTop", progress_.window.top());
    settings_.writeInteger("Toolwin", "Messleft", progress_.window.left());
  };
  form_.OnPageChange = [this] { PageChange(); };
}

void MainForm::WireInput() {
  auto& sel = *inputSelection_;
  sel.ResetStages = [this] { ResetStagesForNewInput(); };
  sel.SetupFFT = [this] { registration_->SetupFFTForBox(); };
  sel.StackSingleFrame = [this] {
    stacking_->StackSliderChange();
    stacking_->StackButtonClick();
  };
  sel.AllocateImageBuffers = [this](int w, int h) { AllocateImageBuffers(w, h); };
  sel.SetFeaturePoint = [this](int x, int y) {
    ws.reg.HotX = x;
    ws.reg.HotY = y;
  };
  sel.PagesForSingleFrame = [this] {
    shell.StackingPage.setVisible(true);
    shell.WaveletPage.setVisible(true);
    shell.FinalPage.setVisible(true);
    form_.setActivePage(shell.WaveletPage);
  };
  form_.OnDropFiles = [this](const std::vector<std::string>& files) { inputSelection_->DropFiles(files); };
}

// Stacking's seams and its state for the batch tool.
void MainForm::WireStacking() {
  auto& st = *stacking_;
  st.DrawAlignGraph = [this] { registration_->DrawAlignGraph(); };
  st.AllocateImageBuffers = [this](int w, int h) { AllocateImageBuffers(w, h); };
  st.Engine = [this]() -> registration::FftEngine& { return registration_->Engine(); };
  st.LuminanceWeights = [this] {
    return std::array<float, 3>{ws.wavelet.LumWeightR, ws.wavelet.LumWeightG, ws.wavelet.LumWeightB};
  };
  st.SizeLaterViews = [this](int w, int h) {
    for (ui::Image* view : {&waveletControls.ProcessImage, &finishControls.RotateImage}) {
      view->picture().setSize(w, h);
      view->invalidate();
    }
  };
  st.ShowLaterPages = [this] {
    shell.WaveletPage.setVisible(true);
    shell.FinalPage.setVisible(true);
  };
  st.ShowStackingPage = [this] {
    shell.StackingPage.setVisible(true);
    form_.setActivePage(shell.StackingPage);
  };
  // The feature point of a new input also centres resampled stacking's window.
  auto setFeature = inputSelection_->SetFeaturePoint;
  inputSelection_->SetFeaturePoint = [this, setFeature](int x, int y) {
    if (setFeature) setFeature(x, y);
    ws.stack.StackX = x;
    ws.stack.StackY = y;
  };
  AddDump("stack", [this] { return stacking_->DumpJson(); });
}

// The wavelet stage learns of new stacks and page entries; its state for the batch tool.
void MainForm::WireWavelets() {
  stacking_->StackBuilt = [this] { wavelets_->StackBuilt(); };
  auto pagesForSingle = inputSelection_->PagesForSingleFrame;
  inputSelection_->PagesForSingleFrame = [this, pagesForSingle] {
    if (pagesForSingle) pagesForSingle();
    wavelets_->PageEntered();
  };
  AddDump("wavelets", [this] { return wavelets_->DumpJson(); });
}

// The registration stage: its per-frame step, the feature click, the seams into stacking and
// its state for the batch tool.
void MainForm::WireRegistration() {
  auto& reg = *registration_;
  frameSource_->RegisterFrame = [this] { registration_->RegisterFrame(); };
  input.PreviewImage.OnMouseDown = [this](const ui::MouseEvent& e) { registration_->PreviewImageMouseDown(e.x, e.y); };
  reg.RunStacking = [this] { stacking_->StackButtonClick(); };
  reg.RefreshStackSelection = [this] { stacking_->StackSliderChange(); };
  reg.FillStackList = [this] { stacking_->FillStackList(); };
  // The optimizer subtracts the darkframe stacking has loaded (null when none is in use).
  reg.Darkframe = [this] { return stacking_->Darkframe(); };
  reg.Flatfield = [this]() -> const frames::Single2dArray* {
    const frames::Single2dArray& g = ws.planes.FlatPlanes[frames::G];
    return input.UseFlatfield.checked() && ws.stack.FlatWidth > 0 && !g.empty() ? &g : nullptr;
  };
  reg.AfterAutoStack = [this] { PlaceAreaOnFeatureAfterAutoStack(); };
  AddDump("registration", [this] { return registration_->DumpJson(); });
}

// "Align && stack" ends on the Wavelet Processing page with the processing area centred on the
// feature, in stack coordinates (scaled like the stack), kept inside the stack.
void MainForm::PlaceAreaOnFeatureAfterAutoStack() {
  double factor = 1;
  if (aligning.Drizzling.checked()) factor = 2;
  else if (aligning.Resampled.checked()) factor = aligning.ResampleSpin.value();
  const int x = px::Round(ws.reg.HotX * factor), y = px::Round(ws.reg.HotY * factor);
  const int w = ws.stack.StackWidth, h = ws.stack.StackHeight;
  ws.area.left = std::max(0, std::min(x - ws.area.width / 2, w - ws.area.width));
  ws.area.top = std::max(0, std::min(y - ws.area.height / 2, h - ws.area.height));
  const bool colour = input.ColourStack.checked();
  input.LRGB1.setEnabled(colour);
  stackingControls.LRGB2.setEnabled(colour);
  shell.WaveletPage.setVisible(true);
  form_.setActivePage(shell.WaveletPage);
  wavelets_->PageEntered();
}

// The later stages' part of "Select input": feature, levels, graphs, offsets, crop.
void MainForm::ResetStagesForNewInput() {
  registration_->ResetForNewInput();
  ws.tone.LevelLow = 0;
  ws.tone.LevelHigh = 255;
  ws.area.left = ws.area.top = 0;
  wavelets_->ResetForNewInput();
}

void MainForm::PageChange() {
  ws.nav.OverlayReset = true;
  if (form_.activePage() == &shell.WaveletPage) wavelets_->PageEntered();
  if (form_.activePage() == &shell.FinalPage) wavelets_->FinalPageEntering();
  if (form_.activePage() == &shell.InfoPage) {
    shell.MemoryMemo.clear();
    ReportMemory();
    shell.InfoMemory.setProperty("Text", shell.MemoryMemo.text());
    shell.SystemLabel.setCaption(GetOSINFO());
  }
}

void MainForm::ReportMemory() {
  for (const auto& line : frames::MemoryReportLines(frames::ReadMemoryStatus())) shell.MemoryMemo.add(line);
}

void MainForm::AllocateImageBuffers(int width, int height) {
  frames::PlaceProcessArea(ws.area, width, height);
  // The views keep their scroll position on the feature, scaled like the stack.
  double factor = 1;
  if (aligning.Resampled.checked()) factor = aligning.ResampleSpin.value();
  if (aligning.Drizzling.checked()) factor = 2;
  for (ui::Image* view : {&stackingControls.Stackimage, &waveletControls.ProcessImage}) {
    int sx = view->scrollX(), sy = view->scrollY();
    if (width > 817) sx = px::Round(ws.reg.HotX * factor) - 408;
    if (height > 625) sy = px::Round(ws.reg.HotY * factor) - 312;
    view->setScrollPosition(sx, sy);
  }
  frames::AllocatePlanes(ws.planes, width, height);
  ReportMemory();
}

void MainForm::ApplyProcessAreaLimit(int itemIndex) {
  if (itemIndex < 0 || itemIndex > 5) itemIndex = 3;
  ws.area.limit = kAreaLimits[itemIndex];
  ws.area.width = ws.area.limit;
  ws.area.height = ws.area.limit;
  ws.planes.CreateLayerPlanes(ws.area.limit);
}

// Written to a temporary and renamed over the old file, so a failed write keeps the last one.
void MainForm::StoreFormSettings() {
  try {
    project::TBigIniFile ini("");
    project::StoreFormSnapshot(form_, ini);
    px::WriteFileAtomic(formSettingsPath_, ini.ToText());
  } catch (const std::exception& e) {
    ui_.logProblem(std::string("The form settings cannot be kept: ") + e.what());
  }
}

void MainForm::RestoreFormSettings() {
  if (!px::FileExists(formSettingsPath_)) return;
  try {
    project::TBigIniFile ini(formSettingsPath_);
    for (const std::string& problem : project::RestoreFormSnapshot(form_, ini))
      ui_.logProblem("Form settings \"" + formSettingsPath_ + "\": " + problem);
  } catch (const std::exception& e) {
    ui_.logProblem(std::string("The form settings cannot be read: ") + e.what());
  }
}

void MainForm::FormCreate(const StartupOptions& opts) {
  options_ = opts;
  auto& in = ws.input;

  // 1. Version texts.
  shell.LogoLabel.setCaption(VersionText());
  shell.BuildLabel.setCaption(BuildText(opts.programPath));
  shell.SystemLabel.setCaption(GetOSINFO());

  // 2. Processing area and layer planes.
  ApplyProcessAreaLimit(input.Processarea.itemIndex());
  finishControls.ComboBox1.setItemIndex(1);

  // 3. Image-size planes, FITS plane and calibration planes at 2 x 2.
  AllocateImageBuffers(2, 2);
  ws.planes.FitsPlane.Create(2, 2);
  for (auto& p : ws.planes.DarkPlanes) p.Create(2, 2);
  for (auto& p : ws.planes.FlatPlanes) p.Create(2, 2);

  // 4. Luminance weights, alignment weights, colour balance.
  ws.wavelet.LumWeightR = 0.299f;
  ws.wavelet.LumWeightG = 0.587f;
  ws.wavelet.LumWeightB = 0.114f;
  waveletControls.RedLRGBslider.setValue(299);
  waveletControls.GreenLRGBSlider.setValue(587);
  waveletControls.BlueLRGBSlider.setValue(114);
  ws.nav.AlignWeightR = ws.wavelet.LumWeightR;
  ws.nav.AlignWeightG = ws.wavelet.LumWeightG;
  ws.nav.AlignWeightB = ws.wavelet.LumWeightB;
  ws.tone.ChannelGainR = ws.tone.ChannelGainG = ws.tone.ChannelGainB = 1;

  // 5. Program folder.
  in.ProgramDir = px::CurrentDirectory();
  if (opts.args.size() == 1 && !opts.programPath.empty()) in.ProgramDir = px::ExtractFileDir(px::AbsolutePath(opts.programPath));

  // 6. Advanced mode.
  advancedMode_ = px::FileExists(px::JoinPath(in.ProgramDir, "admin.txt"));
  if (advancedMode_) {
    aligning.Secretoptions.setVisible(true);
    aligning.Secretoptions.setExpanded(true);
    stackingControls.Drizzle2.setVisible(true);
    stackingControls.Pixfrac.setVisible(true);
    waveletControls.DoAllspeed.setVisible(true);
  }

  // 7. A drive root is an unsafe working folder.
  if (in.ProgramDir == "/") ui_.showMessage("You are working in the root of a drive this may lead to problems !");

  // 8.
  input.InitialOptionspanel.setExpanded(false);
  ws.reg.WorkStatus = 0;

  // 9. Form-settings file: restored (step 11 replaces it whole, so it is not deleted first).
  // A program folder that cannot be written keeps it in the user's configuration folder.
  formSettingsPath_ = px::JoinPath(in.ProgramDir, "pelinoxa.ini");
  if (!px::IsFolderWritable(in.ProgramDir)) {
    std::string dir = UserConfigDir();
    px::ForceDirectories(dir);
    formSettingsPath_ = px::JoinPath(dir, "form-settings.ini");
  }
  RestoreFormSettings();

  // 10.
  input.UseDarkFrame.setChecked(false);
  input.UseFlatfield.setChecked(false);
  for (const char* w : {"Stackframeswindow", "SelectFrameswindow", "FilterWindow", "GammaWindow", "HistoWindow",
                        "Shrinkview", "FFTWindow", "Propertywindow"})
    form_.control(w).setVisible(false);
  aligning.Resampled.setChecked(false);

  // 11.
  StoreFormSettings();

  // 12. The LRGB boxes follow "Colour processing".
  bool colour = input.ColourStack.checked();
  input.LRGB1.setEnabled(colour);
  stackingControls.LRGB2.setEnabled(colour);
  if (!colour) input.LRGB1.setChecked(false);

  // 13. Processing area from the restored text ("full" keeps step 2's value).
  {
    const std::string t = input.Processarea.text();
    const std::vector<std::string> texts = {"full", "2048", "1024", "512", "256", "128"};
    for (int i = 1; i < 6; ++i)
      if (t == texts[i]) {
        input.Processarea.setItemIndex(i);
        ApplyProcessAreaLimit(i);
      }
  }

  // 14. The resampling filter follows its text.
  {
    const std::string t = aligning.ResampleCombo.text();
    const std::vector<std::string> names = {"Bell", "Bspline", "Lanczos", "Mitchell"};
    for (int i = 0; i < 4; ++i)
      if (t == names[i]) aligning.ResampleCombo.setItemIndex(i);
  }

  // 16.
  in.AviFileName = "none";

  // 17. The settings store; tool-window moves are recorded from now on.
  userSettings_ = std::make_unique<UserSettings>(
      opts.settingsPath.empty() ? px::JoinPath(UserConfigDir(), "pelinoxa.ini") : opts.settingsPath);
  userSettings_->onProblem = [this](const std::string& text) { ui_.logProblem(text); };
  if (userSettings_->Open()) settings_.setTarget(userSettings_.get());
  storeOpened_ = true;
  navigation_->SetStoreOpened(true);
  registration_->SetStoreOpened(true);

  // 19.
  ReadStartupSettings();

  // 20. Tone table for gamma 1; the FFT engine for the alignment box.
  ws.tone.BuildGammaOneCurve();
  registration_->SetupFFTForBox();

  // 21.
  SetStartValues();
}

void MainForm::ReadStartupSettings() {
  auto& st = settings_;
  auto& in = ws.input;
  if (in.InputDir.empty()) in.InputDir = px::CurrentDirectory();
  input.DirectoryListBox1.setText(in.InputDir);
  if (st.valueExists("Files", "Dir")) {
    std::string dir = st.readString("Files", "Dir", "nonex");
    if (px::DirectoryExists(dir)) {
      in.InputDir = dir;
      input.DirectoryListBox1.setText(dir);
    } else {
      ui_.messageBox("Previously used directory " + dir + " not found", ui::MsgKind::Warning, ui::ButtonsOK);
    }
  } else {
    st.writeString("Files", "Dir", in.InputDir);
  }
  if (!st.valueExists("Files", "Lasttype")) st.writeString("Files", "Lasttype", "AVI");
  if (!st.valueExists("Files", "SaveDir")) st.writeString("Files", "SaveDir", in.InputDir);
}

void MainForm::SetStartValues() {
  auto& in = ws.input;
  ws.reg.HotX = ws.reg.HotY = 0;
  ws.tone.LevelLow = 0;
  ws.tone.LevelHigh = 255;
  in.InputLoaded = false;
  in.InputKind = frames::ikAvi;
  aligning.AlignSlider.setVisible(false);
  input.Frames.setVisible(false);
  aligning.Optimizebutton.setEnabled(false);
  input.PreviewImage.setEnabled(true);
  in.CancelRequested = false;
  shell.AligningPage.setVisible(false);
  shell.StackingPage.setVisible(false);
  shell.WaveletPage.setVisible(false);
  shell.FinalPage.setVisible(false);
  for (int n = 0; n < 6; ++n) waveletControls.LayerSliders[n]->setValue(10);
  waveletControls.ContrastSlider.setValue(100);
  waveletControls.BrightnessSlider.setValue(0);
  ws.area.left = ws.area.top = 0;
  ws.reg.TrackX = ws.reg.TrackY = ws.reg.TrackVX = ws.reg.TrackVY = 0;
  ws.table.Reset();
  ws.reg.BestQuality = 0;
  ws.reg.BestQualityFrame = 0;
  ws.nav.MarkerX = ws.nav.MarkerY = -1;
  form_.setActivePage(shell.InputPage);
}

void MainForm::FormShow() {
  if (shownOnce_) return;
  shownOnce_ = true;
  RestoreFormSettings();
}

void MainForm::OpenCommandLineFile() {
  if (options_.args.size() != 1) return;
  const std::string& arg = options_.args.front();
  const std::string ext = px::LowerCase(px::ExtractFileExt(arg));
  form_.runUserAction([&] {
    if (ext == ".pxp" && OpenProjectFile) OpenProjectFile(arg);
    else if (ext == ".pxl" && OpenFrameListFile) OpenFrameListFile(arg);
    // Any other argument is ignored.
  });
}

void MainForm::FormClose() { StoreFormSettings(); }

}  // namespace app
