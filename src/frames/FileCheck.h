#pragma once
// Telling the user why a path named as input cannot be read, before anything opens it (opening
// a FIFO for reading would wait for a writer).
#include <string>

namespace frames {

// Why `path` cannot be read as a file ("no such file", "it is a folder, not a file", "it is a
// pipe (FIFO), not a file", "it is not a regular file", "permission denied"); empty when it is
// a regular file that can be read.
std::string UnreadableFileReason(const std::string& path);

// Throws px::PelinoxaError "Cannot read \"PATH\": REASON" unless the path is a readable file.
void RequireReadableFile(const std::string& path);

}  // namespace frames
