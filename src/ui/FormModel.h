#pragma once
// The form model: a headless registry of the program's named controls with typed properties
// and events that fire like a classic desktop toolkit's:
//   - setting a slider's or spin's value, a check box's state, a radio group's item or an
//     edit's text from code fires its change/click event when the value changes;
//   - setting a combo box's item or a check list item's state from code fires nothing;
//   - user actions (the user* methods, called by the Qt view and by scripts) fire all of them.
// Each subsystem declares its own controls; handlers keep typed references to them.
// Exceptions thrown by a handler during a user action are shown in an error box by the
// dispatch (Form::runUserAction) and end that action; the program stays usable.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Json.h"
#include "ui/Bitmap24.h"
#include "ui/Cursor.h"

namespace ui {

class Form;
class UiServices;

enum class Kind {
  Window,      // the main window
  Page,        // a tab page of the main window
  ToolWindow,  // floating window
  Panel,       // group of controls; collapsible ones have Expand
  Button,
  CheckBox,
  RadioGroup,
  ComboBox,
  Slider,
  SpinEdit,
  Edit,
  Label,
  Memo,
  CheckList,
  Image,
  Shape,  // a filled square showing a state colour
  Gauge,  // progress bar 0..100
};
const char* KindName(Kind k);

enum class MouseButton { Left, Right, Middle };
enum class MouseAction { Down, Move, Up, DblClick };
struct MouseEvent {
  int x = 0, y = 0;
  MouseButton button = MouseButton::Left;
  bool buttonHeld = false;  // for moves: a button is pressed
  bool ctrl = false, shift = false;
};

using Handler = std::function<void()>;
using MouseHandler = std::function<void(const MouseEvent&)>;
// The handler may set key to 0 to swallow it.
using KeyHandler = std::function<void(int& key, bool ctrl, bool shift)>;

class Control;

// One property of a kind of control. `names`: the name the stored-properties list and scripts
// use, then any alias (none: the property is only dumped). `get` gives the text form, `set`
// (empty: read only) acts as code would; `json` names it in the dump (null: not dumped).
struct Property {
  std::vector<std::string> names;
  std::function<std::string(const Control&)> get;
  std::function<void(Control&, const std::string&)> set;
  const char* json = nullptr;
  std::function<px::Json(const Control&)> toJson;
};

// A Property of control kind C from functions of C (lambdas without captures).
template <class C>
Property MakeProperty(std::vector<std::string> names, std::string (*get)(const C&),
                      void (*set)(C&, const std::string&), const char* json = nullptr,
                      px::Json (*toJson)(const C&) = nullptr) {
  Property p;
  p.names = std::move(names);
  if (get) p.get = [get](const Control& c) { return get(static_cast<const C&>(c)); };
  if (set) p.set = [set](Control& c, const std::string& v) { set(static_cast<C&>(c), v); };
  p.json = json;
  if (toJson) p.toJson = [toJson](const Control& c) { return toJson(static_cast<const C&>(c)); };
  return p;
}

class Control {
 public:
  Control(Form& form, std::string name, Kind kind, std::string parent);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& name() const { return name_; }
  Kind kind() const { return kind_; }
  const std::string& parentName() const { return parent_; }
  Form& form() const { return form_; }

  const std::string& caption() const { return caption_; }
  void setCaption(const std::string& c);
  bool visible() const { return visible_; }
  virtual void setVisible(bool v);
  bool enabled() const { return enabled_; }
  void setEnabled(bool e);
  const std::string& hint() const { return hint_; }
  void setHint(const std::string& h);
  int left() const { return left_; }
  int top() const { return top_; }
  int width() const { return width_; }
  int height() const { return height_; }
  virtual void setBounds(int left, int top, int width, int height);
  void setSize(int width, int height) { setBounds(left_, top_, width, height); }
  void setPosition(int left, int top) { setBounds(left, top, width_, height_); }
  void setFocus();  // asks the view to give this control the keyboard focus

  // Generic access by the property names of the stored-properties list ("Value", "Checked",
  // "ItemIndex", "Left", "Top", "Expand", "Text", ...). Values are texts: integers in decimal,
  // states as "True"/"False", fractions with '.'. setProperty acts as code would (events fire
  // as for the typed setters) and throws PelinoxaError for unknown names or bad values.
  std::vector<std::string> propertyNames() const;
  bool getProperty(const std::string& prop, std::string& out) const;
  void setProperty(const std::string& prop, const std::string& value);
  std::string property(const std::string& prop) const;  // throws when unknown
  px::Json toJson() const;

  // User actions common to several kinds: a click (button, check box, radio item already
  // set, check-list item), a key press. Each runs through the form's dispatch.
  virtual void userClick();
  virtual void userKey(int key, bool ctrl = false, bool shift = false);

  KeyHandler OnKeyDown;

 protected:
  // The properties this kind adds to those every control has, in dump order.
  virtual const std::vector<Property>& properties() const;
  void notify(std::string_view prop);
  static bool ParseBool(const std::string& text);
  static std::string BoolText(bool b) { return b ? "True" : "False"; }

 private:
  static const std::vector<Property>& commonProperties();
  const Property* findProperty(const std::string& prop) const;
  Form& form_;
  std::string name_;
  Kind kind_;
  std::string parent_;
  std::string caption_, hint_;
  bool visible_ = true, enabled_ = true;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

class Button : public Control {
 public:
  Button(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::Button, std::move(parent)) {}
  void userClick() override;
  void click();  // from code: Button.Click
  Handler OnClick;
};

class CheckBox : public Control {
 public:
  CheckBox(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::CheckBox, std::move(parent)) {}
  bool checked() const { return checked_; }
  void setChecked(bool c);  // fires OnClick when it changes
  void userClick() override;  // toggles, fires OnClick
  const std::vector<Property>& properties() const override;
  Handler OnClick;

 private:
  bool checked_ = false;
};

class RadioGroup : public Control {
 public:
  RadioGroup(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::RadioGroup, std::move(parent)) {}
  const std::vector<std::string>& items() const { return items_; }
  void setItems(std::vector<std::string> items);
  int itemIndex() const { return index_; }
  void setItemIndex(int i);   // fires OnClick when it changes
  void userSelect(int i);     // sets and fires OnClick
  void userClick() override;  // fires OnClick for the current item
  std::string text() const { return index_ >= 0 && index_ < (int)items_.size() ? items_[index_] : std::string(); }
  const std::vector<Property>& properties() const override;
  Handler OnClick;

 private:
  std::vector<std::string> items_;
  int index_ = -1;
};

class ComboBox : public Control {
 public:
  ComboBox(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::ComboBox, std::move(parent)) {}
  const std::vector<std::string>& items() const { return items_; }
  void setItems(std::vector<std::string> items);
  int itemIndex() const { return index_; }
  void setItemIndex(int i);  // from code: no event
  std::string text() const;
  void setText(const std::string& t);  // selects the matching item (or -1); no event
  void userSelect(int i);              // sets and fires OnChange
  const std::vector<Property>& properties() const override;
  Handler OnChange;

 private:
  std::vector<std::string> items_;
  int index_ = -1;
  std::string freeText_;
};

class Slider : public Control {
 public:
  Slider(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::Slider, std::move(parent)) {}
  int value() const { return value_; }
  void setValue(int v);  // clamped to min..max; fires OnChange when it changes
  int min() const { return min_; }
  int max() const { return max_; }
  void setMin(int m);  // the value is clamped into the range (firing OnChange if it moves)
  void setMax(int m);
  void setRange(int mn, int mx);
  bool vertical() const { return vertical_; }
  void setVertical(bool v) { vertical_ = v; }
  // User drag or key: OnChange when the value moves, then OnChanged (the position is final).
  void userSetValue(int v);
  const std::vector<Property>& properties() const override;
  Handler OnChange;   // while moving, and when set from code
  Handler OnChanged;  // when a user move ends

 private:
  int value_ = 0, min_ = 0, max_ = 10;
  bool vertical_ = false;
};

class SpinEdit : public Control {
 public:
  SpinEdit(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::SpinEdit, std::move(parent)) {}
  double value() const { return value_; }
  int intValue() const;
  // Clamped to min..max when max > min (a spin without limits has min = max = 0);
  // fires OnChange when the value changes.
  void setValue(double v);
  double min() const { return min_; }
  double max() const { return max_; }
  void setRange(double mn, double mx);
  double increment() const { return increment_; }
  void setIncrement(double s) { increment_ = s; }
  int decimals() const { return decimals_; }
  void setDecimals(int d) { decimals_ = d; }
  bool isInteger() const { return decimals_ == 0; }
  std::string text() const;
  void userSetValue(double v);  // as typed: the same clamping and event
  const std::vector<Property>& properties() const override;
  Handler OnChange;

 private:
  double value_ = 0, min_ = 0, max_ = 0, increment_ = 1;
  int decimals_ = 0;
};

class Edit : public Control {
 public:
  Edit(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::Edit, std::move(parent)) {}
  const std::string& text() const { return text_; }
  void setText(const std::string& t);  // fires OnChange when it changes
  void userSetText(const std::string& t);
  const std::vector<Property>& properties() const override;
  Handler OnChange;

 private:
  std::string text_;
};

class Label : public Control {
 public:
  Label(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::Label, std::move(parent)) {}
  Color fontColor() const { return color_; }
  void setFontColor(Color c);
  const std::vector<Property>& properties() const override;

 private:
  Color color_ = colors::Black;
};

class Memo : public Control {
 public:
  Memo(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::Memo, std::move(parent)) {}
  const std::vector<std::string>& lines() const { return lines_; }
  void add(const std::string& line);
  void clear();
  std::string text() const;
  const std::vector<Property>& properties() const override;

 private:
  std::vector<std::string> lines_;
};

enum class CheckState { Unchecked, Checked, Grayed };

class CheckList : public Control {
 public:
  struct Item {
    std::string text;
    CheckState state = CheckState::Unchecked;
    bool selected = false;
  };
  CheckList(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::CheckList, std::move(parent)) {}
  int count() const { return static_cast<int>(items_.size()); }
  const Item& item(int i) const { return items_.at(i); }
  const std::vector<Item>& items() const { return items_; }
  void clear();
  void add(const std::string& text, CheckState state = CheckState::Checked);
  void setText(int i, const std::string& text);
  // From code: no events.
  CheckState state(int i) const { return items_.at(i).state; }
  bool checked(int i) const { return items_.at(i).state == CheckState::Checked; }
  void setState(int i, CheckState s);
  void setChecked(int i, bool c) { setState(i, c ? CheckState::Checked : CheckState::Unchecked); }
  bool selected(int i) const { return items_.at(i).selected; }
  void setSelected(int i, bool s);
  int itemIndex() const { return index_; }
  void setItemIndex(int i);  // focuses and selects item i alone; no event
  bool multiSelect() const { return multiSelect_; }
  void setMultiSelect(bool m) { multiSelect_ = m; }
  void beginUpdate();  // batches view notifications while refilling
  void endUpdate();

  // User actions.
  void userClickItem(int i, bool ctrl = false, bool shift = false);  // select, fire OnClick
  void userToggleCheck(int i);  // flips the check mark (grey becomes checked), fires OnClickCheck
  void userDblClick();          // fires OnDblClick
  void userClick() override;    // a click on the current item
  const std::vector<Property>& properties() const override;
  Handler OnClick, OnClickCheck, OnDblClick;
  int lastCheckedIndex = -1;  // the item whose check mark the user changed last

 private:
  std::vector<Item> items_;
  int index_ = -1;
  int anchor_ = -1;
  bool multiSelect_ = false;
  int updating_ = 0;
};

class Image : public Control {
 public:
  Image(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::Image, std::move(parent)) {}
  Bitmap24& picture() { return picture_; }
  const Bitmap24& picture() const { return picture_; }
  // After drawing into picture(): tell the view to repaint.
  void invalidate();
  bool stretch() const { return stretch_; }
  void setStretch(bool s) { stretch_ = s; }
  // Scroll position of the view showing this picture (the program centres views on features).
  int scrollX() const { return scrollX_; }
  int scrollY() const { return scrollY_; }
  void setScrollPosition(int x, int y);
  // The part of a picture a page's large view shows; larger pictures scroll.
  static constexpr int kViewWidth = 817, kViewHeight = 625;
  // The size the pages declare their large views with, before any picture arrives.
  static constexpr int kDeclaredWidth = 640, kDeclaredHeight = 480;
  // Centres the view on (x, y) along each axis in which a picture of the given size overflows it.
  void scrollOnto(int x, int y, int pictureWidth, int pictureHeight);
  // User mouse actions (view and scripts).
  void userMouse(MouseAction action, const MouseEvent& e);
  const std::vector<Property>& properties() const override;
  MouseHandler OnMouseDown, OnMouseMove, OnMouseUp;
  Handler OnDblClick;
  // The pointer shape over this picture.
  Cursor cursor() const { return cursor_; }
  void setCursor(Cursor c);

 private:
  Bitmap24 picture_;
  Cursor cursor_ = Cursor::Normal;
  bool stretch_ = false;
  int scrollX_ = 0, scrollY_ = 0;
};

class Shape : public Control {
 public:
  Shape(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::Shape, std::move(parent)) {}
  Color color() const { return color_; }
  void setColor(Color c);
  const std::vector<Property>& properties() const override;

 private:
  Color color_ = colors::White;
};

class Gauge : public Control {
 public:
  Gauge(Form& f, std::string name, std::string parent) : Control(f, std::move(name), Kind::Gauge, std::move(parent)) {}
  int progress() const { return progress_; }
  void setProgress(int p);
  const std::vector<Property>& properties() const override;

 private:
  int progress_ = 0;
};

class Panel : public Control {
 public:
  Panel(Form& f, std::string name, std::string parent, Kind kind = Kind::Panel)
      : Control(f, std::move(name), kind, std::move(parent)) {}
  bool collapsible() const { return collapsible_; }
  void setCollapsible(bool c) { collapsible_ = c; }
  bool expanded() const { return expanded_; }
  void setExpanded(bool e);  // no event
  const std::vector<Property>& properties() const override;

 private:
  bool collapsible_ = false, expanded_ = true;
};

// A work page of the main window. Visible = the tab is shown.
class Page : public Panel {
 public:
  Page(Form& f, std::string name) : Panel(f, std::move(name), "", Kind::Page) {}
};

class ToolWindow : public Control {
 public:
  ToolWindow(Form& f, std::string name, std::string parent = "") : Control(f, std::move(name), Kind::ToolWindow, std::move(parent)) {}
  // Moving from code fires OnMove too (the toolkit reports every move).
  void setBounds(int left, int top, int width, int height) override;
  void setVisible(bool v) override;  // showing fires OnShow
  void userMove(int left, int top);
  void userResize(int width, int height);
  void userClose();  // hides, then OnClose
  Handler OnMove, OnResize, OnClose, OnShow;
  const std::vector<Property>& properties() const override;
};

// The form: owns the controls, the active page, the dispatch of user actions and the
// observers that keep a view in sync.
class Form {
 public:
  Form();
  ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  void setUiServices(UiServices* ui) { ui_ = ui; }
  UiServices* uiServices() const { return ui_; }

  template <class T, class... Args>
  T& add(const std::string& name, Args&&... args) {
    auto c = std::make_unique<T>(*this, name, std::forward<Args>(args)...);
    T& ref = *c;
    insert(std::move(c));
    return ref;
  }

  // Declaration helpers: typed control with its caption, range and default.
  Page& page(const std::string& name, const std::string& caption);
  ToolWindow& toolWindow(const std::string& name, const std::string& caption, int width, int height);
  Panel& panel(const std::string& name, const std::string& parent, const std::string& caption,
               bool collapsible = false, bool expanded = true);
  Button& button(const std::string& name, const std::string& parent, const std::string& caption);
  CheckBox& checkBox(const std::string& name, const std::string& parent, const std::string& caption, bool checked);
  RadioGroup& radioGroup(const std::string& name, const std::string& parent, const std::string& caption,
                         std::vector<std::string> items, int index);
  ComboBox& comboBox(const std::string& name, const std::string& parent, std::vector<std::string> items, int index);
  Slider& slider(const std::string& name, const std::string& parent, int min, int max, int value);
  SpinEdit& spin(const std::string& name, const std::string& parent, const std::string& caption, double min,
                 double max, double value, double increment = 1, int decimals = 0);
  Edit& edit(const std::string& name, const std::string& parent, const std::string& text);
  Label& label(const std::string& name, const std::string& parent, const std::string& caption);
  Memo& memo(const std::string& name, const std::string& parent);
  CheckList& checkList(const std::string& name, const std::string& parent);
  Image& image(const std::string& name, const std::string& parent, int width, int height);
  Shape& shape(const std::string& name, const std::string& parent, Color color);
  Gauge& gauge(const std::string& name, const std::string& parent);

  // Lookups by name throw PelinoxaError when no control has the name: a name that
  // exists nowhere is a fault, never a control to skip.
  bool has(const std::string& name) const { return byName_.count(name) != 0; }
  Control* find(const std::string& name) const { return &control(name); }
  Control& control(const std::string& name) const;
  template <class T>
  T& get(const std::string& name) const {
    T* t = dynamic_cast<T*>(&control(name));
    if (!t) throw std::logic_error("control " + name + " has another kind");
    return *t;
  }
  const std::vector<Control*>& controls() const { return order_; }
  std::vector<Control*> children(const std::string& parent) const;

  // "Name.Prop" access (the stored-properties list and scripts).
  std::string getProperty(const std::string& dotted) const;
  void setProperty(const std::string& dotted, const std::string& value);

  // The main window.
  const std::string& caption() const { return caption_; }
  void setCaption(const std::string& c);
  int left() const { return left_; }
  int top() const { return top_; }
  int width() const { return width_; }
  int height() const { return height_; }
  void setBounds(int l, int t, int w, int h);
  bool maximized() const { return maximized_; }
  void setMaximized(bool m);

  // Pages. Activating from code fires nothing; userSetActivePage runs the page-change handling.
  std::vector<Page*> pages() const;
  Page* activePage() const { return active_; }
  int activePageIndex() const;  // 0-based among all pages, -1 when none
  void setActivePage(Page& p);
  void userSetActivePage(Page& p);
  Handler OnPageChange;

  // Files dropped onto the window.
  std::function<void(const std::vector<std::string>&)> OnDropFiles;
  void userDropFiles(const std::vector<std::string>& files);

  // Runs a user action: exceptions are shown in an error box and end the action.
  // ScriptAbort passes through.
  void runUserAction(const std::function<void()>& action);

  // Model-to-view notifications: (control or nullptr for the main window, property name).
  using Observer = std::function<void(Control*, std::string_view)>;
  int addObserver(Observer o);
  void removeObserver(int id);
  void notifyObservers(Control* c, std::string_view prop);

  px::Json toJson() const;

 private:
  void insert(std::unique_ptr<Control> c);
  UiServices* ui_ = nullptr;
  std::vector<std::unique_ptr<Control>> owned_;
  std::vector<Control*> order_;
  std::map<std::string, Control*, std::less<>> byName_;
  std::string caption_;
  int left_ = 0, top_ = 0, width_ = 1100, height_ = 800;
  bool maximized_ = false;
  Page* active_ = nullptr;
  std::vector<std::pair<int, Observer>> observers_;
  int nextObserver_ = 1;
};

}  // namespace ui
