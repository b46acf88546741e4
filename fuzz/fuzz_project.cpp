// libFuzzer target for the project loader and the frame-list reader: arbitrary bytes are either
// refused with a message or give a project whose counts, ranks and values are in range, and
// what is written from it reads back to the same text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/Error.h"
#include "project/FrameListFile.h"
#include "project/ProjectFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    (void)project::ReadFrameListText(text, "fuzz.pxl", "/");
  } catch (const px::PelinoxaError&) {
  }
  project::ProjectData p;
  try {
    p = project::ReadProjectText(text, "fuzz.pxp");
  } catch (const px::PelinoxaError&) {
    return 0;
  }
  const int n = p.sequencelength();
  if (n < 0 || n > project::kMaxProjectFrames || static_cast<int>(p.rank.size()) != n) std::abort();
  if (n > 0 && (p.refframe < 0 || p.refframe >= n)) std::abort();
  for (int r : p.rank)
    if (r < 0 || r >= n) std::abort();
  for (const auto& f : p.frames)
    if (!std::isfinite(f.q) || !std::isfinite(f.d) || !std::isfinite(f.qa) || !std::isfinite(f.da) ||
        !std::isfinite(f.fx) || !std::isfinite(f.fy))
      std::abort();
  const std::string written = project::WriteProjectText(p);
  if (project::WriteProjectText(project::ReadProjectText(written, "again.pxp")) != written) std::abort();
  return 0;
}
