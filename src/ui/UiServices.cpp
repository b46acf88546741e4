#include "ui/UiServices.h"

#include <chrono>
#include <iostream>

namespace ui {

const char* DialogResultName(DialogResult r) {
  switch (r) {
    case DialogResult::OK: return "OK";
    case DialogResult::Yes: return "Yes";
    case DialogResult::No: return "No";
    case DialogResult::Cancel: return "Cancel";
  }
  return "?";
}

const char* MsgKindName(MsgKind k) {
  switch (k) {
    case MsgKind::Information: return "information";
    case MsgKind::Warning: return "warning";
    case MsgKind::Error: return "error";
    case MsgKind::Confirmation: return "confirmation";
  }
  return "?";
}

void UiServices::logProblem(const std::string& text) { std::cerr << "pelinoxa: " << text << std::endl; }

double UiServices::nowMs() const {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace ui
