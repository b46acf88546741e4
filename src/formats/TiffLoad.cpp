// Reading TIFF images into a TTIFFBitMap.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string>

#include <zlib.h>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "formats/Lzw.h"
#include "formats/TiffBitmap.h"

namespace formats {

namespace {

using px::PelinoxaError;

enum class Layout { Bilevel, Index4, Index8, GreyAlpha8, Grey16, Rgb24, Rgba32, Cmyk32, Rgb48 };

Layout LayoutOf(const TIFD& d) {
  uint64_t bpp = uint64_t(d.samplesPerPixel) * d.bitsPerSample;
  switch (bpp) {
    case 1: return Layout::Bilevel;
    case 4: return Layout::Index4;
    case 8: return Layout::Index8;
    case 16: return d.samplesPerPixel == 2 && d.bitsPerSample == 8 ? Layout::GreyAlpha8 : Layout::Grey16;
    case 24: return Layout::Rgb24;
    case 32:
      return d.photometric == 2 && d.samplesPerPixel == 4 && d.bitsPerSample == 8 ? Layout::Rgba32
                                                                                  : Layout::Cmyk32;
    case 48: return Layout::Rgb48;
    default:
      throw PelinoxaError("Unsupported TIFF format: " + std::to_string(bpp) + " bits per pixel");
  }
}

using Palette = std::array<ui::Color, 256>;

Palette BuildPalette(const TIFD& d, Layout layout) {
  Palette pal{};
  int bits = layout == Layout::Bilevel ? 1 : layout == Layout::Index4 ? 4 : 8;
  size_t n = size_t(1) << bits;
  if (d.photometric == 3 && d.bitsPerSample == static_cast<uint32_t>(bits) && d.colorMap.size() >= 3 * n) {
    // 16-bit colour map entries; some old writers stored 8-bit values, recognisable by
    // every entry being below 256.
    bool eightBit = std::all_of(d.colorMap.begin(), d.colorMap.begin() + 3 * n, [](uint16_t v) { return v < 256; });
    auto conv = [&](uint16_t v) { return eightBit ? uint8_t(v) : uint8_t(px::Round(v / 257.0)); };
    for (size_t i = 0; i < n; ++i)
      pal[i] = ui::Color(conv(d.colorMap[i]), conv(d.colorMap[n + i]), conv(d.colorMap[2 * n + i]));
    return pal;
  }
  bool whiteIsZero = d.photometric == 0;
  for (size_t i = 0; i < n; ++i) {
    int g;
    if (bits == 1) g = (i == 0) == whiteIsZero ? 255 : 0;
    else if (bits == 4) g = whiteIsZero ? 255 - 16 * int(i) : 16 * int(i) + 15;
    else g = whiteIsZero ? 255 - int(i) : int(i);
    pal[i] = ui::Color(uint8_t(g), uint8_t(g), uint8_t(g));
  }
  return pal;
}

uint8_t CmykToByte(int c, int k) {
  double v = 0.3 * (255 - c) + 0.2 * (255 - k) + 0.5 * (255 - c) * (255 - k) / 255.0;
  return px::ClampByteInt(px::Round(v));
}

void ReverseBits(uint8_t* p, size_t n) {
  static const auto table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
      int r = 0;
      for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1) << (7 - b);
      t[i] = uint8_t(r);
    }
    return t;
  }();
  for (size_t i = 0; i < n; ++i) p[i] = table[p[i]];
}

// Writes decoded rows into the display picture and the 16-bit buffer.
class RowConverter {
 public:
  RowConverter(const TIFD& d, Layout layout, ui::Bitmap24& pic, TTIFFBitMap& buf)
      : layout_(layout), intel_(d.intel), width_(int(d.width)), pic_(pic), buf_(buf) {
    if (layout == Layout::Bilevel || layout == Layout::Index4 || layout == Layout::Index8 ||
        layout == Layout::GreyAlpha8)
      pal_ = BuildPalette(d, layout == Layout::GreyAlpha8 ? Layout::Index8 : layout);
    if (layout == Layout::Cmyk32) {
      cmyk_.resize(256 * 256);
      for (int k = 0; k < 256; ++k)
        for (int c = 0; c < 256; ++c) cmyk_[k * 256 + c] = CmykToByte(c, k);
    }
  }

  void Row(int y, const uint8_t* s) {
    uint8_t* o = pic_.row(y);
    uint16_t* b = buf_.row16(y);
    const int w = width_;
    switch (layout_) {
      case Layout::Bilevel:
        for (int x = 0; x < w; ++x) Put(o, x, pal_[(s[x >> 3] >> (7 - (x & 7))) & 1]);
        break;
      case Layout::Index4:
        for (int x = 0; x < w; ++x) Put(o, x, pal_[(s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15]);
        break;
      case Layout::Index8:
        for (int x = 0; x < w; ++x) Put(o, x, pal_[s[x]]);
        break;
      case Layout::GreyAlpha8:
        for (int x = 0; x < w; ++x) Put(o, x, pal_[s[2 * x]]);
        break;
      case Layout::Grey16:
        for (int x = 0; x < w; ++x) {
          uint16_t v = Get16(s + 2 * x);
          o[3 * x] = o[3 * x + 1] = o[3 * x + 2] = uint8_t(v >> 8);
          b[3 * x] = b[3 * x + 1] = b[3 * x + 2] = v;
        }
        break;
      case Layout::Rgb24:
      case Layout::Rgba32: {
        const int step = layout_ == Layout::Rgb24 ? 3 : 4;
        for (int x = 0; x < w; ++x, s += step) {
          o[3 * x] = s[2];
          o[3 * x + 1] = s[1];
          o[3 * x + 2] = s[0];
          b[3 * x] = uint16_t(s[0] << 8);
          b[3 * x + 1] = uint16_t(s[1] << 8);
          b[3 * x + 2] = uint16_t(s[2] << 8);
        }
        break;
      }
      case Layout::Cmyk32:
        for (int x = 0; x < w; ++x, s += 4) {
          const uint8_t* t = cmyk_.data() + s[3] * 256;
          o[3 * x] = t[s[2]];
          o[3 * x + 1] = t[s[1]];
          o[3 * x + 2] = t[s[0]];
        }
        break;
      case Layout::Rgb48:
        for (int x = 0; x < w; ++x, s += 6) {
          uint16_t r = Get16(s), g = Get16(s + 2), bl = Get16(s + 4);
          b[3 * x] = r;
          b[3 * x + 1] = g;
          b[3 * x + 2] = bl;
          o[3 * x] = uint8_t(bl >> 8);
          o[3 * x + 1] = uint8_t(g >> 8);
          o[3 * x + 2] = uint8_t(r >> 8);
        }
        break;
    }
  }

 private:
  static void Put(uint8_t* o, int x, ui::Color c) {
    o[3 * x] = c.b;
    o[3 * x + 1] = c.g;
    o[3 * x + 2] = c.r;
  }
  uint16_t Get16(const uint8_t* p) const {
    return intel_ ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]);
  }

  Layout layout_;
  bool intel_;
  int width_;
  ui::Bitmap24& pic_;
  TTIFFBitMap& buf_;
  Palette pal_{};
  std::vector<uint8_t> cmyk_;
};

// Undoes horizontal differencing in one decoded row (8- and 16-bit samples).
void UndoPredictor(uint8_t* row, size_t rowBytes, const TIFD& d) {
  const size_t spp = d.samplesPerPixel;
  if (d.bitsPerSample == 8) {
    for (size_t i = spp; i < rowBytes; ++i) row[i] = uint8_t(row[i] + row[i - spp]);
  } else if (d.bitsPerSample == 16) {
    const size_t n = rowBytes / 2;
    const int hi = d.intel ? 1 : 0, lo = 1 - hi;
    for (size_t i = spp; i < n; ++i) {
      uint8_t* p = row + 2 * i;
      const uint8_t* q = row + 2 * (i - spp);
      unsigned v = unsigned(p[lo] | p[hi] << 8) + unsigned(q[lo] | q[hi] << 8);
      p[lo] = uint8_t(v);
      p[hi] = uint8_t(v >> 8);
    }
  }
}

enum Compression : uint32_t {
  kNone = 1, kLzw = 5, kOldJpeg = 6, kJpeg = 7, kDeflate = 8, kPackBits = 32773, kDeflateOld = 32946
};

std::string CompressionName(uint32_t c) {
  switch (c) {
    case 2: return "CCITT modified Huffman";
    case 3: return "CCITT Group 3 fax";
    case 4: return "CCITT Group 4 fax";
    case kOldJpeg: return "old-style JPEG";
    case kJpeg: return "JPEG";
    case 34712: return "JPEG 2000";
    case 34925: return "LZMA";
    case 50000: return "Zstandard";
    case 50001: return "WebP";
  }
  return "number " + std::to_string(c);
}

// Undoes PackBits; returns the bytes written.
size_t UnpackBits(const uint8_t* in, size_t n, uint8_t* out, size_t outSize) {
  size_t i = 0, o = 0;
  while (i < n && o < outSize) {
    const int8_t h = static_cast<int8_t>(in[i++]);
    if (h >= 0) {
      size_t len = std::min<size_t>(size_t(h) + 1, std::min(n - i, outSize - o));
      std::memcpy(out + o, in + i, len);
      i += size_t(h) + 1;
      o += len;
    } else if (h != -128) {
      if (i >= n) break;
      size_t len = std::min<size_t>(size_t(1 - h), outSize - o);
      std::memset(out + o, in[i++], len);
      o += len;
    }
  }
  return o;
}

// Inflates a zlib stream; returns the bytes written (what could be decoded of a damaged one).
size_t Inflate(const uint8_t* in, size_t n, uint8_t* out, size_t outSize) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return 0;
  size_t done = 0;
  // zlib counts in 32-bit units: feed large strips in pieces.
  constexpr size_t kStep = size_t(1) << 30;
  size_t inPos = 0;
  int r = Z_OK;
  while (r == Z_OK && done < outSize) {
    const size_t inChunk = std::min(n - inPos, kStep), outChunk = std::min(outSize - done, kStep);
    z.next_in = const_cast<Bytef*>(in + inPos);
    z.avail_in = uInt(inChunk);
    z.next_out = out + done;
    z.avail_out = uInt(outChunk);
    r = inflate(&z, Z_NO_FLUSH);
    inPos += inChunk - z.avail_in;
    done += outChunk - z.avail_out;
    if (r == Z_BUF_ERROR && z.avail_in == 0 && inPos >= n) break;  // input ended early
    if (r == Z_BUF_ERROR) r = Z_OK;
  }
  inflateEnd(&z);
  return done;
}

}  // namespace

void TTIFFBitMap::LoadTiff(const std::string& path) {
  px::MappedFile file(path);
  LoadTiffBytes(file.data(), file.size());
}

void TTIFFBitMap::LoadTiffBytes(const uint8_t* data, size_t size) {
  TIFD d;
  d.Parse(data, size);
  if (d.height > uint32_t(MaxTiffRows))
    throw PelinoxaError("TIFF image too tall: " + std::to_string(d.height) + " rows (at most " +
                        std::to_string(MaxTiffRows) + " rows can be read)");
  if (d.width > uint32_t(MaxTiffWidth) || int64_t(d.width) * d.height > MaxTiffPixels)
    throw PelinoxaError("TIFF image too large: " + std::to_string(d.width) + " x " +
                        std::to_string(d.height) + " pixels");
  const Layout layout = LayoutOf(d);
  const int w = int(d.width), h = int(d.height);
  const size_t rowBytes = (size_t(d.width) * d.bitsPerPixel() + 7) / 8;

  ui::Bitmap24 pic;
  TTIFFBitMap samples;
  try {
    pic.reset(w, h);
    samples.Allocate48(w, h);
  } catch (const std::bad_alloc&) {
    throw PelinoxaError("Not enough memory to read a " + std::to_string(w) + " x " + std::to_string(h) +
                        " TIFF image");
  }
  const uint32_t comp = d.compression;
  if (comp != kNone && comp != kLzw && comp != kDeflate && comp != kDeflateOld && comp != kPackBits)
    throw PelinoxaError("TIFF files compressed with " + CompressionName(comp) +
                        " cannot be read (only uncompressed, LZW, Deflate and PackBits)");
  RowConverter conv(d, layout, pic, samples);

  {
    const uint64_t rps = d.rowsPerStrip == 0 ? uint64_t(h) : std::min<uint64_t>(d.rowsPerStrip, uint64_t(h));
    const uint64_t covered = std::min<uint64_t>(d.stripOffsets.size(), uint64_t(h)) * rps;
    if (covered < uint64_t(h))
      throw PelinoxaError("TIFF file is truncated: its strips hold " + std::to_string(covered) + " of its " +
                          std::to_string(h) + " rows");
    std::vector<uint8_t> strip, input;
    TLZW decoder;
    for (size_t j = 0; j < d.stripOffsets.size(); ++j) {
      const uint64_t first = j * rps;
      if (first >= uint64_t(h)) break;
      const int rows = int(std::min<uint64_t>(rps, uint64_t(h) - first));
      const size_t expected = size_t(rows) * rowBytes;
      const uint64_t offset = d.stripOffsets[j];
      if (offset >= size)
        throw PelinoxaError("TIFF file is truncated: strip " + std::to_string(j + 1) + " of " +
                            std::to_string(d.stripOffsets.size()) + " lies past the end of the file");
      const size_t inFile = size - size_t(offset);
      size_t avail = inFile;
      if (j < d.stripByteCounts.size()) avail = std::min<size_t>(avail, d.stripByteCounts[j]);
      // Never look at more input than the strip's rows can use (each LZW code gives at least
      // one byte, with at most two Clear codes before it), so strips that share one stream
      // cost no more than their own size.
      const size_t useful = comp == kNone ? expected : expected * 5 + 64;
      avail = std::min(avail, useful);
      const uint8_t* src = data + offset;

      if (comp == kNone && avail == expected && d.fillOrder != 2) {
        for (int r = 0; r < rows; ++r) conv.Row(int(first) + r, src + size_t(r) * rowBytes);
        continue;
      }
      if (d.fillOrder == 2) {
        input.assign(src, src + avail);
        ReverseBits(input.data(), input.size());
        src = input.data();
      }
      strip.assign(expected, 0);
      auto decode = [&](size_t n) -> size_t {
        switch (comp) {
          case kLzw: return decoder.Decode(src, n, strip.data(), expected);
          case kDeflate:
          case kDeflateOld: return Inflate(src, n, strip.data(), expected);
          case kPackBits: return UnpackBits(src, n, strip.data(), expected);
          default: std::memcpy(strip.data(), src, std::min(n, expected)); return std::min(n, expected);
        }
      };
      size_t got = decode(avail);
      // Some writers store wrong byte counts: a compressed stream that goes on past its count
      // is read on (it carries its own end).
      const size_t more = std::min(inFile, useful);
      if (got < expected && comp != kNone && more > avail && d.fillOrder != 2) got = decode(more);
      if (got < expected)
        throw PelinoxaError("TIFF file is truncated: strip " + std::to_string(j + 1) + " of " +
                            std::to_string(d.stripOffsets.size()) + " gives " + std::to_string(got) + " of its " +
                            std::to_string(expected) + " bytes");
      if (comp != kNone && d.predictor == 2)
        for (int r = 0; r < rows; ++r) UndoPredictor(strip.data() + size_t(r) * rowBytes, rowBytes, d);
      for (int r = 0; r < rows; ++r) conv.Row(int(first) + r, strip.data() + size_t(r) * rowBytes);
    }
  }

  display = std::move(pic);
  buf_ = std::move(samples.buf_);
  w_ = w;
  h_ = h;
  has16Bit = true;
  bitsPerPixel = int(d.bitsPerPixel());
  monochrome = d.monochrome();
  directory = std::move(d);
}

}  // namespace formats
