#include "wavelets/RgbShift.h"

#include <algorithm>
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
  if (r.b + r.cx + kShiftRange >= W) r.b = W - r.cx - kShiftRange;
  if (r.b + r.cy + kShiftRange >= H) r.b = H - r.cy - kShiftRange;
  if (r.cx - r.b - kShiftRange - 1 < 0) r.b = r.cx - kShiftRange;
  if (r.cy - r.b - kShiftRange - 1 < 0) r.b = r.cy - kShiftRange;
  return r;
}

namespace {

// One row of the box: four interleaved partial sums, added lane 0..3.
inline double RowError(const float* g, const float* c, int n) {
  double lane[4] = {0, 0, 0, 0};
  int i = 0;
  for (; i + 4 <= n; i += 4)
    for (int k = 0; k < 4; ++k) {
      const double d = static_cast<double>(g[i + k]) - static_cast<double>(c[i + k]);
      lane[k] += d * d;
    }
  for (int k = 0; i < n; ++i, ++k) {
    const double d = static_cast<double>(g[i]) - static_cast<double>(c[i]);
    lane[k] += d * d;
  }
  return ((lane[0] + lane[1]) + lane[2]) + lane[3];
}

}  // namespace

double ShiftErrorReference(const frames::Single2dArray& g, const frames::Single2dArray& c, const ShiftBox& box, int dx,
                           int dy) {
  const int b = box.b;
  if (b < 0) return 0;
  double total = 0;
  for (int j = -b; j <= b; ++j) {
    double lane[4] = {0, 0, 0, 0};
    for (int i = -b; i <= b; ++i) {
      const double d = static_cast<double>(g.Get(box.cx + i, box.cy + j)) -
                       static_cast<double>(c.Get(box.cx + i + dx, box.cy + j + dy));
      lane[(i + b) % 4] += d * d;
    }
    total += ((lane[0] + lane[1]) + lane[2]) + lane[3];
  }
  return total;
}

std::vector<double> ShiftErrors(const frames::Single2dArray& g, const frames::Single2dArray& c, const ShiftBox& box) {
  constexpr int kSide = 2 * kShiftRange + 1;
  std::vector<double> E(static_cast<size_t>(kSide) * kSide, 0.0);
  const int b = box.b;
  if (b < 0) return E;
  const int n = 2 * b + 1;
  // Workers take whole columns of shifts (one dx each).
  ParallelRows(
      -kShiftRange, kShiftRange + 1,
      [&](int first, int last) {
        for (int dx = first; dx < last; ++dx)
          for (int dy = -kShiftRange; dy <= kShiftRange; ++dy) {
            double total = 0;
            for (int j = -b; j <= b; ++j)
              total += RowError(g.Row(box.cy + j) + box.cx - b, c.Row(box.cy + j + dy) + box.cx - b + dx, n);
            E[static_cast<size_t>(dx + kShiftRange) * kSide + (dy + kShiftRange)] = total;
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
