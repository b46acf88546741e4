#pragma once
// Choosing what to work on: a video, a sequence of still frames or a single still frame
// ("Select input"), files dropped onto the window, and "Empty List". Choosing an input resets
// the previous work, fills the frame table and the frame list, reads the first frame to learn
// the image size, allocates the image buffers and prepares the pages.
#include <functional>
#include <string>
#include <vector>

#include "base/Json.h"
#include "frames/FrameNavigation.h"
#include "frames/FrameSource.h"
#include "frames/FrameTable.h"
#include "frames/InputControls.h"
#include "frames/InputState.h"
#include "ui/Services.h"

namespace frames {

constexpr const char* kInputFilter =
    "Video (*.avi)|*.avi|Still frame(s) (*.bmp)|*.bmp;|Fit frame(s) (*.fit)|*.fit; *.fits;*.fts|Still frame(s) "
    "(*.jpg)|*.jpg|Tiff frame(s)(*.tif)|*.tif; *.tiff|SER capture (*.ser)|*.ser";

// The input kind of an open-dialog filter index (1 video, 2 BMP, 3 FITS, 4 JPEG, 5 TIFF,
// 6 SER, which is a video too).
InputKind KindOfFilter(int filterIndex);
// Whether a selected still file is taken (by its lower-cased extension).
bool IsAcceptedStillName(const std::string& path);
// Whether a dropped file is a video (SER or AVI) rather than a still frame.
bool IsVideoName(const std::string& path);
// The kind of dropped files from the end of the first name.
InputKind KindOfDroppedName(const std::string& path);

class InputSelection {
 public:
  InputSelection(ui::Services& s, FrameTable& table, InputState& input, InputControls& c, FrameSource& source,
                 FrameNavigation& navigation);

  // The later stages' part of choosing an input, bound by the main window. Each stage
  // resets and sizes its own controls; this class only says when.
  std::function<void()> ResetStages;              // every later stage back to its state for a new input
  std::function<void()> PrepareAlignment;         // FFT engine for the chosen box, box size offered
  std::function<void(bool visible)> ShowResampling;  // resampling options offered (videos, BMP, JPEG)
  std::function<void()> SwitchOffResampling;      // FITS and TIFF are never resampled
  std::function<void()> NewInputLoaded;           // before the new frames are listed
  std::function<void(int w, int h)> SizeAlignView;
  std::function<void(int w, int h)> FitBoxToFrame;  // small frames get the smallest alignment box
  std::function<void(int last)> SetAlignRange;    // last frame index the alignment slider reaches
  std::function<void(int last)> SetStackRange;    // last rank the stack slider reaches
  std::function<void(int, int)> AllocateImageBuffers;
  std::function<void(int x, int y)> SetFeaturePoint;  // the single still frame's feature = centre
  std::function<void()> PrepareSingleFrame;       // one still frame: no resampling, no alignment box
  std::function<void()> StackSingleFrame;         // stack selection refresh and the stack itself
  std::function<void()> PagesForSingleFrame;      // Stacking, Wavelet Processing and Final shown, WP active

  void SelectFileButtonClick();
  void AddBitmapDialogTypeChange(int filterIndex, bool& multiSelect) const;
  // The open dialog's preview of a video: frame 0 of the selected name.
  void AddBitmapDialogSelectionChange(const std::string& path);
  // Files dropped onto the window while the Input page shows.
  void DropFiles(const std::vector<std::string>& files);
  void BitBtn10Click();  // "Empty List"

  // Opening an input without a dialog (projects, frame lists): a video by its path, or still
  // frames by their full paths in frame order (one path: a single frame). The files must have
  // been checked; reader errors propagate.
  void OpenVideo(const std::string& path);
  void OpenStillFrames(const std::vector<std::string>& paths, InputKind kind);

  // The window caption of the current still input for `path`.
  std::string StillCaption(const std::string& path) const;
  // The input state, caption and frame list for the batch tool ("input").
  px::Json DumpJson() const;

 private:
  void BeginInput(bool loaded);
  void SizeFromFirstStill(const std::string& first, InputKind kind, const char* tooLarge);
  void ResetForNewInput();
  bool ReadVideo(const std::string& path);
  void DropVideo(const std::string& path);
  bool ReadStills(const std::vector<std::string>& names, int filterIndex);
  void SingleStillFrame();
  void CommonTail();
  void SetFrameListFileButtons(bool visible);

  ui::Services& s_;
  FrameTable& table_;
  InputState& in_;
  InputControls& c_;
  FrameSource& source_;
  FrameNavigation& nav_;
  ui::Form& f_;  // the window caption
};

}  // namespace frames
