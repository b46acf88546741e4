#pragma once
// Projects and frame lists: "Save", "Save as" and "Project Load" on the main bar, the frame
// list window's "Save", "Load" and "Add", and the files named on the command line. A file is
// read and checked whole before the current work is touched; files are written atomically.
#include <string>
#include <vector>

#include "project/BigIni.h"
#include "project/ProjectFile.h"
#include "ui/FormModel.h"

namespace app {

class MainForm;

struct ProjectControls {
  explicit ProjectControls(ui::Form& f);
  ui::Button& SaveProject;
  ui::Button& BitBtn7;  // "Save as"
  ui::Button& LoadProject;
};

constexpr const char* kProjectSaveFilter = "Pelinoxa Projectfile|*.pxp";
constexpr const char* kProjectLoadFilter = "Pelinoxa Project File|*.pxp|Pelinoxa Frame List|*.pxl";
constexpr const char* kFrameListSaveFilter = "Pelinoxa Frame list|*.pxl";
constexpr const char* kFrameListLoadFilter = "Pelinoxa Framelist|*.pxl";

class ProjectController {
 public:
  explicit ProjectController(MainForm& mf);

  void SaveProjectClick();
  void BitBtn7Click();  // "Save as"
  void LoadProjectClick();
  void FramelistsavebuttonClick();
  void FramelistloadbuttonClick();
  void AddFramesButtonClick();

  // The same without dialogs. Saving returns false (after telling the user) when the file
  // could not be written; the previous file is then unchanged.
  bool SaveProject(const std::string& path, bool saveAs);
  void LoadProject(const std::string& path);
  void LoadFrameList(const std::string& path, bool fromProjectLoad);
  void AddFrameList(const std::string& path);
  bool SaveFrameList(const std::string& path);

  // The project as it would be written now.
  project::ProjectData Collect(bool saveAs) const;

 private:
  void RestoreCaption();
  bool RunActive() const;  // told to the user
  void ApplyProject(const project::ProjectData& p, const std::string& projectPath, const std::string& dir);
  void RestoreSettings(const project::ProjectData& p, const std::string& projectPath, const std::string& dir,
                       project::TBigIniFile& form);
  int OpenProjectInput(const project::ProjectData& p, const std::string& projectPath, const std::string& dir,
                       std::vector<std::string>& missing);
  void RestoreFrameTable(const project::ProjectData& p, int n);
  void RestoreStages(const project::ProjectData& p, const std::string& projectPath, int n);
  // The frames of a list that exist; the missing ones are named to the user.
  std::vector<std::string> ExistingFrames(const std::vector<std::string>& paths, const std::string& listPath);

  MainForm& mf_;
  ProjectControls c_;
};

}  // namespace app
