// The still-frame sequence path of a run: the input is cut into up to three files of the kinds
// its first bytes choose (BMP, JPEG, FITS, TIFF, or BMP by extension), which are read as frames
// of a sequence in a headless main window. Each frame either reads into a picture within the
// frame limits or is left out and noted with its reason; nothing else may happen.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "base/Files.h"
#include "frames/FrameSource.h"
#include "ui/HeadlessUi.h"

namespace {

struct Session {
  std::string dir;
  ui::HeadlessUi ui;
  std::unique_ptr<app::MainForm> mf;
  Session() {
    char tmpl[] = "/tmp/pelinoxa-fuzz-seq-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    dir = tmpl;
    mf = std::make_unique<app::MainForm>(ui);
    app::StartupOptions opts;
    opts.programPath = "/proc/self/exe";
    opts.settingsPath = dir + "/config/pelinoxa.ini";
    mf->FormCreate(opts);
  }
};

const char* kExt[] = {".bmp", ".jpg", ".fits", ".tif"};
const frames::InputKind kKind[] = {frames::ikBmp, frames::ikJpeg, frames::ikFits, frames::ikTiff, frames::ikBmp};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Session s;
  if (size < 3) return 0;
  // Byte 0: the input kind (4 = BMP input with files of any kind); byte 1: the number of files
  // (1..3) and which of them get which extension; the rest is split evenly.
  const frames::InputKind kind = kKind[data[0] % 5];
  const int files = 1 + data[1] % 3;
  const uint8_t* body = data + 2;
  const size_t n = size - 2, part = n / size_t(files);
  auto& in = s.mf->ws.input;
  auto& table = s.mf->ws.table;
  in.InputKind = kind;
  in.FrameCount = files;
  in.SelectedCount = files;
  in.UnreadableFrames.clear();
  for (int f = 0; f < files; ++f) {
    const std::string ext = kExt[(data[1] >> (2 + 2 * f)) & 3];
    const std::string path = s.dir + "/frame" + std::to_string(f) + ext;
    const uint8_t* from = body + size_t(f) * part;
    const size_t len = f == files - 1 ? n - size_t(f) * part : part;
    px::WriteFileAtomic(path, from, len);
    table.fileNames[f] = path;
    table[f].Excluded = 0;
    table[f].Dropped = 0;
  }
  for (int f = 0; f < files; ++f) {
    const bool read = s.mf->frameSource().ReadRunStill(f, kind);
    const ui::Bitmap24& pic = s.mf->frameSource().preview();
    if (read) {
      if (pic.width() <= 0 || pic.height() <= 0 || table[f].Excluded) std::abort();
    } else {
      if (!table[f].Excluded || in.UnreadableFrames.empty() || in.UnreadableFrames.back().frame != f) std::abort();
    }
  }
  if (static_cast<int>(in.UnreadableFrames.size()) > files) std::abort();
  if (!in.UnreadableFrames.empty() && s.mf->frameSource().UnreadableReport().empty()) std::abort();
  return 0;
}
