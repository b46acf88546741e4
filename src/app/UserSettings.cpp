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
  // Writes are flushed one by one; nothing may be written again at exit.
  if (ini_) {
    try {
      ini_->FlushFile();
    } catch (...) {
    }
  }
}

bool UserSettings::Open() {
  try {
    px::ForceDirectories(px::ExtractFileDir(path_));
    ini_ = std::make_unique<project::TBigIniFile>(path_);
    return true;
  } catch (...) {
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
  } catch (...) {
    // A store that cannot be written skips the write; the program goes on.
  }
}

}  // namespace app
