#include "finish/FinalController.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "finish/GammaCurve.h"
#include "ui/Canvas.h"

namespace finish {

FinalController::FinalController(ui::Services& s, FinishControls& c, FinalDeps d) : s_(s), c_(c), d_(d) {
  for (auto& cv : curves_) SetDefaultHslCurve(cv);
  for (int i = 0; i < 3; ++i) RedrawCurve(i);
  Wire();
}

void FinalController::Wire() {
  c_.RxSpinEdit4.OnChange = [this] { AngleChange(); };
  c_.ComboBox2.OnChange = [this] { ComboBox2Change(); };
  c_.ASSwitcher1.OnChanged = [this] { ASSwitcher1Change(); };
  c_.FlipX.OnClick = [this] { UpdateFinalBitmap(); };
  c_.FlipY.OnClick = [this] { UpdateFinalBitmap(); };
  for (ui::Slider* sl : {&c_.HueSlider, &c_.SaturationSlider, &c_.Lightnessslider}) sl->OnChange = [this] { SliderChange(); };
  c_.Button7.OnClick = [this] { Button7Click(); };
  c_.AdvancedHLS.OnClick = [this] { AdvancedHLSClick(); };
  c_.HLSWindow.OnClose = [this] { c_.AdvancedHLS.setChecked(false); };
  c_.Cropping.OnClick = [this] {
    if (!outlineDrawn_) DrawCropOutline();
  };
  ui::Image* graphs[3] = {&c_.Huegraph, &c_.Saturationgraph, &c_.Lightnessgraph};
  for (int i = 0; i < 3; ++i) {
    graphs[i]->OnMouseDown = [this, i](const ui::MouseEvent& e) { CurveMouseDown(i, e); };
    graphs[i]->OnMouseMove = [this, i](const ui::MouseEvent& e) { CurveMouseMove(i, e); };
    graphs[i]->OnMouseUp = [this, i](const ui::MouseEvent&) { CurveMouseUp(i); };
  }
  c_.HueHistoImage.OnMouseDown = c_.Huegraph.OnMouseDown;
  c_.HueHistoImage.OnMouseMove = c_.Huegraph.OnMouseMove;
  c_.HueHistoImage.OnMouseUp = c_.Huegraph.OnMouseUp;
  c_.RotateImage.OnMouseDown = [this](const ui::MouseEvent& e) { RotateImageMouseDown(e); };
  c_.RotateImage.OnMouseMove = [this](const ui::MouseEvent& e) { RotateImageMouseMove(e); };
  c_.RotateImage.OnMouseUp = [this](const ui::MouseEvent& e) { RotateImageMouseUp(e); };
  c_.BitBtn8.OnClick = [this] { BitBtn8Click(); };
  c_.BitBtn9.OnClick = [this] { BitBtn9Click(); };
  c_.ShrinkFinal.OnClick = [this] { ShrinkClick(); };
  c_.ShrinkWavelet.OnClick = [this] { ShrinkClick(); };
  c_.ComboBox1.OnChange = [this] { ComboBox1Change(); };
  c_.Filters.OnChange = [this] { ComboBox1Change(); };
  c_.Shrinktooriginal.OnClick = [this] { ShrinktooriginalClick(); };
  c_.Shrinkview.OnResize = [this] { ShrinkviewResize(); };
  c_.SaveShrink.OnClick = [this] { SaveShrinkClick(); };
}

FinalSettings FinalController::Settings() const {
  FinalSettings s;
  s.angle = c_.RxSpinEdit4.value();
  s.hue = c_.HueSlider.value();
  s.saturation = c_.SaturationSlider.value();
  s.lightness = c_.Lightnessslider.value();
  s.hueCurve = &tables_[0];
  s.saturationCurve = &tables_[1];
  s.lightnessCurve = &tables_[2];
  s.flipX = c_.FlipX.checked();
  s.flipY = c_.FlipY.checked();
  return s;
}

void FinalController::PageEntered() {
  c_.HLSWindow.setVisible(c_.AdvancedHLS.checked());
  UpdateFinalBitmap();
  c_.RotateImage.setScrollPosition(d_.processImage.scrollX(), d_.processImage.scrollY());
}

void FinalController::UpdateFinalBitmap() {
  const auto& out = d_.planes.OutputBitmap48;
  if (!out.has16Bit || width() <= 0 || height() <= 0) return;
  s_.ui.setCursor(ui::Cursor::Busy);
  ui::Bitmap24& shown = c_.RotateImage.picture();
  ComposeFinal8(out, width(), height(), Settings(), unflipped_, shown, hueHist_);
  clean_.assign(shown);
  outlineDrawn_ = false;
  if (c_.Cropping.checked()) DrawCropOutline();
  s_.ui.setCursor(ui::Cursor::Normal);
  DrawHueHistogram(c_.HueHistoImage.picture(), hueHist_);
  c_.HueHistoImage.invalidate();
  c_.RotateImage.invalidate();
  RefreshOverview();
  if (c_.Shrinkview.visible()) RefreshResized();
}

void FinalController::ResetForNewInput() {
  crop_ = {};
  outlineDrawn_ = false;
  c_.Cropping.setChecked(false);
  c_.Cropping.setVisible(false);
}

void FinalController::AngleChange() { UpdateFinalBitmap(); }

void FinalController::ComboBox2Change() {
  const int i = c_.ComboBox2.itemIndex();
  if (i >= 0) c_.RxSpinEdit4.setValue(i * 15.0);
}

void FinalController::ASSwitcher1Change() {
  c_.RxSpinEdit4.setValue(c_.ASSwitcher1.value() * 10.0);
  RefreshOverview();
}

void FinalController::SliderChange() {
  c_.HueLabel.setCaption("Hue        :" + std::to_string(c_.HueSlider.value()));
  c_.SaturationLabel.setCaption("Saturation :" + std::to_string(c_.SaturationSlider.value()));
  c_.LightnessLabel.setCaption("lightness  :" + std::to_string(c_.Lightnessslider.value()));
  UpdateFinalBitmap();
}

void FinalController::Button7Click() {
  for (ui::Slider* sl : {&c_.HueSlider, &c_.SaturationSlider, &c_.Lightnessslider}) {
    auto keep = sl->OnChange;
    sl->OnChange = nullptr;
    sl->setValue(0);
    sl->OnChange = keep;
  }
  c_.HueLabel.setCaption("Hue        :0");
  c_.SaturationLabel.setCaption("Saturation :0");
  c_.LightnessLabel.setCaption("lightness  :0");
  for (auto& t : tables_) t.fill(0);
  for (int i = 0; i < 3; ++i) {
    SetDefaultHslCurve(curves_[i]);
    RedrawCurve(i);
  }
  UpdateFinalBitmap();
}

void FinalController::AdvancedHLSClick() { c_.HLSWindow.setVisible(c_.AdvancedHLS.checked()); }

void FinalController::RedrawCurve(int which) {
  ui::Image* graphs[3] = {&c_.Huegraph, &c_.Saturationgraph, &c_.Lightnessgraph};
  DrawHslGraph(graphs[which]->picture(), curves_[which]);
  graphs[which]->invalidate();
}

void FinalController::CurveMouseDown(int which, const ui::MouseEvent& e) {
  TBSpline& cv = curves_[which];
  if (e.button == ui::MouseButton::Right && !e.ctrl) {
    if (InsertPointBetween(cv, static_cast<float>(e.x), static_cast<float>(e.y))) RedrawCurve(which);
  } else if (e.button == ui::MouseButton::Left && e.ctrl) {
    if (DeleteInteriorPoint(cv, static_cast<float>(e.x), static_cast<float>(e.y))) RedrawCurve(which);
  }
}

void FinalController::CurveMouseMove(int which, const ui::MouseEvent& e) {
  if (!e.buttonHeld || e.button != ui::MouseButton::Left || e.ctrl) return;
  if (DragHslPoint(curves_[which], static_cast<float>(e.x), static_cast<float>(e.y))) RedrawCurve(which);
}

void FinalController::CurveMouseUp(int which) {
  SampleHslCurve(curves_[which], tables_[which]);
  UpdateFinalBitmap();
}

// The rectangle's outline, white, exclusive-or: drawn twice it vanishes.
void FinalController::DrawCropOutline() {
  if (crop_.none()) return;
  ui::Canvas cv(c_.RotateImage.picture());
  cv.pen.color = ui::colors::White;
  cv.pen.mode = ui::PenMode::Xor;
  cv.brush.style = ui::BrushStyle::Clear;
  cv.rectangle(crop_.left, crop_.top, crop_.right, crop_.bottom);
  outlineDrawn_ = !outlineDrawn_;
  c_.RotateImage.invalidate();
}

void FinalController::RotateImageMouseDown(const ui::MouseEvent& e) {
  // A left press starts a new rectangle; a right press only picks the hue below.
  cropping_ = e.button == ui::MouseButton::Left;
  if (cropping_) {
    if (outlineDrawn_) DrawCropOutline();
    crop_ = {e.x, e.y, e.x, e.y};
  }
  const auto& out = d_.planes.OutputBitmap48;
  if (c_.HLSWindow.visible() && e.x >= 0 && e.y >= 0 && e.x < width() && e.y < height() &&
      c_.RxSpinEdit4.value() == 0 && out.has16Bit && e.x < out.width48() && e.y < out.height48()) {
    const uint16_t* p = out.row16(e.y) + 3 * e.x;
    const Hsv c = RgbToHsv(p[0], p[1], p[2]);
    c_.huepoint.setVisible(c.v >= 100);
    c_.huepoint.setPosition(px::Round(c.h) + 8, c_.huepoint.top());
    if (e.button == ui::MouseButton::Right && InsertPointBetween(curves_[0], static_cast<float>(c.h), 50)) RedrawCurve(0);
  }
}

void FinalController::RotateImageMouseMove(const ui::MouseEvent& e) {
  c_.Croppedarea.setCaption(std::to_string(e.x) + "," + std::to_string(e.y));
  if (!cropping_ || !e.buttonHeld) return;
  if (outlineDrawn_) DrawCropOutline();
  crop_.right = e.x;
  crop_.bottom = e.y;
  c_.Croppedarea.setCaption("x:" + std::to_string(crop_.left) + ",y:" + std::to_string(crop_.top) +
                            " w:" + std::to_string(crop_.right - crop_.left) +
                            " h:" + std::to_string(crop_.bottom - crop_.top));
  DrawCropOutline();
}

void FinalController::RotateImageMouseUp(const ui::MouseEvent& e) {
  if (!cropping_) return;
  cropping_ = false;
  if (outlineDrawn_) DrawCropOutline();
  crop_.right = e.x;
  crop_.bottom = e.y;
  // Corners ordered and kept inside the picture; a rectangle without area is none.
  crop_ = NormaliseCrop(crop_, c_.RotateImage.picture().width(), c_.RotateImage.picture().height());
  if (crop_.none()) {  // a click without a drag: no rectangle to crop to
    c_.Cropping.setChecked(false);
    return;
  }
  DrawCropOutline();
  c_.Cropping.setVisible(true);
  c_.Cropping.setChecked(true);
}

void FinalController::RefreshOverview() {
  const ui::Bitmap24& pic = c_.RotateImage.picture();
  ui::Bitmap24& ov = c_.Overview.picture();
  ov.setSize(150, 150);
  ov.fill(ui::colors::White);
  if (pic.empty()) return;
  ui::Canvas cv(ov);
  cv.stretchDraw({0, 0, 150, 150}, pic);
  const double k = 150.0 / pic.width();
  const int h = c_.RotateImage.scrollX(), v = c_.RotateImage.scrollY();
  cv.pen.color = ui::colors::White;
  cv.brush.style = ui::BrushStyle::Clear;
  cv.rectangle(px::Round(h * k), px::Round(v * k), px::Round((h + 777) * k), px::Round((v + 689) * k));
  c_.Overview.invalidate();
}

ui::Bitmap24 FinalController::FinalPictureForSaving() const {
  if (c_.Cropping.checked()) return CropPicture(clean_, crop_);
  return clean_;
}

}  // namespace finish
