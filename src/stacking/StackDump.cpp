// The stack as the batch tool dumps it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "stacking/StackingController.h"

namespace stacking {

px::Json StackingController::DumpJson() const {
  const auto& s = st_;
  const auto& p = d_.planes;
  px::Json j = px::Json::object();
  const int w = s.StackWidth, h = s.StackHeight;
  j["StackExists"] = s.StackExists;
  j["width"] = w;
  j["height"] = h;
  j["StackMax"] = s.StackMax;
  j["StackMin"] = s.StackMin;
  j["StackedCount"] = s.StackedCount;
  j["ExpandOffsetX"] = s.ExpandOffsetX;
  j["ExpandOffsetY"] = s.ExpandOffsetY;
  j["ImageCaption"] = c_.Stackimagesize.caption();
  j["InfoLabel"] = c_.StackInfoLabel.caption();
  j["RxLabel4"] = c_.RxLabel4.caption();
  const bool ok = w > 0 && h > 0 && !p.CoveragePlane.empty() && p.CoveragePlane.nominalWidth() >= w - 1;
  if (!ok) return j;
  float cmin = 3e38f, cmax = -3e38f;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      cmin = std::min(cmin, p.CoveragePlane.Get(x, y));
      cmax = std::max(cmax, p.CoveragePlane.Get(x, y));
    }
  j["coverageMin"] = cmin;
  j["coverageMax"] = cmax;
  // A checksum per plane: the sum of its values and an order-sensitive hash of their bits.
  const char* names[] = {"R", "G", "B", "L"};
  px::Json planes = px::Json::object();
  for (int k = 0; k < 4; ++k) {
    double sum = 0;
    uint64_t hash = 1469598103934665603ull;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        float v = p.StackPlanes[k].Get(x, y);
        sum += v;
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        hash = (hash ^ bits) * 1099511628211ull;
      }
    px::Json e = px::Json::object();
    e["sum"] = sum;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    e["hash"] = std::string(text);
    planes[names[k]] = e;
  }
  j["planes"] = planes;
  return j;
}

}  // namespace stacking
