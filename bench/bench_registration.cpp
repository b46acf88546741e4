// Registration: the align-all run over a 1000-frame video, one optimizer pass, and the
// ranking's agreement with the generator's true sharpness.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "AllocationCounter.h"
#include "BenchSupport.h"
#include "base/Json.h"
#include "registration/AligningControls.h"
#include "registration/RegistrationController.h"
#include "support/Statistics.h"


namespace {

struct AlignedApp {
  pxbench::HeadlessApp app;
  explicit AlignedApp(const std::string& avi, int boxItem, bool autoOptimize = true, int x = 320, int y = 240) {
    auto& al = app.mf->aligning;
    al.FFTsizeGroup.userSelect(boxItem);
    al.AutoOptimize.setChecked(autoOptimize);
    app.SelectVideo(avi);
    ui::MouseEvent e;
    e.x = x;
    e.y = y;
    app.mf->form().get<ui::Image>("PreviewImage").userMouse(ui::MouseAction::Down, e);
  }
  void Align() { app.mf->form().get<ui::Button>("Allignallbutton").userClick(); }
};

std::string Video1000() { return pxbench::Capture("reg1000.avi", "--frames 1000 --size 640x480 --format avi24 --seed 11"); }

void AlignAll(benchmark::State& state, int boxItem, bool autoOptimize) {
  AlignedApp a(Video1000(), boxItem, autoOptimize);
  a.Align();  // warm: planes, pictures and caches reach their size
  const long long before = pxbench::AllocationCount();
  for (auto _ : state) a.Align();
  const int n = a.app.mf->ws.input.FrameCount;
  state.counters["allocs/frame"] =
      static_cast<double>(pxbench::AllocationCount() - before) / (static_cast<double>(state.iterations()) * n);
  int passes = 0;
  a.app.mf->aligning.Memo2.clear();
  a.Align();
  for (const auto& l : a.app.mf->aligning.Memo2.lines()) passes += l.rfind("optimizer ", 0) == 0;
  state.counters["optimizer passes"] = passes;
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * n, benchmark::Counter::kIsRate);
}

// Default options: the run includes the automatic optimizer passes.
void BM_AlignAll_Box64_Defaults(benchmark::State& state) { AlignAll(state, 1, true); }
BENCHMARK(BM_AlignAll_Box64_Defaults)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_AlignAll_Box64_NoAutoOptimize(benchmark::State& state) { AlignAll(state, 1, false); }
BENCHMARK(BM_AlignAll_Box64_NoAutoOptimize)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_AlignAll_Box256_Defaults(benchmark::State& state) { AlignAll(state, 3, true); }
BENCHMARK(BM_AlignAll_Box256_Defaults)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_AlignAll_Box256_NoAutoOptimize(benchmark::State& state) { AlignAll(state, 3, false); }
BENCHMARK(BM_AlignAll_Box256_NoAutoOptimize)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// One optimizer pass after an align-all run without automatic optimizing; every pass starts
// from the same gains so that each iteration visits the same frames.
void BM_OptimizerPass_Box64(benchmark::State& state) {
  AlignedApp a(Video1000(), 1, false);
  a.Align();
  auto& table = a.app.mf->ws.table;
  std::vector<frames::FrameRecord> saved(table.frames.begin(), table.frames.end());
  int visited = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(saved.begin(), saved.end(), table.frames.begin());
    state.ResumeTiming();
    a.app.mf->registration().OptimizeButtonClick();
  }
  const float best = table.ranks[0].RankQuality;
  for (int p = 0; p < 1000; ++p) visited += table.ranks[p].RankQuality / best * 100 >= 80;
  state.counters["candidates"] = visited;
}
BENCHMARK(BM_OptimizerPass_Box64)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same pass with "Lower quality" 0: every frame is a candidate.
void BM_OptimizerPass_Box64_AllFrames(benchmark::State& state) {
  AlignedApp a(Video1000(), 1, false);
  a.Align();
  a.app.mf->aligning.OptimizeQualitySpin.setValue(0);
  auto& table = a.app.mf->ws.table;
  std::vector<frames::FrameRecord> saved(table.frames.begin(), table.frames.end());
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(saved.begin(), saved.end(), table.frames.begin());
    state.ResumeTiming();
    a.app.mf->registration().OptimizeButtonClick();
  }
}
BENCHMARK(BM_OptimizerPass_Box64_AllFrames)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

using pxtest::Spearman;

// Ranking quality: Spearman correlation of Quality with the true sharpness over 500 frames of
// varying seeing (reported as a counter).
void RankingAgreement(benchmark::State& state, const std::string& scene, int x = 320, int y = 240, int band = 12,
                      int width = 5) {
  std::string avi = pxbench::Capture("seeing500_" + scene + ".avi",
                                     "--frames 500 --size 640x480 --format avi24 --blur-min 0.5 --blur-max 3 --scene " +
                                         scene + " --seed 21");
  px::Json truth = px::Json::parse(px::ReadFileText(avi + ".json"));
  AlignedApp a(avi, 1, false, x, y);
  a.app.mf->aligning.QualityFilter.setValue(band);
  a.app.mf->aligning.QualFilterDX.setValue(width);
  for (auto _ : state) a.Align();
  const auto& frames = truth["frame"].asArray();
  std::vector<double> q, s;
  for (int i = 0; i < 500; ++i) {
    q.push_back(a.app.mf->ws.table[i].Quality);
    s.push_back(frames[static_cast<size_t>(i)].find("sharpness")->asNumber());
  }
  state.counters["spearman"] = Spearman(q, s);
}
void BM_RankingSpearman_Moon(benchmark::State& state) { RankingAgreement(state, "moon"); }
BENCHMARK(BM_RankingSpearman_Moon)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
void BM_RankingSpearman_Planet(benchmark::State& state) { RankingAgreement(state, "planet"); }
BENCHMARK(BM_RankingSpearman_Planet)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
// The box on the planet's limb.
void BM_RankingSpearman_PlanetLimb(benchmark::State& state) { RankingAgreement(state, "planet", 455, 240); }
BENCHMARK(BM_RankingSpearman_PlanetLimb)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
// A lower quality band (profile entries 4..8) for the planet's soft detail.
void BM_RankingSpearman_PlanetLowBand(benchmark::State& state) { RankingAgreement(state, "planet", 320, 240, 3, 6); }
BENCHMARK(BM_RankingSpearman_PlanetLowBand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
