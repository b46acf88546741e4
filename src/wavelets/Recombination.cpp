#include "wavelets/Recombination.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/Numbers.h"
#include "wavelets/DisplayRows.h"
#include "wavelets/ParallelRows.h"

namespace wavelets {

namespace {

constexpr int kChunk = kDisplayChunk;
constexpr int kMaxWorkers = 8;
constexpr int kRowsPerBlock = 8;

// One layer's term of the sum: plain (acc += g e), shrunk towards zero by t > 0 (values within
// t add g x 0) or, for t < 0, moved by t away from zero (zero adds nothing).
enum class Term { Plain, Shrunk, Widened };

struct LayerTerms {
  int count = 0;
  int index[6];
  Term kind[6];
  float g[6], t[6];
};

LayerTerms TermsOf(const RecombineSettings& s) {
  LayerTerms L;
  for (int k = 1; k <= 6; ++k) {
    if (!s.on[k]) continue;
    const float t = s.threshold[k];
    if (s.marked[k] && !(t > 0) && !(t < 0)) continue;  // marked with threshold 0: dropped
    L.index[L.count] = k;
    L.kind[L.count] = !s.marked[k] ? Term::Plain : t > 0 ? Term::Shrunk : Term::Widened;
    L.g[L.count] = s.gain[k];
    L.t[L.count] = t;
    ++L.count;
  }
  return L;
}

// Columns u0..u0+n-1 of row v of channel c: the residual, then the layers in the order 1..6,
// all of a pixel's terms added while it is in a register (each layer row read once).
void RecombineChunk(const float* residual, const std::vector<frames::Single2dArray>& layers, int c, int v, int u0,
                    int n, const LayerTerms& L, float* out) {
  const float* d[6];
  for (int k = 0; k < L.count; ++k) d[k] = layers[L.index[k] * 3 + c].Row(v) + u0;
  int u = 0;
#if defined(__SSE2__)
  __m128 g[6], t[6], nt[6];
  for (int k = 0; k < L.count; ++k) {
    g[k] = _mm_set1_ps(L.g[k]);
    t[k] = _mm_set1_ps(L.t[k]);
    nt[k] = _mm_set1_ps(-L.t[k]);
  }
  const __m128 zero = _mm_setzero_ps();
  for (; u + 4 <= n; u += 4) {
    __m128 acc = _mm_loadu_ps(residual + u);
    for (int k = 0; k < L.count; ++k) {
      const __m128 e = _mm_loadu_ps(d[k] + u);
      if (L.kind[k] == Term::Plain) {
        acc = _mm_add_ps(acc, _mm_mul_ps(g[k], e));
      } else if (L.kind[k] == Term::Shrunk) {
        const __m128 above = _mm_and_ps(_mm_cmpgt_ps(e, t[k]), _mm_sub_ps(e, t[k]));
        const __m128 below = _mm_and_ps(_mm_cmplt_ps(e, nt[k]), _mm_add_ps(e, t[k]));
        acc = _mm_add_ps(acc, _mm_mul_ps(g[k], _mm_or_ps(above, below)));
      } else {
        const __m128 neg = _mm_cmplt_ps(e, zero), pos = _mm_cmpgt_ps(e, zero);
        const __m128 moved = _mm_or_ps(_mm_and_ps(neg, _mm_add_ps(e, t[k])), _mm_and_ps(pos, _mm_sub_ps(e, t[k])));
        const __m128 sum = _mm_add_ps(acc, _mm_mul_ps(g[k], moved)), changed = _mm_or_ps(neg, pos);
        acc = _mm_or_ps(_mm_and_ps(changed, sum), _mm_andnot_ps(changed, acc));
      }
    }
    _mm_storeu_ps(out + u, acc);
  }
#endif
  for (; u < n; ++u) {
    float acc = residual[u];
    for (int k = 0; k < L.count; ++k) {
      const float e = d[k][u], g = L.g[k], t = L.t[k];
      if (L.kind[k] == Term::Plain) acc += g * e;
      else if (L.kind[k] == Term::Shrunk) acc += g * (e > t ? e - t : e < -t ? e + t : 0.0f);
      else if (e < 0) acc += g * (e + t);
      else if (e > 0) acc += g * (e - t);
    }
    out[u] = acc;
  }
}

// The area's rows a chunk at a time and, with `rows`, each chunk displayed while its sums are
// in cache (counts into parts[worker]).
void Sweep(const std::array<frames::Single2dArray, 3>& colourPlanes, std::vector<frames::Single2dArray>& layers,
           const AreaRect& a, const RecombineSettings& s, const DisplayRows* rows, Histograms* parts) {
  const int c0 = s.colour ? 0 : 1, c1 = s.colour ? 2 : 1;
  const int aw = a.width();
  const LayerTerms terms = TermsOf(s);
  SharedRows(a.y0, a.y1 + 1, kRowsPerBlock, [&](RowQueue& queue, int worker) {
    SplitHistograms h;
    if (rows) h.clear();
    for (int first, last; queue.next(first, last);) {
      for (int y = first; y < last; ++y) {
        const int v = y - a.y0;
        float* sums[3] = {layers[0].Row(v), layers[1].Row(v), layers[2].Row(v)};
        const bool shown = rows && y >= rows->ylo && y <= rows->yhi;
        for (int u0 = 0; u0 < aw; u0 += kChunk) {
          const int n = std::min(kChunk, aw - u0);
          for (int c = c0; c <= c1; ++c)
            RecombineChunk(colourPlanes[c].Row(y) + a.x0 + u0, layers, c, v, u0, n, terms, sums[c] + u0);
          if (!shown) continue;
          const int from = std::max(u0, rows->xlo - a.x0), to = std::min(u0 + n, rows->xhi - a.x0 + 1);
          if (from < to) rows->Chunk(y, a.x0 + from, to - from, sums[0] + from, sums[1] + from, sums[2] + from, h);
        }
      }
    }
    if (rows) h.addTo(parts[worker]);
  });
}

void MergeCounts(const Histograms (&parts)[kMaxWorkers], DisplayMode mode, Histograms& hist) {
  for (const auto& p : parts)
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 257; ++i) hist[c][i] += p[c][i];
  if (mode == DisplayMode::Mono) hist[0] = hist[2] = hist[1];
}

}  // namespace

void Recombine(const std::array<frames::Single2dArray, 3>& colourPlanes, std::vector<frames::Single2dArray>& layers,
               const AreaRect& a, const RecombineSettings& s) {
  if (!a.empty()) Sweep(colourPlanes, layers, a, s, nullptr, nullptr);
}

AreaRect DisplayRect(const AreaRect& a, int W, int H, int margin) {
  AreaRect r;
  r.y1 = a.y1 == H - 1 ? a.y1 : a.y1 - margin;
  r.y0 = a.y0 == 0 ? 0 : a.y0 + margin;
  r.x1 = a.x1 == W - 1 ? a.x1 : a.x1 - margin;
  r.x0 = a.x0 == 0 ? 0 : a.x0 + margin;
  return r;
}

void DisplayPass(std::vector<frames::Single2dArray>& layers, const std::array<frames::Single2dArray, 3>& colourPlanes,
                 const std::array<frames::Single2dArray, 4>& stackPlanes, const AreaRect& a, const AreaRect& rect,
                 int W, int H, const DisplaySettings& s, ui::Bitmap24& display, formats::TTIFFBitMap& out48,
                 Histograms& hist) {
  if (display.width() != W || display.height() != H) display.setSize(W, H);
  for (auto& h : hist) h.fill(0);
  const DisplayRows rows(s, colourPlanes, stackPlanes, rect, W, H, display, out48);
  if (rows.empty()) return;
  Histograms parts[kMaxWorkers]{};
  SharedRows(rows.ylo, rows.yhi + 1, kRowsPerBlock, [&](RowQueue& queue, int worker) {
    SplitHistograms h;
    h.clear();
    for (int first, last; queue.next(first, last);)
    for (int y = first; y < last; ++y) {
      const int v = y - a.y0;
      float* l0 = layers[0].Row(v);
      float* l1 = layers[1].Row(v);
      float* l2 = layers[2].Row(v);
      for (int x0 = rows.xlo; x0 <= rows.xhi; x0 += kChunk) {
        const int u = x0 - a.x0;
        rows.Chunk(y, x0, std::min(kChunk, rows.xhi - x0 + 1), l0 + u, l1 + u, l2 + u, h);
      }
    }
    h.addTo(parts[worker]);
  });
  MergeCounts(parts, s.mode, hist);
}

void RecombineAndDisplay(const std::array<frames::Single2dArray, 3>& colourPlanes,
                         std::vector<frames::Single2dArray>& layers,
                         const std::array<frames::Single2dArray, 4>& stackPlanes, const AreaRect& a,
                         const AreaRect& rect, int W, int H, const RecombineSettings& rs, const DisplaySettings& ds,
                         ui::Bitmap24& display, formats::TTIFFBitMap& out48, Histograms& hist) {
  if (display.width() != W || display.height() != H) display.setSize(W, H);
  const DisplayRows rows(ds, colourPlanes, stackPlanes, rect, W, H, display, out48);
  // One sweep needs every displayed sum made by it: colour shown from colour sums, the
  // display rectangle inside the area.
  const bool inside = rows.xlo >= a.x0 && rows.xhi <= a.x1 && rows.ylo >= a.y0 && rows.yhi <= a.y1;
  if (a.empty() || rows.empty() || !inside || (ds.mode == DisplayMode::Colour && !rs.colour)) {
    Recombine(colourPlanes, layers, a, rs);
    DisplayPass(layers, colourPlanes, stackPlanes, a, rect, W, H, ds, display, out48, hist);
    return;
  }
  for (auto& h : hist) h.fill(0);
  Histograms parts[kMaxWorkers]{};
  Sweep(colourPlanes, layers, a, rs, &rows, parts);
  MergeCounts(parts, ds.mode, hist);
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
