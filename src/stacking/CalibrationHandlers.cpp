// The darkframe and flatfield buttons and the making of calibration frames.
#include <algorithm>

#include "base/Files.h"
#include "stacking/Calibration.h"
#include "stacking/StackingController.h"

namespace stacking {

namespace {
constexpr const char* kCalibrationFilter =
    "bitmap 24bits (*.bmp)|*.bmp|special pelinoxa fits|*.fitx;|fits|*.fit; *.fits";
}

bool StackingController::LoadCalibration(bool flat, const std::string& path, int type, bool fromProject) {
  auto& ic = d_.inputControls;
  ui::CheckBox& use = flat ? ic.UseFlatfield : ic.UseDarkFrame;
  use.setVisible(true);
  CalibrationLoadResult r = LoadCalibrationFile(s_.ui, d_.planes, st_, flat, path, type, fromProject);
  if (r.colourOff) colourStack_.setChecked(false);
  if (r.hideUseBox) use.setVisible(false);
  return r.loaded;
}

void StackingController::AskCalibrationFile(bool flat) {
  ui::FileDialogRequest rq;
  rq.title = flat ? "Load Flatfield" : "Load Darkframe";
  rq.filter = kCalibrationFilter;
  rq.filterIndex = std::max(flat ? st_.FlatFileType : st_.DarkFileType, 1);
  rq.initialDir = d_.input.InputDir;
  auto res = s_.ui.fileDialog(rq);
  if (!res.accepted || res.files.empty()) return;
  LoadCalibration(flat, res.files.front(), std::clamp(res.filterIndex, 1, 3), false);
}

void StackingController::LoadDarkframeClick() { AskCalibrationFile(false); }

void StackingController::FlatfieldbuttonClick() { AskCalibrationFile(true); }

bool StackingController::LoadDarkframe(const std::string& path, int type) {
  if (!px::FileExists(path)) {
    s_.ui.messageBox("Warning : darkframe " + path + " missing ", ui::MsgKind::Warning, ui::ButtonsOK);
    d_.inputControls.UseDarkFrame.setChecked(false);
    return false;
  }
  return LoadCalibration(false, path, type, true);
}

bool StackingController::LoadFlatfield(const std::string& path, int type) {
  if (!px::FileExists(path)) {
    s_.ui.messageBox("Warning : flatfield " + path + " missing ", ui::MsgKind::Warning, ui::ButtonsOK);
    d_.inputControls.UseFlatfield.setChecked(false);
    return false;
  }
  return LoadCalibration(true, path, type, true);
}

const frames::Single2dArray* StackingController::Darkframe() const {
  if (!d_.inputControls.UseDarkFrame.checked() || st_.DarkWidth <= 0 || st_.DarkHeight <= 0) return nullptr;
  return &d_.planes.DarkPlanes[1];
}

// Averages every frame in file order with the shifts it holds: the result, saved, is the
// darkframe or flatfield.
void StackingController::CreateDarkframeClick() {
  auto& t = d_.table;
  const int count = std::min(d_.input.FrameCount, frames::MaxFrames);
  if (count <= 0) return;
  st_.CalibrationMode = true;
  for (int k = 0; k < count; ++k) {
    t[k].Quality = 1;
    t[k].Difference = 1;
    t[k].DifferenceA = 1;
    t.ranks[k].FrameIndex = k;
    t.ranks[k].RankQuality = static_cast<float>(k);
  }
  if (ShowStackingPage) ShowStackingPage();
  if (c_.StackSlider.max() < count - 1) c_.StackSlider.setMax(count - 1);
  c_.StackSlider.setValue(count - 1);
  StackButtonClick();
  st_.CalibrationMode = false;
}

}  // namespace stacking
