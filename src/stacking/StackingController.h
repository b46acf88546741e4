#pragma once
// Handlers of the Stacking page's options.
#include "stacking/StackingControls.h"
#include "ui/Services.h"

namespace stacking {

class StackingController {
 public:
  StackingController(ui::Services& s, StackingControls& c);

  // Refreshes the selection's labels, the cut-off frame's preview and the stack graph.
  void StackSliderChange();
  // Builds the stack from the frames the selection admits.
  void StackButtonClick();

  void ColourStackClick();
  void Colourprocess2Click();
  void SaveSubClick();
  void StackframeswindowClose();
  void StacklistClick();

 private:
  ui::Services& s_;
  StackingControls& c_;
  ui::CheckBox& colourStack_;  // the Input page's twin of "Colour processing"
  ui::CheckBox& lrgb1_;
};

}  // namespace stacking
