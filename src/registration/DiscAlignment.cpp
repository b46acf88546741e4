#include "registration/DiscAlignment.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace registration {

std::optional<DiscCentroid> FindDisc(const ui::Bitmap24& picture, int width, int height, const float* lumR,
                                     const float* lumG, const float* lumB, std::vector<float>& lum) {
  width = std::min(width, picture.width());
  height = std::min(height, picture.height());
  if (width < 16 || height < 16) return std::nullopt;
  constexpr int kStep = 2;
  const int cols = (width + kStep - 1) / kStep, rows = (height + kStep - 1) / kStep;
  lum.resize(static_cast<size_t>(cols) * rows);
  std::array<int, 1025> histogram{};
  for (int r = 0; r < rows; ++r) {
    const uint8_t* row = picture.row(r * kStep);
    float* out = lum.data() + static_cast<size_t>(r) * cols;
    for (int c = 0; c < cols; ++c) {
      const uint8_t* p = row + static_cast<size_t>(c) * kStep * 3;
      const float v = lumB[p[0]] + lumG[p[1]] + lumR[p[2]];
      out[c] = v;
      ++histogram[std::clamp(static_cast<int>(v * 4), 0, 1024)];
    }
  }
  // Sky from the median, object level from the brightest percent.
  const size_t total = lum.size();
  auto percentile = [&](double q) {
    const size_t want = static_cast<size_t>(q * static_cast<double>(total));
    size_t seen = 0;
    for (int i = 0; i <= 1024; ++i) {
      seen += static_cast<size_t>(histogram[static_cast<size_t>(i)]);
      if (seen > want) return i / 4.0;
    }
    return 256.0;
  };
  const double sky = percentile(0.5), top = percentile(0.99);
  if (top - sky < 20) return std::nullopt;  // no clear object
  const double threshold = sky + 0.3 * (top - sky);
  double sx = 0, sy = 0, sw = 0;
  int area = 0;
  for (int r = 0; r < rows; ++r) {
    const float* in = lum.data() + static_cast<size_t>(r) * cols;
    for (int c = 0; c < cols; ++c) {
      if (in[c] <= threshold) continue;
      // An object reaching the picture's edge is no isolated disc.
      if (r == 0 || c == 0 || r == rows - 1 || c == cols - 1) return std::nullopt;
      const double w = in[c] - sky;
      sx += w * c;
      sy += w * r;
      sw += w;
      ++area;
    }
  }
  if (area < 30 || sw <= 0) return std::nullopt;
  return DiscCentroid{sx / sw * kStep, sy / sw * kStep, area};
}

}  // namespace registration
