#include "wavelets/Recombination.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "wavelets/ParallelRows.h"

namespace wavelets {

void Recombine(const std::array<frames::Single2dArray, 3>& colourPlanes, std::vector<frames::Single2dArray>& layers,
               const AreaRect& a, const RecombineSettings& s) {
  if (a.empty()) return;
  const int c0 = s.colour ? 0 : 1, c1 = s.colour ? 2 : 1;
  const int aw = a.width();
  for (int c = c0; c <= c1; ++c) {
    ParallelRows(a.y0, a.y1 + 1, [&](int first, int last) {
      for (int y = first; y < last; ++y) {
        const int v = y - a.y0;
        float* acc = layers[c].Row(v);
        std::copy_n(colourPlanes[c].Row(y) + a.x0, aw, acc);
        // Layer by layer: each pixel still adds its layers in the order 1..6.
        for (int n = 1; n <= 6; ++n) {
          if (!s.on[n]) continue;
          const float g = s.gain[n];
          const float* d = layers[n * 3 + c].Row(v);
          if (!s.marked[n]) {
            for (int u = 0; u < aw; ++u) acc[u] += g * d[u];
          } else {
            const float t = s.threshold[n];
            if (t == 0) continue;
            if (t > 0) {
              // Shrink towards zero by t; values within t add g x 0, which leaves acc as it is.
              for (int u = 0; u < aw; ++u) {
                const float e = d[u];
                const float shrunk = e > t ? e - t : e < -t ? e + t : 0.0f;
                acc[u] += g * shrunk;
              }
              continue;
            }
            for (int u = 0; u < aw; ++u) {
              const float e = d[u];
              if (std::fabs(e) > t) {
                if (e < 0) acc[u] += g * (e + t);
                else if (e > 0) acc[u] += g * (e - t);
              }
            }
          }
        }
      }
    });
  }
}

AreaRect DisplayRect(const AreaRect& a, int W, int H, int margin) {
  AreaRect r;
  r.y1 = a.y1 == H - 1 ? a.y1 : a.y1 - margin;
  r.y0 = a.y0 == 0 ? 0 : a.y0 + margin;
  r.x1 = a.x1 == W - 1 ? a.x1 : a.x1 - margin;
  r.x0 = a.x0 == 0 ? 0 : a.x0 + margin;
  return r;
}

namespace {

// Round half to even for 0 <= v < 2^51 in the default rounding mode, without a library call:
// adding 1.5 x 2^52 leaves no fraction bits, so the addition itself rounds.
inline int RoundSmall(double v) {
  constexpr double kShift = 6755399441055744.0;
  return static_cast<int>((v + kShift) - kShift);
}

// The gamma index of a value: Round((value - min) S), limited to 0..1000.
struct ToneIndex {
  double S, stackMin;
  int operator()(float value) const {
    const double tt = (value - stackMin) * S;
    return tt >= 1000 ? 1000 : tt > 0 ? RoundSmall(tt) : 0;
  }
  // The same for n values (limited first, then rounded: the same result, without branches).
  void Row(const float* v, int n, int32_t* out) const {
    constexpr double kShift = 6755399441055744.0;
    for (int i = 0; i < n; ++i) {
      double tt = (v[i] - stackMin) * S;
      tt = tt > 0 ? tt : 0;
      tt = tt < 1000 ? tt : 1000;
      out[i] = static_cast<int32_t>((tt + kShift) - kShift);
    }
  }
};

constexpr int kChunk = 512;

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

// Everything after the gamma index depends on the index alone: tone T, then per channel the
// display byte and the 16-bit word.
struct ToneTables {
  double T[1001];
  uint8_t byte[3][1001];
  uint16_t word[3][1001];
};

void BuildTables(const DisplaySettings& s, ToneTables& t) {
  const double* curve = s.curve->data();
  const double span = s.levelHigh - s.levelLow;
  for (int i = 0; i <= 1000; ++i) {
    const double p = curve[i] * 255 + s.brightness;
    t.T[i] = (p - s.levelLow) / span * 255;
    for (int c = 0; c < 3; ++c) {
      t.byte[c][i] = OutByte(t.T[i], s.offset[c], s.channelGain[c]);
      t.word[c][i] = OutWord(t.T[i], s.offset[c], s.channelGain[c]);
    }
  }
}

// One row of the display pass: the group-0 rows (indexed from the area's left edge), the
// picture's row and the 16-bit row (null, or written up to column x48), columns xlo … xhi.
struct DisplayRow {
  int y = 0, xlo = 0, xhi = 0, areaX0 = 0;
  float *l0 = nullptr, *l1 = nullptr, *l2 = nullptr;
  uint8_t* out = nullptr;
  uint16_t* w16 = nullptr;
  int x48 = -1;
};

// Anti-ringing: where the sharpened luminance falls below the level, the residual comes back.
void AntiRingRow(const DisplayRow& r, const std::array<frames::Single2dArray, 3>& colourPlanes,
                 const DisplaySettings& s) {
  float *l0 = r.l0, *l1 = r.l1, *l2 = r.l2;
  for (int x = r.xlo; x <= r.xhi; ++x) {
    const int u = x - r.areaX0;
    if (s.mode == DisplayMode::Colour) {
      const float L = l1[u] * s.lumWeight[1] + l0[u] * s.lumWeight[0] + l2[u] * s.lumWeight[2];
      if (L < s.antiRingLevel) {
        l0[u] = colourPlanes[0].Get(x, r.y);
        l1[u] = colourPlanes[1].Get(x, r.y);
        l2[u] = colourPlanes[2].Get(x, r.y);
      }
    } else if (l1[u] * s.lumWeight[1] < s.antiRingLevel) {
      l1[u] = colourPlanes[1].Get(x, r.y);
    }
  }
}

// LRGB: the sharpened luminance's tone shared out by the stack's colour ratios (red and blue
// taken from their shifted positions), W x H the picture.
void LrgbRow(const DisplayRow& r, const std::array<frames::Single2dArray, 4>& stackPlanes, int W, int H,
             const DisplaySettings& s, const ToneIndex& index, const ToneTables& tab, Histograms& h) {
  const int y = r.y;
  for (int x = r.xlo; x <= r.xhi; ++x) {
    const int u = x - r.areaX0;
    uint8_t* px = r.out + x * 3;
    uint16_t* wp = x <= r.x48 ? r.w16 + x * 3 : nullptr;
    const double J = tab.T[index(r.l1[u])];
    const int xr = x + s.dxR, yr = y + s.dyR, xb = x + s.dxB, yb = y + s.dyB;
    const double R0 = xr >= 0 && xr < W && yr >= 0 && yr < H ? stackPlanes[0].Get(xr, yr) : 0.0;
    const double G0 = stackPlanes[1].Get(x, y);
    const double B0 = xb >= 0 && xb < W && yb >= 0 && yb < H ? stackPlanes[2].Get(xb, yb) : 0.0;
    const double sum = R0 + G0 + B0 + 0.0001;
    const double q[3] = {R0 / sum * 3 * J, G0 / sum * 3 * J, B0 / sum * 3 * J};
    for (int c = 0; c < 3; ++c) {
      const uint8_t b = OutByte(q[c], s.offset[c], s.channelGain[c]);
      px[2 - c] = b;
      ++h[c][b];
      if (wp) wp[c] = OutWord(q[c], s.offset[c], s.channelGain[c]);
    }
  }
}

// Mono and colour: gamma indices a chunk at a time (a loop the compiler vectorises), then the
// tables.
void ToneRow(const DisplayRow& r, const DisplaySettings& s, const ToneIndex& index, const ToneTables& tab,
             Histograms& h) {
  int32_t ig[kChunk], ir[kChunk], ib[kChunk];
  const bool colour = s.mode == DisplayMode::Colour;
  for (int x0 = r.xlo; x0 <= r.xhi; x0 += kChunk) {
    const int n = std::min(kChunk, r.xhi - x0 + 1);
    const int u0 = x0 - r.areaX0;
    index.Row(r.l1 + u0, n, ig);
    if (colour) {
      index.Row(r.l0 + u0, n, ir);
      index.Row(r.l2 + u0, n, ib);
    }
    for (int i = 0; i < n; ++i) {
      const int x = x0 + i;
      uint8_t* px = r.out + x * 3;
      const int tg = ig[i];
      const uint8_t bg = tab.byte[1][tg];
      ++h[1][bg];
      if (colour) {
        const int tr = ir[i], tb = ib[i];
        const uint8_t br = tab.byte[0][tr], bb = tab.byte[2][tb];
        ++h[0][br];
        ++h[2][bb];
        px[0] = s.showBlue ? bb : 0;
        px[1] = s.showGreen ? bg : 0;
        px[2] = s.showRed ? br : 0;
        if (x <= r.x48) {
          uint16_t* wp = r.w16 + x * 3;
          wp[0] = tab.word[0][tr];
          wp[1] = tab.word[1][tg];
          wp[2] = tab.word[2][tb];
        }
      } else {
        px[0] = px[2] = bg;
        px[1] = s.showGreen ? bg : 0;
        if (x <= r.x48) {
          uint16_t* wp = r.w16 + x * 3;
          wp[0] = wp[1] = wp[2] = tab.word[1][tg];
        }
      }
    }
  }
}

}  // namespace

void DisplayPass(std::vector<frames::Single2dArray>& layers, const std::array<frames::Single2dArray, 3>& colourPlanes,
                 const std::array<frames::Single2dArray, 4>& stackPlanes, const AreaRect& a, const AreaRect& rect,
                 int W, int H, const DisplaySettings& s, ui::Bitmap24& display, formats::TTIFFBitMap& out48,
                 Histograms& hist) {
  if (display.width() != W || display.height() != H) display.setSize(W, H);
  for (auto& h : hist) h.fill(0);
  const int xlo = std::max(rect.x0, 0), ylo = std::max(rect.y0, 0);
  const int xhi = std::min({rect.x1, W - 1, display.width() - 1});
  const int yhi = std::min({rect.y1, H - 1, display.height() - 1});
  if (xlo > xhi || ylo > yhi || !s.curve) return;
  const ToneIndex index{1000.0 / (s.stackMax - s.stackMin + 0.000001) * s.contrast * 0.01, s.stackMin};
  ToneTables tab;
  BuildTables(s, tab);
  const bool has48 = !(out48.width48() <= 0);
  constexpr int kMaxWorkers = 8;
  Histograms parts[kMaxWorkers];

  ParallelRows(ylo, yhi + 1, [&](int first, int last, int worker) {
    Histograms& h = parts[worker];
    for (auto& c : h) c.fill(0);
    for (int y = first; y < last; ++y) {
      DisplayRow r;
      r.y = y;
      r.xlo = xlo;
      r.xhi = xhi;
      r.areaX0 = a.x0;
      const int v = y - a.y0;
      r.l0 = layers[0].Row(v);
      r.l1 = layers[1].Row(v);
      r.l2 = layers[2].Row(v);
      r.out = display.row(y);
      r.w16 = has48 && y < out48.height48() ? out48.row16(y) : nullptr;
      r.x48 = r.w16 ? std::min(xhi, out48.width48() - 1) : -1;
      if (s.antiRing) AntiRingRow(r, colourPlanes, s);
      if (s.mode == DisplayMode::Lrgb) LrgbRow(r, stackPlanes, W, H, s, index, tab, h);
      else ToneRow(r, s, index, tab, h);
    }
  });
  const int workers = std::min(WaveletThreads(), kMaxWorkers);
  for (int w = 0; w < workers; ++w)
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 257; ++i) hist[c][i] += parts[w][c][i];
  if (s.mode == DisplayMode::Mono) hist[0] = hist[2] = hist[1];
}

PreviewRange DrawLayerPreview(const frames::Single2dArray& layer, const AreaRect& a, bool marked, float t,
                              ui::Bitmap24& display) {
  PreviewRange r{0, 0};
  bool any = false;
  for (int y = a.y0 + 10; y <= a.y1 - 10; ++y)
    for (int x = a.x0 + 10; x <= a.x1 - 10; ++x) {
      const float e = layer.Get(x - a.x0, y - a.y0);
      if (!any || e < r.min) r.min = any ? std::min(r.min, e) : e;
      if (!any || e > r.max) r.max = any ? std::max(r.max, e) : e;
      any = true;
    }
  double range = static_cast<double>(r.max) - r.min;
  if (!(range > 0)) range = 1;
  for (int y = a.y0; y <= a.y1 && y < display.height(); ++y)
    for (int x = a.x0; x <= a.x1 && x < display.width(); ++x) {
      float e = layer.Get(x - a.x0, y - a.y0);
      if (marked) {
        if (std::fabs(e) < t) e = 0;
        else if (e < 0) e += t;
        else if (e > 0) e -= t;
      }
      const double wv = (e - r.min) / range * 255;
      const int w = wv >= 255 ? 255 : wv > 0 ? px::Round(wv) : 0;
      uint8_t* p = display.row(y) + x * 3;
      p[2] = e < 0 ? static_cast<uint8_t>(255 - w) : 0;
      p[1] = e > 0 ? static_cast<uint8_t>(w) : 0;
      p[0] = 0;
    }
  return r;
}

}  // namespace wavelets
