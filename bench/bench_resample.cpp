// Filtered resize: resampled stacking doubles every frame; the optimizer enlarges small
// windows around the feature.
#include <benchmark/benchmark.h>

#include "finish/Resample.h"

namespace {

ui::Bitmap24 Picture(int w, int h) {
  ui::Bitmap24 b(w, h);
  uint32_t s = 7;
  for (size_t i = 0; i < b.byteSize(); ++i) {
    s = s * 1664525u + 1013904223u;
    b.data()[i] = static_cast<uint8_t>(s >> 24);
  }
  return b;
}

void BM_ResampleStackFrameBell(benchmark::State& state) {
  const ui::Bitmap24 src = Picture(640, 480);
  ui::Bitmap24 dst(1279, 959);
  for (auto _ : state) {
    finish::ResampleImage(src, dst, finish::kBell);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_ResampleStackFrameBell)->Unit(benchmark::kMillisecond);

void BM_ResampleStackFrame(benchmark::State& state) {
  const int filter = static_cast<int>(state.range(0));
  const ui::Bitmap24 src = Picture(640, 480);
  ui::Bitmap24 dst(1279, 959);
  for (auto _ : state) {
    finish::ResampleImage(src, dst, filter);
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetLabel(finish::ResampleFilters()[filter].name);
}
BENCHMARK(BM_ResampleStackFrame)->DenseRange(finish::kBSpline, finish::kMitchell)->Unit(benchmark::kMillisecond);

// A 64-pixel box window enlarged by the factor (range(0) / 10) with "Bell".
void BM_ResampleWindow64(benchmark::State& state) {
  const double factor = state.range(0) / 10.0;
  const ui::Bitmap24 src = Picture(64, 64);
  const int side = static_cast<int>(64 * factor);
  ui::Bitmap24 dst(side, side);
  for (auto _ : state) {
    finish::ResampleImage(src, dst, finish::kBell);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_ResampleWindow64)->Arg(20)->Arg(40)->Unit(benchmark::kMicrosecond);

void BM_ResampleReduceHalf(benchmark::State& state) {
  const ui::Bitmap24 src = Picture(1280, 960);
  ui::Bitmap24 dst(640, 480);
  for (auto _ : state) {
    finish::ResampleImage(src, dst, finish::kLanczos3);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_ResampleReduceHalf)->Unit(benchmark::kMillisecond);

}  // namespace
