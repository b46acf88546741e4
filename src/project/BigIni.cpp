#include "project/BigIni.h"

#include <cstdint>
#include <string_view>
#include <unordered_set>

#include "base/Error.h"
#include "base/Files.h"

namespace project {

namespace {

// ASCII-only folding: the result must not depend on the process locale.
inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string LowerText(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = Lower(c);
  return out;
}

// The key of a raw line: the text before the first "=", the whole line when there is none.
std::string_view KeyOf(std::string_view line) {
  size_t eq = line.find('=');
  return eq == std::string_view::npos ? line : line.substr(0, eq);
}

// The value of a raw line: the text after the first "=", empty when there is none.
std::string_view ValueOf(std::string_view line) {
  size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
}

bool IsHeader(std::string_view line) { return line.size() >= 2 && line.front() == '[' && line.back() == ']'; }

std::string_view Cut(std::string_view s) {
  return s.size() > TBigIniFile::MaxTextLength ? s.substr(0, TBigIniFile::MaxTextLength) : s;
}

// Section, key and value texts as the store keeps them: at most 255 characters and never a
// line break, which would split the line and could forge a section header when the file is
// read back. Readers apply the same rule so that they find what the writers stored.
std::string CleanText(std::string_view s) {
  std::string out(Cut(s));
  for (auto& c : out)
    if (c == '\n' || c == '\r') c = ' ';
  return out;
}

// Strict integer text: optional blanks around, "0x"/"0X" or "$" followed by hex digits, or a
// decimal number with an optional sign. Anything else (or an overflow) is not an integer.
bool ParseInteger(std::string_view t, long long& out) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  if (t.empty()) return false;
  if ((t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) || (t.size() > 1 && t[0] == '$')) {
    t.remove_prefix(t[0] == '$' ? 1 : 2);
    uint64_t v = 0;
    for (char c : t) {
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return false;
      if (v > (UINT64_MAX >> 4)) return false;
      v = (v << 4) | static_cast<uint64_t>(d);
    }
    // Hex texts up to 64 bits are accepted; the bits are the value (0xFFFFFFFFFFFFFFFF = -1).
    out = static_cast<long long>(v);
    return true;
  }
  bool negative = false;
  if (t[0] == '+' || t[0] == '-') {
    negative = t[0] == '-';
    t.remove_prefix(1);
  }
  if (t.empty()) return false;
  uint64_t v = 0;
  const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (char c : t) {
    if (c < '0' || c > '9') return false;
    uint64_t d = static_cast<uint64_t>(c - '0');
    if (v > (limit - d) / 10) return false;
    v = v * 10 + d;
  }
  out = negative ? static_cast<long long>(0 - v) : static_cast<long long>(v);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TSectionList

int TSectionList::IndexOf(const std::string& name) const {
  int n = Count();
  if (n == 0) return -1;
  int start = (lastFound_ >= 0 && lastFound_ < n) ? lastFound_ : 0;
  for (int k = 0; k < n; ++k) {
    int i = start + k < n ? start + k : start + k - n;
    if (SameNoCase(sections_[i].name, name)) {
      lastFound_ = i;
      return i;
    }
  }
  return -1;
}

int TSectionList::Add(const std::string& name) {
  Section s;
  s.name = name;
  sections_.push_back(std::move(s));
  return Count() - 1;
}

void TSectionList::Delete(int i) {
  if (i < 0 || i >= Count()) return;
  sections_.erase(sections_.begin() + i);
  if (lastFound_ >= Count()) lastFound_ = 0;
}

void TSectionList::Clear() {
  sections_.clear();
  lastFound_ = 0;
}

// ---------------------------------------------------------------------------------------------
// TBigIniFile: loading

TBigIniFile::TBigIniFile(const std::string& fileName) : fileName_(fileName) {
  if (px::FileExists(fileName_)) LoadText(px::ReadFileText(fileName_));
}

TBigIniFile::~TBigIniFile() {
  // A destructor must not throw; callers that need to know call FlushFile themselves.
  try {
    FlushFile();
  } catch (...) {
  }
}

void TBigIniFile::LoadFromText(const std::string& text) {
  sections_.Clear();
  modified_ = false;
  LoadText(text);
}

void TBigIniFile::AppendFromFile(const std::string& fileName) {
  if (!px::FileExists(fileName)) {
    current_ = 0;
    return;
  }
  std::string text = px::ReadFileText(fileName);
  size_t before = TotalLines();
  LoadText(text);
  // Merged lines must reach the file even when nothing else changes afterwards.
  if (TotalLines() != before) modified_ = true;
}

void TBigIniFile::LoadText(std::string_view text) {
  current_ = 0;
  int target = -1;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = next;
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // CRLF files
    if (line.size() == 1 && line[0] == '\x1A') continue;                 // end-of-file mark
    if (line.empty()) continue;
    // Every text is at most 255 characters. A header of up to 255 name characters and a
    // key=value line with key and value of up to 255 each (what this store writes) are taken
    // whole; anything longer is cut to 255 characters, the rest of the line skipped.
    std::string stored;
    if (!IsHeader(line) || line.size() > MaxTextLength + 2) {
      size_t eq = line.find('=');
      if (eq != std::string_view::npos && eq <= MaxTextLength) {
        std::string_view value = Cut(line.substr(eq + 1));
        stored.reserve(eq + 1 + value.size());
        stored.append(line.substr(0, eq + 1)).append(value);
      } else {
        stored.assign(Cut(line));
      }
      // A cut can leave carriage returns at the end, which a file cannot keep.
      while (!stored.empty() && stored.back() == '\r') stored.pop_back();
      if (stored.empty() || stored == "\x1A") continue;
      line = stored;
    }
    if (IsHeader(line)) {  // also a cut line that now looks like one, so it reads back alike
      target = sections_.Add(std::string(Cut(line.substr(1, line.size() - 2))));
      continue;
    }
    if (target < 0) continue;  // lines before the first section header are dropped
    AppendLine(sections_.At(target), std::move(stored));
  }
  RemoveDuplicateSections();
}

void TBigIniFile::RemoveDuplicateSections() {
  std::unordered_set<std::string> seen;
  std::vector<bool> keep(sections_.Count());
  bool any = false;
  for (int i = 0; i < sections_.Count(); ++i) {
    keep[i] = seen.insert(LowerText(sections_.At(i).name)).second;
    any = any || !keep[i];
  }
  if (!any) return;
  // Later duplicates go. One pass into a fresh list: deleting one by one is quadratic.
  TSectionList kept;
  for (int i = 0; i < sections_.Count(); ++i) {
    if (!keep[i]) continue;
    int j = kept.Add(sections_.At(i).name);
    kept.At(j).lines = std::move(sections_.At(i).lines);
  }
  sections_ = std::move(kept);
  current_ = 0;
  modified_ = true;
}

size_t TBigIniFile::TotalLines() const {
  size_t n = 0;
  for (int i = 0; i < sections_.Count(); ++i) n += sections_.At(i).lines.size();
  return n;
}

// ---------------------------------------------------------------------------------------------
// Lookup

int TBigIniFile::FindSection(const std::string& name) const {
  int n = sections_.Count();
  if (n == 0) return -1;
  const std::string wanted = CleanText(name);
  int start = (current_ >= 0 && current_ < n) ? current_ : 0;
  for (int k = 0; k < n; ++k) {
    int i = start + k < n ? start + k : start + k - n;
    if (SameNoCase(sections_.At(i).name, wanted)) {
      current_ = i;
      return i;
    }
  }
  return -1;
}

// Small sections are scanned; large ones answer from the key index, built on first use.
constexpr size_t kIndexFrom = 32;

int TBigIniFile::FindKey(const TSectionList::Section& s, std::string_view key) {
  if (s.lines.size() < kIndexFrom) {
    for (size_t i = 0; i < s.lines.size(); ++i)
      if (SameNoCase(KeyOf(s.lines[i]), key)) return static_cast<int>(i);
    return -1;
  }
  if (!s.indexValid || s.indexedLines != s.lines.size()) {
    s.keyIndex.clear();
    s.keyIndex.reserve(s.lines.size());
    for (size_t i = 0; i < s.lines.size(); ++i)
      s.keyIndex.emplace(LowerText(KeyOf(s.lines[i])), static_cast<int>(i));  // first one wins
    s.indexedLines = s.lines.size();
    s.indexValid = true;
  }
  auto it = s.keyIndex.find(LowerText(key));
  return it == s.keyIndex.end() ? -1 : it->second;
}

void TBigIniFile::AppendLine(TSectionList::Section& s, std::string line) {
  if (s.indexValid && s.indexedLines == s.lines.size()) {
    s.keyIndex.emplace(LowerText(KeyOf(line)), static_cast<int>(s.lines.size()));
    ++s.indexedLines;
  }
  s.lines.push_back(std::move(line));
}

// ---------------------------------------------------------------------------------------------
// Reading

std::string TBigIniFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& def) const {
  int si = FindSection(section);
  if (si < 0) return def;
  const auto& s = sections_.At(si);
  int li = FindKey(s, CleanText(key));
  if (li < 0) return def;
  return std::string(Cut(ValueOf(s.lines[li])));
}

long long TBigIniFile::ReadInteger(const std::string& section, const std::string& key, long long def) const {
  long long v;
  return ParseInteger(ReadString(section, key, std::string()), v) ? v : def;
}

bool TBigIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TBigIniFile::ValueExists(const std::string& section, const std::string& key) const {
  int si = FindSection(section);
  return si >= 0 && FindKey(sections_.At(si), CleanText(key)) >= 0;
}

bool TBigIniFile::SectionExists(const std::string& section) const { return FindSection(section) >= 0; }

void TBigIniFile::ReadSection(const std::string& section, std::vector<std::string>& keys) const {
  int si = FindSection(section);
  if (si < 0) return;
  for (const auto& line : sections_.At(si).lines) keys.emplace_back(KeyOf(line));
}

void TBigIniFile::ReadSections(std::vector<std::string>& names) const {
  names.clear();
  for (int i = 0; i < sections_.Count(); ++i) names.push_back(sections_.At(i).name);
}

void TBigIniFile::ReadSectionValues(const std::string& section, std::vector<std::string>& lines) const {
  int si = FindSection(section);
  if (si < 0) return;
  const auto& src = sections_.At(si).lines;
  lines.insert(lines.end(), src.begin(), src.end());
}

// ---------------------------------------------------------------------------------------------
// Writing

void TBigIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  if (key.empty()) {
    if (!section.empty() || !value.empty()) EraseSection(section);
    else FlushFile();
    return;
  }
  std::string sectionName = CleanText(section);
  std::string keyText = CleanText(key);
  std::string line = keyText;
  line += '=';
  line += CleanText(value);

  int si = FindSection(sectionName);
  if (si < 0) {
    si = sections_.Add(sectionName);
    current_ = si;
  }
  auto& s = sections_.At(si);
  int li = FindKey(s, keyText);
  if (li < 0) {
    AppendLine(s, std::move(line));
    modified_ = true;
  } else if (s.lines[li] != line) {
    s.lines[li] = std::move(line);  // same key (case-insensitively): any index stays valid
    modified_ = true;
  }
}

void TBigIniFile::WriteInteger(const std::string& section, const std::string& key, long long value) {
  WriteString(section, key, std::to_string(value));
}

void TBigIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TBigIniFile::EraseSection(const std::string& section) {
  int si = FindSection(section);
  if (si >= 0) {
    sections_.Delete(si);
    modified_ = true;
  }
  sections_.ResetLastFound();
  if (current_ >= sections_.Count()) current_ = 0;
}

void TBigIniFile::DeleteKey(const std::string& section, const std::string& key) {
  int si = FindSection(section);
  if (si < 0) {
    current_ = sections_.Add(CleanText(section));
    return;
  }
  auto& s = sections_.At(si);
  int li = FindKey(s, CleanText(key));
  if (li < 0) return;
  s.lines.erase(s.lines.begin() + li);
  s.InvalidateIndex();
  modified_ = true;
}

void TBigIniFile::WriteToStrings(std::vector<std::string>& out) const {
  for (int i = 0; i < sections_.Count(); ++i) {
    const auto& s = sections_.At(i);
    if (s.lines.empty()) continue;
    out.push_back("[" + s.name + "]");
    out.insert(out.end(), s.lines.begin(), s.lines.end());
    out.emplace_back();
  }
}

std::string TBigIniFile::ToText() const {
  size_t size = 0;
  for (int i = 0; i < sections_.Count(); ++i) {
    const auto& s = sections_.At(i);
    if (s.lines.empty()) continue;
    size += s.name.size() + 4;
    for (const auto& line : s.lines) size += line.size() + 1;
  }
  std::string text;
  text.reserve(size);
  for (int i = 0; i < sections_.Count(); ++i) {
    const auto& s = sections_.At(i);
    if (s.lines.empty()) continue;
    text.append(1, '[').append(s.name).append("]\n");
    for (const auto& line : s.lines) text.append(line).append(1, '\n');
    text.append(1, '\n');
  }
  return text;
}

void TBigIniFile::FlushFile() {
  if (!modified_ || fileName_.empty()) return;
  px::WriteFileAtomic(fileName_, ToText());
  modified_ = false;
}

}  // namespace project
