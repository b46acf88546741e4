#include "stacking/DrizzleTable.h"

#include <algorithm>
#include <cmath>

namespace stacking {

DropTable BuildDropTable(double qx, double qy, double s) {
  const double cx[2] = {qx, qx + s}, cy[2] = {qy, qy + s};
  double weight[4][4] = {};
  bool hit[4][4] = {};
  double total = 0;
  for (int j = 0; j < 4; ++j) {
    const double x0 = j * 0.5, x1 = (j + 1) * 0.5;
    for (int k = 0; k < 4; ++k) {
      const double y0 = k * 0.5, y1 = (k + 1) * 0.5;
      bool corner = false;
      for (double x : cx)
        for (double y : cy)
          if (x >= x0 && x <= x1 && y >= y0 && y <= y1) corner = true;
      if (!corner) continue;
      const double w = std::max(0.0, std::min(x1, cx[1]) - std::max(x0, cx[0])) *
                       std::max(0.0, std::min(y1, cy[1]) - std::max(y0, cy[0]));
      hit[j][k] = true;
      weight[j][k] = w;
      total += w;
    }
  }
  if (total == 0) total = 1;
  DropTable t;
  for (int j = 0; j < 4; ++j)
    for (int k = 0; k < 4; ++k)
      if (hit[j][k]) t.cells[t.count++] = {j, k, static_cast<float>(weight[j][k] / total)};
  return t;
}

SplitShift SplitDrizzleShift(int shiftX, int shiftY, float fineX, float fineY, bool resampled, double factor,
                             bool subPixel) {
  SplitShift r{shiftX, shiftY, 0, 0};
  if (subPixel) {
    r.sx = static_cast<int>(std::trunc(fineX));
    r.sy = static_cast<int>(std::trunc(fineY));
    r.qx = fineX - r.sx;
    r.qy = fineY - r.sy;
  } else if (resampled && factor > 0) {
    const int tx = static_cast<int>(std::trunc(shiftX / factor));
    const int ty = static_cast<int>(std::trunc(shiftY / factor));
    r.qx = (shiftX - tx * factor) / factor;
    r.qy = (shiftY - ty * factor) / factor;
    r.sx = tx;
    r.sy = ty;
  }
  return r;
}

}  // namespace stacking
