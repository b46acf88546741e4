#pragma once
// The script language of pelinoxa-batch: one command a line, '#' starts a comment,
// arguments separated by blanks, a path with blanks in double quotes.
//
//   set NAME.PROP VALUE          set a property from code (events fire as a toolkit's would;
//                                what they raise is shown in an error box)
//   click NAME [INDEX]           a user click (button, check box, radio item, list item INDEX)
//   mouse NAME down|move|up|dblclick X Y [left|right|middle] [ctrl] [shift]
//   key NAME CODE [ctrl] [shift] a key code on a control (32 space, 37/39 arrows)
//   dialog PATH [PATH ...] [filter=N] | dialog cancel   answer of the next file dialog
//   answer Yes|No|OK|Cancel      answer of the next question box
//   point X Y                    the next click the program waits for on a picture (the
//                                "Manual alignment" click on the aligning picture)
//   cancel N                     press "Cancel" on the "Progress " window, answering Yes,
//                                after the next run has handled N frames
//   page N                       make work page N active (1 "Input" ... 5 "Final", 6 info)
//   dump WHAT FILE               named state as JSON (FILE "-" = standard output)
//   picture NAME FILE.bmp        save a control's picture
//   clipboard FILE.bmp           save the picture put on the clipboard ("Clipboard")
// and also:
//   check NAME INDEX             toggle the check mark of a check-list item
//   select NAME INDEX [ctrl] [shift]   click a check-list item with modifiers
//   dblclick NAME                double-click a check list
//   slide NAME VALUE             a user drag of a slider (change, then "changed")
//   type NAME VALUE              a user edit of a spin or edit box
//   move NAME LEFT TOP           the user moves a tool window
//   close NAME                   the user closes a tool window
//   drop PATH [PATH ...]         files dropped onto the main window
//   open FILE                    open a project (.pxp) or frame list (.pxl) without a dialog
//   expect NAME.PROP VALUE       stop with an error unless the property has that value
//   print NAME.PROP              print a property's value (a memo's text, a label's caption)
//   echo TEXT ...                print a line
#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "ui/HeadlessUi.h"

namespace app {

class BatchScript {
 public:
  BatchScript(MainForm& mainForm, ui::HeadlessUi& ui, std::ostream& out, std::ostream& err);
  ~BatchScript();
  BatchScript(const BatchScript&) = delete;
  BatchScript& operator=(const BatchScript&) = delete;

  // Runs a script; returns the exit status (0 success, 2 aborted by a box, 3 script error).
  int RunFile(const std::string& path);
  int RunText(const std::string& text, const std::string& name);
  // One line; throws PelinoxaError for a malformed command or a failed expectation.
  void RunLine(const std::string& line);

  static std::vector<std::string> Tokenize(const std::string& line);

  bool printTimings = false;
  // Relative paths in commands are taken against this folder (the folder the batch started in;
  // the program itself changes the current directory when an input is chosen).
  std::string baseDir;

 private:
  struct Command {
    const char* name;
    size_t words;  // at least this many, the command included
    const char* usage;
    std::function<void(BatchScript&, const std::vector<std::string>&)> run;
  };
  static const std::vector<Command>& Commands();

  std::string Resolve(const std::string& path) const;
  void WriteOutput(const std::string& file, const std::string& text);
  void CountFrameForCancel();
  MainForm& mf_;
  ui::HeadlessUi& ui_;
  std::ostream& out_;
  std::ostream& err_;
  std::function<void()> previousHook_;
  int cancelAfter_ = 0;  // frames left before "cancel" fires; 0 = none queued
};

}  // namespace app
