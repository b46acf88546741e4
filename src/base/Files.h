#pragma once
// File-system helpers. Paths use '/' on this platform; "folder + \ + name" in the
// original program's terms is JoinPath(folder, name) here.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace px {

std::string ExtractFileDir(const std::string& path);    // "/a/b.avi" -> "/a"
std::string ExtractFileName(const std::string& path);   // "/a/b.avi" -> "b.avi"
std::string ExtractFileExt(const std::string& path);    // "/a/b.avi" -> ".avi" ("" when none)
std::string ChangeFileExt(const std::string& path, const std::string& ext);  // ext with dot or ""
std::string JoinPath(const std::string& dir, const std::string& name);
std::string LowerCase(std::string s);
std::string UpperCase(std::string s);
bool EndsWithNoCase(const std::string& s, const std::string& tail);
int CompareNoCase(const std::string& a, const std::string& b);  // <0, 0, >0
bool SameTextNoCase(const std::string& a, const std::string& b);

bool FileExists(const std::string& path);       // a regular file
bool DirectoryExists(const std::string& path);
// Whether a new file can be created in the folder (tried, not guessed from permission bits).
bool IsFolderWritable(const std::string& dir);
bool ForceDirectories(const std::string& path);  // creates missing parents; true when it exists after
bool DeleteFileIfExists(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);  // false when 'to' exists or on error
bool FileModificationTime(const std::string& path, std::time_t& out);
std::string CurrentDirectory();
bool SetCurrentDirectory(const std::string& dir);
std::string AbsolutePath(const std::string& path);

// Whole-file reading; throws PelinoxaError("Cannot open file \"...\" ...") on failure.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);

// Writes through a temporary file in the same folder and renames it over the target, so a
// failed write never destroys the previous file. Throws PelinoxaError on failure.
void WriteFileAtomic(const std::string& path, const void* data, size_t size);
inline void WriteFileAtomic(const std::string& path, std::string_view text) {
  WriteFileAtomic(path, text.data(), text.size());
}

// Read-only memory map of a whole file. Empty files map to an empty span.
class MappedFile {
 public:
  MappedFile() = default;
  explicit MappedFile(const std::string& path);  // throws PelinoxaError when it cannot be opened
  ~MappedFile();
  MappedFile(MappedFile&& o) noexcept;
  MappedFile& operator=(MappedFile&& o) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool open(const std::string& path);  // false when it cannot be opened
  void close();
  bool isOpen() const { return fd_ >= 0; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  const std::string& path() const { return path_; }
  // Identity of the file as opened (device, inode, size, modification time).
  bool sameFileAs(const std::string& path) const;

 private:
  int fd_ = -1;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  std::string path_;
  uint64_t dev_ = 0, ino_ = 0;
  int64_t mtimeNs_ = 0;
};

}  // namespace px
