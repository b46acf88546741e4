// Conversions of the uncompressed AVI formats, against values computed by hand.
#include "frames/AviPixelFormats.h"

#include <gtest/gtest.h>

#include "AviTestHelpers.h"

using namespace frames;
using avitest::Bytes;
using avitest::ErrorOf;

namespace {

AviBitmapFormat Format(int32_t w, int32_t h, uint16_t bits, uint32_t compression, const std::vector<uint32_t>& extra = {},
                       uint32_t clrUsed = 0) {
  AviBitmapFormat f;
  f.strf = avitest::Bih(w, h, bits, compression, extra, clrUsed);
  f.headerSize = 40;
  f.width = w;
  f.height = h;
  f.planes = 1;
  f.bitCount = bits;
  f.compression = compression;
  f.clrUsed = clrUsed;
  return f;
}

ui::Bitmap24 Decode(const AviBitmapFormat& f, const Bytes& data) {
  AviRawLayout layout;
  EXPECT_TRUE(DescribeRawFormat(f, layout));
  ui::Bitmap24 out;
  DecodeRawFrame(layout, data.data(), data.size(), out);
  return out;
}

ui::Color Bgr(uint8_t b, uint8_t g, uint8_t r) { return ui::Color(r, g, b); }

ui::Color Yuv(int y, int u, int v) {
  uint8_t bgr[3];
  YuvToBgr(y, u, v, bgr);
  return Bgr(bgr[0], bgr[1], bgr[2]);
}

}  // namespace

TEST(AviPixelFormats, Yuv_MatchesBt601LimitedRangeComputedByHand) {
  // R = 1.164383 (Y-16) + 1.596027 (V-128); G = ... - 0.391762 (U-128) - 0.812968 (V-128);
  // B = ... + 2.017232 (U-128); rounded, clamped.
  EXPECT_EQ(Yuv(16, 128, 128), Bgr(0, 0, 0));
  EXPECT_EQ(Yuv(235, 128, 128), Bgr(255, 255, 255));
  EXPECT_EQ(Yuv(126, 128, 128), Bgr(128, 128, 128));     // 1.164383 * 110 = 128.08
  EXPECT_EQ(Yuv(81, 90, 240), Bgr(0, 0, 254));           // 75.69 + 178.76 = 254.44
  EXPECT_EQ(Yuv(100, 150, 60), Bgr(142, 144, 0));        // B 142.19, G 144.47, R -10.7
  EXPECT_EQ(Yuv(180, 100, 170), Bgr(134, 168, 255));     // B 134.48, G 167.78, R 257.99
}

TEST(AviPixelFormats, Packed422_AllByteOrdersGiveTheSamePicture) {
  // Two pixel pairs: (Y 100, 120 | U 150 V 60) and (Y 180, 16 | U 100 V 170).
  Bytes yuy2 = {100, 150, 120, 60, 180, 100, 16, 170};
  Bytes uyvy = {150, 100, 60, 120, 100, 180, 170, 16};
  Bytes yvyu = {100, 60, 120, 150, 180, 170, 16, 100};
  ui::Bitmap24 a = Decode(Format(4, 1, 16, FourCC('Y', 'U', 'Y', '2')), yuy2);
  ASSERT_EQ(a.width(), 4);
  EXPECT_EQ(a.pixel(0, 0), Yuv(100, 150, 60));
  EXPECT_EQ(a.pixel(1, 0), Yuv(120, 150, 60));
  EXPECT_EQ(a.pixel(2, 0), Yuv(180, 100, 170));
  EXPECT_EQ(a.pixel(3, 0), Yuv(16, 100, 170));
  EXPECT_EQ(Decode(Format(4, 1, 16, FourCC('U', 'Y', 'V', 'Y')), uyvy), a);
  EXPECT_EQ(Decode(Format(4, 1, 16, FourCC('Y', 'V', 'Y', 'U')), yvyu), a);
  // Positive biHeight does not flip YUV formats.
  Bytes twoRows = {100, 150, 120, 60, 180, 100, 16, 170, 16, 128, 16, 128, 16, 128, 16, 128};
  ui::Bitmap24 b = Decode(Format(4, 2, 16, FourCC('Y', 'U', 'Y', '2')), twoRows);
  EXPECT_EQ(b.pixel(0, 0), Yuv(100, 150, 60));
  EXPECT_EQ(b.pixel(0, 1), Bgr(0, 0, 0));
}

TEST(AviPixelFormats, Planar420_ChromaCoversTwoByTwoAndYv12SwapsPlanes) {
  // 3 x 3: luma 9 bytes, chroma planes 2 x 2 each.
  Bytes y = {16, 50, 90, 120, 150, 180, 200, 220, 235};
  Bytes u = {90, 110, 150, 200};
  Bytes v = {240, 60, 128, 170};
  Bytes i420 = y, yv12 = y;
  avitest::Append(i420, u);
  avitest::Append(i420, v);
  avitest::Append(yv12, v);
  avitest::Append(yv12, u);
  ui::Bitmap24 a = Decode(Format(3, 3, 12, FourCC('I', '4', '2', '0')), i420);
  for (int row = 0; row < 3; ++row)
    for (int x = 0; x < 3; ++x) {
      int c = (row / 2) * 2 + x / 2;
      EXPECT_EQ(a.pixel(x, row), Yuv(y[row * 3 + x], u[c], v[c])) << x << "," << row;
    }
  EXPECT_EQ(Decode(Format(3, 3, 12, FourCC('Y', 'V', '1', '2')), yv12), a);
  EXPECT_EQ(Decode(Format(3, 3, 12, FourCC('I', 'Y', 'U', 'V')), i420), a);
}

TEST(AviPixelFormats, Rgb24_BottomUpRowsArePaddedAndFlipped) {
  // 3 x 2, rows of 9 bytes padded to 12; the first stored row is the bottom one.
  Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0xEE, 0xEE, 0xEE};
  ui::Bitmap24 up = Decode(Format(3, 2, 24, 0), data);
  EXPECT_EQ(up.pixel(0, 1), Bgr(1, 2, 3));
  EXPECT_EQ(up.pixel(2, 1), Bgr(7, 8, 9));
  EXPECT_EQ(up.pixel(0, 0), Bgr(11, 12, 13));
  ui::Bitmap24 down = Decode(Format(3, -2, 24, 0), data);
  EXPECT_EQ(down.pixel(0, 0), Bgr(1, 2, 3));
  EXPECT_EQ(down.pixel(2, 1), Bgr(17, 18, 19));
}

TEST(AviPixelFormats, Rgb16_555And565ExpandByRepeatingBits) {
  // 555: 0x7FFF white, r=g=b=1 -> 8, pure red 31 -> 255; two pixels per row need no padding.
  Bytes d555 = {0xFF, 0x7F, 0x21, 0x04, 0x00, 0x7C, 0x00, 0x00};
  ui::Bitmap24 a = Decode(Format(2, -2, 16, 0), d555);
  EXPECT_EQ(a.pixel(0, 0), Bgr(255, 255, 255));
  EXPECT_EQ(a.pixel(1, 0), Bgr(8, 8, 8));
  EXPECT_EQ(a.pixel(0, 1), Bgr(0, 0, 255));
  EXPECT_EQ(a.pixel(1, 1), Bgr(0, 0, 0));
  // 565 by bit fields: green 33 of 63 -> 33 << 2 | 33 >> 4 = 134; red 16 -> 132; blue 1 -> 8.
  uint16_t px = static_cast<uint16_t>(16 << 11 | 33 << 5 | 1);
  Bytes d565 = {static_cast<uint8_t>(px), static_cast<uint8_t>(px >> 8), 0xE0, 0x07};
  ui::Bitmap24 b = Decode(Format(2, 1, 16, 3, {0xF800, 0x07E0, 0x001F}), d565);
  EXPECT_EQ(b.pixel(0, 0), Bgr(8, 134, 132));
  EXPECT_EQ(b.pixel(1, 0), Bgr(0, 255, 0));
  // Odd width: 3 pixels = 6 bytes, padded to 8.
  Bytes odd = {0xFF, 0x7F, 0, 0, 0xFF, 0x7F, 0xAA, 0xAA};
  ui::Bitmap24 c = Decode(Format(3, -1, 16, 0), odd);
  EXPECT_EQ(c.pixel(2, 0), Bgr(255, 255, 255));
}

TEST(AviPixelFormats, Rgb32_DropsFourthByteAndHonoursMasks) {
  Bytes bgrx = {10, 20, 30, 99, 40, 50, 60, 99};
  ui::Bitmap24 a = Decode(Format(2, 1, 32, 0), bgrx);
  EXPECT_EQ(a.pixel(0, 0), Bgr(10, 20, 30));
  EXPECT_EQ(a.pixel(1, 0), Bgr(40, 50, 60));
  // R in the low byte, B in the third.
  Bytes rgbx = {30, 20, 10, 99};
  ui::Bitmap24 b = Decode(Format(1, 1, 32, 3, {0x0000FF, 0x00FF00, 0xFF0000}), rgbx);
  EXPECT_EQ(b.pixel(0, 0), Bgr(10, 20, 30));
}

TEST(AviPixelFormats, Pal8_UsesTheColourTableAndPadsRows) {
  std::vector<uint32_t> pal = {0x000000, 0x102030, 0xFF8000};  // 0x00RRGGBB
  Bytes data = {2, 1, 0, 0xEE, 1, 1, 2, 0xEE};                 // 3 x 2, rows padded to 4
  ui::Bitmap24 a = Decode(Format(3, 2, 8, 0, pal, 3), data);
  EXPECT_EQ(a.pixel(0, 1), Bgr(0x00, 0x80, 0xFF));  // bottom row stored first
  EXPECT_EQ(a.pixel(1, 1), Bgr(0x30, 0x20, 0x10));
  EXPECT_EQ(a.pixel(2, 0), Bgr(0x00, 0x80, 0xFF));
  // No colour table at all: grey.
  ui::Bitmap24 g = Decode(Format(3, 2, 8, 0), data);
  EXPECT_EQ(g.pixel(0, 1), Bgr(2, 2, 2));
}

TEST(AviPixelFormats, GreyFourccs_AreTopDownWithoutPadding) {
  Bytes data = {0, 64, 128, 192, 255, 7};  // 3 x 2
  for (uint32_t cc : {FourCC('Y', '8', '0', '0'), FourCC('Y', '8', ' ', ' '), FourCC('G', 'R', 'E', 'Y')}) {
    ui::Bitmap24 a = Decode(Format(3, 2, 8, cc), data);
    EXPECT_EQ(a.pixel(1, 0), Bgr(64, 64, 64));
    EXPECT_EQ(a.pixel(0, 1), Bgr(192, 192, 192));
    EXPECT_EQ(a.pixel(2, 1), Bgr(7, 7, 7));
  }
}

TEST(AviPixelFormats, PaletteChange_ReplacesTheNamedEntries) {
  AviPalette p{};
  Bytes change = {1, 2, 0, 0, 0xAA, 0xBB, 0xCC, 0, 0x11, 0x22, 0x33, 0};  // entries 1..2, R G B flags
  ApplyPaletteChange(change.data(), change.size(), p);
  EXPECT_EQ(p[0], 0u);
  EXPECT_EQ(p[1], 0xAABBCCu);
  EXPECT_EQ(p[2], 0x112233u);
  Bytes past = {255, 0, 0, 0, 1, 2, 3, 0, 4, 5, 6, 0};  // starts at 255; 256 entries claimed
  ApplyPaletteChange(past.data(), past.size(), p);
  EXPECT_EQ(p[255], 0x010203u);
}

TEST(AviPixelFormats, SameSizeFrames_ReuseThePictureStorage) {
  AviRawLayout layout;
  ASSERT_TRUE(DescribeRawFormat(Format(64, 48, 24, 0), layout));
  Bytes data(layout.frameBytes, 77);
  ui::Bitmap24 out;
  DecodeRawFrame(layout, data.data(), data.size(), out);
  const uint8_t* storage = out.data();
  data.assign(data.size(), 5);
  DecodeRawFrame(layout, data.data(), data.size(), out);
  EXPECT_EQ(out.data(), storage);
  EXPECT_EQ(out.pixel(63, 47), Bgr(5, 5, 5));
}

TEST(AviPixelFormats, BadFormatsAndShortData_RaiseTheFixedTexts) {
  AviRawLayout layout;
  EXPECT_FALSE(DescribeRawFormat(Format(8, 8, 24, FourCC('M', 'J', 'P', 'G')), layout));
  EXPECT_FALSE(DescribeRawFormat(Format(8, 8, 4, 0), layout));  // 4-bit goes to a codec
  EXPECT_EQ(ErrorOf([&] { DescribeRawFormat(Format(8, 8, 16, 3), layout); }), "Failed to get AVI stream format");
  EXPECT_EQ(ErrorOf([&] { DescribeRawFormat(Format(8, 8, 16, 3, {0xF00F, 0x0F0, 0}), layout); }),
            "Failed to get AVI stream format");
  EXPECT_EQ(ErrorOf([&] { DescribeRawFormat(Format(20000, 8, 24, 0), layout); }),
            "Failed to start AVI decompression");
  ASSERT_TRUE(DescribeRawFormat(Format(4, 4, 24, 0), layout));
  Bytes shortData(layout.frameBytes - 1, 0);
  ui::Bitmap24 out;
  EXPECT_EQ(ErrorOf([&] { DecodeRawFrame(layout, shortData.data(), shortData.size(), out); }),
            "Failed to decompress AVI frame");
}

TEST(AviPixelFormats, ShuffleFastPaths_MatchThePlainConversionAtEveryWidth) {
  for (int w = 1; w <= 40; ++w) {
    Bytes grey(static_cast<size_t>(w) * 2), bgrx(static_cast<size_t>(w) * 2 * 4);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>(i * 37 + w);
    for (size_t i = 0; i < bgrx.size(); ++i) bgrx[i] = static_cast<uint8_t>(i * 53 + 7 * w);
    ui::Bitmap24 g = Decode(Format(w, 2, 8, FourCC('Y', '8', '0', '0')), grey);
    ui::Bitmap24 c = Decode(Format(w, -2, 32, 0), bgrx);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t v = grey[static_cast<size_t>(y * w + x)];
        ASSERT_EQ(g.pixel(x, y), Bgr(v, v, v)) << w << " " << x;
        const uint8_t* q = bgrx.data() + (static_cast<size_t>(y) * w + x) * 4;
        ASSERT_EQ(c.pixel(x, y), Bgr(q[0], q[1], q[2])) << w << " " << x;
      }
  }
}
