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

// ---------------------------------------------------------------- Label, Memo, Shape, Gauge

void Label::setFontColor(Color c) {
  if (c == color_) return;
  color_ = c;
  notify("FontColor");
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

void Shape::setColor(Color c) {
  if (c == color_) return;
  color_ = c;
  notify("Color");
}

void Gauge::setProgress(int p) {
  p = std::clamp(p, 0, 100);
  if (p == progress_) return;
  progress_ = p;
  notify("Progress");
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

// ---------------------------------------------------------------- Panel, ToolWindow

void Panel::setExpanded(bool e) {
  if (e == expanded_) return;
  expanded_ = e;
  notify("Expand");
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

// ---------------------------------------------------------------- Properties of each kind

namespace {

int IntOf(const std::string& v) { return static_cast<int>(px::StrToInt(v)); }

template <class T>
Json JsonArray(const std::vector<T>& values) {
  Json a = Json::array();
  for (const auto& v : values) a.push(v);
  return a;
}

}  // namespace

const std::vector<Property>& CheckBox::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<CheckBox>(
          {"Checked"}, [](const CheckBox& c) { return BoolText(c.checked_); },
          [](CheckBox& c, const std::string& v) { c.setChecked(ParseBool(v)); }, "checked",
          [](const CheckBox& c) -> Json { return c.checked_; }),
  };
  return table;
}

const std::vector<Property>& RadioGroup::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<RadioGroup>({}, nullptr, nullptr, "items",
                               [](const RadioGroup& c) { return JsonArray(c.items_); }),
      MakeProperty<RadioGroup>(
          {"ItemIndex"}, [](const RadioGroup& c) { return std::to_string(c.index_); },
          [](RadioGroup& c, const std::string& v) { c.setItemIndex(IntOf(v)); }, "itemIndex",
          [](const RadioGroup& c) -> Json { return c.index_; }),
      MakeProperty<RadioGroup>({"Text"}, [](const RadioGroup& c) { return c.text(); }, nullptr),
  };
  return table;
}

const std::vector<Property>& ComboBox::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<ComboBox>({}, nullptr, nullptr, "items", [](const ComboBox& c) { return JsonArray(c.items_); }),
      MakeProperty<ComboBox>(
          {"ItemIndex"}, [](const ComboBox& c) { return std::to_string(c.index_); },
          [](ComboBox& c, const std::string& v) { c.setItemIndex(IntOf(v)); }, "itemIndex",
          [](const ComboBox& c) -> Json { return c.index_; }),
      MakeProperty<ComboBox>(
          {"Text"}, [](const ComboBox& c) { return c.text(); },
          [](ComboBox& c, const std::string& v) { c.setText(v); }, "text",
          [](const ComboBox& c) -> Json { return c.text(); }),
  };
  return table;
}

const std::vector<Property>& Slider::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<Slider>(
          {"Value", "Position"}, [](const Slider& c) { return std::to_string(c.value_); },
          [](Slider& c, const std::string& v) { c.setValue(IntOf(v)); }, "value",
          [](const Slider& c) -> Json { return c.value_; }),
      MakeProperty<Slider>(
          {"Min"}, [](const Slider& c) { return std::to_string(c.min_); },
          [](Slider& c, const std::string& v) { c.setMin(IntOf(v)); }, "min",
          [](const Slider& c) -> Json { return c.min_; }),
      MakeProperty<Slider>(
          {"Max"}, [](const Slider& c) { return std::to_string(c.max_); },
          [](Slider& c, const std::string& v) { c.setMax(IntOf(v)); }, "max",
          [](const Slider& c) -> Json { return c.max_; }),
  };
  return table;
}

const std::vector<Property>& SpinEdit::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<SpinEdit>(
          {"Value"}, [](const SpinEdit& c) { return c.text(); },
          [](SpinEdit& c, const std::string& v) { c.setValue(px::StrToFloat(v)); }, "value",
          [](const SpinEdit& c) -> Json { return c.value_; }),
      MakeProperty<SpinEdit>(
          {"MinValue", "Min"}, [](const SpinEdit& c) { return px::FloatToStr(c.min_); },
          [](SpinEdit& c, const std::string& v) { c.setRange(px::StrToFloat(v), c.max_); }, "min",
          [](const SpinEdit& c) -> Json { return c.min_; }),
      MakeProperty<SpinEdit>(
          {"MaxValue", "Max"}, [](const SpinEdit& c) { return px::FloatToStr(c.max_); },
          [](SpinEdit& c, const std::string& v) { c.setRange(c.min_, px::StrToFloat(v)); }, "max",
          [](const SpinEdit& c) -> Json { return c.max_; }),
      MakeProperty<SpinEdit>({"Increment"}, [](const SpinEdit& c) { return px::FloatToStr(c.increment_); },
                             [](SpinEdit& c, const std::string& v) { c.increment_ = px::StrToFloat(v); }),
  };
  return table;
}

const std::vector<Property>& Edit::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<Edit>(
          {"Text"}, [](const Edit& c) { return c.text_; }, [](Edit& c, const std::string& v) { c.setText(v); },
          "text", [](const Edit& c) -> Json { return c.text_; }),
  };
  return table;
}

const std::vector<Property>& Label::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<Label>({}, nullptr, nullptr, "fontColor", [](const Label& c) -> Json { return ColorText(c.color_); }),
  };
  return table;
}

const std::vector<Property>& Memo::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<Memo>({"Text", "Lines"}, [](const Memo& c) { return c.text(); }, [](Memo& c, const std::string& v) {
        // One line per '\n'; a last '\n' ends the last line rather than starting an empty one.
        c.lines_.clear();
        size_t start = 0;
        while (start < v.size()) {
          const size_t nl = v.find('\n', start);
          if (nl == std::string::npos) {
            c.lines_.push_back(v.substr(start));
            break;
          }
          c.lines_.push_back(v.substr(start, nl - start));
          start = nl + 1;
        }
        c.notify("Lines");
      }, "lines", [](const Memo& c) { return JsonArray(c.lines_); }),
  };
  return table;
}

const std::vector<Property>& Shape::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<Shape>({"Color"}, [](const Shape& c) { return ColorText(c.color_); }, nullptr, "color",
                          [](const Shape& c) -> Json { return ColorText(c.color_); }),
  };
  return table;
}

const std::vector<Property>& Gauge::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<Gauge>(
          {"Progress", "Value"}, [](const Gauge& c) { return std::to_string(c.progress_); },
          [](Gauge& c, const std::string& v) { c.setProgress(IntOf(v)); }, "progress",
          [](const Gauge& c) -> Json { return c.progress_; }),
  };
  return table;
}

const std::vector<Property>& CheckList::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<CheckList>(
          {"ItemIndex"}, [](const CheckList& c) { return std::to_string(c.index_); },
          [](CheckList& c, const std::string& v) { c.setItemIndex(IntOf(v)); }, "itemIndex",
          [](const CheckList& c) -> Json { return c.index_; }),
      MakeProperty<CheckList>({"Count"}, [](const CheckList& c) { return std::to_string(c.count()); }, nullptr),
      MakeProperty<CheckList>({}, nullptr, nullptr, "items", [](const CheckList& c) {
        Json items = Json::array();
        for (const auto& it : c.items_) {
          Json e = Json::object();
          e["text"] = it.text;
          e["state"] = CheckStateName(it.state);
          if (it.selected) e["selected"] = true;
          items.push(e);
        }
        return items;
      }),
  };
  return table;
}

const std::vector<Property>& Image::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<Image>({}, nullptr, nullptr, "width", [](const Image& c) -> Json { return c.width(); }),
      MakeProperty<Image>({}, nullptr, nullptr, "height", [](const Image& c) -> Json { return c.height(); }),
      MakeProperty<Image>({}, nullptr, nullptr, "pictureWidth",
                          [](const Image& c) -> Json { return c.picture_.width(); }),
      MakeProperty<Image>({}, nullptr, nullptr, "pictureHeight",
                          [](const Image& c) -> Json { return c.picture_.height(); }),
      MakeProperty<Image>({}, nullptr, nullptr, "cursor", [](const Image& c) -> Json { return CursorName(c.cursor_); }),
  };
  return table;
}

// Only a collapsible panel has "Expand".
const std::vector<Property>& Panel::properties() const {
  static const std::vector<Property> none;
  static const std::vector<Property> collapsible = {
      MakeProperty<Panel>(
          {"Expand"}, [](const Panel& c) { return BoolText(c.expanded_); },
          [](Panel& c, const std::string& v) { c.setExpanded(ParseBool(v)); }, "expand",
          [](const Panel& c) -> Json { return c.expanded_; }),
  };
  return collapsible_ ? collapsible : none;
}

const std::vector<Property>& ToolWindow::properties() const {
  static const std::vector<Property> table = {
      MakeProperty<ToolWindow>({}, nullptr, nullptr, "left", [](const ToolWindow& c) -> Json { return c.left(); }),
      MakeProperty<ToolWindow>({}, nullptr, nullptr, "top", [](const ToolWindow& c) -> Json { return c.top(); }),
      MakeProperty<ToolWindow>({}, nullptr, nullptr, "width", [](const ToolWindow& c) -> Json { return c.width(); }),
      MakeProperty<ToolWindow>({}, nullptr, nullptr, "height", [](const ToolWindow& c) -> Json { return c.height(); }),
  };
  return table;
}

}  // namespace ui
