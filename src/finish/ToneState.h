#pragma once
// Tone state shared by the display pipeline: the tone table, levels and colour balance, the
// histogram markers.
#include <array>

namespace finish {

// The display pass's histograms: R, G, B; 256 bins and one spare.
using ToneHistograms = std::array<std::array<int, 257>, 3>;

struct ToneState {
  // Entry i: output level 0..1 for display level i / 1000.
  std::array<double, 1001> DisplayCurve{};
  float LevelLow = 0, LevelHigh = 255;
  float PrevLevelLow = 0, PrevLevelHigh = 255;
  float ChannelGainR = 1, ChannelGainG = 1, ChannelGainB = 1;
  // Left positions of the markers in the histogram window (level position = left - 14).
  int LowMarker = 15, HighMarker = 270;
  int HistogramScale = 1;

  // The table for gamma 1: entry i = i / 1000 + 0.000001.
  void BuildGammaOneCurve() {
    for (int i = 0; i <= 1000; ++i) DisplayCurve[i] = i / 1000.0 + 0.000001;
  }
};

}  // namespace finish
