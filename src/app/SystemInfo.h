#pragma once
#include <string>

namespace app {

constexpr const char* kAppTitle = "PeliNoxa V2.0";
constexpr const char* kFileVersion = "2.0.0.0";

// The operating-system description for the error report: the kernel's name and version,
// its build and the distribution, e.g. "Linux 6.1 (Build 6.1.0-18-amd64, Debian GNU/Linux 12
// (bookworm))". Empty when the version record cannot be read.
std::string GetOSINFO();
// "PeliNoxa v " + file version + " beta"
std::string VersionText();
// "Build " + the program file's date and time
std::string BuildText(const std::string& programPath);

}  // namespace app
