#include "ui/BmpCodec.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "support/TestSupport.h"

namespace {

using ui::Bitmap24;
using ui::Color;

// A picture with a different colour in every pixel and an odd width (row padding).
Bitmap24 Pattern(int w, int h) {
  Bitmap24 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.setPixel(x, y, Color(static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(y * 11),
                             static_cast<uint8_t>((x * y * 5 + 40) & 255)));
  return b;
}

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  Put16(v, at, x);
  Put16(v, at + 2, x >> 16);
}
uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<uint32_t>(v[at + 3]) << 24;
}

// A hand-built bitmap file: headers, optional masks after a 40-byte header, palette, pixels.
struct BmpFile {
  uint32_t headerSize = 40;
  int32_t width = 0, height = 0;
  uint16_t bpp = 24;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  std::vector<uint32_t> masks;       // written into a V2+ header or after a 40-byte one
  std::vector<uint8_t> palette;      // raw entries (3 bytes each for a core header, else 4)
  std::vector<uint8_t> pixels;       // raw pixel data
  std::optional<uint32_t> dataOffset;

  std::vector<uint8_t> bytes() const {
    size_t tables = (headerSize == 40 ? masks.size() * 4 : 0) + palette.size();
    uint32_t offset = dataOffset.value_or(static_cast<uint32_t>(14 + headerSize + tables));
    std::vector<uint8_t> f(14 + headerSize + tables, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 10, offset);
    Put32(f, 14, headerSize);
    if (headerSize == 12) {
      Put16(f, 18, static_cast<uint32_t>(width));
      Put16(f, 20, static_cast<uint32_t>(height));
      Put16(f, 22, 1);
      Put16(f, 24, bpp);
    } else {
      Put32(f, 18, static_cast<uint32_t>(width));
      Put32(f, 22, static_cast<uint32_t>(height));
      Put16(f, 26, 1);
      Put16(f, 28, bpp);
      if (headerSize >= 20) Put32(f, 30, compression);
      if (headerSize >= 36) Put32(f, 46, colorsUsed);
    }
    if (headerSize == 40 || headerSize >= 52)  // right after the 40-byte part either way
      for (size_t k = 0; k < masks.size(); ++k) Put32(f, 54 + 4 * k, masks[k]);
    std::copy(palette.begin(), palette.end(), f.begin() + 14 + headerSize + (headerSize == 40 ? masks.size() * 4 : 0));
    if (offset <= f.size() + 4096) f.resize(std::max<size_t>(f.size(), offset), 0);
    f.insert(f.end(), pixels.begin(), pixels.end());
    Put32(f, 2, static_cast<uint32_t>(f.size()));
    return f;
  }
};

Bitmap24 Decode(const std::vector<uint8_t>& f) { return ui::DecodeBmp(f.data(), f.size()); }

std::string DecodeError(const std::vector<uint8_t>& f) {
  try {
    Decode(f);
  } catch (const px::PelinoxaError& e) {
    return e.what();
  }
  return "(no error)";
}

// Palette entries B, G, R, 0 for the given colours.
std::vector<uint8_t> Palette(std::initializer_list<Color> colors, int entryBytes = 4) {
  std::vector<uint8_t> p;
  for (Color c : colors) {
    p.insert(p.end(), {c.b, c.g, c.r});
    if (entryBytes == 4) p.push_back(0);
  }
  return p;
}

std::vector<uint8_t> RowsOf(const Bitmap24& pic, bool topDown) {
  size_t stride = (pic.width() * 3 + 3) / 4 * 4;
  std::vector<uint8_t> out(stride * pic.height(), 0);
  for (int y = 0; y < pic.height(); ++y) {
    int r = topDown ? y : pic.height() - 1 - y;
    std::memcpy(&out[r * stride], pic.row(y), pic.width() * 3);
  }
  return out;
}

// --- Writing ----------------------------------------------------------------------------

// What readers rely on: the file size, where the pixels start, the bottom-up order and zero
// padding (ImageMagick reads the rest back below).
TEST(BmpEncode, RowsAreStoredBottomUpWithZeroPadding) {
  Bitmap24 pic = Pattern(3, 2);
  std::vector<uint8_t> f = ui::EncodeBmp(pic);
  ASSERT_EQ(f.size(), 54u + 12 * 2);  // rows of 9 bytes padded to 12
  EXPECT_EQ(Get32(f, 2), f.size());
  EXPECT_EQ(Get32(f, 10), 54u);
  EXPECT_EQ(Get32(f, 22), 2u);  // positive height: bottom-up
  EXPECT_EQ(0, std::memcmp(&f[54], pic.row(1), 9));
  EXPECT_EQ(0, std::memcmp(&f[66], pic.row(0), 9));
  EXPECT_EQ(f[63] | f[64] | f[65], 0);
}

TEST(BmpEncode, RoundTrip_EveryRowPadding) {
  for (int w = 1; w <= 5; ++w) {
    Bitmap24 pic = Pattern(w, 3);
    EXPECT_EQ(Decode(ui::EncodeBmp(pic)), pic) << "width " << w;
  }
}

TEST(BmpEncode, EmptyPicture_IsRefused) {
  EXPECT_THROW(ui::EncodeBmp(Bitmap24()), px::PelinoxaError);
}

TEST(BmpFiles, SaveAndLoad_RoundTripAndErrorsNameTheFile) {
  pxtest::TempDir dir;
  Bitmap24 pic = Pattern(17, 9);
  ui::SaveBmpFile(dir.file("a.bmp"), pic);
  EXPECT_EQ(ui::LoadBmpFile(dir.file("a.bmp")), pic);
  ui::SaveBmpFile(dir.file("a.bmp"), Pattern(4, 4));  // replaces the file
  EXPECT_EQ(ui::LoadBmpFile(dir.file("a.bmp")), Pattern(4, 4));

  pxtest::WriteBytes(dir.file("bad.bmp"), {'B', 'M', 0, 0});
  try {
    ui::LoadBmpFile(dir.file("bad.bmp"));
    FAIL() << "no error";
  } catch (const px::PelinoxaError& e) {
    EXPECT_NE(std::string(e.what()).find("truncated"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("bad.bmp"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ui::LoadBmpFile(dir.file("missing.bmp")), px::PelinoxaError);
}

// --- Reading hand-built files -------------------------------------------------------------

TEST(BmpDecode, TopDownAndBottomUp_GiveTheSamePicture) {
  Bitmap24 pic = Pattern(5, 4);
  BmpFile f;
  f.width = 5;
  f.height = -4;
  f.pixels = RowsOf(pic, true);
  EXPECT_EQ(Decode(f.bytes()), pic);
  f.height = 4;
  f.pixels = RowsOf(pic, false);
  EXPECT_EQ(Decode(f.bytes()), pic);
}

TEST(BmpDecode, DecodeInto_ReusesStorageOfTheSameSize) {
  Bitmap24 pic = Pattern(8, 8);
  std::vector<uint8_t> f = ui::EncodeBmp(pic);
  Bitmap24 out(8, 8);
  const uint8_t* storage = out.data();
  ui::DecodeBmpInto(f.data(), f.size(), out);
  EXPECT_EQ(out, pic);
  EXPECT_EQ(out.data(), storage);
}

TEST(BmpDecode, PaletteDepths_1_2_4_8_WithShortPaletteAndIndexPastIt) {
  const Color k0(10, 20, 30), k1(200, 100, 50), k2(1, 2, 3), none;
  const struct {
    uint16_t bpp;
    std::vector<Color> palette;
    uint32_t colorsUsed;
    std::vector<uint8_t> pixels;
    std::vector<Color> want;
  } cases[] = {
      // 101100111
      {1, {k0, k1}, 0, {0xB3, 0x80, 0, 0}, {k1, k0, k1, k1, k0, k0, k1, k1, k1}},
      // 0 1 2 3 | 3 2 1 0 | 1 ; index 3 is past the three-entry palette -> black
      {2, {k0, k1, k2}, 0, {0x1B, 0xE4, 0x40, 0}, {k0, k1, k2, none, none, k2, k1, k0, k1}},
      {4, {k0, k1}, 0, {0x01, 0x10, 0x2F, 0x00, 0x10, 0, 0, 0}, {k0, k1, k1, k0, none, none, k0, k0, k1}},
      // colorsUsed limits the palette
      {8, {k0, k1}, 2, {1, 0, 1, 2, 255, 0, 0, 0, 1, 0, 0, 0}, {k1, k0, k1, none, none, k0, k0, k0, k1}},
  };
  for (const auto& c : cases) {
    BmpFile f;
    f.width = 9;
    f.height = 1;
    f.bpp = c.bpp;
    f.colorsUsed = c.colorsUsed;
    for (Color k : c.palette) f.palette.insert(f.palette.end(), {k.b, k.g, k.r, 0});
    f.pixels = c.pixels;
    const Bitmap24 b = Decode(f.bytes());
    for (int x = 0; x < 9; ++x) EXPECT_EQ(b.pixel(x, 0), c.want[x]) << c.bpp << " bits, pixel " << x;
  }
}

TEST(BmpDecode, CoreHeader_PaletteOfTriplesAnd24Bit) {
  const Color k0(9, 8, 7), k1(250, 251, 252);
  BmpFile f;
  f.headerSize = 12;
  f.width = 3;
  f.height = 2;
  f.bpp = 1;
  f.palette = Palette({k0, k1}, 3);
  f.pixels = {0xA0, 0, 0, 0, 0x40, 0, 0, 0};  // bottom row 101, top row 010
  Bitmap24 b = Decode(f.bytes());
  EXPECT_EQ(b.pixel(0, 0), k0);
  EXPECT_EQ(b.pixel(1, 0), k1);
  EXPECT_EQ(b.pixel(0, 1), k1);
  EXPECT_EQ(b.pixel(1, 1), k0);
  EXPECT_EQ(b.pixel(2, 1), k1);

  Bitmap24 pic = Pattern(7, 3);
  f.width = 7;
  f.height = 3;
  f.bpp = 24;
  f.palette.clear();
  f.pixels = RowsOf(pic, false);
  EXPECT_EQ(Decode(f.bytes()), pic);
}

TEST(BmpDecode, Os2InfoHeader_64AndShortVariants) {
  const Color k0(1, 100, 200), k1(3, 4, 5);
  for (uint32_t size : {64u, 16u, 24u, 36u}) {
    BmpFile f;
    f.headerSize = size;
    f.width = 2;
    f.height = 1;
    f.bpp = 8;
    f.palette = Palette({k0, k1});
    f.pixels = {1, 0, 0, 0};
    Bitmap24 b = Decode(f.bytes());
    EXPECT_EQ(b.pixel(0, 0), k1) << size;
    EXPECT_EQ(b.pixel(1, 0), k0) << size;
  }
  BmpFile huffman;
  huffman.headerSize = 64;
  huffman.width = huffman.height = 1;
  huffman.bpp = 1;
  huffman.compression = 3;
  huffman.palette = Palette({k0, k1});
  huffman.pixels = {0, 0, 0, 0};
  EXPECT_EQ(DecodeError(huffman.bytes()), "Invalid bitmap: unsupported compression 3 (OS/2)");
}

// Pixels without a palette: 16-bit 555 by default, 32-bit BGRA with alpha ignored, and colour
// masks in every header size; a field's top eight bits count, short fields are widened by
// repeating their bits.
TEST(BmpDecode, SixteenAndThirtyTwoBit_PlainAndMasked) {
  const std::vector<uint32_t> m565 = {0xF800, 0x07E0, 0x001F};
  const struct {
    const char* what;
    uint32_t headerSize;
    uint16_t bpp;
    uint32_t compression;
    std::vector<uint32_t> masks;
    std::vector<uint8_t> pixels;  // two pixels
    Color first, second;
  } cases[] = {
      {"555", 40, 16, 0, {}, {0x10, 0x7C, 0x00, 0x00}, Color(255, 0, 132), Color()},
      {"565 in 40", 40, 16, 3, m565, {0xFF, 0x07, 0x20, 0x08}, Color(0, 255, 255), Color(8, 4, 0)},
      {"565 in 52", 52, 16, 3, m565, {0xFF, 0x07, 0x20, 0x08}, Color(0, 255, 255), Color(8, 4, 0)},
      {"565 in 56", 56, 16, 3, m565, {0xFF, 0x07, 0x20, 0x08}, Color(0, 255, 255), Color(8, 4, 0)},
      {"565 in 108", 108, 16, 3, m565, {0xFF, 0x07, 0x20, 0x08}, Color(0, 255, 255), Color(8, 4, 0)},
      {"565 in 124", 124, 16, 3, m565, {0xFF, 0x07, 0x20, 0x08}, Color(0, 255, 255), Color(8, 4, 0)},
      {"BGRA", 40, 32, 0, {}, {1, 2, 3, 99, 4, 5, 6, 0}, Color(3, 2, 1), Color(6, 5, 4)},
      // 10-10-10-2 with red in the low bits: 0x3FF, 0x200, 0x004
      {"10-10-10", 40, 32, 3, {0x000003FF, 0x000FFC00, 0x3FF00000}, {0xFF, 0x03, 0x48, 0x00, 0, 0, 0, 0},
       Color(255, 128, 1), Color()},
      // alpha bit fields: four masks after a 40-byte header
      {"alpha fields", 40, 32, 6, {0xFF00, 0xFF0000, 0xFF000000, 0xFF}, {0x11, 0x22, 0x33, 0x44, 0, 0, 0, 0},
       Color(0x22, 0x33, 0x44), Color()},
  };
  for (const auto& c : cases) {
    BmpFile f;
    f.headerSize = c.headerSize;
    f.width = 2;
    f.height = 1;
    f.bpp = c.bpp;
    f.compression = c.compression;
    f.masks = c.masks;
    f.pixels = c.pixels;
    const Bitmap24 b = Decode(f.bytes());
    EXPECT_EQ(b.pixel(0, 0), c.first) << c.what;
    EXPECT_EQ(b.pixel(1, 0), c.second) << c.what;
  }
}

TEST(BmpDecode, LastRowWithoutPadding_IsAccepted) {
  Bitmap24 pic = Pattern(3, 2);
  const std::vector<uint8_t> f = ui::EncodeBmp(pic);
  EXPECT_EQ(Decode(std::vector<uint8_t>(f.begin(), f.end() - 3)), pic);
}

// RLE8 and RLE4 with every escape: runs, absolute blocks (odd length, padded), end of
// line, delta and end of bitmap. Pixels the data skips stay black.
TEST(BmpDecode, Rle8_AllEscapes) {
  const Color k0(10, 0, 0), k1(0, 20, 0), k2(0, 0, 30), k3(40, 40, 40);
  BmpFile f;
  f.width = 6;
  f.height = 3;
  f.bpp = 8;
  f.compression = 1;
  f.palette = Palette({k0, k1, k2, k3});
  f.pixels = {
      3, 1,                 // bottom row: k1 k1 k1
      0, 3, 2, 3, 0, 0,     // absolute: k2 k3 k0 (+ pad byte)
      0, 0,                 // end of line
      0, 2, 1, 1,           // delta: right 1, up 1 -> row 2 (top), x 1
      2, 3,                 // k3 k3 at x 1..2
      0, 1,                 // end of bitmap
  };
  Bitmap24 b = Decode(f.bytes());
  const Color bottom[] = {k1, k1, k1, k2, k3, k0};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(b.pixel(x, 2), bottom[x]) << x;
  for (int x = 0; x < 6; ++x) EXPECT_EQ(b.pixel(x, 1), Color()) << x;  // skipped row
  const Color top[] = {{}, k3, k3, {}, {}, {}};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(b.pixel(x, 0), top[x]) << x;
}

TEST(BmpDecode, Rle4_AllEscapesAndTopDown) {
  const Color k0(10, 0, 0), k1(0, 20, 0), k2(0, 0, 30), k3(40, 40, 40);
  BmpFile f;
  f.width = 7;
  f.height = 2;
  f.bpp = 4;
  f.compression = 2;
  f.palette = Palette({k0, k1, k2, k3});
  f.pixels = {
      5, 0x12,              // k1 k2 k1 k2 k1
      0, 0,                 // end of line
      0, 3, 0x30, 0x10,     // absolute 3: k3 k0 k1, two data bytes (already even)
      0, 2, 1, 0,           // delta right 1
      2, 0x33,              // k3 k3 at 4..5
      0, 1,
  };
  Bitmap24 b = Decode(f.bytes());
  const Color first[] = {k1, k2, k1, k2, k1, {}, {}};
  const Color second[] = {k3, k0, k1, {}, k3, k3, {}};
  for (int x = 0; x < 7; ++x) {
    EXPECT_EQ(b.pixel(x, 1), first[x]) << x;
    EXPECT_EQ(b.pixel(x, 0), second[x]) << x;
  }
  f.height = -2;  // the same data read from the top
  b = Decode(f.bytes());
  for (int x = 0; x < 7; ++x) EXPECT_EQ(b.pixel(x, 0), first[x]) << x;
}

// ImageMagick codes the row padding as part of the last run of a row.
TEST(BmpDecode, Rle_RunIntoTheRowPadding_IsCutAtTheEdge) {
  BmpFile f;
  f.width = 3;
  f.height = 1;
  f.bpp = 8;
  f.compression = 1;
  f.palette = Palette({Color(1, 2, 3), Color(4, 5, 6)});
  f.pixels = {1, 0, 3, 1, 0, 1};
  Bitmap24 b = Decode(f.bytes());
  EXPECT_EQ(b.pixel(0, 0), Color(1, 2, 3));
  EXPECT_EQ(b.pixel(2, 0), Color(4, 5, 6));
  f.pixels = {2, 0, 3, 1, 0, 1};  // one past the padding
  EXPECT_EQ(DecodeError(f.bytes()), "Invalid bitmap: RLE run goes past the end of a row");
}

TEST(BmpDecode, Rle_MissingEndMarkAfterTheLastRow_IsAccepted) {
  BmpFile f;
  f.width = 2;
  f.height = 1;
  f.bpp = 8;
  f.compression = 1;
  f.palette = Palette({Color(1, 2, 3)});
  f.pixels = {2, 0, 0, 0};
  EXPECT_EQ(Decode(f.bytes()).pixel(1, 0), Color(1, 2, 3));
  f.pixels = {2, 0};  // the last row complete, no end of line either
  EXPECT_EQ(Decode(f.bytes()).pixel(1, 0), Color(1, 2, 3));
  f.pixels = {1, 0};  // one pixel short
  EXPECT_EQ(DecodeError(f.bytes()), "Invalid bitmap: file is truncated");
}

// --- Broken files ---------------------------------------------------------------------------

TEST(BmpBroken, EveryTruncation_IsReportedAsTruncated) {
  std::vector<std::vector<uint8_t>> files;
  files.push_back(ui::EncodeBmp(Pattern(5, 3)));
  BmpFile pal;
  pal.width = 5;
  pal.height = 2;
  pal.bpp = 8;
  pal.palette = Palette({Color(1, 1, 1), Color(2, 2, 2), Color(3, 3, 3)});
  pal.pixels = std::vector<uint8_t>(16, 1);
  files.push_back(pal.bytes());
  BmpFile rle = pal;
  rle.compression = 1;
  rle.pixels = {5, 1, 0, 0, 0, 5, 0, 1, 2, 0, 1, 0, 0, 1};
  files.push_back(rle.bytes());
  BmpFile masks;
  masks.width = 1;
  masks.height = 1;
  masks.bpp = 16;
  masks.compression = 3;
  masks.masks = {0xF800, 0x07E0, 0x001F};
  masks.pixels = {0, 0, 0, 0};
  files.push_back(masks.bytes());

  const size_t padding[] = {1, 3, 3, 2};  // the last row's padding (or the RLE end marks) may be missing
  for (size_t k = 0; k < files.size(); ++k) {
    const std::vector<uint8_t>& f = files[k];
    EXPECT_NO_THROW(Decode(std::vector<uint8_t>(f.begin(), f.end() - padding[k]))) << "file " << k;
    for (size_t n = 0; n < f.size() - padding[k]; ++n) {
      std::vector<uint8_t> cut(f.begin(), f.begin() + n);
      std::string err = DecodeError(cut);
      EXPECT_NE(err.find("truncated"), std::string::npos) << "file " << k << " cut at " << n << ": " << err;
    }
  }
}

TEST(BmpBroken, HeaderFields_GiveTheirOwnMessages) {
  using Change = std::function<void(BmpFile&)>;
  const struct {
    Change change;
    std::string message;
  } cases[] = {
      {[](BmpFile& f) { f.compression = 4; }, "unsupported compression 4"},
      {[](BmpFile& f) { f.compression = 5; }, "unsupported compression 5"},
      {[](BmpFile& f) { f.bpp = 7; }, "unsupported bit depth 7"},
      {[](BmpFile& f) { f.bpp = 0; }, "unsupported bit depth 0"},
      {[](BmpFile& f) { f.width = 0; }, "the picture has no pixels (0 x 2)"},
      {[](BmpFile& f) { f.height = 0; }, "the picture has no pixels (2 x 0)"},
      {[](BmpFile& f) { f.width = -2; }, "negative width -2"},
      {[](BmpFile& f) { f.width = 32769; }, "picture too large (32769 x 2 pixels)"},
      {[](BmpFile& f) { f.height = INT32_MIN; }, "picture too large (2 x 2147483648 pixels)"},
      {[](BmpFile& f) { f.width = 20000, f.height = -20000; }, "picture too large (20000 x 20000 pixels)"},
      // Large but allowed sizes still need their pixels.
      {[](BmpFile& f) { f.width = 16384, f.height = 16384; }, "file is truncated"},
      {[](BmpFile& f) { f.dataOffset = 20; }, "bad pixel data offset 20"},
      {[](BmpFile& f) { f.dataOffset = 0; }, "bad pixel data offset 0"},
      {[](BmpFile& f) { f.dataOffset = 0xFFFFFFFF; }, "file is truncated"},
      {[](BmpFile& f) { f.compression = 1; }, "RLE8 compression needs 8 bits per pixel, not 24"},
      {[](BmpFile& f) { f.compression = 2, f.bpp = 8, f.palette = Palette({Color()}); },
       "RLE4 compression needs 4 bits per pixel, not 8"},
      {[](BmpFile& f) { f.compression = 3, f.masks = {1, 2, 4}; },
       "colour masks need 16 or 32 bits per pixel, not 24"},
      {[](BmpFile& f) { f.bpp = 8; }, "the colour palette is missing"},
      {[](BmpFile& f) { f.bpp = 16, f.compression = 3, f.masks = {0xF800, 0x07E0, 0x1F0000}; },
       "colour mask 0x001F0000 does not fit 16 bits"},
      {[](BmpFile& f) { f.bpp = 32, f.compression = 3, f.masks = {0xF0F0, 0x0F00, 0xF}; },
       "colour mask 0x0000F0F0 is not contiguous"},
      // A 40-byte header announcing masks that the pixel data overlaps.
      {[](BmpFile& f) { f.bpp = 16, f.compression = 3, f.dataOffset = 54; }, "the colour masks are missing"},
  };
  for (const auto& c : cases) {
    BmpFile f;
    f.width = 2;
    f.height = 2;
    f.pixels = std::vector<uint8_t>(16, 0);
    c.change(f);
    EXPECT_EQ(DecodeError(f.bytes()), "Invalid bitmap: " + c.message);
  }
  EXPECT_EQ(DecodeError({'P', '6', 0, 0}), "Invalid bitmap: not a Windows bitmap (no \"BM\" signature)");
  for (uint32_t size : {0u, 8u, 13u, 65u, 100u, 125u, 0xFFFFFFF0u}) {
    std::vector<uint8_t> f = ui::EncodeBmp(Pattern(2, 2));
    Put32(f, 14, size);
    EXPECT_EQ(DecodeError(f), "Invalid bitmap: unsupported header size " + std::to_string(size));
  }
}

TEST(BmpBroken, RleRunsOutsideThePicture_AreErrors) {
  const std::string pastRow = "RLE run goes past the end of a row", outside = "RLE delta moves outside the picture",
                    pastLast = "RLE data goes past the last row", truncated = "file is truncated";
  const struct {
    std::vector<uint8_t> data;
    uint16_t bpp;
    const std::string& message;
  } cases[] = {
      {{5, 0, 0, 1}, 8, pastRow},
      {{3, 0, 2, 0, 0, 1}, 8, pastRow},
      {{0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, 8, pastRow},
      {{0, 9, 0x12, 0x34, 0x56, 0x78, 0x90, 0, 0, 1}, 4, pastRow},
      {{0, 2, 5, 0, 0, 1}, 8, outside},
      {{0, 2, 0, 3, 0, 1}, 8, outside},
      {{0, 0, 0, 0, 1, 0, 0, 1}, 8, pastLast},
      {{0, 2, 0, 2, 1, 0, 0, 1}, 8, pastLast},
      {{2, 0}, 8, truncated},     // no end of the data
      {{0, 2, 1}, 8, truncated},  // delta cut short
      {{0, 4, 1, 2}, 8, truncated},
  };
  for (const auto& c : cases) {
    BmpFile f;
    f.width = 4;
    f.height = 2;
    f.bpp = c.bpp;
    f.compression = c.bpp == 8 ? 1 : 2;
    f.palette = Palette({Color(1, 1, 1)});
    f.pixels = c.data;
    EXPECT_EQ(DecodeError(f.bytes()), "Invalid bitmap: " + c.message) << ::testing::PrintToString(c.data);
  }
}

// A failed decode, in the headers or half way through RLE data, leaves the picture as it was.
TEST(BmpBroken, FailedDecode_LeavesThePictureUntouched) {
  BmpFile badMasks;
  badMasks.width = badMasks.height = 3;
  badMasks.bpp = 32;
  badMasks.compression = 3;
  badMasks.masks = {0xF0F0, 0x0F00, 0xF};
  badMasks.pixels = std::vector<uint8_t>(36, 0);
  BmpFile badRun;
  badRun.width = 4;
  badRun.height = 2;
  badRun.bpp = 8;
  badRun.compression = 1;
  badRun.palette = Palette({Color(1, 1, 1)});
  badRun.pixels = {2, 0, 9, 0};
  for (const BmpFile* f : {&badMasks, &badRun}) {
    const std::vector<uint8_t> bytes = f->bytes();
    Bitmap24 keep = Pattern(4, 2), out = keep;
    EXPECT_THROW(ui::DecodeBmpInto(bytes.data(), bytes.size(), out), px::PelinoxaError);
    EXPECT_EQ(out, keep);
  }
}

// Files that once crashed or hung the reader: each must decode or fail cleanly.
TEST(BmpBroken, Crashers_DecodeOrFailCleanly) {
  const auto files = pxtest::CrasherFiles("bmp");
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    std::vector<uint8_t> bytes = pxtest::ReadBytes(file);
    try {
      Bitmap24 b = Decode(bytes);
      EXPECT_FALSE(b.empty()) << file;
    } catch (const px::PelinoxaError&) {
    }
  }
}

// --- Files written by ImageMagick, compared with ImageMagick's own decoding -------------------

void WritePpm(const std::string& path, const Bitmap24& b) {
  std::string s = "P6\n" + std::to_string(b.width()) + " " + std::to_string(b.height()) + "\n255\n";
  for (int y = 0; y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x) {
      Color c = b.pixel(x, y);
      s += static_cast<char>(c.r);
      s += static_cast<char>(c.g);
      s += static_cast<char>(c.b);
    }
  pxtest::WriteText(path, s);
}

Bitmap24 ReadPpm(const std::string& path) {
  std::vector<uint8_t> d = pxtest::ReadBytes(path);
  int w = 0, h = 0, maxval = 0, field = 0;
  size_t p = 2;
  while (field < 3) {
    while (p < d.size() && std::isspace(d[p])) ++p;
    int v = 0;
    while (p < d.size() && std::isdigit(d[p])) v = v * 10 + (d[p++] - '0');
    (field == 0 ? w : field == 1 ? h : maxval) = v;
    ++field;
  }
  ++p;
  EXPECT_EQ(maxval, 255);
  Bitmap24 b(w, h);
  EXPECT_GE(d.size(), p + size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x, p += 3) b.setPixel(x, y, Color(d[p], d[p + 1], d[p + 2]));
  return b;
}

struct ImVariant {
  const char* name;
  const char* options;  // between input and output
  const char* format;   // output prefix
  uint32_t headerSize;
  int bpp;
  uint32_t compression;
};

TEST(BmpImageMagick, EveryDepthItWrites_DecodesLikeImageMagick) {
  std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  pxtest::TempDir dir;
  WritePpm(dir.file("src.ppm"), Pattern(37, 23));
  const ImVariant variants[] = {
      {"bmp3_24", "", "bmp3", 40, 24, 0},
      {"v5_24", "", "bmp", 124, 24, 0},
      {"bmp3_pal8", "-type Palette -compress None", "bmp3", 40, 8, 0},
      {"bmp3_rle8", "-type Palette", "bmp3", 40, 8, 1},
      {"v5_rle8", "-colors 16 -compress RLE", "bmp", 124, 8, 1},
      {"bmp3_pal4", "-colors 16", "bmp3", 40, 4, 0},
      {"bmp3_pal1", "-colors 2 -type Palette", "bmp3", 40, 1, 0},
      {"v4_bilevel", "-colors 2 -type Bilevel", "bmp", 108, 1, 0},
      {"bmp3_grey8", "-colorspace Gray -type Palette -compress None", "bmp3", 40, 8, 0},
      {"v5_565", "-define bmp:subtype=RGB565", "bmp", 124, 16, 3},
      {"v5_555", "-define bmp:subtype=RGB555", "bmp", 124, 16, 3},
      {"v5_argb8888", "-alpha set -channel A -fx i/w +channel -define bmp:subtype=ARGB8888", "bmp", 124, 32, 3},
      {"bmp3_alpha", "-alpha set -channel A -fx j/h +channel -define bmp3:alpha=true", "bmp3", 40, 32, 0},
      {"os2_pal8", "-type Palette -compress None", "bmp2", 12, 8, 0},
      {"os2_pal4", "-colors 16", "bmp2", 12, 4, 0},
      {"os2_pal1", "-colors 2", "bmp2", 12, 1, 0},
      {"os2_24", "", "bmp2", 12, 24, 0},
  };
  for (const ImVariant& v : variants) {
    SCOPED_TRACE(v.name);
    std::string bmp = dir.file(std::string(v.name) + ".bmp"), ppm = dir.file(std::string(v.name) + ".ppm");
    std::string out;
    ASSERT_EQ(pxtest::Run(im + " " + dir.file("src.ppm") + " " + v.options + " " + v.format + ":" + bmp, &out), 0) << out;
    ASSERT_EQ(pxtest::Run(im + " " + bmp + " -depth 8 ppm:" + ppm, &out), 0) << out;
    std::vector<uint8_t> bytes = pxtest::ReadBytes(bmp);
    // Make sure the file is the kind this case is about.
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(Get32(bytes, 14), v.headerSize);
    EXPECT_EQ(bytes[v.headerSize == 12 ? 24 : 28], v.bpp);
    if (v.headerSize > 12) {
      EXPECT_EQ(Get32(bytes, 30), v.compression);
    }
    Bitmap24 mine, theirs = ReadPpm(ppm);
    ASSERT_NO_THROW(mine = Decode(bytes));
    ASSERT_EQ(mine.width(), 37);
    ASSERT_EQ(mine.height(), 23);
    int differing = 0;
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x)
        if (mine.pixel(x, y) != theirs.pixel(x, y) && differing++ < 3)
          ADD_FAILURE() << "pixel " << x << "," << y;
    EXPECT_EQ(differing, 0);
  }
}

// Pictures the program writes open in ImageMagick unchanged.
TEST(BmpImageMagick, EncodedFile_ReadsBackInImageMagick) {
  std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  pxtest::TempDir dir;
  Bitmap24 pic = Pattern(38, 21);
  ui::SaveBmpFile(dir.file("mine.bmp"), pic);
  std::string out;
  ASSERT_EQ(pxtest::Run(im + " " + dir.file("mine.bmp") + " -depth 8 ppm:" + dir.file("mine.ppm"), &out), 0) << out;
  EXPECT_EQ(ReadPpm(dir.file("mine.ppm")), pic);
}

}  // namespace
