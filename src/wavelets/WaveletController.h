#pragma once
// Handlers of the Wavelet Processing page's controls.
#include "wavelets/WaveletControls.h"
#include "ui/Services.h"

namespace wavelets {

class WaveletController {
 public:
  WaveletController(ui::Services& s, WaveletControls& c);
  void AutoProcessBoxClick();

 private:
  ui::Services& s_;
  WaveletControls& c_;
};

}  // namespace wavelets
