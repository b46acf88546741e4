// pelinoxa-yardstick: the naive pipeline over a generated capture, scored against its truth.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "Yardstick.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "ui/Bitmap24.h"
#include "ui/BmpCodec.h"

namespace {

const char* kUsage =
    "usage: pelinoxa-yardstick CAPTURE.avi --truth T.json [options]\n"
    "  --x X --y Y      centre of the box that ranks and registers (the frame's centre)\n"
    "  --box N          box size, a power of two (128)\n"
    "  --best F         fraction of the frames stacked (0.2)\n"
    "  --out FILE       write the stack as a grey 24-bit BMP\n"
    "Prints the frames read, the reference frame, the Spearman correlation of the quality\n"
    "with the truth's Strehl ratios and the RMS shift error in pixels (all frames, stacked frames).\n";

[[noreturn]] void Usage(const std::string& problem) {
  std::fprintf(stderr, "pelinoxa-yardstick: %s\n%s", problem.c_str(), kUsage);
  std::exit(2);
}

double Number(const std::string& name, const std::string& text) {
  double v = 0;
  if (!px::TryParseDouble(text, v) || !std::isfinite(v)) Usage("bad number for " + name + ": " + text);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  std::string capture, truthPath, out;
  yardstick::Settings s;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage("missing value after " + a);
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--truth") {
      truthPath = value();
    } else if (a == "--x") {
      s.x = static_cast<int>(Number(a, value()));
    } else if (a == "--y") {
      s.y = static_cast<int>(Number(a, value()));
    } else if (a == "--box") {
      s.box = static_cast<int>(Number(a, value()));
    } else if (a == "--best") {
      s.best = Number(a, value());
    } else if (a == "--out") {
      out = value();
    } else if (!a.empty() && a[0] == '-') {
      Usage("unknown option " + a);
    } else if (capture.empty()) {
      capture = a;
    } else {
      Usage("one capture only");
    }
  }
  if (capture.empty() || truthPath.empty()) Usage("a capture and --truth are required");
  if (s.best <= 0 || s.best > 1) Usage("--best must be in (0, 1]");
  try {
    const px::Json truth = px::Json::parse(px::ReadFileText(truthPath));
    std::vector<int> indices;
    const auto frames = yardstick::ReadVideo(capture, indices);
    const yardstick::Result r = yardstick::Measure(frames, indices, truth, s);
    std::printf("frames %zu\nreference %d\nstacked %zu\nspearman %.4f\nshift_rms %.4f\nshift_rms_stacked %.4f\n",
                frames.size(), r.frames[static_cast<size_t>(r.reference)], r.chosen.size(), r.spearman, r.shiftRms,
                r.shiftRmsBest);
    if (!out.empty()) {
      ui::Bitmap24 b;
      b.reset(r.stack.width, r.stack.height);
      for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
          const auto v = static_cast<uint8_t>(std::lround(std::clamp(r.stack.at(x, y), 0.0f, 255.0f)));
          uint8_t* p = b.row(y) + 3 * x;
          p[0] = p[1] = p[2] = v;
        }
      ui::SaveBmpFile(out, b);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pelinoxa-yardstick: %s\n", e.what());
    return 1;
  }
  return 0;
}
