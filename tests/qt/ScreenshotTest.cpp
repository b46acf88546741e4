// Writes screenshots of the demo form when PX_SCREENSHOT_DIR names a folder (run under
// Xvfb with QT_QPA_PLATFORM=xcb to see the real window system); skipped otherwise.
#include <QGuiApplication>
#include <QScreen>

#include "ViewFixture.h"
#include "ui/qt/ImageView.h"
#include "ui/qt/RepaintThrottle.h"

using namespace pxtest;
using namespace ui;

namespace {

class ScreenshotTest : public ViewFixture {
 protected:
  ScreenshotTest() { allPagesVisible = true; }
  void save(const QString& dir, const QString& name, bool wholeScreen) {
    ui::qt::RepaintThrottle::instance().flush();
    Pump(300);
    QPixmap shot = wholeScreen ? QGuiApplication::primaryScreen()->grabWindow(0) : view->mainWindow()->grab();
    EXPECT_TRUE(shot.save(dir + "/" + name + ".png")) << name.toStdString();
  }
};

}  // namespace

TEST_F(ScreenshotTest, Pages_WrittenWhenRequested) {
  QString dir = qEnvironmentVariable("PX_SCREENSHOT_DIR");
  if (dir.isEmpty()) GTEST_SKIP() << "PX_SCREENSHOT_DIR not set";
  view->mainWindow()->move(0, 0);
  view->mainWindow()->resize(1280, 860);
  demo->get<Panel>("DeinterlacePanel").setExpanded(true);
  const char* names[] = {"demo-input", "demo-aligning", "demo-stacking", "demo-wavelets", "demo-final", "demo-info"};
  auto pages = demo->form.pages();
  for (size_t i = 0; i < pages.size(); ++i) {
    demo->form.setActivePage(*pages[i]);
    save(dir, names[i], false);
  }
  // Tool windows over the main window, as the whole screen shows them.
  demo->form.setActivePage(*pages[1]);
  auto& reg = demo->get<ToolWindow>("RegWindow");
  reg.setBounds(1276, 40, 320, 290);
  reg.setVisible(true);
  auto& fl = demo->get<ToolWindow>("FrameListWindow");
  fl.setBounds(1290, 350, 300, 420);
  fl.setVisible(true);
  demo->get<CheckList>("FrameList").userClickItem(3);
  demo->progress->start("Aligning frames");
  demo->progress->setLine2("frame 412 of 1000");
  demo->progress->setProgress(41);
  demo->get<ToolWindow>("MessageWindow").setBounds(500, 380, 330, 130);
  save(dir, "demo-toolwindows", true);
}
