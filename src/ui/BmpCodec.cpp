#include "ui/BmpCodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#include "base/Error.h"
#include "base/Files.h"

namespace ui {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr int64_t kMaxSide = 32768;
constexpr uint64_t kMaxArea = uint64_t{1} << 28;

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

[[noreturn]] void Fail(const std::string& what) { throw px::PelinoxaError("Invalid bitmap: " + what); }
[[noreturn]] void Truncated() { Fail("file is truncated"); }

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

std::string Hex(uint32_t v) {
  static const char* digits = "0123456789ABCDEF";
  std::string s = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) s += digits[(v >> shift) & 15];
  return s;
}

// One colour channel of a 16 or 32-bit pixel: (pixel & mask) >> shift gives at most eight
// significant bits, which the table widens to 0..255 by repeating the bit pattern.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  std::array<uint8_t, 256> level{};

  Channel() = default;
  Channel(uint32_t m, int bitsPerPixel) : mask(m) {
    if (m == 0) return;  // a channel without bits reads as 0
    if (bitsPerPixel < 32 && (m >> bitsPerPixel) != 0)
      Fail("colour mask " + Hex(m) + " does not fit " + std::to_string(bitsPerPixel) + " bits");
    int low = std::countr_zero(m);
    uint32_t field = m >> low;
    if ((field & (field + 1)) != 0) Fail("colour mask " + Hex(m) + " is not contiguous");
    int bits = std::popcount(field);
    int drop = std::max(0, bits - 8);
    shift = low + drop;
    bits -= drop;
    for (uint32_t v = 0; v < (1u << bits); ++v) {
      uint32_t out = 0;
      for (int filled = 0; filled < 8; filled += bits) out = (out << bits) | v;
      level[v] = static_cast<uint8_t>(out >> (((8 + bits - 1) / bits) * bits - 8));
    }
  }
  uint8_t operator()(uint32_t pixel) const { return level[(pixel & mask) >> shift]; }
};

// Everything the header says, checked against the file before a pixel is read.
struct Layout {
  int width = 0, height = 0;
  bool topDown = false;
  int bitsPerPixel = 0;
  uint32_t compression = kRgb;
  uint32_t masks[3] = {0, 0, 0};  // red, green, blue
  Channel red, green, blue;       // from the masks, 16 and 32-bit pixels
  std::array<uint8_t, 256 * 3> palette{};  // B, G, R; entries past the file's palette black
  size_t dataOffset = 0;
};

// The file header and the kind of info header that follows it.
struct Header {
  uint32_t dataOffset = 0;
  uint32_t size = 0;  // of the info header
  bool core = false;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
  bool os2 = false;   // OS/2 2.x, any length
  const uint8_t* h = nullptr;
};

Header ReadHeader(const uint8_t* d, size_t size) {
  if (size < 2 || d[0] != 'B' || d[1] != 'M') {
    if (size < 2) Truncated();
    Fail("not a Windows bitmap (no \"BM\" signature)");
  }
  if (size < kFileHeaderSize + 4) Truncated();
  Header hd;
  hd.dataOffset = U32(d + 10);
  hd.size = U32(d + 14);
  hd.core = hd.size == 12;
  const bool windows = hd.size == 40 || hd.size == 52 || hd.size == 56 || hd.size == 108 || hd.size == 124;
  hd.os2 = !windows && hd.size >= 16 && hd.size <= 64;
  if (!hd.core && !windows && !hd.os2) Fail("unsupported header size " + std::to_string(hd.size));
  if (size - kFileHeaderSize < hd.size) Truncated();
  hd.h = d + kFileHeaderSize;
  return hd;
}

// Width, height (bottom-up or top-down), depth and compression; returns the palette's length
// as the header gives it (0: all 2^bits).
uint32_t ReadDimensions(const Header& hd, Layout& L) {
  const uint8_t* h = hd.h;
  int64_t width, height;
  uint32_t colorsUsed = 0;
  if (hd.core) {
    width = U16(h + 4);
    height = U16(h + 6);
    L.bitsPerPixel = U16(h + 10);
  } else {
    width = static_cast<int32_t>(U32(h + 4));
    height = static_cast<int32_t>(U32(h + 8));
    L.bitsPerPixel = U16(h + 14);
    if (hd.size >= 20) L.compression = U32(h + 16);
    if (hd.size >= 36) colorsUsed = U32(h + 32);
  }
  if (height < 0) {
    L.topDown = true;
    height = -height;
  }
  if (width < 0) Fail("negative width " + std::to_string(width));
  if (width == 0 || height == 0)
    Fail("the picture has no pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")");
  if (width > kMaxSide || height > kMaxSide || static_cast<uint64_t>(width * height) > kMaxArea)
    Fail("picture too large (" + std::to_string(width) + " x " + std::to_string(height) + " pixels)");
  L.width = static_cast<int>(width);
  L.height = static_cast<int>(height);
  return colorsUsed;
}

void CheckDepthAndCompression(const Header& hd, const Layout& L) {
  const int bpp = L.bitsPerPixel;
  if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    Fail("unsupported bit depth " + std::to_string(bpp));
  if (hd.os2 && L.compression > kRle4)  // OS/2 3 and 4 are Huffman and RLE24, not bit fields
    Fail("unsupported compression " + std::to_string(L.compression) + " (OS/2)");
  switch (L.compression) {
    case kRgb: break;
    case kRle8:
      if (bpp != 8) Fail("RLE8 compression needs 8 bits per pixel, not " + std::to_string(bpp));
      break;
    case kRle4:
      if (bpp != 4) Fail("RLE4 compression needs 4 bits per pixel, not " + std::to_string(bpp));
      break;
    case kBitFields:
    case kAlphaBitFields:
      if (bpp != 16 && bpp != 32)
        Fail("colour masks need 16 or 32 bits per pixel, not " + std::to_string(bpp));
      break;
    default: Fail("unsupported compression " + std::to_string(L.compression));
  }
}

// The colour masks of 16 and 32-bit pixels (the defaults, or those in or after the header);
// returns where the palette starts.
size_t ReadMasks(const uint8_t* d, size_t size, const Header& hd, Layout& L) {
  const int bpp = L.bitsPerPixel;
  size_t tableStart = kFileHeaderSize + hd.size;  // masks or palette follow the header
  if (bpp == 16) {
    L.masks[0] = 0x7C00, L.masks[1] = 0x03E0, L.masks[2] = 0x001F;
  } else if (bpp == 32) {
    L.masks[0] = 0xFF0000, L.masks[1] = 0xFF00, L.masks[2] = 0xFF;
  }
  if (L.compression == kBitFields || L.compression == kAlphaBitFields) {
    const uint8_t* m = hd.h + 40;
    if (hd.size == 40) {  // the masks follow the header
      size_t maskBytes = L.compression == kAlphaBitFields ? 16 : 12;
      if (size - tableStart < maskBytes) Truncated();
      m = d + tableStart;
      tableStart += maskBytes;
    }
    for (int c = 0; c < 3; ++c) L.masks[c] = U32(m + 4 * c);
  }
  if (bpp == 16 || bpp == 32) {
    L.red = Channel(L.masks[0], bpp);
    L.green = Channel(L.masks[1], bpp);
    L.blue = Channel(L.masks[2], bpp);
  }
  return tableStart;
}

// The palette may be shorter than 2^bits; it ends at the pixel data at the latest.
void ReadPalette(const uint8_t* d, const Header& hd, uint32_t colorsUsed, size_t tableStart, Layout& L) {
  const size_t entrySize = hd.core ? 3 : 4;
  size_t count = size_t{1} << L.bitsPerPixel;
  if (colorsUsed != 0 && colorsUsed < count) count = colorsUsed;
  count = std::min(count, (hd.dataOffset - tableStart) / entrySize);
  if (count == 0) Fail("the colour palette is missing");
  for (size_t i = 0; i < count; ++i) std::memcpy(&L.palette[i * 3], d + tableStart + i * entrySize, 3);
}

Layout ParseHeaders(const uint8_t* d, size_t size) {
  const Header hd = ReadHeader(d, size);
  Layout L;
  const uint32_t colorsUsed = ReadDimensions(hd, L);
  CheckDepthAndCompression(hd, L);
  const size_t tableStart = ReadMasks(d, size, hd, L);
  if (hd.dataOffset < tableStart) {
    if (hd.dataOffset >= kFileHeaderSize + hd.size) Fail("the colour masks are missing");
    Fail("bad pixel data offset " + std::to_string(hd.dataOffset));
  }
  if (hd.dataOffset > size) Truncated();
  L.dataOffset = hd.dataOffset;
  if (L.bitsPerPixel <= 8) ReadPalette(d, hd, colorsUsed, tableStart, L);
  return L;
}

uint8_t* DestRow(Bitmap24& out, const Layout& L, int64_t fileRow) {
  return out.row(L.topDown ? static_cast<int>(fileRow) : L.height - 1 - static_cast<int>(fileRow));
}

void DecodeUncompressed(const uint8_t* d, const Layout& L, Bitmap24& out) {
  const int bpp = L.bitsPerPixel;
  const uint64_t rowBits = static_cast<uint64_t>(L.width) * bpp;
  const uint64_t stride = (rowBits + 31) / 32 * 4;
  const int w = L.width;
  const uint8_t* pal = L.palette.data();

  const Channel &red = L.red, &green = L.green, &blue = L.blue;
  const bool plain32 = bpp == 32 && L.masks[0] == 0xFF0000 && L.masks[1] == 0xFF00 && L.masks[2] == 0xFF;

  for (int r = 0; r < L.height; ++r) {
    const uint8_t* s = d + L.dataOffset + stride * r;
    uint8_t* o = DestRow(out, L, r);
    switch (bpp) {
      case 24:
        std::memcpy(o, s, static_cast<size_t>(w) * 3);
        break;
      case 32:
        if (plain32) {
          for (int x = 0; x < w; ++x, s += 4, o += 3) {
            o[0] = s[0];
            o[1] = s[1];
            o[2] = s[2];
          }
        } else {
          for (int x = 0; x < w; ++x, s += 4, o += 3) {
            uint32_t v = U32(s);
            o[0] = blue(v);
            o[1] = green(v);
            o[2] = red(v);
          }
        }
        break;
      case 16:
        for (int x = 0; x < w; ++x, s += 2, o += 3) {
          uint32_t v = U16(s);
          o[0] = blue(v);
          o[1] = green(v);
          o[2] = red(v);
        }
        break;
      case 8:
        for (int x = 0; x < w; ++x, o += 3) std::memcpy(o, pal + s[x] * 3, 3);
        break;
      default: {  // 1, 2 or 4 bits, leftmost pixel in the high bits
        const int perByte = 8 / bpp, mask = (1 << bpp) - 1;
        for (int x = 0; x < w; ++x, o += 3) {
          int shift = 8 - bpp * (x % perByte + 1);
          std::memcpy(o, pal + ((s[x / perByte] >> shift) & mask) * 3, 3);
        }
      }
    }
  }
}

// Run-length encoded 8 or 4-bit data: runs, absolute blocks, end-of-line, end-of-bitmap and
// delta escapes. Pixels the data never reaches stay black. Some writers (ImageMagick) code a
// row's padding too, so a run may reach into the padded row width and is cut at the picture's
// edge; a run past that, or one that leaves the picture, means the file is broken.
void DecodeRle(const uint8_t* d, size_t size, const Layout& L, Bitmap24& out) {
  const bool rle8 = L.compression == kRle8;
  const int64_t w = L.width, h = L.height;
  const int64_t paddedWidth = rle8 ? (w + 3) / 4 * 4 : (w + 7) / 8 * 8;
  const uint8_t* pal = L.palette.data();
  size_t p = L.dataOffset;
  int64_t x = 0, line = 0;
  auto put = [&](int64_t count, auto indexOf) {
    if (line >= h) Fail("RLE data goes past the last row");
    if (x + count > paddedWidth) Fail("RLE run goes past the end of a row");
    uint8_t* o = DestRow(out, L, line) + x * 3;
    const int64_t visible = std::max<int64_t>(0, std::min(count, w - x));
    for (int64_t k = 0; k < visible; ++k, o += 3) std::memcpy(o, pal + indexOf(k) * 3, 3);
    x += count;
  };
  for (;;) {
    if (size - p < 2) {
      // Every row is there and only the end marks are missing: nothing is lost.
      if (line >= h || (line == h - 1 && x >= w)) return;
      Truncated();
    }
    const uint8_t a = d[p], b = d[p + 1];
    p += 2;
    if (a > 0) {
      if (rle8) put(a, [b](int64_t) { return b; });
      else put(a, [b](int64_t k) { return (k & 1) ? (b & 15) : (b >> 4); });
    } else if (b == 0) {  // end of line
      x = 0;
      line = std::min(line + 1, h);
    } else if (b == 1) {  // end of bitmap
      return;
    } else if (b == 2) {  // delta: move right and up (towards the top of a bottom-up picture)
      if (size - p < 2) Truncated();
      x += d[p];
      line += d[p + 1];
      p += 2;
      if (x > paddedWidth || line > h) Fail("RLE delta moves outside the picture");
    } else {  // absolute block of b pixels, padded to a 16-bit boundary
      const size_t bytes = rle8 ? b : (b + 1u) / 2;
      if (size - p < bytes) Truncated();
      const uint8_t* s = d + p;
      if (rle8) put(b, [s](int64_t k) { return s[k]; });
      else put(b, [s](int64_t k) { return (k & 1) ? (s[k / 2] & 15) : (s[k / 2] >> 4); });
      p += std::min(size - p, (bytes + 1) & ~size_t{1});
    }
  }
}

}  // namespace

void DecodeBmpInto(const uint8_t* data, size_t size, Bitmap24& out) {
  if (data == nullptr) size = 0;
  const Layout L = ParseHeaders(data, size);
  if (L.compression == kRle8 || L.compression == kRle4) {
    // Decoded aside, so a broken file leaves the caller's picture as it was.
    Bitmap24 picture(L.width, L.height);
    DecodeRle(data, size, L, picture);
    out = std::move(picture);
    return;
  }
  // Rows are padded to four bytes; the last row's padding may be missing, its pixels not.
  const uint64_t rowBits = static_cast<uint64_t>(L.width) * L.bitsPerPixel;
  if (size - L.dataOffset < (rowBits + 31) / 32 * 4 * (L.height - 1) + (rowBits + 7) / 8) Truncated();
  if (out.width() != L.width || out.height() != L.height) out.reset(L.width, L.height);
  DecodeUncompressed(data, L, out);
}

Bitmap24 DecodeBmp(const uint8_t* data, size_t size) {
  Bitmap24 out;
  DecodeBmpInto(data, size, out);
  return out;
}

Bitmap24 LoadBmpFile(const std::string& path) {
  const std::vector<uint8_t> bytes = px::ReadFileBytes(path);
  try {
    return DecodeBmp(bytes.data(), bytes.size());
  } catch (const px::PelinoxaError& e) {
    throw px::PelinoxaError(std::string(e.what()) + " (\"" + path + "\")");
  }
}

std::vector<uint8_t> EncodeBmp(const Bitmap24& bmp) {
  if (bmp.empty()) throw px::PelinoxaError("Cannot save an empty picture as a bitmap");
  const uint64_t w = static_cast<uint64_t>(bmp.width()), h = static_cast<uint64_t>(bmp.height());
  const uint64_t stride = (w * 3 + 3) / 4 * 4;
  const uint64_t imageSize = stride * h;
  const uint64_t fileSize = 54 + imageSize;
  if (w > INT32_MAX || h > INT32_MAX || fileSize > UINT32_MAX)
    throw px::PelinoxaError("The picture is too large to save as a bitmap");
  std::vector<uint8_t> f(static_cast<size_t>(fileSize), 0);
  uint8_t* p = f.data();
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, static_cast<uint32_t>(fileSize));
  Put32(p + 10, 54);
  Put32(p + 14, 40);
  Put32(p + 18, static_cast<uint32_t>(w));
  Put32(p + 22, static_cast<uint32_t>(h));  // positive: bottom-up
  Put16(p + 26, 1);
  Put16(p + 28, 24);
  Put32(p + 30, kRgb);
  Put32(p + 34, static_cast<uint32_t>(imageSize));
  Put32(p + 38, 2835);  // 72 dots per inch
  Put32(p + 42, 2835);
  for (uint64_t y = 0; y < h; ++y)
    std::memcpy(p + 54 + stride * (h - 1 - y), bmp.row(static_cast<int>(y)), static_cast<size_t>(w * 3));
  return f;
}

void SaveBmpFile(const std::string& path, const Bitmap24& bmp) {
  const std::vector<uint8_t> bytes = EncodeBmp(bmp);
  px::WriteFileAtomic(path, bytes.data(), bytes.size());
}

}  // namespace ui
