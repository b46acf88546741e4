// BMP reading and writing at the size of a typical planetary video frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "ui/BmpCodec.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

ui::Bitmap24 Frame() {
  ui::Bitmap24 b(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      b.setPixel(x, y, ui::Color(static_cast<uint8_t>(x ^ y), static_cast<uint8_t>(x + y),
                                 static_cast<uint8_t>(y * 3)));
  return b;
}

// An 8-bit palette file (grey ramp), as many cameras' capture programs write.
std::vector<uint8_t> Palette8File() {
  const uint32_t stride = kWidth, offset = 54 + 1024, size = offset + stride * kHeight;
  std::vector<uint8_t> f(size, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };  // little-endian host
  f[0] = 'B';
  f[1] = 'M';
  put32(2, size);
  put32(10, offset);
  put32(14, 40);
  put32(18, kWidth);
  put32(22, kHeight);
  f[26] = 1;
  f[28] = 8;
  put32(46, 256);
  for (int i = 0; i < 256; ++i) f[54 + 4 * i] = f[55 + 4 * i] = f[56 + 4 * i] = static_cast<uint8_t>(i);
  for (uint32_t i = 0; i < stride * kHeight; ++i) f[offset + i] = static_cast<uint8_t>(i * 7 + i / stride);
  return f;
}

void BM_DecodeBmp24(benchmark::State& state) {
  const std::vector<uint8_t> file = ui::EncodeBmp(Frame());
  for (auto _ : state) benchmark::DoNotOptimize(ui::DecodeBmp(file.data(), file.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_DecodeBmp24);

void BM_DecodeBmpInto24_ReusedPicture(benchmark::State& state) {
  const std::vector<uint8_t> file = ui::EncodeBmp(Frame());
  ui::Bitmap24 out;
  for (auto _ : state) {
    ui::DecodeBmpInto(file.data(), file.size(), out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_DecodeBmpInto24_ReusedPicture);

void BM_DecodeBmp8Palette(benchmark::State& state) {
  const std::vector<uint8_t> file = Palette8File();
  ui::Bitmap24 out;
  for (auto _ : state) {
    ui::DecodeBmpInto(file.data(), file.size(), out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_DecodeBmp8Palette);

void BM_EncodeBmp24(benchmark::State& state) {
  const ui::Bitmap24 frame = Frame();
  for (auto _ : state) benchmark::DoNotOptimize(ui::EncodeBmp(frame));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frame.byteSize()));
}
BENCHMARK(BM_EncodeBmp24);

// A picture read from an 8-bit file is written back as 24-bit (the only kind written).
void BM_EncodeBmpFrom8Palette(benchmark::State& state) {
  const std::vector<uint8_t> file = Palette8File();
  const ui::Bitmap24 frame = ui::DecodeBmp(file.data(), file.size());
  for (auto _ : state) benchmark::DoNotOptimize(ui::EncodeBmp(frame));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frame.byteSize()));
}
BENCHMARK(BM_EncodeBmpFrom8Palette);

}  // namespace
