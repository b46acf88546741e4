// TIFF files written by ImageMagick and libtiff's tools read by us, and ours read by them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/Error.h"
#include "formats/TiffBitmap.h"
#include "support/TestSupport.h"

namespace {

using formats::TTIFFBitMap;
int Sh(const std::string& cmd, std::string* out = nullptr) { return pxtest::Run(cmd, out); }
using pxtest::TempDir;

constexpr int W = 61, H = 37;  // odd sizes: rows end in partial bytes at 1 and 4 bits

// Test picture: kind 0 = smooth colour, 1 = 200 colours, 2 = 16 colours, 3 = two colours,
// 4 = black and white. Returns 16-bit R, G, B per pixel (8-bit kinds use v * 257).
std::vector<uint16_t> Picture(int kind) {
  std::vector<uint16_t> p;
  uint32_t seed = 11;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      seed = seed * 1664525u + 1013904223u;
      int r, g, b;
      switch (kind) {
        case 0:
          r = 30000 + int(25000 * std::sin(x / 9.0)) + int(seed >> 28);
          g = 1000 * y + x;
          b = 65535 - 800 * x - y;
          p.insert(p.end(), {uint16_t(r), uint16_t(g), uint16_t(b)});
          continue;
        case 1: r = (x % 25) * 10, g = y % 4 * 60, b = 255 - r; break;  // 100 colours
        case 2: r = (x % 4) * 80, g = (y % 4) * 80, b = 0; break;
        case 3: r = (x + y) % 2 ? 255 : 0, g = 0, b = (x + y) % 2 ? 0 : 255; break;
        default: r = g = b = (x / 3 + y) % 2 ? 255 : 0; break;
      }
      p.insert(p.end(), {uint16_t(r * 257), uint16_t(g * 257), uint16_t(b * 257)});
    }
  return p;
}

void WritePnm(const std::string& path, const std::vector<uint16_t>& rgb, bool grey, bool sixteen) {
  std::string head = std::string(grey ? "P5" : "P6") + "\n" + std::to_string(W) + " " + std::to_string(H) + "\n" +
                     (sixteen ? "65535" : "255") + "\n";
  std::vector<uint8_t> f(head.begin(), head.end());
  for (size_t i = 0; i < rgb.size(); i += 3)
    for (int c = 0; c < (grey ? 1 : 3); ++c) {
      uint16_t v = rgb[i + size_t(c)];
      if (sixteen) f.insert(f.end(), {uint8_t(v >> 8), uint8_t(v)});
      else f.push_back(uint8_t(v >> 8));
    }
  pxtest::WriteBytes(path, f);
}

// Compares what we loaded with the picture: display bytes always; 16-bit buffer when given.
void ExpectPicture(const TTIFFBitMap& bm, const std::vector<uint16_t>& p, bool grey, int bufferBits,
                   const std::string& what) {
  ASSERT_EQ(bm.display.width(), W) << what;
  ASSERT_EQ(bm.display.height(), H) << what;
  int bad = 0;
  for (int y = 0; y < H && bad < 3; ++y)
    for (int x = 0; x < W && bad < 3; ++x) {
      const uint16_t* e = &p[(size_t(y) * W + x) * 3];
      uint16_t r = e[0], g = grey ? e[0] : e[1], b = grey ? e[0] : e[2];
      ui::Color want(uint8_t(r >> 8), uint8_t(g >> 8), uint8_t(b >> 8));
      if (bm.display.pixel(x, y) != want) {
        ++bad;
        ui::Color got = bm.display.pixel(x, y);
        ADD_FAILURE() << what << " display at " << x << "," << y << ": " << int(got.r) << " " << int(got.g) << " "
                      << int(got.b) << " vs " << int(want.r) << " " << int(want.g) << " " << int(want.b);
      }
      if (bufferBits == 0) continue;
      const uint16_t* s = bm.row16(y) + 3 * x;
      uint16_t mask = bufferBits == 16 ? 0xFFFF : 0xFF00;
      if (s[0] != (r & mask) || s[1] != (g & mask) || s[2] != (b & mask)) {
        ++bad;
        ADD_FAILURE() << what << " buffer at " << x << "," << y << ": " << s[0] << " vs " << r;
      }
    }
}

struct Case {
  const char* name;
  int kind;
  const char* magick;  // ImageMagick options making the TIFF
  bool grey, sixteen;
  int bufferBits;     // 16: exact samples, 8: byte * 256, 0: buffer not checked
  bool predictor;     // lzw:2 possible (8- or 16-bit samples)
};

const Case kCases[] = {
    {"rgb48", 0, "-depth 16", false, true, 16, true},
    {"rgb24", 0, "-depth 8", false, false, 8, true},
    {"grey16", 0, "-type Grayscale -depth 16", true, true, 16, true},
    {"grey8", 0, "-type Grayscale -depth 8", true, false, 0, true},
    {"palette8", 1, "-type Palette", false, false, 0, true},
    {"palette4", 2, "-type Palette -colors 16", false, false, 0, false},
    {"palette1", 3, "-type Palette -colors 2", false, false, 0, false},
    {"bilevel", 4, "-type Bilevel -depth 1", true, false, 0, false},
    {"bilevel-white", 4, "-type Bilevel -depth 1 -define quantum:polarity=min-is-white", true, false, 0, false},
};

TEST(TiffInterop, ImageMagickAndTiffcpVariants_ReadExactly) {
  const std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  PX_REQUIRE_PROGRAM("tiffcp");
  TempDir dir;
  for (const Case& c : kCases) {
    std::vector<uint16_t> pic = Picture(c.kind);
    std::string pnm = dir.file(std::string(c.name) + (c.grey ? ".pgm" : ".ppm"));
    WritePnm(pnm, pic, c.grey, c.sixteen);
    std::string base = dir.file(std::string(c.name) + ".tif");
    std::string out;
    ASSERT_EQ(Sh(im + " " + pnm + " " + c.magick + " -compress none " + base, &out), 0) << out;
    std::vector<std::pair<std::string, std::string>> variants = {
        {"", ""}, {"none", "-c none"}, {"lzw", "-c lzw"}, {"bigendian", "-B -c none"},
        {"strips", "-r 3"}, {"lzw-strips-be", "-c lzw -r 5 -B"},
        {"zip", "-c zip"}, {"zip-strips-be", "-c zip -r 5 -B"}, {"packbits", "-c packbits -r 7"}};
    if (c.predictor) {
      variants.push_back({"lzw2", "-c lzw:2 -r 4"});
      variants.push_back({"zip2", "-c zip:2 -r 4"});
    }
    variants.push_back({"magick-lzw", ""});
    for (const auto& [tag, opts] : variants) {
      std::string file = base;
      if (tag == "magick-lzw") {
        file = dir.file(std::string(c.name) + "-mlzw.tif");
        ASSERT_EQ(Sh(im + " " + pnm + " " + c.magick + " -compress lzw " + file, &out), 0) << out;
      } else if (!tag.empty()) {
        file = dir.file(std::string(c.name) + "-" + tag + ".tif");
        ASSERT_EQ(Sh("tiffcp " + opts + " " + base + " " + file, &out), 0) << out;
      }
      TTIFFBitMap bm;
      ASSERT_NO_THROW(bm.LoadTiff(file)) << c.name << " " << tag;
      ExpectPicture(bm, pic, c.grey, c.bufferBits, std::string(c.name) + " " + tag);
    }
  }
}

TEST(TiffInterop, JpegCompressedTiff_IsRefusedByName) {
  const std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  TempDir dir;
  WritePnm(dir.file("p.ppm"), Picture(0), false, false);
  std::string out;
  ASSERT_EQ(Sh(im + " " + dir.file("p.ppm") + " -compress jpeg " + dir.file("j.tif"), &out), 0) << out;
  TTIFFBitMap bm;
  try {
    bm.LoadTiff(dir.file("j.tif"));
    ADD_FAILURE() << "a JPEG-compressed TIFF was read";
  } catch (const px::PelinoxaError& e) {
    EXPECT_EQ(std::string(e.what()),
              "TIFF files compressed with JPEG cannot be read (only uncompressed, LZW, Deflate and PackBits)");
  }
  EXPECT_EQ(bm.display.width(), 0);
}

TEST(TiffInterop, LibtiffLzwOfALargeImage_SpansManyClearCodes) {
  PX_REQUIRE_PROGRAM("tiffcp");
  TempDir dir;
  TTIFFBitMap src;
  const int w = 700, h = 300;
  src.Allocate48(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) src.row16(y)[x] = uint16_t(20000 + 15000 * std::sin((x + 3 * y) / 50.0) + (x * y) % 7);
  src.SaveTiff(dir.file("plain.tif"), 48, false);
  for (const char* opt : {"-c lzw", "-c lzw:2"}) {
    std::string out;
    ASSERT_EQ(Sh(std::string("tiffcp ") + opt + " " + dir.file("plain.tif") + " " + dir.file("l.tif"), &out), 0) << out;
    TTIFFBitMap bm;
    bm.LoadTiff(dir.file("l.tif"));
    ASSERT_EQ(bm.width48(), w);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w * 3; ++x) ASSERT_EQ(bm.row16(y)[x], src.row16(y)[x]) << opt << " " << x << "," << y;
  }
}

// A picture in both parts of the object, for writing.
TTIFFBitMap Writable() {
  TTIFFBitMap bm;
  std::vector<uint16_t> p = Picture(0);
  bm.display.reset(W, H);
  bm.Allocate48(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const uint16_t* e = &p[(size_t(y) * W + x) * 3];
      for (int c = 0; c < 3; ++c) bm.row16(y)[3 * x + c] = e[c];
      bm.display.setPixel(x, y, ui::Color(uint8_t(e[0] >> 8), uint8_t(e[1] >> 8), uint8_t(e[2] >> 8)));
    }
  bm.has16Bit = true;
  return bm;
}

TEST(TiffInterop, OurFiles_PassTiffinfoAndTiffcmp_AndImageMagickReadsTheSamples) {
  const std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  PX_REQUIRE_PROGRAM("tiffinfo");
  PX_REQUIRE_PROGRAM("tiffcmp");
  TempDir dir;
  TTIFFBitMap bm = Writable();
  for (int bpp : {48, 24, 16, 8, 4, 1}) {
    std::string plain = dir.file("p" + std::to_string(bpp) + ".tif");
    std::string lzw = dir.file("l" + std::to_string(bpp) + ".tif");
    bm.SaveTiff(plain, bpp, false);
    bm.SaveTiff(lzw, bpp, true);
    for (const std::string& f : {plain, lzw}) {
      std::string out;
      EXPECT_EQ(Sh("tiffinfo -D " + f, &out), 0) << out;
      EXPECT_EQ(out.find("rror"), std::string::npos) << bpp << ": " << out;
      // libtiff knows the Predictor tag only with a compression that uses it, and says so.
      bool onlyPredictorNote = out.find("Unknown field with tag 317") != std::string::npos && f == plain;
      if (!onlyPredictorNote) {
        EXPECT_EQ(out.find("arning"), std::string::npos) << bpp << ": " << out;
      }
    }
    std::string out;
    EXPECT_EQ(Sh("tiffcmp " + plain + " " + lzw, &out), 0) << bpp << ": " << out;

    // ImageMagick's reading, as raw samples.
    bool grey = bpp <= 16 && bpp != 48 && bpp != 24;
    int depth = bpp == 48 || bpp == 16 ? 16 : 8;
    for (const std::string& f : {plain, lzw}) {
      std::string raw = f + ".raw";
      ASSERT_EQ(Sh(im + " " + f + " -depth " + std::to_string(depth) + " -endian LSB " + (grey ? "gray:" : "rgb:") + raw,
                    &out), 0) << out;
      std::vector<uint8_t> r = pxtest::ReadBytes(raw);
      size_t per = size_t(grey ? 1 : 3) * (depth / 8);
      ASSERT_EQ(r.size(), size_t(W) * H * per) << bpp;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const uint8_t* q = r.data() + (size_t(y) * W + x) * per;
          const uint16_t* s = bm.row16(y) + 3 * x;
          ui::Color d = bm.display.pixel(x, y);
          if (bpp == 48) {
            for (int c = 0; c < 3; ++c) ASSERT_EQ(q[2 * c] | q[2 * c + 1] << 8, s[c]) << x << "," << y;
          } else if (bpp == 24) {
            ASSERT_EQ(ui::Color(q[0], q[1], q[2]), d) << x << "," << y;
          } else if (bpp == 16) {
            int lum = int((19595u * s[0] + 38470u * s[1] + 7471u * s[2] + 32768u) >> 16);
            ASSERT_EQ(q[0] | q[1] << 8, lum) << x << "," << y;
          } else {
            int lum = (77 * d.r + 150 * d.g + 29 * d.b + 128) >> 8;
            int want = bpp == 8 ? lum : bpp == 4 ? (lum >> 4) * 17 : (lum < 128 ? 0 : 255);
            ASSERT_EQ(q[0], want) << bpp << " at " << x << "," << y;
          }
        }
    }
  }
}

}  // namespace
