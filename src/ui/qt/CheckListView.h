#pragma once
// A check list (the frame list, the stack list): a list view over the CheckList model with
// check boxes (checked, unchecked, grey), multi-selection with Ctrl and Shift, and every
// click turned into the model's user actions. The Qt side keeps no state of its own: items,
// check marks and the selection are read from the model, so lists of thousands of frames
// refresh without copying.
#include <QAbstractListModel>
#include <QListView>
#include <functional>
#include <memory>

#include "ui/FormModel.h"
#include "ui/qt/ControlBindings.h"

namespace ui::qt {

class CheckListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  CheckListModel(ui::CheckList& list, QObject* parent) : QAbstractListModel(parent), list_(list) {}
  int rowCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : rows_; }
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  void sync();  // after the items changed

 private:
  ui::CheckList& list_;
  int rows_ = 0;
};

class CheckListView : public QListView {
  Q_OBJECT
 public:
  CheckListView(ui::CheckList& list, QWidget* parent);
  void syncItems();
  void syncSelection(bool scrollToCurrent);
  // The check box of an item, and whether pos (viewport coordinates) hits it.
  QRect checkBoxRect(const QModelIndex& index) const;
  bool onCheckBox(const QModelIndex& index, const QPoint& pos) const;

  // Runs a user action (set by the binding: dispatch + re-sync).
  std::function<void(const std::function<void()>&)> userAction;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void run(const std::function<void()>& f) {
    if (userAction) userAction(f);
  }
  ui::CheckList& list_;
  CheckListModel* model_;
};

std::unique_ptr<Binding> MakeCheckListBinding(FormView& view, ui::CheckList& c, QWidget* parent);

}  // namespace ui::qt
