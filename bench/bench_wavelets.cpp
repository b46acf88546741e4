// Wavelet processing: recombination and display of a colour area per slider move (and that it
// allocates nothing), the six-layer decomposition on one and two workers, the automatic RGB
// shift estimate with the largest box, and "Do all" over a 4096 x 4096 colour stack with its
// peak memory.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "AllocationCounter.h"
#include "BenchSupport.h"
#include "app/MainForm.h"
#include "base/Files.h"
#include "wavelets/WaveletController.h"
#include "ui/BmpCodec.h"
#include "wavelets/Decomposition.h"
#include "wavelets/ParallelRows.h"
#include "wavelets/Recombination.h"
#include "wavelets/RgbShift.h"

namespace {

using frames::Single2dArray;
using namespace wavelets;

void Pattern(Single2dArray& p, int W, int H, int seed) {
  uint32_t s = 12345u + seed;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      s = s * 1664525u + 1013904223u;
      const double r = std::hypot(x - W * 0.5, y - H * 0.5);
      p.Set(x, y, static_cast<float>((r < W * 0.3 ? 150 + 30 * std::sin(y * 0.3) : 10) + (s >> 24) * 0.05));
    }
}

struct AreaPlanes {
  int side;
  std::array<Single2dArray, 3> colour;
  std::array<Single2dArray, 4> stack;
  Single2dArray work;
  std::vector<Single2dArray> layers;
  explicit AreaPlanes(int n) : side(n), layers(21) {
    for (int c = 0; c < 3; ++c) {
      colour[c].Create(n + 10, n + 10);
      Pattern(colour[c], n, n, c);
    }
    for (auto& p : stack) p.Create(n + 10, n + 10);
    work.Create(n + 10, n + 10);
    for (auto& l : layers) l.Create(n, n);
  }
  void Decompose(const Kernel& k) {
    const AreaRect a = ClampArea(0, 0, side, side, side, side);
    for (int n = 1; n <= 6; ++n)
      for (int c = 0; c < 3; ++c) {
        LayerSums s;
        DecomposeLayer(colour[c], work, layers[n * 3 + c], k, 1 << (n - 1), a, side, side, c == 1 ? &s : nullptr);
      }
  }
};

Kernel DefaultKernel() {
  Kernel k{};
  std::string e;
  NormaliseKernel(DefaultKernelGrid(), k, e);
  return k;
}

// One slider move as the page makes it: the six layers of a colour area recombined and displayed
// in one sweep.
void BM_Wavelet_RecombineAndDisplay_Colour(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  AreaPlanes p(n);
  p.Decompose(DefaultKernel());
  std::array<double, 1001> curve{};
  for (int i = 0; i <= 1000; ++i) curve[i] = i / 1000.0 + 0.000001;
  formats::TTIFFBitMap out;
  out.Allocate48(n + 1, n + 1);
  ui::Bitmap24 pic(n, n);
  Histograms hist{};
  RecombineSettings rs;
  rs.colour = true;
  for (int k = 1; k <= 6; ++k) rs.on[k] = true, rs.gain[k] = 1.0f + 0.5f * (k == 1);
  rs.marked[1] = true;
  rs.threshold[1] = 0.5f;
  DisplaySettings ds;
  ds.mode = DisplayMode::Colour;
  ds.curve = &curve;
  ds.antiRing = true;
  const AreaRect a = ClampArea(0, 0, n, n, n, n);
  long long allocs = 0;
  for (auto _ : state) {
    const long long before = pxbench::AllocationCount();
    RecombineAndDisplay(p.colour, p.layers, p.stack, a, a, n, n, rs, ds, pic, out, hist);
    allocs += pxbench::AllocationCount() - before;
  }
  state.counters["allocs/move"] = static_cast<double>(allocs) / state.iterations();
}
BENCHMARK(BM_Wavelet_RecombineAndDisplay_Colour)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();

// Six layers of a 2048 x 2048 colour area (dyadic scales), on 1 and 2 workers.
void BM_Wavelet_Decompose6_Colour2048(benchmark::State& state) {
  SetWaveletThreads(static_cast<int>(state.range(0)));
  AreaPlanes p(2048);
  const Kernel k = DefaultKernel();
  for (auto _ : state) p.Decompose(k);
  SetWaveletThreads(0);
}
BENCHMARK(BM_Wavelet_Decompose6_Colour2048)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// "Estimate" with the largest box (b = 128): red and blue, 61 x 61 shifts each.
void BM_Wavelet_RgbShiftEstimate_Box257(benchmark::State& state) {
  const int n = 600;
  Single2dArray g(n + 10, n + 10), r(n + 10, n + 10), b(n + 10, n + 10);
  Pattern(g, n, n, 1);
  Pattern(r, n, n, 2);
  Pattern(b, n, n, 3);
  const ShiftBox box{128, 300, 300};
  int found = 0;
  for (auto _ : state) {
    found += EstimateShift(g, r, box).dx;
    found += EstimateShift(g, b, box).dy;
  }
  benchmark::DoNotOptimize(found);
}
BENCHMARK(BM_Wavelet_RgbShiftEstimate_Box257)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// "Do all" over a 4096 x 4096 colour stack with the default 512 area; peak resident memory of
// the whole run against the planes (image-size planes, the 16-bit copy, 21 layer planes).
void BM_Wavelet_DoAll_Colour4096(benchmark::State& state) {
  const std::string bmp = pxbench::Big4096Bmp();
  double peakRatio = 0, doAllMs = 0, moveMs = 0, moveAllocs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    pxbench::HeadlessApp app;
    auto& f = app.mf->form();
    auto& mf = *app.mf;
    f.get<ui::ComboBox>("Processarea").userSelect(3);  // 512
    f.get<ui::CheckBox>("ColourStack").setChecked(true);
    const long baseKb = pxbench::ProcStatusKb("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";
    app.ui.queueDialog({bmp, bmp}, 2);
    f.get<ui::Button>("SelectFileButton").userClick();
    for (int i = 0; i < 2; ++i) mf.ws.table.ranks[i] = {i, 1.0f, 0};
    f.get<ui::Slider>("StackSlider").setMax(1);
    f.get<ui::Slider>("StackSlider").setValue(1);
    f.get<ui::Button>("Stackbutton").userClick();
    f.userSetActivePage(f.get<ui::Page>("WaveletPage"));
    state.ResumeTiming();
    f.get<ui::Button>("DoAll").userClick();
    state.PauseTiming();
    doAllMs = mf.ws.wavelet.LastDoAllMs;
    // A slider move through the page (512 x 512 area): time and allocations.
    const long long before = pxbench::AllocationCount();
    const double t0 = app.ui.nowMs();
    for (int i = 0; i < 10; ++i) mf.wavelets().RxSlider3Changed();
    moveMs = (app.ui.nowMs() - t0) / 10;
    moveAllocs = static_cast<double>(pxbench::AllocationCount() - before) / 10;
    const double side = 4096 + 10, layer = 512 + 10;
    const double planesKb = (9 * side * side * 4 + 4097.0 * 4097 * 6 + 21 * layer * layer * 4) / 1024;
    peakRatio = (pxbench::ProcStatusKb("VmHWM:") - baseKb) / planesKb;
    state.ResumeTiming();
  }
  state.counters["doAllMs"] = doAllMs;
  state.counters["peakToPlanes"] = peakRatio;
  state.counters["move512Ms"] = moveMs;
  state.counters["allocs/move"] = moveAllocs;
}
BENCHMARK(BM_Wavelet_DoAll_Colour4096)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
