// Showing frames: a display-only pass over a whole video and one slider move.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "frames/FrameSource.h"

namespace {

void PassOver(benchmark::State& state, const std::string& name, const std::string& options) {
  std::string avi = pxbench::Capture(name, options);
  pxbench::HeadlessApp app;
  app.SelectVideo(avi);
  auto& in = app.mf->ws.input;
  in.AlignPass = in.StackPass = false;
  for (auto _ : state) app.mf->frameSource().ReadAvi(in.AviPath, -1);
  state.SetItemsProcessed(state.iterations() * in.FrameCount);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * in.FrameCount,
                                                  benchmark::Counter::kIsRate);
}

void BM_DisplayPass_Avi24_640x480(benchmark::State& state) {
  PassOver(state, "pass24.avi", "--frames 1000 --size 640x480 --format avi24 --seed 3");
}
BENCHMARK(BM_DisplayPass_Avi24_640x480)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DisplayPass_AviGrey_640x480(benchmark::State& state) {
  PassOver(state, "passgrey.avi", "--frames 1000 --size 640x480 --format avigrey --seed 3");
}
BENCHMARK(BM_DisplayPass_AviGrey_640x480)->Unit(benchmark::kMillisecond)->UseRealTime();

// A slider move on a 2 GB video: the index is read once, then one frame is decoded and shown.
void BM_SliderMove_2GB(benchmark::State& state) {
  std::string avi = pxbench::Capture("big.avi", "--frames 2300 --size 640x480 --format avi24 --opendml --seed 5");
  pxbench::HeadlessApp app;
  app.SelectVideo(avi);
  auto& slider = app.mf->form().get<ui::Slider>("PreviewSlider");
  int i = 0;
  for (auto _ : state) slider.userSetValue((i += 997) % app.mf->ws.input.FrameCount);
}
BENCHMARK(BM_SliderMove_2GB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
