// Reading hand-built TIFF files: every depth, both byte orders, LZW with and without the
// predictor, and broken files.
#include <gtest/gtest.h>

#include <cmath>

#include "base/Error.h"
#include "formats/Lzw.h"
#include "formats/TiffBitmap.h"
#include "TiffBuilder.h"

namespace {

using formats::TTIFFBitMap;
using pxtest::TiffBuilder;
using ui::Color;

TTIFFBitMap Load(const std::vector<uint8_t>& file) {
  TTIFFBitMap bm;
  bm.LoadTiffBytes(file.data(), file.size());
  return bm;
}

std::string LoadError(const std::vector<uint8_t>& file) {
  TTIFFBitMap bm;
  try {
    bm.LoadTiffBytes(file.data(), file.size());
  } catch (const px::PelinoxaError& e) {
    return e.what();
  }
  return "";
}

// 3 x 2 RGB samples, 8 bits.
std::vector<uint8_t> Rgb24Pixels() { return {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 255, 0, 1}; }

TEST(TiffRead, Rgb24IntelAndMotorola_GiveIdenticalBitmapsAndBuffers) {
  TTIFFBitMap ii = Load(TiffBuilder(true).image(3, 2, 8, 3, 2).strip(Rgb24Pixels()).build());
  TTIFFBitMap mm = Load(TiffBuilder(false).image(3, 2, 8, 3, 2).strip(Rgb24Pixels()).build());
  ASSERT_EQ(ii.display.width(), 3);
  ASSERT_EQ(ii.display.height(), 2);
  EXPECT_EQ(ii.display.pixel(0, 0), Color(10, 20, 30));
  EXPECT_EQ(ii.display.pixel(2, 1), Color(255, 0, 1));
  EXPECT_EQ(ii.row16(1)[6], 255 * 256);  // buffer = byte * 256
  EXPECT_EQ(ii.row16(0)[1], 20 * 256);
  EXPECT_EQ(ii.bitsPerPixel, 24);
  EXPECT_TRUE(ii.has16Bit);
  EXPECT_FALSE(ii.monochrome);
  EXPECT_EQ(ii.display, mm.display);
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 9; ++i) EXPECT_EQ(ii.row16(y)[i], mm.row16(y)[i]);
}

TEST(TiffRead, Grey8_FillsTheDisplayOnly_AndPhotometricZeroInverts) {
  std::vector<uint8_t> px = {0, 100, 255, 7};
  TTIFFBitMap g = Load(TiffBuilder().image(2, 2, 8, 1, 1).strip(px).build());
  EXPECT_EQ(g.display.pixel(1, 0), Color(100, 100, 100));
  EXPECT_EQ(g.display.pixel(0, 1), Color(255, 255, 255));
  EXPECT_TRUE(g.monochrome);
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 6; ++i) EXPECT_EQ(g.row16(y)[i], 0);
  TTIFFBitMap inv = Load(TiffBuilder().image(2, 2, 8, 1, 0).strip(px).build());
  EXPECT_EQ(inv.display.pixel(1, 0), Color(155, 155, 155));
  EXPECT_EQ(inv.display.pixel(0, 0), Color(255, 255, 255));
}

TEST(TiffRead, Grey16_BufferHoldsSamples_DisplayTheHighByte) {
  for (bool intel : {true, false}) {
    std::vector<uint8_t> px = intel ? std::vector<uint8_t>{0x34, 0x12, 0xFF, 0xFF} : std::vector<uint8_t>{0x12, 0x34, 0xFF, 0xFF};
    TTIFFBitMap g = Load(TiffBuilder(intel).image(2, 1, 16, 1, 1).strip(px).build());
    EXPECT_EQ(g.row16(0)[0], 0x1234);
    EXPECT_EQ(g.row16(0)[1], 0x1234);
    EXPECT_EQ(g.row16(0)[2], 0x1234);
    EXPECT_EQ(g.row16(0)[3], 0xFFFF);
    EXPECT_EQ(g.display.pixel(0, 0), Color(0x12, 0x12, 0x12));
    EXPECT_EQ(g.bitsPerPixel, 16);
  }
}

TEST(TiffRead, Rgb48_BufferTakesSamples_DisplayTheirHighBytes) {
  std::vector<uint8_t> px = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};  // Motorola: R 0x0102, G 0x0304, B 0x0506
  TTIFFBitMap m = Load(TiffBuilder(false).image(1, 1, 16, 3, 2).strip(px).build());
  EXPECT_EQ(m.row16(0)[0], 0x0102);
  EXPECT_EQ(m.row16(0)[1], 0x0304);
  EXPECT_EQ(m.row16(0)[2], 0x0506);
  EXPECT_EQ(m.display.pixel(0, 0), Color(1, 3, 5));
  EXPECT_EQ(m.bitsPerPixel, 48);
}

TEST(TiffRead, Cmyk32_ConvertedByTheInkFormula) {
  std::vector<uint8_t> px = {0, 0, 0, 0, 255, 255, 255, 255, 100, 50, 200, 30};
  TTIFFBitMap c = Load(TiffBuilder().image(3, 1, 8, 4, 5).strip(px).build());
  auto f = [](int ci, int k) {
    double v = 0.3 * (255 - ci) + 0.2 * (255 - k) + 0.5 * (255 - ci) * (255 - k) / 255.0;
    return uint8_t(std::min(255.0, std::max(0.0, std::nearbyint(v))));
  };
  EXPECT_EQ(c.display.pixel(0, 0), Color(255, 255, 255));
  EXPECT_EQ(c.display.pixel(1, 0), Color(0, 0, 0));
  EXPECT_EQ(c.display.pixel(2, 0), Color(f(100, 30), f(50, 30), f(200, 30)));
  EXPECT_EQ(f(100, 30), 160);  // 46.5 + 45 + 0.5 * 155 * 225 / 255 = 159.88
  EXPECT_EQ(c.row16(0)[0], 0);
}

TEST(TiffRead, Rgba32_DropsAlpha) {
  std::vector<uint8_t> px = {10, 20, 30, 0, 40, 50, 60, 255};
  TTIFFBitMap c = Load(TiffBuilder().image(2, 1, 8, 4, 2).strip(px).build());
  EXPECT_EQ(c.display.pixel(0, 0), Color(10, 20, 30));
  EXPECT_EQ(c.display.pixel(1, 0), Color(40, 50, 60));
  EXPECT_EQ(c.row16(0)[3], 40 * 256);
}

TEST(TiffRead, Bilevel_PhotometricDecidesWhichIndexIsWhite) {
  std::vector<uint8_t> px = {0xA0};  // 1 0 1 0 ...
  TTIFFBitMap wz = Load(TiffBuilder().image(4, 1, 1, 1, 0).strip(px).build());
  EXPECT_EQ(wz.display.pixel(0, 0), Color(0, 0, 0));
  EXPECT_EQ(wz.display.pixel(1, 0), Color(255, 255, 255));
  TTIFFBitMap bz = Load(TiffBuilder().image(4, 1, 1, 1, 1).strip(px).build());
  EXPECT_EQ(bz.display.pixel(0, 0), Color(255, 255, 255));
  EXPECT_EQ(bz.display.pixel(3, 0), Color(0, 0, 0));
}

TEST(TiffRead, Grey4_UsesTheSixteenLevelPalettes) {
  std::vector<uint8_t> px = {0x0F, 0x70};
  TTIFFBitMap b = Load(TiffBuilder().image(3, 1, 4, 1, 1).strip(px).build());
  EXPECT_EQ(b.display.pixel(0, 0).g, 15);        // 16 * 0 + 15
  EXPECT_EQ(b.display.pixel(1, 0).g, 255);       // 16 * 15 + 15
  EXPECT_EQ(b.display.pixel(2, 0).g, 16 * 7 + 15);
  TTIFFBitMap w = Load(TiffBuilder().image(3, 1, 4, 1, 0).strip(px).build());
  EXPECT_EQ(w.display.pixel(0, 0).g, 255);
  EXPECT_EQ(w.display.pixel(1, 0).g, 15);        // 255 - 16 * 15
}

TEST(TiffRead, Palette8_ColourMapEntriesScaleToBytes) {
  std::vector<uint32_t> map(3 * 256, 0);
  map[1] = 65535;              // red of index 1
  map[256 + 1] = 0;            // green of index 1
  map[512 + 1] = 32896;        // blue of index 1 = 128 * 257
  map[2] = map[256 + 2] = map[512 + 2] = 257 * 200;
  TTIFFBitMap p = Load(TiffBuilder().image(3, 1, 8, 1, 3).field(320, 3, map).strip({0, 1, 2}).build());
  EXPECT_EQ(p.display.pixel(0, 0), Color(0, 0, 0));
  EXPECT_EQ(p.display.pixel(1, 0), Color(255, 0, 128));
  EXPECT_EQ(p.display.pixel(2, 0), Color(200, 200, 200));
}

TEST(TiffRead, Palette4_UsesItsSixteenEntryColourMap) {
  std::vector<uint32_t> map(3 * 16, 0);
  map[5] = 65535;  // index 5 is red
  TTIFFBitMap p = Load(TiffBuilder().image(2, 1, 4, 1, 3).field(320, 3, map).strip({0x50}).build());
  EXPECT_EQ(p.display.pixel(0, 0), Color(255, 0, 0));
  EXPECT_EQ(p.display.pixel(1, 0), Color(0, 0, 0));
}

TEST(TiffRead, SeveralStrips_FillTheirRowsInOrder) {
  // 1 x 5 grey image, two rows per strip: strips of 2, 2 and 1 rows.
  TTIFFBitMap s = Load(TiffBuilder().image(1, 5, 8, 1, 1, 1, 2).strip({1, 2}).strip({3, 4}).strip({5}).build());
  for (int y = 0; y < 5; ++y) EXPECT_EQ(s.display.pixel(0, y).r, y + 1);
}

TEST(TiffRead, Lzw24WithPredictor_UndoesTheDifferencing) {
  std::vector<uint8_t> rgb = {10, 20, 30, 15, 25, 35, 5, 250, 40};
  std::vector<uint8_t> diff = rgb;
  for (size_t i = diff.size() - 1; i >= 3; --i) diff[i] = uint8_t(rgb[i] - rgb[i - 3]);
  std::vector<uint8_t> coded = formats::LzwEncode(diff.data(), diff.size());
  TTIFFBitMap t = Load(TiffBuilder().image(3, 1, 8, 3, 2, 5).field(317, 3, {2}).strip(coded).build());
  EXPECT_EQ(t.display.pixel(0, 0), Color(10, 20, 30));
  EXPECT_EQ(t.display.pixel(1, 0), Color(15, 25, 35));
  EXPECT_EQ(t.display.pixel(2, 0), Color(5, 250, 40));
  EXPECT_EQ(t.row16(0)[7], 250 * 256);
}

TEST(TiffRead, Lzw48WithPredictor_FillsTheBuffer) {
  // Motorola, 2 pixels: differences on 16-bit samples in file byte order.
  std::vector<uint16_t> s = {1000, 2000, 3000, 65000, 100, 3001};
  std::vector<uint16_t> d = s;
  for (size_t i = 5; i >= 3; --i) d[i] = uint16_t(s[i] - s[i - 3]);
  std::vector<uint8_t> bytes;
  for (uint16_t v : d) bytes.insert(bytes.end(), {uint8_t(v >> 8), uint8_t(v)});
  std::vector<uint8_t> coded = formats::LzwEncode(bytes.data(), bytes.size());
  TTIFFBitMap t = Load(TiffBuilder(false).image(2, 1, 16, 3, 2, 5).field(317, 3, {2}).strip(coded).build());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(t.row16(0)[i], s[i]) << i;
}

TEST(TiffRead, BadSignature_IsInvalidHeader) {
  EXPECT_EQ(LoadError({'I', 'I', 43, 0, 8, 0, 0, 0}), "Invalid TIFF header");
  EXPECT_EQ(LoadError({'M', 'M', 42, 0, 0, 0, 0, 8}), "Invalid TIFF header");
  EXPECT_EQ(LoadError({'I', 'I'}), "Invalid TIFF header");
  EXPECT_EQ(LoadError({}), "Invalid TIFF header");
}

TEST(TiffRead, ZeroWidth_IsNoDimension) {
  EXPECT_EQ(LoadError(TiffBuilder().image(0, 2, 8, 1, 1).strip({1, 2}).build()), "Invalid TIFF header: no dimension");
  EXPECT_EQ(LoadError(TiffBuilder().field(257, 3, {4}).build()), "Invalid TIFF header: no dimension");
}

TEST(TiffRead, TooTallImage_IsRefusedWithItsSize) {
  std::string e = LoadError(TiffBuilder().image(1, 8194, 8, 1, 1).strip({1}).build());
  EXPECT_NE(e.find("too tall"), std::string::npos) << e;
  EXPECT_NE(e.find("8194"), std::string::npos) << e;
  EXPECT_EQ(LoadError(TiffBuilder().image(1, 8193, 8, 1, 1).strip(std::vector<uint8_t>(8193, 1)).build()), "");
}

TEST(TiffRead, HugeWidth_IsRefusedBeforeAllocating) {
  std::string e = LoadError(TiffBuilder().field(256, 4, {0x7FFFFFFF}).field(257, 3, {100}).build());
  EXPECT_NE(e.find("too large"), std::string::npos) << e;
}

TEST(TiffRead, UnknownDepth_IsRefused) {
  std::string e = LoadError(TiffBuilder().image(2, 2, 2, 1, 1).strip({0, 0}).build());
  EXPECT_NE(e.find("2 bits per pixel"), std::string::npos) << e;
}

TEST(TiffRead, DirectoryOutsideTheFile_IsAnError) {
  std::vector<uint8_t> f = {'I', 'I', 42, 0, 0xF0, 0xFF, 0, 0};
  EXPECT_NE(LoadError(f), "");
  std::vector<uint8_t> g = TiffBuilder().image(2, 2, 8, 1, 1).strip({1, 2, 3, 4}).build();
  g.resize(g.size() - 20);  // directory cut short
  EXPECT_NE(LoadError(g), "");
}

// Partial pictures are refused with the reason, never shown with black rows.
TEST(TiffRead, MissingOrShortStrips_AreReportedAsTruncated) {
  EXPECT_EQ(LoadError(TiffBuilder().image(2, 2, 8, 1, 1, 1, 1).field(273, 4, {8, 100000}).field(279, 4, {2, 2})
                          .build()),
            "TIFF file is truncated: strip 2 of 2 lies past the end of the file");
  // A 2 x 2 strip with only three bytes in the file.
  EXPECT_EQ(LoadError(TiffBuilder().image(2, 2, 8, 1, 1).strip({9, 8, 7}).build()),
            "TIFF file is truncated: strip 1 of 1 gives 3 of its 4 bytes");
  // No strips at all, and one one-row strip for two rows.
  EXPECT_EQ(LoadError(TiffBuilder().image(2, 2, 8, 1, 1).build()),
            "TIFF file is truncated: its strips hold 0 of its 2 rows");
  EXPECT_EQ(LoadError(TiffBuilder().image(2, 2, 8, 1, 1, 1, 1).field(273, 4, {8}).field(279, 4, {2}).build()),
            "TIFF file is truncated: its strips hold 1 of its 2 rows");
}

TEST(TiffRead, CompressedStripByteCountsThatLie_AreReadOnToTheRowsEnd) {
  // A byte count of 1 for an LZW strip whose data are all in the file: the code stream says
  // where it ends. Uncompressed data carry no such end, so a short count is truncation.
  std::vector<uint8_t> px = {9, 8, 7, 6};
  EXPECT_EQ(LoadError(TiffBuilder().raw(px).image(2, 2, 8, 1, 1).field(273, 4, {8}).field(279, 4, {1}).build()),
            "TIFF file is truncated: strip 1 of 1 gives 1 of its 4 bytes");
  std::vector<uint8_t> packed = formats::LzwEncode(px.data(), px.size());
  TTIFFBitMap lzw =
      Load(TiffBuilder().raw(packed).image(2, 2, 8, 1, 1, 5).field(273, 4, {8}).field(279, 4, {1}).build());
  EXPECT_EQ(lzw.display.pixel(1, 1).r, 6);
  // An LZW strip whose stream ends early is refused.
  packed.resize(packed.size() / 2);
  std::string e = LoadError(TiffBuilder().image(2, 2, 8, 1, 1, 5).strip(packed).build());
  EXPECT_EQ(e.rfind("TIFF file is truncated: strip 1 of 1 gives ", 0), 0u) << e;
}

TEST(TiffRead, StripTableOutsideTheFile_IsAnError) {
  std::vector<uint8_t> h = TiffBuilder().image(2, 2, 8, 1, 1).field(273, 4, {8, 8}).field(279, 4, {4, 4}).build();
  // Give the StripByteCounts entry (tag 279, LONG, count 2) a count of 2^30.
  bool patched = false;
  for (size_t p = 0; p + 8 <= h.size() && !patched; ++p)
    if (h[p] == 0x17 && h[p + 1] == 0x01 && h[p + 2] == 4 && h[p + 3] == 0 && h[p + 4] == 2 && h[p + 5] == 0) {
      h[p + 4] = 0, h[p + 7] = 0x40;
      patched = true;
    }
  ASSERT_TRUE(patched);
  EXPECT_NE(LoadError(h).find("outside the file"), std::string::npos);
}

TEST(TiffRead, ManyLzwStripsSharingOneJunkStream_AreRefusedQuickly) {
  // 8000 one-row strips all pointing at the same 2 MB of Clear codes: the work per strip is
  // bounded by its own size, not by the stream's.
  std::vector<uint8_t> clears;
  for (int i = 0; i < (1 << 21) / 9; ++i) clears.insert(clears.end(), {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00});
  const uint32_t n = 8000;
  std::string e = LoadError(TiffBuilder().raw(clears).image(4, n, 8, 1, 1, 5, 1)
                                .field(273, 4, std::vector<uint32_t>(n, 8))
                                .field(279, 4, std::vector<uint32_t>(n, uint32_t(clears.size())))
                                .build());
  EXPECT_EQ(e, "TIFF file is truncated: strip 1 of 8000 gives 0 of its 4 bytes");
}

TEST(TiffRead, UnsupportedCompression_IsRefusedByName) {
  EXPECT_EQ(LoadError(TiffBuilder().image(2, 1, 8, 3, 2, 7).strip({1, 2, 3, 4, 5, 6}).build()),
            "TIFF files compressed with JPEG cannot be read (only uncompressed, LZW, Deflate and PackBits)");
  EXPECT_NE(LoadError(TiffBuilder().image(2, 1, 8, 3, 2, 4).strip({1}).build()).find("CCITT Group 4"),
            std::string::npos);
}

TEST(TiffRead, PackBitsLiteralAndRunPackets) {
  // 3 literal bytes, then 5 times 42, a no-op packet (-128), one literal: two rows of 5.
  TTIFFBitMap t = Load(TiffBuilder().image(5, 2, 8, 1, 1, 32773)
                           .strip({2, 1, 2, 3, uint8_t(-4), 42, 0x80, 1, 9, 4, 4})
                           .build());
  const int want[10] = {1, 2, 3, 42, 42, 42, 42, 42, 9, 4};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(t.display.pixel(i % 5, i / 5).r, want[i]) << i;
}

TEST(TiffRead, BadHeader_LeavesTheObjectUnchanged) {
  TTIFFBitMap t = Load(TiffBuilder().image(3, 2, 8, 3, 2).strip(Rgb24Pixels()).build());
  std::vector<uint8_t> bad = {'I', 'I', 41, 0};
  EXPECT_THROW(t.LoadTiffBytes(bad.data(), bad.size()), px::PelinoxaError);
  EXPECT_EQ(t.display.width(), 3);
  EXPECT_EQ(t.display.pixel(0, 0), Color(10, 20, 30));
  EXPECT_EQ(t.width48(), 3);
}

}  // namespace
