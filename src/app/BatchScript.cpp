#include "app/BatchScript.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <string_view>
#include <iostream>
#include <sstream>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "ui/BmpCodec.h"

namespace app {

using px::PelinoxaError;

namespace {

ui::DialogResult ParseAnswer(const std::string& a) {
  std::string t = px::LowerCase(a);
  if (t == "yes") return ui::DialogResult::Yes;
  if (t == "no") return ui::DialogResult::No;
  if (t == "ok") return ui::DialogResult::OK;
  if (t == "cancel") return ui::DialogResult::Cancel;
  throw PelinoxaError("answer must be Yes, No, OK or Cancel, not " + a);
}

int ParseInt(const std::string& t, const char* what) {
  long long v;
  if (!px::TryParseInt(t, v)) throw PelinoxaError(std::string(what) + " must be an integer, not " + t);
  return static_cast<int>(v);
}

}  // namespace

BatchScript::BatchScript(MainForm& mainForm, ui::HeadlessUi& ui, std::ostream& out, std::ostream& err)
    : baseDir(px::CurrentDirectory()), mf_(mainForm), ui_(ui), out_(out), err_(err) {
  previousHook_ = ui_.onProcessEvents;
  ui_.onProcessEvents = [this] {
    if (previousHook_) previousHook_();
    CountFrameForCancel();
  };
}

BatchScript::~BatchScript() { ui_.onProcessEvents = previousHook_; }

// Runs pump the events once per frame while the "Progress " window shows.
void BatchScript::CountFrameForCancel() {
  if (cancelAfter_ <= 0) return;
  ui::ProgressWindow& progress = mf_.progress();
  if (!progress.window.visible()) return;
  if (--cancelAfter_ > 0) return;
  ui::Button& button = progress.cancelButton;
  if (!button.enabled()) return;
  ui_.queueAnswerFirst(ui::DialogResult::Yes);  // "Do you want to cancel ?"
  button.userClick();
}

std::vector<std::string> BatchScript::Tokenize(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0, n = line.size();
  while (i < n) {
    while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= n || line[i] == '#') break;
    std::string tok;
    if (line[i] == '"') {
      ++i;
      while (i < n && line[i] != '"') tok += line[i++];
      if (i >= n) throw PelinoxaError("unterminated quote");
      ++i;
    } else {
      while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        if (line[i] == '"') {
          ++i;
          while (i < n && line[i] != '"') tok += line[i++];
          if (i < n) ++i;
        } else {
          tok += line[i++];
        }
      }
    }
    out.push_back(tok);
  }
  return out;
}

std::string BatchScript::Resolve(const std::string& path) const {
  if (path.empty() || path[0] == '/') return path;
  return px::JoinPath(baseDir, path);
}

void BatchScript::WriteOutput(const std::string& file, const std::string& text) {
  if (file == "-") {
    out_ << text << '\n';
    out_.flush();
    return;
  }
  px::WriteFileAtomic(Resolve(file), text + "\n");
}

namespace {

// The words after a command's fixed arguments: mouse buttons, held button, ctrl and shift.
struct Modifiers {
  bool ctrl = false, shift = false, held = false;
  std::optional<ui::MouseButton> button;
};

Modifiers ParseModifiers(const std::vector<std::string>& a, size_t from, std::initializer_list<std::string_view> allowed,
                         const std::string& command) {
  Modifiers m;
  for (size_t i = from; i < a.size(); ++i) {
    const std::string w = px::LowerCase(a[i]);
    if (std::find(allowed.begin(), allowed.end(), w) == allowed.end())
      throw PelinoxaError("unknown " + command + " modifier " + a[i]);
    if (w == "ctrl") m.ctrl = true;
    else if (w == "shift") m.shift = true;
    else if (w == "held") m.held = true;
    else if (w == "left") m.button = ui::MouseButton::Left;
    else if (w == "right") m.button = ui::MouseButton::Right;
    else if (w == "middle") m.button = ui::MouseButton::Middle;
  }
  return m;
}

ui::MouseAction ParseMouseAction(const std::string& word) {
  const std::string w = px::LowerCase(word);
  if (w == "down") return ui::MouseAction::Down;
  if (w == "move") return ui::MouseAction::Move;
  if (w == "up") return ui::MouseAction::Up;
  if (w == "dblclick") return ui::MouseAction::DblClick;
  throw PelinoxaError("mouse action must be down, move, up or dblclick");
}

}  // namespace

// Each command with its least number of words (the command included) and its usage text; one
// table of short entries, long only because the language has many commands.
const std::vector<BatchScript::Command>& BatchScript::Commands() {
  using Args = std::vector<std::string>;
  static const std::vector<Command> table = {
      {"set", 3, "set NAME.PROP VALUE",
       [](BatchScript& b, const Args& a) {
         ui::Form& f = b.mf_.form();
         f.getProperty(a[1]);  // a wrong name is a script error
         // What the change handlers raise is shown like any handler's error.
         f.runUserAction([&] { f.setProperty(a[1], a[2]); });
       }},
      {"click", 2, "click NAME [INDEX]",
       [](BatchScript& b, const Args& a) {
         ui::Control& c = b.mf_.form().control(a[1]);
         if (a.size() >= 3) {
           const int i = ParseInt(a[2], "INDEX");
           if (auto* list = dynamic_cast<ui::CheckList*>(&c)) list->userClickItem(i);
           else if (auto* radio = dynamic_cast<ui::RadioGroup*>(&c)) radio->userSelect(i);
           else if (auto* combo = dynamic_cast<ui::ComboBox*>(&c)) combo->userSelect(i);
           else throw PelinoxaError(a[1] + " has no items to click");
           return;
         }
         if (!c.visible() && c.kind() == ui::Kind::Button) throw PelinoxaError("the button " + a[1] + " is hidden");
         if (!c.enabled()) throw PelinoxaError("the control " + a[1] + " is disabled");
         c.userClick();
       }},
      {"mouse", 5, "mouse NAME down|move|up|dblclick X Y [left|right|middle] [ctrl] [shift]",
       [](BatchScript& b, const Args& a) {
         auto& img = b.mf_.form().get<ui::Image>(a[1]);
         const ui::MouseAction action = ParseMouseAction(a[2]);
         const Modifiers m = ParseModifiers(a, 5, {"left", "right", "middle", "ctrl", "shift", "held"}, "mouse");
         ui::MouseEvent e;
         e.x = ParseInt(a[3], "X");
         e.y = ParseInt(a[4], "Y");
         if (m.button) e.button = *m.button;
         e.ctrl = m.ctrl;
         e.shift = m.shift;
         e.buttonHeld = m.held;
         img.userMouse(action, e);
       }},
      {"key", 3, "key NAME CODE [ctrl] [shift]",
       [](BatchScript& b, const Args& a) {
         const Modifiers m = ParseModifiers(a, 3, {"ctrl", "shift"}, "key");
         b.mf_.form().control(a[1]).userKey(ParseInt(a[2], "CODE"), m.ctrl, m.shift);
       }},
      {"dialog", 2, "dialog PATH [PATH ...] [filter=N] | dialog cancel",
       [](BatchScript& b, const Args& a) {
         if (a.size() == 2 && px::LowerCase(a[1]) == "cancel") {
           b.ui_.queueDialogCancel();
           return;
         }
         std::vector<std::string> files;
         int filter = 0;
         for (size_t i = 1; i < a.size(); ++i) {
           if (a[i].rfind("filter=", 0) == 0) filter = ParseInt(a[i].substr(7), "filter");
           else files.push_back(b.Resolve(a[i]));
         }
         if (files.empty()) throw PelinoxaError("dialog needs a path or cancel");
         b.ui_.queueDialog(files, filter);
       }},
      {"answer", 2, "answer Yes|No|OK|Cancel",
       [](BatchScript& b, const Args& a) { b.ui_.queueAnswer(ParseAnswer(a[1])); }},
      {"point", 3, "point X Y",
       [](BatchScript& b, const Args& a) { b.ui_.queuePoint(ParseInt(a[1], "X"), ParseInt(a[2], "Y")); }},
      {"cancel", 2, "cancel N",
       [](BatchScript& b, const Args& a) {
         const int n = ParseInt(a[1], "N");
         if (n < 1) throw PelinoxaError("cancel needs a number of frames of at least 1, not " + a[1]);
         b.cancelAfter_ = n;
       }},
      {"page", 2, "page N",
       [](BatchScript& b, const Args& a) {
         ui::Form& f = b.mf_.form();
         const int n = ParseInt(a[1], "N");
         auto pages = f.pages();
         if (n < 1 || n > static_cast<int>(pages.size())) throw PelinoxaError("no page " + a[1]);
         ui::Page& p = *pages[n - 1];
         if (!p.visible()) throw PelinoxaError("the page \"" + p.caption() + "\" is not available yet");
         f.userSetActivePage(p);
       }},
      {"dump", 3, "dump WHAT FILE",
       [](BatchScript& b, const Args& a) {
         if (a[1] != "messages") {
           b.WriteOutput(a[2], b.mf_.Dump(a[1]).dump());
           return;
         }
         px::Json j = px::Json::array();
         for (const auto& m : b.ui_.messages) {
           px::Json e = px::Json::object();
           e["kind"] = ui::MsgKindName(m.kind);
           e["text"] = m.text;
           e["answer"] = ui::DialogResultName(m.answer);
           j.push(e);
         }
         b.WriteOutput(a[2], j.dump());
       }},
      {"picture", 3, "picture NAME FILE.bmp",
       [](BatchScript& b, const Args& a) {
         ui::SaveBmpFile(b.Resolve(a[2]), b.mf_.form().get<ui::Image>(a[1]).picture());
       }},
      {"check", 3, "check NAME INDEX",
       [](BatchScript& b, const Args& a) {
         b.mf_.form().get<ui::CheckList>(a[1]).userToggleCheck(ParseInt(a[2], "INDEX"));
       }},
      {"select", 3, "select NAME INDEX [ctrl] [shift]",
       [](BatchScript& b, const Args& a) {
         const Modifiers m = ParseModifiers(a, 3, {"ctrl", "shift"}, "select");
         b.mf_.form().get<ui::CheckList>(a[1]).userClickItem(ParseInt(a[2], "INDEX"), m.ctrl, m.shift);
       }},
      {"dblclick", 2, "dblclick NAME",
       [](BatchScript& b, const Args& a) { b.mf_.form().get<ui::CheckList>(a[1]).userDblClick(); }},
      {"slide", 3, "slide NAME VALUE",
       [](BatchScript& b, const Args& a) {
         b.mf_.form().get<ui::Slider>(a[1]).userSetValue(ParseInt(a[2], "VALUE"));
       }},
      {"type", 3, "type NAME VALUE",
       [](BatchScript& b, const Args& a) {
         ui::Control& c = b.mf_.form().control(a[1]);
         if (auto* spin = dynamic_cast<ui::SpinEdit*>(&c)) spin->userSetValue(px::StrToFloat(a[2]));
         else if (auto* edit = dynamic_cast<ui::Edit*>(&c)) edit->userSetText(a[2]);
         else throw PelinoxaError(a[1] + " is not a spin or edit box");
       }},
      {"move", 4, "move NAME LEFT TOP",
       [](BatchScript& b, const Args& a) {
         b.mf_.form().get<ui::ToolWindow>(a[1]).userMove(ParseInt(a[2], "LEFT"), ParseInt(a[3], "TOP"));
       }},
      {"close", 2, "close NAME",
       [](BatchScript& b, const Args& a) { b.mf_.form().get<ui::ToolWindow>(a[1]).userClose(); }},
      {"drop", 2, "drop PATH [PATH ...]",
       [](BatchScript& b, const Args& a) {
         std::vector<std::string> files;
         for (size_t i = 1; i < a.size(); ++i) files.push_back(b.Resolve(a[i]));
         b.mf_.form().userDropFiles(files);
       }},
      {"clipboard", 2, "clipboard FILE.bmp",
       [](BatchScript& b, const Args& a) {
         if (b.ui_.clipboard.empty()) throw PelinoxaError("The clipboard holds no picture");
         ui::SaveBmpFile(b.Resolve(a[1]), b.ui_.clipboard);
       }},
      {"open", 2, "open FILE.pxp|FILE.pxl",
       [](BatchScript& b, const Args& a) {
         const std::string path = b.Resolve(a[1]);
         b.mf_.form().runUserAction([&] {
           if (!b.mf_.OpenFile(path))
             throw PelinoxaError("open: " + path + " is neither a project (.pxp) nor a frame list (.pxl)");
         });
       }},
      {"expect", 3, "expect NAME.PROP VALUE",
       [](BatchScript& b, const Args& a) {
         const std::string v = b.mf_.form().getProperty(a[1]);
         if (v != a[2]) throw PelinoxaError("expected " + a[1] + " = \"" + a[2] + "\" but it is \"" + v + "\"");
       }},
      {"print", 2, "print NAME.PROP",
       [](BatchScript& b, const Args& a) { b.out_ << b.mf_.form().getProperty(a[1]) << '\n'; }},
      {"echo", 1, "echo TEXT ...",
       [](BatchScript& b, const Args& a) {
         std::string text;
         for (size_t i = 1; i < a.size(); ++i) text += (i > 1 ? " " : "") + a[i];
         b.out_ << text << '\n';
       }},
  };
  return table;
}

void BatchScript::RunLine(const std::string& line) {
  const auto a = Tokenize(line);
  if (a.empty()) return;
  const std::string name = px::LowerCase(a[0]);
  for (const Command& c : Commands()) {
    if (name != c.name) continue;
    if (a.size() < c.words) throw PelinoxaError(std::string("usage: ") + c.usage);
    c.run(*this, a);
    return;
  }
  throw PelinoxaError("unknown command " + a[0]);
}

int BatchScript::RunText(const std::string& text, const std::string& name) {
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    auto start = std::chrono::steady_clock::now();
    try {
      RunLine(line);
    } catch (const px::ScriptAbort& e) {
      err_ << "pelinoxa-batch: " << name << ":" << lineNo << ": " << e.what() << '\n';
      return 2;
    } catch (const std::exception& e) {
      err_ << "pelinoxa-batch: " << name << ":" << lineNo << ": " << e.what() << '\n';
      return 3;
    }
    if (printTimings) {
      auto a = Tokenize(line);
      if (!a.empty()) {
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        out_ << "[time] " << px::FormatFixed(ms, 1) << " ms  " << line << '\n';
      }
    }
  }
  return 0;
}

int BatchScript::RunFile(const std::string& path) {
  std::string text;
  try {
    text = px::ReadFileText(Resolve(path));
  } catch (const std::exception& e) {
    err_ << "pelinoxa-batch: " << e.what() << '\n';
    return 3;
  }
  return RunText(text, path);
}

}  // namespace app
