// The GUI program: the application's form model shown through the Qt view.
#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "app/MainForm.h"
#include "ui/qt/FormView.h"
#include "ui/qt/QtUiServices.h"
#include "ui/qt/Theme.h"

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
  if (!closed) {  // the session ended without the window being closed
    closed = true;
    form.runUserAction([&] { mf.FormClose(); });
  }
  return rc;
}
