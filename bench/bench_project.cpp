// Project files of 5000 frames: the text written and parsed, and the whole "Save" and
// "Project Load" of the program (headless) on a 5000-frame still sequence.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "app/ProjectController.h"
#include "base/Files.h"
#include "project/ProjectFile.h"
#include "ui/BmpCodec.h"

namespace {

constexpr int kFrames = 5000;

project::ProjectData FiveThousand() {
  project::ProjectData p;
  p.filetype = "BMP";
  p.filedir = "/captures/moon";
  p.progstatus = 3;
  p.interlaced = true;
  p.frames.resize(kFrames);
  p.rank.resize(kFrames);
  for (int i = 0; i < kFrames; ++i) {
    auto& f = p.frames[i];
    f.im = "frame_" + std::to_string(i) + ".bmp";
    f.ex = i % 17 == 0;
    f.x = i % 23 - 11;
    f.y = i % 19 - 9;
    f.d = static_cast<float>((i * 7919 + 1) % 100003) / 100003.0f;
    f.q = static_cast<float>((i * 7919 + 2) % 100003) / 100003.0f;
    f.xa = f.x;
    f.ya = f.y;
    f.da = f.d;
    f.qa = f.q;
    p.rank[i] = kFrames - 1 - i;
  }
  return p;
}

void BM_Project_WriteText5000(benchmark::State& state) {
  const project::ProjectData p = FiveThousand();
  for (auto _ : state) benchmark::DoNotOptimize(project::WriteProjectText(p).size());
}
BENCHMARK(BM_Project_WriteText5000)->Unit(benchmark::kMillisecond);

void BM_Project_ParseText5000(benchmark::State& state) {
  const std::string text = project::WriteProjectText(FiveThousand());
  for (auto _ : state) benchmark::DoNotOptimize(project::ReadProjectText(text, "bench.pxp").frames.size());
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
}
BENCHMARK(BM_Project_ParseText5000)->Unit(benchmark::kMillisecond);

// The program's own Save and Load: frame table gathered, file written atomically; the file
// read, checked, every frame's file looked up, the first frame read, the table filled.
struct StillProject {
  pxbench::HeadlessApp app;
  std::string project;
  StillProject() {
    const std::string dir = px::JoinPath(pxbench::CacheDir(), "stills5000");
    const std::string list = px::JoinPath(dir, "all.pxl");
    if (!px::FileExists(list)) {
      px::ForceDirectories(dir);
      ui::Bitmap24 b(64, 48);
      std::string text;
      for (int i = 0; i < kFrames; ++i) {
        const std::string f = px::JoinPath(dir, "f" + std::to_string(i) + ".bmp");
        ui::SaveBmpFile(f, b);
        text += f + "\n";
      }
      px::WriteFileAtomic(list, text);
    }
    app.mf->OpenFile(list);
    auto& ws = app.mf->ws;
    for (int i = 0; i < kFrames; ++i) {
      ws.table[i].ShiftX = i % 23 - 11;
      ws.table[i].Quality = static_cast<float>(i % 101) / 101.0f;
      ws.table.ranks[i].FrameIndex = kFrames - 1 - i;
    }
    project = px::JoinPath(dir, "bench.pxp");
  }
};

void BM_Project_SaveInProgram5000(benchmark::State& state) {
  StillProject s;
  for (auto _ : state) benchmark::DoNotOptimize(s.app.mf->projects().SaveProject(s.project, false));
}
BENCHMARK(BM_Project_SaveInProgram5000)->Unit(benchmark::kMillisecond);

void BM_Project_LoadInProgram5000(benchmark::State& state) {
  StillProject s;
  s.app.mf->projects().SaveProject(s.project, false);
  for (auto _ : state) {
    s.app.mf->projects().LoadProject(s.project);
    benchmark::DoNotOptimize(s.app.mf->ws.input.FrameCount);
  }
  if (s.app.mf->ws.input.FrameCount != kFrames) state.SkipWithError("the project did not load");
}
BENCHMARK(BM_Project_LoadInProgram5000)->Unit(benchmark::kMillisecond);

}  // namespace
