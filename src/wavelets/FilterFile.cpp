#include "wavelets/FilterFile.h"

#include <cstdlib>

#include "base/Numbers.h"
#include "project/BigIni.h"

namespace wavelets {

namespace {
constexpr const char* kSection = "TMainForm";

std::string KeyFor(int x, int y) { return "Filter" + std::to_string(x) + std::to_string(y) + "_Value"; }
}  // namespace

std::string FilterFileText(const KernelGrid& grid) {
  project::TBigIniFile ini("");
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y < 5; ++y) ini.WriteString(kSection, KeyFor(x, y), std::to_string(grid[y * 5 + x]));
  return ini.ToText();
}

bool ParseFilterText(const std::string& text, KernelGrid& grid, std::string& error) {
  for (unsigned char ch : text)
    if (ch == 0 || (ch < 32 && ch != '\n' && ch != '\r' && ch != '\t')) {
      error = "This is not a filter file (binary content).";
      return false;
    }
  project::TBigIniFile ini("");
  ini.LoadFromText(text);
  if (!ini.SectionExists(kSection)) {
    error = "This is not a filter file (no [TMainForm] section).";
    return false;
  }
  KernelGrid g{};
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y < 5; ++y) {
      const std::string key = KeyFor(x, y);
      if (!ini.ValueExists(kSection, key)) {
        error = "The filter file is incomplete: " + key + " is missing.";
        return false;
      }
      std::string v = ini.ReadString(kSection, key, "");
      while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.pop_back();
      while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.erase(v.begin());
      long long n = 0;
      if (!px::TryParseInt(v, n)) {
        error = "The filter file has a value that is not a whole number: " + key + "=" + v;
        return false;
      }
      if (n < -kFilterValueLimit || n > kFilterValueLimit) {
        error = "The filter file has a value out of range: " + key + "=" + v;
        return false;
      }
      g[y * 5 + x] = static_cast<int>(n);
    }
  grid = g;
  return true;
}

}  // namespace wavelets
