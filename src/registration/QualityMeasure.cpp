#include "registration/QualityMeasure.h"

#include <algorithm>
#include <cmath>

namespace registration {

QualityBand BandForBox(int qualityFilter, int qualFilterDX, int n) {
  const double s = static_cast<double>(n) / kQualityReferenceBox;
  return {qualityFilter * s, (qualityFilter + qualFilterDX) * s};
}

double NoiseFloor(const std::array<float, 256>& profile, int n) {
  // Entry i holds radius i + 1.
  const int first = n / 2;                                            // radius n/2 + 1
  const int last = std::min(static_cast<int>(0.7 * n) - 1, 254);      // entry 255 is always 0
  double sum = 0;
  int count = 0;
  for (int i = first; i <= last; ++i) {
    sum += profile[static_cast<size_t>(i)];
    ++count;
  }
  return count > 0 ? sum / count : 0.0;
}

QualityParts MeasureQuality(const std::array<float, 256>& profile, float profileScale, int n, double boxMean,
                            int qualityFilter, int qualFilterDX) {
  QualityParts q;
  q.floor = NoiseFloor(profile, n);
  const QualityBand b = BandForBox(qualityFilter, qualFilterDX, n);
  const int first = std::max(0, static_cast<int>(std::floor(b.lo)) + 1);
  const int last = std::min(254, static_cast<int>(std::ceil(b.hi)) - 1);
  for (int i = first; i <= last; ++i) q.band += profile[static_cast<size_t>(i)] - q.floor;
  const double norm = boxMean * static_cast<double>(n) * n;
  if (norm > 1e-6) q.quality = q.band * profileScale / norm;
  return q;
}

std::vector<float> QualityTaper(int n) {
  std::vector<float> w(static_cast<size_t>(std::max(n, 0)), 1.0f);
  constexpr double kEdge = 0.25;  // share of the box tapered on each side
  for (int i = 0; i < n; ++i) {
    const double t = (i + 0.5) / n;
    const double edge = std::min(t, 1 - t);
    if (edge < kEdge) w[static_cast<size_t>(i)] = static_cast<float>(0.5 - 0.5 * std::cos(M_PI * edge / kEdge));
  }
  return w;
}

void ApplyQualityTaper(float* plane, int stride, const std::vector<float>& taper, int n) {
  for (int x = 0; x < n; ++x) {
    float* col = plane + static_cast<size_t>(x) * stride;
    const float wx = taper[static_cast<size_t>(x)];
    for (int y = 0; y < n; ++y) col[y] *= wx * taper[static_cast<size_t>(y)];
  }
}

}  // namespace registration
