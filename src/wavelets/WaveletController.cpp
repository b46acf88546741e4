#include "wavelets/WaveletController.h"

namespace wavelets {

WaveletController::WaveletController(ui::Services& s, WaveletControls& c) : s_(s), c_(c) {
  c_.AutoProcessBox.OnClick = [this] { AutoProcessBoxClick(); };
}

void WaveletController::AutoProcessBoxClick() {
  c_.ProcessButton.setVisible(!c_.AutoProcessBox.checked());
  s_.settings.writeBool("Settings", "Autoprocess", c_.AutoProcessBox.checked());
}

}  // namespace wavelets
