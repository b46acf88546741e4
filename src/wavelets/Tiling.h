#pragma once
// The tiles of "Do all": overlapping processing areas that together cover the image.
#include <vector>

namespace wavelets {

struct Tile {
  int ox = 0, oy = 0;
  int column = 0, row = 0;
};

struct TilePlan {
  int margin = 0, step = 0, nx = 0, ny = 0;  // m, t, W div t, H div (ah - 2m)
  std::vector<Tile> tiles;                   // row outer, column inner
};

// Area aw x ah, layer reach R (LayersReach): m = R + 2, t = aw - 2m; tile (c, r) at
// (t c, (ah - 2m) r) for c = 0..W div t, r = 0..H div (ah - 2m). No tiles when t <= 0.
TilePlan PlanTiles(int W, int H, int aw, int ah, int reach);

}  // namespace wavelets
