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

bool SameTextNoCase(const std::string& a, const std::string& b) { return CompareNoCase(a, b) == 0; }

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
  return ::rename(from.c_str(), to.c_str()) == 0;
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

void WriteFileAtomic(const std::string& path, const void* data, size_t size) {
  std::string dir = ExtractFileDir(path);
  std::string tmpl = JoinPath(dir.empty() ? "." : dir, "." + ExtractFileName(path) + ".XXXXXX");
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) throw PelinoxaError("Cannot create file \"" + path + "\". " + ErrnoText());
  const auto* p = static_cast<const uint8_t*>(data);
  size_t left = size;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::string msg = "Write error on file \"" + path + "\". " + ErrnoText();
      ::close(fd);
      ::unlink(name.data());
      throw PelinoxaError(msg);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  // Keep the permissions an ordinary new file would get.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  if (::close(fd) != 0 || ::rename(name.data(), path.c_str()) != 0) {
    std::string msg = "Cannot write file \"" + path + "\". " + ErrnoText();
    ::unlink(name.data());
    throw PelinoxaError(msg);
  }
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
