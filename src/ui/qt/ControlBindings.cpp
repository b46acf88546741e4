#include "ui/qt/ControlBindings.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <climits>
#include <cmath>

#include "ui/qt/CheckListView.h"
#include "ui/qt/FormView.h"
#include "ui/qt/ImageView.h"
#include "ui/qt/RepaintThrottle.h"
#include "ui/qt/Theme.h"

namespace ui::qt {

static QString Q(const std::string& s) { return QString::fromStdString(s); }

// ---------------------------------------------------------------- Binding

void Binding::setWidgets(QWidget* outer, QWidget* widget) {
  outer_ = outer;
  widget_ = widget;
  view_.installKeyForwarding(widget, c_);
}

void Binding::user(const std::function<void()>& action) {
  view_.dispatch(action);
  applyAll();  // handlers may have clamped, reverted or left the value alone
}

void Binding::apply(std::string_view prop) {
  FormView::ApplyScope scope(view_);
  QSignalBlocker block(widget_);
  bool all = prop.empty();
  if (all || prop == "Caption") applyCaption();
  if (all || prop == "Visible") applyVisible();
  if (all || prop == "Enabled") outer_->setEnabled(c_.enabled());
  if (all || prop == "Hint") {
    widget_->setToolTip(Q(c_.hint()));
    if (captionLabel_) captionLabel_->setToolTip(Q(c_.hint()));
  }
  if (prop == "Focus" && widget_->isVisible()) widget_->setFocus(Qt::OtherFocusReason);
  if ((all || prop == "Bounds") && absolute) view_.placeAbsolute(*this);
  applyProp(prop);
}

void Binding::applyVisible() {
  bool v = c_.visible() && (!followsAncestors || view_.ancestorsVisible(c_));
  outer_->setHidden(!v);
}

QWidget* Binding::withCaption(QWidget* w, QWidget* parent, bool above) {
  if (c_.caption().empty()) return nullptr;
  auto* row = new QWidget(parent);
  QBoxLayout* l = above ? static_cast<QBoxLayout*>(new QVBoxLayout(row)) : new QHBoxLayout(row);
  l->setContentsMargins(0, 0, 0, 0);
  captionLabel_ = new QLabel(row);
  captionLabel_->setBuddy(w);
  l->addWidget(captionLabel_, above ? 0 : 1);
  w->setParent(row);
  l->addWidget(w, above ? 0 : 0);
  return row;
}

void Binding::applyCaptionLabel() {
  if (captionLabel_) captionLabel_->setText(Q(c_.caption()));
}

namespace {

// ---------------------------------------------------------------- Button, CheckBox

class ButtonBinding : public Binding {
 public:
  ButtonBinding(FormView& v, ui::Button& b, QWidget* parent) : Binding(v, b) {
    auto* w = new QPushButton(parent);
    QObject::connect(w, &QPushButton::clicked, [this, &b] { user([&b] { b.userClick(); }); });
    setWidgets(w, w);
  }
  void applyCaption() override { static_cast<QPushButton*>(widget_)->setText(Q(c_.caption())); }
  void applyProp(std::string_view) override {}
};

class CheckBoxBinding : public Binding {
 public:
  CheckBoxBinding(FormView& v, ui::CheckBox& c, QWidget* parent) : Binding(v, c), cb_(c) {
    box_ = new QCheckBox(parent);
    QObject::connect(box_, &QCheckBox::clicked, [this] { user([this] { cb_.userClick(); }); });
    setWidgets(box_, box_);
  }
  void applyCaption() override { box_->setText(Q(c_.caption())); }
  void applyProp(std::string_view p) override {
    if (p.empty() || p == "Checked") box_->setChecked(cb_.checked());
  }

 private:
  ui::CheckBox& cb_;
  QCheckBox* box_;
};

// ---------------------------------------------------------------- RadioGroup, ComboBox

class RadioGroupBinding : public Binding {
 public:
  RadioGroupBinding(FormView& v, ui::RadioGroup& r, QWidget* parent) : Binding(v, r), rg_(r) {
    box_ = new QGroupBox(parent);
    group_ = new QButtonGroup(box_);
    QObject::connect(group_, &QButtonGroup::idClicked, [this](int id) { user([this, id] { rg_.userSelect(id); }); });
    setWidgets(box_, box_);
  }
  void applyCaption() override { box_->setTitle(Q(c_.caption())); }
  void applyProp(std::string_view p) override {
    QSignalBlocker b(group_);
    if (p.empty() || p == "Items") rebuild();
    if (p.empty() || p == "Items" || p == "ItemIndex") {
      int i = rg_.itemIndex();
      if (auto* btn = group_->button(i)) {
        btn->setChecked(true);
      } else if (auto* checked = group_->checkedButton()) {
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
      }
    }
  }

 private:
  void rebuild() {
    // Only when the items really changed: a re-sync after a click must not delete the
    // button whose signal is being delivered.
    if (shown_ == rg_.items() && !group_->buttons().isEmpty()) return;
    shown_ = rg_.items();
    for (auto* b : group_->buttons()) {
      group_->removeButton(b);
      b->hide();
      b->deleteLater();  // a handler may change the items while this button's click runs
    }
    delete box_->layout();
    const auto& items = rg_.items();
    // Short items ("32", "64" ...) sit in one row; long lists take two columns.
    bool shortItems = items.size() <= 5;
    for (auto& s : items) shortItems = shortItems && s.size() <= 7;
    auto* grid = new QGridLayout(box_);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(2);
    int cols = shortItems ? static_cast<int>(items.size()) : items.size() > 6 ? 2 : 1;
    int rows = cols > 0 ? (static_cast<int>(items.size()) + cols - 1) / cols : 0;
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
      auto* b = new QRadioButton(Q(items[i]), box_);
      group_->addButton(b, i);
      view_.installKeyForwarding(b, c_);
      if (shortItems) grid->addWidget(b, 0, i);
      else grid->addWidget(b, i % std::max(rows, 1), i / std::max(rows, 1));
    }
  }
  ui::RadioGroup& rg_;
  QGroupBox* box_;
  QButtonGroup* group_;
  std::vector<std::string> shown_;
};

class ComboBoxBinding : public Binding {
 public:
  ComboBoxBinding(FormView& v, ui::ComboBox& c, QWidget* parent) : Binding(v, c), cb_(c) {
    combo_ = new QComboBox(parent);
    combo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    QObject::connect(combo_, &QComboBox::activated, [this](int i) { user([this, i] { cb_.userSelect(i); }); });
    QWidget* row = withCaption(combo_, parent);
    setWidgets(row ? row : combo_, combo_);
  }
  void applyCaption() override { applyCaptionLabel(); }
  void applyProp(std::string_view p) override {
    if ((p.empty() || p == "Items") && shown_ != cb_.items()) {
      shown_ = cb_.items();
      combo_->clear();
      for (auto& s : shown_) combo_->addItem(Q(s));
    }
    if (p.empty() || p == "Items" || p == "ItemIndex") {
      combo_->setCurrentIndex(cb_.itemIndex());
      combo_->setPlaceholderText(cb_.itemIndex() < 0 ? Q(cb_.text()) : QString());
    }
  }

 private:
  ui::ComboBox& cb_;
  QComboBox* combo_;
  std::vector<std::string> shown_;
};

// ---------------------------------------------------------------- Slider, SpinEdit, Edit

class SliderBinding : public Binding {
 public:
  SliderBinding(FormView& v, ui::Slider& s, QWidget* parent) : Binding(v, s), sl_(s) {
    auto* outer = new QWidget(parent);
    bool vert = s.vertical();
    slider_ = new QSlider(vert ? Qt::Vertical : Qt::Horizontal, outer);
    if (vert) {
      // Minimum at the top, as on the classic vertical track bar; keys follow the thumb.
      slider_->setInvertedAppearance(true);
      slider_->setInvertedControls(true);
    }
    value_ = new QLabel(outer);
    value_->setAlignment(vert ? Qt::AlignCenter : (Qt::AlignRight | Qt::AlignVCenter));
    captionLabel_ = new QLabel(outer);
    captionLabel_->setWordWrap(!vert);
    if (vert) {
      captionLabel_->setAlignment(Qt::AlignHCenter);
      auto* l = new QVBoxLayout(outer);
      l->setContentsMargins(0, 0, 0, 0);
      l->addWidget(value_);
      l->addWidget(slider_, 1, Qt::AlignHCenter);
      l->addWidget(captionLabel_);
      int lines = s.height() > 0 ? 0 : 9;
      slider_->setMinimumHeight(lines ? slider_->fontMetrics().height() * lines : s.height());
    } else {
      auto* l = new QGridLayout(outer);
      l->setContentsMargins(0, 0, 0, 0);
      l->setVerticalSpacing(0);
      l->addWidget(captionLabel_, 0, 0, 1, 2);
      l->addWidget(slider_, 1, 0);
      l->addWidget(value_, 1, 1);
      l->setColumnStretch(0, 1);
    }
    QObject::connect(slider_, &QSlider::valueChanged, [this](int val) {
      value_->setNum(val);
      user([this, val] { sl_.userSetValue(val); });
    });
    setWidgets(outer, slider_);
  }
  void applyCaption() override {
    captionLabel_->setText(Q(c_.caption()));
    captionLabel_->setHidden(c_.caption().empty());
  }
  void applyProp(std::string_view p) override {
    if (p.empty() || p == "Range") {
      slider_->setRange(sl_.min(), sl_.max());
      // Room for the widest value so the label does not jitter while dragging.
      QFontMetrics fm = value_->fontMetrics();
      int w = std::max(fm.horizontalAdvance(QString::number(sl_.min())), fm.horizontalAdvance(QString::number(sl_.max())));
      value_->setMinimumWidth(w + fm.averageCharWidth());
    }
    if (p.empty() || p == "Range" || p == "Value") {
      slider_->setValue(sl_.value());
      value_->setNum(sl_.value());
    }
  }

 private:
  ui::Slider& sl_;
  QSlider* slider_;
  QLabel* value_;
};

class SpinEditBinding : public Binding {
 public:
  SpinEditBinding(FormView& v, ui::SpinEdit& s, QWidget* parent) : Binding(v, s), sp_(s) {
    if (s.isInteger()) {
      ispin_ = new QSpinBox(parent);
      ispin_->setKeyboardTracking(false);  // a value per finished edit or arrow step
      QObject::connect(ispin_, &QSpinBox::valueChanged, [this](int val) { user([this, val] { sp_.userSetValue(val); }); });
      spin_ = ispin_;
    } else {
      dspin_ = new QDoubleSpinBox(parent);
      dspin_->setKeyboardTracking(false);
      QObject::connect(dspin_, &QDoubleSpinBox::valueChanged,
                       [this](double val) { user([this, val] { sp_.userSetValue(val); }); });
      spin_ = dspin_;
    }
    spin_->setLocale(QLocale::c());  // '.' as the decimal separator, as in every program text
    spin_->setAlignment(Qt::AlignRight);
    QWidget* row = withCaption(spin_, parent);
    setWidgets(row ? row : spin_, spin_);
  }
  void applyCaption() override { applyCaptionLabel(); }
  void applyProp(std::string_view p) override {
    if (!p.empty() && p != "Range" && p != "Value") return;
    bool limitless = !(sp_.max() > sp_.min());  // min = max = 0: no limits
    if (ispin_) {
      QSignalBlocker b(ispin_);
      if (p.empty() || p == "Range") {
        if (limitless) ispin_->setRange(INT_MIN, INT_MAX);
        else ispin_->setRange(static_cast<int>(std::ceil(sp_.min())), static_cast<int>(std::floor(sp_.max())));
        ispin_->setSingleStep(std::max(1, static_cast<int>(std::lround(sp_.increment()))));
      }
      ispin_->setValue(sp_.intValue());
    } else {
      QSignalBlocker b(dspin_);
      if (p.empty() || p == "Range") {
        dspin_->setDecimals(sp_.decimals());
        if (limitless) dspin_->setRange(-1e12, 1e12);
        else dspin_->setRange(sp_.min(), sp_.max());
        dspin_->setSingleStep(sp_.increment() > 0 ? sp_.increment() : 1);
      }
      dspin_->setValue(sp_.value());
    }
  }

 private:
  ui::SpinEdit& sp_;
  QAbstractSpinBox* spin_ = nullptr;
  QSpinBox* ispin_ = nullptr;
  QDoubleSpinBox* dspin_ = nullptr;
};

class EditBinding : public Binding {
 public:
  EditBinding(FormView& v, ui::Edit& e, QWidget* parent) : Binding(v, e), ed_(e) {
    line_ = new QLineEdit(parent);
    // Classic edits report every keystroke.
    QObject::connect(line_, &QLineEdit::textEdited, [this](const QString& t) {
      std::string s = t.toStdString();
      user([this, s] { ed_.userSetText(s); });
    });
    QWidget* row = withCaption(line_, parent);
    setWidgets(row ? row : line_, line_);
  }
  void applyCaption() override { applyCaptionLabel(); }
  void applyProp(std::string_view p) override {
    if (p.empty() || p == "Text") {
      QString t = Q(ed_.text());
      if (line_->text() != t) line_->setText(t);  // keeps the cursor while typing
    }
  }

 private:
  ui::Edit& ed_;
  QLineEdit* line_;
};

// ---------------------------------------------------------------- Label, Memo, Shape, Gauge

class LabelBinding : public Binding {
 public:
  LabelBinding(FormView& v, ui::Label& l, QWidget* parent) : Binding(v, l), lb_(l) {
    label_ = new QLabel(parent);
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    setWidgets(label_, label_);
  }
  void applyCaption() override {
    label_->setText(Q(c_.caption()));
    applyVisible();
  }
  // A label without text takes no room (status labels are often empty until a run).
  void applyVisible() override { outer_->setHidden(!c_.visible() || c_.caption().empty()); }
  void applyProp(std::string_view p) override {
    if (p.empty() || p == "FontColor") {
      QPalette pal = label_->palette();
      pal.setColor(QPalette::WindowText, DisplayTextColor(lb_.fontColor(), QApplication::palette()));
      label_->setPalette(pal);
    }
  }

 private:
  ui::Label& lb_;
  QLabel* label_;
};

class MemoBinding : public Binding {
 public:
  MemoBinding(FormView& v, ui::Memo& m, QWidget* parent) : Binding(v, m), memo_(m) {
    text_ = new QPlainTextEdit(parent);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setMinimumHeight(text_->fontMetrics().lineSpacing() * 6);
    setWidgets(text_, text_);
  }
  void applyProp(std::string_view p) override {
    if (!p.empty() && p != "Lines") return;
    const auto& lines = memo_.lines();
    // A log grows line by line: append the new lines instead of resetting the whole text.
    bool grew = shown_ > 0 && lines.size() > shown_ && lines[shown_ - 1] == lastShown_;
    if (grew) {
      for (size_t i = shown_; i < lines.size(); ++i) text_->appendPlainText(Q(lines[i]));
    } else {
      QString all;
      for (size_t i = 0; i < lines.size(); ++i) {
        if (i) all += '\n';
        all += Q(lines[i]);
      }
      text_->setPlainText(all);
    }
    shown_ = lines.size();
    lastShown_ = lines.empty() ? std::string() : lines.back();
    text_->verticalScrollBar()->setValue(text_->verticalScrollBar()->maximum());
  }

 private:
  ui::Memo& memo_;
  QPlainTextEdit* text_;
  size_t shown_ = 0;
  std::string lastShown_;
};

class Swatch : public QWidget {
 public:
  Swatch(ui::Shape& s, QWidget* parent) : QWidget(parent), shape_(s) {}
  QSize sizeHint() const override {
    int h = fontMetrics().height();
    int w = shape_.width() > 0 ? std::min(shape_.width(), 4 * h) : h;
    int hh = shape_.height() > 0 ? std::min(shape_.height(), 4 * h) : h;
    return {w, hh};
  }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    ui::Color c = shape_.color();
    QRect r = rect().adjusted(0, 0, -1, -1);
    p.fillRect(r, QColor(c.r, c.g, c.b));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(r);
  }

 private:
  ui::Shape& shape_;
};

class ShapeBinding : public Binding {
 public:
  ShapeBinding(FormView& v, ui::Shape& s, QWidget* parent) : Binding(v, s) {
    auto* w = new Swatch(s, parent);
    w->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setWidgets(w, w);
  }
  void applyProp(std::string_view p) override {
    if (p.empty() || p == "Color") widget_->update();
  }
};

class GaugeBinding : public Binding {
 public:
  GaugeBinding(FormView& v, ui::Gauge& g, QWidget* parent) : Binding(v, g), g_(g) {
    bar_ = new QProgressBar(parent);
    bar_->setRange(0, 100);
    setWidgets(bar_, bar_);
  }
  void applyProp(std::string_view p) override {
    if (p.empty() || p == "Progress") bar_->setValue(g_.progress());
  }

 private:
  ui::Gauge& g_;
  QProgressBar* bar_;
};

// ---------------------------------------------------------------- Image

class ImageBinding : public Binding {
 public:
  ImageBinding(FormView& v, ui::Image& img, QWidget* parent) : Binding(v, img) {
    view = new ImageView(img, parent);
    view->dispatch = [&v](const std::function<void()>& f) { v.dispatch(f); };
    view->onResized = [this] { applyScroll(); };
    setWidgets(view, view);
  }
  void applyProp(std::string_view p) override {
    if (p == "Picture") view->markDirty();
    else if (p.empty() || p == "Bounds") view->refresh();
    if (p.empty() || p == "Cursor") view->applyCursor();
    if (p.empty() || p == "Scroll") applyScroll();
  }
  // Page pictures scroll; the model's position is applied again once a larger picture has
  // made room for it.
  void applyScroll() {
    auto* area = qobject_cast<QScrollArea*>(outer_);
    if (!area) return;
    FormView::ApplyScope scope(view_);
    auto& img = static_cast<ui::Image&>(c_);
    area->horizontalScrollBar()->setValue(img.scrollX());
    area->verticalScrollBar()->setValue(img.scrollY());
  }
  ImageView* view;
};

}  // namespace

ImageView* ImageViewOf(Binding& b) {
  auto* ib = dynamic_cast<ImageBinding*>(&b);
  return ib ? ib->view : nullptr;
}

std::unique_ptr<Binding> MakeLeafBinding(FormView& v, ui::Control& c, QWidget* parent) {
  switch (c.kind()) {
    case Kind::Button: return std::make_unique<ButtonBinding>(v, static_cast<ui::Button&>(c), parent);
    case Kind::CheckBox: return std::make_unique<CheckBoxBinding>(v, static_cast<ui::CheckBox&>(c), parent);
    case Kind::RadioGroup: return std::make_unique<RadioGroupBinding>(v, static_cast<ui::RadioGroup&>(c), parent);
    case Kind::ComboBox: return std::make_unique<ComboBoxBinding>(v, static_cast<ui::ComboBox&>(c), parent);
    case Kind::Slider: return std::make_unique<SliderBinding>(v, static_cast<ui::Slider&>(c), parent);
    case Kind::SpinEdit: return std::make_unique<SpinEditBinding>(v, static_cast<ui::SpinEdit&>(c), parent);
    case Kind::Edit: return std::make_unique<EditBinding>(v, static_cast<ui::Edit&>(c), parent);
    case Kind::Label: return std::make_unique<LabelBinding>(v, static_cast<ui::Label&>(c), parent);
    case Kind::Memo: return std::make_unique<MemoBinding>(v, static_cast<ui::Memo&>(c), parent);
    case Kind::CheckList: return MakeCheckListBinding(v, static_cast<ui::CheckList&>(c), parent);
    case Kind::Image: return std::make_unique<ImageBinding>(v, static_cast<ui::Image&>(c), parent);
    case Kind::Shape: return std::make_unique<ShapeBinding>(v, static_cast<ui::Shape&>(c), parent);
    case Kind::Gauge: return std::make_unique<GaugeBinding>(v, static_cast<ui::Gauge&>(c), parent);
    default: return nullptr;
  }
}

}  // namespace ui::qt
