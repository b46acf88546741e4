#pragma once
// The Stacking page: the frame selection with its labels, graph and stack list; the stack
// itself (every option: colour or luminance, quality weights, expanded canvas, resampling,
// de-interlacing, drizzle, darkframe and flatfield); making calibration frames; saving.
#include <array>
#include <functional>
#include <string>

#include "base/Json.h"
#include "finish/Resample.h"
#include "frames/FrameSource.h"
#include "frames/FrameTable.h"
#include "frames/ImagePlanes.h"
#include "frames/InputControls.h"
#include "frames/InputState.h"
#include "registration/AligningControls.h"
#include "registration/FftEngine.h"
#include "registration/RegistrationState.h"
#include "stacking/StackAccumulator.h"
#include "stacking/StackGeometry.h"
#include "stacking/StackingControls.h"
#include "stacking/StackingState.h"
#include "ui/Services.h"

namespace stacking {

struct StackingDeps {
  frames::FrameTable& table;
  frames::InputState& input;
  frames::ImagePlanes& planes;
  frames::InputControls& inputControls;
  frames::FrameSource& source;
  registration::AligningControls& aligning;
  registration::RegistrationState& reg;
  StackingState& state;
};

class StackingController {
 public:
  StackingController(ui::Services& s, StackingControls& c, StackingDeps d);

  // Refreshes the selection's labels, the cut-off frame's preview and the stack graph.
  void StackSliderChange();
  void differencecutsliderChange() { StackSliderChange(); }
  // Builds the stack from the frames the selection admits.
  void StackButtonClick();
  // Adds the frame now in the preview (and the 16-bit rows or FitsPlane) with the current
  // per-frame inputs; the frame source calls it while StackPass is set.
  void AccumulateFrame();
  // Quality of the running stack in the reference box (needs the Engine seam).
  float MeasureStackQuality();
  std::vector<float> qualityTaper_;
  // The frame moved by the fraction of its fine shift; the whole pixels go to the accumulator.
  void MoveByFineShift(const frames::FrameRecord& rec, FrameInputs& fi, FrameSourceView& src);
  formats::TTIFFBitMap shifted16_;
  frames::Single2dArray shiftedPlane_;
  // Refills the "Stackframes" list from the rank list and the frame list.
  void FillStackList();

  void StackFramesListClick();
  void StackFramesListClickCheck();
  void StackFramesListDblClick();
  void ColourStackClick();
  void Colourprocess2Click();
  void SaveSubClick();
  void StackframeswindowClose();
  void StacklistClick();
  void DrizzlingClick();
  void Drizzle2Click();

  // Darkframe and flatfield.
  void LoadDarkframeClick();
  void FlatfieldbuttonClick();
  // Loading without the dialog (project files): a missing file warns and unchecks the box.
  bool LoadDarkframe(const std::string& path, int type);
  bool LoadFlatfield(const std::string& path, int type);
  void CreateDarkframeClick();
  // The loaded darkframe in 1/128 level units (G plane), null when none is in use.
  const frames::Single2dArray* Darkframe() const;
  int DarkWidth() const { return st_.DarkWidth; }
  int DarkHeight() const { return st_.DarkHeight; }

  // The stack for the batch tool: size, StackMax, coverage range, a checksum per plane.
  px::Json DumpJson() const;

  // Saving.
  void SaveButtonClick();
  // 16-bit RGB TIFF of the stack's width x height (negative values become 0).
  void SaveStackTiff16(const std::string& path, int width, int height);

  // Seams bound by the main window.
  std::function<void()> DrawAlignGraph;                 // redraws the registration graph
  std::function<void(int, int)> AllocateImageBuffers;   // (re)creates the image-size planes
  std::function<registration::FftEngine&()> Engine;     // the registration FFT workspace
  std::function<std::array<float, 3>()> LuminanceWeights;  // LumWeightR, G, B
  std::function<void(int, int)> SizeLaterViews;          // the wavelet and final views for W x H
  std::function<void()> ShowLaterPages;                  // Wavelet and Final pages available
  std::function<void()> ShowStackingPage;                // the Stacking page shown and active
  std::function<void()> StackBuilt;                      // a stack exists (unlocks later stages)
  std::function<void()> LuminanceStackAdded;             // a luminance file joined: no mixing
  std::function<void(int, int, int, int)> ScrollProcessedView;  // onto (x, y) of a W x H picture

 private:
  void DrawStackGraph();
  void ShowCutoffFrame(int rank);
  void ToggleStackLine(int line);
  bool ReadStackFrame(int frame);  // false: the frame could not be read and was left out
  AccumulateOptions MakeOptions();
  void ShowRunStarting();
  void PlanStack(StackGeometryOptions go);
  int BeginCount(int R, float cut);
  void AddSelectedFrames(int R, float cut, int n);
  FrameSourceView SourceView();
  void EnlargeWindow(const FrameInputs& fi, FrameSourceView& src);
  // What a stack run reads once, when it starts: toggling a check box while the run handles
  // events does not change the frames still to come.
  struct StackRunOptions {
    AccumulateOptions accumulate;
    bool qualityWeights = true;   // "Use image quality"
    bool interlaced = false;      // "De-interlace"
    bool subPixel = false;        // "Sub-pixel shifts"
    bool resampledShifts = false; // shifts measured with "Resample"
    bool fineShifts = false;      // "SubPixelEstimate": drizzle takes the fine shifts
    double pixfrac = 1;           // drizzle drop size
    bool useDark = false, useFlat = false;
    int filterIndex = 3;          // the resampling filter
  } run_;
  void ReadRunOptions();
  void FinishStack(int width, int height);
  void SetScrollPositions(int width, int height);
  void AskCalibrationFile(bool flat);
  bool LoadCalibration(bool flat, const std::string& path, int type, bool fromProject);
  std::string InputCaption() const;
  bool colour() const { return colourStack_.checked(); }

  ui::Services& s_;
  StackingControls& c_;
  StackingDeps d_;
  StackingState& st_;
  ui::CheckBox& colourStack_;  // the Input page's twin of "Colour processing"
  ui::CheckBox& lrgb1_;

  StackAccumulator acc_;
  // The run in progress.
  StackGeometry geo_;
  int frame_ = 0;  // frame being added
  std::string infoText_;           // "Stacking j of n", kept to reuse its storage
  ui::Bitmap24 window_, enlarged_;  // resampled stacking: the frame window and its enlargement
  finish::Resampler resampler_;
};

}  // namespace stacking
