// Writes PNG screenshots of every page of the program and of its tool windows over the main
// window, for checking the look of the GUI (run under Xvfb with QT_QPA_PLATFORM=xcb to see the
// real window system; offscreen works too, without window decorations):
//   pelinoxa-screenshots OUTPUT-FOLDER
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <cstdio>
#include <exception>

#include "app/MainForm.h"
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
  view.mainWindow()->move(0, 0);
  view.mainWindow()->resize(1280, 860);
  view.show();
  bool ok = true;
  auto pages = form.pages();
  for (size_t i = 0; i < pages.size(); ++i) {
    pages[i]->setVisible(true);
    form.setActivePage(*pages[i]);
    ui::qt::RepaintThrottle::instance().flush();
    Pump(300);
    const std::string name = "page-" + std::to_string(i + 1);
    ok &= Save(view.mainWindow()->grab(), dir, name.c_str());
  }
  // The progress window over the Aligning page, as the whole screen shows it.
  if (pages.size() > 1) form.setActivePage(*pages[1]);
  mf.progress().start("Alignment processing");
  mf.progress().setProgress(41);
  ui::qt::RepaintThrottle::instance().flush();
  Pump(300);
  ok &= Save(QGuiApplication::primaryScreen()->grabWindow(0), dir, "toolwindows");
  return ok ? 0 : 1;
}
