#include "frames/FileCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/Error.h"

namespace frames {

std::string UnreadableFileReason(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "no such file";
    if (errno == EACCES) return "permission denied";
    return std::strerror(errno);
  }
  if (S_ISDIR(st.st_mode)) return "it is a folder, not a file";
  if (S_ISFIFO(st.st_mode)) return "it is a pipe (FIFO), not a file";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  if (::access(path.c_str(), R_OK) != 0) return errno == EACCES ? "permission denied" : std::strerror(errno);
  return {};
}

void RequireReadableFile(const std::string& path) {
  const std::string reason = UnreadableFileReason(path);
  if (!reason.empty()) throw px::PelinoxaError("Cannot read \"" + path + "\": " + reason);
}

}  // namespace frames
