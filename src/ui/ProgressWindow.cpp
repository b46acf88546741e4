#include "ui/ProgressWindow.h"

namespace ui {

ProgressWindow::ProgressWindow(Form& form, UiServices& ui, bool& cancelRequested)
    : window(form.toolWindow("MessageWindow", "Progress ", 330, 130)),
      gauge(form.gauge("Progressgraph", "MessageWindow")),
      line1(form.label("messagewinlabel", "MessageWindow", "")),
      line2(form.label("Messagewinlabel2", "MessageWindow", "")),
      cancelButton(form.button("CancelButton", "MessageWindow", "Cancel")),
      ui_(ui),
      cancel_(cancelRequested) {
  cancelButton.OnClick = [this] {
    if (ui_.messageBox("Do you want to cancel ?", MsgKind::Confirmation, ButtonsYesNo) == DialogResult::Yes)
      cancel_ = true;
  };
}

void ProgressWindow::show() { window.setVisible(true); }

void ProgressWindow::start(const std::string& caption) {
  gauge.setProgress(0);
  line1.setCaption(caption);
  window.setVisible(true);
}

void ProgressWindow::setProgress(int percent) { gauge.setProgress(percent); }
void ProgressWindow::setCaption(const std::string& line) { line1.setCaption(line); }
void ProgressWindow::setLine2(const std::string& line) { line2.setCaption(line); }
void ProgressWindow::hide() { window.setVisible(false); }

}  // namespace ui
