#pragma once
// The arithmetic of registration that does not touch the form: the alignment low-pass, the
// integer and sub-pixel shift from a correlation peak, the rank sort and the automatic cut,
// and the optimizer's window search.
#include <cstdint>
#include <vector>

#include "frames/FrameTable.h"
#include "registration/FftEngine.h"

namespace registration {

// Whether the alignment filter keeps coefficient (kx, ky) of an n x n spectrum: its distance
// from frequency zero, taken in whichever quadrant is nearer, is within the radius.
inline bool FilterKeeps(int kx, int ky, int n, float radius2) {
  const int dx = kx <= n / 2 ? kx : n - kx;
  const int dy = ky <= n / 2 ? ky : n - ky;
  return static_cast<float>(dx * dx + dy * dy) <= radius2;
}

// Zeroes every coefficient of re/im beyond the radius (the corner n x n).
void ApplyAlignmentFilter(FftPlane& re, FftPlane& im, int n, float radius2);

// The apodisation of the correlation box: a Hann taper of n points, (0.5 - 0.5 cos) at the
// pixel centres, so that the box's edges, which do not move with the feature, carry no
// weight in the correlation.
std::vector<float> HannWindow(int n);
// Makes the n x n box of `lum` mean-free under the window (the window-weighted mean is
// removed, so no constant leaks into the spectrum) and writes it tapered into `out`.
void TaperedMeanFree(const FftPlane& lum, const std::vector<float>& window, int n, FftPlane& out);
// Mean power |re|^2 + |im|^2 of the coefficients beyond half the sampling frequency (radius
// above n/2): with at least two pixels per diffraction element only noise lies there.
double CornerNoisePower(const FftPlane& re, const FftPlane& im, int n);

// Peak index on an n-point axis to the correlation shift: indices above n/2 stand for
// negative shifts, so the result lies in -n/2+1 .. n/2.
inline int PeakToShift(int p, int n) { return p > n / 2 ? p - n : p; }

// Largest value of the corner n x n, scanned x outer, y inner; the first maximum wins.
struct Peak {
  int x = 0, y = 0;
  float value = 0;
};
Peak FindPeak(const FftPlane& surface, int n);

// Sub-pixel position of the peak (px, py) of a correlation surface of size n, read with
// wrap-around: a three-point parabola along x through the peak's row gives the vertex offset
// fx and the top value; the rows above and below, fitted along x and evaluated at fx, and
// that top give a parabola along y whose vertex is fy. Offsets are in -1 .. 1; a flat or
// inverted neighbourhood gives 0. The fit does not depend on the surface's scale.
struct SubPixel {
  double fx = 0, fy = 0;
};
SubPixel ParabolaPeak(const FftPlane& surface, int n, int px, int py);

// The frames in use among 0..last with the highest Quality, best first (equal qualities in
// frame order): the given share of them, at least `minimum`.
std::vector<int> BestFrames(const frames::FrameTable& table, int last, double share, int minimum);

// Bubble sort of rank entries 0..m (descending RankQuality; equal qualities keep their
// order); entry m + 1 takes part in the comparisons when it exists.
void SortRankList(frames::FrameTable& table, int m);

// The automatic cut of "Align && stack": the last rank position before the first p >= 2 whose
// quality drops below lowPercent % of the best; maxPos when none does; 0 for maxPos 0.
int AutoStackCut(const frames::FrameTable& table, int maxPos, double lowPercent);

// The optimizer's direct search between two windows of side n + 2c + 1 (planes [x][y], the
// window centre at index h + c): every offset (a, b) in -c..c (a outer), summing the squared
// (or absolute) mean-free difference of the reference at [c + j][c + k] and the frame at
// [c + j + a][c + k + b] for j, k < n with both frame indices below n.
struct SearchResult {
  bool improved = false;
  int a = 0, b = 0;
  double sum = 0;  // the best sum found (the start value when nothing improved)
  float gain = 0;  // OptimizeGain of the last improvement
};
struct SearchOptions {
  int n = 64, c = 2;
  float meanR = 0, meanF = 0;
  bool noSquare = false, relative = false;
  bool laterWinsTies = true;  // sum <= best (progressive) or sum < best (interlaced)
};
SearchResult OptimizerSearch(const FftPlane& ref, const FftPlane& frame, const SearchOptions& o, double best);
// Whether the search may use AVX (the default) or keeps to SSE2; returns whether the processor
// has AVX. For comparing the two, which give the same sums.
bool UseAvxForSearch(bool on);

}  // namespace registration
