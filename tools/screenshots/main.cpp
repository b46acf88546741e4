// Writes PNG screenshots of the program at work (a start, a dropped sequence with its frame
// list, an align-all run with the registration windows, then every page), for checking the
// look of the GUI (run under Xvfb with QT_QPA_PLATFORM=xcb to see the
// real window system; offscreen works too, without window decorations):
//   pelinoxa-screenshots OUTPUT-FOLDER
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>
#include <exception>

#include "app/MainForm.h"
#include "ui/BmpCodec.h"
#include "ui/qt/FormView.h"
#include "ui/qt/QtUiServices.h"
#include "ui/qt/RepaintThrottle.h"
#include "ui/qt/Theme.h"

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  do QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  while (t.elapsed() < ms);
}

// A banded planet on black, its bands drifting by `phase` pixels from frame to frame.
ui::Bitmap24 Planet(int w, int h, double phase) {
  ui::Bitmap24 b(w, h);
  const double cx = w / 2.0 + phase, cy = h / 2.0, r = h / 3.0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = (x - cx) / 1.07, dy = y - cy;
      if (dx * dx + dy * dy > r * r) {
        b.setPixel(x, y, ui::Color(0, 0, 0));
        continue;
      }
      const double band = 0.5 + 0.5 * std::sin((dy + phase) / r * 9.0);
      const double limb = std::sqrt(1.0 - (dx * dx + dy * dy) / (r * r));
      const int v = static_cast<int>((120 + 110 * band) * (0.35 + 0.65 * limb));
      b.setPixel(x, y, ui::Color(v, v * 85 / 100, v * 65 / 100));
    }
  return b;
}

bool Save(const QPixmap& shot, const QString& dir, const char* name) {
  const QString file = dir + "/" + name + ".png";
  if (shot.save(file)) return true;
  std::fprintf(stderr, "pelinoxa-screenshots: cannot write %s\n", file.toLocal8Bit().constData());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: pelinoxa-screenshots OUTPUT-FOLDER\n");
    return 3;
  }
  const QString dir = QDir(args[1]).absolutePath();
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "pelinoxa-screenshots: cannot create %s\n", dir.toLocal8Bit().constData());
    return 1;
  }
  ui::qt::ApplyTheme(true);
  ui::qt::QtUiServices services;
  app::MainForm mf(services);
  ui::Form& form = mf.form();
  if (!form.uiServices()) form.setUiServices(&services);
  // The program folder and the settings store live in a scratch folder, not the user's.
  QTemporaryDir scratch;
  QDir::setCurrent(scratch.path());
  app::StartupOptions opts;
  opts.programPath = "/proc/self/exe";
  opts.settingsPath = (scratch.path() + "/config/pelinoxa.ini").toStdString();
  try {
    mf.FormCreate(opts);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pelinoxa-screenshots: %s\n", e.what());
    return 1;
  }
  ui::qt::FormView view(form);
  services.setMainWindow(view.mainWindow());
  view.onClose = [&] { mf.FormClose(); };
  view.mainWindow()->move(0, 0);
  view.mainWindow()->resize(1200, 820);
  view.show();
  mf.FormShow();
  bool ok = true;
  auto shoot = [&](const char* name, bool wholeScreen) {
    ui::qt::RepaintThrottle::instance().flush();
    Pump(300);
    ok &= Save(wholeScreen ? QGuiApplication::primaryScreen()->grabWindow(0) : view.mainWindow()->grab(), dir, name);
  };
  shoot("pelinoxa-start", false);

  // A dozen frames dropped on the window, the frame list beside it.
  std::vector<std::string> frames;
  for (int i = 0; i < 12; ++i) {
    frames.push_back((scratch.path() + QString("/jupiter_%1.bmp").arg(i)).toStdString());
    ui::SaveBmpFile(frames.back(), Planet(640, 480, i * 0.3));
  }
  form.userDropFiles(frames);
  form.get<ui::CheckBox>("ShowFramelist").userClick();
  form.get<ui::ToolWindow>("SelectFrameswindow").setBounds(1215, 60, 260, 480);
  form.get<ui::Slider>("PreviewSlider").setValue(4);
  shoot("pelinoxa-input-frames", true);
  form.get<ui::ToolWindow>("SelectFrameswindow").setVisible(false);

  // The feature, an align-all run and the registration windows.
  ui::MouseEvent click;
  click.x = 320;
  click.y = 240;
  form.get<ui::Image>("PreviewImage").userMouse(ui::MouseAction::Down, click);
  form.get<ui::ToolWindow>("FFTWindow").setBounds(1215, 40, 276, 300);
  form.get<ui::ToolWindow>("Propertywindow").setBounds(1215, 360, 316, 290);
  form.get<ui::Button>("Allignallbutton").userClick();
  shoot("pelinoxa-aligned", true);

  const char* pages[] = {"AligningPage", "StackingPage", "WaveletPage", "FinalPage", "InfoPage"};
  const char* names[] = {"pelinoxa-aligning", "pelinoxa-stacking", "pelinoxa-wavelets", "pelinoxa-final", "pelinoxa-info"};
  for (int i = 0; i < 5; ++i) {
    ui::Page& page = form.get<ui::Page>(pages[i]);
    page.setVisible(true);
    form.userSetActivePage(page);
    shoot(names[i], false);
  }
  return ok ? 0 : 1;
}
