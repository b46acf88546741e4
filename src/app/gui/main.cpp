// The GUI program: the application's form model shown through the Qt view.
#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "ui/qt/FormView.h"
#include "ui/qt/QtUiServices.h"
#include "ui/qt/Theme.h"

#if __has_include("app/MainForm.h")
#include "app/MainForm.h"
#define PX_HAVE_MAINFORM 1
#endif

namespace {

// Dark by default (night work); PELINOXA_THEME=light for the light palette.
bool WantDarkTheme() {
  const char* t = std::getenv("PELINOXA_THEME");
  return !(t && std::strcmp(t, "light") == 0);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Pelinoxa");
  ui::qt::ApplyTheme(WantDarkTheme());
  ui::qt::QtUiServices services;

#ifdef PX_HAVE_MAINFORM
  app::MainForm mf(services);
  ui::Form& form = mf.form();
  if (!form.uiServices()) form.setUiServices(&services);

  app::StartupOptions opts;
  opts.programPath = QCoreApplication::applicationFilePath().toStdString();
  const QStringList args = QCoreApplication::arguments();  // Qt's own options already removed
  for (qsizetype i = 1; i < args.size(); ++i) opts.args.push_back(args[i].toStdString());
  try {
    mf.FormCreate(opts);
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Pelinoxa", QString::fromUtf8(e.what()));
    return 1;
  }

  ui::qt::FormView view(form);
  services.setMainWindow(view.mainWindow());
  bool closed = false;
  view.onClose = [&] {
    if (closed) return;
    closed = true;
    mf.FormClose();
    QCoreApplication::quit();
  };
  view.show();
  form.runUserAction([&] { mf.FormShow(); });
  form.runUserAction([&] { mf.OpenCommandLineFile(); });
  int rc = app.exec();
  if (!closed) {  // quit without closing the window (session end)
    closed = true;
    form.runUserAction([&] { mf.FormClose(); });
  }
  return rc;
#else
  // Built before the application's main form exists: an empty window.
  ui::Form form;
  form.setUiServices(&services);
  form.setCaption("PeliNoxa V2.0");
  form.page("InputPage", "Input");
  ui::qt::FormView view(form);
  services.setMainWindow(view.mainWindow());
  view.onClose = [] { QCoreApplication::quit(); };
  view.show();
  return app.exec();
#endif
}
