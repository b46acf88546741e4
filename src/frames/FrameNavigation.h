#pragma once
// Browsing frames and choosing which take part: the preview slider, the frame caption and use
// sign, the alignment-box outline over the preview, the "Frame list" window, the alignment
// luminance weights and the de-interlace options.
#include <functional>

#include "base/Json.h"
#include "frames/FrameSource.h"
#include "frames/FrameTable.h"
#include "frames/InputControls.h"
#include "frames/InputState.h"
#include "frames/NavigationState.h"
#include "ui/Services.h"

namespace frames {

class FrameNavigation {
 public:
  FrameNavigation(ui::Services& s, FrameTable& table, InputState& input, NavigationState& nav, InputControls& c,
                  FrameSource& source);

  void SetStoreOpened(bool opened) { storeOpened_ = opened; }

  int CurrentFrame() const { return c_.PreviewSlider.value(); }
  void ForgetMarker() { nav_.MarkerX = nav_.MarkerY = -1; }
  // Recounts the frames in use and rewrites the caption under the preview.
  void RefreshCaption();
  // Colours the use sign for frame i: grey dropped, red excluded, green used.
  void ShowUseSign(int frame);
  // The alignment box side (32, 64, 128, 256), told by registration; the outline follows it.
  std::function<int()> AlignBoxSide;

  // The input state, every frame's record and the ranks for the batch tool ("frames").
  px::Json DumpJson() const;

  void PreviewSliderChange();
  void PreviewSliderKeyDown(int& key);
  void PreviewImageMouseMove(const ui::MouseEvent& e);
  void ShowFramelistClick();
  void SelectFramesChecklistClick();
  void SelectFramesChecklistClickCheck();
  void SelectFramesChecklistDblClick();
  void BitBtn4Click();  // "Set all"
  void BitBtn5Click();  // "Set none"
  void FramelistSortbuttonClick();
  void RxSpinEdit1Change();
  void RxSpinEdit2Change();
  void RxSpinEdit3Change();
  void Button6Click();
  void InterlacedClick();
  void SelectFrameswindowResize();
  void SelectFrameswindowMove();

 private:
  void DrawOutline(int cx, int cy, int h);
  void MarkDroppedInList();
  ui::Services& s_;
  FrameTable& table_;
  InputState& in_;
  NavigationState& nav_;
  InputControls& c_;
  FrameSource& source_;
  bool storeOpened_ = false;
};

}  // namespace frames
