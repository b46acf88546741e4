// Stacking a generated capture through the "Stack" button: colour, luminance, drizzle and
// resampled stacking of 1000 frames 640 x 480, and a 4096 x 4096 colour stack's peak memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "AllocationCounter.h"
#include "BenchSupport.h"
#include "base/Numbers.h"
#include "frames/InputControls.h"
#include "stacking/StackingController.h"
#include "ui/BmpCodec.h"


namespace {

enum class Mode { Colour, Luminance, Drizzle, Resampled };

void StackCapture(benchmark::State& state, Mode mode) {
  std::string avi = pxbench::Capture("pass24.avi", "--frames 1000 --size 640x480 --format avi24 --seed 3");
  pxbench::HeadlessApp app;
  app.SelectVideo(avi);
  auto& mf = *app.mf;
  auto& f = mf.form();
  const int n = mf.ws.input.FrameCount;
  // Integer shifts as registration would leave them, ranks in file order.
  for (int i = 0; i < n; ++i) {
    auto& r = mf.ws.table[i];
    r.ShiftX = (i * 7) % 11 - 5;
    r.ShiftY = (i * 5) % 9 - 4;
    r.FineShiftX = r.ShiftX + 0.3f;
    r.FineShiftY = r.ShiftY - 0.2f;
    r.Quality = 1;
    r.Difference = 0;
    mf.ws.table.ranks[i] = {i, 1.0f, 0};
  }
  auto& slider = f.get<ui::Slider>("StackSlider");
  slider.setMax(n - 1);
  slider.setValue(n - 1);
  f.get<ui::CheckBox>("ColourStack").setChecked(mode == Mode::Colour || mode == Mode::Drizzle);
  if (mode == Mode::Drizzle) f.get<ui::CheckBox>("Drizzle2").setChecked(true);
  if (mode == Mode::Resampled) {
    f.get<ui::CheckBox>("Resampled").setChecked(true);
    f.get<ui::SpinEdit>("ResampleSpin").setValue(2.0);
    f.get<ui::ComboBox>("ResampleCombo").setItemIndex(0);  // "Bell"
  }
  auto& button = f.get<ui::Button>("Stackbutton");
  long long allocs = 0;
  for (auto _ : state) {
    const long long before = pxbench::AllocationCount();
    button.userClick();
    allocs += pxbench::AllocationCount() - before;
  }
  const double frames = static_cast<double>(state.iterations()) * n;
  state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["allocs/frame"] = static_cast<double>(allocs) / frames;
}

void BM_Stack_Colour_1000x640x480(benchmark::State& s) { StackCapture(s, Mode::Colour); }
void BM_Stack_Luminance_1000x640x480(benchmark::State& s) { StackCapture(s, Mode::Luminance); }
void BM_Stack_Drizzle_1000x640x480(benchmark::State& s) { StackCapture(s, Mode::Drizzle); }
void BM_Stack_ResampledBellX2_1000x640x480(benchmark::State& s) { StackCapture(s, Mode::Resampled); }
BENCHMARK(BM_Stack_Colour_1000x640x480)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Stack_Luminance_1000x640x480)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Stack_Drizzle_1000x640x480)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Stack_ResampledBellX2_1000x640x480)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Peak resident memory of stacking one 4096 x 4096 still in colour, against the image-size
// planes of that size (4 stack, 3 colour, coverage and wavelet work planes, the 16-bit copy).
void BM_Stack_Colour_4096x4096_PeakMemory(benchmark::State& state) {
  const std::string bmp = pxbench::Big4096Bmp();
  double ratio = 0, peakMb = 0;
  for (auto _ : state) {
    pxbench::HeadlessApp app;
    app.ui.queueDialog({bmp, bmp}, 2);
    auto& f = app.mf->form();
    f.get<ui::CheckBox>("ColourStack").setChecked(true);
    const long baseKb = pxbench::ProcStatusKb("VmRSS:");
    // Start the high-water mark here.
    std::ofstream("/proc/self/clear_refs") << "5";
    f.get<ui::Button>("SelectFileButton").userClick();
    auto& mf = *app.mf;
    for (int i = 0; i < 2; ++i) mf.ws.table.ranks[i] = {i, 1.0f, 0};
    f.get<ui::Slider>("StackSlider").setMax(1);
    f.get<ui::Slider>("StackSlider").setValue(1);
    f.get<ui::Button>("Stackbutton").userClick();
    const long peakKb = pxbench::ProcStatusKb("VmHWM:");
    const double side = 4096 + 10;
    const double planesMb = (9 * side * side * 4 + 4097.0 * 4097 * 6) / (1024 * 1024);
    peakMb = (peakKb - baseKb) / 1024.0;
    ratio = peakMb / planesMb;
  }
  state.counters["peakMB"] = peakMb;
  state.counters["ratioToPlanes"] = ratio;
}
BENCHMARK(BM_Stack_Colour_4096x4096_PeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

namespace {

// The per-frame step alone (no frame source): one 640 x 480 frame added with a shift.
void AccumulateOnly(benchmark::State& state, bool colour, bool drizzle) {
  const int w = 640, h = 480;
  frames::ImagePlanes planes;
  const int pw = drizzle ? 2 * w - 1 : w, ph = drizzle ? 2 * h - 1 : h;
  frames::AllocatePlanes(planes, pw, ph);
  ui::Bitmap24 frame(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) frame.setPixel(x, y, ui::Color(x & 255, y & 255, (x + y) & 255));
  stacking::StackAccumulator acc;
  acc.Begin(planes, pw, ph, drizzle);
  stacking::AccumulateOptions o;
  o.colour = colour;
  o.geometry.drizzle = drizzle;
  o.geometry.width = o.geometry.checkWidth = drizzle ? pw / 2 : w;
  o.geometry.height = o.geometry.checkHeight = drizzle ? ph / 2 : h;
  o.geometry.planeWidth = pw;
  o.geometry.planeHeight = ph;
  stacking::FrameSourceView src;
  src.bytes = &frame;
  src.width = w;
  src.height = h;
  stacking::FrameInputs in;
  in.sx = 3;
  in.sy = -2;
  in.drop = stacking::BuildDropTable(0.3, -0.2, 0.8);
  for (auto _ : state) acc.Add(planes, o, in, src);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Accumulate_Colour_640x480(benchmark::State& s) { AccumulateOnly(s, true, false); }
void BM_Accumulate_Luminance_640x480(benchmark::State& s) { AccumulateOnly(s, false, false); }
void BM_Accumulate_Drizzle_640x480(benchmark::State& s) { AccumulateOnly(s, true, true); }
BENCHMARK(BM_Accumulate_Colour_640x480)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Accumulate_Luminance_640x480)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Accumulate_Drizzle_640x480)->Unit(benchmark::kMicrosecond);

}  // namespace
