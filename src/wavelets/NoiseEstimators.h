#pragma once
// Thresholds for noise reduction from the layer statistics, the slider settings that carry
// them, and the anti-ringing level picked from the working planes.
#include <array>

#include "frames/Single2dArray.h"
#include "wavelets/Decomposition.h"

namespace wavelets {

// Item of the "Estimator" group: 0 "None", 1..4 "Method A".."Method D"; 5 = the saved thresholds.
// f is the multiplier spin (thresholds use f x 0.1). Index 1..6.
std::array<float, 7> EstimateThresholds(int method, double f, const LayerStatistics& st,
                                        const std::array<float, 7>& saved);

// A manual slider carrying threshold t: maximum Round(t x 1000) x 2 + 1, value max div 2.
struct ThresholdSlider {
  int max = 1, value = 0;
};
ThresholdSlider SliderForThreshold(float t);

// Mean luminance of the 11 x 11 block around (X, Y), the block limited to the W x H image
// (the mean of the pixels inside; 0 when none is). colour: weighted red, green, blue; else
// the green weight times channel 1.
double AntiRingLuminance(const std::array<frames::Single2dArray, 3>& planes, int X, int Y, int W, int H, bool colour,
                         const std::array<float, 3>& weights);

// Slider range and value for an anti-ringing level L, in the order they are applied.
struct AntiRingSlider {
  int min = 0, max = 0, value = 0;
};
AntiRingSlider AntiRingSliderFor(double L);

}  // namespace wavelets
