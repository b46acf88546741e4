#pragma once
// The frame list file (".pxl"): one still frame's full path a line, in frame order.
#include <string>
#include <string_view>
#include <vector>

namespace project {

constexpr size_t kMaxFrameListBytes = 32u * 1024 * 1024;

// One path a line, each line ended by '\n'.
std::string WriteFrameListText(const std::vector<std::string>& paths);

// The paths of a list's text. Line ends "\n" and "\r\n" both end a line; blank lines are
// skipped; a relative path is taken against `listDir`. Throws px::PelinoxaError
// "Frame list FILE: PROBLEM" for binary or oversized text.
std::vector<std::string> ReadFrameListText(std::string_view text, const std::string& fileName,
                                           const std::string& listDir);

// Reads the file (refusing what is not a regular file or is too large) and parses it.
std::vector<std::string> ReadFrameListFile(const std::string& path);

}  // namespace project
