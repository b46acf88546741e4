#pragma once
// Choosing what to work on: a video, a sequence of still frames or a single still frame
// ("Select input"), files dropped onto the window, and "Empty List". Choosing an input resets
// the previous work, fills the frame table and the frame list, reads the first frame to learn
// the image size, allocates the image buffers and prepares the pages.
#include <functional>
#include <string>
#include <vector>

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

  // Hooks into the later stages, bound by the main window.
  std::function<void()> ResetStages;           // feature, levels, graphs, tracking, crop, RGB shift ...
  std::function<void()> SetupFFT;              // FFT engine for the chosen alignment box
  std::function<void(int, int)> AllocateImageBuffers;
  std::function<void(int x, int y)> SetFeaturePoint;  // the single still frame's feature = centre
  std::function<void()> StackSingleFrame;      // stack selection refresh and the stack itself
  std::function<void()> PagesForSingleFrame;   // Stacking, Wavelet Processing and Final shown, WP active

  void SelectFileButtonClick();
  void AddBitmapDialogTypeChange(int filterIndex, bool& multiSelect) const;
  // The open dialog's preview of a video: frame 0 of the selected name.
  void AddBitmapDialogSelectionChange(const std::string& path);
  void DropFiles(const std::vector<std::string>& files);
  void BitBtn10Click();  // "Empty List"

  // The window caption of the current still input for `path`.
  std::string StillCaption(const std::string& path) const;

 private:
  void ResetForNewInput();
  bool ReadVideo(const std::string& path);
  void DropVideo(const std::string& path);
  bool ReadStills(const std::vector<std::string>& names, int filterIndex);
  void SingleStillFrame();
  void CommonTail();
  void SetResampleControlsVisible(bool visible);
  void SetFrameListFileButtons(bool visible);

  ui::Services& s_;
  FrameTable& table_;
  InputState& in_;
  InputControls& c_;
  FrameSource& source_;
  FrameNavigation& nav_;
  ui::Form& f_;
};

}  // namespace frames
