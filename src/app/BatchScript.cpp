#include "app/BatchScript.h"

#include <fstream>
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

void Need(const std::vector<std::string>& a, size_t n, const char* usage) {
  if (a.size() < n) throw PelinoxaError(std::string("usage: ") + usage);
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
  ui::Form& f = mf_.form();
  if (!f.control("MessageWindow").visible()) return;
  if (--cancelAfter_ > 0) return;
  ui::Control& button = f.control("CancelButton");
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

void BatchScript::RunLine(const std::string& line) {
  auto a = Tokenize(line);
  if (a.empty()) return;
  const std::string cmd = px::LowerCase(a[0]);
  ui::Form& f = mf_.form();

  if (cmd == "set") {
    Need(a, 3, "set NAME.PROP VALUE");
    f.getProperty(a[1]);  // a wrong name is a script error
    // What the change handlers raise is shown like any handler's error.
    f.runUserAction([&] { f.setProperty(a[1], a[2]); });
  } else if (cmd == "click") {
    Need(a, 2, "click NAME [INDEX]");
    ui::Control& c = f.control(a[1]);
    if (a.size() >= 3) {
      int i = ParseInt(a[2], "INDEX");
      if (auto* list = dynamic_cast<ui::CheckList*>(&c)) list->userClickItem(i);
      else if (auto* radio = dynamic_cast<ui::RadioGroup*>(&c)) radio->userSelect(i);
      else if (auto* combo = dynamic_cast<ui::ComboBox*>(&c)) combo->userSelect(i);
      else throw PelinoxaError(a[1] + " has no items to click");
    } else {
      if (!c.visible() && c.kind() == ui::Kind::Button)
        throw PelinoxaError("the button " + a[1] + " is hidden");
      if (!c.enabled()) throw PelinoxaError("the control " + a[1] + " is disabled");
      c.userClick();
    }
  } else if (cmd == "mouse") {
    Need(a, 5, "mouse NAME down|move|up|dblclick X Y [left|right|middle] [ctrl] [shift]");
    auto& img = f.get<ui::Image>(a[1]);
    std::string act = px::LowerCase(a[2]);
    ui::MouseAction action;
    if (act == "down") action = ui::MouseAction::Down;
    else if (act == "move") action = ui::MouseAction::Move;
    else if (act == "up") action = ui::MouseAction::Up;
    else if (act == "dblclick") action = ui::MouseAction::DblClick;
    else throw PelinoxaError("mouse action must be down, move, up or dblclick");
    ui::MouseEvent e;
    e.x = ParseInt(a[3], "X");
    e.y = ParseInt(a[4], "Y");
    for (size_t i = 5; i < a.size(); ++i) {
      std::string m = px::LowerCase(a[i]);
      if (m == "left") e.button = ui::MouseButton::Left;
      else if (m == "right") e.button = ui::MouseButton::Right;
      else if (m == "middle") e.button = ui::MouseButton::Middle;
      else if (m == "ctrl") e.ctrl = true;
      else if (m == "shift") e.shift = true;
      else if (m == "held") e.buttonHeld = true;
      else throw PelinoxaError("unknown mouse modifier " + a[i]);
    }
    img.userMouse(action, e);
  } else if (cmd == "key") {
    Need(a, 3, "key NAME CODE [ctrl] [shift]");
    bool ctrl = false, shift = false;
    for (size_t i = 3; i < a.size(); ++i) {
      std::string m = px::LowerCase(a[i]);
      if (m == "ctrl") ctrl = true;
      else if (m == "shift") shift = true;
      else throw PelinoxaError("unknown key modifier " + a[i]);
    }
    f.control(a[1]).userKey(ParseInt(a[2], "CODE"), ctrl, shift);
  } else if (cmd == "dialog") {
    Need(a, 2, "dialog PATH [PATH ...] [filter=N] | dialog cancel");
    if (a.size() == 2 && px::LowerCase(a[1]) == "cancel") {
      ui_.queueDialogCancel();
    } else {
      std::vector<std::string> files;
      int filter = 0;
      for (size_t i = 1; i < a.size(); ++i) {
        if (a[i].rfind("filter=", 0) == 0) filter = ParseInt(a[i].substr(7), "filter");
        else files.push_back(Resolve(a[i]));
      }
      if (files.empty()) throw PelinoxaError("dialog needs a path or cancel");
      ui_.queueDialog(files, filter);
    }
  } else if (cmd == "answer") {
    Need(a, 2, "answer Yes|No|OK|Cancel");
    ui_.queueAnswer(ParseAnswer(a[1]));
  } else if (cmd == "point") {
    Need(a, 3, "point X Y");
    ui_.queuePoint(ParseInt(a[1], "X"), ParseInt(a[2], "Y"));
  } else if (cmd == "cancel") {
    Need(a, 2, "cancel N");
    int n = ParseInt(a[1], "N");
    if (n < 1) throw PelinoxaError("cancel needs a number of frames of at least 1, not " + a[1]);
    cancelAfter_ = n;
  } else if (cmd == "page") {
    Need(a, 2, "page N");
    int n = ParseInt(a[1], "N");
    auto pages = f.pages();
    if (n < 1 || n > static_cast<int>(pages.size())) throw PelinoxaError("no page " + a[1]);
    ui::Page& p = *pages[n - 1];
    if (!p.visible()) throw PelinoxaError("the page \"" + p.caption() + "\" is not available yet");
    f.userSetActivePage(p);
  } else if (cmd == "dump") {
    Need(a, 3, "dump WHAT FILE");
    px::Json j;
    if (a[1] == "messages") {
      j = px::Json::array();
      for (const auto& m : ui_.messages) {
        px::Json e = px::Json::object();
        e["kind"] = ui::MsgKindName(m.kind);
        e["text"] = m.text;
        e["answer"] = ui::DialogResultName(m.answer);
        j.push(e);
      }
    } else {
      j = mf_.Dump(a[1]);
    }
    WriteOutput(a[2], j.dump());
  } else if (cmd == "picture") {
    Need(a, 3, "picture NAME FILE.bmp");
    ui::SaveBmpFile(Resolve(a[2]), f.get<ui::Image>(a[1]).picture());
  } else if (cmd == "clipboard") {
    Need(a, 2, "clipboard FILE.bmp");
    if (ui_.clipboard.empty()) throw PelinoxaError("The clipboard holds no picture");
    ui::SaveBmpFile(Resolve(a[1]), ui_.clipboard);
  } else if (cmd == "check") {
    Need(a, 3, "check NAME INDEX");
    f.get<ui::CheckList>(a[1]).userToggleCheck(ParseInt(a[2], "INDEX"));
  } else if (cmd == "select") {
    Need(a, 3, "select NAME INDEX [ctrl] [shift]");
    bool ctrl = false, shift = false;
    for (size_t i = 3; i < a.size(); ++i) {
      std::string m = px::LowerCase(a[i]);
      ctrl = ctrl || m == "ctrl";
      shift = shift || m == "shift";
    }
    f.get<ui::CheckList>(a[1]).userClickItem(ParseInt(a[2], "INDEX"), ctrl, shift);
  } else if (cmd == "dblclick") {
    Need(a, 2, "dblclick NAME");
    f.get<ui::CheckList>(a[1]).userDblClick();
  } else if (cmd == "slide") {
    Need(a, 3, "slide NAME VALUE");
    f.get<ui::Slider>(a[1]).userSetValue(ParseInt(a[2], "VALUE"));
  } else if (cmd == "type") {
    Need(a, 3, "type NAME VALUE");
    ui::Control& c = f.control(a[1]);
    if (auto* spin = dynamic_cast<ui::SpinEdit*>(&c)) spin->userSetValue(px::StrToFloat(a[2]));
    else if (auto* edit = dynamic_cast<ui::Edit*>(&c)) edit->userSetText(a[2]);
    else throw PelinoxaError(a[1] + " is not a spin or edit box");
  } else if (cmd == "move") {
    Need(a, 4, "move NAME LEFT TOP");
    f.get<ui::ToolWindow>(a[1]).userMove(ParseInt(a[2], "LEFT"), ParseInt(a[3], "TOP"));
  } else if (cmd == "close") {
    Need(a, 2, "close NAME");
    f.get<ui::ToolWindow>(a[1]).userClose();
  } else if (cmd == "drop") {
    Need(a, 2, "drop PATH [PATH ...]");
    std::vector<std::string> files;
    for (size_t i = 1; i < a.size(); ++i) files.push_back(Resolve(a[i]));
    f.userDropFiles(files);
  } else if (cmd == "expect") {
    Need(a, 3, "expect NAME.PROP VALUE");
    std::string v = f.getProperty(a[1]);
    if (v != a[2]) throw PelinoxaError("expected " + a[1] + " = \"" + a[2] + "\" but it is \"" + v + "\"");
  } else if (cmd == "print") {
    Need(a, 2, "print NAME.PROP");
    out_ << f.getProperty(a[1]) << '\n';
  } else if (cmd == "echo") {
    std::string text;
    for (size_t i = 1; i < a.size(); ++i) text += (i > 1 ? " " : "") + a[i];
    out_ << text << '\n';
  } else {
    throw PelinoxaError("unknown command " + a[0]);
  }
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
