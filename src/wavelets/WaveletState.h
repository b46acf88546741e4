#pragma once
// Wavelet-stage state: the kernel, the layer statistics and thresholds, the channel shifts and
// luminance weights, the histograms of the last display pass and the page's flags.
#include <array>

#include "wavelets/Decomposition.h"
#include "wavelets/Recombination.h"
#include "wavelets/WaveletKernel.h"

namespace wavelets {

struct WaveletState {
  float LumWeightR = 0.299f, LumWeightG = 0.587f, LumWeightB = 0.114f;
  bool DecompositionStale = true;
  bool LayersValid = false;      // the layer planes and residual belong to the current planes
  int DecomposedMode = -1;       // FillMode the layers were computed in
  bool NewStackWaiting = false;  // a stack waits to be processed when the page is entered
  Kernel FilterKernel{};         // normalised at start-up from the grid spins
  LayerStatistics Stats;
  std::array<int, 7> LayerScales{};  // of the last decomposition (index 1..6)
  std::array<float, 7> LayerThreshold{}, SavedThresholds{};
  float AntiRingLevel = 0;
  int ShiftRedX = 0, ShiftRedY = 0, ShiftBlueX = 0, ShiftBlueY = 0;  // read offsets
  Histograms Hist{};
  int Width = 0, Height = 0;        // W x H of the processed image
  bool ShowArea = false;            // "Show processing area"
  bool PartialProcessing = true;    // "Partial processing"
  bool RgbAlignArea = false;        // "Set RGB align area" follows the mouse
  bool MarksDrawn = false;          // the area marks are on the page picture (XOR)
  int PreviewLayer = 0;             // layer whose preview is shown (0 = none)
  double LastDoAllMs = 0;
};

}  // namespace wavelets
