#pragma once
// The project file (".pxp"): the input, every frame's registration result and rank, the stage
// reached and the settings snapshot, as INI text. Reading checks everything before anything is
// used, so a broken file is refused whole with a message naming the key and the problem.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace project {

constexpr int kMaxProjectFrames = 5001;               // the frame table's slots
constexpr size_t kMaxProjectBytes = 64u * 1024 * 1024;  // far above 5001 frames' worth

struct ProjectFrame {
  std::string im;  // still frames: the file name without folder
  bool ex = false;
  int32_t x = 0, y = 0;
  float fx = 0, fy = 0;  // the shift with its sub-pixel part
  float d = 0, q = 0;
  int32_t xa = 0, ya = 0;  // second field (de-interlacing)
  float da = 0, qa = 0;
};

struct ProjectData {
  std::string filetype = "BMP";  // "AVI", "BMP", "FIT", "JPG", "TIF"
  std::string filedir;
  std::string filename;  // AVI input: the video's name
  bool useDark = false, useFlat = false;
  std::string darkfile, flatfile;
  int darkfiletype = -1, flatfiletype = -1;
  int progstatus = 0;
  int activepage = -1;  // -1: not written
  int usedframes = 1;
  int refframe = 0;
  bool hasStackSliders = false;  // progstatus > 3
  int stackslider = 0, stackdifslider = 0;
  bool hasWavelet = false;  // progstatus = 4
  int layer[6] = {10, 10, 10, 10, 10, 10};
  int initial = 0, step = 0, scaletype = 0, contrast = 100, brightness = 0;
  int hotx = 0, hoty = 0, stackx = 0, stacky = 0;
  bool resampled = false;
  int resamplevalue = 1;
  bool interlaced = false;  // the "IShifts" and "IInfo" sections
  // Sub-pixel shifts ("FineShifts", FX/FY): written only when one differs from its whole-pixel
  // shift, so that sub-pixel stacking of a loaded project gives the same stack. Without the
  // section the fine shifts are the whole-pixel ones.
  bool fineShifts = false;
  std::vector<ProjectFrame> frames;  // sequencelength entries
  std::vector<int32_t> rank;         // frame number of rank k
  std::vector<std::string> formLines;  // the "Form" section, key=value

  bool avi() const { return filetype == "AVI"; }
  int sequencelength() const { return static_cast<int>(frames.size()); }
};

// The file's text; the same data always gives the same bytes.
std::string WriteProjectText(const ProjectData& p);

// Parses and checks a project. Throws px::PelinoxaError "Project FILE: PROBLEM" for binary or
// oversized text, a missing "Input" section, keys that are not numbers, numbers out of range
// (frame counts, ranks, shifts, NaN qualities), frame names that are not plain file names.
ProjectData ReadProjectText(std::string_view text, const std::string& fileName);

// Reads the file (refusing what is not a regular file or is too large) and parses it.
ProjectData ReadProjectFile(const std::string& path);

}  // namespace project
