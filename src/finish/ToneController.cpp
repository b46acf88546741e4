#include "finish/ToneController.h"

#include "finish/GammaCurve.h"
#include "finish/Levels.h"

namespace finish {

ToneController::ToneController(ui::Services& s, FinishControls& c, ToneState& t) : s_(s), c_(c), t_(t) {
  SetDefaultGammaCurve(curve_);
  Wire();
}

void ToneController::Wire() {
  c_.Histograph.OnMouseMove = [this](const ui::MouseEvent& e) { HistographMouseMove(e); };
  c_.Histograph.OnMouseDown = [this](const ui::MouseEvent& e) { HistographMouseMove(ui::MouseEvent{e.x, e.y, e.button, true}); };
  c_.BitBtn3.OnClick = [this] { BitBtn3Click(); };
  c_.HistoReset.OnClick = [this] { HistoResetClick(); };
  c_.Button5.OnClick = [this] { Button5Click(); };
  for (ui::Slider* sl : {&c_.RedSlider, &c_.GreenSlider, &c_.blueslider}) sl->OnChanged = [this] { recombine(); };
  c_.Showpeak.OnClick = [this] { recombine(); };
  c_.HistoSmooth.OnClick = [this] { recombine(); };
  for (ui::SpinEdit* sp : {&c_.Rbalance, &c_.Gbalance, &c_.Bbalance}) sp->OnChange = [this] { BalanceChange(); };

  c_.GammaSplineGraph.OnMouseDown = [this](const ui::MouseEvent& e) { GammaSplineGraphMouseDown(e); };
  c_.GammaSplineGraph.OnMouseMove = [this](const ui::MouseEvent& e) { GammaSplineGraphMouseMove(e); };
  c_.GammaSplineGraph.OnMouseUp = [this](const ui::MouseEvent&) { GammaSplineGraphMouseUp(); };
  c_.GammaSplineGraph.OnDblClick = [this] { GammaSplineGraphDblClick(); };
  c_.Button2.OnClick = [this] { GammaSplineGraphDblClick(); };
  c_.Gamma1spin.OnChange = [this] { Gamma1spinChange(); };
  c_.LinearSpline.OnClick = [this] { LinearSplineClick(); };
}

void ToneController::PlaceMarkers() {
  c_.Lowtriangle.setPosition(t_.LowMarker, 259);
  c_.Hitriangle.setPosition(t_.HighMarker, 259);
}

void ToneController::DrawHistogram() {
  const ToneHistograms* h = Histograms ? Histograms() : nullptr;
  static const ToneHistograms kEmpty{};
  HistogramGraphOptions o;
  o.showPeak = c_.Showpeak.checked();
  o.smooth = c_.HistoSmooth.checked();
  o.hiText = LevelText("  hi: ", t_.LevelHigh);
  o.loText = LevelText("  lo: ", t_.LevelLow);
  t_.HistogramScale = DrawHistogramGraph(c_.Histograph.picture(), h ? *h : kEmpty, o);
  c_.Histograph.invalidate();
}

void ToneController::HistographMouseMove(const ui::MouseEvent& e) {
  if (!e.buttonHeld || e.button != ui::MouseButton::Left) return;
  if (!DragMarker(t_, e.x, e.y)) return;
  PlaceMarkers();
  const ToneHistograms* h = Histograms ? Histograms() : nullptr;
  static const ToneHistograms kEmpty{};
  HistogramGraphOptions o;
  o.showPeak = c_.Showpeak.checked();
  o.smooth = c_.HistoSmooth.checked();
  o.dragging = true;
  o.lowMarker = t_.LowMarker;
  o.highMarker = t_.HighMarker;
  o.hiText = LevelText("  hi: ", MarkerLevel(t_, t_.HighMarker));
  o.loText = LevelText("  lo: ", MarkerLevel(t_, t_.LowMarker));
  t_.HistogramScale = DrawHistogramGraph(c_.Histograph.picture(), h ? *h : kEmpty, o);
  c_.Histograph.invalidate();
}

void ToneController::BitBtn3Click() {
  StretchLevels(t_);
  PlaceMarkers();
  recombine();
}

void ToneController::HistoResetClick() {
  ResetLevels(t_);
  PlaceMarkers();
  recombine();
}

void ToneController::Button5Click() {
  for (ui::Slider* sl : {&c_.RedSlider, &c_.GreenSlider, &c_.blueslider}) sl->setValue(0);
  for (ui::SpinEdit* sp : {&c_.Rbalance, &c_.Gbalance, &c_.Bbalance}) sp->setValue(1);
  recombine();
}

void ToneController::ResetForNewInput() {
  ResetLevels(t_);
  PlaceMarkers();
}

void ToneController::BalanceChange() {
  t_.ChannelGainR = static_cast<float>(c_.Rbalance.value());
  t_.ChannelGainG = static_cast<float>(c_.Gbalance.value());
  t_.ChannelGainB = static_cast<float>(c_.Bbalance.value());
  recombine();
}

void ToneController::RedrawGamma() {
  DrawGammaGraph(c_.GammaSplineGraph.picture(), curve_, c_.LinearSpline.checked());
  c_.GammaSplineGraph.invalidate();
}

void ToneController::StartupCurve() {
  SetDefaultGammaCurve(curve_);
  RedrawGamma();
}

void ToneController::GammaSplineGraphMouseDown(const ui::MouseEvent& e) {
  if (e.button == ui::MouseButton::Right && !e.ctrl) {
    if (InsertPointBetween(curve_, static_cast<float>(e.x), static_cast<float>(e.y))) RedrawGamma();
  } else if (e.button == ui::MouseButton::Left && e.ctrl) {
    if (DeleteInteriorPoint(curve_, static_cast<float>(e.x), static_cast<float>(e.y))) RedrawGamma();
  }
}

void ToneController::GammaSplineGraphMouseMove(const ui::MouseEvent& e) {
  if (!e.buttonHeld || e.button != ui::MouseButton::Left || e.ctrl) return;
  DragGammaPoint(curve_, static_cast<float>(e.x), static_cast<float>(e.y));
  RedrawGamma();
}

void ToneController::GammaSplineGraphMouseUp() {
  CurveToToneTable(curve_, t_.DisplayCurve);
  recombine();
}

void ToneController::GammaSplineGraphDblClick() {
  SetDefaultGammaCurve(curve_);
  RedrawGamma();
  CurveToToneTable(curve_, t_.DisplayCurve);
  recombine();
}

void ToneController::Gamma1spinChange() {
  SetDefaultGammaCurve(curve_);
  RedrawGamma();
  if (GammaToneTable(c_.Gamma1spin.value(), t_.DisplayCurve)) recombine();
  else c_.Gamma1spin.setValue(1);
}

void ToneController::LinearSplineClick() { RedrawGamma(); }

}  // namespace finish
