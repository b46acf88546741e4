#pragma once
// What the stacking stage keeps between runs. The planes themselves (stack sums, coverage,
// calibration planes, the 16-bit copy) live in frames::ImagePlanes with the other image-size
// planes; this is everything else a later stage or the project file needs.
#include <cstdint>
#include <string>

namespace stacking {

struct StackingState {
  float StackMax = 0;   // the stack's display maximum (255 while making a calibration frame)
  float StackMin = 0;   // always 0
  bool StackExists = false;
  int StackedCount = 0;      // frames in the last stack (the graph's n_last)
  int SliderAtStack = 0;     // StackSlider value when the last stack was built
  int StackWidth = 0, StackHeight = 0;  // size of the finished stack
  int ExpandedWidth = 0, ExpandedHeight = 0;
  int ExpandOffsetX = 0, ExpandOffsetY = 0;
  int32_t StackX = 0, StackY = 0;  // centre of the 4096 window of resampled stacking ("stackx", "stacky")
  double ViewScale = 1;            // stack pixels per frame pixel
  bool CalibrationMode = false;    // a darkframe or flatfield is being made
  bool LumiChannelSeen = false;    // a FITS luminance file went into the L plane

  // Calibration files last loaded: path and dialog filter index (1 BMP, 2 .fitx, 3 FITS).
  std::string DarkFile, FlatFile;
  int DarkFileType = 0, FlatFileType = 0;
  int DarkWidth = 0, DarkHeight = 0;  // the part of DarkPlanes holding values
  int FlatWidth = 0, FlatHeight = 0;
};

}  // namespace stacking
