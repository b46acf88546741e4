#pragma once
// The per-user settings store as an INI file in the user's configuration folder:
// $XDG_CONFIG_HOME/pelinoxa/pelinoxa.ini (default ~/.config/pelinoxa/pelinoxa.ini).
// Closed until Open(); every write goes to the file at once, so nothing is lost on a crash.
#include <functional>
#include <memory>
#include <string>

#include "ui/SettingsStore.h"

namespace project {
class TBigIniFile;
}

namespace app {

std::string UserConfigDir();  // $XDG_CONFIG_HOME/pelinoxa or ~/.config/pelinoxa

class UserSettings : public ui::SettingsStore {
 public:
  explicit UserSettings(std::string path);
  ~UserSettings() override;
  const std::string& path() const { return path_; }
  // Told when the file cannot be read or written (the store goes on without it).
  std::function<void(const std::string&)> onProblem;

  // Loads the file (creating the folder). False when it cannot be read; the store then
  // stays closed: writes are skipped and reads answer the defaults.
  bool Open();
  bool isOpen() const override { return ini_ != nullptr; }
  bool valueExists(const std::string& section, const std::string& key) const override;
  std::string readString(const std::string& section, const std::string& key, const std::string& def) const override;
  void writeString(const std::string& section, const std::string& key, const std::string& value) override;

 private:
  void Report(const std::string& text) const;
  std::string path_;
  std::unique_ptr<project::TBigIniFile> ini_;
};

}  // namespace app
