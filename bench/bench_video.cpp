// Video frame sources: decoding uncompressed frames, and opening a 2 GB AVI to show one frame.
// Targets: 640x480 24-bit well over 3000 frames/s, 8-bit grey well over 5000 frames/s, a
// 2 GB file shown in under 5 ms once its index has been read.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/Files.h"
#include "frames/AviWriter.h"
#include "frames/VideoSource.h"

namespace {

constexpr int kW = 640, kH = 480;

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  return v;
}

// A small in-memory AVI of `frames` frames in one format.
std::unique_ptr<frames::VideoSource> MemoryVideo(uint32_t compression, uint16_t bits, bool palette, int frames) {
  std::string path = std::string(PX_BINARY_DIR) + "/bench_video_small.avi";
  frames::AviWriterOptions o;
  o.width = kW;
  o.height = kH;
  o.compression = compression;
  o.bitCount = bits;
  if (palette)
    for (uint32_t i = 0; i < 256; ++i) o.palette.push_back(i << 16 | i << 8 | i);
  {
    frames::AviWriter w(path, o);
    std::vector<uint8_t> chunk = Pattern(w.frameBytes());
    for (int i = 0; i < frames; ++i) w.addFrame(chunk);
    w.finish();
  }
  auto bytes = std::make_shared<std::vector<uint8_t>>(px::ReadFileBytes(path));
  std::remove(path.c_str());
  return frames::OpenVideoBytes(frames::VideoBytes{bytes->data(), bytes->size(), bytes});
}

void Decode(benchmark::State& state, uint32_t compression, uint16_t bits, bool palette) {
  auto v = MemoryVideo(compression, bits, palette, 8);
  ui::Bitmap24 out;
  int32_t i = 0;
  for (auto _ : state) {
    v->decodeFrame(i, out);
    benchmark::DoNotOptimize(out.data());
    i = (i + 1) % 8;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(v->describe());
}

void BM_Decode640x480_Bgr24(benchmark::State& s) { Decode(s, 0, 24, false); }
void BM_Decode640x480_GreyPalette(benchmark::State& s) { Decode(s, 0, 8, true); }
void BM_Decode640x480_Y800(benchmark::State& s) { Decode(s, frames::FourCCFromText("Y800"), 8, false); }
void BM_Decode640x480_Bgrx32(benchmark::State& s) { Decode(s, 0, 32, false); }
void BM_Decode640x480_Rgb555(benchmark::State& s) { Decode(s, 0, 16, false); }
void BM_Decode640x480_Yuy2(benchmark::State& s) { Decode(s, frames::FourCCFromText("YUY2"), 16, false); }
void BM_Decode640x480_I420(benchmark::State& s) { Decode(s, frames::FourCCFromText("I420"), 12, false); }
BENCHMARK(BM_Decode640x480_Bgr24);
BENCHMARK(BM_Decode640x480_GreyPalette);
BENCHMARK(BM_Decode640x480_Y800);
BENCHMARK(BM_Decode640x480_Bgrx32);
BENCHMARK(BM_Decode640x480_Rgb555);
BENCHMARK(BM_Decode640x480_Yuy2);
BENCHMARK(BM_Decode640x480_I420);

// A 2 GB file of 640x480 24-bit frames, written sparse (the frame data are holes) and kept
// in the build folder between runs.
std::string BigFile(bool openDml) {
  std::string path = std::string(PX_BINARY_DIR) + (openDml ? "/bench_video_2gb_odml.avi" : "/bench_video_2gb.avi");
  if (px::FileExists(path)) return path;
  frames::AviWriterOptions o;
  o.width = kW;
  o.height = kH;
  o.index = openDml ? frames::AviWriterOptions::Index::OpenDml : frames::AviWriterOptions::Index::Idx1;
  frames::AviWriter w(path, o);
  const uint64_t target = 2ull << 30;
  std::vector<uint8_t> chunk = Pattern(w.frameBytes());
  for (uint64_t written = 0; written < target; written += w.frameBytes() + 8) {
    if (w.frames() % 500 == 0) w.addFrame(chunk);
    else w.addHole(w.frameBytes());
  }
  w.finish();
  return path;
}

// Opening anew: map the file, read the whole index, decode frame 1000.
void OpenAndShow(benchmark::State& state, bool openDml) {
  std::string path = BigFile(openDml);
  ui::Bitmap24 out;
  for (auto _ : state) {
    auto v = frames::OpenVideo(path);
    v->decodeFrame(1000, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel(frames::OpenVideo(path)->describe() + ", " + std::to_string(frames::OpenVideo(path)->frameCount()) +
                 " frames");
}
void BM_Open2GB_Idx1_ShowOneFrame(benchmark::State& s) { OpenAndShow(s, false); }
void BM_Open2GB_OpenDml_ShowOneFrame(benchmark::State& s) { OpenAndShow(s, true); }
BENCHMARK(BM_Open2GB_Idx1_ShowOneFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open2GB_OpenDml_ShowOneFrame)->Unit(benchmark::kMillisecond);

// What a slider move costs: the cached source, checked against the file, shows a frame.
void BM_Cached2GB_ShowFrame(benchmark::State& state) {
  std::string path = BigFile(true);
  frames::VideoSourceCache::Get(path);
  ui::Bitmap24 out;
  int32_t i = 0;
  for (auto _ : state) {
    auto v = frames::VideoSourceCache::Get(path);
    v->decodeFrame(i, out);
    benchmark::DoNotOptimize(out.data());
    i = (i + 37) % v->frameCount();
  }
  frames::VideoSourceCache::Clear();
}
BENCHMARK(BM_Cached2GB_ShowFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
