#pragma once
// Tone state shared by the display pipeline: the tone table, levels and colour balance.
#include <array>

namespace finish {

struct ToneState {
  // Entry i: output level 0..1 for display level i / 1000.
  std::array<double, 1001> DisplayCurve{};
  float LevelLow = 0, LevelHigh = 255;
  float PrevLevelLow = 0, PrevLevelHigh = 255;
  float ChannelGainR = 1, ChannelGainG = 1, ChannelGainB = 1;

  // The table for gamma 1: entry i = i / 1000 + 0.000001.
  void BuildGammaOneCurve() {
    for (int i = 0; i <= 1000; ++i) DisplayCurve[i] = i / 1000.0 + 0.000001;
  }
};

}  // namespace finish
