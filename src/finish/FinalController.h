#pragma once
// Handlers of the Final page and the "HSLWindow": rotation, flips, hue/saturation/lightness
// sliders and curves, the crop rectangle, the overview; saving the final picture and the
// clipboard; the "Resized image" window of both later pages.
#include <array>
#include <functional>

#include "finish/BSpline.h"
#include "finish/FinalComposition.h"
#include "finish/FinishControls.h"
#include "frames/ImagePlanes.h"
#include "frames/InputControls.h"
#include "frames/InputState.h"
#include "ui/Services.h"

namespace finish {

struct FinalDeps {
  frames::InputState& input;
  frames::ImagePlanes& planes;  // OutputBitmap48
  frames::InputControls& inputControls;
  ui::Image& processImage;      // the Wavelet Processing page's picture
  ui::CheckBox& saveSub;        // "Save to subdir"
  ui::Edit& subdirName;
};

class FinalController {
 public:
  FinalController(ui::Services& s, FinishControls& c, FinalDeps d);

  // Seams bound by the main window.
  std::function<bool()> FinalPageActive;
  std::function<double()> ResampleFactor;            // of a resampled stack (1 otherwise)
  std::function<std::pair<int, int>()> OriginalSize;  // "Original" size of the resized picture

  void PageEntered();
  void UpdateFinalBitmap();
  void ResetForNewInput();  // no crop rectangle

  void AngleChange();
  void ComboBox2Change();
  void ASSwitcher1Change();
  void SliderChange();
  void Button7Click();  // "Reset HSL"
  void AdvancedHLSClick();
  void CurveMouseDown(int which, const ui::MouseEvent& e);
  void CurveMouseMove(int which, const ui::MouseEvent& e);
  void CurveMouseUp(int which);
  void RotateImageMouseDown(const ui::MouseEvent& e);
  void RotateImageMouseMove(const ui::MouseEvent& e);
  void RotateImageMouseUp(const ui::MouseEvent& e);
  void RefreshOverview();

  // Saving.
  void BitBtn8Click();  // "Save"
  void BitBtn9Click();  // "Clipboard"
  ui::Bitmap24 FinalPictureForSaving() const;  // cropped when "Use crop" is checked

  // "Resized image" window.
  void ShrinkClick();
  void ComboBox1Change();
  void ShrinktooriginalClick();
  void ShrinkviewResize();
  void SaveShrinkClick();
  void RefreshResized();  // when the window shows, after the source picture changed

  const CropRect& Crop() const { return crop_; }
  const HueCounts& HueHistogram() const { return hueHist_; }
  FinalSettings Settings() const;

 private:
  void Wire();
  void DrawCropOutline();
  void RedrawCurve(int which);
  int width() const { return d_.processImage.picture().width(); }
  int height() const { return d_.processImage.picture().height(); }
  const ui::Bitmap24& ResizeSource() const;
  void ResampleInto(int w, int h);
  std::string ChooseSavePath(const char* title, const char* filter, int& filterIndex, std::string& dir,
                             std::string& name);

  ui::Services& s_;
  FinishControls& c_;
  FinalDeps d_;
  std::array<TBSpline, 3> curves_;  // hue, saturation, lightness
  std::array<HslCurveTable, 3> tables_{};
  HueCounts hueHist_{};
  ui::Bitmap24 unflipped_, clean_;  // the final picture before flips; and without the outline
  CropRect crop_;                   // as drawn (corners ordered on mouse up)
  bool outlineDrawn_ = false;
  bool cropping_ = false;
};

}  // namespace finish
