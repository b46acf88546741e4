#pragma once
// Wavelet-stage state shared with other stages.
namespace wavelets {

struct WaveletState {
  float LumWeightR = 0.299f, LumWeightG = 0.587f, LumWeightB = 0.114f;
  bool DecompositionStale = true;
};

}  // namespace wavelets
