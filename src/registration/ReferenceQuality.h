#pragma once
// A frame's sharpness measured against the reference made of the best frames. Seeing takes
// away modulation and scrambles phase; correlating the frame's box with the reference through
// the reference's (noise-regularised) inverse filter compares, frequency by frequency, how
// much of the reference's detail the frame keeps, in amplitude and in phase, and sums that
// over the quality band. A frame as sharp as the reference scores about 1. Compared with the
// band power of a single box, the object's own spectrum and the box edges drop out, and the
// phase the seeing scrambles counts too.
#include <memory>
#include <vector>

#include "registration/FftEngine.h"
#include "registration/QualityMeasure.h"

namespace registration {

class ReferenceQuality {
 public:
  // The comparison covers at least this many pixels around the feature: a smaller box's
  // band holds too few coefficients for a steady measure on turbulent frames.
  static constexpr int kMinSide = 128;

  // reference: the reference box's luminance in the n x n corner ([x][y]) of the engine's
  // size n; window: the correlation taper; averaged: how many frames the reference averages
  // (its noise is a single frame's divided by that). Uses e.FFTRe/FFTIm as workspace.
  void Prepare(FftEngine& e, const FftPlane& reference, const std::vector<float>& window, QualityBand band,
               int averaged);
  bool Ready() const { return n_ > 0; }
  int Side() const { return n_; }
  void Clear() { n_ = 0; }
  // The quality of one box (same size and layout as the reference): the highest value of the
  // filtered correlation per unit of the box's mean brightness. 0 for a dark or flat box.
  double Measure(FftEngine& e, const FftPlane& box) const;

 private:
  int n_ = 0;
  std::vector<float> window_;
  // The filter conj(R) / (|R|^2 + noise) on the band, zero elsewhere, as [x * n + y].
  std::vector<float> gRe_, gIm_;
  double norm_ = 0;  // n^2 / coefficients in the band: a box equal to the reference scores ~1
};

}  // namespace registration
