#pragma once
// State of browsing frames: the alignment-box outline over the preview and the luminance
// weights used by registration.
namespace frames {

struct NavigationState {
  int MarkerX = -1, MarkerY = -1;  // centre of the outline last drawn; -1 = none
  bool OverlayReset = false;       // the next move must not erase (the preview was redrawn)
  float AlignWeightR = 0.299f, AlignWeightG = 0.587f, AlignWeightB = 0.114f;
};

}  // namespace frames
