#pragma once
// The frame-quality measure: how much modulation a box holds, above its noise, in a band of
// spatial frequencies. Seeing takes away the middle frequencies first, so a sharper frame
// keeps more there; noise is flat across the spectrum, so what lies beyond the optics'
// cut-off (the corners of the spectrum) tells how much of every band is noise.
#include <array>
#include <vector>

namespace registration {

// The band's control values (profile entries of a 64-pixel box) scaled to an n-pixel box,
// so that one setting means the same spatial frequencies at every box size: the band holds
// the profile entries i with lo < i < hi (both ends excluded).
struct QualityBand {
  double lo = 0, hi = 0;
};
constexpr int kQualityReferenceBox = 64;
QualityBand BandForBox(int qualityFilter, int qualFilterDX, int n);

// Mean of the radial profile entries beyond half the sampling frequency (radius n/2 to
// 0.7 n): for any capture sampled at two pixels or more per diffraction element nothing but
// noise lies there. 0 when the profile holds no such entries.
double NoiseFloor(const std::array<float, 256>& profile, int n);

struct QualityParts {
  double band = 0;     // sum over the band of (profile - floor), in profile units
  double floor = 0;    // the noise floor, in profile units
  double quality = 0;  // the band as mean magnitude per mean brightness
};
// profile: the radial magnitude profile of the box's spectrum divided by `profileScale`
// (as the FFT engine leaves it); boxMean: the box's mean brightness before it was made
// mean-free. quality = sum over the band of (profile - floor) * profileScale / (boxMean * n^2):
// 0 for a box holding only noise, independent of the exposure and of the gain.
QualityParts MeasureQuality(const std::array<float, 256>& profile, float profileScale, int n, double boxMean,
                            int qualityFilter, int qualFilterDX);

// The quality box's taper: flat over its middle half, a raised cosine over the outer quarter
// on each side. It keeps the box edges' discontinuity (which does not change with the
// seeing) out of the band while keeping most of the box's pixels at full weight.
std::vector<float> QualityTaper(int n);
// Multiplies the n x n corner of a [x][y] plane (stride `stride`) by the taper on both axes.
void ApplyQualityTaper(float* plane, int stride, const std::vector<float>& taper, int n);

}  // namespace registration
