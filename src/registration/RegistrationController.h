#pragma once
// The registration stage: the alignment feature and its reference spectrum, the per-frame
// registration, the align-all run with its quality ranking and graphs, and the optimizer.
// Everything runs on the user-interface thread on state the main window owns.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Json.h"
#include "finish/ToneState.h"
#include "frames/FrameNavigation.h"
#include "frames/FrameSource.h"
#include "frames/FrameTable.h"
#include "frames/InputControls.h"
#include "frames/InputState.h"
#include "frames/NavigationState.h"
#include "frames/Single2dArray.h"
#include "registration/AligningControls.h"
#include "registration/CoarseAlignment.h"
#include "registration/DiscAlignment.h"
#include "registration/FftEngine.h"
#include "registration/FrameShift.h"
#include "registration/ReferenceQuality.h"
#include "registration/RegistrationMath.h"
#include "registration/RegistrationOptions.h"
#include "registration/RegistrationState.h"
#include "ui/Services.h"

namespace registration {

// The main window's state and input-stage objects registration works on.
struct RegistrationContext {
  frames::FrameTable& table;
  frames::InputState& input;
  frames::NavigationState& nav;
  frames::InputControls& inputControls;
  frames::FrameSource& source;
  frames::FrameNavigation& navigation;
  finish::ToneState& tone;
};

class RegistrationController {
 public:
  RegistrationController(ui::Services& s, RegistrationState& state, AligningControls& c, RegistrationContext ctx);
  ~RegistrationController();

  // Tool-window positions are recorded only after start-up has opened the settings store.
  void SetStoreOpened(bool opened) { storeOpened_ = opened; }

  // The FFT workspace shared with stacking's quality measure.
  FftEngine& Engine() { return *engine_; }
  // FFTSetup for the box chosen in "Alignment box (pixels)": 2^(item + 5).
  void SetupFFTForBox();
  // A new input: feature point and box, tracking, registration graphs, best quality so far.
  void ResetForNewInput();

  // Seams into later stages, bound by the main window; each may stay unbound.
  std::function<void()> RunStacking;            // "Stack"
  std::function<void()> RefreshStackSelection;  // the stack selection's labels and graph
  std::function<void()> FillStackList;          // the stack lists in rank order
  std::function<void()> AfterAutoStack;         // "Align && stack" after the stack
  // The shell and the later stages' controls, reached through the main window: the pages of
  // the work, the stacking page's size caption, rank range, cut and graph, the processed
  // view, the tool windows of processing, the controls that follow "Resample".
  enum class Stage { Aligning, Stacking };
  std::function<void(Stage, bool visible)> SetStageVisible;
  std::function<void(Stage)> ShowStage;
  std::function<void(const std::string&)> StackSizeCaption;
  std::function<void(int maxPos)> SetStackRange;
  std::function<void(int cut)> SetStackCut;
  std::function<int()> DifferenceCut;                 // the difference cut-off slider, percent
  std::function<void(const ui::Bitmap24&)> ShowStackGraph;
  std::function<void()> ProcessedViewToCorner;
  std::function<void()> HideProcessingWindows;
  std::function<void(bool resampling)> ResamplingChanged;
  // Green plane of the darkframe for the optimizer, or nullptr when none is in use.
  std::function<const frames::Single2dArray*()> Darkframe;
  // Green plane of the flatfield, or nullptr; only its size is checked here.
  std::function<const frames::Single2dArray*()> Flatfield;

  // Reference feature.
  void PreviewImageMouseDown(int x, int y);
  void CalculateReferenceFFT();
  // The processed picture as the reference ("Re-align with processed", "Use Processed"); the
  // feature point and box size stay. False, with a message, when the picture is not of the
  // frames' size (a resampled or drizzled stack), since the box would land elsewhere.
  bool ReferenceFromProcessed(const ui::Bitmap24& processed);
  void Alignonebuttonclick();  // "Recalc FFT"
  void FFTsizeGroupClick();
  void FFTFilterClick();

  // Frame registration.
  void RegisterFrame();
  void AlignImageMouseDown(int x, int y);
  void AlignImageMouseMove(int x, int y);

  // Align-all run, graphs, browsing by rank.
  void AlignallButtonClick();
  void AlignStackButtonClick();
  void HaltbuttonClick() { forceRealign_ = true; }
  void AlignSliderChange();
  void DrawGraphGrid(ui::Bitmap24& pic);
  // With the options read now (a handler), or those of the run under way.
  void DrawSpectrumGraph();
  void DrawSpectrumGraph(const RegistrationOptions& o);
  // The quality and difference curves of the "Registration properties" window (and its copy
  // on the Stacking page).
  void DrawAlignGraph();
  void SortRankList();

  // Optimizer.
  void OptimizeButtonClick();
  void OptimizeFrame(int f);  // with the options as the controls stand now
  void OptimizeFrame(int f, const OptimizerOptions& options);

  // Option handlers.
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

  // Optimizer passes decode every frame again instead of reading the neighbourhoods kept by
  // the last align-all run.
  void ForgetKeptFrames() { std::fill(crops_.valid.begin(), crops_.valid.end(), 0); }
  // Every optimizer window by the per-pixel checked path and no reference window kept: the
  // yardstick the fast windows are compared with.
  void SetExactOptimizerWindows(bool on) { exactWindows_ = on; }

  void ClearFFTPicture();  // white, " Not defined "

  // State for the dump and for tests.
  bool AutoStack() const { return autoStack_; }
  // Feature, box, reference frame, work status, tracking and the run's totals, for the batch tool.
  px::Json DumpJson() const;
  bool WaitingForClick() const { return waitingForClick_; }
  double OptimizerTotal() const { return optimizerTotal_; }
  float OptimizerPassSum() const { return optimizerPassSum_; }
  const ui::Bitmap24& ReferenceImage() const { return image1_; }
  const FftPlane& RefSpecRe() const { return *refSpecRe_; }
  const FftPlane& RefSpecIm() const { return *refSpecIm_; }
  const FftPlane& BoxLum() const { return *boxLum_; }

 private:
  void WireControls();
  float Luminance(const uint8_t* px) const {
    return lumG_[px[1]] + lumB_[px[0]] + lumR_[px[2]];
  }
  void UpdateLuminanceTables();
  // Sets every picture the run shows only every few tens of milliseconds; values are always
  // computed.
  bool DisplayDue();
  void DrawMarker(ui::Bitmap24& pic, int cx, int cy, int boxSide, bool centrePixel);
  bool PointManually(int& px, int& py, int ox, int oy);
  bool PointedByHand(const RegistrationOptions& o, double peak, int& px, int& py, int ox, int oy);
  void ShowToolWindowsAfterQuestion();
  Peak CorrelateFrameBox(frames::FrameRecord& rec, const ui::Bitmap24& preview, int iw, int ih,
                         const SearchOffset& offset, const LuminanceWeights& weights, bool display);
  void StoreShift(int k, const FrameShift& s, const SearchOffset& offset, bool display);
  void MeasureAlignedBox(int k, const ui::Bitmap24& preview, int iw, int ih, const LuminanceWeights& weights);
  void LoadFrameForShow(int f);
  RegistrationOptions ReadOptions();
  OptimizerOptions ReadOptimizerOptions();
  RegistrationOptions runOptions_;  // read when a run starts (or for one registration)
  void RegistrationPass();
  void BestFramesPasses();
  void WarnCalibrationSizes();
  void RankOptimizeAndStack();
  void StoreReferenceSpectrum(const FftPlane& lum, bool filter, float radius2);
  // Replaces the reference by the average of the best frames of the pass just made; false
  // when the run keeps its reference frame.
  bool ReferenceFromBestFrames();
  // Every measured frame's quality measured again against the best frames' reference; the
  // first pass's values stay when the run is cancelled half-way.
  void QualityAgainstReference();
  ReferenceQuality referenceQuality_;
  // A transform and a box of the quality's side for each core measuring it.
  struct QualityWorker {
    FftEngine e;
    FftPlane box;
  };
  std::vector<std::unique_ptr<QualityWorker>> qualityWorkers_;
  QualityWorker& QualityWorkerAt(int index, int side);
  // Back to the clicked frame's reference when a run replaced it by the best frames'.
  void RestoreReferenceFrame();
  void KeepReferenceFrame();
  struct SavedReference {
    bool replaced = false;
    ui::Bitmap24 image;
    std::unique_ptr<FftPlane> re, im;
  } savedReference_;
  bool droppedSeen_ = false;
  std::string sizeNote_;  // the first frame of another size in a run, told once at its end
  std::optional<DiscCentroid> refDisc_;  // the reference frame's disc, when it shows one
  std::vector<float> discScratch_;
  std::unique_ptr<CoarseAligner> coarse_;  // the whole frame against the reference frame
  // The whole-frame references from the reference picture (the disc, else the averaged-down
  // frame), and a frame's displacement against them; nothing when neither is available.
  void SetWholeFrameReference(const ui::Bitmap24& picture);
  std::optional<CoarseShift> WholeFrameShift(int k, const ui::Bitmap24& picture, int width, int height);
  // Each frame's whole-frame shift from the first pass of a run, reused by the second.
  std::vector<CoarseShift> coarseShifts_ = std::vector<CoarseShift>(frames::MaxFrames);
  std::vector<uint8_t> coarseKept_ = std::vector<uint8_t>(frames::MaxFrames, 0);
  bool secondPass_ = false;
  int boxOnlyFrames_ = 0;  // frames of this pass registered by their box alone
  std::vector<float> qualityTaper_;
  void RunOptimizerPass();
  bool PrepareOptimizerPictures();
  // One frame's pictures for the optimizer: where the frame's pixels are read (the preview,
  // its kept neighbourhood or the resampled frame) and the bounds of both pictures.
  struct OptimizerView {
    const ui::Bitmap24* refPic = nullptr;
    const ui::Bitmap24* framePic = nullptr;
    // Frame pixel (x, y) is at frameBase + (y - frameTop) * frameStride + (x - frameLeft) * 3.
    const uint8_t* frameBase = nullptr;
    size_t frameStride = 0;
    int frameLeft = 0, frameTop = 0;
    int fw = 0, fh = 0, rw = 0, rh = 0;  // bounds of the frame and the reference
    int hx = 0, hy = 0, h = 0;           // the feature and the half box, in the pictures' pixels
    int sx0 = 0, sy0 = 0;                // the shift the search starts from
    bool fromCrop = false;
    bool resampled = false;
  };
  struct WindowSums {
    double ref = 0, frame = 0;
    long long count = 0;  // pixels that counted
  };
  OptimizerView OptimizerFrame(int f, const OptimizerOptions& options, int sx0, int sy0);
  void ResampleOptimizerFrame(const OptimizerOptions& options, OptimizerView& v);
  WindowSums FillOptimizerWindows(const OptimizerView& v, const OptimizerOptions& options);
  void FillEdgeWindows(const OptimizerView& v, int c, const frames::Single2dArray* dark, WindowSums& w);
  void ShowOptimizedSquare(int f, const OptimizerView& v);
  void LogTime(const std::string& prefix);
  void SetPageVisible(Stage stage, bool on) {
    if (SetStageVisible) SetStageVisible(stage, on);
  }
  void ShowPage(Stage stage) {
    if (ShowStage) ShowStage(stage);
  }
  int Box() const { return engine_->FFTSize(); }
  // The correlation box's taper for the current box size.
  const std::vector<float>& Window() {
    if (static_cast<int>(window_.size()) != Box()) window_ = HannWindow(Box());
    return window_;
  }
  std::vector<float> window_;
  double qualityBoxMean_ = 0;  // mean brightness of the box the quality is measured on

  ui::Services& s_;
  RegistrationState& st_;
  AligningControls& c_;
  RegistrationContext x_;
  bool storeOpened_ = false;
  std::unique_ptr<FftEngine> engine_;

  std::unique_ptr<FftPlane> boxLum_, refSpecRe_, refSpecIm_, frameSpecRe_, frameSpecIm_;
  std::unique_ptr<FftPlane> optRef_, optFrame_;
  ui::Bitmap24 image1_;          // the reference image kept for the difference and optimizer
  ui::Bitmap24 resampledRef_;    // optimizer with "Resample"
  ui::Bitmap24 resampledFrame_;
  ui::Bitmap24 cutout_, cutoutScaled_;
  float lumR_[256] = {}, lumG_[256] = {}, lumB_[256] = {};
  float lumWeights_[3] = {-1, -1, -1};

  bool waitingForClick_ = false, forceRealign_ = false;
  int clickX_ = 0, clickY_ = 0, lastMouseX_ = -1, lastMouseY_ = -1;
  bool autoStack_ = false;
  double alignStartTime_ = 0;
  float optimizerPassSum_ = 0;
  double optimizerTotal_ = 0;
  double lastDisplay_ = -1e18;
  bool inRun_ = false;
  bool suppressSliderChange_ = false;
  bool runActive_ = false;  // an align-all run or optimizer pass is under way
  int prefetchFrame_ = -1;
  // Each registered frame's neighbourhood of the feature, kept from the align-all pass so
  // that optimizer passes read it instead of decoding the frame again (same pixels).
  struct FrameCrops {
    int side = 0;  // 0: not kept
    std::vector<uint8_t> pixels;
    std::vector<int32_t> left, top;
    std::vector<uint8_t> valid;
    const uint8_t* crop(int f) const { return pixels.data() + static_cast<size_t>(f) * side * side * 3; }
  } crops_;
  ui::Bitmap24 cropPicture_;
  void PrepareCrops();
  void KeepCrop(int f, int cx, int cy);
  bool CropCovers(int f, int left, int top, int right, int bottom) const;
  // Rows of luminance on their way into the column-major planes.
  static constexpr int kRowBlock = 16;
  std::vector<float> differenceRows_;  // scratch of the registration difference
  bool displayNow_ = true;  // the pictures of the current frame are drawn

  // The optimizer's reference window depends only on these; while they stay the same within a
  // pass, a window lying inside both pictures stays in optRef_ (bias applied) with its sum.
  struct RefWindowKey {
    int hx = 0, hy = 0, h = 0, c = 0, n = 0;
    uint64_t generation = 0;
    const frames::Single2dArray* dark = nullptr;
    const float* darkData = nullptr;
    int dw = 0, dh = 0;
    bool blur = false;
    float bias = 0;
    float weights[3] = {};
    bool operator==(const RefWindowKey&) const = default;
  };
  struct RefWindow {
    bool valid = false;
    RefWindowKey key;
    double sum = 0;
  } refWindow_;
  uint64_t refGeneration_ = 0;  // counts changes of image1_
  bool exactWindows_ = false;
  std::vector<float> windowBlock_;
  // Luminance (darkframe subtracted where it covers) of the side x side pixels whose top-left
  // pixel is at topLeft, picture position (x0, y0), into the plane's corner; returns their
  // sum added row by row, left to right. Every pixel must lie inside its picture.
  double FillInteriorWindow(const uint8_t* topLeft, size_t stride, int x0, int y0, int side,
                            const frames::Single2dArray* dark, FftPlane& dst);
};

}  // namespace registration
