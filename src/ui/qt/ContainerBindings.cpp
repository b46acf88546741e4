#include "ui/qt/ContainerBindings.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/qt/FormView.h"

namespace ui::qt {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// ---------------------------------------------------------------- Page

class PageBinding : public Binding {
 public:
  PageBinding(FormView& v, ui::Page& p, QWidget* w, QTabWidget* tabs, int index)
      : Binding(v, p), tabs_(tabs), index_(index) {
    setWidgets(w, w);
  }
  void applyCaption() override { tabs_->setTabText(index_, Q(c_.caption())); }
  void applyVisible() override { tabs_->setTabVisible(index_, c_.visible()); }
  void applyProp(std::string_view p) override {
    if (p.empty() || p == "Enabled") tabs_->setTabEnabled(index_, c_.enabled());
  }

 private:
  QTabWidget* tabs_;
  int index_;
};

// ---------------------------------------------------------------- Panel

class PanelBinding : public Binding {
 public:
  PanelBinding(FormView& v, ui::Panel& p, QWidget* parent, bool bar = false) : Binding(v, p), panel_(p) {
    if (bar) {
      body_ = new QWidget(parent);
      auto* l = new QHBoxLayout(body_);
      l->setContentsMargins(0, 0, 0, 0);
      l->setSpacing(4);
      plain_ = true;
      setWidgets(body_, body_);
      return;
    }
    if (p.collapsible()) {
      auto* outer = new QWidget(parent);
      auto* l = new QVBoxLayout(outer);
      l->setContentsMargins(0, 0, 0, 0);
      l->setSpacing(0);
      header_ = new QToolButton(outer);
      header_->setCheckable(true);
      header_->setAutoRaise(true);
      header_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
      header_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
      QFont f = header_->font();
      f.setBold(true);
      header_->setFont(f);
      auto* frame = new QFrame(outer);
      frame->setFrameShape(QFrame::StyledPanel);
      body_ = frame;
      l->addWidget(header_);
      l->addWidget(body_);
      QObject::connect(header_, &QToolButton::toggled, [this](bool on) { user([this, on] { panel_.setExpanded(on); }); });
      setWidgets(outer, header_);
    } else {
      auto* box = new QGroupBox(parent);
      body_ = box;
      setWidgets(box, box);
    }
    auto* bl = new QVBoxLayout(body_);
    bl->setContentsMargins(8, 6, 8, 8);
    bl->setSpacing(4);
  }
  QWidget* body() const { return body_; }
  // A panel without controls (a place-holder) shows no empty frame.
  void applyVisible() override {
    bool empty = body_->layout() && body_->layout()->count() == 0;
    outer_->setHidden(!c_.visible() || empty);
  }
  void applyCaption() override {
    if (header_) header_->setText(Q(c_.caption()));
    else if (!plain_) static_cast<QGroupBox*>(body_)->setTitle(Q(c_.caption()));
  }
  void applyProp(std::string_view p) override {
    if (!header_ || (!p.empty() && p != "Expand")) return;
    bool on = panel_.expanded();
    header_->setChecked(on);
    header_->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
    body_->setVisible(on);
  }

 private:
  ui::Panel& panel_;
  QToolButton* header_ = nullptr;
  QWidget* body_ = nullptr;
  bool plain_ = false;
};

// ---------------------------------------------------------------- ToolWindow

class ToolWindowWidget : public QWidget {
 public:
  ToolWindowWidget(FormView& v, ui::ToolWindow& w, QWidget* parent) : QWidget(parent, Qt::Tool), view_(v), tw_(w) {}

 protected:
  // Only real changes are reported: a position the model already has is the echo of a
  // model-side move, not a user move.
  void moveEvent(QMoveEvent* e) override {
    QWidget::moveEvent(e);
    if (view_.applying() || !isVisible()) return;
    QPoint p = pos();
    if (p.x() != tw_.left() || p.y() != tw_.top()) view_.dispatch([this, p] { tw_.userMove(p.x(), p.y()); });
  }
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    if (view_.applying() || !isVisible()) return;
    QSize s = size();
    if (s.width() != tw_.width() || s.height() != tw_.height())
      view_.dispatch([this, s] { tw_.userResize(s.width(), s.height()); });
  }
  void closeEvent(QCloseEvent* e) override {
    // The view hides windows with hide(), never close(): a close event is the user's.
    e->accept();
    view_.dispatch([this] { tw_.userClose(); });
  }

 private:
  FormView& view_;
  ui::ToolWindow& tw_;
};

class ToolWindowBinding : public Binding {
 public:
  ToolWindowBinding(FormView& v, ui::ToolWindow& w, QWidget* mainWindow) : Binding(v, w), tw_(w), main_(mainWindow) {
    win_ = new ToolWindowWidget(v, w, mainWindow);
    setWidgets(win_, win_);
  }
  void applyCaption() override { win_->setWindowTitle(Q(c_.caption())); }
  void applyVisible() override {
    if (!view_.shown()) return;  // shown after the main window
    if (!c_.visible()) {
      win_->hide();
      return;
    }
    if (win_->isVisible()) return;
    if (!placed_) placeBesideMain();
    win_->show();
    win_->raise();
  }
  void applyProp(std::string_view p) override {
    if (!p.empty() && p != "Bounds") return;
    if (tw_.width() > 0 && tw_.height() > 0 && win_->size() != QSize(tw_.width(), tw_.height()))
      win_->resize(tw_.width(), tw_.height());
    QRect r(tw_.left(), tw_.top(), std::max(tw_.width(), 1), std::max(tw_.height(), 1));
    if ((tw_.left() != 0 || tw_.top() != 0) && OnSomeScreen(r)) {
      if (win_->pos() != r.topLeft()) win_->move(r.topLeft());
      placed_ = true;
    }
  }

 private:
  // A window the program never placed opens at the main window's right edge.
  void placeBesideMain() {
    placed_ = true;
    QRect m = main_->frameGeometry();
    QScreen* s = main_->screen();
    QRect avail = s ? s->availableGeometry() : QRect(0, 0, 1600, 1000);
    int w = win_->width();
    int x = m.right() + 8 + w <= avail.right() ? m.right() + 8 : std::max(avail.left(), m.right() - w - 24);
    int y = std::clamp(m.top() + 64, avail.top(), std::max(avail.top(), avail.bottom() - win_->height()));
    win_->move(x, y);
  }
  ui::ToolWindow& tw_;
  QWidget* main_;
  ToolWindowWidget* win_;
  bool placed_ = false;
};

class AbsoluteContainer : public QWidget {
 public:
  using QWidget::QWidget;
  QSize sizeHint() const override {
    QRect r;
    for (QObject* o : children())
      if (auto* w = qobject_cast<QWidget*>(o); w && !w->isHidden()) r |= w->geometry();
    return QSize(std::max(r.right() + 1, 0), std::max(r.bottom() + 1, 0));
  }
  QSize minimumSizeHint() const override { return sizeHint(); }
};

}  // namespace

std::unique_ptr<Binding> MakePageBinding(FormView& v, ui::Page& page, QWidget* w, QTabWidget* tabs, int index) {
  return std::make_unique<PageBinding>(v, page, w, tabs, index);
}

std::unique_ptr<Binding> MakePanelBinding(FormView& v, ui::Panel& panel, QWidget* parent) {
  return std::make_unique<PanelBinding>(v, panel, parent);
}

std::unique_ptr<Binding> MakeBarBinding(FormView& v, ui::Panel& panel, QWidget* parent) {
  return std::make_unique<PanelBinding>(v, panel, parent, true);
}

QWidget* PanelBody(Binding& panel) { return static_cast<PanelBinding&>(panel).body(); }

std::unique_ptr<Binding> MakeToolWindowBinding(FormView& v, ui::ToolWindow& w, QWidget* mainWindow) {
  return std::make_unique<ToolWindowBinding>(v, w, mainWindow);
}

QWidget* MakeAbsoluteContainer(QWidget* parent) { return new AbsoluteContainer(parent); }

bool OnSomeScreen(const QRect& r) {
  for (QScreen* s : QGuiApplication::screens()) {
    QRect inter = s->availableGeometry().intersected(r);
    if (inter.width() >= std::min(r.width(), 40) && inter.height() >= std::min(r.height(), 20)) return true;
  }
  return false;
}

}  // namespace ui::qt
