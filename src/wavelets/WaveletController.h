#pragma once
// Handlers of the Wavelet Processing page's controls.
#include "wavelets/WaveletControls.h"
#include "ui/Services.h"

namespace wavelets {

class WaveletController {
 public:
  WaveletController(ui::Services& s, WaveletControls& c);
  void AutoProcessBoxClick();

  // A new input: the view back to its corner; layers, contrast and brightness back to their
  // start values unless "Hold" keeps them; every layer in use.
  void ResetForNewInput();
  // A single still frame: RGB shift offered for a colour stack only, no restart of alignment.
  void ForSingleFrame(bool colourStack);

 private:
  ui::Services& s_;
  WaveletControls& c_;
};

}  // namespace wavelets
