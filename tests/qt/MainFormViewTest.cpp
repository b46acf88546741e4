// The application's own form shown through the Qt view (offscreen).
#include <QCheckBox>
#include <QDir>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <unistd.h>

#include "DemoForm.h"
#include "QtTestApp.h"
#include "app/MainForm.h"
#include "support/TestSupport.h"
#include "ui/BmpCodec.h"
#include "ui/qt/CheckListView.h"
#include "ui/qt/FormView.h"
#include "ui/qt/ImageView.h"
#include "ui/qt/QtUiServices.h"
#include "ui/qt/RepaintThrottle.h"

using namespace pxtest;
using namespace ui;

namespace {

class MainFormViewTest : public ::testing::Test {
 protected:
  MainFormViewTest() { QtApp(); }
  void SetUp() override {
    // The program keeps its form-settings file in the current folder: use a private one.
    char buf[4096];
    oldCwd_ = getcwd(buf, sizeof buf) ? buf : ".";
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    ui = std::make_unique<ui::qt::QtUiServices>();
    mf = std::make_unique<app::MainForm>(*ui);
    app::StartupOptions opts;
    opts.programPath = dir_.file("pelinoxa");
    opts.settingsPath = dir_.file("user-settings.ini");
    mf->FormCreate(opts);
    view = std::make_unique<ui::qt::FormView>(mf->form());
    ui->setMainWindow(view->mainWindow());
    view->onClose = [this] { mf->FormClose(); };
    view->show();
    mf->FormShow();
    Pump(20);
  }
  void TearDown() override {
    view.reset();
    mf.reset();
    ui.reset();
    Pump();
    if (chdir(oldCwd_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << oldCwd_;
  }
  ui::Form& form() { return mf->form(); }
  // A short still sequence of a banded planet, as BMP files.
  std::vector<std::string> writeFrames(int n, int w = 320, int h = 240) {
    std::vector<std::string> files;
    for (int i = 0; i < n; ++i) {
      Bitmap24 bmp(w, h);
      DrawPlanet(bmp, i * 0.3);
      files.push_back(dir_.file("jupiter_" + std::to_string(i) + ".bmp"));
      SaveBmpFile(files.back(), bmp);
    }
    return files;
  }
  void drop(const std::vector<std::string>& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (auto& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->mainWindow(), &enter);
    QDropEvent dropEvent(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->mainWindow(), &dropEvent);
    Pump(20);
  }

  TempDir dir_;
  std::string oldCwd_;
  std::unique_ptr<ui::qt::QtUiServices> ui;
  std::unique_ptr<app::MainForm> mf;
  std::unique_ptr<ui::qt::FormView> view;
};

}  // namespace

TEST_F(MainFormViewTest, StartsOnInput_OtherWorkPagesHidden) {
  auto* tabs = view->tabs();
  ASSERT_GE(tabs->count(), 6);
  const char* work[] = {"Input", "Aligning", "Stacking", "Wavelet Processing", "Final"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(tabs->tabText(i).toStdString(), work[i]);
    EXPECT_EQ(tabs->isTabVisible(i), i == 0) << work[i];
  }
  EXPECT_EQ(tabs->isTabVisible(5), form().pages()[5]->visible());
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(view->mainWindow()->windowTitle().toStdString(), "PeliNoxa V2.0");
}

TEST_F(MainFormViewTest, EveryControl_HasItsWidget) {
  int checked = 0;
  for (ui::Control* c : form().controls()) {
    if (c->kind() == Kind::Window) continue;
    if (!c->parentName().empty() && !form().has(c->parentName())) continue;  // nowhere to put it
    EXPECT_NE(view->binding(c->name()), nullptr) << c->name();
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

TEST_F(MainFormViewTest, MemoryButton_ShowsTheMemoryWindow) {
  auto* b = qobject_cast<QPushButton*>(view->widgetFor("MemoryButton"));
  ASSERT_TRUE(b);
  b->click();
  Pump(10);
  QWidget* win = view->windowFor("MemoryWindow");
  ASSERT_TRUE(win);
  EXPECT_TRUE(win->isVisible());
  auto* memo = qobject_cast<QPlainTextEdit*>(view->widgetFor("MemoryMemo"));
  ASSERT_TRUE(memo);
  EXPECT_FALSE(memo->toPlainText().isEmpty());
}

TEST_F(MainFormViewTest, DroppedFrames_LoadAndShowTheFirstFrame) {
  auto files = writeFrames(3);
  drop(files);
  auto& preview = form().get<Image>("PreviewImage");
  EXPECT_EQ(preview.picture().width(), 320);
  EXPECT_NE(view->mainWindow()->windowTitle().toStdString(), "PeliNoxa V2.0");  // the input's name
  ui::qt::RepaintThrottle::instance().flush();
  Pump();
  ui::qt::ImageView* iv = view->imageView("PreviewImage");
  ASSERT_TRUE(iv);
  EXPECT_EQ(iv->size(), QSize(320, 240));
  QImage shot = iv->grab().toImage();
  Color c = preview.picture().pixel(160, 120);
  EXPECT_EQ(shot.pixelColor(160, 120), QColor(c.r, c.g, c.b));
  // The frame list holds the three files.
  auto* list = qobject_cast<ui::qt::CheckListView*>(view->widgetFor("SelectFramesChecklist"));
  ASSERT_TRUE(list);
  EXPECT_EQ(list->model()->rowCount(), 3);
}

TEST_F(MainFormViewTest, ShowFrameList_OpensAndClosingUnchecksIt) {
  drop(writeFrames(2));
  auto* box = qobject_cast<QCheckBox*>(view->widgetFor("ShowFramelist"));
  ASSERT_TRUE(box);
  box->click();
  Pump(10);
  QWidget* win = view->windowFor("SelectFrameswindow");
  ASSERT_TRUE(win);
  EXPECT_TRUE(win->isVisible());
  win->close();  // the user closes the window: the program unchecks its box
  Pump(10);
  EXPECT_FALSE(form().get<CheckBox>("ShowFramelist").checked());
  EXPECT_FALSE(box->isChecked());
}

TEST_F(MainFormViewTest, SpaceOnPreviewSlider_TogglesTheFrame) {
  drop(writeFrames(3));
  QWidget* slider = view->widgetFor("PreviewSlider");
  ASSERT_TRUE(slider);
  auto& list = form().get<CheckList>("SelectFramesChecklist");
  ASSERT_TRUE(list.checked(0));
  Key(slider, Qt::Key_Space);
  EXPECT_FALSE(list.checked(0));
  Key(slider, Qt::Key_Space);
  EXPECT_TRUE(list.checked(0));
}

TEST_F(MainFormViewTest, WindowPlacement_ReachesTheFormSettingsOnClose) {
  view->mainWindow()->resize(1000, 700);
  Pump(20);
  EXPECT_EQ(form().width(), 1000);
  EXPECT_EQ(form().height(), 700);
  view->mainWindow()->close();
  Pump();
  std::string ini = dir_.file("pelinoxa.ini");
  ASSERT_TRUE(QFile::exists(QString::fromStdString(ini)));
  auto text = ReadBytes(ini);
  std::string s(text.begin(), text.end());
  EXPECT_NE(s.find("NormPos=" + std::to_string(form().left()) + "," + std::to_string(form().top()) + "," +
                   std::to_string(form().left() + 1000) + "," + std::to_string(form().top() + 700)),
            std::string::npos)
      << s.substr(0, 300);
}

