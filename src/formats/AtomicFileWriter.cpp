#include "formats/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/Error.h"
#include "base/Files.h"

namespace formats {

AtomicFileWriter::AtomicFileWriter(const std::string& path) : path_(path) {
  std::string dir = px::ExtractFileDir(path);
  std::string tmpl = px::JoinPath(dir.empty() ? "." : dir, "." + px::ExtractFileName(path) + ".XXXXXX");
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  fd_ = ::mkstemp(name.data());
  if (fd_ < 0) throw px::PelinoxaError("Cannot create file \"" + path + "\". " + std::strerror(errno));
  temp_ = name.data();
}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void AtomicFileWriter::fail(const std::string& what) {
  std::string msg = what + " \"" + path_ + "\". " + std::strerror(errno);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ::unlink(temp_.c_str());
  temp_.clear();
  throw px::PelinoxaError(msg);
}

void AtomicFileWriter::write(const void* data, size_t size) {
  if (fd_ < 0) throw px::PelinoxaError("Write error on file \"" + path_ + "\"");
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("Write error on file");
    }
    p += n;
    size -= size_t(n);
  }
}

void AtomicFileWriter::commit() {
  if (fd_ < 0) throw px::PelinoxaError("Write error on file \"" + path_ + "\"");
  // Keep the permissions an ordinary new file would get.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail("Cannot write file");
  if (::rename(temp_.c_str(), path_.c_str()) != 0) fail("Cannot write file");
  temp_.clear();
}

}  // namespace formats
