#include "wavelets/DisplayRows.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/Numbers.h"

namespace wavelets {

namespace {

// Adding 1.5 x 2^52 leaves no fraction bits, so the addition itself rounds (half to even) any
// 0 <= v < 2^51 in the default rounding mode, without a library call.
constexpr double kRoundShift = 6755399441055744.0;

inline int RoundSmall(double v) { return static_cast<int>((v + kRoundShift) - kRoundShift); }

inline uint8_t OutByte(double q, double o, double g) {
  const double v = (o + q) * g;
  return v >= 255 ? 255 : v > 0 ? static_cast<uint8_t>(px::Round(v)) : 0;
}

inline uint16_t OutWord(double q, double o, double g) {
  double v = (o + q) * g * 255;
  if (v > 65535) v = 65535;
  if (!(v >= 0)) v = 0;
  return static_cast<uint16_t>(px::Round(v));
}

void BuildTables(const DisplaySettings& s, ToneTables& t) {
  const double* curve = s.curve->data();
  const double span = s.levelHigh - s.levelLow;
  for (int i = 0; i <= 1000; ++i) {
    const double p = curve[i] * 255 + s.brightness;
    t.T[i] = (p - s.levelLow) / span * 255;
    for (int c = 0; c < 3; ++c)
      t.out[c][i] = static_cast<uint32_t>(OutByte(t.T[i], s.offset[c], s.channelGain[c])) << 16 |
                    OutWord(t.T[i], s.offset[c], s.channelGain[c]);
  }
}

}  // namespace

int ToneIndex::operator()(float value) const {
  const double tt = (value - stackMin) * S;
  return tt >= 1000 ? 1000 : tt > 0 ? RoundSmall(tt) : 0;
}

// Limited first, then rounded: the same result as operator(), without branches.
void ToneIndex::Row(const float* v, int n, int32_t* out) const {
  int i = 0;
#if defined(__SSE2__)
  const __m128d lo = _mm_setzero_pd(), hi = _mm_set1_pd(1000);
  const __m128d m = _mm_set1_pd(stackMin), s = _mm_set1_pd(S);
  // max(t, 0) is t > 0 ? t : 0 and min(t, 1000) is t < 1000 ? t : 1000, NaN included; the
  // conversion rounds in the current mode, as the addition of kRoundShift does.
  auto index2 = [&](__m128d t) {
    return _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(_mm_mul_pd(_mm_sub_pd(t, m), s), lo), hi));
  };
  for (; i + 4 <= n; i += 4) {
    const __m128 f = _mm_loadu_ps(v + i);
    const __m128i a = index2(_mm_cvtps_pd(f)), b = index2(_mm_cvtps_pd(_mm_movehl_ps(f, f)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi64(a, b));
  }
#endif
  for (; i < n; ++i) {
    double tt = (v[i] - stackMin) * S;
    tt = tt > 0 ? tt : 0;
    tt = tt < 1000 ? tt : 1000;
    out[i] = static_cast<int32_t>((tt + kRoundShift) - kRoundShift);
  }
}

void SplitHistograms::clear() {
  for (auto& copy : h)
    for (auto& c : copy) std::fill(std::begin(c), std::end(c), 0);
}

void SplitHistograms::addTo(Histograms& out) const {
  for (const auto& copy : h)
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 257; ++i) out[c][i] += copy[c][i];
}

DisplayRows::DisplayRows(const DisplaySettings& s, const std::array<frames::Single2dArray, 3>& colourPlanes,
                         const std::array<frames::Single2dArray, 4>& stackPlanes, const AreaRect& rect, int W, int H,
                         ui::Bitmap24& display, formats::TTIFFBitMap& out48)
    : xlo(std::max(rect.x0, 0)),
      xhi(std::min({rect.x1, W - 1, display.width() - 1})),
      ylo(std::max(rect.y0, 0)),
      yhi(std::min({rect.y1, H - 1, display.height() - 1})),
      s_(s),
      colour_(colourPlanes),
      stack_(stackPlanes),
      display_(display),
      out48_(out48),
      W_(W),
      H_(H),
      has48_(out48.width48() > 0),
      index_{1000.0 / (s.stackMax - s.stackMin + 0.000001) * s.contrast * 0.01, s.stackMin} {
  if (!empty()) BuildTables(s, tab_);
}

void DisplayRows::AntiRing(int y, int x0, int n, float* l0, float* l1, float* l2) const {
  const float* c0 = colour_[0].Row(y) + x0;
  const float* c1 = colour_[1].Row(y) + x0;
  const float* c2 = colour_[2].Row(y) + x0;
  const float w0 = s_.lumWeight[0], w1 = s_.lumWeight[1], w2 = s_.lumWeight[2], level = s_.antiRingLevel;
  int i = 0;
  if (s_.mode == DisplayMode::Colour) {
#if defined(__SSE2__)
    const __m128 vw0 = _mm_set1_ps(w0), vw1 = _mm_set1_ps(w1), vw2 = _mm_set1_ps(w2), vl = _mm_set1_ps(level);
    auto pick = [](__m128 dark, __m128 residual, __m128 sharp) {
      return _mm_or_ps(_mm_and_ps(dark, residual), _mm_andnot_ps(dark, sharp));
    };
    for (; i + 4 <= n; i += 4) {
      const __m128 a = _mm_loadu_ps(l0 + i), b = _mm_loadu_ps(l1 + i), c = _mm_loadu_ps(l2 + i);
      const __m128 L = _mm_add_ps(_mm_add_ps(_mm_mul_ps(b, vw1), _mm_mul_ps(a, vw0)), _mm_mul_ps(c, vw2));
      const __m128 dark = _mm_cmplt_ps(L, vl);
      _mm_storeu_ps(l0 + i, pick(dark, _mm_loadu_ps(c0 + i), a));
      _mm_storeu_ps(l1 + i, pick(dark, _mm_loadu_ps(c1 + i), b));
      _mm_storeu_ps(l2 + i, pick(dark, _mm_loadu_ps(c2 + i), c));
    }
#endif
    for (; i < n; ++i)
      if (l1[i] * w1 + l0[i] * w0 + l2[i] * w2 < level) {
        l0[i] = c0[i];
        l1[i] = c1[i];
        l2[i] = c2[i];
      }
    return;
  }
#if defined(__SSE2__)
  const __m128 vw1 = _mm_set1_ps(w1), vl = _mm_set1_ps(level);
  for (; i + 4 <= n; i += 4) {
    const __m128 b = _mm_loadu_ps(l1 + i);
    const __m128 dark = _mm_cmplt_ps(_mm_mul_ps(b, vw1), vl);
    _mm_storeu_ps(l1 + i, _mm_or_ps(_mm_and_ps(dark, _mm_loadu_ps(c1 + i)), _mm_andnot_ps(dark, b)));
  }
#endif
  for (; i < n; ++i)
    if (l1[i] * w1 < level) l1[i] = c1[i];
}

// LRGB: the tone of the sharpened luminance shared out by the stack's colour at shifted places.
void DisplayRows::Lrgb(int y, int x0, int n, const float* l1, SplitHistograms& h) const {
  uint8_t* out = display_.row(y);
  uint16_t* w16 = has48_ && y < out48_.height48() ? out48_.row16(y) : nullptr;
  const int x48 = w16 ? std::min(xhi, out48_.width48() - 1) : -1;
  for (int i = 0; i < n; ++i) {
    const int x = x0 + i;
    uint8_t* px = out + x * 3;
    uint16_t* wp = x <= x48 ? w16 + x * 3 : nullptr;
    const double J = tab_.T[index_(l1[i])];
    const int xr = x + s_.dxR, yr = y + s_.dyR, xb = x + s_.dxB, yb = y + s_.dyB;
    const double R0 = xr >= 0 && xr < W_ && yr >= 0 && yr < H_ ? stack_[0].Get(xr, yr) : 0.0;
    const double G0 = stack_[1].Get(x, y);
    const double B0 = xb >= 0 && xb < W_ && yb >= 0 && yb < H_ ? stack_[2].Get(xb, yb) : 0.0;
    const double sum = R0 + G0 + B0 + 0.0001;
    const double q[3] = {R0 / sum * 3 * J, G0 / sum * 3 * J, B0 / sum * 3 * J};
    for (int c = 0; c < 3; ++c) {
      const uint8_t b = OutByte(q[c], s_.offset[c], s_.channelGain[c]);
      px[2 - c] = b;
      ++h.h[0][c][b];
      if (wp) wp[c] = OutWord(q[c], s_.offset[c], s_.channelGain[c]);
    }
  }
}

// The bytes (blue, green, red) and the words (red, green, blue) of n pixels from their gamma
// indices; mono shows green in all three.
template <bool Colour, bool Words>
void DisplayRows::Pixels(int n, const int32_t* ir, const int32_t* ig, const int32_t* ib, uint8_t* px, uint16_t* wp,
                         SplitHistograms& h) const {
  const uint8_t showR = s_.showRed ? 0xff : 0, showG = s_.showGreen ? 0xff : 0, showB = s_.showBlue ? 0xff : 0;
  auto pixel = [&](int i, int (&counts)[3][257]) {
    const uint32_t g = tab_.out[1][ig[i]];
    const uint8_t bg = static_cast<uint8_t>(g >> 16);
    ++counts[1][bg];
    if constexpr (Colour) {
      const uint32_t r = tab_.out[0][ir[i]], b = tab_.out[2][ib[i]];
      const uint8_t br = static_cast<uint8_t>(r >> 16), bb = static_cast<uint8_t>(b >> 16);
      ++counts[0][br];
      ++counts[2][bb];
      px[3 * i] = bb & showB;
      px[3 * i + 1] = bg & showG;
      px[3 * i + 2] = br & showR;
      if constexpr (Words) {
        wp[3 * i] = static_cast<uint16_t>(r);
        wp[3 * i + 1] = static_cast<uint16_t>(g);
        wp[3 * i + 2] = static_cast<uint16_t>(b);
      }
    } else {
      px[3 * i] = px[3 * i + 2] = bg;
      px[3 * i + 1] = bg & showG;
      if constexpr (Words) wp[3 * i] = wp[3 * i + 1] = wp[3 * i + 2] = static_cast<uint16_t>(g);
    }
  };
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    pixel(i, h.h[0]);
    pixel(i + 1, h.h[1]);
    pixel(i + 2, h.h[2]);
    pixel(i + 3, h.h[3]);
  }
  for (; i < n; ++i) pixel(i, h.h[0]);
}

void DisplayRows::Chunk(int y, int x0, int n, float* l0, float* l1, float* l2, SplitHistograms& h) const {
  if (s_.antiRing) AntiRing(y, x0, n, l0, l1, l2);
  if (s_.mode == DisplayMode::Lrgb) return Lrgb(y, x0, n, l1, h);
  int32_t ig[kDisplayChunk], ir[kDisplayChunk], ib[kDisplayChunk];
  const bool colour = s_.mode == DisplayMode::Colour;
  index_.Row(l1, n, ig);
  if (colour) {
    index_.Row(l0, n, ir);
    index_.Row(l2, n, ib);
  }
  uint8_t* px = display_.row(y) + 3 * x0;
  // Words for the pixels inside the 16-bit copy (all of them unless it is smaller).
  int n48 = 0;
  uint16_t* wp = nullptr;
  if (has48_ && y < out48_.height48()) {
    n48 = std::clamp(std::min(xhi, out48_.width48() - 1) - x0 + 1, 0, n);
    wp = out48_.row16(y) + 3 * x0;
  }
  if (colour) {
    Pixels<true, true>(n48, ir, ig, ib, px, wp, h);
    Pixels<true, false>(n - n48, ir + n48, ig + n48, ib + n48, px + 3 * n48, nullptr, h);
  } else {
    Pixels<false, true>(n48, ir, ig, ib, px, wp, h);
    Pixels<false, false>(n - n48, ir + n48, ig + n48, ib + n48, px + 3 * n48, nullptr, h);
  }
}

}  // namespace wavelets
