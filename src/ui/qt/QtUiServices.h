#pragma once
// UiServices on Qt: message boxes, file dialogs (non-native, so they behave the same
// everywhere), the event pump, the override cursor and the clipboard. Construct it after the
// QApplication.
//
// Test hook: queueMessageAnswer / queueFileDialogAnswer / queueModalAction answer the next
// modal dialogs in order; a timer finds the active modal widget while answers are queued.
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/UiServices.h"

namespace ui::qt {

class QtUiServices : public UiServices {
 public:
  QtUiServices();
  ~QtUiServices() override;

  DialogResult messageBox(const std::string& text, MsgKind kind, MsgButtons buttons) override;
  FileDialogResult fileDialog(const FileDialogRequest& request) override;
  // QCoreApplication::processEvents plus the throttled repaint of changed pictures.
  void processEvents() override;
  // Blocks on window events (no polling) until the wait ends or the main window closes.
  bool waitForPoint(const std::function<bool()>& waiting, const std::function<void(int x, int y)>& click) override;
  void setCursor(Cursor c) override;
  Cursor cursor() const override { return cursor_; }
  void setClipboardBitmap(const Bitmap24& bmp) override;
  double nowMs() const override;

  // The window dialogs are centred on (the main window once it exists).
  void setMainWindow(QWidget* w) { mainWindow_ = w; }

  // ---- test hook
  using ModalAction = std::function<void(QWidget* modal)>;
  void queueModalAction(ModalAction action);
  // Presses the button of the next message box (a button it does not offer closes it).
  void queueMessageAnswer(DialogResult answer);
  // Answers the next file dialog: picks filter filterIndex (1-based; 0 keeps the preset),
  // types the files (absolute paths, one folder) and accepts; no files = cancel.
  void queueFileDialogAnswer(std::vector<std::string> files, int filterIndex = 0);
  int hookMismatches = 0;  // queued answers that met the wrong kind of dialog

  struct ShownMessage {
    MsgKind kind;
    std::string text;
    MsgButtons buttons;
    DialogResult answer;
  };
  std::vector<ShownMessage> shownMessages;

 private:
  QWidget* dialogParent() const;
  void runModalHook();

  QPointer<QWidget> mainWindow_;
  Cursor cursor_ = Cursor::Normal;
  bool overridden_ = false;
  std::deque<ModalAction> modal_;
  QTimer modalTimer_;
  QElapsedTimer clock_;
};

}  // namespace ui::qt
