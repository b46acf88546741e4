#include "frames/Debayer.h"

#include <algorithm>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace frames {

namespace {

constexpr int kPad = 2;

// Mirrors an index about the first and last sample (keeps the 2 x 2 parity), then clamps for
// images too small to mirror.
inline int Mirror(int i, int n) {
  if (i < 0) i = -i;
  if (i >= n) i = 2 * (n - 1) - i;
  return std::clamp(i, 0, n - 1);
}

// Output channel of a mosaic colour.
inline int Channel(int colour, int redIndex) { return colour == 1 ? 1 : colour == 0 ? redIndex : 2 - redIndex; }

template <class T>
inline T Clip(int32_t v, int32_t maxValue) {
  return static_cast<T>(v < 0 ? 0 : v > maxValue ? maxValue : v);
}

// Fills the 2-pixel border of a padded plane by mirroring its inner part.
template <class V>
void MirrorBorder(std::vector<V>& plane, int w, int h) {
  const ptrdiff_t P = w + 2 * kPad;
  for (int y = 0; y < h; ++y) {
    V* row = plane.data() + (y + kPad) * P + kPad;
    for (int x = -kPad; x < 0; ++x) row[x] = row[Mirror(x, w)];
    for (int x = w; x < w + kPad; ++x) row[x] = row[Mirror(x, w)];
  }
  for (int y = -kPad; y < h + kPad; ++y) {
    if (y >= 0 && y < h) continue;
    std::copy_n(plane.data() + (Mirror(y, h) + kPad) * P, P, plane.data() + (y + kPad) * P);
  }
}

// Bilinear kinds of site: 0 red, 2 blue, 1 green in a red row, 3 green in a blue row.
inline int SiteKind(BayerPattern p, int x, int y) {
  const int c = MosaicColour(p, x, y);
  if (c != 1) return c;
  return MosaicColour(p, x + 1, y) == 0 ? 1 : 3;
}

// One pixel from its row c and the rows u above and d below, all pointing at its column.
template <class T, int Kind, int RI, class S>
inline void Site(const S* u, const S* c, const S* d, T* o) {
  constexpr int BI = 2 - RI;
  if constexpr (Kind == 0 || Kind == 2) {
    constexpr int own = Kind == 0 ? RI : BI, other = 2 - own;
    o[own] = static_cast<T>(c[0]);
    o[1] = static_cast<T>((c[-1] + c[1] + u[0] + d[0] + 2) >> 2);
    o[other] = static_cast<T>((u[-1] + u[1] + d[-1] + d[1] + 2) >> 2);
  } else {
    constexpr int hor = Kind == 1 ? RI : BI, ver = 2 - hor;
    o[1] = static_cast<T>(c[0]);
    o[hor] = static_cast<T>((c[-1] + c[1] + 1) >> 1);
    o[ver] = static_cast<T>((u[0] + d[0] + 1) >> 1);
  }
}

// Pixels x0..x1-1 of a row whose pixel x0 is of kind K0 (and x0 + 1 of K1).
template <class T, int K0, int K1, int RI, class S>
void BilinearSpan(const S* u, const S* c, const S* d, int x0, int x1, T* out) {
  int x = x0;
  for (; x + 1 < x1; x += 2) {
    Site<T, K0, RI>(u + x, c + x, d + x, out + 3 * x);
    Site<T, K1, RI>(u + x + 1, c + x + 1, d + x + 1, out + 3 * x + 3);
  }
  if (x < x1) Site<T, K0, RI>(u + x, c + x, d + x, out + 3 * x);
}

template <class T, int RI, class S>
void BilinearSpanOf(int k0, const S* u, const S* c, const S* d, int x0, int x1, T* out) {
  switch (k0) {
    case 0: return BilinearSpan<T, 0, 1, RI>(u, c, d, x0, x1, out);
    case 1: return BilinearSpan<T, 1, 0, RI>(u, c, d, x0, x1, out);
    case 2: return BilinearSpan<T, 2, 3, RI>(u, c, d, x0, x1, out);
    default: return BilinearSpan<T, 3, 2, RI>(u, c, d, x0, x1, out);
  }
}

// Pixels x0..x1-1 of row y.
template <class S, class T>
void BilinearSpan(const S* u, const S* c, const S* d, int x0, int x1, BayerPattern p, int y, T* out, int RI) {
  if (RI == 0) BilinearSpanOf<T, 0>(SiteKind(p, x0, y), u, c, d, x0, x1, out);
  else BilinearSpanOf<T, 2>(SiteKind(p, x0, y), u, c, d, x0, x1, out);
}

// One pixel of the outermost columns (or of pictures too narrow for the rest), its neighbours
// mirrored like the padding.
template <class S, class T>
void BorderPixel(const S* src, size_t stride, int w, int h, BayerPattern p, int x, int y, T* o, int RI) {
  auto at = [&](int xx, int yy) { return static_cast<int>(src[static_cast<size_t>(Mirror(yy, h)) * stride + Mirror(xx, w)]); };
  const int c = MosaicColour(p, x, y);
  if (c != 1) {
    const int own = c == 0 ? RI : 2 - RI;
    o[own] = static_cast<T>(at(x, y));
    o[1] = static_cast<T>((at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1) + 2) >> 2);
    o[2 - own] = static_cast<T>((at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1) + 2) >> 2);
  } else {
    const int hor = MosaicColour(p, x + 1, y) == 0 ? RI : 2 - RI;
    o[1] = static_cast<T>(at(x, y));
    o[hor] = static_cast<T>((at(x - 1, y) + at(x + 1, y) + 1) >> 1);
    o[2 - hor] = static_cast<T>((at(x, y - 1) + at(x, y + 1) + 1) >> 1);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Byte shuffles that interleave three 16-byte channel vectors into 48 bytes of pixels.
struct Interleave3 {
  alignas(16) int8_t m[3][3][16];  // [output vector][channel][byte]
  constexpr Interleave3() : m{} {
    for (int q = 0; q < 3; ++q)
      for (int ch = 0; ch < 3; ++ch)
        for (int j = 0; j < 16; ++j) {
          const int b = 16 * q + j;
          m[q][ch][j] = static_cast<int8_t>(b % 3 == ch ? b / 3 : -128);
        }
  }
};
constexpr Interleave3 kInterleave;

// 8-bit inner pixels 16 at a time. A 16-bit lane holds a pair: a red or blue site ("own"
// colour of the row) in its low byte, the green to its right in the high byte; loads one pixel
// to the left or right give each lane its neighbours. Sums of four fit 16 bits, and the means of
// two are pavgw's (a + b + 1) >> 1. Starts at xb (an own site); the outputs stay left of x1 and
// the loads reach pixel x1, which must exist. Returns where it stopped.
__attribute__((target("ssse3"))) int BilinearPairsSsse3(const uint8_t* u, const uint8_t* c, const uint8_t* d, int xb,
                                                        int x1, bool ownFirst, uint8_t* out) {
  const __m128i low = _mm_set1_epi16(0x00ff), high = _mm_set1_epi16(static_cast<short>(0xff00)),
                two = _mm_set1_epi16(2);
  auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  auto even = [&](__m128i v) { return _mm_and_si128(v, low); };
  auto odd = [](__m128i v) { return _mm_srli_epi16(v, 8); };
  __m128i mask[3][3];
  for (int q = 0; q < 3; ++q)
    for (int ch = 0; ch < 3; ++ch) mask[q][ch] = _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleave.m[q][ch]));
  for (; xb + 16 <= x1; xb += 16) {
    const __m128i C = load(c + xb), Cl = load(c + xb - 1), Cr = load(c + xb + 1);
    const __m128i U = load(u + xb), Ul = load(u + xb - 1), D = load(d + xb), Dl = load(d + xb - 1);
    const __m128i cross = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(even(Cl), odd(C)), _mm_add_epi16(_mm_add_epi16(even(U), even(D)), two)), 2);
    const __m128i diag = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(even(Ul), odd(U)), _mm_add_epi16(_mm_add_epi16(even(Dl), odd(D)), two)), 2);
    const __m128i hor = _mm_avg_epu16(even(C), odd(Cr)), ver = _mm_avg_epu16(odd(U), odd(D));
    const __m128i own = _mm_or_si128(even(C), _mm_slli_epi16(hor, 8));
    const __m128i green = _mm_or_si128(cross, _mm_and_si128(C, high));
    const __m128i other = _mm_or_si128(diag, _mm_slli_epi16(ver, 8));
    const __m128i ch[3] = {ownFirst ? own : other, green, ownFirst ? other : own};
    __m128i* o = reinterpret_cast<__m128i*>(out + 3 * xb);
    for (int q = 0; q < 3; ++q)
      _mm_storeu_si128(o + q, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(ch[0], mask[q][0]),
                                                        _mm_shuffle_epi8(ch[1], mask[q][1])),
                                           _mm_shuffle_epi8(ch[2], mask[q][2])));
  }
  return xb;
}

bool HaveSsse3() {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}
#endif

// Inner pixels 1..w-2 of row y: whole vectors where the type and the processor allow, the rest
// one at a time.
template <class S, class T>
void BilinearInner(const S* u, const S* c, const S* d, int w, BayerPattern p, int y, T* out, int RI) {
  int x = 1;
#if defined(__x86_64__) || defined(__i386__)
  if constexpr (sizeof(S) == 1 && sizeof(T) == 1) {
    if (HaveSsse3()) {
      const int xb = MosaicColour(p, 1, y) == 1 ? 2 : 1;  // the first red or blue site
      const bool ownFirst = (MosaicColour(p, xb, y) == 0) == (RI == 0);
      const int end = BilinearPairsSsse3(u, c, d, xb, w - 1, ownFirst, out);
      if (end > xb) {
        if (xb == 2) BilinearSpan(u, c, d, 1, 2, p, y, out, RI);
        x = end;
      }
    }
  }
#endif
  BilinearSpan(u, c, d, x, w - 1, p, y, out, RI);
}

// Bilinear straight from the source: the rows above and below mirrored at the top and bottom,
// the outermost columns by mirroring too, the rest with fixed kernels.
template <class S, class T>
void BilinearDirect(const S* src, size_t stride, int w, int h, BayerPattern p, T* dst, size_t dstStride, int RI) {
  for (int y = 0; y < h; ++y) {
    T* out = dst + static_cast<size_t>(y) * dstStride;
    if (w < 3) {
      for (int x = 0; x < w; ++x) BorderPixel(src, stride, w, h, p, x, y, out + 3 * x, RI);
      continue;
    }
    const S* u = src + static_cast<size_t>(Mirror(y - 1, h)) * stride;
    const S* c = src + static_cast<size_t>(y) * stride;
    const S* d = src + static_cast<size_t>(Mirror(y + 1, h)) * stride;
    BorderPixel(src, stride, w, h, p, 0, y, out, RI);
    BilinearInner(u, c, d, w, p, y, out, RI);
    BorderPixel(src, stride, w, h, p, w - 1, y, out + 3 * (w - 1), RI);
  }
}

}  // namespace

const char* PatternName(BayerPattern p) {
  switch (p) {
    case BayerPattern::RGGB: return "RGGB";
    case BayerPattern::GRBG: return "GRBG";
    case BayerPattern::GBRG: return "GBRG";
    case BayerPattern::BGGR: return "BGGR";
  }
  return "?";
}

template <class T>
void Debayerer::Pad(const T* src, size_t srcStride, int width, int height) {
  w_ = width;
  h_ = height;
  const size_t P = static_cast<size_t>(width + 2 * kPad);
  m_.resize(P * static_cast<size_t>(height + 2 * kPad));
  for (int y = 0; y < height; ++y) {
    const T* s = src + static_cast<size_t>(y) * srcStride;
    std::copy_n(s, width, m_.data() + (y + kPad) * P + kPad);
  }
  MirrorBorder(m_, width, height);
}

template <class T>
void Debayerer::EdgeAware(BayerPattern p, T* dst, size_t dstStride, int redIndex, int maxValue) {
  const ptrdiff_t P = w_ + 2 * kPad;
  g_.resize(m_.size());
  d_.resize(m_.size());
  // Green everywhere: along the smoother direction, corrected by the own colour's curvature.
  for (int y = 0; y < h_; ++y) {
    const uint16_t* row = m_.data() + (y + kPad) * P + kPad;
    int32_t* grow = g_.data() + (y + kPad) * P + kPad;
    for (int parity = 0; parity < 2; ++parity) {
      if (MosaicColour(p, parity, y) == 1) {
        for (int x = parity; x < w_; x += 2) grow[x] = row[x];
        continue;
      }
      for (int x = parity; x < w_; x += 2) {
        const uint16_t* c = row + x;
        const int32_t ch = 2 * c[0] - c[-2] - c[2], cv = 2 * c[0] - c[-2 * P] - c[2 * P];
        const int32_t gh = std::abs(c[-1] - c[1]) + std::abs(ch);
        const int32_t gv = std::abs(c[-P] - c[P]) + std::abs(cv);
        const int32_t h4 = 2 * (c[-1] + c[1]) + ch, v4 = 2 * (c[-P] + c[P]) + cv;
        const int32_t g = gh < gv ? (h4 + 2) >> 2 : gv < gh ? (v4 + 2) >> 2 : (h4 + v4 + 4) >> 3;
        grow[x] = std::clamp(g, 0, maxValue);
      }
    }
  }
  MirrorBorder(g_, w_, h_);
  for (size_t i = 0; i < m_.size(); ++i) d_[i] = m_[i] - g_[i];
  // Red and blue as differences to green, interpolated like bilinear.
  for (int y = 0; y < h_; ++y) {
    const uint16_t* row = m_.data() + (y + kPad) * P + kPad;
    const int32_t* grow = g_.data() + (y + kPad) * P + kPad;
    const int32_t* drow = d_.data() + (y + kPad) * P + kPad;
    T* out = dst + static_cast<size_t>(y) * dstStride;
    for (int parity = 0; parity < 2; ++parity) {
      const int colour = MosaicColour(p, parity, y);
      const int own = Channel(colour, redIndex);
      if (colour != 1) {
        const int other = 2 - own;
        for (int x = parity; x < w_; x += 2) {
          const int32_t* d = drow + x;
          T* o = out + 3 * x;
          o[own] = static_cast<T>(row[x]);
          o[1] = static_cast<T>(grow[x]);
          o[other] = Clip<T>(grow[x] + ((d[-P - 1] + d[-P + 1] + d[P - 1] + d[P + 1] + 2) >> 2), maxValue);
        }
      } else {
        const int hor = Channel(MosaicColour(p, parity + 1, y), redIndex), ver = 2 - hor;
        for (int x = parity; x < w_; x += 2) {
          const int32_t* d = drow + x;
          T* o = out + 3 * x;
          o[1] = static_cast<T>(row[x]);
          o[hor] = Clip<T>(grow[x] + ((d[-1] + d[1] + 1) >> 1), maxValue);
          o[ver] = Clip<T>(grow[x] + ((d[-P] + d[P] + 1) >> 1), maxValue);
        }
      }
    }
  }
}

void Debayerer::Run(const uint8_t* src, size_t srcStride, int width, int height, BayerPattern p, DebayerMethod m,
                    uint8_t* dst, size_t dstStride, int redIndex) {
  if (width <= 0 || height <= 0) return;
  if (m == DebayerMethod::Bilinear) return BilinearDirect(src, srcStride, width, height, p, dst, dstStride, redIndex);
  Pad(src, srcStride, width, height);
  EdgeAware(p, dst, dstStride, redIndex, 255);
}

void Debayerer::Run(const uint16_t* src, size_t srcStride, int width, int height, BayerPattern p, DebayerMethod m,
                    uint16_t* dst, size_t dstStride, int redIndex, int maxValue) {
  if (width <= 0 || height <= 0) return;
  if (m == DebayerMethod::Bilinear) return BilinearDirect(src, srcStride, width, height, p, dst, dstStride, redIndex);
  Pad(src, srcStride, width, height);
  EdgeAware(p, dst, dstStride, redIndex, maxValue);
}

}  // namespace frames
