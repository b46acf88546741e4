#include "app/ProjectController.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "app/MainForm.h"
#include "app/ShellControls.h"
#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "frames/FileCheck.h"
#include "frames/FrameNavigation.h"
#include "frames/InputControls.h"
#include "frames/InputSelection.h"
#include "project/BigIni.h"
#include "project/FormSnapshot.h"
#include "project/FrameListFile.h"
#include "registration/AligningControls.h"
#include "registration/RegistrationController.h"
#include "stacking/StackingController.h"
#include "stacking/StackingControls.h"
#include "wavelets/WaveletController.h"
#include "wavelets/WaveletControls.h"

namespace app {

static_assert(project::kMaxProjectFrames == frames::MaxFrames);

namespace {

const char* TypeText(frames::InputKind k) {
  switch (k) {
    case frames::ikAvi: return "AVI";
    case frames::ikFits: return "FIT";
    case frames::ikJpeg: return "JPG";
    case frames::ikTiff: return "TIF";
    default: return "BMP";
  }
}

frames::InputKind KindOfType(const std::string& t) {
  if (t == "FIT") return frames::ikFits;
  if (t == "JPG") return frames::ikJpeg;
  if (t == "TIF") return frames::ikTiff;
  return frames::ikBmp;
}

// The kind of a frame list's frames from the end of its first path.
frames::InputKind KindOfListPath(const std::string& path) {
  const std::string l = px::LowerCase(path);
  auto ends = [&](const char* tail) { return px::EndsWithNoCase(l, tail); };
  if (ends("jpg")) return frames::ikJpeg;
  if (ends("fit") || ends("fts") || ends("fits")) return frames::ikFits;
  if (ends("tif")) return frames::ikTiff;
  return frames::ikBmp;
}

// "Frame N" of a project named as the user sees it, with the list of what is missing.
std::string MissingText(const std::vector<std::string>& missing) {
  std::string text;
  const size_t shown = std::min<size_t>(missing.size(), 10);
  for (size_t i = 0; i < shown; ++i) text += "\n" + missing[i];
  if (missing.size() > shown) text += "\n... and " + std::to_string(missing.size() - shown) + " more";
  return text;
}

}  // namespace

ProjectControls::ProjectControls(ui::Form& f)
    : SaveProject(f.button("SaveProject", "MainBar", "Save")),
      BitBtn7(f.button("BitBtn7", "MainBar", "Save as")),
      LoadProject(f.button("LoadProject", "MainBar", "Project Load")) {}

ProjectController::ProjectController(MainForm& mf) : mf_(mf), c_(mf.form()) {
  c_.SaveProject.OnClick = [this] { SaveProjectClick(); };
  c_.BitBtn7.OnClick = [this] { BitBtn7Click(); };
  c_.LoadProject.OnClick = [this] { LoadProjectClick(); };
  mf.input.Framelistsavebutton.OnClick = [this] { FramelistsavebuttonClick(); };
  mf.input.Framelistloadbutton.OnClick = [this] { FramelistloadbuttonClick(); };
  mf.input.AddFramesButton.OnClick = [this] { AddFramesButtonClick(); };
  mf.OpenProjectFile = [this](const std::string& p) { LoadProject(p); };
  mf.OpenFrameListFile = [this](const std::string& p) { LoadFrameList(p, true); };
  // A finished stack is the last stage a project records.
  auto built = mf.stacking().StackBuilt;
  mf.stacking().StackBuilt = [this, built] {
    if (!mf_.ws.stack.CalibrationMode) mf_.ws.reg.WorkStatus = registration::wsStacked;
    if (built) built();
  };
}

// ---- Saving ----

project::ProjectData ProjectController::Collect(bool saveAs) const {
  const Workspace& ws = mf_.ws;
  const auto& in = ws.input;
  MainForm& mf = mf_;
  project::ProjectData p;
  p.filetype = TypeText(in.InputKind);
  p.filedir = in.InputDir;
  if (in.InputKind == frames::ikAvi) p.filename = in.AviFileName;
  p.useDark = mf.input.UseDarkFrame.checked();
  p.darkfile = ws.stack.DarkFile;
  p.darkfiletype = ws.stack.DarkFileType;
  p.useFlat = mf.input.UseFlatfield.checked();
  p.flatfile = ws.stack.FlatFile;
  p.flatfiletype = ws.stack.FlatFileType;
  p.progstatus = ws.reg.WorkStatus;
  const ui::Page* page = mf.form().activePage();
  const ui::Page* pages[] = {&mf.shell.InputPage, &mf.shell.AligningPage, &mf.shell.StackingPage,
                             &mf.shell.WaveletPage, &mf.shell.FinalPage};
  for (int i = 0; i < 5; ++i)
    if (page == pages[i] && !(saveAs && i == 4)) p.activepage = i + 1;
  p.usedframes = ws.stack.StackExists ? std::max(ws.stack.StackedCount, 1) : 1;
  p.refframe = ws.reg.RefFrame;
  p.hasStackSliders = p.progstatus > 3;
  p.stackslider = mf.stackingControls.StackSlider.value();
  p.stackdifslider = mf.stackingControls.differencecutslider.value();
  p.hasWavelet = p.progstatus == 4;
  for (int i = 0; i < 6; ++i) p.layer[i] = mf.waveletControls.LayerSliders[i]->value();
  p.initial = px::Round(mf.waveletControls.LevelStep.value());
  p.step = px::Round(mf.waveletControls.Multiplicant.value());
  p.scaletype = std::max(mf.waveletControls.Scaletype.itemIndex(), 0);
  p.contrast = mf.waveletControls.ContrastSlider.value();
  p.brightness = mf.waveletControls.BrightnessSlider.value();
  p.hotx = ws.reg.HotX;
  p.hoty = ws.reg.HotY;
  p.stackx = ws.stack.StackX;
  p.stacky = ws.stack.StackY;
  p.resampled = mf.aligning.Resampled.checked();
  p.resamplevalue = std::clamp(px::Round(mf.aligning.ResampleSpin.value()), 1, 16);
  p.interlaced = mf.input.Interlaced.checked();

  const int n = std::clamp(in.FrameCount, 0, frames::MaxFrames);
  p.frames.resize(n);
  p.rank.resize(n);
  for (int i = 0; i < n; ++i) {
    const frames::FrameRecord& r = ws.table[i];
    project::ProjectFrame& f = p.frames[i];
    if (in.stillInput()) {
      const std::string& full = ws.table.fileNames[i];
      // Frames outside the input folder (merged lists) keep their whole path.
      f.im = px::ExtractFileDir(full) == in.InputDir ? px::ExtractFileName(full) : full;
    }
    f.ex = r.Excluded != 0;
    f.x = r.ShiftX;
    f.y = r.ShiftY;
    f.fx = r.FineShiftX;
    f.fy = r.FineShiftY;
    if (f.fx != static_cast<float>(f.x) || f.fy != static_cast<float>(f.y)) p.fineShifts = true;
    f.d = r.Difference;
    f.q = r.Quality;
    f.xa = r.ShiftXa;
    f.ya = r.ShiftYa;
    f.da = r.DifferenceA;
    f.qa = r.QualityA;
    p.rank[i] = std::clamp(ws.table.ranks[i].FrameIndex, 0, std::max(n - 1, 0));
  }
  project::TBigIniFile form("");
  project::StoreFormSnapshot(mf.form(), form);
  form.ReadSectionValues("Form", p.formLines);
  return p;
}

bool ProjectController::SaveProject(const std::string& path, bool saveAs) {
  auto& ui = mf_.uiServices();
  const project::ProjectData p = Collect(saveAs);
  auto& progress = mf_.progress();
  progress.start("Writing projectfile");
  try {
    px::WriteFileAtomic(path, project::WriteProjectText(p));
  } catch (const std::exception& e) {
    progress.hide();
    ui.showError(std::string(e.what()) + "\nThe project was not saved; an earlier file of that name is unchanged.");
    return false;
  }
  progress.setLine2(" ");
  progress.hide();
  // The snapshot also goes to the form-settings file and, as the program always did, to
  // "savetempor.ini" beside the input; neither is needed to read the project back.
  std::string snapshot = "[Form]\n";
  for (const auto& line : p.formLines) snapshot += line + "\n";
  for (const std::string& target :
       {px::JoinPath(mf_.ws.input.InputDir, "savetempor.ini"), mf_.formSettingsPath()}) {
    try {
      px::WriteFileAtomic(target, snapshot + "\n");
    } catch (const std::exception& e) {
      ui.logProblem(std::string("The settings snapshot cannot be kept: ") + e.what());
    }
  }
  RestoreCaption();
  return true;
}

void ProjectController::RestoreCaption() {
  const auto& in = mf_.ws.input;
  if (in.InputKind == frames::ikAvi) {
    mf_.form().setCaption(std::string("Pelinoxa processing AVI: ") + in.AviFileName);
  } else if (in.FrameCount > 0) {
    mf_.form().setCaption(std::string(frames::KindPluralPrefix(in.InputKind)) + mf_.ws.table.fileNames[0]);
  }
}

void ProjectController::SaveProjectClick() {
  auto& ui = mf_.uiServices();
  if (!mf_.ws.input.InputLoaded) {
    ui.showMessage("Nothing to save: no input is loaded");
    return;
  }
  ui::FileDialogRequest req;
  req.save = true;
  req.filter = kProjectSaveFilter;
  req.defaultExt = "pxp";
  req.initialDir = mf_.ws.input.InputDir;
  req.fileName = mf_.ws.input.DefaultSaveName;
  ui::FileDialogResult res = ui.fileDialog(req);
  if (!res.accepted || res.files.empty()) return;
  std::string path = res.files.front();
  if (px::ExtractFileExt(path).empty()) path += ".pxp";
  // The old file is replaced only once the new one is complete.
  if (px::FileExists(path) && !ui.askYesNo(" Overwrite existing projectfile ?", ui::MsgKind::Confirmation)) return;
  SaveProject(path, false);
}

void ProjectController::BitBtn7Click() {
  auto& ui = mf_.uiServices();
  auto& in = mf_.ws.input;
  if (in.InputKind != frames::ikAvi || !in.InputLoaded) {
    ui.showMessage("Only allowed for AVI-projects");
    return;
  }
  ui::FileDialogRequest req;
  req.save = true;
  req.filter = kProjectSaveFilter;
  req.defaultExt = "pxp";
  req.initialDir = in.InputDir;
  std::time_t t = 0;
  if (px::FileModificationTime(in.AviPath, t)) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "_%Y%m%d_%H%M%S", &tm);
    req.fileName = buf;
  }
  ui::FileDialogResult res = ui.fileDialog(req);
  if (!res.accepted || res.files.empty()) return;
  std::string path = res.files.front();
  if (px::ExtractFileExt(path).empty()) path += ".pxp";
  if (px::FileExists(path) && !ui.askYesNo(" Overwrite existing projectfile ?", ui::MsgKind::Confirmation)) return;

  // The video is renamed in its own folder; an existing file of the new name is never replaced.
  const std::string oldPath = in.AviPath, oldName = in.AviFileName;
  const std::string newName = px::ChangeFileExt(px::ExtractFileName(path), "") + ".avi";
  const std::string newPath = px::JoinPath(px::ExtractFileDir(oldPath), newName);
  const bool rename = newPath != oldPath;
  if (rename && !px::RenameFile(oldPath, newPath)) {
    ui.showError("Avi does allready exist, no renaming !! ");
    return;
  }
  in.AviPath = newPath;
  in.AviFileName = newName;
  if (!SaveProject(path, true) && rename) {
    // The project names the new video; without it the capture keeps its old name.
    if (px::RenameFile(newPath, oldPath)) {
      in.AviPath = oldPath;
      in.AviFileName = oldName;
    }
  }
}

// ---- Loading ----

void ProjectController::LoadProjectClick() {
  auto& ui = mf_.uiServices();
  ui::FileDialogRequest req;
  req.filter = kProjectLoadFilter;
  req.defaultExt = "pxp";
  req.initialDir = mf_.ws.input.InputDir;
  ui::FileDialogResult res = ui.fileDialog(req);
  if (!res.accepted || res.files.empty()) return;
  if (res.filterIndex == 2) LoadFrameList(res.files.front(), true);
  else LoadProject(res.files.front());
}

// Handlers run while a long run pumps events; a new input then would pull the frames away.
bool ProjectController::RunActive() const {
  const auto& in = mf_.ws.input;
  if (!in.AlignPass && !in.StackPass) return false;
  mf_.uiServices().showMessage("Wait until the running pass has ended");
  return true;
}

void ProjectController::LoadProject(const std::string& path) {
  auto& ui = mf_.uiServices();
  if (RunActive()) return;
  const std::string full = px::AbsolutePath(path);
  project::ProjectData p;
  try {
    p = project::ReadProjectFile(full);
  } catch (const std::exception& e) {
    ui.showError(std::string(e.what()) + "\nThe project was not loaded.");
    return;
  }
  // Frames are looked for in the recorded folder, then beside the project (a moved folder).
  const std::string projectDir = px::ExtractFileDir(full);
  std::vector<std::string> dirs;
  if (!p.filedir.empty()) dirs.push_back(p.filedir);
  dirs.push_back(projectDir);
  auto firstPath = [&](const std::string& dir) {
    const std::string& name = p.avi() ? p.filename : (p.frames.empty() ? std::string() : p.frames[0].im);
    return !name.empty() && name[0] == '/' ? name : px::JoinPath(dir, name);
  };
  std::string dir;
  for (const auto& d : dirs)
    if (frames::UnreadableFileReason(firstPath(d)).empty()) {
      dir = d;
      break;
    }
  if (dir.empty()) {
    mf_.form().setActivePage(mf_.shell.InputPage);
    if (p.avi()) ui.showError("Error : Avifile " + p.filename + " missing, project not loaded");
    else if (p.frames.empty()) ui.showError("Project " + full + ": it names no frames, project not loaded");
    else ui.showError("Error : Bitmapfile " + p.frames[0].im + " missing, project not loaded");
    return;
  }
  try {
    ApplyProject(p, full, dir);
  } catch (const std::exception& e) {
    ui.showError("Project " + full + ": " + e.what());
  }
}

void ProjectController::ApplyProject(const project::ProjectData& p, const std::string& projectPath,
                                     const std::string& dir) {
  MainForm& mf = mf_;
  Workspace& ws = mf.ws;
  auto& ui = mf.uiServices();
  mf.waveletControls.AutoProcessBox.setChecked(false);
  mf.settings().writeString("Files", "Dir", px::ExtractFileDir(projectPath));

  // The settings snapshot first: it decides darkframe, de-interlacing, box size ...
  project::TBigIniFile form("");
  RestoreSettings(p, projectPath, dir, form);
  std::vector<std::string> missing;
  const int n = OpenProjectInput(p, projectPath, dir, missing);
  // Opening an input resets a few stored controls (the layer boxes, the resample factor).
  project::RestoreFormSnapshot(mf.form(), form);
  RestoreFrameTable(p, n);
  ws.input.SelectedCount = ws.table.CountSelected(n);
  if (!missing.empty())
    ui.messageBox("Project " + projectPath + ": " + std::to_string(missing.size()) +
                      " frame file(s) no longer exist and are left out:" + MissingText(missing),
                  ui::MsgKind::Warning, ui::ButtonsOK);
  if (ws.input.SingleImage) return;  // a single still frame is stacked and shown already
  RestoreStages(p, projectPath, n);
  RestoreCaption();
}

void ProjectController::RestoreSettings(const project::ProjectData& p, const std::string& projectPath,
                                        const std::string& dir, project::TBigIniFile& form) {
  MainForm& mf = mf_;
  auto& ui = mf.uiServices();
  std::string text = "[Form]\n";
  for (const auto& line : p.formLines) text += line + "\n";
  form.LoadFromText(text);
  try {
    px::WriteFileAtomic(px::JoinPath(dir, "readtempor.ini"), text);
  } catch (const std::exception& e) {
    ui.logProblem(std::string("The settings snapshot cannot be kept: ") + e.what());
  }
  for (const std::string& problem : project::RestoreFormSnapshot(mf.form(), form))
    ui.logProblem("Project \"" + projectPath + "\": " + problem);
  try {
    px::WriteFileAtomic(mf.formSettingsPath(), form.ToText());
  } catch (const std::exception& e) {
    ui.logProblem(std::string("The form settings cannot be kept: ") + e.what());
  }
}

// The input, without a dialog. Still frames missing since the save stay in their slots,
// excluded, so every other frame keeps its number and results. Returns the frames in use.
int ProjectController::OpenProjectInput(const project::ProjectData& p, const std::string& projectPath,
                                        const std::string& dir, std::vector<std::string>& missing) {
  MainForm& mf = mf_;
  Workspace& ws = mf.ws;
  auto& ui = mf.uiServices();
  int n = p.sequencelength();
  if (p.avi()) {
    mf.inputSelection().OpenVideo(p.filename[0] == '/' ? p.filename : px::JoinPath(dir, p.filename));
    if (ws.input.FrameCount < n) {
      ui.messageBox("The video has " + std::to_string(ws.input.FrameCount) + " frames, the project " +
                        std::to_string(n) + "; the frames beyond the video's end are left out",
                    ui::MsgKind::Warning, ui::ButtonsOK);
      n = ws.input.FrameCount;
    }
  } else {
    std::vector<std::string> paths;
    for (const auto& f : p.frames) paths.push_back(f.im[0] == '/' ? f.im : px::JoinPath(dir, f.im));
    for (const auto& path : paths)
      if (!frames::UnreadableFileReason(path).empty()) missing.push_back(path);
    mf.inputSelection().OpenStillFrames(paths, KindOfType(p.filetype));
  }
  ws.input.DefaultSaveName = px::ChangeFileExt(px::ExtractFileName(projectPath), "");
  return n;
}

// Every frame's stored results, exclusions and the rank list.
void ProjectController::RestoreFrameTable(const project::ProjectData& p, int n) {
  MainForm& mf = mf_;
  Workspace& ws = mf.ws;
  auto& list = mf.input.SelectFramesChecklist;
  for (int i = 0; i < n && !ws.input.SingleImage; ++i) {
    const project::ProjectFrame& f = p.frames[i];
    frames::FrameRecord& r = ws.table[i];
    const bool gone = !p.avi() && !frames::UnreadableFileReason(ws.table.fileNames[i]).empty();
    r.Excluded = f.ex || gone ? 1 : 0;
    if (i < list.count()) list.setChecked(i, !r.Excluded);
    r.ShiftX = f.x;
    r.ShiftY = f.y;
    r.FineShiftX = f.fx;
    r.FineShiftY = f.fy;
    r.Difference = f.d;
    r.Quality = f.q;
    r.ShiftXa = f.xa;
    r.ShiftYa = f.ya;
    r.DifferenceA = f.da;
    r.QualityA = f.qa;
  }
  for (int k = 0; k < n && !ws.input.SingleImage; ++k) {
    const int f = std::min(p.rank[k], n - 1);
    ws.table.ranks[k].FrameIndex = f;
    ws.table.ranks[k].RankQuality = ws.table[f].Quality;
  }
}

// Calibration, the feature and the pages as far as the saved work had come.
void ProjectController::RestoreStages(const project::ProjectData& p, const std::string& projectPath, int n) {
  MainForm& mf = mf_;
  Workspace& ws = mf.ws;
  auto& ui = mf.uiServices();
  if (mf.input.UseDarkFrame.checked() && !p.darkfile.empty()) mf.stacking().LoadDarkframe(p.darkfile, p.darkfiletype);
  if (mf.input.UseFlatfield.checked() && !p.flatfile.empty()) mf.stacking().LoadFlatfield(p.flatfile, p.flatfiletype);

  ws.reg.RefFrame = std::min(p.refframe, std::max(n - 1, 0));
  ws.reg.HotX = p.hotx;
  ws.reg.HotY = p.hoty;
  ws.stack.StackX = p.stackx;
  ws.stack.StackY = p.stacky;
  mf.aligning.Resampled.setChecked(p.resampled);
  mf.aligning.ResampleSpin.setValue(p.resamplevalue);
  mf.input.PreviewSlider.setValue(ws.reg.RefFrame);
  mf.form().setActivePage(mf.shell.InputPage);

  // A feature outside the frames (another video under the old name) cannot be a reference.
  const int box = 1 << (std::clamp(mf.aligning.FFTsizeGroup.itemIndex(), 0, 3) + 5);
  int status = p.progstatus;
  if (status >= 1 && (p.hotx - box / 2 < 0 || p.hoty - box / 2 < 0 || p.hotx + box / 2 > ws.input.ImageWidth ||
                      p.hoty + box / 2 > ws.input.ImageHeight)) {
    ui.messageBox("Project " + projectPath + ": the alignment feature " + std::to_string(p.hotx) + "," +
                      std::to_string(p.hoty) + " lies outside the frames; choose it again",
                  ui::MsgKind::Warning, ui::ButtonsOK);
    status = 0;
  }
  ws.reg.WorkStatus = static_cast<uint8_t>(status);
  if (status >= 1) {
    mf.shell.AligningPage.setVisible(true);
    mf.registration().ClearFFTPicture();
    ws.reg.BoxX = p.hotx - box / 2;
    ws.reg.BoxY = p.hoty - box / 2;
    // The reference's spectrum also measures the shown frame; the saved figures stay.
    const int cur = std::clamp(ws.input.CurrentFrameIndex, 0, frames::MaxFrames - 1);
    const frames::FrameRecord kept = ws.table[cur];
    mf.registration().CalculateReferenceFFT();
    ws.table[cur].Quality = kept.Quality;
    ws.table[cur].QualityA = kept.QualityA;
    if (mf.aligning.ShowFFTbox.checked()) mf.aligning.FFTWindow.setVisible(true);
    if (mf.aligning.Showgraphbox.checked()) mf.aligning.Propertywindow.setVisible(true);
    mf.input.SelectFrameswindow.setVisible(false);
  }
  if (status >= 2) {
    mf.aligning.AlignSlider.setRange(0, std::max(n - 1, 0));
    mf.aligning.AlignSlider.setVisible(true);
    mf.aligning.Optimizebutton.setVisible(true);
    mf.aligning.Optimizebutton.setEnabled(true);
    mf.registration().DrawAlignGraph();
  }
  if (status >= 4) {
    mf.shell.StackingPage.setVisible(true);
    mf.stackingControls.StackSlider.setValue(p.stackslider);
    mf.stackingControls.differencecutslider.setValue(p.stackdifslider);
    mf.stacking().FillStackList();
    for (int i = 0; i < 6; ++i) mf.waveletControls.LayerSliders[i]->setValue(p.layer[i]);
    mf.waveletControls.LevelStep.setValue(p.initial);
    mf.waveletControls.Multiplicant.setValue(p.step);
    mf.waveletControls.Scaletype.setItemIndex(p.scaletype);
    mf.waveletControls.ContrastSlider.setValue(p.contrast);
    mf.waveletControls.BrightnessSlider.setValue(p.brightness);
    mf.stacking().StackButtonClick();
    mf.stackingControls.Stackframeswindow.setVisible(false);
    mf.aligning.Propertywindow.setVisible(false);
    mf.shell.WaveletPage.setVisible(true);
    mf.shell.FinalPage.setVisible(true);
    mf.form().setActivePage(mf.shell.WaveletPage);
  }
  const ui::Page* pages[] = {&mf.shell.InputPage, &mf.shell.AligningPage, &mf.shell.StackingPage,
                             &mf.shell.WaveletPage};
  if (p.activepage >= 1 && p.activepage <= 4 && pages[p.activepage - 1]->visible())
    mf.form().setActivePage(*const_cast<ui::Page*>(pages[p.activepage - 1]));
}

// ---- Frame lists ----

std::vector<std::string> ProjectController::ExistingFrames(const std::vector<std::string>& paths,
                                                           const std::string& listPath) {
  std::vector<std::string> found, missing;
  for (const auto& p : paths) (frames::UnreadableFileReason(p).empty() ? found : missing).push_back(p);
  if (!missing.empty())
    mf_.uiServices().messageBox("Frame list " + listPath + ": " + std::to_string(missing.size()) +
                                    " frame(s) cannot be read and are left out:" + MissingText(missing),
                                ui::MsgKind::Warning, ui::ButtonsOK);
  return found;
}

void ProjectController::LoadFrameList(const std::string& path, bool fromProjectLoad) {
  auto& ui = mf_.uiServices();
  if (RunActive()) return;
  std::vector<std::string> paths;
  try {
    paths = project::ReadFrameListFile(path);
  } catch (const std::exception& e) {
    ui.showError(std::string(e.what()) + "\nThe frame list was not loaded.");
    return;
  }
  paths = ExistingFrames(paths, path);
  if (paths.empty()) {
    ui.showError("Frame list " + path + ": it names no frame that can be read; the frame list was not loaded.");
    return;
  }
  if (static_cast<int>(paths.size()) > frames::MaxFrames) {
    ui.messageBox("Warning : only 5000 frames can be processed", ui::MsgKind::Warning, ui::ButtonsOK);
    paths.resize(frames::MaxFrames);
  }
  (void)fromProjectLoad;  // the old buffers are replaced by the new input either way
  try {
    mf_.inputSelection().OpenStillFrames(paths, KindOfListPath(paths.front()));
  } catch (const std::exception& e) {
    ui.showError("Frame list " + path + ": " + e.what());
    return;
  }
  mf_.ws.reg.WorkStatus = 0;
  mf_.input.AddFramesButton.setVisible(true);
}

void ProjectController::AddFrameList(const std::string& path) {
  auto& ui = mf_.uiServices();
  if (RunActive()) return;
  auto& in = mf_.ws.input;
  if (!in.stillInput() || !in.InputLoaded || in.SingleImage) {
    ui.showMessage("Frames can only be added to a sequence of still frames");
    return;
  }
  std::vector<std::string> paths;
  try {
    paths = project::ReadFrameListFile(path);
  } catch (const std::exception& e) {
    ui.showError(std::string(e.what()) + "\nNo frames were added.");
    return;
  }
  paths = ExistingFrames(paths, path);
  if (paths.empty()) return;
  auto& list = mf_.input.SelectFramesChecklist;
  int next = in.FrameCount;
  list.beginUpdate();
  for (const auto& p : paths) {
    if (next >= frames::MaxFrames) {
      ui.messageBox("Warning : only 5000 frames can be processed", ui::MsgKind::Warning, ui::ButtonsOK);
      break;
    }
    mf_.settings().writeString("Files", "Dir", px::ExtractFileDir(p));
    mf_.ws.table.fileNames[next] = p;
    mf_.ws.table[next] = frames::FrameRecord{};
    mf_.ws.table.ranks[next] = {next, 0, 0};
    list.add(px::ExtractFileName(p), ui::CheckState::Checked);
    ++next;
  }
  list.endUpdate();
  in.FrameCount = next;
  in.SelectedCount = mf_.ws.table.CountSelected(next);
  mf_.input.PreviewSlider.setRange(0, next - 1);
  mf_.aligning.AlignSlider.setRange(0, next - 1);
  mf_.stackingControls.StackSlider.setRange(0, next - 1);
}

bool ProjectController::SaveFrameList(const std::string& path) {
  const auto& in = mf_.ws.input;
  const auto& list = mf_.input.SelectFramesChecklist;
  std::vector<std::string> paths;
  const int n = std::min(in.FrameCount, frames::MaxFrames);
  for (int i = 0; i < n; ++i)
    if (i >= list.count() || list.checked(i)) paths.push_back(mf_.ws.table.fileNames[i]);
  try {
    px::WriteFileAtomic(path, project::WriteFrameListText(paths));
  } catch (const std::exception& e) {
    mf_.uiServices().showError(std::string(e.what()) + "\nThe frame list was not saved.");
    return false;
  }
  RestoreCaption();
  return true;
}

void ProjectController::FramelistsavebuttonClick() {
  if (!mf_.ws.input.stillInput() || !mf_.ws.input.InputLoaded) return;
  ui::FileDialogRequest req;
  req.save = true;
  req.filter = kFrameListSaveFilter;
  req.defaultExt = "pxl";
  req.initialDir = mf_.ws.input.InputDir;
  ui::FileDialogResult res = mf_.uiServices().fileDialog(req);
  if (!res.accepted || res.files.empty()) return;
  std::string path = res.files.front();
  if (px::ExtractFileExt(path).empty()) path += ".pxl";
  SaveFrameList(path);
}

void ProjectController::FramelistloadbuttonClick() {
  ui::FileDialogRequest req;
  req.filter = kFrameListLoadFilter;
  req.defaultExt = "pxl";
  req.initialDir = mf_.ws.input.InputDir;
  ui::FileDialogResult res = mf_.uiServices().fileDialog(req);
  if (!res.accepted || res.files.empty()) return;
  LoadFrameList(res.files.front(), false);
}

void ProjectController::AddFramesButtonClick() {
  ui::FileDialogRequest req;
  req.filter = kFrameListLoadFilter;
  req.defaultExt = "pxl";
  req.initialDir = mf_.ws.input.InputDir;
  ui::FileDialogResult res = mf_.uiServices().fileDialog(req);
  if (!res.accepted || res.files.empty()) return;
  AddFrameList(res.files.front());
}

}  // namespace app
