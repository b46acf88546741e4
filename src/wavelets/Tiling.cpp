#include "wavelets/Tiling.h"


namespace wavelets {

TilePlan PlanTiles(int W, int H, int aw, int ah, int reach) {
  TilePlan p;
  p.margin = reach + 2;
  p.step = aw - 2 * p.margin;
  const int stepY = ah - 2 * p.margin;
  if (p.step <= 0 || stepY <= 0) return p;
  p.nx = W / p.step;
  p.ny = H / stepY;  // rows step by ah - 2m, so they are counted by it
  for (int r = 0; r <= p.ny; ++r)
    for (int c = 0; c <= p.nx; ++c) p.tiles.push_back({p.step * c, stepY * r, c, r});
  return p;
}

}  // namespace wavelets
