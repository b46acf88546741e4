// The processing area: placing it by a click on the page picture, its marks, the estimate box
// that follows the mouse, the layer-plane size, and "Do all" over overlapping tiles.
#include <algorithm>

#include "base/Numbers.h"
#include "wavelets/Tiling.h"
#include "wavelets/WaveletController.h"

namespace wavelets {

namespace {
constexpr int kAreaLimits[] = {4096, 2048, 1024, 512, 256, 128};
}

void WaveletController::ProcessImageMouseDown(const ui::MouseEvent& e) {
  leftPress_ = false;
  if (!haveStack()) return;
  if (e.button != ui::MouseButton::Left || e.ctrl || e.shift) {
    PickAntiRingLevel(e.x, e.y);
    return;
  }
  leftPress_ = true;
  if (d_.aligning.Resampled.checked()) {
    const double f = d_.aligning.ResampleSpin.value();
    d_.reg.HotX = px::Round(e.x / f);
    d_.reg.HotY = px::Round(e.y / f);
  } else if (d_.aligning.Drizzling.checked()) {
    d_.reg.HotX = px::Round(e.x / 2.0);
    d_.reg.HotY = px::Round(e.y / 2.0);
  }
  if (st_.MarksDrawn) DrawAreaMarks();  // exclusive-or: drawn again they vanish
  d_.area.left = std::max(0, e.x - d_.area.width / 2);
  d_.area.top = std::max(0, e.y - d_.area.height / 2);
}

void WaveletController::ProcessImageMouseMove(const ui::MouseEvent& e) {
  if (!st_.RgbAlignArea || !haveStack()) return;
  DrawShiftBoxes();  // erases the boxes at the old place
  const double f = viewFactor();
  d_.reg.HotX = px::Round(e.x / f);
  d_.reg.HotY = px::Round(e.y / f);
  DrawShiftBoxes();
}

void WaveletController::ProcessImageMouseUp(const ui::MouseEvent&) {
  if (!leftPress_ || !haveStack()) return;
  leftPress_ = false;
  if (st_.PreviewLayer) LayerButtonMouseUp();
  ComputeImageSize();
  PutStackView();
  FillPlanes();
  auto& a = d_.area;
  if (st_.RgbAlignArea) {
    a.left = std::max(0, d_.reg.HotX - a.width / 2);
    a.top = std::max(0, d_.reg.HotY - a.height / 2);
    c_.CheckBox2.setChecked(false);
    st_.RgbAlignArea = false;
  }
  int sx = c_.ProcessImage.scrollX(), sy = c_.ProcessImage.scrollY();
  if (st_.Width > 817) sx = a.width / 2 + a.left - 408;
  if (st_.Height > 625) sy = a.width / 2 + a.top - 312;
  c_.ProcessImage.setScrollPosition(sx, sy);
  c_.DoAll.setVisible(a.width < st_.Width || a.height < st_.Height);
  s_.progress.start("X1= " + std::to_string(a.left) + " Y1=" + std::to_string(a.top));
  DecomposeAll(true);
  st_.DecompositionStale = false;
  st_.LayersValid = true;
  s_.progress.hide();
  RxSlider3Changed();
  if (c_.RGBShiftWindow.visible()) DrawShiftBoxes();
}

void WaveletController::ProcessareaChange() {
  const int item = std::clamp(d_.inputControls.Processarea.itemIndex(), 0, 5);
  d_.area.limit = kAreaLimits[item];
  d_.planes.CreateLayerPlanes(d_.area.limit);
  d_.area.width = d_.area.limit;
  d_.area.height = d_.area.limit;
  st_.DecompositionStale = true;
  st_.LayersValid = false;
}

void WaveletController::RestorePlanes(const AreaRect& r) {
  FillWorkingPlanes(d_.planes.StackPlanes, d_.planes.ColourPlanes, st_.Width, st_.Height, MakeFillSettings(), r.x0,
                    r.y0, r.x1, r.y1);
}

// Tiles of the area's size overlapping by twice the tile margin; each tile is decomposed and
// recombined, which writes its inner part into the page picture and the 16-bit copy. A tile
// changes the working planes only inside itself, so only that part is filled again before the
// next tile (the same planes a whole fill would give).
void WaveletController::DoAllClick() {
  if (!haveStack()) return;
  if (st_.PreviewLayer) LayerButtonMouseUp();
  const double start = s_.ui.nowMs();
  ComputeImageSize();
  PutStackView();
  const bool showArea = st_.ShowArea;
  st_.ShowArea = false;
  auto& a = d_.area;
  // The tiles overlap by the reach of the layers the tiles will get.
  std::array<int, 7> scales{};
  for (int n = 1; n <= 6; ++n)
    scales[n] = LayerScale(n, c_.Scaletype.itemIndex() == 0, c_.LevelStep.value(), c_.Multiplicant.value());
  const TilePlan plan = PlanTiles(st_.Width, st_.Height, std::min(a.width, a.limit), std::min(a.height, a.limit),
                                  LayersReach(scales, st_.FilterKernel));
  const int keepX = a.left, keepY = a.top;
  FillPlanes();
  d_.input.CancelRequested = false;
  s_.progress.start("position");
  const int tilesTotal = (plan.nx + 1) * (plan.ny + 1);
  for (const Tile& t : plan.tiles) {
    a.left = t.ox;
    a.top = t.oy;
    const AreaRect r = areaRect();
    s_.progress.setProgress(px::Round(static_cast<double>(t.column + t.row * plan.nx) / tilesTotal * 100));
    s_.progress.setCaption("position X1= " + std::to_string(t.ox) + " Y1=" + std::to_string(t.oy));
    if (!r.empty()) {
      for (int n = 1; n <= 6; ++n) DecomposeLayerN(n);
      st_.DecomposedMode = static_cast<int>(MakeFillSettings().mode);
      st_.LayersValid = true;
      RxSlider3Changed();
      RestorePlanes(r);
    }
    s_.ui.processEvents();
    if (d_.input.CancelRequested) break;
  }
  s_.progress.hide();
  a.left = keepX;
  a.top = keepY;
  FillPlanes();
  DecomposeAll(false);
  st_.DecompositionStale = false;
  st_.LayersValid = true;
  st_.ShowArea = showArea;
  RxSlider3Changed();
  st_.LastDoAllMs = s_.ui.nowMs() - start;
  c_.DoAllspeed.setCaption("Time used :" + std::to_string(px::Round(st_.LastDoAllMs)) + "msec");
}

}  // namespace wavelets
