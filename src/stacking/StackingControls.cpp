#include "stacking/StackingControls.h"

namespace stacking {

namespace {
constexpr const char* kPage = "StackingPage";
}

StackingControls::StackingControls(ui::Form& f)
    : Stackimage(f.image("Stackimage", kPage, ui::Image::kDeclaredWidth, ui::Image::kDeclaredHeight)),
      StackSelection(f.panel("StackSelection", kPage, "Selection")),
      StackSlider(f.slider("StackSlider", "StackSelection", 0, 1, 0)),
      differencecutslider(f.slider("differencecutslider", "StackSelection", 0, 100, 100)),
      StackInfoLabel(f.label("StackInfoLabel", "StackSelection", "Stacking :")),
      RxLabel4(f.label("RxLabel4", "StackSelection", "Difference Cutoff (blue line)")),
      Stackgraphpanel(f.panel("Stackgraphpanel", kPage, "Graph", true, true)),
      StackGraph(f.image("StackGraph", "Stackgraphpanel", 307, 249)),
      Stacklist(f.checkBox("Stacklist", "Stackgraphpanel", "Show stack list", false)),
      StackOptions(f.panel("StackOptions", kPage, "Options")),
      Stackbutton(f.button("Stackbutton", "StackOptions", "Stack")),
      Colourprocess2(f.checkBox("Colourprocess2", "StackOptions", "Colour processing", false)),
      QualStack(f.checkBox("QualStack", "StackOptions", "Use image quality", true)),
      SubPixelStack(f.checkBox("SubPixelStack", "StackOptions", "Sub-pixel shifts", false)),
      Expandstack(f.checkBox("Expandstack", "StackOptions", "Expand image", false)),
      LRGB2(f.checkBox("LRGB2", "StackOptions", "LRGB", false)),
      Drizzle2(f.checkBox("Drizzle2", "StackOptions", "Drizzle2", false)),
      Pixfrac(f.spin("Pixfrac", "StackOptions", "Pixfrac", 10, 200, 80, 10)),
      Stackimagesize(f.label("Stackimagesize", "StackOptions", "Image : ")),
      StackSave(f.panel("StackSave", kPage, "Save")),
      SaveButton(f.button("SaveButton", "StackSave", "Save")),
      SaveSub(f.checkBox("SaveSub", "StackSave", "Save to subdir", false)),
      Subdirname(f.edit("Subdirname", "StackSave", "processed")),
      Stackframeswindow(f.toolWindow("Stackframeswindow", "Stackframes", 241, 281)),
      StackFramesList(f.checkList("StackFramesList", "Stackframeswindow")) {
  differencecutslider.setVertical(true);
  Drizzle2.setVisible(false);
  Pixfrac.setVisible(false);
  SaveButton.setEnabled(false);
  Subdirname.setVisible(false);
  StackFramesList.setMultiSelect(true);
  Stackframeswindow.setPosition(40, 160);
}

void StackingControls::ForSingleFrame() {
  StackSlider.setValue(0);
  StackSlider.setMax(1);
  SaveButton.setEnabled(true);
  QualStack.setChecked(false);
}

}  // namespace stacking
