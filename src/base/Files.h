#pragma once
// File-system helpers: taking paths apart and joining them ('/' separated), case-blind text
// comparison, file and folder tests, whole-file reading, safe replacement of files and
// read-only memory maps.
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

bool FileExists(const std::string& path);       // a regular file
bool DirectoryExists(const std::string& path);
// Whether a new file can be created in the folder (tried, not guessed from permission bits).
bool IsFolderWritable(const std::string& dir);
bool ForceDirectories(const std::string& path);  // creates missing parents; true when it exists after
bool DeleteFileIfExists(const std::string& path);
// Renames without ever replacing: false when 'to' exists (also if it appears meanwhile) or on error.
bool RenameFile(const std::string& from, const std::string& to);
bool FileModificationTime(const std::string& path, std::time_t& out);
std::string CurrentDirectory();
bool SetCurrentDirectory(const std::string& dir);
std::string AbsolutePath(const std::string& path);

// Whole-file reading; throws PelinoxaError("Cannot open file \"...\" ...") on failure.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);

// Replacing a file safely. The bytes go to a temporary file beside the target, which is renamed
// over it only when everything was written, so a failed write never loses the previous file.
// A symbolic link is written through to its target (the link stays); a file without write
// permission is refused (also for root) instead of being replaced; a device such as /dev/null
// is written in place. Errors are PelinoxaErrors naming the file and the reason.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::string& path);
  ~AtomicFileWriter();  // an unfinished write leaves the target as it was
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  const std::string& path() const { return path_; }
  void write(const void* data, size_t size);  // appends
  void write(std::string_view text) { write(text.data(), text.size()); }
  // Writes the bytes down and closes the temporary; the target is not touched yet.
  void finish();
  // finish(), then puts the new file in place.
  void commit();

  // Puts several files in place together: each must have been written; either all targets
  // are replaced or, when one cannot be, those already replaced get their old content back.
  static void CommitTogether(const std::vector<AtomicFileWriter*>& files);

 private:
  [[noreturn]] void fail(const std::string& what, int err);
  void discard();
  std::string path_;    // as the caller named it (for messages)
  std::string target_;  // the file really replaced (symbolic links followed)
  std::string temp_;
  int fd_ = -1;
  bool inPlace_ = false;  // a device, written directly
  bool finished_ = false;
  bool keepMode_ = false;
  unsigned mode_ = 0;
  unsigned uid_ = 0, gid_ = 0;
};

void WriteFileAtomic(const std::string& path, const void* data, size_t size);
inline void WriteFileAtomic(const std::string& path, std::string_view text) {
  WriteFileAtomic(path, text.data(), text.size());
}

// The question asked before an existing file is replaced.
std::string OverwriteQuestion(const std::string& fileName);

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
