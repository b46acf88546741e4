// Image file formats: LZW throughput, reading a 4096 x 4096 16-bit FITS frame, writing a
// 4096 x 4096 48-bit TIFF.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "formats/FitsReader.h"
#include "formats/FitsWriter.h"
#include "formats/Lzw.h"
#include "formats/TiffBitmap.h"

namespace {

// A smooth 16-bit picture with sensor-like noise in its lowest bits, little-endian bytes:
// a bright disc on a dark sky, like a planet frame.
std::vector<uint8_t> SmoothImage16(int w, int h, int noiseBits = 2) {
  std::vector<uint8_t> v;
  v.reserve(size_t(w) * h * 2);
  uint32_t seed = 7;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const double dx = x - w / 2.0, dy = y - h / 2.0, r = std::sqrt(dx * dx + dy * dy) / (0.4 * w);
      const double disc = r < 1 ? 40000 * std::sqrt(1 - r * r) * (1 + 0.1 * std::sin(y / 23.0)) : 0;
      int s = 2000 + int(disc) + int(seed >> (32 - noiseBits));
      v.push_back(uint8_t(s));
      v.push_back(uint8_t(s >> 8));
    }
  return v;
}

std::string TempName(const char* name) { return "/tmp/pxbench-" + std::to_string(::getpid()) + "-" + name; }

void BM_LzwDecode(benchmark::State& state) {
  std::vector<uint8_t> in = SmoothImage16(1024, 1024);
  std::vector<uint8_t> coded = formats::LzwEncode(in.data(), in.size());
  std::vector<uint8_t> out(in.size());
  formats::TLZW lzw;
  for (auto _ : state) {
    size_t n = lzw.Decode(coded.data(), coded.size(), out.data(), out.size());
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
  state.counters["ratio"] = double(in.size()) / double(coded.size());
}
BENCHMARK(BM_LzwDecode)->Unit(benchmark::kMillisecond);

void BM_LzwEncode(benchmark::State& state) {
  std::vector<uint8_t> in = SmoothImage16(1024, 1024);
  std::vector<uint8_t> out;
  formats::TLZW lzw;
  for (auto _ : state) {
    out.clear();
    lzw.Encode(in.data(), in.size(), out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}
BENCHMARK(BM_LzwEncode)->Unit(benchmark::kMillisecond);

void BM_FitsReadFrame4096(benchmark::State& state) {
  const int side = 4096;
  std::vector<uint8_t> img = SmoothImage16(side, side, 4);
  std::vector<int32_t> values(size_t(side) * side);
  for (size_t i = 0; i < values.size(); ++i) values[i] = img[2 * i] | img[2 * i + 1] << 8;
  const std::string path = TempName("frame.fit");
  formats::WriteFitsImage16(path, side, side, values, 32768);
  std::vector<float> plane(size_t(side + 10) * (side + 10));
  ui::Bitmap24 preview;
  for (auto _ : state) {
    formats::FitsFrameInfo info = formats::ReadFitsFrameFile(path, false, [&](int w, int) {
      return formats::PlaneRef{plane.data(), w + 10};
    }, preview);
    benchmark::DoNotOptimize(info);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_FitsReadFrame4096)->Unit(benchmark::kMillisecond);

void BM_TiffWrite48_4096(benchmark::State& state) {
  const int side = 4096;
  formats::TTIFFBitMap bm;
  bm.Allocate48(side, side);
  for (int y = 0; y < side; ++y)
    for (int i = 0; i < 3 * side; ++i) bm.row16(y)[i] = uint16_t(i * 7 + y * 3);
  bm.has16Bit = true;
  const std::string path = TempName("out.tif");
  for (auto _ : state) bm.SaveTiff(path, 48, false);
  std::remove(path.c_str());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(side) * side * 6);
}
BENCHMARK(BM_TiffWrite48_4096)->Unit(benchmark::kMillisecond);

}  // namespace
