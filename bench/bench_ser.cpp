// SER captures and debayering: display decoding of 640x480 frames (mono 8 and 16 bits,
// colour, Bayer), the two debayering methods alone, and align-all over a 1000-frame Bayer SER.
// Targets: mono 8-bit 5000 frames/s, 16-bit and colour 3000 frames/s; bilinear debayer under
// 0.3 ms, edge-aware under 2 ms; align-all on the Bayer SER 1500 frames/s.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "frames/Debayer.h"
#include "frames/SerFile.h"
#include "frames/VideoSource.h"
#include "registration/AligningControls.h"

namespace {

constexpr int kW = 640, kH = 480, kFrames = 8;

std::unique_ptr<frames::VideoSource> MemorySer(int colorId, int depth) {
  frames::SerWriteOptions o;
  o.colorId = colorId;
  o.width = kW;
  o.height = kH;
  o.depth = depth;
  const int planes = colorId >= 100 ? 3 : 1;
  std::vector<uint16_t> s(static_cast<size_t>(kW) * kH * planes * kFrames);
  const uint32_t maxValue = (1u << depth) - 1;
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint16_t>(((i % kW) * 37 + (i / kW) * 11) % (maxValue + 1));
  auto bytes = std::make_shared<std::vector<uint8_t>>(frames::WriteSerBytes(o, s, kFrames));
  return frames::OpenVideoBytes(frames::VideoBytes{bytes->data(), bytes->size(), bytes});
}

void Decode(benchmark::State& state, int colorId, int depth, frames::DebayerMethod m = frames::DebayerMethod::Bilinear) {
  auto v = MemorySer(colorId, depth);
  v->setDebayerMethod(m);
  ui::Bitmap24 out;
  int32_t i = 0;
  for (auto _ : state) {
    v->decodeFrame(i, out);
    benchmark::DoNotOptimize(out.data());
    i = (i + 1) % kFrames;
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(v->describe());
}

void BM_SerDecode640x480_Mono8(benchmark::State& s) { Decode(s, 0, 8); }
void BM_SerDecode640x480_Mono16(benchmark::State& s) { Decode(s, 0, 16); }
void BM_SerDecode640x480_Rgb8(benchmark::State& s) { Decode(s, 100, 8); }
void BM_SerDecode640x480_Bgr8(benchmark::State& s) { Decode(s, 101, 8); }
void BM_SerDecode640x480_BayerBilinear8(benchmark::State& s) { Decode(s, 8, 8); }
void BM_SerDecode640x480_BayerEdgeAware8(benchmark::State& s) { Decode(s, 8, 8, frames::DebayerMethod::EdgeAware); }
void BM_SerDecode640x480_BayerBilinear16(benchmark::State& s) { Decode(s, 8, 16); }
BENCHMARK(BM_SerDecode640x480_Mono8);
BENCHMARK(BM_SerDecode640x480_Mono16);
BENCHMARK(BM_SerDecode640x480_Rgb8);
BENCHMARK(BM_SerDecode640x480_Bgr8);
BENCHMARK(BM_SerDecode640x480_BayerBilinear8);
BENCHMARK(BM_SerDecode640x480_BayerEdgeAware8);
BENCHMARK(BM_SerDecode640x480_BayerBilinear16);

void Debayer(benchmark::State& state, frames::DebayerMethod m) {
  std::vector<uint8_t> mosaic(static_cast<size_t>(kW) * kH), out(mosaic.size() * 3);
  for (size_t i = 0; i < mosaic.size(); ++i) mosaic[i] = static_cast<uint8_t>((i * 31) ^ (i >> 7));
  frames::Debayerer d;
  for (auto _ : state) {
    d.Run(mosaic.data(), kW, kW, kH, frames::BayerPattern::RGGB, m, out.data(), kW * 3, 2);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
void BM_Debayer640x480_Bilinear(benchmark::State& s) { Debayer(s, frames::DebayerMethod::Bilinear); }
void BM_Debayer640x480_EdgeAware(benchmark::State& s) { Debayer(s, frames::DebayerMethod::EdgeAware); }
BENCHMARK(BM_Debayer640x480_Bilinear)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Debayer640x480_EdgeAware)->Unit(benchmark::kMicrosecond);

// Align-all as the user runs it, on the debayered luminance of a 1000-frame Bayer capture.
void BM_AlignAll_BayerSer1000(benchmark::State& state) {
  const std::string ser =
      pxbench::Capture("bayer1000.ser", "--frames 1000 --size 640x480 --format ser-bayer --pattern RGGB --seed 11");
  pxbench::HeadlessApp app;
  app.mf->aligning.FFTsizeGroup.userSelect(1);
  app.SelectVideo(ser);
  ui::MouseEvent e;
  e.x = 320;
  e.y = 240;
  app.mf->form().get<ui::Image>("PreviewImage").userMouse(ui::MouseAction::Down, e);
  auto& align = app.mf->form().get<ui::Button>("Allignallbutton");
  align.userClick();  // warm
  for (auto _ : state) align.userClick();
  const int n = app.mf->ws.input.FrameCount;
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * n, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AlignAll_BayerSer1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
