#pragma once
// Handlers of the Aligning page's option controls and its tool windows.
#include <functional>
#include <memory>

#include "registration/AligningControls.h"
#include "registration/FFTUnit2.h"
#include "registration/RegistrationState.h"
#include "ui/Services.h"

namespace registration {

class RegistrationController {
 public:
  RegistrationController(ui::Services& s, RegistrationState& state, AligningControls& c);

  // Tool-window positions are recorded only after start-up has opened the settings store.
  void SetStoreOpened(bool opened) { storeOpened_ = opened; }

  // The FFT workspace shared with stacking's quality measure.
  FftEngine& Engine() { return *engine_; }
  // FFTSetup for the box chosen in "Alignment box (pixels)": 2^(item + 5).
  void SetupFFTForBox();
  // A new input: feature point and box, tracking, registration graphs, best quality so far.
  void ResetForNewInput();
  // The quality and difference curves of the "Registration properties" window (and its copy
  // on the Stacking page).
  void DrawAlignGraph();

  // Seams into later stages, bound by the main window.
  std::function<void()> RunStacking;            // "Stack"
  std::function<void()> RefreshStackSelection;  // the stack selection's labels and graph

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
  std::unique_ptr<FftEngine> engine_;
};

}  // namespace registration
