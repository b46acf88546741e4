#include "wavelets/Decomposition.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "wavelets/ParallelRows.h"

namespace wavelets {

AreaRect ClampArea(int ox, int oy, int aw, int ah, int W, int H) {
  AreaRect a{ox, oy, ox + aw - 1, oy + ah - 1};
  a.x0 = std::max(a.x0, 0);
  a.y0 = std::max(a.y0, 0);
  a.x1 = std::min(a.x1, W - 1);
  a.y1 = std::min(a.y1, H - 1);
  return a;
}

namespace {

struct RowSums {
  float sumAbs;
  double sumSq, sum;
  int count;
};

}  // namespace

void DecomposeLayer(frames::Single2dArray& colour, frames::Single2dArray& work, frames::Single2dArray& layer,
                    const Kernel& kernel, int scale, const AreaRect& a, int W, int H, LayerSums* sums) {
  if (a.empty()) return;
  const int aw = a.width();
  std::vector<RowSums> rowSums(sums ? a.height() : 0);
  // Taps in the order column offset outer, row offset inner; the per-pixel sum follows it.
  struct Tap {
    int di, dj;
    double w;
  };
  Tap taps[25];
  int nTaps = 0;
  for (int i = -2; i <= 2; ++i)
    for (int j = -2; j <= 2; ++j) {
      const float w = kernel[(j + 2) * 5 + (i + 2)];
      if (w > 0) taps[nTaps++] = {i * scale, j * scale, static_cast<double>(w)};
    }

  ParallelRows(a.y0, a.y1 + 1, [&](int first, int last) {
    std::vector<double> acc(aw);
    for (int y = first; y < last; ++y) {
      std::fill(acc.begin(), acc.end(), 0.0);
      double* accp = acc.data() - a.x0;  // indexed by image column
      for (int t = 0; t < nTaps; ++t) {
        const int ty = y + taps[t].dj;
        if (ty < 0 || ty >= H) continue;
        const int xa = std::max(a.x0, -taps[t].di), xb = std::min(a.x1, W - 1 - taps[t].di);
        const float* src = colour.Row(ty) + taps[t].di;
        const double w = taps[t].w;
        for (int x = xa; x <= xb; ++x) accp[x] += w * static_cast<double>(src[x]);
      }
      const float* c = colour.Row(y);
      float* wk = work.Row(y);
      float* out = layer.Row(y - a.y0) - a.x0;
      for (int x = a.x0; x <= a.x1; ++x) {
        wk[x] = static_cast<float>(accp[x]);
        out[x] = static_cast<float>(static_cast<double>(c[x]) - accp[x]);
      }
      if (sums && y > a.y0 + 10 && y < a.y1 - 10) {
        RowSums r{0, 0, 0, 0};
        for (int x = a.x1 - 11; x > a.x0 + 10; --x) {
          const double d = static_cast<double>(c[x]) - accp[x];
          r.sumAbs = static_cast<float>(r.sumAbs + std::fabs(d));
          r.sumSq += d * d;
          r.sum += d;
          ++r.count;
        }
        rowSums[y - a.y0] = r;
      }
    }
  });
  ParallelRows(a.y0, a.y1 + 1, [&](int first, int last) {
    for (int y = first; y < last; ++y)
      std::memcpy(colour.Row(y) + a.x0, work.Row(y) + a.x0, sizeof(float) * static_cast<size_t>(aw));
  });
  if (sums) {
    for (int y = a.y1 - 11; y > a.y0 + 10; --y) {
      const RowSums& r = rowSums[y - a.y0];
      sums->sumAbs = static_cast<float>(sums->sumAbs + r.sumAbs);
      sums->sumSq += r.sumSq;
      sums->sum += r.sum;
      sums->count += r.count;
    }
  }
}

void FinishLayerStatistics(const LayerSums& s, int n, LayerStatistics& out) {
  const long long count = std::max<long long>(s.count, 2);
  out.Variance[n] = static_cast<float>((s.sumSq - s.sum * s.sum / count) / (count - 1));
  out.MeanAbs[n] = static_cast<float>(s.sumAbs / count);
}

void DeriveStatistics(LayerStatistics& st) {
  for (int n = 1; n <= 6; ++n) {
    st.NoiseRatio[n] = static_cast<float>(double(st.MeanAbs[6]) * st.MeanAbs[6] / (st.MeanAbs[n] + 0.0001));
    st.NoiseLevel[n] = static_cast<float>(std::pow(2.0, (6 - n) / 2.0) * 0.5 * st.MeanAbs[1]);
  }
}

}  // namespace wavelets
