#include "frames/InputControls.h"

namespace frames {

namespace {
constexpr const char* kPage = "InputPage";
}

InputControls::InputControls(ui::Form& f)
    : Showpanel(f.panel("Showpanel", kPage, "PeliNoxa")),
      InputGroup(f.panel("InputGroup", kPage, "Input")),
      SelectFileButton(f.button("SelectFileButton", "InputGroup", "Select input")),
      DirectoryListBox1(f.edit("DirectoryListBox1", "InputGroup", "")),
      Label9(f.label("Label9", "InputGroup", "")),
      ShowFramelist(f.checkBox("ShowFramelist", "InputGroup", "Show frame list", false)),
      FrontPanel(f.panel("FrontPanel", kPage, "Frames")),
      PreviewSlider(f.slider("PreviewSlider", "FrontPanel", 0, 1, 0)),
      UseFramesign(f.shape("UseFramesign", "FrontPanel", ui::colors::Lime)),
      Frames(f.label("Frames", "FrontPanel", "")),
      PreviewImage(f.image("PreviewImage", kPage, ui::Image::kDeclaredWidth, ui::Image::kDeclaredHeight)),
      AlignmentWeights(f.panel("AlignmentWeights", kPage, "Alignment")),
      LuminanceLabel(f.label("LuminanceLabel", "AlignmentWeights", "Luminance = aR+bG+cB")),
      RxSpinEdit1(f.spin("RxSpinEdit1", "AlignmentWeights", "a", 0, 1, 0.299, 0.1, 3)),
      RxSpinEdit2(f.spin("RxSpinEdit2", "AlignmentWeights", "b", 0, 1, 0.587, 0.1, 3)),
      RxSpinEdit3(f.spin("RxSpinEdit3", "AlignmentWeights", "c", 0, 1, 0.114, 0.1, 3)),
      Button6(f.button("Button6", "AlignmentWeights", "Reset")),
      DeInterlacepanel(f.panel("DeInterlacepanel", kPage, "De-interlace", true, false)),
      Interlaced(f.checkBox("Interlaced", "DeInterlacepanel", "De-interlace", false)),
      InterlaceHoriz(f.checkBox("InterlaceHoriz", "DeInterlacepanel", "Horizontal", false)),
      interlaceinterpolation(f.radioGroup("interlaceinterpolation", "DeInterlacepanel", "Interpolation",
                                          {"none", "odd && even lines", "odd lines ", "even lines "}, 1)),
      Debayerpanel(f.panel("Debayerpanel", kPage, "Colour mosaic", true, false)),
      Debayer(f.checkBox("Debayer", "Debayerpanel", "Debayer", false)),
      DebayerPattern(f.comboBox("DebayerPattern", "Debayerpanel", {"RGGB", "GRBG", "GBRG", "BGGR"}, 0)),
      DebayerMethod(f.comboBox("DebayerMethod", "Debayerpanel", {"bilinear", "edge-aware"}, 0)),
      Imageoptionspanel(f.panel("Imageoptionspanel", kPage, "Settings", true, true)),
      ColourStack(f.checkBox("ColourStack", "Imageoptionspanel", "Colour processing", false)),
      LRGB1(f.checkBox("LRGB1", "Imageoptionspanel", "LRGB", false)),
      Lumichannel(f.checkBox("Lumichannel", "Imageoptionspanel", "Use Luminance (fits)", false)),
      Processarea(f.comboBox("Processarea", "Imageoptionspanel", {"full", "2048", "1024", "512", "256", "128"}, 3)),
      InitialOptionspanel(f.panel("InitialOptionspanel", kPage, "Additional options", true, false)),
      LoadDarkframe(f.button("LoadDarkframe", "InitialOptionspanel", "Load Darkframe")),
      UseDarkFrame(f.checkBox("UseDarkFrame", "InitialOptionspanel", "Use darkframe", false)),
      Flatfieldbutton(f.button("Flatfieldbutton", "InitialOptionspanel", "Load Flatfield")),
      UseFlatfield(f.checkBox("UseFlatfield", "InitialOptionspanel", "Use flatfield", false)),
      CreateDarkframe(f.button("CreateDarkframe", "InitialOptionspanel", "Make Darkframe")),
      CreateFlatfield(f.button("CreateFlatfield", "InitialOptionspanel", "Make Flatfield")),
      SelectFrameswindow(f.toolWindow("SelectFrameswindow", "Frame list", 260, 480)),
      BitBtn4(f.button("BitBtn4", "SelectFrameswindow", "Set all")),
      BitBtn5(f.button("BitBtn5", "SelectFrameswindow", "Set none")),
      Framelistsavebutton(f.button("Framelistsavebutton", "SelectFrameswindow", "Save")),
      Framelistloadbutton(f.button("Framelistloadbutton", "SelectFrameswindow", "Load")),
      AddFramesButton(f.button("AddFramesButton", "SelectFrameswindow", "Add")),
      BitBtn10(f.button("BitBtn10", "SelectFrameswindow", "Empty List")),
      FramelistSortbutton(f.button("FramelistSortbutton", "SelectFrameswindow", "Sort")),
      SelectFramesChecklist(f.checkList("SelectFramesChecklist", "SelectFrameswindow")) {
  Label9.setCaption("");
  Frames.setVisible(false);
  UseFramesign.setVisible(false);
  UseFramesign.setSize(16, 16);
  PreviewSlider.setSize(500, 24);
  InterlaceHoriz.setVisible(false);
  interlaceinterpolation.setVisible(false);
  Lumichannel.setVisible(false);
  Debayer.setHint("8-bit grey videos holding a raw colour mosaic: rebuild colour with this pattern");
  DebayerMethod.setHint("also for SER mosaics; edge-aware keeps finer detail with less colour fringing");
  UseDarkFrame.setVisible(false);
  UseFlatfield.setVisible(false);
  CreateDarkframe.setVisible(false);
  CreateFlatfield.setVisible(false);
  AddFramesButton.setVisible(false);
  SelectFramesChecklist.setMultiSelect(true);
  SelectFramesChecklist.setHint("when selecting multiple frames double click \r\nthe filename that shows a dotted outline !");
  SelectFramesChecklist.setBounds(0, 88, 248, 480 - 112);
  SelectFrameswindow.setPosition(20, 120);
}

}  // namespace frames
