#pragma once
// Filling the working planes from the stack (red and blue shifted against green, or one
// luminance plane mixed from the colours or taken from a separate stack), and the least-squares
// estimate of the red and blue shifts in a box around the alignment feature.
#include <array>
#include <functional>
#include <vector>

#include "frames/Single2dArray.h"

namespace wavelets {

enum class FillMode { Mono, Colour, LrgbMix, LrgbLuminance };

struct FillSettings {
  FillMode mode = FillMode::Mono;
  int dxR = 0, dyR = 0, dxB = 0, dyB = 0;  // read offsets: red (x, y) comes from (x + dxR, y + dyR)
  float wR = 0.299f, wG = 0.587f, wB = 0.114f;
};

// Fills ColourPlanes over the W x H image. A red or blue pixel whose source lies outside the
// image takes the unshifted pixel of its own channel.
void FillWorkingPlanes(const std::array<frames::Single2dArray, 4>& stack, std::array<frames::Single2dArray, 3>& colour,
                       int W, int H, const FillSettings& s);
// The same for the rectangle x0..x1, y0..y1 only (clamped to the image).
void FillWorkingPlanes(const std::array<frames::Single2dArray, 4>& stack, std::array<frames::Single2dArray, 3>& colour,
                       int W, int H, const FillSettings& s, int x0, int y0, int x1, int y1);

// The estimate box: half size b (may come out negative) and centre.
struct ShiftBox {
  int b = 0, cx = 0, cy = 0;
};
// fftSize: the alignment box; factor: the resample factor when resampled (else 1); drizzle.
ShiftBox EstimateBox(int fftSize, bool resampled, double factor, bool drizzle, int hotX, int hotY, int W, int H);

constexpr int kShiftRange = 30;  // shifts -30..30 in both directions

// For every shift (dx, dy), E = the sum over the box of the squared difference between the
// green box and the shifted box of the other colour, each standardised to mean 0 and
// deviation 1 (a least-squares fit of gain and offset, so channels of different brightness
// compare): E = n (1 - correlation), in double. The best shift is the first smallest in the
// order dx outer, dy inner (strictly smaller replaces, starting from (0, 0)). Each row's sums
// run in four interleaved lanes (columns i = -b + 4k + lane) added 0..3, rows in order; the
// plain loop of ShiftErrorReference gives the same bits. Shifts run on the wavelet workers.
struct ShiftResult {
  int dx = 0, dy = 0;
  double error = 0;
};
// All errors, index (dx + 30) x 61 + (dy + 30); all 0 when the box does not fit (b < 0).
std::vector<double> ShiftErrors(const frames::Single2dArray& g, const frames::Single2dArray& c, const ShiftBox& box);
ShiftResult EstimateShift(const frames::Single2dArray& g, const frames::Single2dArray& c, const ShiftBox& box,
                          const std::function<void(int percent)>& progress = {});
double ShiftErrorReference(const frames::Single2dArray& g, const frames::Single2dArray& c, const ShiftBox& box,
                           int dx, int dy);

}  // namespace wavelets
