#pragma once
// Everything the processing needs from a window toolkit, behind one interface.
// Two implementations: the Qt one (ui/qt) and HeadlessUi (answers from a queue).
#include <functional>
#include <string>
#include <vector>

#include "ui/Bitmap24.h"
#include "ui/Cursor.h"

namespace ui {

enum class MsgKind { Information, Warning, Error, Confirmation };

// Buttons offered by a message box (a set).
enum MsgButton : unsigned { OK = 1, Yes = 2, No = 4, Cancel = 8 };
using MsgButtons = unsigned;
constexpr MsgButtons ButtonsOK = OK;
constexpr MsgButtons ButtonsYesNo = Yes | No;
constexpr MsgButtons ButtonsYesCancel = Yes | Cancel;
constexpr MsgButtons ButtonsOKNo = OK | No;
constexpr MsgButtons ButtonsOKCancel = OK | Cancel;

enum class DialogResult { OK, Yes, No, Cancel };
const char* DialogResultName(DialogResult r);
const char* MsgKindName(MsgKind k);


struct FileDialogRequest {
  bool save = false;
  std::string title;
  std::string filter;        // "Label|*.ext|Label2|*.a;*.b"
  int filterIndex = 1;       // 1-based, preset
  std::string defaultExt;    // without dot
  std::string initialDir;
  std::string fileName;      // preset name
  bool multiSelect = false;
  // While the dialog is open: the user moved to another filter (return whether several files
  // may then be selected) or to another file (e.g. to preview it).
  std::function<bool(int filterIndex)> onTypeChange;
  std::function<void(const std::string& path)> onSelectionChange;
};

struct FileDialogResult {
  bool accepted = false;
  std::vector<std::string> files;  // multi-selection: the focused file first
  int filterIndex = 1;             // the filter the user ended on
};

class UiServices {
 public:
  virtual ~UiServices() = default;

  virtual DialogResult messageBox(const std::string& text, MsgKind kind, MsgButtons buttons) = 0;
  void showMessage(const std::string& text) { messageBox(text, MsgKind::Information, ButtonsOK); }
  void showError(const std::string& text) { messageBox(text, MsgKind::Error, ButtonsOK); }
  bool askYesNo(const std::string& text, MsgKind kind = MsgKind::Warning) {
    return messageBox(text, kind, ButtonsYesNo) == DialogResult::Yes;
  }

  virtual FileDialogResult fileDialog(const FileDialogRequest& request) = 0;

  // Handles pending window events and returns (long runs call it once per frame or tile).
  virtual void processEvents() = 0;

  // Waits for the user to point at a picture: window events are handled, sleeping while none
  // arrive, until waiting() turns false (the picture's click handler ends the wait). Without a
  // display the next scripted point is delivered through click(x, y) instead, and none queued
  // raises px::ScriptAbort. Returns false when the wait was given up (the window closed).
  virtual bool waitForPoint(const std::function<bool()>& waiting, const std::function<void(int x, int y)>& click) = 0;

  // A problem that must not interrupt the user (settings that cannot be kept): logged.
  virtual void logProblem(const std::string& text);

  virtual void setCursor(Cursor c) = 0;
  virtual Cursor cursor() const = 0;

  virtual void setClipboardBitmap(const Bitmap24& bmp) = 0;

  // Milliseconds since an arbitrary start; for the time lines in the log.
  virtual double nowMs() const;
};

}  // namespace ui
