#include "wavelets/NoiseEstimators.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"

namespace wavelets {

std::array<float, 7> EstimateThresholds(int method, double f, const LayerStatistics& st,
                                        const std::array<float, 7>& saved) {
  std::array<float, 7> t{};
  for (int n = 1; n <= 6; ++n) {
    switch (method) {
      case 1: t[n] = static_cast<float>(f * st.Variance[n] * 0.1); break;
      case 2: t[n] = static_cast<float>(f * st.NoiseRatio[n] * 0.1); break;
      case 3: t[n] = static_cast<float>(f * st.NoiseLevel[n] * 0.1); break;
      case 4: t[n] = static_cast<float>(f * st.MeanAbs[n] * 0.1); break;
      case 5: t[n] = saved[n]; break;
      default: t[n] = 0; break;
    }
  }
  return t;
}

ThresholdSlider SliderForThreshold(float t) {
  ThresholdSlider s;
  // A threshold beyond any slider's reach (a huge variance) is held at the largest range.
  const double scaled = std::clamp(static_cast<double>(t) * 1000, -1.0e8, 1.0e8);
  s.max = px::Round(scaled) * 2 + 1;
  s.value = s.max / 2;
  return s;
}

double AntiRingLuminance(const std::array<frames::Single2dArray, 3>& p, int X, int Y, int W, int H, bool colour,
                         const std::array<float, 3>& w) {
  double sum = 0;
  int count = 0;
  for (int y = std::max(Y - 5, 0); y <= std::min(Y + 5, H - 1); ++y)
    for (int x = std::max(X - 5, 0); x <= std::min(X + 5, W - 1); ++x) {
      sum += colour ? w[0] * p[0].Get(x, y) + w[1] * p[1].Get(x, y) + w[2] * p[2].Get(x, y) : w[1] * p[1].Get(x, y);
      ++count;
    }
  return count ? sum * (1.0 / count) : 0.0;
}

AntiRingSlider AntiRingSliderFor(double L) {
  AntiRingSlider s;
  if (L >= 0) {
    s.max = px::Round(L * 5000);
    s.min = px::Round(L * 100);
    s.value = px::Round(L * 2000);
  } else {
    s.min = px::Round(L * 5000);
    s.max = px::Round(std::fabs(L) * 5000);
    s.value = px::Round(L * 1000);
  }
  return s;
}

}  // namespace wavelets
