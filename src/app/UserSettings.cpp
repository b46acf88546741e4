#include "app/UserSettings.h"

#include <cstdlib>

#include "base/Files.h"
#include "project/BigIni.h"

namespace app {

std::string UserConfigDir() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg) return px::JoinPath(xdg, "pelinoxa");
  const char* home = std::getenv("HOME");
  return px::JoinPath(px::JoinPath(home && *home ? home : ".", ".config"), "pelinoxa");
}

UserSettings::UserSettings(std::string path) : path_(std::move(path)) {}

UserSettings::~UserSettings() {
  // Writes are flushed one by one; what is left is written once more at exit.
  if (ini_) {
    try {
      ini_->FlushFile();
    } catch (const std::exception& e) {
      Report(e.what());
    }
  }
}

void UserSettings::Report(const std::string& text) const {
  if (onProblem) onProblem("Settings store \"" + path_ + "\": " + text);
}

bool UserSettings::Open() {
  const std::string folder = px::ExtractFileDir(path_);
  if (!folder.empty() && !px::ForceDirectories(folder)) {
    Report("the folder \"" + folder + "\" cannot be created; settings are not kept.");
    return false;
  }
  try {
    ini_ = std::make_unique<project::TBigIniFile>(path_);
    return true;
  } catch (const std::exception& e) {
    Report(std::string("cannot be opened, settings are not kept: ") + e.what());
    ini_.reset();
    return false;
  }
}

bool UserSettings::valueExists(const std::string& section, const std::string& key) const {
  return ini_ && ini_->ValueExists(section, key);
}

std::string UserSettings::readString(const std::string& section, const std::string& key, const std::string& def) const {
  return ini_ ? ini_->ReadString(section, key, def) : def;
}

void UserSettings::writeString(const std::string& section, const std::string& key, const std::string& value) {
  if (!ini_) return;
  ini_->WriteString(section, key, value);
  try {
    ini_->FlushFile();
  } catch (const std::exception& e) {
    // A store that cannot be written skips the write; the program goes on.
    Report(e.what());
  }
}

}  // namespace app
