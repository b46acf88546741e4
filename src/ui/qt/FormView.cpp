#include "ui/qt/FormView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/UiServices.h"
#include "ui/qt/ContainerBindings.h"
#include "ui/qt/ImageView.h"
#include "ui/qt/KeyCodes.h"
#include "ui/qt/RepaintThrottle.h"

namespace ui::qt {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Pictures at least this large on a page are page views (frame, stack, processed, final
// image) and go to the page's scrollable picture area; smaller ones (graphs, overviews)
// stay with their panel's controls.
constexpr int kPageViewMinWidth = 400;
constexpr int kPageViewMinHeight = 300;

std::vector<std::string> LocalFiles(const QMimeData* mime) {
  std::vector<std::string> out;
  if (!mime || !mime->hasUrls()) return out;
  for (const QUrl& u : mime->urls())
    if (u.isLocalFile()) out.push_back(u.toLocalFile().toStdString());
  return out;
}

}  // namespace

// ---------------------------------------------------------------- main window

class MainWindowWidget : public QMainWindow {
 public:
  explicit MainWindowWidget(FormView& v) : view_(v) { setAcceptDrops(true); }

 protected:
  void moveEvent(QMoveEvent* e) override {
    QMainWindow::moveEvent(e);
    view_.mainWindowGeometryChanged();
  }
  void resizeEvent(QResizeEvent* e) override {
    QMainWindow::resizeEvent(e);
    view_.mainWindowGeometryChanged();
  }
  void changeEvent(QEvent* e) override {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) view_.mainWindowGeometryChanged();
  }
  void closeEvent(QCloseEvent* e) override {
    view_.mainWindowClosing();
    e->accept();
  }
  void dragEnterEvent(QDragEnterEvent* e) override {
    if (!LocalFiles(e->mimeData()).empty()) e->acceptProposedAction();
  }
  void dragMoveEvent(QDragMoveEvent* e) override {
    if (!LocalFiles(e->mimeData()).empty()) e->acceptProposedAction();
  }
  void dropEvent(QDropEvent* e) override {
    auto files = LocalFiles(e->mimeData());
    if (files.empty()) return;
    e->acceptProposedAction();
    view_.filesDropped(files);
  }

 private:
  FormView& view_;
};

// ---------------------------------------------------------------- FormView

FormView::FormView(ui::Form& form) : form_(form) { build(); }

FormView::~FormView() {
  closing_ = true;
  RepaintThrottle::instance().removeView(this);
  form_.removeObserver(observer_);
  // Widgets first: their signals (focus-out, editing finished) must not reach dead bindings.
  delete main_;
  main_ = nullptr;
  bindings_.clear();
  owned_.clear();
}

QMainWindow* FormView::mainWindow() const { return main_; }

Binding* FormView::addBinding(std::unique_ptr<Binding> b) {
  if (!b) return nullptr;
  Binding* raw = b.get();
  bindings_[&raw->control()] = raw;
  owned_.push_back(std::move(b));
  return raw;
}

void FormView::build() {
  main_ = new MainWindowWidget(*this);
  tabs_ = new QTabWidget(main_);
  tabs_->setDocumentMode(true);
  main_->setCentralWidget(tabs_);

  for (ui::Control* c : form_.controls()) children_[c->parentName()].push_back(c);
  pages_ = form_.pages();
  for (ui::Page* p : pages_) buildPage(*p);
  buildBars();
  for (ui::Control* c : form_.controls())
    if (c->kind() == Kind::ToolWindow) buildToolWindow(static_cast<ui::ToolWindow&>(*c));

  connect(tabs_, &QTabWidget::currentChanged, this, [this](int i) {
    if (applying() || i < 0 || i >= static_cast<int>(pages_.size())) return;
    ui::Page* p = pages_[i];
    dispatch([this, p] { form_.userSetActivePage(*p); });
    applyWindow("ActivePage");  // a handler may have chosen another page
  });

  observer_ = form_.addObserver([this](ui::Control* c, std::string_view prop) { onModelChange(c, prop); });
  for (auto& b : owned_) b->applyAll();
  applyWindow("");
}

void FormView::collectPictures(const std::string& parent, std::vector<ui::Image*>& out) const {
  auto it = children_.find(parent);
  if (it == children_.end()) return;
  for (ui::Control* c : it->second) {
    if (c->kind() == Kind::Image && c->width() >= kPageViewMinWidth && c->height() >= kPageViewMinHeight)
      out.push_back(static_cast<ui::Image*>(c));
    else if (c->kind() == Kind::Panel)
      collectPictures(c->name(), out);
  }
}

void FormView::buildPage(ui::Page& page) {
  auto* w = new QWidget;
  int index = tabs_->addTab(w, Q(page.caption()));
  pageWidgets_[page.name()] = w;
  auto* hl = new QHBoxLayout(w);
  hl->setContentsMargins(4, 4, 4, 4);

  std::vector<ui::Image*> pictures;
  collectPictures(page.name(), pictures);
  for (ui::Image* img : pictures) lifted_.insert(img);

  auto* sideScroll = new QScrollArea;
  sideScroll->setWidgetResizable(true);
  sideScroll->setFrameShape(QFrame::NoFrame);
  auto* side = new QWidget;
  auto* sl = new QVBoxLayout(side);
  sl->setContentsMargins(6, 4, 6, 4);
  sl->setSpacing(6);
  fill(side, sl, page.name());
  bool sideEmpty = sl->count() == 0;
  if (!hasExpandingChild(page.name())) sl->addStretch(1);
  sideScroll->setWidget(side);

  if (pictures.empty()) {
    hl->addWidget(sideScroll);
  } else {
    sideScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* splitter = new QSplitter(Qt::Horizontal, w);
    auto* area = new QWidget;
    auto* al = new QVBoxLayout(area);
    al->setContentsMargins(0, 0, 0, 0);
    for (ui::Image* img : pictures) {
      auto* scroll = new QScrollArea(area);
      scroll->setAlignment(Qt::AlignCenter);
      scroll->setBackgroundRole(QPalette::Dark);
      scroll->setWidgetResizable(false);
      Binding* b = addBinding(MakeLeafBinding(*this, *img, scroll));
      scroll->setWidget(b->widget());
      b->setOuter(scroll);
      // The user's scrolling is the picture's scroll position (the program reads and sets it).
      auto report = [this, scroll, img] {
        if (applying()) return;
        int x = scroll->horizontalScrollBar()->value(), y = scroll->verticalScrollBar()->value();
        if (x != img->scrollX() || y != img->scrollY()) dispatch([img, x, y] { img->setScrollPosition(x, y); });
      };
      connect(scroll->horizontalScrollBar(), &QScrollBar::valueChanged, this, report);
      connect(scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, report);
      b->followsAncestors = true;
      followers_.push_back(b);
      al->addWidget(scroll, 1);
    }
    splitter->addWidget(area);
    splitter->addWidget(sideScroll);
    // A page whose controls are all pictures gives the picture the whole width.
    if (sideEmpty) sideScroll->hide();
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setCollapsible(0, false);
    splitter->setCollapsible(1, false);
    int sb = sideScroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    int em = side->fontMetrics().averageCharWidth();
    int need = side->minimumSizeHint().width() + sb + 4;
    sideScroll->setMinimumWidth(need);
    splitter->setSizes({1000, std::max(need, 42 * em)});
    hl->addWidget(splitter);
  }
  addBinding(MakePageBinding(*this, page, w, tabs_, index));
}

// Panels on the main window itself (outside the pages) sit in one row beside the tabs.
void FormView::buildBars() {
  QWidget* corner = nullptr;
  for (ui::Control* c : children_[""]) {
    if (c->kind() != Kind::Panel) continue;
    if (!corner) {
      corner = new QWidget(tabs_);
      auto* l = new QHBoxLayout(corner);
      l->setContentsMargins(4, 0, 4, 2);
      l->setSpacing(4);
      tabs_->setCornerWidget(corner, Qt::TopRightCorner);
    }
    Binding* bar = addBinding(MakeBarBinding(*this, static_cast<ui::Panel&>(*c), corner));
    corner->layout()->addWidget(bar->outer());
    QWidget* body = PanelBody(*bar);
    for (ui::Control* child : children_[c->name()])
      if (Binding* b = makeAny(*child, body)) body->layout()->addWidget(b->outer());
  }
}

void FormView::buildToolWindow(ui::ToolWindow& tw) {
  Binding* b = addBinding(MakeToolWindowBinding(*this, tw, main_));
  toolWindows_.push_back(b);
  QWidget* win = b->outer();
  auto* l = new QVBoxLayout(win);
  l->setContentsMargins(8, 8, 8, 8);
  l->setSpacing(6);
  if (hasPositionedChildren(tw.name())) {
    QWidget* abs = MakeAbsoluteContainer(win);
    l->addWidget(abs);
    fillAbsolute(abs, tw.name());
  } else {
    fill(win, l, tw.name());
  }
  if (!hasExpandingChild(tw.name())) l->addStretch(1);
}

// A list or a memo takes the spare height; otherwise the controls sit at the top.
bool FormView::hasExpandingChild(const std::string& parent) const {
  auto it = children_.find(parent);
  if (it == children_.end()) return false;
  for (ui::Control* c : it->second)
    if (c->kind() == Kind::CheckList || c->kind() == Kind::Memo) return true;
  return false;
}

// Children are placed by their bounds only when every one of them was placed (a position
// or a size given); a window where only some were placed keeps the flowing layout.
bool FormView::hasPositionedChildren(const std::string& parent) const {
  auto it = children_.find(parent);
  if (it == children_.end()) return false;
  bool anyPosition = false;
  for (ui::Control* c : it->second) {
    bool positioned = c->left() != 0 || c->top() != 0;
    if (!positioned && c->width() <= 0 && c->height() <= 0) return false;
    anyPosition = anyPosition || positioned;
  }
  return anyPosition;
}

Binding* FormView::makeAny(ui::Control& c, QWidget* parent) {
  switch (c.kind()) {
    case Kind::Page:
    case Kind::ToolWindow:
    case Kind::Window: return nullptr;
    case Kind::Panel: {
      Binding* b = addBinding(MakePanelBinding(*this, static_cast<ui::Panel&>(c), parent));
      QWidget* body = PanelBody(*b);
      auto* layout = static_cast<QBoxLayout*>(body->layout());
      if (hasPositionedChildren(c.name())) {
        QWidget* abs = MakeAbsoluteContainer(body);
        layout->addWidget(abs);
        fillAbsolute(abs, c.name());
      } else {
        fill(body, layout, c.name());
      }
      return b;
    }
    default: return addBinding(MakeLeafBinding(*this, c, parent));
  }
}

namespace {

// A value without a caption of its own sits to the right of the control before it: the spin
// after "Alignment filter", the filter choice after "Resample", a layer's gain slider after
// its check box.
bool JoinsPrevious(const ui::Control& c, const ui::Control& prev) {
  Kind pk = prev.kind();
  bool leadsRow = pk == Kind::CheckBox || pk == Kind::SpinEdit || pk == Kind::ComboBox || pk == Kind::Edit ||
                  pk == Kind::Label;
  if (!leadsRow) return false;
  switch (c.kind()) {
    case Kind::SpinEdit:
    case Kind::ComboBox:
    case Kind::Edit: return c.caption().empty();
    case Kind::Label: return !c.caption().empty() && c.caption().size() <= 2;  // "x"
    case Kind::Slider:
      return c.caption().empty() && !static_cast<const ui::Slider&>(c).vertical() &&
             (pk == Kind::CheckBox || pk == Kind::Label);
    default: return false;
  }
}

}  // namespace

void FormView::fill(QWidget* container, QBoxLayout* layout, const std::string& parent) {
  std::vector<ui::Control*> kids;
  for (ui::Control* c : children_[parent])
    if (!lifted_.count(c) && c->kind() != Kind::Page && c->kind() != Kind::ToolWindow) kids.push_back(c);
  QGridLayout* buttons = nullptr;
  int cell = 0;
  QHBoxLayout* sliders = nullptr;  // vertical sliders side by side
  QHBoxLayout* row = nullptr;      // a control and the caption-less values after it
  QHBoxLayout* pending = nullptr;  // a colour swatch and the control after it share a row
  auto isButton = [&](size_t i) { return i < kids.size() && kids[i]->kind() == Kind::Button; };
  for (size_t i = 0; i < kids.size(); ++i) {
    ui::Control* c = kids[i];
    bool button = c->kind() == Kind::Button;
    bool vslider = c->kind() == Kind::Slider && static_cast<ui::Slider*>(c)->vertical();
    bool joins = row && i > 0 && JoinsPrevious(*c, *kids[i - 1]);
    if (!button) buttons = nullptr;
    if (!vslider) sliders = nullptr;
    if (!joins) row = nullptr;
    Binding* b = makeAny(*c, container);
    if (!b) continue;
    QWidget* w = b->outer();
    if (joins) {
      row->addWidget(w, c->kind() == Kind::Slider ? 1 : 0);
      if (c->kind() == Kind::Slider) row->setStretch(0, 0);
      continue;
    }
    if (pending && !button && !vslider && c->kind() != Kind::Panel) {
      pending->addWidget(w, 1);
      pending = nullptr;
      continue;
    }
    pending = nullptr;
    if (i + 1 < kids.size() && JoinsPrevious(*kids[i + 1], *c)) {
      row = new QHBoxLayout;
      row->setSpacing(6);
      row->addWidget(w, 1);
      layout->addLayout(row);
    } else if (button) {
      if (!buttons && !isButton(i + 1)) {
        layout->addWidget(w);
        continue;
      }
      if (!buttons) {
        buttons = new QGridLayout;
        buttons->setSpacing(4);
        layout->addLayout(buttons);
        cell = 0;
      }
      if (c->caption().size() > 18) {  // a long caption takes the whole row
        cell += cell % 2;
        buttons->addWidget(w, cell / 2, 0, 1, 2);
        cell += 2;
      } else {
        buttons->addWidget(w, cell / 2, cell % 2);
        ++cell;
      }
    } else if (vslider) {
      if (!sliders) {
        sliders = new QHBoxLayout;
        sliders->setSpacing(2);
        layout->addLayout(sliders);
      }
      sliders->addWidget(w);
    } else if (c->kind() == Kind::Shape) {
      pending = new QHBoxLayout;
      pending->addWidget(w, 0, Qt::AlignLeft | Qt::AlignVCenter);
      layout->addLayout(pending);
    } else if (c->kind() == Kind::Image) {
      layout->addWidget(w, 0, Qt::AlignHCenter);
    } else {
      layout->addWidget(w, c->kind() == Kind::CheckList || c->kind() == Kind::Memo ? 1 : 0);
    }
  }
}

void FormView::fillAbsolute(QWidget* container, const std::string& parent) {
  for (ui::Control* c : children_[parent]) {
    Binding* b = makeAny(*c, container);
    if (b) b->absolute = true;
  }
}

void FormView::placeAbsolute(Binding& b) {
  const ui::Control& c = b.control();
  QWidget* w = b.outer();
  QSize hint = w->sizeHint();
  w->setGeometry(c.left(), c.top(), c.width() > 0 ? c.width() : hint.width(), c.height() > 0 ? c.height() : hint.height());
  if (QWidget* p = w->parentWidget()) p->updateGeometry();
}

// ---------------------------------------------------------------- lookup

Binding* FormView::binding(const std::string& name) const {
  if (!form_.has(name)) return nullptr;
  ui::Control* c = &form_.control(name);
  auto it = bindings_.find(c);
  return it == bindings_.end() ? nullptr : it->second;
}

QWidget* FormView::widgetFor(const std::string& name) const {
  Binding* b = binding(name);
  return b ? b->widget() : nullptr;
}

QWidget* FormView::windowFor(const std::string& toolWindow) const {
  Binding* b = binding(toolWindow);
  return b && b->control().kind() == Kind::ToolWindow ? b->outer() : nullptr;
}

ImageView* FormView::imageView(const std::string& name) const {
  Binding* b = binding(name);
  return b ? ImageViewOf(*b) : nullptr;
}

QWidget* FormView::pageWidget(const std::string& page) const {
  auto it = pageWidgets_.find(page);
  return it == pageWidgets_.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------- model -> view

void FormView::onModelChange(ui::Control* c, std::string_view prop) {
  if (closing_) return;
  bool defer = dispatchDepth_ > 0;
  if (!c) {
    if (!defer) {
      applyWindow(prop);
    } else if (std::find(windowQueued_.begin(), windowQueued_.end(), prop) == windowQueued_.end()) {
      if (!hasPending()) RepaintThrottle::instance().addView(this);
      windowQueued_.emplace_back(prop);
    }
    return;
  }
  auto it = bindings_.find(c);
  if (it == bindings_.end()) return;
  // A changed picture only marks its view dirty: cheap, and throttled on its own.
  if (!defer || prop == "Picture") applyNow(*it->second, prop);
  else queue(it->second, prop);
}

void FormView::queue(Binding* b, std::string_view prop) {
  auto& q = b->queued;
  if (std::find(q.begin(), q.end(), prop) != q.end()) return;
  if (q.empty()) {
    if (!hasPending()) RepaintThrottle::instance().addView(this);
    pending_.push_back(b);
  }
  q.emplace_back(prop);
}

void FormView::applyNow(Binding& b, std::string_view prop) {
  b.apply(prop);
  if (prop == "Visible") {
    ui::Kind k = b.control().kind();
    if (k == Kind::Panel)
      for (Binding* f : followers_) f->applyVisible();
    if (k == Kind::Page) applyWindow("ActivePage");
  }
}

void FormView::flushPending() {
  if (closing_) return;
  RepaintThrottle::instance().removeView(this);
  std::vector<Binding*> bindings;
  bindings.swap(pending_);
  std::vector<std::string> window;
  window.swap(windowQueued_);
  for (Binding* b : bindings) {
    std::vector<std::string> props;
    props.swap(b->queued);
    for (auto& p : props) applyNow(*b, p);
  }
  for (auto& p : window) applyWindow(p);
}

void FormView::applyWindow(std::string_view prop) {
  ApplyScope scope(*this);
  bool all = prop.empty();
  if (all || prop == "Caption") main_->setWindowTitle(Q(form_.caption()));
  if ((all || prop == "Bounds") && !form_.maximized() && form_.width() > 0 && form_.height() > 0) {
    QRect want(form_.left(), form_.top(), form_.width(), form_.height());
    if (main_->size() != want.size()) main_->resize(want.size());
    if ((form_.left() != 0 || form_.top() != 0) && main_->pos() != want.topLeft() && OnSomeScreen(want))
      main_->move(want.topLeft());
  }
  if ((all || prop == "WindowState") && shown_) {
    if (form_.maximized() && !main_->isMaximized()) main_->showMaximized();
    else if (!form_.maximized() && main_->isMaximized()) main_->showNormal();
  }
  if (all || prop == "ActivePage") {
    int i = form_.activePageIndex();
    if (i >= 0 && i < tabs_->count() && tabs_->isTabVisible(i) && tabs_->currentIndex() != i) tabs_->setCurrentIndex(i);
  }
}

void FormView::show() {
  {
    ApplyScope scope(*this);
    applyWindow("Bounds");
  }
  if (form_.maximized()) main_->showMaximized();
  else main_->show();
  shown_ = true;
  ApplyScope scope(*this);
  for (Binding* t : toolWindows_) t->applyVisible();
}

// ---------------------------------------------------------------- view -> model

void FormView::dispatch(const std::function<void()>& action) {
  if (applying_ > 0 || closing_) return;
  {
    struct Depth {
      int& d;
      explicit Depth(int& depth) : d(depth) { ++d; }
      ~Depth() { --d; }
    } depth(dispatchDepth_);
    try {
      action();
    } catch (const std::exception& e) {
      // Nothing may leave a Qt event handler: the text goes to an error box.
      try {
        if (UiServices* ui = form_.uiServices()) ui->showError(e.what());
        else QMessageBox::critical(main_, "Error", QString::fromUtf8(e.what()));
      } catch (...) {
      }
    } catch (...) {
    }
  }
  if (dispatchDepth_ == 0) flushPending();
}

void FormView::installKeyForwarding(QWidget* w, ui::Control& c) {
  if (!w || keyTargets_.count(w)) return;
  keyTargets_[w] = &c;
  w->installEventFilter(this);
  connect(w, &QObject::destroyed, this, [this](QObject* o) { keyTargets_.erase(o); });
}

bool FormView::eventFilter(QObject* o, QEvent* e) {
  if (e->type() != QEvent::KeyPress || applying() || closing_) return false;
  auto it = keyTargets_.find(o);
  if (it == keyTargets_.end() || !it->second->OnKeyDown) return false;
  auto* ke = static_cast<QKeyEvent*>(e);
  int key = VirtualKeyFromQt(ke->key(), ke->modifiers() & Qt::KeypadModifier);
  if (key == 0) return false;
  bool ctrl = ke->modifiers() & Qt::ControlModifier, shift = ke->modifiers() & Qt::ShiftModifier;
  ui::Control* c = it->second;
  dispatch([&] { form_.runUserAction([&] { c->OnKeyDown(key, ctrl, shift); }); });
  if (auto b = bindings_.find(c); b != bindings_.end()) b->second->applyAll();
  return key == 0;  // the handler swallowed it
}

bool FormView::ancestorsVisible(const ui::Control& c) const {
  auto parent = [&](const ui::Control& of) { return form_.has(of.parentName()) ? &form_.control(of.parentName()) : nullptr; };
  const ui::Control* p = parent(c);
  while (p && p->kind() == Kind::Panel) {
    if (!p->visible()) return false;
    p = parent(*p);
  }
  return true;
}

void FormView::mainWindowGeometryChanged() {
  if (applying() || closing_ || !shown_ || !main_->isVisible() || main_->isMinimized()) return;
  bool max = main_->isMaximized() || main_->isFullScreen();
  if (max != form_.maximized()) dispatch([this, max] { form_.setMaximized(max); });
  if (max) return;
  QPoint p = main_->pos();
  QSize s = main_->size();
  if (p.x() != form_.left() || p.y() != form_.top() || s.width() != form_.width() || s.height() != form_.height())
    dispatch([this, p, s] { form_.setBounds(p.x(), p.y(), s.width(), s.height()); });
}

void FormView::mainWindowClosing() {
  if (closing_) return;
  if (onClose) dispatch(onClose);
  ApplyScope scope(*this);
  for (Binding* t : toolWindows_) t->outer()->hide();
}

void FormView::filesDropped(const std::vector<std::string>& files) {
  // Run after the drag-and-drop exchange has finished, not inside it.
  QTimer::singleShot(0, this, [this, files] { dispatch([this, &files] { form_.userDropFiles(files); }); });
}

}  // namespace ui::qt
