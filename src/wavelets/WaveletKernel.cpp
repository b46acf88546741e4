#include "wavelets/WaveletKernel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Numbers.h"

namespace wavelets {

KernelGrid DefaultKernelGrid() {
  KernelGrid g{};
  for (int y = 1; y <= 3; ++y)
    for (int x = 1; x <= 3; ++x) g[y * 5 + x] = 6;
  g[12] = 50;
  return g;
}

bool NormaliseKernel(const KernelGrid& grid, Kernel& out, std::string& error) {
  double sum = 0;
  for (int v : grid) sum += v;
  if (sum == 0) {
    error = "The filter weights add up to 0; the filter is not used.";
    return false;
  }
  for (int k = 0; k < 25; ++k) out[k] = static_cast<float>(grid[k] / sum);
  return true;
}

int LayerScale(int n, bool dyadic, double initial, double step) {
  if (dyadic) return px::Round(std::ldexp(1.0, n - 1));
  return px::Round(step * (n - 1) + initial);
}

int LayersReach(const std::array<int, 7>& scales, const Kernel& kernel) {
  int r = 0;
  for (int j = -2; j <= 2; ++j)
    for (int i = -2; i <= 2; ++i)
      if (kernel[(j + 2) * 5 + (i + 2)] > 0) r = std::max({r, std::abs(i), std::abs(j)});
  int sum = 0;
  for (int n = 1; n <= 6; ++n) sum += scales[n];
  return r * sum;
}

}  // namespace wavelets
