#include "wavelets/RgbShift.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/Numbers.h"
#include "wavelets/ParallelRows.h"

namespace wavelets {

void FillWorkingPlanes(const std::array<frames::Single2dArray, 4>& stack, std::array<frames::Single2dArray, 3>& colour,
                       int W, int H, const FillSettings& s) {
  FillWorkingPlanes(stack, colour, W, H, s, 0, 0, W - 1, H - 1);
}

void FillWorkingPlanes(const std::array<frames::Single2dArray, 4>& stack, std::array<frames::Single2dArray, 3>& colour,
                       int W, int H, const FillSettings& s, int x0, int y0, int x1, int y1) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, W - 1);
  y1 = std::min(y1, H - 1);
  if (x1 < x0 || y1 < y0) return;
  const int n = x1 - x0 + 1;
  auto inside = [&](int x, int y) { return x >= 0 && x < W && y >= 0 && y < H; };
  ParallelRows(y0, y1 + 1, [&](int first, int last) {
    for (int y = first; y < last; ++y) {
      const float* G = stack[1].Row(y);
      float* c1 = colour[1].Row(y);
      switch (s.mode) {
        case FillMode::Mono:
          std::copy_n(G + x0, n, c1 + x0);
          break;
        case FillMode::LrgbLuminance:
          std::copy_n(stack[3].Row(y) + x0, n, c1 + x0);
          break;
        case FillMode::LrgbMix:
          for (int x = x0; x <= x1; ++x) {
            float v = s.wG * G[x];
            if (inside(x + s.dxR, y + s.dyR)) v += s.wR * stack[0].Get(x + s.dxR, y + s.dyR);
            if (inside(x + s.dxB, y + s.dyB)) v += s.wB * stack[2].Get(x + s.dxB, y + s.dyB);
            c1[x] = v;
          }
          break;
        case FillMode::Colour: {
          std::copy_n(G + x0, n, c1 + x0);
          float* c0 = colour[0].Row(y);
          float* c2 = colour[2].Row(y);
          for (int x = x0; x <= x1; ++x) {
            c0[x] = inside(x + s.dxR, y + s.dyR) ? stack[0].Get(x + s.dxR, y + s.dyR) : stack[0].Get(x, y);
            c2[x] = inside(x + s.dxB, y + s.dyB) ? stack[2].Get(x + s.dxB, y + s.dyB) : stack[2].Get(x, y);
          }
          break;
        }
      }
    }
  });
}

ShiftBox EstimateBox(int N, bool resampled, double factor, bool drizzle, int hotX, int hotY, int W, int H) {
  ShiftBox r;
  r.b = N / 2;
  if (resampled) r.b = px::Round(factor * N * 0.5);
  if (drizzle) r.b = N;
  r.b = std::min(r.b, 128);
  r.cx = hotX;
  r.cy = hotY;
  if (resampled) {
    r.cx = px::Round(hotX * factor);
    r.cy = px::Round(hotY * factor);
  }
  if (drizzle) {
    r.cx = hotX * 2;
    r.cy = hotY * 2;
  }
  // The search reaches b + 30 to either side; it stays on columns 0..W-1 and rows 0..H-1.
  if (r.b + r.cx + kShiftRange >= W) r.b = W - r.cx - kShiftRange - 1;
  if (r.b + r.cy + kShiftRange >= H) r.b = H - r.cy - kShiftRange - 1;
  if (r.cx - r.b - kShiftRange - 1 < 0) r.b = r.cx - kShiftRange;
  if (r.cy - r.b - kShiftRange - 1 < 0) r.b = r.cy - kShiftRange;
  return r;
}

namespace {

// Sums over one row of the box in four interleaved lanes (column i = -b + 4k + lane), the
// lanes added 0..3: the sum of c, of c^2 and of g c.
struct Sums {
  double c = 0, cc = 0, gc = 0;
};

inline void AddRow(const float* g, const float* c, int n, Sums& out) {
  double s[4] = {0, 0, 0, 0}, ss[4] = {0, 0, 0, 0}, gs[4] = {0, 0, 0, 0};
  int i = 0;
  for (; i + 4 <= n; i += 4)
    for (int k = 0; k < 4; ++k) {
      const double cv = c[i + k], gv = g[i + k];
      s[k] += cv;
      ss[k] += cv * cv;
      gs[k] += gv * cv;
    }
  for (int k = 0; i < n; ++i, ++k) {
    const double cv = c[i], gv = g[i];
    s[k] += cv;
    ss[k] += cv * cv;
    gs[k] += gv * cv;
  }
  out.c += ((s[0] + s[1]) + s[2]) + s[3];
  out.cc += ((ss[0] + ss[1]) + ss[2]) + ss[3];
  out.gc += ((gs[0] + gs[1]) + gs[2]) + gs[3];
}

// Sum of squares of the standardised differences: n (1 - correlation); 0 for a perfect match,
// n when either box is flat.
inline double Error(const Sums& g, const Sums& c, double n) {
  const double vg = g.cc - g.c * g.c / n, vc = c.cc - c.c * c.c / n;
  if (!(vg > 0) || !(vc > 0)) return n;
  return n * (1 - (c.gc - g.c * c.c / n) / std::sqrt(vg * vc));
}

// The green box's own sums (g against itself).
Sums GreenSums(const frames::Single2dArray& g, const ShiftBox& box) {
  Sums s;
  const int n = 2 * box.b + 1;
  for (int j = -box.b; j <= box.b; ++j) {
    const float* row = g.Row(box.cy + j) + box.cx - box.b;
    AddRow(row, row, n, s);
  }
  return s;
}

}  // namespace

double ShiftErrorReference(const frames::Single2dArray& g, const frames::Single2dArray& c, const ShiftBox& box, int dx,
                           int dy) {
  const int b = box.b;
  if (b < 0) return 0;
  Sums gs, cs;
  for (int j = -b; j <= b; ++j) {
    double lanes[3][4] = {};
    double glanes[2][4] = {};
    for (int i = -b; i <= b; ++i) {
      const double gv = g.Get(box.cx + i, box.cy + j), cv = c.Get(box.cx + i + dx, box.cy + j + dy);
      const int k = (i + b) % 4;
      lanes[0][k] += cv;
      lanes[1][k] += cv * cv;
      lanes[2][k] += gv * cv;
      glanes[0][k] += gv;
      glanes[1][k] += gv * gv;
    }
    auto add = [](const double* l) { return ((l[0] + l[1]) + l[2]) + l[3]; };
    cs.c += add(lanes[0]);
    cs.cc += add(lanes[1]);
    cs.gc += add(lanes[2]);
    gs.c += add(glanes[0]);
    gs.cc += add(glanes[1]);
  }
  const double n = static_cast<double>(2 * b + 1) * (2 * b + 1);
  return Error(gs, cs, n);
}

std::vector<double> ShiftErrors(const frames::Single2dArray& g, const frames::Single2dArray& c, const ShiftBox& box) {
  constexpr int kSide = 2 * kShiftRange + 1;
  std::vector<double> E(static_cast<size_t>(kSide) * kSide, 0.0);
  const int b = box.b;
  if (b < 0) return E;
  const int n = 2 * b + 1;
  const Sums gs = GreenSums(g, box);
  const double count = static_cast<double>(n) * n;
  // Workers take whole columns of shifts (one dx each).
  ParallelRows(
      -kShiftRange, kShiftRange + 1,
      [&](int first, int last) {
        for (int dx = first; dx < last; ++dx)
          for (int dy = -kShiftRange; dy <= kShiftRange; ++dy) {
            Sums cs;
            for (int j = -b; j <= b; ++j)
              AddRow(g.Row(box.cy + j) + box.cx - b, c.Row(box.cy + j + dy) + box.cx - b + dx, n, cs);
            E[static_cast<size_t>(dx + kShiftRange) * kSide + (dy + kShiftRange)] = Error(gs, cs, count);
          }
      },
      1);
  return E;
}
ShiftResult EstimateShift(const frames::Single2dArray& g, const frames::Single2dArray& c, const ShiftBox& box,
                          const std::function<void(int)>& progress) {
  constexpr int kSide = 2 * kShiftRange + 1;
  const std::vector<double> E = ShiftErrors(g, c, box);
  ShiftResult best{0, 0, E[static_cast<size_t>(kShiftRange) * kSide + kShiftRange]};
  for (int dx = -kShiftRange; dx <= kShiftRange; ++dx) {
    for (int dy = -kShiftRange; dy <= kShiftRange; ++dy) {
      const double e = E[static_cast<size_t>(dx + kShiftRange) * kSide + (dy + kShiftRange)];
      if (e < best.error) best = {dx, dy, e};
    }
    if (progress) progress(px::Round((kShiftRange + 60.0 * dx + 1830) / 3600.0 * 100));
  }
  return best;
}

}  // namespace wavelets
