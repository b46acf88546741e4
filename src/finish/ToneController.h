#pragma once
// Handlers of the "Histogram" and "GammaWindow" tool windows: markers, "Stretch", levels reset,
// colour offsets and multipliers; the gamma curve's points, typed gamma and reset. Every
// change ends in the display pass, which the main window binds to Recombine.
#include <functional>

#include "finish/BSpline.h"
#include "finish/FinishControls.h"
#include "finish/ToneState.h"
#include "ui/Services.h"

namespace finish {

class ToneController {
 public:
  ToneController(ui::Services& s, FinishControls& c, ToneState& t);

  std::function<void()> Recombine;                      // RxSlider3Changed of the Wavelet page
  std::function<const ToneHistograms*()> Histograms;    // of the last display pass

  // Histogram window.
  void DrawHistogram();  // by the display pass while the window shows
  void HistographMouseMove(const ui::MouseEvent& e);
  void BitBtn3Click();   // "Stretch"
  void HistoResetClick();
  void Button5Click();   // "Set Zero"
  void BalanceChange();
  // A new input: levels 0 … 255 with the previous levels and markers to match (a stretch
  // afterwards starts from the full range, not from the last input's).
  void ResetForNewInput();

  // Gamma window.
  void StartupCurve();  // the default curve drawn (start-up)
  void GammaSplineGraphMouseDown(const ui::MouseEvent& e);
  void GammaSplineGraphMouseMove(const ui::MouseEvent& e);
  void GammaSplineGraphMouseUp();
  void GammaSplineGraphDblClick();
  void Gamma1spinChange();
  void LinearSplineClick();

  TBSpline& GammaCurve() { return curve_; }

 private:
  void Wire();
  void PlaceMarkers();
  void RedrawGamma();
  void recombine() {
    if (Recombine) Recombine();
  }

  ui::Services& s_;
  FinishControls& c_;
  ToneState& t_;
  TBSpline curve_;
};

}  // namespace finish
