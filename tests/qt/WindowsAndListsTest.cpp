#include <QPushButton>

#include "ViewFixture.h"
#include "ui/qt/CheckListView.h"

using namespace pxtest;
using namespace ui;

class ToolWindowTest : public ViewFixture {};

TEST_F(ToolWindowTest, ShownWithTheModel_CaptionAndSize) {
  auto& tw = demo->get<ToolWindow>("RegWindow");
  QWidget* win = view->windowFor("RegWindow");
  ASSERT_TRUE(win);
  EXPECT_FALSE(win->isVisible());
  EXPECT_TRUE(win->windowFlags() & Qt::Tool);
  EXPECT_EQ(win->windowTitle().toStdString(), "Registration properties");
  tw.setVisible(true);
  Pump();
  EXPECT_TRUE(win->isVisible());
  EXPECT_EQ(win->size(), QSize(320, 290));
  tw.setVisible(false);
  EXPECT_FALSE(win->isVisible());
}

TEST_F(ToolWindowTest, ModelMove_MovesWindowWithoutEcho) {
  auto& tw = demo->get<ToolWindow>("RegWindow");
  tw.setVisible(true);
  Pump(20);
  int movesBefore = demo->count("RegWindowMove");
  tw.setBounds(200, 150, 320, 290);
  Pump(20);
  QWidget* win = view->windowFor("RegWindow");
  EXPECT_EQ(win->pos(), QPoint(200, 150));
  EXPECT_EQ(demo->count("RegWindowMove"), movesBefore + 1);  // the model's own event only
  EXPECT_EQ(tw.left(), 200);
}

TEST_F(ToolWindowTest, UserMoveResizeAndClose_ReachTheModel) {
  auto& tw = demo->get<ToolWindow>("RegWindow");
  tw.setBounds(100, 100, 320, 290);
  tw.setVisible(true);
  Pump(20);
  int moves = demo->count("RegWindowMove");
  QWidget* win = view->windowFor("RegWindow");
  win->move(260, 170);
  Pump(20);
  EXPECT_EQ(demo->count("RegWindowMove"), moves + 1);
  EXPECT_EQ(tw.left(), 260);
  EXPECT_EQ(tw.top(), 170);
  win->resize(400, 300);
  Pump(20);
  EXPECT_EQ(tw.width(), 400);
  EXPECT_EQ(tw.height(), 300);
  EXPECT_GE(demo->count("RegWindowResize"), 1);
  win->close();
  Pump();
  EXPECT_FALSE(tw.visible());
  EXPECT_EQ(demo->count("RegWindowClose"), 1);
}

TEST_F(ToolWindowTest, PositionedChildren_AreLaidOutByTheirBounds) {
  demo->get<ToolWindow>("HistoWindow").setVisible(true);
  Pump();
  QWidget* graph = view->widgetFor("Histograph");
  QWidget* marker = view->widgetFor("LowMarker");
  EXPECT_EQ(graph->geometry(), QRect(16, 0, 281, 260));
  EXPECT_EQ(marker->geometry(), QRect(15, 262, 25, 19));
  demo->get<Shape>("LowMarker").setPosition(60, 262);  // a marker dragged by the program
  EXPECT_EQ(marker->pos(), QPoint(60, 262));
}

TEST_F(ToolWindowTest, ButtonShowsToolWindow) {
  widget<QPushButton>("FrameListButton")->click();
  Pump();
  EXPECT_TRUE(view->windowFor("FrameListWindow")->isVisible());
}

class CheckListTest : public ViewFixture {
 protected:
  void SetUp() override {
    ViewFixture::SetUp();
    demo->get<ToolWindow>("FrameListWindow").setVisible(true);
    Pump(10);
    lv = qobject_cast<ui::qt::CheckListView*>(view->widgetFor("FrameList"));
    ASSERT_TRUE(lv);
  }
  QModelIndex idx(int row) { return lv->model()->index(row, 0); }
  QPoint textPoint(int row) { return lv->visualRect(idx(row)).center() + QPoint(30, 0); }
  QPoint checkPoint(int row) { return lv->checkBoxRect(idx(row)).center(); }
  CheckList& list() { return demo->get<CheckList>("FrameList"); }
  ui::qt::CheckListView* lv = nullptr;
};

TEST_F(CheckListTest, GreyItem_ShownPartiallyChecked_UserCheckMakesItChecked) {
  EXPECT_EQ(idx(2).data(Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);
  EXPECT_EQ(idx(1).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  Click(lv->viewport(), checkPoint(2));
  EXPECT_EQ(list().state(2), CheckState::Checked);
  EXPECT_EQ(list().lastCheckedIndex, 2);
  EXPECT_EQ(demo->count("FrameListClickCheck"), 1);
  EXPECT_EQ(demo->count("FrameListClick"), 0);  // the check box is not an item click
  EXPECT_EQ(idx(2).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  Click(lv->viewport(), checkPoint(2));
  EXPECT_EQ(list().state(2), CheckState::Unchecked);
}

TEST_F(CheckListTest, ModelStateChange_UpdatesViewWithoutEvents) {
  list().setState(0, CheckState::Grayed);
  EXPECT_EQ(idx(0).data(Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);
  list().add("frame 0006.bmp", CheckState::Unchecked);
  EXPECT_EQ(lv->model()->rowCount(), 6);
  EXPECT_EQ(demo->count("FrameListClickCheck"), 0);
}

TEST_F(CheckListTest, CtrlAndShiftClicks_SelectSeveralItems) {
  Click(lv->viewport(), textPoint(0));
  Click(lv->viewport(), textPoint(3), Qt::ControlModifier);
  EXPECT_TRUE(list().selected(0));
  EXPECT_TRUE(list().selected(3));
  EXPECT_FALSE(list().selected(1));
  EXPECT_TRUE(lv->selectionModel()->isSelected(idx(3)));
  EXPECT_TRUE(lv->selectionModel()->isSelected(idx(0)));
  Click(lv->viewport(), textPoint(1), Qt::ShiftModifier);  // from the anchor (3) to 1
  EXPECT_FALSE(list().selected(0));
  EXPECT_TRUE(list().selected(1) && list().selected(2) && list().selected(3));
  EXPECT_EQ(list().itemIndex(), 1);
  EXPECT_EQ(demo->count("FrameListClick"), 3);
  EXPECT_EQ(demo->count("FrameListClickCheck"), 0);
}

TEST_F(CheckListTest, DoubleClickAndKeys_ReachTheModel) {
  DoubleClick(lv->viewport(), textPoint(4));
  EXPECT_EQ(demo->count("FrameListDblClick"), 1);
  EXPECT_EQ(list().itemIndex(), 4);
  Key(lv, Qt::Key_Space);
  EXPECT_EQ(list().state(4), CheckState::Unchecked);
  Key(lv, Qt::Key_Up);
  EXPECT_EQ(list().itemIndex(), 3);
  EXPECT_TRUE(lv->selectionModel()->isSelected(idx(3)));
  list().setItemIndex(0);  // from code: selection shown, no click event
  EXPECT_TRUE(lv->selectionModel()->isSelected(idx(0)));
  EXPECT_FALSE(lv->selectionModel()->isSelected(idx(3)));
}

TEST_F(CheckListTest, RefillInBatch_ViewNeverReadsPastTheEnd) {
  list().beginUpdate();
  list().clear();
  Pump(10);  // repaint while the model holds back notifications
  for (int i = 0; i < 2000; ++i) list().add("f" + std::to_string(i), i % 3 ? CheckState::Checked : CheckState::Grayed);
  list().endUpdate();
  Pump(10);
  EXPECT_EQ(lv->model()->rowCount(), 2000);
  EXPECT_EQ(idx(1999).data().toString().toStdString(), "f1999");
  EXPECT_EQ(idx(1998).data(Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);
}
