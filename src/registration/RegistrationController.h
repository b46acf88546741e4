#pragma once
// Handlers of the Aligning page's option controls and its tool windows.
#include "registration/AligningControls.h"
#include "registration/RegistrationState.h"
#include "ui/Services.h"

namespace registration {

class RegistrationController {
 public:
  RegistrationController(ui::Services& s, RegistrationState& state, AligningControls& c);

  // Tool-window positions are recorded only after start-up has opened the settings store.
  void SetStoreOpened(bool opened) { storeOpened_ = opened; }

  void SearchAreaChange();
  void FFTFilterspinChange();
  void QualityFilterChange();
  void MisalignwarningClick();
  void ManualAlignClick();
  void ResampledClick();
  void ResampleSpinChange();
  void ShowFFTboxClick();
  void ShowgraphboxClick();
  void FFTWindowMove();
  void PropertywindowMove();

 private:
  ui::Services& s_;
  RegistrationState& st_;
  AligningControls& c_;
  bool storeOpened_ = false;
};

}  // namespace registration
