#pragma once
// Handlers of the Wavelet Processing page and its tool windows: decomposition ("Process"),
// recombination and display on every gain, tone or colour change, layer previews, noise
// reduction, the filter kernel and its files, LRGB mixing and the RGB shift, the processing
// area and "Do all".
#include <functional>

#include "base/Json.h"
#include "finish/FinishControls.h"
#include "finish/ToneState.h"
#include "frames/ImagePlanes.h"
#include "frames/InputControls.h"
#include "frames/InputState.h"
#include "registration/AligningControls.h"
#include "registration/RegistrationState.h"
#include "stacking/StackingControls.h"
#include "stacking/StackingState.h"
#include "ui/Services.h"
#include "wavelets/RgbShift.h"
#include "wavelets/WaveletControls.h"
#include "wavelets/WaveletState.h"

namespace wavelets {

struct WaveletDeps {
  frames::InputState& input;
  frames::ImagePlanes& planes;
  frames::ProcessArea& area;
  frames::InputControls& inputControls;
  registration::AligningControls& aligning;
  registration::RegistrationState& reg;
  stacking::StackingState& stack;
  stacking::StackingControls& stackingControls;
  finish::ToneState& tone;
  finish::FinishControls& finish;
  WaveletState& state;
};

class WaveletController {
 public:
  WaveletController(ui::Services& s, WaveletControls& c, WaveletDeps d);

  // After every display pass: the histogram window and the resized view follow it.
  std::function<void()> AfterDisplay;

  // Page entry and lifecycle (bound by the main window).
  void StackBuilt();           // a new stack: the layers are stale and wait for the page
  void PageEntered();          // the Wavelet Processing page became active
  void FinalPageEntering();    // before the Final page shows: "Do all" unless partial processing
  // A new input: the view back to its corner, every layer in use; gains, contrast, brightness
  // and gamma back to their start values unless "Hold layer" keeps them.
  void ResetForNewInput();

  // Decomposition and display.
  void ProcessButtonClick();
  void RxSlider3Change();
  void RxSlider3Changed();
  void ResetButtonClick();
  void AutoProcessBoxClick();
  void LevelStepChange();
  void ScaletypeClick();
  void LayerBoxClick(int n);
  void LayerButtonMouseDown(int n);
  void LayerButtonMouseUp();
  void SliderKeyDown(ui::Slider& slider, int& key, bool ctrl);

  // Noise reduction.
  void DenoiseClick();
  void NoiseChange(int n);
  void AntiRingSliderChange();
  void PickAntiRingLevel(int x, int y);

  // Filter kernel.
  void SetFilterClick();
  void ResetFilterClick();
  void SaveFilterClick();
  void LoadFilterClick();
  // Reads the grid spins into the kernel; false (with a message) when they cannot be used.
  bool ReadKernelFromSpins();

  // LRGB and RGB shift.
  void ShiftSpinChange();
  void RGBSHIFTClick();
  void RGBShiftWindowClose();
  void RGBShifterClick();
  void LRGBClick(bool fromInputPage);
  void MixerChanged();
  void LumichannelClick();

  // Processing area.
  void ProcessImageMouseDown(const ui::MouseEvent& e);
  void ProcessImageMouseMove(const ui::MouseEvent& e);
  void ProcessImageMouseUp(const ui::MouseEvent& e);
  void ProcessareaChange();
  void DoAllClick();

  // "Save": the processed image as BMP, JPEG, 16-bit FITS or 48-bit TIFF.
  void SaveBMP2buttonClick();

  // State for the batch tool: scales, statistics, thresholds, shifts, area, picture sums.
  px::Json DumpJson() const;

  // A single still frame: RGB shift offered for a colour stack only, no restart of alignment.
  void ForSingleFrame(bool colourStack);

 private:
  void Wire();
  void WireWindows();
  bool colourMode() const;       // three channels are sharpened
  bool lrgb() const;
  AreaRect areaRect() const;
  void ComputeImageSize();
  void PutStackView();
  void FillPlanes();
  void RestorePlanes(const AreaRect& r);
  void DecomposeAll(bool tileCaption);
  void DecomposeLayerN(int n);
  void UpdateLayerCaptions();
  void UpdateGainCaptions();
  void UpdateFactorLabel();
  void DrawAreaMarks();
  void DrawShiftBoxes();
  ShiftBox CurrentShiftBox() const;
  FillSettings MakeFillSettings() const;
  double viewFactor() const;     // stack pixels per frame pixel for mouse conversions
  bool haveStack() const;

  ui::Services& s_;
  WaveletControls& c_;
  WaveletDeps d_;
  WaveletState& st_;
  bool leftPress_ = false;       // the page picture's press was a plain left press
  bool estimating_ = false;      // the estimate sets the shift spins itself
  bool resetting_ = false;       // a new input resets the controls: nothing to process yet
  ui::Bitmap24 savedView_;       // the page picture behind a layer preview
};

}  // namespace wavelets
