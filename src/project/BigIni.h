#pragma once
// TBigIniFile: an in-memory INI document for large files (project files hold several keys
// for each of up to 5000 frames). Loads the whole file, answers reads from memory, records
// whether anything changed and rewrites the whole file on flush or destruction.
// Section lookups start at the section used last; names compare case-insensitively.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace project {

class TSectionList {
 public:
  struct Section {
    std::string name;
    std::vector<std::string> lines;  // raw lines, normally key=value
    // Lower-cased key -> index of the first line with that key, so runs of thousands of
    // writes stay linear. TBigIniFile keeps it; code that edits `lines` itself must call
    // InvalidateIndex() afterwards (appending is noticed by the line count).
    mutable std::unordered_map<std::string, int> keyIndex;
    mutable size_t indexedLines = 0;
    mutable bool indexValid = false;
    void InvalidateIndex() { indexValid = false; }
  };
  int Count() const { return static_cast<int>(sections_.size()); }
  Section& At(int i) { return sections_[i]; }
  const Section& At(int i) const { return sections_[i]; }
  // Case-insensitive search starting at the entry found last, wrapping around once.
  int IndexOf(const std::string& name) const;
  int Add(const std::string& name);  // appends, even if a section of that name exists
  void Delete(int i);
  void Clear();
  void ResetLastFound() { lastFound_ = 0; }

 private:
  std::vector<Section> sections_;
  mutable int lastFound_ = 0;
};

class TBigIniFile {
 public:
  static constexpr size_t MaxTextLength = 255;

  explicit TBigIniFile(const std::string& fileName);  // loads the file when it exists
  ~TBigIniFile();                                      // flushes
  TBigIniFile(const TBigIniFile&) = delete;
  TBigIniFile& operator=(const TBigIniFile&) = delete;

  const std::string& FileName() const { return fileName_; }
  bool Modified() const { return modified_; }

  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  long long ReadInteger(const std::string& section, const std::string& key, long long def) const;
  void WriteInteger(const std::string& section, const std::string& key, long long value);
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;
  void WriteBool(const std::string& section, const std::string& key, bool value);
  bool ValueExists(const std::string& section, const std::string& key) const;
  bool SectionExists(const std::string& section) const;

  void ReadSection(const std::string& section, std::vector<std::string>& keys) const;
  void ReadSections(std::vector<std::string>& names) const;
  void ReadSectionValues(const std::string& section, std::vector<std::string>& lines) const;
  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& key);
  void AppendFromFile(const std::string& fileName);
  void WriteToStrings(std::vector<std::string>& out) const;
  std::string ToText() const;  // the file's content as FlushFile would write it
  void FlushFile();            // writes when modified and named; throws PelinoxaError on I/O errors

  // Replaces the content with INI text from memory, loaded as from a file (tests, fuzzer).
  void LoadFromText(const std::string& text);

 private:
  int FindSection(const std::string& name) const;  // starts at the current section, wraps once
  static int FindKey(const TSectionList::Section& s, std::string_view key);
  static void AppendLine(TSectionList::Section& s, std::string line);
  void LoadText(std::string_view text);  // appends to what is there
  void RemoveDuplicateSections();
  size_t TotalLines() const;
  std::string fileName_;
  TSectionList sections_;
  mutable int current_ = 0;
  bool modified_ = false;
};

}  // namespace project
