#pragma once
// A form shaped like the program's (five work pages and an information page, panels,
// tool windows, every control kind) with handlers that count their calls. The view tests
// and the screenshots run against it.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/FormModel.h"
#include "ui/ProgressWindow.h"
#include "ui/UiServices.h"

namespace pxtest {

struct DemoForm {
  explicit DemoForm(ui::UiServices& ui, bool allPagesVisible = false);

  ui::Form form;
  ui::UiServices& ui;
  bool cancelRequested = false;
  std::unique_ptr<ui::ProgressWindow> progress;

  std::map<std::string, int> calls;  // handler name -> calls
  std::vector<ui::MouseEvent> mouseDowns, mouseMoves;
  std::vector<int> keys;
  std::vector<std::string> dropped;
  ui::DialogResult lastAnswer = ui::DialogResult::OK;
  std::string throwText;  // "ThrowButton" throws this

  int count(const std::string& h) const {
    auto it = calls.find(h);
    return it == calls.end() ? 0 : it->second;
  }
  template <class T>
  T& get(const std::string& name) { return form.get<T>(name); }
};

// Synthetic pictures for the screenshots: a banded planet on black, a quality graph.
void DrawPlanet(ui::Bitmap24& bmp, double phase);
void DrawGraph(ui::Bitmap24& bmp);

}  // namespace pxtest
