#pragma once
// The main window: composes the form model, the workspace and every subsystem's controls and
// controllers, runs the start-up sequence and keeps the form-settings file.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Workspace.h"
#include "base/Json.h"
#include "ui/FormModel.h"
#include "ui/ProgressWindow.h"
#include "ui/Services.h"
#include "ui/SettingsStore.h"
#include "ui/UiServices.h"

namespace frames {
struct InputControls;
class FrameNavigation;
class FrameSource;
class InputSelection;
}  // namespace frames
namespace registration {
struct AligningControls;
class RegistrationController;
}  // namespace registration
namespace stacking {
struct StackingControls;
class StackingController;
}  // namespace stacking
namespace wavelets {
struct WaveletControls;
class WaveletController;
}  // namespace wavelets
namespace finish {
struct FinishControls;
class ToneController;
class FinalController;
}  // namespace finish

namespace app {

struct ShellControls;
class UserSettings;
class ProjectController;

struct StartupOptions {
  std::string programPath;        // the program file
  std::vector<std::string> args;  // command-line arguments
  std::string settingsPath;       // the per-user store; empty = the default in the user's config folder
};

class MainForm {
  // Declared first: the form and the slots that own the controls must exist before the
  // typed references below are bound.
  ui::Form form_;
  ui::UiServices& ui_;
  ui::SettingsStoreProxy settings_;
  std::unique_ptr<ShellControls> shellOwned_;
  std::unique_ptr<frames::InputControls> inputOwned_;
  std::unique_ptr<registration::AligningControls> aligningOwned_;
  std::unique_ptr<stacking::StackingControls> stackingOwned_;
  std::unique_ptr<wavelets::WaveletControls> waveletOwned_;
  std::unique_ptr<finish::FinishControls> finishOwned_;

 public:
  explicit MainForm(ui::UiServices& ui);
  ~MainForm();
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  ui::Form& form() { return form_; }
  ui::UiServices& uiServices() { return ui_; }
  ui::SettingsStore& settings() { return settings_; }
  ui::ProgressWindow& progress() { return progress_; }
  ui::Services& services() { return services_; }

  // The start-up sequence (the window is not shown yet).
  void FormCreate(const StartupOptions& opts);
  // The window has been shown the first time: the form-settings file is restored once more.
  void FormShow();
  // Opens a ".pxp" project or ".pxl" frame list named as the only argument.
  void OpenCommandLineFile();
  // Opens a ".pxp" project or ".pxl" frame list by its extension; false for any other name.
  bool OpenFile(const std::string& path);
  // The window closes: the form-settings file is written.
  void FormClose();

  // (Re)creates the image-size planes for a new working size and reports memory.
  void AllocateImageBuffers(int width, int height);
  // Appends the memory status lines to the memory window's text.
  void ReportMemory();

  // Named state as JSON for the batch tool.
  px::Json Dump(const std::string& what) const;
  void AddDump(const std::string& name, std::function<px::Json()> dumper);


  frames::FrameSource& frameSource() { return *frameSource_; }
  frames::FrameNavigation& navigation() { return *navigation_; }
  stacking::StackingController& stacking() { return *stacking_; }
  registration::RegistrationController& registration() { return *registration_; }
  wavelets::WaveletController& wavelets() { return *wavelets_; }
  ProjectController& projects() { return *projects_; }
  finish::ToneController& tone() { return *tone_; }
  finish::FinalController& final() { return *final_; }

  // Openers of project (".pxp") and frame-list (".pxl") files named on the command line; they
  // join when the project loaders are built.
  std::function<void(const std::string&)> OpenProjectFile;
  std::function<void(const std::string&)> OpenFrameListFile;

  Workspace ws;
  ShellControls& shell;
  frames::InputControls& input;
  registration::AligningControls& aligning;
  stacking::StackingControls& stackingControls;
  wavelets::WaveletControls& waveletControls;
  finish::FinishControls& finishControls;

  frames::InputSelection& inputSelection() { return *inputSelection_; }
  // The form-settings file in use (the program folder's, or the user's when that cannot be written).
  const std::string& formSettingsPath() const { return formSettingsPath_; }

 private:
  void WireShell();
  void WireInput();
  void WireStacking();
  void WireRegistration();
  void WireWavelets();
  void WireFinish();
  void ResetStagesForNewInput();
  void PlaceAreaOnFeatureAfterAutoStack();
  void PageChange();
  void StoreFormSettings();
  void RestoreFormSettings();
  void ApplyProcessAreaLimit(int itemIndex);
  void CreateStartBuffers();
  void SetStartWeights();
  void LocateProgramFolder();
  void ChooseFormSettingsPath();
  void CloseWhatNeverStartsOpen();
  void FollowRestoredSettings();
  void OpenSettingsStore();
  void ReadStartupSettings();
  void SetStartValues();

  ui::ProgressWindow progress_;
  ui::Services services_;
  std::unique_ptr<UserSettings> userSettings_;

  std::unique_ptr<frames::FrameSource> frameSource_;
  std::unique_ptr<frames::FrameNavigation> navigation_;
  std::unique_ptr<frames::InputSelection> inputSelection_;
  std::unique_ptr<registration::RegistrationController> registration_;
  std::unique_ptr<stacking::StackingController> stacking_;
  std::unique_ptr<wavelets::WaveletController> wavelets_;
  std::unique_ptr<ProjectController> projects_;
  std::unique_ptr<finish::ToneController> tone_;
  std::unique_ptr<finish::FinalController> final_;

  std::map<std::string, std::function<px::Json()>> dumps_;
  StartupOptions options_;
  std::string formSettingsPath_;
  bool advancedMode_ = false;
  bool storeOpened_ = false;
  bool shownOnce_ = false;
};

}  // namespace app
