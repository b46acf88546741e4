#include "ui/FormModel.h"

#include <algorithm>
#include <cmath>

#include "base/Error.h"
#include "base/Numbers.h"
#include "ui/UiServices.h"

namespace ui {

using px::Json;
using px::PelinoxaError;

const char* KindName(Kind k) {
  switch (k) {
    case Kind::Window: return "window";
    case Kind::Page: return "page";
    case Kind::ToolWindow: return "toolwindow";
    case Kind::Panel: return "panel";
    case Kind::Button: return "button";
    case Kind::CheckBox: return "checkbox";
    case Kind::RadioGroup: return "radiogroup";
    case Kind::ComboBox: return "combobox";
    case Kind::Slider: return "slider";
    case Kind::SpinEdit: return "spinedit";
    case Kind::Edit: return "edit";
    case Kind::Label: return "label";
    case Kind::Memo: return "memo";
    case Kind::CheckList: return "checklist";
    case Kind::Image: return "image";
    case Kind::Shape: return "shape";
    case Kind::Gauge: return "gauge";
  }
  return "?";
}

const char* CursorName(Cursor c) {
  switch (c) {
    case Cursor::Normal: return "normal";
    case Cursor::Busy: return "busy";
    case Cursor::Cross: return "cross";
    case Cursor::NotAllowed: return "notallowed";
  }
  return "?";
}


// ---------------------------------------------------------------- Control

Control::Control(Form& form, std::string name, Kind kind, std::string parent)
    : form_(form), name_(std::move(name)), kind_(kind), parent_(std::move(parent)) {}

void Control::notify(std::string_view prop) { form_.notifyObservers(this, prop); }

void Control::setCaption(const std::string& c) {
  if (caption_ == c) return;
  caption_ = c;
  notify("Caption");
}

void Control::setVisible(bool v) {
  if (visible_ == v) return;
  visible_ = v;
  notify("Visible");
}

void Control::setEnabled(bool e) {
  if (enabled_ == e) return;
  enabled_ = e;
  notify("Enabled");
}

void Control::setHint(const std::string& h) {
  if (hint_ == h) return;
  hint_ = h;
  notify("Hint");
}

void Control::setBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  notify("Bounds");
}

void Control::setFocus() {
  notify("Focus");
}

bool Control::ParseBool(const std::string& text) {
  std::string t;
  for (char c : text) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (t == "true" || t == "1" || t == "yes") return true;
  if (t == "false" || t == "0" || t == "no") return false;
  throw PelinoxaError("'" + text + "' is not a valid boolean value");
}

const std::vector<Property>& Control::commonProperties() {
  static const std::vector<Property> table = {
      MakeProperty<Control>(
          {"Caption"}, [](const Control& c) { return c.caption_; },
          [](Control& c, const std::string& v) { c.setCaption(v); }, "caption",
          [](const Control& c) -> Json { return c.caption_; }),
      MakeProperty<Control>(
          {"Visible"}, [](const Control& c) { return BoolText(c.visible_); },
          [](Control& c, const std::string& v) { c.setVisible(ParseBool(v)); }, "visible",
          [](const Control& c) -> Json { return c.visible_; }),
      MakeProperty<Control>(
          {"Enabled"}, [](const Control& c) { return BoolText(c.enabled_); },
          [](Control& c, const std::string& v) { c.setEnabled(ParseBool(v)); }, "enabled",
          [](const Control& c) -> Json { return c.enabled_; }),
      MakeProperty<Control>({"Hint"}, [](const Control& c) { return c.hint_; },
                            [](Control& c, const std::string& v) { c.setHint(v); }),
      MakeProperty<Control>({"Left"}, [](const Control& c) { return std::to_string(c.left_); },
                            [](Control& c, const std::string& v) {
                              c.setBounds(static_cast<int>(px::StrToInt(v)), c.top_, c.width_, c.height_);
                            }),
      MakeProperty<Control>({"Top"}, [](const Control& c) { return std::to_string(c.top_); },
                            [](Control& c, const std::string& v) {
                              c.setBounds(c.left_, static_cast<int>(px::StrToInt(v)), c.width_, c.height_);
                            }),
      MakeProperty<Control>({"Width"}, [](const Control& c) { return std::to_string(c.width_); },
                            [](Control& c, const std::string& v) {
                              c.setBounds(c.left_, c.top_, static_cast<int>(px::StrToInt(v)), c.height_);
                            }),
      MakeProperty<Control>({"Height"}, [](const Control& c) { return std::to_string(c.height_); },
                            [](Control& c, const std::string& v) {
                              c.setBounds(c.left_, c.top_, c.width_, static_cast<int>(px::StrToInt(v)));
                            }),
  };
  return table;
}

const std::vector<Property>& Control::properties() const {
  static const std::vector<Property> none;
  return none;
}

const Property* Control::findProperty(const std::string& prop) const {
  for (const auto* table : {&commonProperties(), &properties()})
    for (const Property& p : *table)
      if (std::find(p.names.begin(), p.names.end(), prop) != p.names.end()) return &p;
  return nullptr;
}

std::vector<std::string> Control::propertyNames() const {
  std::vector<std::string> names;
  for (const auto* table : {&commonProperties(), &properties()})
    for (const Property& p : *table)
      if (!p.names.empty()) names.push_back(p.names.front());
  return names;
}

bool Control::getProperty(const std::string& prop, std::string& out) const {
  const Property* p = findProperty(prop);
  if (!p || !p->get) return false;
  out = p->get(*this);
  return true;
}

void Control::setProperty(const std::string& prop, const std::string& value) {
  const Property* p = findProperty(prop);
  if (!p || !p->set) throw PelinoxaError("Control " + name_ + " has no property " + prop);
  p->set(*this, value);
}

std::string Control::property(const std::string& prop) const {
  std::string out;
  if (!getProperty(prop, out)) throw PelinoxaError("Control " + name_ + " has no property " + prop);
  return out;
}

Json Control::toJson() const {
  Json j = Json::object();
  j["name"] = name_;
  j["kind"] = KindName(kind_);
  if (!parent_.empty()) j["parent"] = parent_;
  for (const auto* table : {&commonProperties(), &properties()})
    for (const Property& p : *table)
      if (p.json) j[p.json] = p.toJson(*this);
  return j;
}

void Control::userClick() {}

void Control::userKey(int key, bool ctrl, bool shift) {
  form_.runUserAction([&] {
    if (OnKeyDown) OnKeyDown(key, ctrl, shift);
  });
}

// ---------------------------------------------------------------- Form

Form::Form() = default;
Form::~Form() = default;

void Form::insert(std::unique_ptr<Control> c) {
  if (byName_.count(c->name())) throw std::logic_error("control declared twice: " + c->name());
  byName_[c->name()] = c.get();
  order_.push_back(c.get());
  owned_.push_back(std::move(c));
}

Page& Form::page(const std::string& name, const std::string& caption) {
  auto& p = add<Page>(name);
  p.setCaption(caption);
  if (!active_) active_ = &p;
  return p;
}

ToolWindow& Form::toolWindow(const std::string& name, const std::string& caption, int width, int height) {
  auto& w = add<ToolWindow>(name);
  w.setCaption(caption);
  w.setVisible(false);
  w.setSize(width, height);
  return w;
}

Panel& Form::panel(const std::string& name, const std::string& parent, const std::string& caption,
                   bool collapsible, bool expanded) {
  auto& p = add<Panel>(name, parent);
  p.setCaption(caption);
  p.setCollapsible(collapsible);
  p.setExpanded(expanded);
  return p;
}

Button& Form::button(const std::string& name, const std::string& parent, const std::string& caption) {
  auto& b = add<Button>(name, parent);
  b.setCaption(caption);
  return b;
}

CheckBox& Form::checkBox(const std::string& name, const std::string& parent, const std::string& caption,
                         bool checked) {
  auto& c = add<CheckBox>(name, parent);
  c.setCaption(caption);
  c.setChecked(checked);
  return c;
}

RadioGroup& Form::radioGroup(const std::string& name, const std::string& parent, const std::string& caption,
                             std::vector<std::string> items, int index) {
  auto& r = add<RadioGroup>(name, parent);
  r.setCaption(caption);
  r.setItems(std::move(items));
  r.setItemIndex(index);
  return r;
}

ComboBox& Form::comboBox(const std::string& name, const std::string& parent, std::vector<std::string> items,
                         int index) {
  auto& c = add<ComboBox>(name, parent);
  c.setItems(std::move(items));
  c.setItemIndex(index);
  return c;
}

Slider& Form::slider(const std::string& name, const std::string& parent, int min, int max, int value) {
  auto& s = add<Slider>(name, parent);
  s.setRange(min, max);
  s.setValue(value);
  return s;
}

SpinEdit& Form::spin(const std::string& name, const std::string& parent, const std::string& caption, double min,
                     double max, double value, double increment, int decimals) {
  auto& s = add<SpinEdit>(name, parent);
  s.setCaption(caption);
  s.setDecimals(decimals);
  s.setRange(min, max);
  s.setIncrement(increment);
  s.setValue(value);
  return s;
}

Edit& Form::edit(const std::string& name, const std::string& parent, const std::string& text) {
  auto& e = add<Edit>(name, parent);
  e.setText(text);
  return e;
}

Label& Form::label(const std::string& name, const std::string& parent, const std::string& caption) {
  auto& l = add<Label>(name, parent);
  l.setCaption(caption);
  return l;
}

Memo& Form::memo(const std::string& name, const std::string& parent) { return add<Memo>(name, parent); }

CheckList& Form::checkList(const std::string& name, const std::string& parent) {
  return add<CheckList>(name, parent);
}

Image& Form::image(const std::string& name, const std::string& parent, int width, int height) {
  auto& i = add<Image>(name, parent);
  i.setSize(width, height);
  i.picture().reset(width, height);
  return i;
}

Shape& Form::shape(const std::string& name, const std::string& parent, Color color) {
  auto& s = add<Shape>(name, parent);
  s.setColor(color);
  return s;
}

Gauge& Form::gauge(const std::string& name, const std::string& parent) { return add<Gauge>(name, parent); }

Control& Form::control(const std::string& name) const {
  auto it = byName_.find(name);
  if (it == byName_.end()) throw PelinoxaError("No control named " + name);
  return *it->second;
}

std::vector<Control*> Form::children(const std::string& parent) const {
  std::vector<Control*> out;
  for (auto* c : order_)
    if (c->parentName() == parent) out.push_back(c);
  return out;
}

static std::pair<std::string, std::string> SplitDotted(const std::string& dotted) {
  auto dot = dotted.find('.');
  if (dot == std::string::npos) throw PelinoxaError("Expected NAME.PROPERTY, got " + dotted);
  return {dotted.substr(0, dot), dotted.substr(dot + 1)};
}

std::string Form::getProperty(const std::string& dotted) const {
  auto [name, prop] = SplitDotted(dotted);
  return control(name).property(prop);
}

void Form::setProperty(const std::string& dotted, const std::string& value) {
  auto [name, prop] = SplitDotted(dotted);
  control(name).setProperty(prop, value);
}

void Form::setCaption(const std::string& c) {
  if (c == caption_) return;
  caption_ = c;
  notifyObservers(nullptr, "Caption");
}

void Form::setBounds(int l, int t, int w, int h) {
  if (l == left_ && t == top_ && w == width_ && h == height_) return;
  left_ = l;
  top_ = t;
  width_ = w;
  height_ = h;
  notifyObservers(nullptr, "Bounds");
}

void Form::setMaximized(bool m) {
  if (m == maximized_) return;
  maximized_ = m;
  notifyObservers(nullptr, "WindowState");
}

std::vector<Page*> Form::pages() const {
  std::vector<Page*> out;
  for (auto* c : order_)
    if (c->kind() == Kind::Page) out.push_back(static_cast<Page*>(c));
  return out;
}

int Form::activePageIndex() const {
  auto ps = pages();
  for (size_t i = 0; i < ps.size(); ++i)
    if (ps[i] == active_) return static_cast<int>(i);
  return -1;
}

void Form::setActivePage(Page& p) {
  if (&p == active_) return;
  active_ = &p;
  notifyObservers(nullptr, "ActivePage");
}

void Form::userSetActivePage(Page& p) {
  runUserAction([&] {
    bool changed = &p != active_;
    setActivePage(p);
    if (changed && OnPageChange) OnPageChange();
  });
}

void Form::userDropFiles(const std::vector<std::string>& files) {
  runUserAction([&] {
    if (OnDropFiles) OnDropFiles(files);
  });
}

void Form::runUserAction(const std::function<void()>& action) {
  try {
    action();
  } catch (const px::ScriptAbort&) {
    throw;
  } catch (const std::exception& e) {
    if (ui_) ui_->setCursor(Cursor::Normal);
    if (ui_) ui_->messageBox(e.what(), MsgKind::Error, ButtonsOK);
    else throw;
  }
}

int Form::addObserver(Observer o) {
  int id = nextObserver_++;
  observers_.emplace_back(id, std::move(o));
  return id;
}

void Form::removeObserver(int id) {
  observers_.erase(std::remove_if(observers_.begin(), observers_.end(), [&](auto& p) { return p.first == id; }),
                   observers_.end());
}

void Form::notifyObservers(Control* c, std::string_view prop) {
  for (auto& [id, o] : observers_) o(c, prop);
}

Json Form::toJson() const {
  Json j = Json::object();
  j["caption"] = caption_;
  j["activePage"] = active_ ? active_->name() : std::string();
  Json cs = Json::object();
  for (auto* c : order_) cs[c->name()] = c->toJson();
  j["controls"] = cs;
  return j;
}

}  // namespace ui
