#include <QAbstractButton>
#include <QClipboard>
#include <QMouseEvent>
#include <QCursor>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include "support/TestSupport.h"
#include "ViewFixture.h"
#include "ui/qt/ImageView.h"
#include "ui/qt/RepaintThrottle.h"

using namespace pxtest;
using namespace ui;
using ui::qt::ImageView;
using ui::qt::RepaintThrottle;

class PictureTest : public ViewFixture {
 protected:
  void SetUp() override {
    ViewFixture::SetUp();
    iv = view->imageView("PreviewImage");
    ASSERT_TRUE(iv);
    Pump(50);
  }
  Image& preview() { return demo->get<Image>("PreviewImage"); }
  ImageView* iv = nullptr;
};

TEST_F(PictureTest, PaintsTheBitmapBytesAsBlueGreenRed) {
  auto& pic = preview().picture();
  pic.setPixel(5, 7, Color(200, 100, 30));
  preview().invalidate();
  RepaintThrottle::instance().flush();
  QImage shot = iv->grab().toImage();
  EXPECT_EQ(shot.pixelColor(5, 7), QColor(200, 100, 30));
  EXPECT_EQ(iv->size(), QSize(817, 625));
}

TEST_F(PictureTest, SameSizeUpdates_RepaintWithoutCopyingAndThrottled) {
  int wraps = iv->wrapCount();
  int paints = iv->paintCount();
  auto& pic = preview().picture();
  for (int i = 0; i < 100; ++i) {
    pic.setPixel(i, 0, colors::White);
    preview().invalidate();
  }
  EXPECT_TRUE(iv->dirty());
  EXPECT_EQ(iv->paintCount(), paints);  // nothing painted synchronously
  RepaintThrottle::instance().flush();
  Pump();
  EXPECT_FALSE(iv->dirty());
  EXPECT_EQ(iv->paintCount(), paints + 1);  // a hundred updates, one paint
  EXPECT_EQ(iv->wrapCount(), wraps);        // the same storage: no new image header, no copy
  EXPECT_EQ(iv->wrappedBits(), pic.data());
}

TEST_F(PictureTest, NewSize_RewrapsAndResizesTheWidget) {
  int wraps = iv->wrapCount();
  preview().picture().reset(320, 240);
  preview().invalidate();
  RepaintThrottle::instance().flush();
  Pump();
  EXPECT_EQ(iv->size(), QSize(320, 240));
  EXPECT_EQ(iv->wrapCount(), wraps + 1);
  EXPECT_EQ(iv->wrappedBits(), preview().picture().data());
}

TEST_F(PictureTest, ProcessEvents_RepaintsAtMostThirtyTimesASecond) {
  QElapsedTimer t;
  t.start();
  int paints = iv->paintCount();
  long frames = 0;
  while (t.elapsed() < 300) {
    preview().picture().setPixel(static_cast<int>(frames % 800), 1, colors::Red);
    preview().invalidate();
    ui->processEvents();
    ++frames;
  }
  int done = iv->paintCount() - paints;
  EXPECT_GE(done, 1);
  EXPECT_LE(done, t.elapsed() / RepaintThrottle::kIntervalMs + 2);
  EXPECT_GT(frames, done * 5);
}

TEST_F(PictureTest, IdleEventLoop_PaintsAPendingPicture) {
  int paints = iv->paintCount();
  preview().invalidate();
  Pump(RepaintThrottle::kIntervalMs * 3);
  EXPECT_GT(iv->paintCount(), paints);
}

TEST_F(PictureTest, MouseInput_ReachesHandlersInPictureCoordinates) {
  SendMouse(iv, QEvent::MouseButtonPress, QPoint(40, 30), Qt::LeftButton, Qt::ControlModifier);
  ASSERT_EQ(demo->mouseDowns.size(), 1u);
  EXPECT_EQ(demo->mouseDowns[0].x, 40);
  EXPECT_EQ(demo->mouseDowns[0].y, 30);
  EXPECT_TRUE(demo->mouseDowns[0].ctrl);
  EXPECT_FALSE(demo->mouseDowns[0].shift);
  EXPECT_EQ(demo->mouseDowns[0].button, MouseButton::Left);
  SendMouse(iv, QEvent::MouseButtonPress, QPoint(41, 31), Qt::RightButton);
  EXPECT_EQ(demo->mouseDowns[1].button, MouseButton::Right);
  QMouseEvent drag(QEvent::MouseMove, QPointF(50, 35), QPointF(50, 35), Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
  QCoreApplication::sendEvent(iv, &drag);
  ASSERT_EQ(demo->mouseMoves.size(), 1u);
  EXPECT_TRUE(demo->mouseMoves[0].buttonHeld);
  EXPECT_TRUE(demo->mouseMoves[0].shift);
  EXPECT_EQ(demo->mouseMoves[0].x, 50);
  DoubleClick(iv, QPoint(10, 10));
  EXPECT_EQ(demo->count("PreviewImageDblClick"), 1);
}

// The wait for a manual-alignment click sleeps between events instead of polling them.
TEST_F(PictureTest, WaitForPoint_SleepsUntilTheClickArrives) {
  int checks = 0;
  QTimer::singleShot(200, [&] { Click(iv, QPoint(12, 9)); });
  EXPECT_TRUE(ui->waitForPoint(
      [&] {
        ++checks;
        return demo->mouseDowns.empty();
      },
      [](int, int) { ADD_FAILURE() << "a window system delivers its own clicks"; }));
  ASSERT_EQ(demo->mouseDowns.size(), 1u);
  EXPECT_EQ(demo->mouseDowns[0].x, 12);
  EXPECT_LT(checks, 100);  // a polling loop checks hundreds of thousands of times in 200 ms
}

TEST_F(PictureTest, WaitForPoint_GivesUpWhenTheMainWindowCloses) {
  QTimer::singleShot(50, [&] { view->mainWindow()->close(); });
  EXPECT_FALSE(ui->waitForPoint([] { return true; }, [](int, int) {}));
}

TEST_F(PictureTest, StretchedPicture_MapsWidgetToPictureCoordinates) {
  demo->get<Page>("FinalPage").setVisible(true);
  demo->form.setActivePage(demo->get<Page>("FinalPage"));
  ImageView* ov = view->imageView("Overview");
  ASSERT_TRUE(ov);
  EXPECT_EQ(ov->size(), QSize(150, 150));  // the control's size; the 300 x 300 picture is scaled
  SendMouse(ov, QEvent::MouseButtonPress, QPoint(75, 30));
  ASSERT_EQ(demo->mouseDowns.size(), 1u);
  EXPECT_EQ(demo->mouseDowns[0].x, 150);
  EXPECT_EQ(demo->mouseDowns[0].y, 60);
}

TEST_F(PictureTest, ImageCursor_FollowsTheModel) {
  EXPECT_EQ(iv->cursor().shape(), Qt::CrossCursor);
  preview().setCursor(Cursor::NotAllowed);
  EXPECT_EQ(iv->cursor().shape(), Qt::ForbiddenCursor);
}

// ---------------------------------------------------------------- services

class ServicesTest : public ::testing::Test {
 protected:
  ServicesTest() { QtApp(); }
  ui::qt::QtUiServices ui;
};

TEST_F(ServicesTest, MessageBox_OffersTheButtonSetAndReturnsThePressedOne) {
  struct Case {
    MsgButtons buttons;
    DialogResult answer;
    QMessageBox::StandardButtons expect;
  } cases[] = {
      {ButtonsOK, DialogResult::OK, QMessageBox::Ok},
      {ButtonsYesNo, DialogResult::No, QMessageBox::Yes | QMessageBox::No},
      {ButtonsYesCancel, DialogResult::Cancel, QMessageBox::Yes | QMessageBox::Cancel},
      {ButtonsOKNo, DialogResult::No, QMessageBox::Ok | QMessageBox::No},
      {ButtonsOKCancel, DialogResult::OK, QMessageBox::Ok | QMessageBox::Cancel},
  };
  for (auto& c : cases) {
    QMessageBox::StandardButtons offered;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ui.queueModalAction([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_TRUE(box);
      offered = box->standardButtons();
      icon = box->icon();
      box->button(c.answer == DialogResult::OK ? QMessageBox::Ok
                  : c.answer == DialogResult::No ? QMessageBox::No
                                                 : QMessageBox::Cancel)->click();
    });
    DialogResult r = ui.messageBox("Question", MsgKind::Warning, c.buttons);
    EXPECT_EQ(r, c.answer);
    EXPECT_EQ(offered, c.expect);
    EXPECT_EQ(icon, QMessageBox::Warning);
  }
}

TEST_F(ServicesTest, MessageBox_KindsHaveTheirIcons_EscapeGivesTheNegativeAnswer) {
  std::pair<MsgKind, QMessageBox::Icon> kinds[] = {{MsgKind::Information, QMessageBox::Information},
                                                   {MsgKind::Warning, QMessageBox::Warning},
                                                   {MsgKind::Error, QMessageBox::Critical},
                                                   {MsgKind::Confirmation, QMessageBox::Question}};
  for (auto [kind, expect] : kinds) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ui.queueModalAction([&](QWidget* w) {
      icon = qobject_cast<QMessageBox*>(w)->icon();
      Key(w, Qt::Key_Escape);
    });
    DialogResult r = ui.messageBox("x", kind, ButtonsYesNo);
    EXPECT_EQ(icon, expect);
    EXPECT_EQ(r, DialogResult::No);
  }
  ui.queueModalAction([](QWidget* w) { Key(w, Qt::Key_Escape); });
  EXPECT_EQ(ui.messageBox("x", MsgKind::Confirmation, ButtonsYesCancel), DialogResult::Cancel);
}

TEST_F(ServicesTest, OpenDialog_MultiSelection_PresetFilterAndReportedFilter) {
  TempDir dir;
  WriteText(dir.file("a.bmp"), "x");
  WriteText(dir.file("b.bmp"), "x");
  QStringList filtersSeen;
  QString presetSeen;
  ui.queueModalAction([&](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    ASSERT_TRUE(d);
    filtersSeen = d->nameFilters();
    presetSeen = d->selectedNameFilter();
    EXPECT_EQ(d->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(QDir(d->directory()).absolutePath().toStdString(), QDir(QString::fromStdString(dir.path())).absolutePath().toStdString());
    w->close();
  });
  FileDialogRequest req;
  req.filter = "AVI|*.avi|Bitmaps|*.bmp; *.BMP;|All files|*.*";
  req.filterIndex = 2;
  req.initialDir = dir.path();
  req.multiSelect = true;
  auto cancelled = ui.fileDialog(req);
  EXPECT_FALSE(cancelled.accepted);
  EXPECT_TRUE(cancelled.files.empty());
  ASSERT_EQ(filtersSeen.size(), 3);
  EXPECT_EQ(filtersSeen[1].toStdString(), "Bitmaps (*.bmp *.BMP)");
  EXPECT_EQ(presetSeen.toStdString(), "Bitmaps");  // the user reads the program's own label

  ui.queueFileDialogAnswer({dir.file("a.bmp"), dir.file("b.bmp")}, 3);
  auto r = ui.fileDialog(req);
  ASSERT_TRUE(r.accepted);
  ASSERT_EQ(r.files.size(), 2u);
  std::vector<std::string> sorted = r.files;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{dir.file("a.bmp"), dir.file("b.bmp")}));
  EXPECT_EQ(r.filterIndex, 3);
  EXPECT_EQ(ui.hookMismatches, 0);
}

TEST_F(ServicesTest, SaveDialog_AppendsTheExtensionOfTheChosenFilterOrTheDefault) {
  TempDir dir;
  FileDialogRequest req;
  req.save = true;
  req.filter = "Bitmap (*.bmp)|*.bmp|JPEG|*.jpg;*.jpeg|All files|*.*";
  req.filterIndex = 1;
  req.defaultExt = "bmp";
  req.initialDir = dir.path();
  req.fileName = "stack";

  ui.queueFileDialogAnswer({dir.file("saturn")}, 0);
  auto r1 = ui.fileDialog(req);
  ASSERT_TRUE(r1.accepted);
  EXPECT_EQ(r1.files, std::vector<std::string>{dir.file("saturn.bmp")});
  EXPECT_EQ(r1.filterIndex, 1);

  ui.queueFileDialogAnswer({dir.file("saturn")}, 2);
  auto r2 = ui.fileDialog(req);
  EXPECT_EQ(r2.files, std::vector<std::string>{dir.file("saturn.jpg")});
  EXPECT_EQ(r2.filterIndex, 2);

  ui.queueFileDialogAnswer({dir.file("saturn")}, 3);
  EXPECT_EQ(ui.fileDialog(req).files, std::vector<std::string>{dir.file("saturn.bmp")});

  ui.queueFileDialogAnswer({dir.file("saturn.tif")}, 2);
  EXPECT_EQ(ui.fileDialog(req).files, std::vector<std::string>{dir.file("saturn.tif")});

  // The preset name shows in the dialog.
  QString typed;
  ui.queueModalAction([&](QWidget* w) {
    typed = qobject_cast<QFileDialog*>(w)->selectedFiles().value(0);
    w->close();
  });
  EXPECT_FALSE(ui.fileDialog(req).accepted);
  EXPECT_TRUE(typed.endsWith("/stack"));
}

TEST_F(ServicesTest, Cursor_OverridesTheWholeApplicationAndRestores) {
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ui.setCursor(Cursor::Busy);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ui.setCursor(Cursor::Cross);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
  ui.setCursor(Cursor::Normal);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(ui.cursor(), Cursor::Normal);
}

TEST_F(ServicesTest, ClipboardBitmap_KeepsColoursAndIsACopy) {
  Bitmap24 bmp(4, 3);
  bmp.fill(colors::Navy);
  bmp.setPixel(1, 2, Color(250, 128, 5));
  ui.setClipboardBitmap(bmp);
  bmp.fill(colors::White);  // the clipboard holds its own copy
  QImage img = QApplication::clipboard()->image();
  ASSERT_EQ(img.size(), QSize(4, 3));
  EXPECT_EQ(img.pixelColor(1, 2), QColor(250, 128, 5));
  EXPECT_EQ(img.pixelColor(0, 0), QColor(0, 0, 128));
}
