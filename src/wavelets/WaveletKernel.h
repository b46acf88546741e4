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

// Band of an inner area edge the display leaves out: Round(5 step + initial) + 3.
int DisplayMargin(double initial, double step);
// Half the overlap of neighbouring "Do all" tiles: Round(5 step + initial) + 5.
int TileMargin(double initial, double step);

}  // namespace wavelets
