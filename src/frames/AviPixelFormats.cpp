#include "frames/AviPixelFormats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "base/Error.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PX_HAVE_SSSE3_PATHS 1
#endif

namespace frames {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

[[noreturn]] void Fail(const char* text) { throw px::PelinoxaError(text); }

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// A channel given by a bit mask, widened to 8 bits by repeating its bit pattern (as display
// drivers and swscale do: 5-bit v becomes v << 3 | v >> 2).
struct MaskChannel {
  int shift = 0, bits = 0;
  explicit MaskChannel(uint32_t mask) {
    if (mask == 0) return;
    shift = std::countr_zero(mask);
    bits = std::popcount(mask);
  }
  uint32_t expand(uint32_t pixel) const {
    if (bits == 0) return 0;
    uint32_t v = (pixel >> shift) & ((bits >= 32) ? 0xFFFFFFFFu : ((1u << bits) - 1));
    if (bits >= 8) return v >> (bits - 8);
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += bits) {
      int s = 8 - filled - bits;
      out |= s >= 0 ? v << s : v >> -s;
    }
    return out & 0xFF;
  }
};

bool ContiguousMask(uint32_t m) {
  if (m == 0) return true;
  uint32_t shifted = m >> std::countr_zero(m);
  return (shifted & (shifted + 1)) == 0;
}

std::shared_ptr<const std::vector<uint32_t>> Build16BitTable(const uint32_t masks[3]) {
  auto lut = std::make_shared<std::vector<uint32_t>>(65536);
  MaskChannel r(masks[0]), g(masks[1]), b(masks[2]);
  for (uint32_t v = 0; v < 65536; ++v) (*lut)[v] = r.expand(v) << 16 | g.expand(v) << 8 | b.expand(v);
  return lut;
}

// Tables of the BT.601 limited-range conversion in 16.16 fixed point.
struct YuvTables {
  int32_t y[256], rv[256], gu[256], gv[256], bu[256];
  uint8_t clamp[1024 + 256 + 1024];  // index value + 1024
  YuvTables() {
    const double kr = 0.299, kb = 0.114, kg = 1 - kr - kb;
    const double ys = 255.0 / 219.0, cs = 255.0 / 224.0;
    for (int i = 0; i < 256; ++i) {
      double c = i - 128;
      y[i] = static_cast<int32_t>(std::lround(ys * (i - 16) * 65536.0));
      rv[i] = static_cast<int32_t>(std::lround(2 * (1 - kr) * cs * c * 65536.0));
      bu[i] = static_cast<int32_t>(std::lround(2 * (1 - kb) * cs * c * 65536.0));
      gu[i] = static_cast<int32_t>(std::lround(2 * kb * (1 - kb) / kg * cs * c * 65536.0));
      gv[i] = static_cast<int32_t>(std::lround(2 * kr * (1 - kr) / kg * cs * c * 65536.0));
    }
    for (int i = 0; i < 1024 + 256 + 1024; ++i) clamp[i] = static_cast<uint8_t>(std::clamp(i - 1024, 0, 255));
  }
  // 16.16 sums lie well inside +-1024 after the shift.
  uint8_t c(int32_t v) const { return clamp[((v + 32768) >> 16) + 1024]; }
};

const YuvTables& Yuv() {
  static const YuvTables t;
  return t;
}

inline void StoreYuv(const YuvTables& t, uint8_t* p, int y, int32_t r, int32_t g, int32_t b) {
  int32_t yy = t.y[y];
  p[0] = t.c(yy + b);
  p[1] = t.c(yy - g);
  p[2] = t.c(yy + r);
}

// Expands 8-bit indices through a 0x00RRGGBB table. All but the last pixel store four bytes
// at once; the fourth byte is overwritten by the next pixel.
inline void ExpandIndexed(const uint8_t* src, uint8_t* dst, int w, const uint32_t* table) {
  int x = 0;
  for (; x + 1 < w; ++x) {
    uint32_t v = table[src[x]];
    std::memcpy(dst + x * 3, &v, 4);
  }
  if (x < w) {
    uint32_t v = table[src[x]];
    dst[x * 3] = v & 0xFF;
    dst[x * 3 + 1] = (v >> 8) & 0xFF;
    dst[x * 3 + 2] = (v >> 16) & 0xFF;
  }
}

inline void Expand16(const uint8_t* src, uint8_t* dst, int w, const uint32_t* table) {
  int x = 0;
  for (; x + 1 < w; ++x) {
    uint32_t v = table[src[2 * x] | src[2 * x + 1] << 8];
    std::memcpy(dst + x * 3, &v, 4);
  }
  if (x < w) {
    uint32_t v = table[src[2 * x] | src[2 * x + 1] << 8];
    dst[x * 3] = v & 0xFF;
    dst[x * 3 + 1] = (v >> 8) & 0xFF;
    dst[x * 3 + 2] = (v >> 16) & 0xFF;
  }
}

inline void ExpandBgrx(const uint8_t* src, uint8_t* dst, int w) {
  int x = 0;
  for (; x + 1 < w; ++x) std::memcpy(dst + x * 3, src + x * 4, 4);  // the fourth byte is overwritten next
  if (x < w) std::memcpy(dst + x * 3, src + x * 4, 3);
}

inline void ExpandGrey(const uint8_t* src, uint8_t* dst, int w) {
  for (int x = 0; x < w; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = src[x];
}

#ifdef PX_HAVE_SSSE3_PATHS
// Sixteen grey bytes become 48 bytes B G R with three byte shuffles.
__attribute__((target("ssse3"))) void ExpandGreySsse3(const uint8_t* src, uint8_t* dst, int w) {
  const __m128i m0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
  const __m128i m1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
  const __m128i m2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
  int x = 0;
  for (; x + 16 <= w; x += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * x), _mm_shuffle_epi8(v, m0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * x + 16), _mm_shuffle_epi8(v, m1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * x + 32), _mm_shuffle_epi8(v, m2));
  }
  ExpandGrey(src + x, dst + 3 * x, w - x);
}

// Four BGRX pixels become twelve bytes; the store of 16 overlaps the next group, so the last
// group of a row goes the plain way.
__attribute__((target("ssse3"))) void ExpandBgrxSsse3(const uint8_t* src, uint8_t* dst, int w) {
  const __m128i m = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  int x = 0;
  for (; x + 6 <= w; x += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * x),
                     _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x)), m));
  ExpandBgrx(src + 4 * x, dst + 3 * x, w - x);
}

bool HaveSsse3() {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}
#endif

void ExpandGreyRow(const uint8_t* src, uint8_t* dst, int w) {
#ifdef PX_HAVE_SSSE3_PATHS
  if (HaveSsse3()) return ExpandGreySsse3(src, dst, w);
#endif
  ExpandGrey(src, dst, w);
}

void ExpandBgrxRow(const uint8_t* src, uint8_t* dst, int w) {
#ifdef PX_HAVE_SSSE3_PATHS
  if (HaveSsse3()) return ExpandBgrxSsse3(src, dst, w);
#endif
  ExpandBgrx(src, dst, w);
}

// Packed 4:2:2; yi = offsets of Y0 and Y1, ui/vi of U and V within each 4-byte group.
void DecodePacked422(const uint8_t* src, size_t stride, int w, int h, int y0, int y1, int ui, int vi,
                     ui::Bitmap24& out) {
  const YuvTables& t = Yuv();
  for (int row = 0; row < h; ++row) {
    const uint8_t* s = src + row * stride;
    uint8_t* d = out.row(row);
    for (int x = 0; x < w; x += 2, s += 4) {
      int u = s[ui], v = s[vi];
      int32_t r = t.rv[v], g = t.gu[u] + t.gv[v], b = t.bu[u];
      StoreYuv(t, d + x * 3, s[y0], r, g, b);
      if (x + 1 < w) StoreYuv(t, d + x * 3 + 3, s[y1], r, g, b);
    }
  }
}

void DecodePlanar420(const uint8_t* yPlane, const uint8_t* uPlane, const uint8_t* vPlane, int w, int h,
                     ui::Bitmap24& out) {
  const YuvTables& t = Yuv();
  size_t cw = (static_cast<size_t>(w) + 1) / 2;
  for (int row = 0; row < h; ++row) {
    const uint8_t* ys = yPlane + static_cast<size_t>(row) * w;
    const uint8_t* us = uPlane + (row / 2) * cw;
    const uint8_t* vs = vPlane + (row / 2) * cw;
    uint8_t* d = out.row(row);
    for (int x = 0; x < w; x += 2) {
      int u = us[x / 2], v = vs[x / 2];
      int32_t r = t.rv[v], g = t.gu[u] + t.gv[v], b = t.bu[u];
      StoreYuv(t, d + x * 3, ys[x], r, g, b);
      if (x + 1 < w) StoreYuv(t, d + x * 3 + 3, ys[x + 1], r, g, b);
    }
  }
}

AviPalette GreyPalette() {
  AviPalette p;
  for (uint32_t i = 0; i < 256; ++i) p[i] = i << 16 | i << 8 | i;
  return p;
}

}  // namespace

void YuvToBgr(int y, int u, int v, uint8_t bgr[3]) {
  const YuvTables& t = Yuv();
  StoreYuv(t, bgr, y, t.rv[v], t.gu[u] + t.gv[v], t.bu[u]);
}

bool DescribeRawFormat(const AviBitmapFormat& f, AviRawLayout& layout) {
  layout = AviRawLayout{};
  const uint32_t c = f.compression;
  const int w = f.width;
  const int h = f.height < 0 ? -f.height : f.height;
  const bool rgb = c == kBiRgb || c == kBiBitfields;

  AviRawKind kind;
  if (c == kBiRgb && f.bitCount == 8) kind = AviRawKind::Pal8;
  else if (c == kBiRgb && f.bitCount == 16) kind = AviRawKind::Rgb16;
  else if (c == kBiRgb && f.bitCount == 24) kind = AviRawKind::Rgb24;
  else if (c == kBiRgb && f.bitCount == 32) kind = AviRawKind::Rgb32;
  else if (c == kBiBitfields && f.bitCount == 16) kind = AviRawKind::Rgb16;
  else if (c == kBiBitfields && f.bitCount == 32) kind = AviRawKind::Rgb32Masks;
  else if (c == FourCC('Y', '8', '0', '0') || c == FourCC('Y', '8', ' ', ' ') || c == FourCC('G', 'R', 'E', 'Y'))
    kind = AviRawKind::Grey8;
  else if (c == FourCC('Y', 'U', 'Y', '2') || c == FourCC('Y', 'U', 'Y', 'V')) kind = AviRawKind::Yuy2;
  else if (c == FourCC('U', 'Y', 'V', 'Y')) kind = AviRawKind::Uyvy;
  else if (c == FourCC('Y', 'V', 'Y', 'U')) kind = AviRawKind::Yvyu;
  else if (c == FourCC('I', '4', '2', '0') || c == FourCC('I', 'Y', 'U', 'V')) kind = AviRawKind::I420;
  else if (c == FourCC('Y', 'V', '1', '2')) kind = AviRawKind::Yv12;
  else return false;

  if (w > kMaxVideoSide || h > kMaxVideoSide || static_cast<int64_t>(w) * h > kMaxVideoPixels)
    Fail(avierr::StartDecompression);
  layout.kind = kind;
  layout.width = w;
  layout.height = h;
  layout.bottomUp = rgb && f.height > 0;

  const size_t W = static_cast<size_t>(w), H = static_cast<size_t>(h);
  switch (kind) {
    case AviRawKind::Pal8:
    case AviRawKind::Rgb16:
    case AviRawKind::Rgb24:
    case AviRawKind::Rgb32:
    case AviRawKind::Rgb32Masks:
      layout.stride = (W * f.bitCount + 31) / 32 * 4;
      layout.frameBytes = layout.stride * H;
      break;
    case AviRawKind::Grey8:
      layout.stride = W;
      layout.frameBytes = W * H;
      break;
    case AviRawKind::Yuy2:
    case AviRawKind::Uyvy:
    case AviRawKind::Yvyu:
      layout.stride = (W + 1) / 2 * 4;
      layout.frameBytes = layout.stride * H;
      break;
    case AviRawKind::I420:
    case AviRawKind::Yv12:
      layout.stride = W;
      layout.frameBytes = W * H + 2 * ((W + 1) / 2) * ((H + 1) / 2);
      break;
  }

  const uint8_t* extra = f.strf.data() + f.headerSize;
  const size_t extraSize = f.strf.size() - f.headerSize;
  if (kind == AviRawKind::Pal8) {
    // The colour table follows the header; a file without one is taken as grey.
    size_t wanted = f.clrUsed ? f.clrUsed : 256;
    size_t present = std::min(wanted, extraSize / 4);
    if (present == 0) {
      layout.palette = GreyPalette();
    } else {
      for (size_t i = 0; i < present; ++i) layout.palette[i] = Le32(extra + i * 4) & 0x00FFFFFF;
    }
  } else if (kind == AviRawKind::Grey8) {
    layout.palette = GreyPalette();
  } else if (kind == AviRawKind::Rgb16 || kind == AviRawKind::Rgb32Masks) {
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (c == kBiBitfields) {
      // The masks sit right after the 40-byte core of the header, inside a V4/V5 header or
      // after a plain BITMAPINFOHEADER.
      if (f.strf.size() < 52) Fail(avierr::Format);
      for (int i = 0; i < 3; ++i) masks[i] = Le32(f.strf.data() + 40 + i * 4);
      for (uint32_t m : masks) {
        if (!ContiguousMask(m)) Fail(avierr::Format);
        if (kind == AviRawKind::Rgb16 && m > 0xFFFF) Fail(avierr::Format);
      }
    }
    std::copy(masks, masks + 3, layout.masks);
    if (kind == AviRawKind::Rgb16) layout.lut16 = Build16BitTable(masks);
    if (kind == AviRawKind::Rgb32Masks && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF)
      layout.kind = AviRawKind::Rgb32;
  }
  if (kind == AviRawKind::Pal8 || kind == AviRawKind::Grey8) layout.greyRamp = layout.palette == GreyPalette();
  return true;
}

void ApplyPaletteChange(const uint8_t* data, size_t size, AviPalette& palette) {
  if (size < 4) return;
  unsigned first = data[0];
  unsigned count = data[1] ? data[1] : 256;
  const uint8_t* e = data + 4;
  size_t available = (size - 4) / 4;
  for (unsigned i = 0; i < count && i < available && first + i < 256; ++i, e += 4)
    palette[first + i] = static_cast<uint32_t>(e[0]) << 16 | static_cast<uint32_t>(e[1]) << 8 | e[2];
}

void DecodeRawFrame(const AviRawLayout& L, const uint8_t* data, size_t size, ui::Bitmap24& out,
                    const AviPalette* palette) {
  if (!data || size < L.frameBytes) throw px::PelinoxaError(avierr::Decompress);
  const int w = L.width, h = L.height;
  if (out.width() != w || out.height() != h) out.reset(w, h);
  auto srcRow = [&](int y) { return data + static_cast<size_t>(L.bottomUp ? h - 1 - y : y) * L.stride; };

  switch (L.kind) {
    case AviRawKind::Rgb24:
      for (int y = 0; y < h; ++y) std::memcpy(out.row(y), srcRow(y), static_cast<size_t>(w) * 3);
      break;
    case AviRawKind::Rgb32:
      for (int y = 0; y < h; ++y) ExpandBgrxRow(srcRow(y), out.row(y), w);
      break;
    case AviRawKind::Rgb32Masks: {
      MaskChannel r(L.masks[0]), g(L.masks[1]), b(L.masks[2]);
      for (int y = 0; y < h; ++y) {
        const uint8_t* s = srcRow(y);
        uint8_t* d = out.row(y);
        for (int x = 0; x < w; ++x) {
          uint32_t v = Le32(s + x * 4);
          d[x * 3] = static_cast<uint8_t>(b.expand(v));
          d[x * 3 + 1] = static_cast<uint8_t>(g.expand(v));
          d[x * 3 + 2] = static_cast<uint8_t>(r.expand(v));
        }
      }
      break;
    }
    case AviRawKind::Rgb16: {
      const uint32_t* table = L.lut16->data();
      for (int y = 0; y < h; ++y) Expand16(srcRow(y), out.row(y), w, table);
      break;
    }
    case AviRawKind::Pal8:
    case AviRawKind::Grey8: {
      const AviPalette& p = palette ? *palette : L.palette;
      if (&p == &L.palette && L.greyRamp) {
        for (int y = 0; y < h; ++y) ExpandGreyRow(srcRow(y), out.row(y), w);
      } else {
        for (int y = 0; y < h; ++y) ExpandIndexed(srcRow(y), out.row(y), w, p.data());
      }
      break;
    }
    case AviRawKind::Yuy2:
      DecodePacked422(data, L.stride, w, h, 0, 2, 1, 3, out);
      break;
    case AviRawKind::Uyvy:
      DecodePacked422(data, L.stride, w, h, 1, 3, 0, 2, out);
      break;
    case AviRawKind::Yvyu:
      DecodePacked422(data, L.stride, w, h, 0, 2, 3, 1, out);
      break;
    case AviRawKind::I420:
    case AviRawKind::Yv12: {
      size_t lumaBytes = static_cast<size_t>(w) * h;
      size_t chromaBytes = ((static_cast<size_t>(w) + 1) / 2) * ((static_cast<size_t>(h) + 1) / 2);
      const uint8_t* first = data + lumaBytes;
      const uint8_t* second = first + chromaBytes;
      if (L.kind == AviRawKind::I420) DecodePlanar420(data, first, second, w, h, out);
      else DecodePlanar420(data, second, first, w, h, out);
      break;
    }
  }
}

}  // namespace frames
