#pragma once
// The registration FFT workspace: one square complex 2-D transform of size 32 … 512 on
// fixed 1025-stride planes addressed plane[x * 1025 + y] (x = box column, y = box row),
// its radially averaged power spectrum and a false-colour picture of a spectrum.
//
// Results are bit-for-bit those of a plain radix-2 decimation-in-time transform whose
// twiddles come from a single-precision sine recurrence; the fast path only reorders work
// that is independent (several 1-D transforms side by side, twiddles tabulated once).
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/Bitmap24.h"

namespace registration {

constexpr int kPlaneStride = 1025;
constexpr std::size_t kPlaneElements = static_cast<std::size_t>(kPlaneStride) * kPlaneStride;

// A 1025 x 1025 float plane, zero-filled on creation, addressed [x * 1025 + y].
// Only the N x N corner of the current transform size carries data; clear and copy that
// corner with ClearCorner / CopyCorner instead of the whole 4 MB.
class FftPlane {
 public:
  FftPlane() : v_(kPlaneElements, 0.0f) {}

  float* data() { return v_.data(); }
  const float* data() const { return v_.data(); }
  // The run of rows y = 0.. of column x (contiguous).
  float* column(int x) { return v_.data() + static_cast<std::size_t>(x) * kPlaneStride; }
  const float* column(int x) const { return v_.data() + static_cast<std::size_t>(x) * kPlaneStride; }
  float& at(int x, int y) { return v_[static_cast<std::size_t>(x) * kPlaneStride + y]; }
  float at(int x, int y) const { return v_[static_cast<std::size_t>(x) * kPlaneStride + y]; }

  void ClearAll();

 private:
  std::vector<float> v_;
};

// Corner helpers; n is clamped to 0 … 1025.
void ClearCorner(FftPlane& plane, int n);
void CopyCorner(FftPlane& dst, const FftPlane& src, int n);

class FftEngine {
 public:
  static constexpr int kMinSize = 32;
  static constexpr int kMaxSize = 512;

  // Ready for the default 64-pixel box (FFTSetup(64)).
  FftEngine();

  // Prepares the workspace for size x size transforms: bit-reversal table, twiddle tables,
  // sign +1, the zero plane's corner, the spectrum tone curve (4.5, 0.45). Any other size is
  // refused (returns false) and leaves every piece of state as it was, so a later transform
  // keeps working at the previous size. FFTRe/FFTIm are not cleared.
  bool FFTSetup(int size);

  int FFTSize() const { return size_; }
  int FFTHalf() const { return half_; }
  int FFTBits() const { return bits_; }
  int FFTSign() const { return sign_; }
  float FFTScale() const { return scale_; }
  const std::array<uint16_t, 514>& BitReverse() const { return bitReverse_; }

  // 1-D transform of length FFTSize in place on RowRe/RowIm, whose input is already in
  // bit-reversed order; exponent sign FFTSign; unscaled.
  void FFT1D();
  // In place on FFTRe/FFTIm: along x for every y, then along y for every x; unscaled.
  void FFT2DForward();
  // In place on FFTRe/FFTIm with the opposite sign: along y for every x, then along x for
  // every y; each 1-D result is scaled by 1/N (1/N^2 in all), so it undoes FFT2DForward.
  void FFT2DInverse();

  // Mean normalised magnitude per integer radius 1 … 255 of FFTRe/FFTIm into RadialProfile
  // (entry i = radius i + 1; DC excluded; entry 255 always 0) and its maximum.
  void RadialSpectrum();
  // Tone curve for spectrum pictures: linear slope below the knee, power gamma above it.
  void BuildSpectrumCurve(double slope, double gamma);
  // N x N false-colour picture of |re + i im| (|re| when im is null) with frequency or
  // shift zero in the centre. Pixels with normalised magnitude >= threshold are pure blue.
  ui::Bitmap24 SpectrumBitmap(const FftPlane& re, const FftPlane* im, float threshold);

  // Corner helpers at the current size.
  void ClearCorner(FftPlane& plane) const { registration::ClearCorner(plane, size_); }
  void CopyCorner(FftPlane& dst, const FftPlane& src) const { registration::CopyCorner(dst, src, size_); }

  // Workspace, read and written directly by the registration code.
  FftPlane FFTRe, FFTIm;
  FftPlane ZeroPlane;  // stays zero; clearing by copying it is the same as ClearCorner
  std::array<float, 1025> RowRe{}, RowIm{};
  std::array<float, 256> RadialProfile{};
  float RadialProfileMax = 0.0f;
  // What the profile was divided by (the largest magnitude + 1e-5): profile * scale gives
  // the mean magnitudes themselves.
  float RadialProfileScale = 1.0f;
  std::array<double, 1001> SpectrumCurve{};

 private:
  void TransformPlanes(int sign, bool inverse);
  // Magnitudes of the N x N corner into magnitude_ ([x * N + y]); returns the largest
  // (start value -1e11).
  float Magnitudes(const float* re, const float* im);

  int size_ = 0, half_ = 0, bits_ = 0, sign_ = 1;
  float scale_ = 1.0f;
  std::array<uint16_t, 514> bitReverse_{};
  // Twiddles of every span, exactly as the recurrence produces them: span a = 2h holds h
  // entries starting at offset h - 1; index 0 for sign +1, 1 for sign -1.
  std::array<std::vector<float>, 2> twiddleRe_, twiddleIm_;
  std::vector<int16_t> radialBin_;  // [x * N + y]: radius 1 … 255, or 0 when not counted
  std::array<ui::Color, 256> wavelengthColour_{};  // colour of 380 + l nm
  std::vector<float> magnitude_;    // N x N scratch for RadialSpectrum and SpectrumBitmap
  std::array<std::vector<float>, 2> scratchRe_, scratchIm_;  // transforms side by side
};

}  // namespace registration
