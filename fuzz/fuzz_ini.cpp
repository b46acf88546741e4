// libFuzzer target for the INI store: load arbitrary text, read every key, write, and check
// that what the store writes reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "project/BigIni.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  project::TBigIniFile ini("");
  ini.LoadFromText(std::string(reinterpret_cast<const char*>(data), size));

  std::vector<std::string> names;
  ini.ReadSections(names);
  for (const auto& name : names) {
    std::vector<std::string> keys, lines;
    ini.ReadSection(name, keys);
    ini.ReadSectionValues(name, lines);
    if (keys.size() != lines.size()) std::abort();
    for (const auto& key : keys) {
      (void)ini.ReadString(name, key, "");
      (void)ini.ReadInteger(name, key, 0);
      (void)ini.ReadBool(name, key, false);
    }
  }
  // A few changes driven by the input itself.
  const std::string section = names.empty() ? std::string("Fuzz") : names[size % names.size()];
  ini.WriteString(section, "X0", std::string(reinterpret_cast<const char*>(data), size < 300 ? size : 300));
  ini.WriteInteger("Shifts", "Y1", static_cast<long long>(size));
  if (ini.ReadInteger("Shifts", "Y1", -1) != static_cast<long long>(size)) std::abort();
  ini.DeleteKey(section, "X0");
  if (size % 3 == 0 && !names.empty()) ini.EraseSection(names.front());

  const std::string text = ini.ToText();
  project::TBigIniFile back("");
  back.LoadFromText(text);
  if (back.ToText() != text) std::abort();
  return 0;
}
