#pragma once
// Deterministic test pictures for the wavelet tests.
#include <cmath>
#include <cstdint>

#include "frames/Single2dArray.h"

namespace wavetest {

// A disc with bands, a ramp and a fixed pseudo-random texture (LCG, fixed seed).
inline void FillPattern(frames::Single2dArray& p, int W, int H, uint32_t seed = 12345) {
  uint32_t s = seed;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      s = s * 1664525u + 1013904223u;
      const double dx = x - W * 0.5, dy = y - H * 0.45;
      const double r = std::sqrt(dx * dx + dy * dy);
      double v = r < W * 0.3 ? 150 + 30 * std::sin(dy * 0.4) : 10;
      v += 0.2 * x + (s >> 24) * 0.05;
      p.Set(x, y, static_cast<float>(v));
    }
}

inline void Fill(frames::Single2dArray& p, int W, int H, float v) {
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) p.Set(x, y, v);
}

}  // namespace wavetest
