#include "app/MainForm.h"

#include "app/ProjectController.h"
#include "app/ShellControls.h"
#include "app/SystemInfo.h"
#include "app/UserSettings.h"
#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "finish/FinalController.h"
#include "finish/FinishControls.h"
#include "finish/ToneController.h"
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
#include "ui/Canvas.h"

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
  projects_ = std::make_unique<ProjectController>(*this);
  WireFinish();

  AddDump("form", [this] { return form_.toJson(); });
  AddDump("input", [this] { return inputSelection_->DumpJson(); });
  AddDump("frames", [this] { return navigation_->DumpJson(); });
}

MainForm::~MainForm() = default;

void MainForm::AddDump(const std::string& name, std::function<px::Json()> dumper) { dumps_[name] = std::move(dumper); }

px::Json MainForm::Dump(const std::string& what) const {
  auto it = dumps_.find(what);
  if (it == dumps_.end()) throw px::PelinoxaError("Nothing to dump named " + what);
  return it->second();
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

// Choosing an input reaches into every later stage; each hook asks the stage that owns the controls.
void MainForm::WireInput() {
  auto& sel = *inputSelection_;
  sel.ResetStages = [this] { ResetStagesForNewInput(); };
  sel.PrepareAlignment = [this] {
    registration_->SetupFFTForBox();
    aligning.FFTsizeGroup.setVisible(true);
  };
  sel.ShowResampling = [this](bool visible) {
    aligning.Resampled.setVisible(visible);
    const bool detail = visible && aligning.Resampled.checked();
    for (ui::Control* c : std::initializer_list<ui::Control*>{&aligning.ResampleSpin, &aligning.ResampleCombo,
                                                              &aligning.ResampleXLabel})
      c->setVisible(detail);
  };
  sel.SwitchOffResampling = [this] { aligning.Resampled.setChecked(false); };
  sel.NewInputLoaded = [this] { stackingControls.ForNewInput(); };
  sel.SizeAlignView = [this](int w, int h) { aligning.AlignImage.setSize(w, h); };
  sel.FitBoxToFrame = [this](int w, int h) {
    if (w < 128 || h < 128) aligning.FFTsizeGroup.setItemIndex(0);
  };
  sel.SetAlignRange = [this](int last) { aligning.AlignSlider.setRange(0, last); };
  sel.SetStackRange = [this](int last) { stackingControls.SetRankRange(last); };
  sel.AllocateImageBuffers = [this](int w, int h) { AllocateImageBuffers(w, h); };
  sel.SetFeaturePoint = [this](int x, int y) {
    ws.reg.HotX = x;
    ws.reg.HotY = y;
  };
  sel.PrepareSingleFrame = [this] {
    wavelets_->ForSingleFrame(stackingControls.Colourprocess2.checked());
    aligning.Resampled.setChecked(false);
    aligning.FFTsizeGroup.setVisible(false);
  };
  sel.StackSingleFrame = [this] {
    stackingControls.ForSingleFrame();
    stacking_->StackSliderChange();
    stacking_->StackButtonClick();
  };
  sel.PagesForSingleFrame = [this] {
    shell.StackingPage.setVisible(true);
    shell.WaveletPage.setVisible(true);
    shell.FinalPage.setVisible(true);
    form_.setActivePage(shell.WaveletPage);
  };
  navigation_->AlignBoxSide = [this] { return 1 << (std::clamp(aligning.FFTsizeGroup.itemIndex(), 0, 3) + 5); };
  frameSource_->LuminanceFitsRead = [this] { stackingControls.LRGB2.setChecked(true); };
  form_.OnDropFiles = [this](const std::vector<std::string>& files) {
    if (form_.activePage() == &shell.InputPage) inputSelection_->DropFiles(files);
  };
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
  st.LuminanceStackAdded = [this] {
    for (ui::Slider* sl : {&waveletControls.RedLRGBslider, &waveletControls.GreenLRGBSlider,
                           &waveletControls.BlueLRGBSlider})
      sl->setEnabled(false);
  };
  st.ScrollProcessedView = [this](int x, int y, int w, int h) { waveletControls.ProcessImage.scrollOnto(x, y, w, h); };
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
  using Stage = registration::RegistrationController::Stage;
  auto page = [this](Stage s) -> ui::Page& { return s == Stage::Aligning ? shell.AligningPage : shell.StackingPage; };
  reg.SetStageVisible = [page](Stage s, bool on) { page(s).setVisible(on); };
  reg.ShowStage = [this, page](Stage s) {
    page(s).setVisible(true);
    form_.setActivePage(page(s));
  };
  reg.StackSizeCaption = [this](const std::string& text) { stackingControls.Stackimagesize.setCaption(text); };
  reg.SetStackRange = [this](int maxPos) { stackingControls.StackSlider.setMax(maxPos); };
  reg.SetStackCut = [this](int cut) { stackingControls.StackSlider.setValue(cut); };
  reg.DifferenceCut = [this] { return stackingControls.differencecutslider.value(); };
  // The Stacking page's copy of the graph keeps its own size (307 x 249); the graph goes to
  // its corner.
  reg.ShowStackGraph = [this](const ui::Bitmap24& g) {
    ui::Bitmap24& copy = stackingControls.StackGraph.picture();
    if (copy.empty()) copy.setSize(307, 249);
    copy.fill(ui::colors::White);
    ui::Canvas(copy).copyRect({0, 0, g.width(), g.height()}, g, {0, 0, g.width(), g.height()});
    stackingControls.StackGraph.invalidate();
  };
  reg.ProcessedViewToCorner = [this] { waveletControls.ProcessImage.setScrollPosition(0, 0); };
  reg.HideProcessingWindows = [this] {
    for (ui::ToolWindow* w : {&finishControls.HLSWindow, &finishControls.GammaWindow, &finishControls.HistoWindow,
                              &waveletControls.FilterWindow})
      w->setVisible(false);
  };
  // Resampled stacks are never expanded, and the processed picture no longer has the frames'
  // geometry to re-align on.
  reg.ResamplingChanged = [this](bool on) {
    if (on) stackingControls.Expandstack.setChecked(false);
    waveletControls.RestartAlign.setVisible(!on);
  };
  // The processed picture as the reference: the button also aligns anew.
  waveletControls.RestartAlign.OnClick = [this] {
    if (registration_->ReferenceFromProcessed(waveletControls.ProcessImage.picture())) registration_->AlignallButtonClick();
  };
  aligning.UseProcessed.OnClick = [this] {
    if (aligning.UseProcessed.checked()) registration_->ReferenceFromProcessed(waveletControls.ProcessImage.picture());
  };
  AddDump("registration", [this] { return registration_->DumpJson(); });
}

// The tone windows and the Final page: the display pass recombines, and its end redraws the
// histogram and the resized view.
void MainForm::WireFinish() {
  tone_ = std::make_unique<finish::ToneController>(services_, finishControls, ws.tone);
  final_ = std::make_unique<finish::FinalController>(
      services_, finishControls,
      finish::FinalDeps{ws.input, ws.planes, input, waveletControls.ProcessImage, stackingControls.SaveSub,
                        stackingControls.Subdirname});
  tone_->Recombine = [this] { wavelets_->RxSlider3Changed(); };
  tone_->Histograms = [this] { return &ws.wavelet.Hist; };
  wavelets_->AfterDisplay = [this] {
    if (waveletControls.Histowin.checked()) tone_->DrawHistogram();
    if (finishControls.Shrinkview.visible() && form_.activePage() == &shell.WaveletPage) final_->RefreshResized();
  };
  final_->FinalPageActive = [this] { return form_.activePage() != &shell.WaveletPage; };
  final_->ResampleFactor = [this] {
    if (stackingControls.Drizzle2.checked()) return 1.0;
    return aligning.Resampled.checked() ? std::clamp(aligning.ResampleSpin.value(), 1.0, 4.0) : 1.0;
  };
  // "Original": the source size, or the expanded stack's.
  final_->OriginalSize = [this] {
    if (stackingControls.Expandstack.checked() && ws.stack.ExpandedWidth > 0)
      return std::pair<int, int>{ws.stack.ExpandedWidth, ws.stack.ExpandedHeight};
    return std::pair<int, int>{ws.input.SourceWidth, ws.input.SourceHeight};
  };
  AddDump("final", [this] {
    px::Json j = px::Json::object();
    const auto& t = ws.tone;
    j["LevelLow"] = t.LevelLow;
    j["LevelHigh"] = t.LevelHigh;
    j["PrevLevelLow"] = t.PrevLevelLow;
    j["PrevLevelHigh"] = t.PrevLevelHigh;
    j["LowMarker"] = t.LowMarker;
    j["HighMarker"] = t.HighMarker;
    j["HistogramScale"] = t.HistogramScale;
    px::Json curve = px::Json::array();
    for (int i : {0, 250, 500, 750, 1000}) curve.push(t.DisplayCurve[i]);
    j["DisplayCurve0_250_500_750_1000"] = curve;
    const auto& c = final_->Crop();
    px::Json crop = px::Json::array();
    for (int v : {c.left, c.top, c.right, c.bottom}) crop.push(v);
    j["CropRect"] = crop;
    j["FinalWidth"] = finishControls.RotateImage.picture().width();
    j["FinalHeight"] = finishControls.RotateImage.picture().height();
    return j;
  });
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

// The later stages' part of "Select input": their controls, then feature, levels, graphs,
// offsets and crop.
void MainForm::ResetStagesForNewInput() {
  const bool hold = waveletControls.HoldWavelets.checked();
  finishControls.ResetForNewInput(hold);
  aligning.UseProcessed.setVisible(false);
  aligning.Optimizebutton.setVisible(false);
  aligning.Optimizebutton.setEnabled(false);
  wavelets_->ResetForNewInput();
  registration_->SetupFFTForBox();
  aligning.ResampleSpin.setValue(2);
  aligning.FFTsizeGroup.setVisible(true);
  for (ui::Page* page : {&shell.AligningPage, &shell.StackingPage, &shell.WaveletPage, &shell.FinalPage})
    page->setVisible(false);

  registration_->ResetForNewInput();
  tone_->ResetForNewInput();
  ws.area.left = ws.area.top = 0;
  wavelets_->ResetForNewInput();
  final_->ResetForNewInput();
}

void MainForm::PageChange() {
  ws.nav.OverlayReset = true;
  if (form_.activePage() == &shell.WaveletPage) wavelets_->PageEntered();
  if (form_.activePage() == &shell.FinalPage) {
    wavelets_->FinalPageEntering();
    final_->PageEntered();
  }
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
  for (ui::Image* view : {&stackingControls.Stackimage, &waveletControls.ProcessImage})
    view->scrollOnto(px::Round(ws.reg.HotX * factor), px::Round(ws.reg.HotY * factor), width, height);
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

// The order matters where noted: the form-settings file is read after the defaults it may
// override and before the controls that follow restored values.
void MainForm::FormCreate(const StartupOptions& opts) {
  options_ = opts;
  shell.LogoLabel.setCaption(VersionText());
  shell.BuildLabel.setCaption(BuildText(opts.programPath));
  shell.SystemLabel.setCaption(GetOSINFO());

  CreateStartBuffers();
  SetStartWeights();
  LocateProgramFolder();
  input.InitialOptionspanel.setExpanded(false);
  ws.reg.WorkStatus = 0;

  ChooseFormSettingsPath();
  RestoreFormSettings();
  CloseWhatNeverStartsOpen();
  // Written back at once (whole, so nothing needs deleting first): a program that stops early
  // still starts from these settings the next time.
  StoreFormSettings();
  FollowRestoredSettings();
  ws.input.AviFileName = "none";

  OpenSettingsStore();
  ReadStartupSettings();
  ws.tone.BuildGammaOneCurve();
  tone_->StartupCurve();
  registration_->SetupFFTForBox();
  SetStartValues();
}

// Planes exist from the start, at 2 x 2 until an input sets the size: the processing area's
// layer planes, the image-size planes, the FITS plane and the calibration planes.
void MainForm::CreateStartBuffers() {
  ApplyProcessAreaLimit(input.Processarea.itemIndex());
  finishControls.ComboBox1.setItemIndex(1);
  AllocateImageBuffers(2, 2);
  ws.planes.FitsPlane.Create(2, 2);
  for (auto& p : ws.planes.DarkPlanes) p.Create(2, 2);
  for (auto& p : ws.planes.FlatPlanes) p.Create(2, 2);
}

// Luminance and alignment weigh the channels by the video luma weights; colour gains are 1.
void MainForm::SetStartWeights() {
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
}

// The program folder is the working folder, or the program's own folder when the program was
// started with one argument (a file opened from the desktop). An "admin.txt" there shows the
// advanced options; a drive root gets a warning.
void MainForm::LocateProgramFolder() {
  auto& in = ws.input;
  in.ProgramDir = px::CurrentDirectory();
  if (options_.args.size() == 1 && !options_.programPath.empty())
    in.ProgramDir = px::ExtractFileDir(px::AbsolutePath(options_.programPath));

  advancedMode_ = px::FileExists(px::JoinPath(in.ProgramDir, "admin.txt"));
  if (advancedMode_) {
    aligning.Secretoptions.setVisible(true);
    aligning.Secretoptions.setExpanded(true);
    stackingControls.Drizzle2.setVisible(true);
    stackingControls.Pixfrac.setVisible(true);
    waveletControls.DoAllspeed.setVisible(true);
  }
  if (in.ProgramDir == "/") ui_.showMessage("You are working in the root of a drive this may lead to problems !");
}

// Next to the program; a program folder that cannot be written keeps it in the user's
// configuration folder.
void MainForm::ChooseFormSettingsPath() {
  formSettingsPath_ = px::JoinPath(ws.input.ProgramDir, "pelinoxa.ini");
  if (!px::IsFolderWritable(ws.input.ProgramDir)) {
    std::string dir = UserConfigDir();
    px::ForceDirectories(dir);
    formSettingsPath_ = px::JoinPath(dir, "form-settings.ini");
  }
}

// Calibration in use, tool windows and resampling never start on, whatever the file says.
void MainForm::CloseWhatNeverStartsOpen() {
  input.UseDarkFrame.setChecked(false);
  input.UseFlatfield.setChecked(false);
  for (ui::ToolWindow* w : {&stackingControls.Stackframeswindow, &input.SelectFrameswindow,
                            &waveletControls.FilterWindow, &finishControls.GammaWindow, &finishControls.HistoWindow,
                            &finishControls.Shrinkview, &aligning.FFTWindow, &aligning.Propertywindow})
    w->setVisible(false);
  aligning.Resampled.setChecked(false);
}

// Controls whose state follows restored values: the LRGB boxes follow "Colour processing", the
// processing area and the resampling filter their restored texts ("full" keeps the area chosen
// with the start buffers).
void MainForm::FollowRestoredSettings() {
  const bool colour = input.ColourStack.checked();
  input.LRGB1.setEnabled(colour);
  stackingControls.LRGB2.setEnabled(colour);
  if (!colour) input.LRGB1.setChecked(false);

  const std::string area = input.Processarea.text();
  const std::vector<std::string> areas = {"full", "2048", "1024", "512", "256", "128"};
  for (int i = 1; i < 6; ++i)
    if (area == areas[i]) {
      input.Processarea.setItemIndex(i);
      ApplyProcessAreaLimit(i);
    }

  const std::string filter = aligning.ResampleCombo.text();
  const std::vector<std::string> filters = {"Bell", "Bspline", "Lanczos", "Mitchell"};
  for (int i = 0; i < 4; ++i)
    if (filter == filters[i]) aligning.ResampleCombo.setItemIndex(i);
}

// The per-user store; tool-window moves are recorded from now on.
void MainForm::OpenSettingsStore() {
  userSettings_ = std::make_unique<UserSettings>(
      options_.settingsPath.empty() ? px::JoinPath(UserConfigDir(), "pelinoxa.ini") : options_.settingsPath);
  userSettings_->onProblem = [this](const std::string& text) { ui_.logProblem(text); };
  if (userSettings_->Open()) settings_.setTarget(userSettings_.get());
  storeOpened_ = true;
  navigation_->SetStoreOpened(true);
  registration_->SetStoreOpened(true);
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
  // Any other argument is ignored.
  if (ext == ".pxp" || ext == ".pxl") form_.runUserAction([&] { OpenFile(arg); });
}

bool MainForm::OpenFile(const std::string& path) {
  const std::string ext = px::LowerCase(px::ExtractFileExt(path));
  if (ext == ".pxp" && OpenProjectFile) OpenProjectFile(path);
  else if (ext == ".pxl" && OpenFrameListFile) OpenFrameListFile(path);
  else return false;
  return true;
}

void MainForm::FormClose() { StoreFormSettings(); }

}  // namespace app
