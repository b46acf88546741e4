#pragma once
// The "Progress " tool window that every long run shows: a gauge, two caption lines and a
// "Cancel" button that asks "Do you want to cancel ?" and raises the run's cancel flag.
#include <string>

#include "ui/FormModel.h"
#include "ui/UiServices.h"

namespace ui {

class ProgressWindow {
 public:
  ProgressWindow(Form& form, UiServices& ui, bool& cancelRequested);

  void show();                               // shows the window (gauge and lines kept)
  void start(const std::string& caption);    // gauge 0, first line, shown
  void setProgress(int percent);
  void setCaption(const std::string& line);  // first line
  void setLine2(const std::string& line);
  void hide();
  bool visible() const { return window.visible(); }

  ToolWindow& window;    // MessageWindow
  Gauge& gauge;          // Progressgraph
  Label& line1;          // messagewinlabel
  Label& line2;          // Messagewinlabel2
  Button& cancelButton;  // CancelButton

 private:
  UiServices& ui_;
  bool& cancel_;
};

}  // namespace ui
