// The Final page follows its sliders: the 2048 x 2048 colour picture rebuilt with a rotation
// and HSL curves; the resized window at 200 %; the histogram and gamma graphs redrawn.
#include <benchmark/benchmark.h>

#include "finish/FinalComposition.h"
#include "finish/GammaCurve.h"
#include "finish/Levels.h"
#include "finish/Resample.h"

namespace {

formats::TTIFFBitMap Picture48(int w, int h) {
  formats::TTIFFBitMap b;
  b.Allocate48(w + 1, h + 1);
  uint32_t s = 11;
  for (int y = 0; y <= h; ++y)
    for (int x = 0; x < 3 * (w + 1); ++x) {
      s = s * 1664525u + 1013904223u;
      b.row16(y)[x] = static_cast<uint16_t>(s >> 16);
    }
  b.has16Bit = true;
  return b;
}

void BM_FinalRebuild2048RotatedHsl(benchmark::State& state) {
  const formats::TTIFFBitMap src = Picture48(2048, 2048);
  finish::TBSpline curve;
  finish::SetDefaultHslCurve(curve);
  finish::DragHslPoint(curve, 45, 30);
  finish::HslCurveTable table{};
  finish::SampleHslCurve(curve, table);
  finish::FinalSettings s;
  s.angle = state.range(0);
  s.hue = 10;
  s.saturation = 5;
  s.hueCurve = s.saturationCurve = s.lightnessCurve = &table;
  s.flipX = true;
  ui::Bitmap24 unflipped, shown;
  finish::HueCounts hist{};
  for (auto _ : state) {
    finish::ComposeFinal8(src, 2048, 2048, s, unflipped, shown, hist);
    benchmark::DoNotOptimize(shown.data());
  }
}
BENCHMARK(BM_FinalRebuild2048RotatedHsl)->Arg(0)->Arg(17)->Unit(benchmark::kMillisecond);

void BM_Final16Bit2048Rotated(benchmark::State& state) {
  const formats::TTIFFBitMap src = Picture48(2048, 2048);
  finish::FinalSettings s;
  s.angle = 17;
  formats::TTIFFBitMap out;
  for (auto _ : state) {
    finish::ComposeFinal16(src, 2048, 2048, s, out);
    benchmark::DoNotOptimize(out.row16(0));
  }
}
BENCHMARK(BM_Final16Bit2048Rotated)->Unit(benchmark::kMillisecond);

void BM_ResizeWindow2048To200Lanczos(benchmark::State& state) {
  ui::Bitmap24 src(2048, 2048);
  for (size_t i = 0; i < src.byteSize(); ++i) src.data()[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
  ui::Bitmap24 dst(4096, 4096);
  for (auto _ : state) {
    finish::ResampleImage(src, dst, finish::kLanczos3);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_ResizeWindow2048To200Lanczos)->Unit(benchmark::kMillisecond);

void BM_HistogramGraphRedraw(benchmark::State& state) {
  finish::ToneHistograms h{};
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) h[c][i] = (i * 37 + c * 11) % 500;
  ui::Bitmap24 g;
  finish::HistogramGraphOptions o;
  o.smooth = state.range(0) != 0;
  for (auto _ : state) {
    finish::DrawHistogramGraph(g, h, o);
    benchmark::DoNotOptimize(g.data());
  }
}
BENCHMARK(BM_HistogramGraphRedraw)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_GammaGraphRedrawAndTable(benchmark::State& state) {
  finish::TBSpline s;
  finish::SetDefaultGammaCurve(s);
  finish::InsertPointBetween(s, 60, 150);
  ui::Bitmap24 g;
  finish::ToneTable t{};
  for (auto _ : state) {
    finish::DragGammaPoint(s, 128, 120);  // marks the control points stale
    finish::DrawGammaGraph(g, s, false);
    finish::CurveToToneTable(s, t);
    benchmark::DoNotOptimize(t.data());
  }
}
BENCHMARK(BM_GammaGraphRedrawAndTable)->Unit(benchmark::kMicrosecond);

}  // namespace
