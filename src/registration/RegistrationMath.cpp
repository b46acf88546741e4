#include "registration/RegistrationMath.h"

#include <algorithm>
#include <cmath>

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

SubPixel ParabolaPeak(const FftPlane& s, int n, int px, int py) {
  SubPixel r;
  if (n < 3) return r;
  const int xm = (px + n - 1) % n, xp = (px + 1) % n;
  const int ym = (py + n - 1) % n, yp = (py + 1) % n;
  double fx = 0, top = 0;
  if (!Vertex(s.at(xm, py), s.at(px, py) - 1.0, s.at(xp, py), fx, top)) return r;
  r.fx = fx;
  const double above = EvalParabola(s.at(xm, ym), s.at(px, ym), s.at(xp, ym), fx);
  const double below = EvalParabola(s.at(xm, yp), s.at(px, yp), s.at(xp, yp), fx);
  double fy = 0, topY = 0;
  if (Vertex(above, top, below, fy, topY)) r.fy = fy;
  return r;
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

SearchResult OptimizerSearch(const FftPlane& ref, const FftPlane& frame, const SearchOptions& o, double best) {
  SearchResult r;
  r.sum = best;
  const int n = o.n, c = o.c;
  for (int a = -c; a <= c; ++a) {
    for (int b = -c; b <= c; ++b) {
      const int jEnd = std::min(n, n - c - a);
      const int kEnd = std::min(n, n - c - b);
      double sum = 0;
      for (int j = 0; j < jEnd; ++j) {
        const float* rc = ref.column(c + j) + c;
        const float* fc = frame.column(c + j + a) + c + b;
        double col = 0;
        if (!o.relative && !o.noSquare) {
          // Eight running sums, so the loop runs in vector lanes.
          double acc[8] = {};
          int k = 0;
          for (; k + 8 <= kEnd; k += 8)
            for (int l = 0; l < 8; ++l) {
              const float u = (rc[k + l] - o.meanR) - (fc[k + l] - o.meanF);
              acc[l] += static_cast<double>(u) * u;
            }
          for (; k < kEnd; ++k) {
            const float u = (rc[k] - o.meanR) - (fc[k] - o.meanF);
            acc[0] += static_cast<double>(u) * u;
          }
          col = ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
        } else {
          for (int k = 0; k < kEnd; ++k) {
            float u = (rc[k] - o.meanR) - (fc[k] - o.meanF);
            if (o.relative) u = u / (rc[k] + 0.01f);
            col += o.noSquare ? std::fabs(static_cast<double>(u)) : static_cast<double>(u) * u;
          }
        }
        sum += col;
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
