#pragma once
// UiServices without a display: answers come from queues, every message box is recorded.
// Scripts and tests queue the answers of the next questions, file dialogs and points; a question,
// dialog or point nobody answered raises ScriptAbort, and in strict mode so does an error box.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/UiServices.h"

namespace ui {

class HeadlessUi : public UiServices {
 public:
  struct Message {
    MsgKind kind;
    std::string text;
    MsgButtons buttons;
    DialogResult answer;
  };

  DialogResult messageBox(const std::string& text, MsgKind kind, MsgButtons buttons) override;
  FileDialogResult fileDialog(const FileDialogRequest& request) override;
  void processEvents() override;
  bool waitForPoint(const std::function<bool()>& waiting, const std::function<void(int x, int y)>& click) override;
  void logProblem(const std::string& text) override;
  void setCursor(Cursor c) override { cursor_ = c; }
  Cursor cursor() const override { return cursor_; }
  void setClipboardBitmap(const Bitmap24& bmp) override { clipboard = bmp; }

  void queueAnswer(DialogResult r) { answers_.push_back(r); }
  void queueAnswerFirst(DialogResult r) { answers_.push_front(r); }  // for the very next question
  // The point the user clicks at the next waitForPoint.
  void queuePoint(int x, int y) { points_.push_back({x, y}); }
  size_t pendingPoints() const { return points_.size(); }
  // files empty = the dialog is cancelled; filterIndex 0 = keep the dialog's preset filter.
  void queueDialog(std::vector<std::string> files, int filterIndex = 0);
  void queueDialogCancel() { queueDialog({}, 0); }

  bool strict = false;
  std::vector<Message> messages;
  std::vector<FileDialogRequest> dialogRequests;
  Bitmap24 clipboard;
  std::function<void(const Message&)> onMessage;  // called as each box is shown
  std::function<void()> onProcessEvents;          // lets a test press "Cancel" mid-run
  std::vector<std::string> problems;              // what logProblem received
  std::function<void(const std::string&)> onProblem;
  long long processEventsCalls = 0;

 private:
  struct DialogAnswer {
    std::vector<std::string> files;
    int filterIndex;
  };
  std::deque<DialogResult> answers_;
  std::deque<DialogAnswer> dialogs_;
  std::deque<std::pair<int, int>> points_;
  Cursor cursor_ = Cursor::Normal;
};

}  // namespace ui
