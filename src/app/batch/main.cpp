// pelinoxa-batch: the main window without a display, driven by a script.
#include <unistd.h>

#include <climits>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/BatchScript.h"
#include "app/MainForm.h"
#include "base/Error.h"
#include "ui/HeadlessUi.h"

namespace {

void Usage() {
  std::cerr << "usage: pelinoxa-batch --script FILE [--settings FILE] [--timings] [--open] [PROJECT.pxp|LIST.pxl]\n"
               "  Runs the program without a window, one script command a line.\n";
}

std::string ProgramPath(const char* argv0) {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return argv0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string script, settings;
  bool timings = false;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--script" && i + 1 < argc) script = argv[++i];
    else if (a == "--settings" && i + 1 < argc) settings = argv[++i];
    else if (a == "--timings") timings = true;
    else if (a == "--open" && i + 1 < argc) args = {argv[++i]};
    else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      Usage();
      return 3;
    } else {
      args.push_back(a);
    }
  }
  if (script.empty()) {
    Usage();
    return 3;
  }

  ui::HeadlessUi ui;
  ui.strict = true;
  ui.onMessage = [](const ui::HeadlessUi::Message& m) {
    std::cerr << "[" << ui::MsgKindName(m.kind) << "] " << m.text;
    if (m.buttons != ui::ButtonsOK) std::cerr << " -> " << ui::DialogResultName(m.answer);
    std::cerr << std::endl;
  };
  ui.onProblem = [](const std::string& text) { std::cerr << "[log] " << text << std::endl; };
  try {
    app::MainForm mf(ui);
    app::BatchScript batch(mf, ui, std::cout, std::cerr);
    batch.printTimings = timings;
    app::StartupOptions opts;
    opts.programPath = ProgramPath(argv[0]);
    opts.args = args;
    opts.settingsPath = settings;
    mf.FormCreate(opts);
    mf.FormShow();
    mf.OpenCommandLineFile();
    int rc = batch.RunFile(script);
    mf.FormClose();
    return rc;
  } catch (const px::ScriptAbort& e) {
    std::cerr << "pelinoxa-batch: " << e.what() << std::endl;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "pelinoxa-batch: " << e.what() << std::endl;
    return 1;
  }
}
