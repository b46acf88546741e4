#include "app/ShellControls.h"

namespace app {

ShellControls::ShellControls(ui::Form& f)
    : InputPage(f.page("InputPage", "Input")),
      AligningPage(f.page("AligningPage", "Aligning")),
      StackingPage(f.page("StackingPage", "Stacking")),
      WaveletPage(f.page("WaveletPage", "Wavelet Processing")),
      FinalPage(f.page("FinalPage", "Final")),
      InfoPage(f.page("InfoPage", "Info")),
      MainBar(f.panel("MainBar", "", "")),
      MemoryButton(f.button("MemoryButton", "MainBar", "Memory")),
      LogoLabel(f.label("LogoLabel", "InfoPage", "")),
      BuildLabel(f.label("BuildLabel", "InfoPage", "")),
      SystemLabel(f.label("SystemLabel", "InfoPage", "")),
      InfoMemory(f.memo("InfoMemory", "InfoPage")),
      MemoryWindow(f.toolWindow("MemoryWindow", "Memory window", 360, 200)),
      MemoryMemo(f.memo("MemoryMemo", "MemoryWindow")),
      HintWindow(f.toolWindow("HintWindow", "Hints", 420, 360)),
      HintMemo(f.memo("HintMemo", "HintWindow")) {
  MemoryWindow.setPosition(300, 300);
  HintWindow.setPosition(320, 120);
}

}  // namespace app
