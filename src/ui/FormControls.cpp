// The control kinds of the form model: their properties by name, their events and their
// JSON form for the batch tool's dumps.
#include <algorithm>
#include <cmath>

#include "base/Error.h"
#include "base/Numbers.h"
#include "ui/FormModel.h"
#include "ui/UiServices.h"

namespace ui {

using px::Json;
using px::PelinoxaError;


static std::string ColorText(Color c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
  return buf;
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

void Image::scrollOnto(int x, int y, int pictureWidth, int pictureHeight) {
  int sx = scrollX_, sy = scrollY_;
  if (pictureWidth > kViewWidth) sx = x - kViewWidth / 2;
  if (pictureHeight > kViewHeight) sy = y - kViewHeight / 2;
  setScrollPosition(sx, sy);
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


}  // namespace ui
