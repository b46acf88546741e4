// Writing TIFF files: the strip other readers find, and round trips through our reader.
#include <gtest/gtest.h>

#include "base/Error.h"
#include "formats/TiffBitmap.h"
#include "support/TestSupport.h"

namespace {

using formats::TTIFFBitMap;

uint16_t Le16(const std::vector<uint8_t>& f, size_t p) { return uint16_t(f[p] | f[p + 1] << 8); }
uint32_t Le32(const std::vector<uint8_t>& f, size_t p) { return Le16(f, p) | uint32_t(Le16(f, p + 2)) << 16; }

TTIFFBitMap Filled48(int w, int h, uint32_t seed) {
  TTIFFBitMap bm;
  bm.Allocate48(w, h);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < 3 * w; ++i) {
      seed = seed * 1664525u + 1013904223u;
      bm.row16(y)[i] = uint16_t(seed >> 16);
    }
  bm.has16Bit = true;
  return bm;
}

// Other readers find one uncompressed strip through the directory, samples little-endian in
// Intel order; the layout itself is left to tiffinfo and ImageMagick (TiffInteropTest).
TEST(TiffWrite, Rgb48_OneStripOfLittleEndianSamplesFoundThroughTheDirectory) {
  TTIFFBitMap bm = Filled48(5, 3, 1);
  std::vector<uint8_t> f = bm.EncodeTiff(48, false);
  ASSERT_EQ(std::string(f.begin(), f.begin() + 2), "II");
  const size_t dir = Le32(f, 4);
  uint32_t offset = 0, bytes = 0, strips = 0;
  for (size_t i = 0, n = Le16(f, dir); i < n; ++i) {
    const size_t e = dir + 2 + 12 * i;
    const uint32_t value = Le16(f, e + 2) == 4 ? Le32(f, e + 8) : Le16(f, e + 8);
    if (Le16(f, e) == 273) offset = value, strips = Le32(f, e + 4);
    if (Le16(f, e) == 279) bytes = value;
  }
  EXPECT_EQ(strips, 1u);
  ASSERT_EQ(bytes, 5u * 3 * 6);
  ASSERT_LE(offset + bytes, f.size());
  for (int y = 0; y < 3; ++y)
    for (int i = 0; i < 15; ++i) ASSERT_EQ(Le16(f, offset + (y * 15 + i) * 2), bm.row16(y)[i]) << y << "," << i;
}

TEST(TiffWrite, Rgb48_RoundTripsExactly_PlainAndLzw) {
  pxtest::TempDir dir;
  TTIFFBitMap src = Filled48(33, 17, 5);
  for (bool lzw : {false, true}) {
    src.SaveTiff(dir.file("a.tif"), 48, lzw);
    TTIFFBitMap back;
    back.LoadTiff(dir.file("a.tif"));
    ASSERT_EQ(back.width48(), 33);
    ASSERT_EQ(back.height48(), 17);
    EXPECT_EQ(back.bitsPerPixel, 48);
    for (int y = 0; y < 17; ++y)
      for (int i = 0; i < 99; ++i) ASSERT_EQ(back.row16(y)[i], src.row16(y)[i]);
    EXPECT_EQ(back.display.pixel(3, 4).r, src.row16(4)[9] >> 8);
  }
}

TEST(TiffWrite, IncompressibleDataWithLzw_GrowsBeyondOneAndAHalfTimesAndRoundTrips) {
  TTIFFBitMap src = Filled48(64, 64, 9);  // noise: LZW expands it
  std::vector<uint8_t> f = src.EncodeTiff(48, true);
  EXPECT_GT(f.size() - 182, size_t(64 * 64 * 6));
  EXPECT_EQ(Le32(f, 10 + 12 * 11 + 8), f.size() - 182);  // StripByteCounts = compressed size
  TTIFFBitMap back;
  back.LoadTiffBytes(f.data(), f.size());
  for (int y = 0; y < 64; ++y)
    for (int i = 0; i < 192; ++i) ASSERT_EQ(back.row16(y)[i], src.row16(y)[i]);
}

TEST(TiffWrite, Rgb24AndGrey_RoundTripThroughTheDisplay) {
  TTIFFBitMap src;
  src.display.reset(7, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) src.display.setPixel(x, y, ui::Color(uint8_t(x * 30), uint8_t(y * 90), uint8_t(x + y)));
  for (bool lzw : {false, true}) {
    std::vector<uint8_t> f = src.EncodeTiff(24, lzw);
    TTIFFBitMap back;
    back.LoadTiffBytes(f.data(), f.size());
    EXPECT_EQ(back.display, src.display);
    EXPECT_EQ(back.row16(2)[3], 30 << 8);  // red of pixel 1 * 256
  }
  src.display.fill(ui::Color(100, 100, 100));
  std::vector<uint8_t> g = src.EncodeTiff(8, false);
  EXPECT_EQ(g.size(), 182u + 7 * 3);
  EXPECT_EQ(g[182], 100);  // grey stays exactly grey
  TTIFFBitMap back;
  back.LoadTiffBytes(g.data(), g.size());
  EXPECT_EQ(back.display.pixel(6, 2), ui::Color(100, 100, 100));
}

TEST(TiffWrite, Grey16_WritesOneSixteenBitSamplePerPixel) {
  TTIFFBitMap src;
  src.Allocate48(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      for (int c = 0; c < 3; ++c) src.row16(y)[3 * x + c] = uint16_t(1000 * x + 20000 * y + 1);
  std::vector<uint8_t> f = src.EncodeTiff(16, false);
  ASSERT_EQ(f.size(), 182u + 3 * 2 * 2);
  TTIFFBitMap back;
  back.LoadTiffBytes(f.data(), f.size());
  EXPECT_EQ(back.bitsPerPixel, 16);
  EXPECT_EQ(back.row16(1)[6], 22001);
  EXPECT_EQ(back.row16(1)[7], 22001);
}

TEST(TiffWrite, WithoutSixteenBitBuffer_UsesTheDisplayTimes257) {
  TTIFFBitMap src;
  src.display.reset(2, 1);
  src.display.setPixel(1, 0, ui::Color(255, 1, 0));
  std::vector<uint8_t> f = src.EncodeTiff(48, false);
  EXPECT_EQ(Le16(f, 182 + 6), 65535);
  EXPECT_EQ(Le16(f, 182 + 8), 257);
}

TEST(TiffWrite, UnwritableTargetsAndDepths_AreErrors) {
  TTIFFBitMap src = Filled48(2, 2, 3);
  EXPECT_THROW(src.SaveTiff("/nonexistent-folder/x.tif", 48, false), px::PelinoxaError);
  EXPECT_THROW(src.EncodeTiff(32, false), px::PelinoxaError);
  TTIFFBitMap empty;
  EXPECT_THROW(empty.EncodeTiff(24, false), px::PelinoxaError);
}

TEST(TiffWrite, SaveReplacesAnExistingFileWhole) {
  pxtest::TempDir dir;
  pxtest::WriteBytes(dir.file("a.tif"), std::vector<uint8_t>(100000, 0x55));
  TTIFFBitMap src = Filled48(4, 4, 1);
  src.SaveTiff(dir.file("a.tif"), 48, false);
  EXPECT_EQ(pxtest::ReadBytes(dir.file("a.tif")).size(), 182u + 96);
}

}  // namespace
