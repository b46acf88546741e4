#pragma once
// Shared by the end-to-end benchmarks: generated captures (made once, kept in a cache folder)
// and a main window without a display started in a scratch folder.
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "base/Files.h"
#include "ui/BmpCodec.h"
#include "ui/HeadlessUi.h"

namespace pxbench {

inline std::string CacheDir() {
  std::string d = "/tmp/pelinoxa-bench";
  px::ForceDirectories(d);
  return d;
}

// A capture written by the sample generator with the given options, generated on first use.
inline std::string Capture(const std::string& name, const std::string& options) {
  std::string out = px::JoinPath(CacheDir(), name);
  if (!px::FileExists(out)) {
    std::string cmd = std::string(PX_BINARY_DIR) + "/tools/pelinoxa-samplegen --out " + out + " " + options +
                      " --truth " + out + ".json > /dev/null";
    if (std::system(cmd.c_str()) != 0) std::abort();
  }
  return out;
}

// A 4096 x 4096 colour still (a gradient pattern), written on first use.
inline std::string Big4096Bmp() {
  const std::string bmp = px::JoinPath(CacheDir(), "big4096.bmp");
  if (!px::FileExists(bmp)) {
    ui::Bitmap24 b(4096, 4096);
    for (int y = 0; y < 4096; ++y)
      for (int x = 0; x < 4096; ++x) b.setPixel(x, y, ui::Color(x & 255, y & 255, (x ^ y) & 255));
    ui::SaveBmpFile(bmp, b);
  }
  return bmp;
}

// A "VmRSS:" or "VmHWM:" line of /proc/self/status, in kB.
inline long ProcStatusKb(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string(key).size());
  return 0;
}

struct HeadlessApp {
  ui::HeadlessUi ui;
  std::unique_ptr<app::MainForm> mf;
  HeadlessApp() {
    std::string dir = px::JoinPath(CacheDir(), "program");
    px::ForceDirectories(dir);
    px::SetCurrentDirectory(dir);
    mf = std::make_unique<app::MainForm>(ui);
    app::StartupOptions opts;
    opts.programPath = "/proc/self/exe";
    opts.settingsPath = px::JoinPath(dir, "settings.ini");
    mf->FormCreate(opts);
  }
  void SelectVideo(const std::string& path) {
    ui.queueDialog({path}, 1);
    mf->form().get<ui::Button>("SelectFileButton").userClick();
  }
};

}  // namespace pxbench
