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

static std::string ColorText(Color c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
  return buf;
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
  form_.setFocusedControl(name_);
  notify("Focus");
}

bool Control::ParseBool(const std::string& text) {
  std::string t;
  for (char c : text) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (t == "true" || t == "1" || t == "yes") return true;
  if (t == "false" || t == "0" || t == "no") return false;
  throw PelinoxaError("'" + text + "' is not a valid boolean value");
}

std::vector<std::string> Control::propertyNames() const {
  return {"Caption", "Visible", "Enabled", "Hint", "Left", "Top", "Width", "Height"};
}

bool Control::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "Caption") out = caption_;
  else if (prop == "Visible") out = BoolText(visible_);
  else if (prop == "Enabled") out = BoolText(enabled_);
  else if (prop == "Hint") out = hint_;
  else if (prop == "Left") out = std::to_string(left_);
  else if (prop == "Top") out = std::to_string(top_);
  else if (prop == "Width") out = std::to_string(width_);
  else if (prop == "Height") out = std::to_string(height_);
  else return false;
  return true;
}

void Control::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "Caption") setCaption(value);
  else if (prop == "Visible") setVisible(ParseBool(value));
  else if (prop == "Enabled") setEnabled(ParseBool(value));
  else if (prop == "Hint") setHint(value);
  else if (prop == "Left") setBounds(static_cast<int>(px::StrToInt(value)), top_, width_, height_);
  else if (prop == "Top") setBounds(left_, static_cast<int>(px::StrToInt(value)), width_, height_);
  else if (prop == "Width") setBounds(left_, top_, static_cast<int>(px::StrToInt(value)), height_);
  else if (prop == "Height") setBounds(left_, top_, width_, static_cast<int>(px::StrToInt(value)));
  else throw PelinoxaError("Control " + name_ + " has no property " + prop);
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
  j["caption"] = caption_;
  j["visible"] = visible_;
  j["enabled"] = enabled_;
  return j;
}

void Control::userClick() {}

void Control::userKey(int key, bool ctrl, bool shift) {
  form_.runUserAction([&] {
    if (OnKeyDown) OnKeyDown(key, ctrl, shift);
  });
}

// ---------------------------------------------------------------- Button

void Button::click() {
  if (OnClick) OnClick();
}

void Button::userClick() {
  if (!enabled() || !visible()) return;
  form().runUserAction([&] { click(); });
}

// ---------------------------------------------------------------- CheckBox

void CheckBox::setChecked(bool c) {
  if (checked_ == c) return;
  checked_ = c;
  notify("Checked");
  if (OnClick) OnClick();
}

void CheckBox::userClick() {
  if (!enabled()) return;
  form().runUserAction([&] { setChecked(!checked_); });
}

std::vector<std::string> CheckBox::propertyNames() const {
  auto v = Control::propertyNames();
  v.push_back("Checked");
  return v;
}

bool CheckBox::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "Checked") {
    out = BoolText(checked_);
    return true;
  }
  return Control::getProperty(prop, out);
}

void CheckBox::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "Checked") setChecked(ParseBool(value));
  else Control::setProperty(prop, value);
}

Json CheckBox::toJson() const {
  Json j = Control::toJson();
  j["checked"] = checked_;
  return j;
}

// ---------------------------------------------------------------- RadioGroup

void RadioGroup::setItems(std::vector<std::string> items) {
  items_ = std::move(items);
  if (index_ >= static_cast<int>(items_.size())) index_ = -1;
  notify("Items");
}

void RadioGroup::setItemIndex(int i) {
  if (i < -1 || i >= static_cast<int>(items_.size())) i = -1;
  if (i == index_) return;
  index_ = i;
  notify("ItemIndex");
  if (OnClick) OnClick();
}

void RadioGroup::userSelect(int i) {
  if (!enabled() || i < 0 || i >= static_cast<int>(items_.size())) return;
  form().runUserAction([&] {
    if (i != index_) {
      index_ = i;
      notify("ItemIndex");
    }
    if (OnClick) OnClick();
  });
}

void RadioGroup::userClick() {
  if (!enabled()) return;
  form().runUserAction([&] {
    if (OnClick) OnClick();
  });
}

std::vector<std::string> RadioGroup::propertyNames() const {
  auto v = Control::propertyNames();
  v.push_back("ItemIndex");
  v.push_back("Text");
  return v;
}

bool RadioGroup::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "ItemIndex") {
    out = std::to_string(index_);
    return true;
  }
  if (prop == "Text") {
    out = text();
    return true;
  }
  return Control::getProperty(prop, out);
}

void RadioGroup::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "ItemIndex") setItemIndex(static_cast<int>(px::StrToInt(value)));
  else Control::setProperty(prop, value);
}

Json RadioGroup::toJson() const {
  Json j = Control::toJson();
  Json items = Json::array();
  for (auto& s : items_) items.push(s);
  j["items"] = items;
  j["itemIndex"] = index_;
  return j;
}

// ---------------------------------------------------------------- ComboBox

void ComboBox::setItems(std::vector<std::string> items) {
  items_ = std::move(items);
  if (index_ >= static_cast<int>(items_.size())) index_ = -1;
  notify("Items");
}

void ComboBox::setItemIndex(int i) {
  if (i < -1 || i >= static_cast<int>(items_.size())) i = -1;
  if (i == index_) return;
  index_ = i;
  if (i >= 0) freeText_.clear();
  notify("ItemIndex");
}

std::string ComboBox::text() const {
  if (index_ >= 0 && index_ < static_cast<int>(items_.size())) return items_[index_];
  return freeText_;
}

void ComboBox::setText(const std::string& t) {
  auto it = std::find(items_.begin(), items_.end(), t);
  if (it != items_.end()) {
    setItemIndex(static_cast<int>(it - items_.begin()));
  } else {
    index_ = -1;
    freeText_ = t;
    notify("ItemIndex");
  }
}

void ComboBox::userSelect(int i) {
  if (!enabled() || i < 0 || i >= static_cast<int>(items_.size())) return;
  form().runUserAction([&] {
    setItemIndex(i);
    if (OnChange) OnChange();
  });
}

std::vector<std::string> ComboBox::propertyNames() const {
  auto v = Control::propertyNames();
  v.push_back("ItemIndex");
  v.push_back("Text");
  return v;
}

bool ComboBox::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "ItemIndex") {
    out = std::to_string(index_);
    return true;
  }
  if (prop == "Text") {
    out = text();
    return true;
  }
  return Control::getProperty(prop, out);
}

void ComboBox::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "ItemIndex") setItemIndex(static_cast<int>(px::StrToInt(value)));
  else if (prop == "Text") setText(value);
  else Control::setProperty(prop, value);
}

Json ComboBox::toJson() const {
  Json j = Control::toJson();
  Json items = Json::array();
  for (auto& s : items_) items.push(s);
  j["items"] = items;
  j["itemIndex"] = index_;
  j["text"] = text();
  return j;
}

// ---------------------------------------------------------------- Slider

void Slider::setValue(int v) {
  v = std::clamp(v, min_, std::max(min_, max_));
  if (v == value_) return;
  value_ = v;
  notify("Value");
  if (OnChange) OnChange();
}

void Slider::setMin(int m) { setRange(m, std::max(m, max_)); }
void Slider::setMax(int m) { setRange(std::min(min_, m), m); }

void Slider::setRange(int mn, int mx) {
  if (mx < mn) mx = mn;
  if (mn == min_ && mx == max_) return;
  min_ = mn;
  max_ = mx;
  notify("Range");
  if (value_ < min_ || value_ > max_) setValue(std::clamp(value_, min_, max_));
}

void Slider::userSetValue(int v) {
  if (!enabled()) return;
  form().runUserAction([&] {
    setValue(v);
    if (OnChanged) OnChanged();
  });
}

std::vector<std::string> Slider::propertyNames() const {
  auto v = Control::propertyNames();
  v.insert(v.end(), {"Value", "Position", "Min", "Max"});
  return v;
}

bool Slider::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "Value" || prop == "Position") out = std::to_string(value_);
  else if (prop == "Min") out = std::to_string(min_);
  else if (prop == "Max") out = std::to_string(max_);
  else return Control::getProperty(prop, out);
  return true;
}

void Slider::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "Value" || prop == "Position") setValue(static_cast<int>(px::StrToInt(value)));
  else if (prop == "Min") setMin(static_cast<int>(px::StrToInt(value)));
  else if (prop == "Max") setMax(static_cast<int>(px::StrToInt(value)));
  else Control::setProperty(prop, value);
}

Json Slider::toJson() const {
  Json j = Control::toJson();
  j["value"] = value_;
  j["min"] = min_;
  j["max"] = max_;
  return j;
}

// ---------------------------------------------------------------- SpinEdit

int SpinEdit::intValue() const { return px::Round(value_); }

void SpinEdit::setValue(double v) {
  if (std::isnan(v)) return;
  if (max_ > min_) v = std::clamp(v, min_, max_);
  if (isInteger()) v = std::nearbyint(v);
  if (v == value_) return;
  value_ = v;
  notify("Value");
  if (OnChange) OnChange();
}

void SpinEdit::setRange(double mn, double mx) {
  min_ = mn;
  max_ = mx;
  notify("Range");
  if (max_ > min_ && (value_ < min_ || value_ > max_)) setValue(value_);
}

std::string SpinEdit::text() const {
  return isInteger() ? std::to_string(px::Round64(value_)) : px::FloatToStr(value_);
}

void SpinEdit::userSetValue(double v) {
  if (!enabled()) return;
  form().runUserAction([&] { setValue(v); });
}

std::vector<std::string> SpinEdit::propertyNames() const {
  auto v = Control::propertyNames();
  v.insert(v.end(), {"Value", "MinValue", "MaxValue", "Increment"});
  return v;
}

bool SpinEdit::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "Value") out = text();
  else if (prop == "MinValue" || prop == "Min") out = px::FloatToStr(min_);
  else if (prop == "MaxValue" || prop == "Max") out = px::FloatToStr(max_);
  else if (prop == "Increment") out = px::FloatToStr(increment_);
  else return Control::getProperty(prop, out);
  return true;
}

void SpinEdit::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "Value") setValue(px::StrToFloat(value));
  else if (prop == "MinValue" || prop == "Min") setRange(px::StrToFloat(value), max_);
  else if (prop == "MaxValue" || prop == "Max") setRange(min_, px::StrToFloat(value));
  else if (prop == "Increment") increment_ = px::StrToFloat(value);
  else Control::setProperty(prop, value);
}

Json SpinEdit::toJson() const {
  Json j = Control::toJson();
  j["value"] = value_;
  j["min"] = min_;
  j["max"] = max_;
  return j;
}

// ---------------------------------------------------------------- Edit

void Edit::setText(const std::string& t) {
  if (t == text_) return;
  text_ = t;
  notify("Text");
  if (OnChange) OnChange();
}

void Edit::userSetText(const std::string& t) {
  if (!enabled()) return;
  form().runUserAction([&] { setText(t); });
}

std::vector<std::string> Edit::propertyNames() const {
  auto v = Control::propertyNames();
  v.push_back("Text");
  return v;
}

bool Edit::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "Text") {
    out = text_;
    return true;
  }
  return Control::getProperty(prop, out);
}

void Edit::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "Text") setText(value);
  else Control::setProperty(prop, value);
}

Json Edit::toJson() const {
  Json j = Control::toJson();
  j["text"] = text_;
  return j;
}

// ---------------------------------------------------------------- Label, Memo, Shape, Gauge

void Label::setFontColor(Color c) {
  if (c == color_) return;
  color_ = c;
  notify("FontColor");
}

Json Label::toJson() const {
  Json j = Control::toJson();
  j["fontColor"] = ColorText(color_);
  return j;
}

void Memo::add(const std::string& line) {
  lines_.push_back(line);
  notify("Lines");
}

void Memo::clear() {
  if (lines_.empty()) return;
  lines_.clear();
  notify("Lines");
}

std::string Memo::text() const {
  std::string s;
  for (auto& l : lines_) {
    s += l;
    s += '\n';
  }
  return s;
}

std::vector<std::string> Memo::propertyNames() const {
  auto v = Control::propertyNames();
  v.push_back("Text");
  return v;
}

bool Memo::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "Text" || prop == "Lines") {
    out = text();
    return true;
  }
  return Control::getProperty(prop, out);
}

void Memo::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "Text" || prop == "Lines") {
    lines_.clear();
    size_t start = 0;
    while (start <= value.size()) {
      auto nl = value.find('\n', start);
      if (nl == std::string::npos) {
        if (start < value.size()) lines_.push_back(value.substr(start));
        break;
      }
      lines_.push_back(value.substr(start, nl - start));
      start = nl + 1;
    }
    notify("Lines");
  } else {
    Control::setProperty(prop, value);
  }
}

Json Memo::toJson() const {
  Json j = Control::toJson();
  Json lines = Json::array();
  for (auto& l : lines_) lines.push(l);
  j["lines"] = lines;
  return j;
}

void Shape::setColor(Color c) {
  if (c == color_) return;
  color_ = c;
  notify("Color");
}

std::vector<std::string> Shape::propertyNames() const {
  auto v = Control::propertyNames();
  v.push_back("Color");
  return v;
}

bool Shape::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "Color") {
    out = ColorText(color_);
    return true;
  }
  return Control::getProperty(prop, out);
}

Json Shape::toJson() const {
  Json j = Control::toJson();
  j["color"] = ColorText(color_);
  return j;
}

void Gauge::setProgress(int p) {
  p = std::clamp(p, 0, 100);
  if (p == progress_) return;
  progress_ = p;
  notify("Progress");
}

std::vector<std::string> Gauge::propertyNames() const {
  auto v = Control::propertyNames();
  v.push_back("Progress");
  return v;
}

bool Gauge::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "Progress" || prop == "Value") {
    out = std::to_string(progress_);
    return true;
  }
  return Control::getProperty(prop, out);
}

void Gauge::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "Progress" || prop == "Value") setProgress(static_cast<int>(px::StrToInt(value)));
  else Control::setProperty(prop, value);
}

Json Gauge::toJson() const {
  Json j = Control::toJson();
  j["progress"] = progress_;
  return j;
}

// ---------------------------------------------------------------- CheckList

static const char* CheckStateName(CheckState s) {
  switch (s) {
    case CheckState::Unchecked: return "unchecked";
    case CheckState::Checked: return "checked";
    case CheckState::Grayed: return "grayed";
  }
  return "?";
}

void CheckList::clear() {
  items_.clear();
  index_ = -1;
  anchor_ = -1;
  if (!updating_) notify("Items");
}

void CheckList::add(const std::string& text, CheckState state) {
  items_.push_back({text, state, false});
  if (!updating_) notify("Items");
}

void CheckList::setText(int i, const std::string& text) {
  if (i < 0 || i >= count() || items_[i].text == text) return;
  items_[i].text = text;
  if (!updating_) notify("Items");
}

void CheckList::setState(int i, CheckState s) {
  if (i < 0 || i >= count() || items_[i].state == s) return;
  items_[i].state = s;
  if (!updating_) notify("Items");
}

void CheckList::setSelected(int i, bool s) {
  if (i < 0 || i >= count() || items_[i].selected == s) return;
  items_[i].selected = s;
  if (!updating_) notify("Selection");
}

void CheckList::setItemIndex(int i) {
  if (i < -1 || i >= count()) i = -1;
  for (auto& it : items_) it.selected = false;
  index_ = i;
  anchor_ = i;
  if (i >= 0) items_[i].selected = true;
  if (!updating_) notify("Selection");
}

void CheckList::beginUpdate() { ++updating_; }

void CheckList::endUpdate() {
  if (updating_ > 0 && --updating_ == 0) notify("Items");
}

void CheckList::userClickItem(int i, bool ctrl, bool shift) {
  if (!enabled() || i < 0 || i >= count()) return;
  form().runUserAction([&] {
    if (multiSelect_ && ctrl) {
      items_[i].selected = !items_[i].selected;
      index_ = i;
      anchor_ = i;
    } else if (multiSelect_ && shift && anchor_ >= 0) {
      for (auto& it : items_) it.selected = false;
      int a = std::min(anchor_, i), b = std::max(anchor_, i);
      for (int k = a; k <= b; ++k) items_[k].selected = true;
      index_ = i;
    } else {
      for (auto& it : items_) it.selected = false;
      items_[i].selected = true;
      index_ = i;
      anchor_ = i;
    }
    notify("Selection");
    if (OnClick) OnClick();
  });
}

void CheckList::userToggleCheck(int i) {
  if (!enabled() || i < 0 || i >= count()) return;
  form().runUserAction([&] {
    items_[i].state = items_[i].state == CheckState::Checked ? CheckState::Unchecked : CheckState::Checked;
    lastCheckedIndex = i;
    notify("Items");
    if (OnClickCheck) OnClickCheck();
  });
}

void CheckList::userDblClick() {
  if (!enabled()) return;
  form().runUserAction([&] {
    if (OnDblClick) OnDblClick();
  });
}

void CheckList::userClick() {
  if (index_ >= 0) userClickItem(index_);
}

std::vector<std::string> CheckList::propertyNames() const {
  auto v = Control::propertyNames();
  v.insert(v.end(), {"ItemIndex", "Count"});
  return v;
}

bool CheckList::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "ItemIndex") out = std::to_string(index_);
  else if (prop == "Count") out = std::to_string(count());
  else return Control::getProperty(prop, out);
  return true;
}

void CheckList::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "ItemIndex") setItemIndex(static_cast<int>(px::StrToInt(value)));
  else Control::setProperty(prop, value);
}

Json CheckList::toJson() const {
  Json j = Control::toJson();
  j["itemIndex"] = index_;
  Json items = Json::array();
  for (auto& it : items_) {
    Json e = Json::object();
    e["text"] = it.text;
    e["state"] = CheckStateName(it.state);
    if (it.selected) e["selected"] = true;
    items.push(e);
  }
  j["items"] = items;
  return j;
}

// ---------------------------------------------------------------- Image

void Image::invalidate() { notify("Picture"); }

void Image::setScrollPosition(int x, int y) {
  if (x == scrollX_ && y == scrollY_) return;
  scrollX_ = x;
  scrollY_ = y;
  notify("Scroll");
}

void Image::setCursor(Cursor c) {
  if (c == cursor_) return;
  cursor_ = c;
  notify("Cursor");
}

void Image::userMouse(MouseAction action, const MouseEvent& e) {
  if (!enabled()) return;
  form().runUserAction([&] {
    switch (action) {
      case MouseAction::Down:
        if (OnMouseDown) OnMouseDown(e);
        break;
      case MouseAction::Move:
        if (OnMouseMove) OnMouseMove(e);
        break;
      case MouseAction::Up:
        if (OnMouseUp) OnMouseUp(e);
        break;
      case MouseAction::DblClick:
        if (OnDblClick) OnDblClick();
        break;
    }
  });
}

Json Image::toJson() const {
  Json j = Control::toJson();
  j["width"] = width();
  j["height"] = height();
  j["pictureWidth"] = picture_.width();
  j["pictureHeight"] = picture_.height();
  j["cursor"] = CursorName(cursor_);
  return j;
}

// ---------------------------------------------------------------- Panel, ToolWindow

void Panel::setExpanded(bool e) {
  if (e == expanded_) return;
  expanded_ = e;
  notify("Expand");
}

std::vector<std::string> Panel::propertyNames() const {
  auto v = Control::propertyNames();
  if (collapsible_) v.push_back("Expand");
  return v;
}

bool Panel::getProperty(const std::string& prop, std::string& out) const {
  if (prop == "Expand") {
    out = BoolText(expanded_);
    return true;
  }
  return Control::getProperty(prop, out);
}

void Panel::setProperty(const std::string& prop, const std::string& value) {
  if (prop == "Expand") setExpanded(ParseBool(value));
  else Control::setProperty(prop, value);
}

Json Panel::toJson() const {
  Json j = Control::toJson();
  if (collapsible_) j["expand"] = expanded_;
  return j;
}

void ToolWindow::setBounds(int left, int top, int width, int height) {
  bool moved = left != this->left() || top != this->top();
  bool resized = width != this->width() || height != this->height();
  Control::setBounds(left, top, width, height);
  if (moved && OnMove) OnMove();
  if (resized && OnResize) OnResize();
}

void ToolWindow::setVisible(bool v) {
  bool showing = v && !visible();
  Control::setVisible(v);
  if (showing && OnShow) OnShow();
}

void ToolWindow::userMove(int left, int top) {
  form().runUserAction([&] { setBounds(left, top, width(), height()); });
}

void ToolWindow::userResize(int w, int h) {
  form().runUserAction([&] { setBounds(left(), this->top(), w, h); });
}

void ToolWindow::userClose() {
  form().runUserAction([&] {
    setVisible(false);
    if (OnClose) OnClose();
  });
}

std::vector<std::string> ToolWindow::propertyNames() const { return Control::propertyNames(); }

Json ToolWindow::toJson() const {
  Json j = Control::toJson();
  j["left"] = left();
  j["top"] = top();
  j["width"] = width();
  j["height"] = height();
  return j;
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

Control* Form::find(const std::string& name) const {
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}

Control& Form::control(const std::string& name) const {
  Control* c = find(name);
  if (!c) throw PelinoxaError("No control named " + name);
  return *c;
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
  if (!notifyOn_) return;
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
