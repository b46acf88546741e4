#pragma once
// Drizzle geometry: how a frame's shift splits into a whole-pixel part and a fraction, and the
// table of fine-grid cells a shrunken source pixel ("drop") falls on, with their weights.
#include <array>

namespace stacking {

struct DropCell {
  int j = 0, k = 0;   // cell column and row, 0 … 3, relative to twice the source pixel
  float weight = 0;   // share of the drop, normalised over all hit cells
};

struct DropTable {
  std::array<DropCell, 16> cells{};
  int count = 0;
};

// The drop [qx, qx + s] x [qy, qy + s] over the 4 x 4 half-pixel cells: a cell counts when it
// holds one of the drop's corners; weights are overlap areas divided by their sum (1 when
// the sum is 0). Cells are listed column-major (j outer, k inner).
DropTable BuildDropTable(double qx, double qy, double s);

struct SplitShift {
  int sx = 0, sy = 0;
  double qx = 0, qy = 0;
};

// Whole and fractional part of a frame's shift. With `resampled` the shift was measured on
// frames enlarged by `factor`; with `subPixel` the fine shift decides (it wins).
SplitShift SplitDrizzleShift(int shiftX, int shiftY, float fineX, float fineY, bool resampled, double factor,
                             bool subPixel);

}  // namespace stacking
