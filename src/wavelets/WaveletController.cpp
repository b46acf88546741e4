#include "wavelets/WaveletController.h"

namespace wavelets {

WaveletController::WaveletController(ui::Services& s, WaveletControls& c) : s_(s), c_(c) {
  c_.AutoProcessBox.OnClick = [this] { AutoProcessBoxClick(); };
}

void WaveletController::AutoProcessBoxClick() {
  c_.ProcessButton.setVisible(!c_.AutoProcessBox.checked());
  s_.settings.writeBool("Settings", "Autoprocess", c_.AutoProcessBox.checked());
}

void WaveletController::ResetForNewInput() {
  c_.ProcessImage.setScrollPosition(0, 0);
  if (!c_.HoldWavelets.checked()) {
    for (ui::Slider* s : c_.LayerSliders) s->setValue(10);
    c_.ContrastSlider.setValue(100);
    c_.BrightnessSlider.setValue(0);
  }
  for (ui::CheckBox* b : c_.LayerBoxes) b->setChecked(true);
}

void WaveletController::ForSingleFrame(bool colourStack) {
  c_.RGBSHIFT.setEnabled(colourStack);
  if (c_.RGBSHIFT.enabled() && c_.RGBSHIFT.checked()) c_.RGBShiftWindow.setVisible(true);
  c_.RestartAlign.setVisible(false);
}

}  // namespace wavelets
