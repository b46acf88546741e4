#pragma once
// Separable filtered resize of 24-bit pictures: one horizontal pass into an intermediate
// picture, then one vertical pass, with one of seven kernels. Corner pixels map onto corner
// pixels; borders are mirrored; channel sums are clamped to 0 … 255 and rounded half to even.
#include <array>
#include <memory>
#include <vector>

#include "ui/Bitmap24.h"

namespace finish {

// A kernel evaluated in single precision; support is the radius beyond which it is 0.
using ResampleKernel = float (*)(float);

struct ResampleFilter {
  const char* name;
  ResampleKernel kernel;
  float support;
};

float BoxFilter(float x);       // 1 for -0.5 < x <= 0.5
float TriangleFilter(float x);  // 1 - |x|
float HermiteFilter(float x);   // (2|x| - 3) x^2 + 1
float BellFilter(float x);      // quadratic B-spline
float BSplineFilter(float x);   // cubic B-spline
float Lanczos3Filter(float x);  // sinc(x) sinc(x/3)
float MitchellFilter(float x);  // Mitchell-Netravali, B = C = 1/3

constexpr int kResampleFilterCount = 7;
enum ResampleFilterIndex { kBox = 0, kTriangle, kHermite, kBell, kBSpline, kLanczos3, kMitchell };

// The filter table in its fixed order: "Box", "Triangle", "Hermite", "Bell", "B-Spline",
// "Lanczos3", "Mitchell".
const std::array<ResampleFilter, kResampleFilterCount>& ResampleFilters();

// The user-facing filter lists ("Bell", "Bspline"/"B-Spline", "Lanczos", "Mitchell") map
// item i to table index 3 + i; an item outside 0 … 3 (no selection) gives "Bell".
int ResampleFilterIndexForItem(int itemIndex);

// Resizes src into dst; dst's current size is the output size and its content is replaced.
// An empty source throws px::PelinoxaError("Source bitmap too small"); an empty dst is left
// as it is. src and dst may be the same picture (then the size does not change).
// A null kernel or a support outside 0 … 1000 throws px::PelinoxaError.
void ResampleImage(const ui::Bitmap24& src, ui::Bitmap24& dst, ResampleKernel kernel, float support);
// The same with a filter table index 0 … 6 (anything else throws px::PelinoxaError).
void ResampleImage(const ui::Bitmap24& src, ui::Bitmap24& dst, int filterIndex);

// The same resize repeated on pictures of unchanging sizes (stacking enlarges every frame):
// the contributors and row buffers are kept from one call to the next and remade only when
// a size or the filter changes. Results equal ResampleImage's.
class Resampler {
 public:
  Resampler();
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;
  void Run(const ui::Bitmap24& src, ui::Bitmap24& dst, ResampleKernel kernel, float support);
  void Run(const ui::Bitmap24& src, ui::Bitmap24& dst, int filterIndex);

 private:
  struct Plan;
  std::unique_ptr<Plan> plan_;
};

// Contributors of one pass: for output index i, entries first[i] … first[i + 1] - 1 of
// source (already mirrored into 0 … srcLen - 1) and weight, in ascending order of the
// unmirrored source position. Zero weights are not stored.
struct ResampleContributors {
  std::vector<int> first;
  std::vector<int> source;
  std::vector<float> weight;
};
// Scale used for srcLen -> dstLen: dstLen / srcLen when either is 1, else
// (dstLen - 1) / (srcLen - 1).
float ResampleScale(int srcLen, int dstLen);
ResampleContributors BuildResampleContributors(int srcLen, int dstLen, ResampleKernel kernel, float support);

}  // namespace finish
