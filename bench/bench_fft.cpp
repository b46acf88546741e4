// FFT engine hot paths: one registration runs two forward and one inverse N x N transform
// and one radial spectrum per frame.
#include <benchmark/benchmark.h>

#include <memory>

#include "registration/FftEngine.h"

namespace {

std::unique_ptr<registration::FftEngine> FilledEngine(int n) {
  auto e = std::make_unique<registration::FftEngine>();
  e->FFTSetup(n);
  uint32_t s = 1;
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      s = s * 1664525u + 1013904223u;
      e->FFTRe.at(x, y) = static_cast<float>(s >> 16) / 256.0f;
    }
  return e;
}

void BM_FFT2DForward(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto e = FilledEngine(n);
  for (auto _ : state) {
    e->FFT2DForward();
    benchmark::DoNotOptimize(e->FFTRe.data());
  }
}
BENCHMARK(BM_FFT2DForward)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);

void BM_FFT2DInverse(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto e = FilledEngine(n);
  for (auto _ : state) {
    e->FFT2DInverse();
    benchmark::DoNotOptimize(e->FFTRe.data());
  }
}
BENCHMARK(BM_FFT2DInverse)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);

void BM_RadialSpectrum(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto e = FilledEngine(n);
  e->FFT2DForward();
  for (auto _ : state) {
    e->RadialSpectrum();
    benchmark::DoNotOptimize(e->RadialProfile.data());
  }
}
BENCHMARK(BM_RadialSpectrum)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);

// The engine's share of one frame's registration: clear, two forward, one inverse, radial.
void BM_RegistrationFftShare(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto e = FilledEngine(n);
  registration::FftPlane box;
  e->CopyCorner(box, e->FFTRe);
  for (auto _ : state) {
    e->CopyCorner(e->FFTRe, box);
    e->ClearCorner(e->FFTIm);
    e->FFT2DForward();
    e->FFT2DInverse();
    e->CopyCorner(e->FFTRe, box);
    e->ClearCorner(e->FFTIm);
    e->FFT2DForward();
    e->RadialSpectrum();
    benchmark::DoNotOptimize(e->RadialProfile.data());
  }
}
BENCHMARK(BM_RegistrationFftShare)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);

void BM_SpectrumBitmap(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto e = FilledEngine(n);
  e->FFT2DForward();
  for (auto _ : state) {
    ui::Bitmap24 b = e->SpectrumBitmap(e->FFTRe, &e->FFTIm, 1.0f);
    benchmark::DoNotOptimize(b.data());
  }
}
BENCHMARK(BM_SpectrumBitmap)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace
