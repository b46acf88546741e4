#include "app/SystemInfo.h"

#include <sys/utsname.h>

#include <cstdio>
#include <ctime>
#include <fstream>

#include "base/Files.h"

namespace app {

static std::string DistributionName() {
  std::ifstream f("/etc/os-release");
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind("PRETTY_NAME=", 0) == 0) {
      std::string v = line.substr(12);
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'')) v = v.substr(1, v.size() - 2);
      return v;
    }
  }
  return "";
}

std::string GetOSINFO() {
  struct utsname u;
  if (::uname(&u) != 0) return "";
  int major = 0, minor = 0;
  std::sscanf(u.release, "%d.%d", &major, &minor);
  std::string text = std::string(u.sysname) + " " + std::to_string(major) + "." + std::to_string(minor) +
                     " (Build " + u.release;
  std::string dist = DistributionName();
  if (!dist.empty()) text += ", " + dist;
  return text + ")";
}

std::string VersionText() { return std::string("PeliNoxa v ") + kFileVersion + " beta"; }

std::string BuildText(const std::string& programPath) {
  std::time_t t = 0;
  if (!px::FileModificationTime(programPath, t)) return "Build ";
  char buf[64];
  std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M:%S", std::localtime(&t));
  return std::string("Build ") + buf;
}

}  // namespace app
