#include "registration/RegistrationController.h"

#include <algorithm>
#include <ctime>

#include "base/Numbers.h"

namespace registration {

RegistrationController::RegistrationController(ui::Services& s, RegistrationState& state, AligningControls& c,
                                               RegistrationContext ctx)
    : s_(s), st_(state), c_(c), x_(ctx), engine_(std::make_unique<FftEngine>()) {
  coarse_ = std::make_unique<CoarseAligner>();
  for (auto* p : {&boxLum_, &refSpecRe_, &refSpecIm_, &frameSpecRe_, &frameSpecIm_, &optRef_, &optFrame_})
    *p = std::make_unique<FftPlane>();
  WireControls();
}

RegistrationController::~RegistrationController() = default;

void RegistrationController::WireControls() {
  c_.SearchArea.OnChange = [this] { SearchAreaChange(); };
  c_.FFTFilterspin.OnChange = [this] { FFTFilterspinChange(); };
  c_.QualityFilter.OnChange = [this] { QualityFilterChange(); };
  c_.QualFilterDX.OnChange = [this] { QualityFilterChange(); };
  c_.Misalignwarning.OnClick = [this] { MisalignwarningClick(); };
  c_.ManualAlign.OnClick = [this] { ManualAlignClick(); };
  c_.Resampled.OnClick = [this] { ResampledClick(); };
  c_.ResampleSpin.OnChange = [this] { ResampleSpinChange(); };
  c_.ShowFFTbox.OnClick = [this] { ShowFFTboxClick(); };
  c_.Showgraphbox.OnClick = [this] { ShowgraphboxClick(); };
  c_.FFTWindow.OnClose = [this] { c_.ShowFFTbox.setChecked(false); };
  c_.Propertywindow.OnClose = [this] { c_.Showgraphbox.setChecked(false); };
  c_.FFTWindow.OnMove = [this] { FFTWindowMove(); };
  c_.Propertywindow.OnMove = [this] { PropertywindowMove(); };
  c_.FFTsizeGroup.OnClick = [this] { FFTsizeGroupClick(); };
  c_.FFTFilter.OnClick = [this] { FFTFilterClick(); };
  c_.Alignonebutton.OnClick = [this] { Alignonebuttonclick(); };
  c_.Allignallbutton.OnClick = [this] { AlignallButtonClick(); };
  c_.AlignStackButton.OnClick = [this] { AlignStackButtonClick(); };
  c_.Optimizebutton.OnClick = [this] { OptimizeButtonClick(); };
  c_.Haltbutton.OnClick = [this] { HaltbuttonClick(); };
  c_.AlignSlider.OnChange = [this] { AlignSliderChange(); };
  c_.AlignImage.OnMouseDown = [this](const ui::MouseEvent& e) { AlignImageMouseDown(e.x, e.y); };
  c_.AlignImage.OnMouseMove = [this](const ui::MouseEvent& e) { AlignImageMouseMove(e.x, e.y); };
  c_.imgGraph.picture().reset(300, 250);
  c_.imgGraph.picture().fill(ui::colors::White);
  c_.FFTImage.picture().reset(256, 256);
}

void RegistrationController::SetupFFTForBox() {
  const int n = 1 << (std::clamp(c_.FFTsizeGroup.itemIndex(), 0, 3) + 5);
  engine_->FFTSetup(n);
  c_.FFTWindow.setCaption("FFT spectrum " + std::to_string(n) + "x" + std::to_string(n));
}

void RegistrationController::ResetForNewInput() {
  st_.HotX = st_.HotY = 0;
  st_.BoxX = st_.BoxY = 0;
  st_.WorkStatus = 0;
  st_.TrackX = st_.TrackY = st_.TrackVX = st_.TrackVY = 0;
  st_.LastPeak = 0;
  st_.BestQuality = 0;
  st_.BestQualityFrame = 0;
  ForgetKeptFrames();
  c_.imgGraph.picture().fill(ui::colors::White);
  c_.imgGraph.invalidate();
}

void RegistrationController::UpdateLuminanceTables() {
  const float w[3] = {x_.nav.AlignWeightR, x_.nav.AlignWeightG, x_.nav.AlignWeightB};
  if (std::equal(w, w + 3, lumWeights_)) return;
  std::copy(w, w + 3, lumWeights_);
  for (int v = 0; v < 256; ++v) {
    lumR_[v] = static_cast<float>(v) * w[0];
    lumG_[v] = static_cast<float>(v) * w[1];
    lumB_[v] = static_cast<float>(v) * w[2];
  }
}

bool RegistrationController::DisplayDue() {
  displayNow_ = true;
  if (!inRun_) return true;
  const double now = s_.ui.nowMs();
  if (now - lastDisplay_ < 40) return displayNow_ = false;
  lastDisplay_ = now;
  return true;
}

void RegistrationController::LogTime(const std::string& prefix) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
  c_.Memo2.add(prefix + buf);
}

void RegistrationController::SearchAreaChange() {
  double v = c_.SearchArea.value();
  if (v < 1) c_.SearchArea.setValue(1);
  if (v > 10) c_.SearchArea.setValue(10);
  s_.settings.writeInteger("Settings", "SearchArea", px::Round(c_.SearchArea.value()));
}

void RegistrationController::FFTFilterspinChange() {
  s_.settings.writeInteger("Settings", "FFTFilter", px::Round(c_.FFTFilterspin.value()));
  if (st_.WorkStatus >= wsFeatureSet) DrawSpectrumGraph();
}

void RegistrationController::QualityFilterChange() {
  if (st_.WorkStatus >= wsFeatureSet) DrawSpectrumGraph();
  s_.settings.writeInteger("Settings", "QualityFilter", px::Round(c_.QualityFilter.value()));
}

void RegistrationController::MisalignwarningClick() {
  s_.settings.writeBool("Settings", "Misalignwarning", c_.Misalignwarning.checked());
}

void RegistrationController::ManualAlignClick() { c_.Misalignwarning.setChecked(!c_.ManualAlign.checked()); }

void RegistrationController::ResampledClick() {
  bool on = c_.Resampled.checked();
  c_.ResampleCombo.setVisible(on);
  c_.ResampleSpin.setVisible(on);
  c_.ResampleXLabel.setVisible(on);
  if (ResamplingChanged) ResamplingChanged(on);
  st_.ResampleFactor = static_cast<float>(c_.ResampleSpin.value());
}

void RegistrationController::ResampleSpinChange() {
  double f = std::clamp(c_.ResampleSpin.value(), 1.0, 4.0);
  st_.ResampleFactor = static_cast<float>(f);
}

void RegistrationController::ShowFFTboxClick() {
  c_.FFTWindow.setVisible(c_.ShowFFTbox.checked());
  c_.Alignonebutton.setVisible(c_.ShowFFTbox.checked());
}

void RegistrationController::ShowgraphboxClick() { c_.Propertywindow.setVisible(c_.Showgraphbox.checked()); }

void RegistrationController::FFTWindowMove() {
  if (!storeOpened_) return;
  s_.settings.writeInteger("Toolwin", "FFTTop", c_.FFTWindow.top());
  s_.settings.writeInteger("Toolwin", "FFTleft", c_.FFTWindow.left());
}

void RegistrationController::PropertywindowMove() {
  if (!storeOpened_) return;
  s_.settings.writeInteger("Toolwin", "PropTop", c_.Propertywindow.top());
  s_.settings.writeInteger("Toolwin", "Propleft", c_.Propertywindow.left());
}

}  // namespace registration
