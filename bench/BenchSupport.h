#pragma once
// Shared by the end-to-end benchmarks: generated captures (made once, kept in a cache folder)
// and a main window without a display started in a scratch folder.
#include <cstdlib>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "base/Files.h"
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
