#include "ui/HeadlessUi.h"

#include "base/Error.h"

namespace ui {

DialogResult HeadlessUi::messageBox(const std::string& text, MsgKind kind, MsgButtons buttons) {
  Message m{kind, text, buttons, DialogResult::OK};
  bool question = (buttons & ~static_cast<MsgButtons>(OK)) != 0;
  if (question) {
    if (answers_.empty()) {
      messages.push_back(m);
      if (onMessage) onMessage(m);
      throw px::ScriptAbort("no answer queued for the question \"" + text + "\"");
    }
    m.answer = answers_.front();
    answers_.pop_front();
  }
  messages.push_back(m);
  if (onMessage) onMessage(m);
  if (strict && kind == MsgKind::Error) throw px::ScriptAbort(text);
  return m.answer;
}

void HeadlessUi::queueDialog(std::vector<std::string> files, int filterIndex) {
  dialogs_.push_back({std::move(files), filterIndex});
}

FileDialogResult HeadlessUi::fileDialog(const FileDialogRequest& request) {
  dialogRequests.push_back(request);
  if (dialogs_.empty()) throw px::ScriptAbort("no answer queued for the file dialog (filter \"" + request.filter + "\")");
  auto a = dialogs_.front();
  dialogs_.pop_front();
  FileDialogResult r;
  r.accepted = !a.files.empty();
  r.files = a.files;
  r.filterIndex = a.filterIndex > 0 ? a.filterIndex : request.filterIndex;
  return r;
}

void HeadlessUi::processEvents() {
  ++processEventsCalls;
  if (onProcessEvents) onProcessEvents();
}

}  // namespace ui

namespace ui {

bool HeadlessUi::waitForPoint(const std::function<bool()>& waiting, const std::function<void(int x, int y)>& click) {
  while (waiting()) {
    if (points_.empty())
      throw px::ScriptAbort("no point queued for the click the program waits for (script command: point X Y)");
    auto [x, y] = points_.front();
    points_.pop_front();
    click(x, y);
  }
  return true;
}

void HeadlessUi::logProblem(const std::string& text) {
  problems.push_back(text);
  if (onProblem) onProblem(text);
}

}  // namespace ui
