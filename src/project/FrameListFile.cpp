#include "project/FrameListFile.h"

#include <sys/stat.h>

#include "base/Error.h"
#include "base/Files.h"

namespace project {

std::string WriteFrameListText(const std::vector<std::string>& paths) {
  std::string text;
  for (const auto& p : paths) text.append(p) += '\n';
  return text;
}

std::vector<std::string> ReadFrameListText(std::string_view text, const std::string& fileName,
                                           const std::string& listDir) {
  auto fail = [&](const std::string& problem) {
    throw px::PelinoxaError("Frame list " + fileName + ": " + problem);
  };
  if (text.size() > kMaxFrameListBytes)
    fail("the file is too large to be a frame list (" + std::to_string(text.size()) + " bytes)");
  std::vector<std::string> paths;
  size_t pos = 0;
  int lineNo = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    for (unsigned char c : line)
      if (c < 32 && c != '\t') fail("line " + std::to_string(lineNo) + " holds binary data, it is not a frame list");
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    std::string path(line);
    if (path[0] != '/') path = px::JoinPath(listDir, path);
    paths.push_back(std::move(path));
  }
  return paths;
}

std::vector<std::string> ReadFrameListFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw px::PelinoxaError("Frame list " + path + ": the file does not exist");
  if (!S_ISREG(st.st_mode)) throw px::PelinoxaError("Frame list " + path + ": it is not a regular file");
  if (static_cast<unsigned long long>(st.st_size) > kMaxFrameListBytes)
    throw px::PelinoxaError("Frame list " + path + ": the file is too large to be a frame list (" +
                            std::to_string(static_cast<long long>(st.st_size)) + " bytes)");
  return ReadFrameListText(px::ReadFileText(path), path, px::ExtractFileDir(px::AbsolutePath(path)));
}

}  // namespace project
