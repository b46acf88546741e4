#include "base/Files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "base/Error.h"

namespace px {

namespace fs = std::filesystem;

std::string ExtractFileDir(const std::string& path) {
  auto p = path.find_last_of('/');
  if (p == std::string::npos) return "";
  if (p == 0) return "/";
  return path.substr(0, p);
}

std::string ExtractFileName(const std::string& path) {
  auto p = path.find_last_of('/');
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileExt(const std::string& path) {
  std::string name = ExtractFileName(path);
  auto p = name.find_last_of('.');
  return p == std::string::npos ? "" : name.substr(p);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  auto slash = path.find_last_of('/');
  auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string LowerCase(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string UpperCase(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
  if (tail.size() > s.size()) return false;
  return LowerCase(s.substr(s.size() - tail.size())) == LowerCase(tail);
}

int CompareNoCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFolderWritable(const std::string& dir) {
  std::string tmpl = JoinPath(dir.empty() ? "." : dir, ".pelinoxa-probe.XXXXXX");
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(name.data());
  return true;
}

bool ForceDirectories(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return DirectoryExists(path);
}

bool DeleteFileIfExists(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) {
  if (FileExists(to) || DirectoryExists(to)) return false;
  // Refused by the kernel when 'to' appears meanwhile, so an existing file is never replaced.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: a second name, then the old one removed.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

bool FileModificationTime(const std::string& path, std::time_t& out) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  out = st.st_mtime;
  return true;
}

std::string CurrentDirectory() {
  std::error_code ec;
  auto p = fs::current_path(ec);
  return ec ? std::string() : p.string();
}

bool SetCurrentDirectory(const std::string& dir) { return ::chdir(dir.c_str()) == 0; }

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  auto p = fs::absolute(path, ec);
  return ec ? path : p.lexically_normal().string();
}

static std::string ErrnoText() { return std::strerror(errno); }

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw PelinoxaError("Cannot open file \"" + path + "\". " + ErrnoText());
  std::vector<uint8_t> out;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) out.reserve(static_cast<size_t>(st.st_size));
  uint8_t buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::string msg = "Read error on file \"" + path + "\". " + ErrnoText();
      ::close(fd);
      throw PelinoxaError(msg);
    }
    if (n == 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  ::close(fd);
  return out;
}

std::string ReadFileText(const std::string& path) {
  auto bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

namespace {

// Where a write to `path` lands: symbolic links followed; a dangling link names the file to
// create. Throws for a loop of links.
std::string FollowLinks(const std::string& path) {
  std::string p = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::error_code ec;
    fs::path link = fs::read_symlink(p, ec);
    if (ec) return p;
    p = link.is_absolute() ? link.string() : (fs::path(p).parent_path() / link).string();
  }
  throw PelinoxaError("Cannot write file \"" + path + "\": " + std::strerror(ELOOP) + ".");
}

// A new empty file beside `target` (hidden, named after it), open in fd; fd < 0 on failure.
std::string UniqueNameBeside(const std::string& target, const char* tag, int& fd) {
  std::string dir = ExtractFileDir(target);
  std::string tmpl = JoinPath(dir.empty() ? "." : dir, "." + ExtractFileName(target) + tag + ".XXXXXX");
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  fd = ::mkstemp(name.data());
  return fd < 0 ? std::string() : std::string(name.data());
}

}  // namespace

std::string OverwriteQuestion(const std::string& fileName) {
  return " Overwrite existing file ( " + fileName + " ) ?";
}

AtomicFileWriter::AtomicFileWriter(const std::string& path) : path_(path) {
  target_ = FollowLinks(path);
  struct stat st;
  if (::stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) fail("Cannot write file", EISDIR);
    if (!S_ISREG(st.st_mode)) {
      // A device or pipe cannot be replaced; it is written as a plain program would.
      fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
      if (fd_ < 0) fail("Cannot write file", errno);
      ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
      inPlace_ = true;
      return;
    }
    // Root may write anything; a file without any write permission still stays untouched.
    if ((st.st_mode & 0222) == 0)
      throw PelinoxaError("Cannot write file \"" + path + "\": the file is read-only.");
    if (::access(target_.c_str(), W_OK) != 0) fail("Cannot write file", errno);
    keepMode_ = true;
    mode_ = st.st_mode & 07777;
    uid_ = st.st_uid;
    gid_ = st.st_gid;
  }
  temp_ = UniqueNameBeside(target_, "", fd_);
  if (fd_ < 0) fail("Cannot write file", errno);
}

AtomicFileWriter::~AtomicFileWriter() { discard(); }

void AtomicFileWriter::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

void AtomicFileWriter::fail(const std::string& what, int err) {
  discard();
  throw PelinoxaError(what + " \"" + path_ + "\": " + std::strerror(err) + ".");
}

void AtomicFileWriter::write(const void* data, size_t size) {
  if (fd_ < 0 || finished_) throw PelinoxaError("Write error on file \"" + path_ + "\": the file is closed.");
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("Write error on file", errno);
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
}

void AtomicFileWriter::finish() {
  if (finished_) return;
  if (fd_ < 0) throw PelinoxaError("Write error on file \"" + path_ + "\": the file is closed.");
  if (!inPlace_) {
    if (keepMode_) {
      if (::fchown(fd_, uid_, gid_) != 0) {
        // Another owner cannot be given away; the mode still is.
      }
      ::fchmod(fd_, mode_);
    } else {
      mode_t mask = ::umask(0);
      ::umask(mask);
      ::fchmod(fd_, 0666 & ~mask);
    }
  }
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail("Write error on file", errno);
  finished_ = true;
}

void AtomicFileWriter::commit() { CommitTogether({this}); }

void AtomicFileWriter::CommitTogether(const std::vector<AtomicFileWriter*>& files) {
  for (auto* f : files) f->finish();
  struct Step {
    AtomicFileWriter* f;
    std::string backup;  // a second name of the old file
    bool existed = false;
    bool replaced = false;
  };
  std::vector<Step> steps;
  for (auto* f : files)
    if (!f->inPlace_) steps.push_back({f, {}, FileExists(f->target_), false});
  auto undo = [&] {
    for (auto& s : steps) {
      if (s.replaced) {
        if (!s.backup.empty()) ::rename(s.backup.c_str(), s.f->target_.c_str());
        else if (!s.existed) ::unlink(s.f->target_.c_str());
      } else if (!s.backup.empty()) {
        ::unlink(s.backup.c_str());
      }
      s.f->discard();
    }
  };
  // Old files keep a second name until every new one is in place.
  if (steps.size() > 1)
    for (auto& s : steps) {
      if (!s.existed) continue;
      int fd;
      std::string name = UniqueNameBeside(s.f->target_, ".old", fd);
      if (fd < 0) {
        const int err = errno;
        undo();
        s.f->fail("Cannot write file", err);
      }
      ::close(fd);
      ::unlink(name.c_str());
      // A file system without hard links gives up the way back for this file only.
      if (::link(s.f->target_.c_str(), name.c_str()) == 0) s.backup = name;
    }
  for (auto& s : steps) {
    if (::rename(s.f->temp_.c_str(), s.f->target_.c_str()) != 0) {
      const int err = errno;
      undo();
      s.f->fail("Cannot write file", err);
    }
    s.replaced = true;
    s.f->temp_.clear();
  }
  for (auto& s : steps)
    if (!s.backup.empty()) ::unlink(s.backup.c_str());
}

void WriteFileAtomic(const std::string& path, const void* data, size_t size) {
  AtomicFileWriter f(path);
  f.write(data, size);
  f.commit();
}

MappedFile::MappedFile(const std::string& path) {
  if (!open(path)) throw PelinoxaError("Cannot open file \"" + path + "\". " + ErrnoText());
}

MappedFile::~MappedFile() { close(); }

MappedFile::MappedFile(MappedFile&& o) noexcept { *this = std::move(o); }

MappedFile& MappedFile::operator=(MappedFile&& o) noexcept {
  if (this != &o) {
    close();
    fd_ = o.fd_;
    data_ = o.data_;
    size_ = o.size_;
    path_ = std::move(o.path_);
    dev_ = o.dev_;
    ino_ = o.ino_;
    mtimeNs_ = o.mtimeNs_;
    o.fd_ = -1;
    o.data_ = nullptr;
    o.size_ = 0;
  }
  return *this;
}

bool MappedFile::open(const std::string& path) {
  close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return false;
  }
  size_t size = static_cast<size_t>(st.st_size);
  const uint8_t* data = nullptr;
  if (size > 0) {
    void* m = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (m == MAP_FAILED) {
      ::close(fd);
      return false;
    }
    data = static_cast<const uint8_t*>(m);
  }
  fd_ = fd;
  data_ = data;
  size_ = size;
  path_ = path;
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  mtimeNs_ = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return true;
}

void MappedFile::close() {
  if (data_ && size_ > 0) ::munmap(const_cast<uint8_t*>(data_), size_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  data_ = nullptr;
  size_ = 0;
  path_.clear();
}

bool MappedFile::sameFileAs(const std::string& path) const {
  if (fd_ < 0) return false;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  int64_t m = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return st.st_dev == dev_ && st.st_ino == ino_ && static_cast<size_t>(st.st_size) == size_ && m == mtimeNs_;
}

}  // namespace px
