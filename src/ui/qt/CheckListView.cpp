#include "ui/qt/CheckListView.h"

#include <QItemSelection>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

#include "ui/qt/FormView.h"

namespace ui::qt {

namespace {

// Makes the delegate's item option available for the check-box hit test.
class CheckListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  using QStyledItemDelegate::initStyleOption;
};

}  // namespace

// ---------------------------------------------------------------- CheckListModel

QVariant CheckListModel::data(const QModelIndex& index, int role) const {
  int r = index.row();
  // The list may be refilled with notifications held back: never read past its end.
  if (!index.isValid() || r < 0 || r >= list_.count()) return {};
  const auto& item = list_.item(r);
  if (role == Qt::DisplayRole) return QString::fromStdString(item.text);
  if (role == Qt::CheckStateRole) {
    switch (item.state) {
      case CheckState::Checked: return Qt::Checked;
      case CheckState::Unchecked: return Qt::Unchecked;
      case CheckState::Grayed: return Qt::PartiallyChecked;
    }
  }
  return {};
}

Qt::ItemFlags CheckListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

void CheckListModel::sync() {
  int n = list_.count();
  if (n != rows_) {
    beginResetModel();
    rows_ = n;
    endResetModel();
  } else if (n > 0) {
    emit dataChanged(index(0), index(n - 1), {Qt::DisplayRole, Qt::CheckStateRole});
  }
}

// ---------------------------------------------------------------- CheckListView

CheckListView::CheckListView(ui::CheckList& list, QWidget* parent) : QListView(parent), list_(list) {
  model_ = new CheckListModel(list, this);
  setModel(model_);
  setItemDelegate(new CheckListDelegate(this));
  setUniformItemSizes(true);
  // The model owns the selection; the view only shows it (user clicks go to the model).
  setSelectionMode(QAbstractItemView::NoSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setMinimumHeight(fontMetrics().height() * 8);
}

void CheckListView::syncItems() {
  model_->sync();
  syncSelection(false);
}

void CheckListView::syncSelection(bool scrollToCurrent) {
  QItemSelection sel;
  int n = std::min(list_.count(), model_->rowCount());
  for (int i = 0; i < n;) {
    if (!list_.selected(i)) {
      ++i;
      continue;
    }
    int j = i;
    while (j + 1 < n && list_.selected(j + 1)) ++j;
    sel.select(model_->index(i), model_->index(j));
    i = j + 1;
  }
  QSignalBlocker b(selectionModel());
  selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
  int cur = list_.itemIndex();
  if (cur >= 0 && cur < n) {
    selectionModel()->setCurrentIndex(model_->index(cur), QItemSelectionModel::NoUpdate);
    if (scrollToCurrent) scrollTo(model_->index(cur));
  }
  viewport()->update();
}

QRect CheckListView::checkBoxRect(const QModelIndex& index) const {
  QStyleOptionViewItem opt;
  initViewItemOption(&opt);
  opt.rect = visualRect(index);
  static_cast<CheckListDelegate*>(itemDelegate())->initStyleOption(&opt, index);
  return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, this);
}

bool CheckListView::onCheckBox(const QModelIndex& index, const QPoint& pos) const {
  return checkBoxRect(index).adjusted(-2, -2, 2, 2).contains(pos);
}

void CheckListView::mousePressEvent(QMouseEvent* e) {
  setFocus(Qt::MouseFocusReason);
  QPoint pos = e->position().toPoint();
  QModelIndex idx = indexAt(pos);
  e->accept();
  if (!idx.isValid() || e->button() != Qt::LeftButton) return;
  int row = idx.row();
  if (onCheckBox(idx, pos)) {
    run([this, row] { list_.userToggleCheck(row); });
  } else {
    bool ctrl = e->modifiers() & Qt::ControlModifier, shift = e->modifiers() & Qt::ShiftModifier;
    run([this, row, ctrl, shift] { list_.userClickItem(row, ctrl, shift); });
  }
}

// Selection and check marks are the model's: Qt's own drag-select and release-toggle stay off.
void CheckListView::mouseReleaseEvent(QMouseEvent* e) { e->accept(); }
void CheckListView::mouseMoveEvent(QMouseEvent* e) { e->accept(); }

void CheckListView::mouseDoubleClickEvent(QMouseEvent* e) {
  QPoint pos = e->position().toPoint();
  QModelIndex idx = indexAt(pos);
  e->accept();
  if (!idx.isValid() || e->button() != Qt::LeftButton) return;
  int row = idx.row();
  if (onCheckBox(idx, pos)) run([this, row] { list_.userToggleCheck(row); });  // a second flip
  else run([this] { list_.userDblClick(); });
}

void CheckListView::keyPressEvent(QKeyEvent* e) {
  int n = list_.count();
  int cur = list_.itemIndex();
  bool shift = e->modifiers() & Qt::ShiftModifier;
  int page = std::max(1, viewport()->height() / std::max(1, sizeHintForRow(0)) - 1);
  int target = -1;
  switch (e->key()) {
    case Qt::Key_Space:
      if (cur >= 0) run([this, cur] { list_.userToggleCheck(cur); });
      e->accept();
      return;
    case Qt::Key_Up: target = cur - 1; break;
    case Qt::Key_Down: target = cur + 1; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = n - 1; break;
    case Qt::Key_PageUp: target = cur - page; break;
    case Qt::Key_PageDown: target = cur + page; break;
    default: QWidget::keyPressEvent(e); return;
  }
  e->accept();
  if (n == 0) return;
  if (cur < 0 && (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down)) target = 0;
  target = std::clamp(target, 0, n - 1);
  if (target == cur) return;
  run([this, target, shift] { list_.userClickItem(target, false, shift); });
  scrollTo(model_->index(target));
}

// ---------------------------------------------------------------- binding

namespace {

class CheckListBinding : public Binding {
 public:
  CheckListBinding(FormView& v, ui::CheckList& c, QWidget* parent) : Binding(v, c) {
    list_ = new CheckListView(c, parent);
    list_->userAction = [this](const std::function<void()>& f) { user(f); };
    QWidget* row = withCaption(list_, parent, true);
    setWidgets(row ? row : list_, list_);
  }
  void applyCaption() override { applyCaptionLabel(); }
  void applyProp(std::string_view p) override {
    if (p.empty() || p == "Items") list_->syncItems();
    else if (p == "Selection") list_->syncSelection(true);
  }

 private:
  CheckListView* list_;
};

}  // namespace

std::unique_ptr<Binding> MakeCheckListBinding(FormView& view, ui::CheckList& c, QWidget* parent) {
  return std::make_unique<CheckListBinding>(view, c, parent);
}

}  // namespace ui::qt
