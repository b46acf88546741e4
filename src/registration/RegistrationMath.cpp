#include "registration/RegistrationMath.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/Numbers.h"

namespace registration {

void ApplyAlignmentFilter(FftPlane& re, FftPlane& im, int n, float radius2) {
  for (int kx = 0; kx < n; ++kx) {
    float* r = re.column(kx);
    float* i = im.column(kx);
    const int dx = kx <= n / 2 ? kx : n - kx;
    for (int ky = 0; ky < n; ++ky) {
      const int dy = ky <= n / 2 ? ky : n - ky;
      if (static_cast<float>(dx * dx + dy * dy) > radius2) r[ky] = i[ky] = 0.0f;
    }
  }
}

Peak FindPeak(const FftPlane& surface, int n) {
  Peak p;
  float best = -1e11f;
  for (int x = 0; x < n; ++x) {
    const float* col = surface.column(x);
    for (int y = 0; y < n; ++y)
      if (col[y] > best) {
        best = col[y];
        p.x = x;
        p.y = y;
      }
  }
  p.value = best;
  return p;
}

namespace {

// Vertex offset of the parabola through (-1, a), (0, b), (1, c), and its value there.
bool Vertex(double a, double b, double c, double& t, double& top) {
  const double curv = a - 2 * b + c;
  if (!(curv < 0)) return false;  // no maximum (flat, inverted or not a number)
  t = std::clamp((a - c) / (2 * curv), -1.0, 1.0);
  top = b + (c - a) / 2 * t + curv / 2 * t * t;
  return true;
}

double EvalParabola(double a, double b, double c, double t) { return b + (c - a) / 2 * t + (a - 2 * b + c) / 2 * t * t; }

}  // namespace

std::vector<float> HannWindow(int n) {
  std::vector<float> w(static_cast<size_t>(std::max(n, 0)));
  for (int i = 0; i < n; ++i) w[static_cast<size_t>(i)] = static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * (i + 0.5) / n));
  return w;
}

void TaperedMeanFree(const FftPlane& lum, const std::vector<float>& window, int n, FftPlane& out) {
  double sum = 0, weight = 0;
  for (int x = 0; x < n; ++x) {
    const float* col = lum.column(x);
    double colSum = 0;
    for (int y = 0; y < n; ++y) colSum += static_cast<double>(window[y]) * col[y];
    sum += window[x] * colSum;
    weight += window[x];
  }
  double wsum = 0;
  for (int y = 0; y < n; ++y) wsum += window[y];
  const float mean = weight > 0 ? static_cast<float>(sum / (weight * wsum)) : 0.0f;
  for (int x = 0; x < n; ++x) {
    const float* src = lum.column(x);
    float* dst = out.column(x);
    const float wx = window[x];
    for (int y = 0; y < n; ++y) dst[y] = (src[y] - mean) * wx * window[y];
  }
}

double CornerNoisePower(const FftPlane& re, const FftPlane& im, int n) {
  const int h = n / 2;
  const long long r2 = static_cast<long long>(h) * h;
  double sum = 0;
  long long count = 0;
  for (int kx = 0; kx < n; ++kx) {
    const long long dx = kx <= h ? kx : n - kx;
    const float* cr = re.column(kx);
    const float* ci = im.column(kx);
    for (int ky = 0; ky < n; ++ky) {
      const long long dy = ky <= h ? ky : n - ky;
      if (dx * dx + dy * dy <= r2) continue;
      sum += static_cast<double>(cr[ky]) * cr[ky] + static_cast<double>(ci[ky]) * ci[ky];
      ++count;
    }
  }
  return count > 0 ? sum / count : 0.0;
}

SubPixel ParabolaPeak(const FftPlane& s, int n, int px, int py) {
  SubPixel r;
  if (n < 3) return r;
  const int xm = (px + n - 1) % n, xp = (px + 1) % n;
  const int ym = (py + n - 1) % n, yp = (py + 1) % n;
  double fx = 0, top = 0;
  if (!Vertex(s.at(xm, py), s.at(px, py), s.at(xp, py), fx, top)) return r;
  r.fx = fx;
  const double above = EvalParabola(s.at(xm, ym), s.at(px, ym), s.at(xp, ym), fx);
  const double below = EvalParabola(s.at(xm, yp), s.at(px, yp), s.at(xp, yp), fx);
  double fy = 0, topY = 0;
  if (Vertex(above, top, below, fy, topY)) r.fy = fy;
  return r;
}

std::vector<int> BestFrames(const frames::FrameTable& table, int last, double share, int minimum) {
  std::vector<int> measured;
  for (int q = 0; q <= last; ++q)
    if (!table[q].Excluded) measured.push_back(q);
  std::stable_sort(measured.begin(), measured.end(),
                   [&](int a, int b) { return table[a].Quality > table[b].Quality; });
  const int want = std::max(minimum, px::Round(share * static_cast<double>(measured.size())));
  measured.resize(std::min(measured.size(), static_cast<size_t>(want)));
  return measured;
}

void SortRankList(frames::FrameTable& table, int m) {
  auto& ranks = table.ranks;
  // Entry m + 1 joins the comparisons, but never past the table's end.
  const int last = std::min(m, frames::MaxFrames - 2);
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (int p = 0; p <= last; ++p)
      if (ranks[p].RankQuality < ranks[p + 1].RankQuality) {
        std::swap(ranks[p].FrameIndex, ranks[p + 1].FrameIndex);
        std::swap(ranks[p].RankQuality, ranks[p + 1].RankQuality);
        swapped = true;
      }
  }
}

int AutoStackCut(const frames::FrameTable& table, int maxPos, double lowPercent) {
  if (maxPos <= 0) return 0;
  const double t = lowPercent / 100.0 * table.ranks[0].RankQuality;
  for (int p = 1; p < maxPos; ++p)
    if (p >= 2 && table.ranks[p].RankQuality < t) return p - 1;
  return maxPos;
}

namespace {

// One column's eight lanes, the tail rows added to lane 0, paired in the fixed order.
inline double ColumnTotal(std::array<double, 8> lane, const float* rc, const float* fc, int k, int kEnd) {
  for (; k < kEnd; ++k) {
    const float u = rc[k] - fc[k];
    lane[0] += static_cast<double>(u) * u;
  }
  return ((lane[0] + lane[1]) + (lane[2] + lane[3])) + ((lane[4] + lane[5]) + (lane[6] + lane[7]));
}

// Sum of squared differences of the n x n mean-free windows for every offset, in a's then b's
// order, into sums. Eight lanes per column exactly as the scalar form adds them: lane l takes
// rows l, l + 8, ..., lane 0 also the tail. Four columns run side by side so that their
// independent sums overlap; the column totals are still added in column order. V holds a
// column's eight lanes, step adds the next eight rows into them.
template <class V, class Step>
inline void SquaredSumsWith(const float* r, const float* f, int n, int c, double* sums, Step step) {
  constexpr int kColumns = 4;
  for (int a = -c; a <= c; ++a)
    for (int b = -c; b <= c; ++b) {
      const int jEnd = std::min(n, n - c - a);
      const int kEnd = std::min(n, n - c - b);
      double sum = 0;
      int j = 0;
      for (; j + kColumns <= jEnd; j += kColumns) {
        const float* rc[kColumns];
        const float* fc[kColumns];
        V acc[kColumns];
        for (int q = 0; q < kColumns; ++q) {
          rc[q] = r + static_cast<size_t>(j + q) * n;
          fc[q] = f + static_cast<size_t>(c + j + q + a) * n + c + b;
          acc[q] = V();
        }
        int k = 0;
        for (; k + 8 <= kEnd; k += 8) {
#pragma GCC unroll 4
          for (int q = 0; q < kColumns; ++q) step(acc[q], rc[q] + k, fc[q] + k);
        }
        for (int q = 0; q < kColumns; ++q) sum += ColumnTotal(acc[q].lanes(), rc[q], fc[q], k, kEnd);
      }
      for (; j < jEnd; ++j) {
        const float* rc = r + static_cast<size_t>(j) * n;
        const float* fc = f + static_cast<size_t>(c + j + a) * n + c + b;
        V acc = V();
        int k = 0;
        for (; k + 8 <= kEnd; k += 8) step(acc, rc + k, fc + k);
        sum += ColumnTotal(acc.lanes(), rc, fc, k, kEnd);
      }
      *sums++ = sum;
    }
}

// The same sums with the eight lanes in two AVX registers (multiply and add stay separate
// instructions).
__attribute__((target("avx"))) void SquaredSumsAvx(const float* r, const float* f, int n, int c, double* sums) {
  constexpr int kColumns = 4;
  auto total = [](__m256d low, __m256d high, const float* rc, const float* fc, int k, int kEnd)
                   __attribute__((target("avx"))) {
    std::array<double, 8> lane;
    _mm256_storeu_pd(lane.data(), low);
    _mm256_storeu_pd(lane.data() + 4, high);
    return ColumnTotal(lane, rc, fc, k, kEnd);
  };
  for (int a = -c; a <= c; ++a)
    for (int b = -c; b <= c; ++b) {
      const int jEnd = std::min(n, n - c - a);
      const int kEnd = std::min(n, n - c - b);
      double sum = 0;
      int j = 0;
      for (; j + kColumns <= jEnd; j += kColumns) {
        const float* rc[kColumns];
        const float* fc[kColumns];
        __m256d low[kColumns], high[kColumns];
        for (int q = 0; q < kColumns; ++q) {
          rc[q] = r + static_cast<size_t>(j + q) * n;
          fc[q] = f + static_cast<size_t>(c + j + q + a) * n + c + b;
          low[q] = high[q] = _mm256_setzero_pd();
        }
        int k = 0;
        for (; k + 8 <= kEnd; k += 8) {
#pragma GCC unroll 4
          for (int q = 0; q < kColumns; ++q) {
            const __m256d u0 = _mm256_cvtps_pd(_mm_sub_ps(_mm_loadu_ps(rc[q] + k), _mm_loadu_ps(fc[q] + k)));
            const __m256d u1 = _mm256_cvtps_pd(_mm_sub_ps(_mm_loadu_ps(rc[q] + k + 4), _mm_loadu_ps(fc[q] + k + 4)));
            low[q] = _mm256_add_pd(low[q], _mm256_mul_pd(u0, u0));
            high[q] = _mm256_add_pd(high[q], _mm256_mul_pd(u1, u1));
          }
        }
        for (int q = 0; q < kColumns; ++q) sum += total(low[q], high[q], rc[q], fc[q], k, kEnd);
      }
      for (; j < jEnd; ++j) {
        const float* rc = r + static_cast<size_t>(j) * n;
        const float* fc = f + static_cast<size_t>(c + j + a) * n + c + b;
        __m256d low = _mm256_setzero_pd(), high = _mm256_setzero_pd();
        int k = 0;
        for (; k + 8 <= kEnd; k += 8) {
          const __m256d u0 = _mm256_cvtps_pd(_mm_sub_ps(_mm_loadu_ps(rc + k), _mm_loadu_ps(fc + k)));
          const __m256d u1 = _mm256_cvtps_pd(_mm_sub_ps(_mm_loadu_ps(rc + k + 4), _mm_loadu_ps(fc + k + 4)));
          low = _mm256_add_pd(low, _mm256_mul_pd(u0, u0));
          high = _mm256_add_pd(high, _mm256_mul_pd(u1, u1));
        }
        sum += total(low, high, rc, fc, k, kEnd);
      }
      *sums++ = sum;
    }
}

// Eight double lanes as four SSE2 registers (every x86-64 processor).
struct LanesSse2 {
  __m128d l[4];
  LanesSse2() : l{_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()} {}
  std::array<double, 8> lanes() const {
    std::array<double, 8> out;
    for (int i = 0; i < 4; ++i) _mm_storeu_pd(out.data() + 2 * i, l[i]);
    return out;
  }
};

void SquaredSumsSse2(const float* r, const float* f, int n, int c, double* sums) {
  SquaredSumsWith<LanesSse2>(r, f, n, c, sums, [](LanesSse2& acc, const float* x, const float* y) {
    const __m128 d0 = _mm_sub_ps(_mm_loadu_ps(x), _mm_loadu_ps(y));
    const __m128 d1 = _mm_sub_ps(_mm_loadu_ps(x + 4), _mm_loadu_ps(y + 4));
    const __m128d u[4] = {_mm_cvtps_pd(d0), _mm_cvtps_pd(_mm_movehl_ps(d0, d0)), _mm_cvtps_pd(d1),
                          _mm_cvtps_pd(_mm_movehl_ps(d1, d1))};
    for (int i = 0; i < 4; ++i) acc.l[i] = _mm_add_pd(acc.l[i], _mm_mul_pd(u[i], u[i]));
  });
}

bool& AvxWanted() {
  static bool wanted = true;
  return wanted;
}

void SquaredSums(const float* r, const float* f, int n, int c, double* sums) {
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx && AvxWanted())
    SquaredSumsAvx(r, f, n, c, sums);
  else
    SquaredSumsSse2(r, f, n, c, sums);
}

}  // namespace

bool UseAvxForSearch(bool on) {
  AvxWanted() = on;
  return __builtin_cpu_supports("avx");
}

SearchResult OptimizerSearch(const FftPlane& ref, const FftPlane& frame, const SearchOptions& o, double best) {
  SearchResult r;
  r.sum = best;
  const int n = o.n, c = o.c;
  const bool squares = !o.relative && !o.noSquare;
  // The plain squared search works on compact mean-free copies ((r - meanR) - (f - meanF) is the
  // same float either way): the reference at [c + j][c + k] and the frame's n x n corner.
  thread_local std::vector<float> meanFreeR, meanFreeF;
  thread_local std::vector<double> sums;
  if (squares && n > 0 && c >= 0) {
    const size_t nn = static_cast<size_t>(n) * n;
    meanFreeR.resize(nn);
    meanFreeF.resize(nn);
    sums.resize(static_cast<size_t>(2 * c + 1) * (2 * c + 1));
    for (int x = 0; x < n; ++x) {
      const float* rc = ref.column(c + x) + c;
      const float* fc = frame.column(x);
      float* rd = meanFreeR.data() + static_cast<size_t>(x) * n;
      float* fd = meanFreeF.data() + static_cast<size_t>(x) * n;
      for (int y = 0; y < n; ++y) {
        rd[y] = rc[y] - o.meanR;
        fd[y] = fc[y] - o.meanF;
      }
    }
    SquaredSums(meanFreeR.data(), meanFreeF.data(), n, c, sums.data());
  }
  const double* nextSum = sums.data();
  for (int a = -c; a <= c; ++a) {
    for (int b = -c; b <= c; ++b) {
      double sum = 0;
      if (squares && n > 0) {
        sum = *nextSum++;
      } else {
        const int jEnd = std::min(n, n - c - a);
        const int kEnd = std::min(n, n - c - b);
        for (int j = 0; j < jEnd; ++j) {
          const float* rc = ref.column(c + j) + c;
          const float* fc = frame.column(c + j + a) + c + b;
          double col = 0;
          for (int k = 0; k < kEnd; ++k) {
            float u = (rc[k] - o.meanR) - (fc[k] - o.meanF);
            if (o.relative) u = u / (rc[k] + 0.01f);
            col += o.noSquare ? std::fabs(static_cast<double>(u)) : static_cast<double>(u) * u;
          }
          sum += col;
        }
      }
      const bool take = o.laterWinsTies ? sum <= r.sum : sum < r.sum;
      if (take) {
        r.gain = static_cast<float>(100.0 - sum / (r.sum + 1) * 100.0);
        r.sum = sum;
        r.a = a;
        r.b = b;
        r.improved = true;
      }
    }
  }
  return r;
}

}  // namespace registration
