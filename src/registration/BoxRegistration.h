#pragma once
// The per-frame cores of registration, without a form: cutting the alignment box out of a
// picture, correlating it with the reference spectrum, and the registration difference of the
// aligned box against the reference picture. The controller's RegisterFrame is the loop
// around them (offsets, tracking, questions, pictures, storing the results).
#include <vector>

#include "registration/FftEngine.h"
#include "registration/RegistrationMath.h"
#include "ui/Bitmap24.h"

namespace registration {

// Luminance of `count` pixels (bytes B, G, R): G wG + B wB + R wR.
void LuminanceRow(const uint8_t* px, float* out, int count, float wr, float wg, float wb);

struct LuminanceWeights {
  float r = 0.299f, g = 0.587f, b = 0.114f;
};

// The n x n box whose top-left pixel is (bx, by), out of the width x height corner of
// `picture`, into the corner of `box` ([x][y]; zero outside the picture).
struct BoxStats {
  double sum = 0;       // of the pixels inside the picture
  float largest = 0;    // start values 0 and 255, as the box contrast counts them
  float smallest = 255;
};
BoxStats ExtractBox(const ui::Bitmap24& picture, int width, int height, int bx, int by, int n,
                    const LuminanceWeights& w, FftPlane& box);
// The same out of packed 3-byte pixels, `stride` bytes a row (a kept crop, for example).
BoxStats ExtractBox(const uint8_t* pixels, size_t stride, int width, int height, int bx, int by, int n,
                    const LuminanceWeights& w, FftPlane& box);

struct CorrelationOptions {
  bool filter = true;          // "Alignment filter"
  float filterRadius2 = 100;   // its radius, squared
  bool normalize = true;       // "Normalized": the frame spectrum to (noise-weighted) unit magnitude
  bool phase = false;          // "Correlation type" Phase instead of Cross
};

// Correlates the box with the reference spectrum: the box tapered and made mean-free, its
// spectrum low-passed and normalised into frameRe/frameIm, then R conj(F) (or the phase
// form) transformed back. Leaves the correlation surface in e.FFTRe/FFTIm and returns its
// highest peak.
Peak CorrelateBox(FftEngine& e, const FftPlane& box, const std::vector<float>& window, const FftPlane& refRe,
                  const FftPlane& refIm, const CorrelationOptions& o, FftPlane& frameRe, FftPlane& frameIm);

struct DifferenceOptions {
  bool noSquare = false;  // sum |d| instead of d^2
  bool relative = false;  // d divided by the frame value (+ 0.01)
};
// The registration difference of the frame's box at the hot point moved by (tx, ty) against
// the reference picture's box at the hot point: both made mean-free (means over n^2), the
// pixels outside either picture skipped. Leaves the mean-free frame box in e.FFTRe (and
// zeros in e.FFTIm), ready for its power spectrum; meanF receives the frame box's mean.
// `rows` is scratch for two blocks of rows.
double RegistrationDifference(FftEngine& e, const ui::Bitmap24& frame, int frameWidth, int frameHeight,
                              const ui::Bitmap24& reference, int refWidth, int refHeight, int hotX, int hotY,
                              int tx, int ty, const LuminanceWeights& w, const DifferenceOptions& o, float& meanF,
                              std::vector<float>& rows);

}  // namespace registration
