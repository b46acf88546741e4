#pragma once
// The main window's frame: the six pages, the top bar, the information page and the shell's
// tool windows ("Memory window", "Hints").
#include "ui/FormModel.h"

namespace app {

struct ShellControls {
  explicit ShellControls(ui::Form& f);

  ui::Page& InputPage;
  ui::Page& AligningPage;
  ui::Page& StackingPage;
  ui::Page& WaveletPage;
  ui::Page& FinalPage;
  ui::Page& InfoPage;

  ui::Panel& MainBar;
  ui::Button& MemoryButton;

  ui::Label& LogoLabel;
  ui::Label& BuildLabel;
  ui::Label& SystemLabel;
  ui::Memo& InfoMemory;

  ui::ToolWindow& MemoryWindow;
  ui::Memo& MemoryMemo;
  ui::ToolWindow& HintWindow;
  ui::Memo& HintMemo;
};

}  // namespace app
