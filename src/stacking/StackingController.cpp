#include "stacking/StackingController.h"

namespace stacking {

StackingController::StackingController(ui::Services& s, StackingControls& c)
    : s_(s), c_(c), colourStack_(s.form.get<ui::CheckBox>("ColourStack")), lrgb1_(s.form.get<ui::CheckBox>("LRGB1")) {
  colourStack_.OnClick = [this] { ColourStackClick(); };
  c_.Colourprocess2.OnClick = [this] { Colourprocess2Click(); };
  c_.SaveSub.OnClick = [this] { SaveSubClick(); };
  c_.Stacklist.OnClick = [this] { StacklistClick(); };
  c_.Stackframeswindow.OnClose = [this] { StackframeswindowClose(); };
}

void StackingController::StackSliderChange() {}

void StackingController::StackButtonClick() {}

// The two "Colour processing" boxes (Input and Stacking pages) always agree; the LRGB boxes
// only make sense in colour.
void StackingController::ColourStackClick() {
  bool colour = colourStack_.checked();
  c_.Colourprocess2.setChecked(colour);
  s_.settings.writeBool("Settings", "usecolour", colour);
  lrgb1_.setEnabled(colour);
  c_.LRGB2.setEnabled(colour);
  if (!colour) {
    lrgb1_.setChecked(false);
    c_.LRGB2.setChecked(false);
  }
}

void StackingController::Colourprocess2Click() { colourStack_.setChecked(c_.Colourprocess2.checked()); }

void StackingController::SaveSubClick() { c_.Subdirname.setVisible(c_.SaveSub.checked()); }

void StackingController::StacklistClick() { c_.Stackframeswindow.setVisible(c_.Stacklist.checked()); }

void StackingController::StackframeswindowClose() { c_.Stacklist.setChecked(false); }

}  // namespace stacking
