#pragma once
// What a registration run reads from the Aligning page once, when it starts: toggling a
// check box while the run handles events does not change the frames still to come.
#include "registration/BoxRegistration.h"

namespace registration {

struct RegistrationOptions {
  bool wholeFrame = true;   // "Align on the whole frame"
  bool track = true;        // "Track object"
  bool predict = false;     // "Predict track"
  bool trace = true;        // "Show aligning"
  bool manual = false;      // "Manual alignment"
  bool misalign = false;    // "Misalign warning"
  bool showFFT = false;     // "Show FFT"
  bool subPixel = false;    // "SubPixelEstimate"
  bool resample = false;    // "Resample"
  bool interlaced = false;  // "De-interlace" (Input page)
  bool contrast = false;    // "Use contrast"
  bool filter = true;       // "Alignment filter" (also drawn on the spectrum graph)
  double filterRadius = 10;
  CorrelationOptions correlation;
  DifferenceOptions difference;
  int qualityFilter = 2, qualFilterDX = 6;  // the quality band's control values, rounded
};

// What an optimizer pass reads once, when it starts.
struct OptimizerOptions {
  int searchArea = 2;        // C, rounded
  bool resample = false;     // "Resample" and its filter
  int resampleFilter = 0;
  bool interlaced = false;   // "De-interlace" and "Horizontal"
  bool horizontal = false;
  bool useDark = false;      // "Use darkframe"
  bool blur = false;         // "Bias subtract" and its value, rounded
  float bias = 0;
  bool noSquare = false, relative = false;
};

}  // namespace registration
