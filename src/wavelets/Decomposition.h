#pragma once
// One layer of the a-trous decomposition: the working plane is smoothed with the kernel whose
// taps lie `scale` pixels apart, the difference is the layer, and the smoothed plane replaces
// the working plane inside the processing area (the residual for the next layer).
#include <array>

#include "frames/Single2dArray.h"
#include "wavelets/WaveletKernel.h"

namespace wavelets {

// The processed rectangle, inclusive corners in image coordinates.
struct AreaRect {
  int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
  bool empty() const { return x1 < x0 || y1 < y0; }
  int width() const { return x1 - x0 + 1; }
  int height() const { return y1 - y0 + 1; }
};

// Offset (ox, oy) and size aw x ah clamped to a W x H image.
AreaRect ClampArea(int ox, int oy, int aw, int ah, int W, int H);

// Sums over the detail values strictly inside a 10-pixel inner band of the area.
struct LayerSums {
  float sumAbs = 0;
  double sumSq = 0, sum = 0;
  long long count = 0;
};

// Layer statistics, index 1..6 (0 unused).
struct LayerStatistics {
  std::array<float, 7> Variance{}, MeanAbs{}, NoiseRatio{}, NoiseLevel{};
};

// Decomposes one channel at one scale. Taps with weight <= 0 or outside the W x H image are
// skipped (not renormalised). `work` receives the smoothed values, which are then copied into
// `colour` over the area; `layer` receives colour - smooth at (x - x0, y - y0). When `sums` is
// given, the detail values inside the inner band are added to it. Rows run on the wavelet
// workers; the result is the same for any number of them.
void DecomposeLayer(frames::Single2dArray& colour, frames::Single2dArray& work, frames::Single2dArray& layer,
                    const Kernel& kernel, int scale, const AreaRect& area, int W, int H, LayerSums* sums);

// Variance and mean absolute value of layer n from its sums (count raised to at least 2).
void FinishLayerStatistics(const LayerSums& s, int n, LayerStatistics& out);
// Noise ratio and noise level of every layer, from the mean absolute values.
void DeriveStatistics(LayerStatistics& st);

}  // namespace wavelets
