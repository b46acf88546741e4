#pragma once
// Controls of the "Input" page and the "Frame list" tool window, declared with their captions,
// ranges and defaults. The page itself is declared by the shell.
#include "ui/FormModel.h"

namespace frames {

struct InputControls {
  explicit InputControls(ui::Form& f);

  // Input group and preview
  ui::Panel& Showpanel;  // start-up logo panel
  ui::Panel& InputGroup;
  ui::Button& SelectFileButton;
  ui::Edit& DirectoryListBox1;  // the input folder
  ui::Label& Label9;
  ui::CheckBox& ShowFramelist;
  ui::Panel& FrontPanel;
  ui::Slider& PreviewSlider;
  ui::Shape& UseFramesign;
  ui::Label& Frames;
  ui::Image& PreviewImage;

  // Alignment luminance weights
  ui::Panel& AlignmentWeights;
  ui::Label& LuminanceLabel;
  ui::SpinEdit& RxSpinEdit1;
  ui::SpinEdit& RxSpinEdit2;
  ui::SpinEdit& RxSpinEdit3;
  ui::Button& Button6;

  // De-interlacing
  ui::Panel& DeInterlacepanel;
  ui::CheckBox& Interlaced;
  ui::CheckBox& InterlaceHoriz;
  ui::RadioGroup& interlaceinterpolation;

  // Raw colour mosaics in 8-bit grey videos (SER captures name their own pattern)
  ui::Panel& Debayerpanel;
  ui::CheckBox& Debayer;
  ui::ComboBox& DebayerPattern;
  ui::ComboBox& DebayerMethod;

  // Settings
  ui::Panel& Imageoptionspanel;
  ui::CheckBox& ColourStack;
  ui::CheckBox& LRGB1;
  ui::CheckBox& Lumichannel;
  ui::ComboBox& Processarea;

  // Calibration
  ui::Panel& InitialOptionspanel;
  ui::Button& LoadDarkframe;
  ui::CheckBox& UseDarkFrame;
  ui::Button& Flatfieldbutton;
  ui::CheckBox& UseFlatfield;
  ui::Button& CreateDarkframe;
  ui::Button& CreateFlatfield;

  // "Frame list" tool window
  ui::ToolWindow& SelectFrameswindow;
  ui::Button& BitBtn4;   // "Set all"
  ui::Button& BitBtn5;   // "Set none"
  ui::Button& Framelistsavebutton;
  ui::Button& Framelistloadbutton;
  ui::Button& AddFramesButton;
  ui::Button& BitBtn10;  // "Empty List"
  ui::Button& FramelistSortbutton;
  ui::CheckList& SelectFramesChecklist;
};

}  // namespace frames
