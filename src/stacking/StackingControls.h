#pragma once
// Controls of the "Stacking" page and the "Stackframes" tool window.
#include "ui/FormModel.h"

namespace stacking {

struct StackingControls {
  explicit StackingControls(ui::Form& f);

  // A new input is listed: the difference cut admits every frame again.
  void ForNewInput() { differencecutslider.setValue(100); }
  // The stack slider reaches rank `last`.
  void SetRankRange(int last) { StackSlider.setRange(0, last); }
  // A single still frame: stacked alone, by itself, and ready to save.
  void ForSingleFrame();

  ui::Image& Stackimage;
  ui::Panel& StackSelection;
  ui::Slider& StackSlider;
  ui::Slider& differencecutslider;
  ui::Label& StackInfoLabel;
  ui::Label& RxLabel4;
  ui::Panel& Stackgraphpanel;
  ui::Image& StackGraph;
  ui::CheckBox& Stacklist;

  ui::Panel& StackOptions;
  ui::Button& Stackbutton;
  ui::CheckBox& Colourprocess2;
  ui::CheckBox& QualStack;
  // Frames whose registration found a fine shift are moved by its fraction before they are
  // added (not with drizzle or resampling, which place fractions their own way).
  ui::CheckBox& SubPixelStack;
  ui::CheckBox& Expandstack;
  ui::CheckBox& LRGB2;
  ui::CheckBox& Drizzle2;
  ui::SpinEdit& Pixfrac;
  ui::Label& Stackimagesize;

  ui::Panel& StackSave;
  ui::Button& SaveButton;
  ui::CheckBox& SaveSub;
  ui::Edit& Subdirname;

  ui::ToolWindow& Stackframeswindow;
  ui::CheckList& StackFramesList;
};

}  // namespace stacking
