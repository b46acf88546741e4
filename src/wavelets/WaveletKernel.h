#pragma once
// The 5 x 5 smoothing kernel of the decomposition and the layer scales.
#include <array>
#include <string>

namespace wavelets {

// Grid of integer weights, index row * 5 + column (the spin FilterXY has index Y * 5 + X).
using KernelGrid = std::array<int, 25>;
// Normalised weights, same index.
using Kernel = std::array<float, 25>;

// Centre 50, the eight neighbours 6, the outer ring 0.
KernelGrid DefaultKernelGrid();

// Weights divided by their sum. A grid whose weights sum to 0 cannot be normalised: false,
// `error` says why and `out` is left alone.
bool NormaliseKernel(const KernelGrid& grid, Kernel& out, std::string& error);

// Scale of layer n (1..6): Round(2^(n-1)) for the dyadic scheme, else Round(step (n-1) + initial).
int LayerScale(int n, bool dyadic, double initial, double step);

// How far the six layers reach: the farthest positive tap (in grid steps) times the sum of the
// layer scales (index 1..6). A pixel at least this far inside the area has exactly the layers
// a whole-image decomposition gives it; nearer an inner edge they were computed from
// unsmoothed surroundings. The display leaves that band out, and "Do all" overlaps its tiles
// by twice (reach + 2).
int LayersReach(const std::array<int, 7>& scales, const Kernel& kernel);

}  // namespace wavelets
