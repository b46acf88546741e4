#include "QtTestApp.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>

#include "ui/qt/Theme.h"

namespace pxtest {

namespace {
// The offscreen platform reports every window feature it lacks; keep the test log readable.
QtMessageHandler g_standard = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
  if (msg.startsWith("This plugin does not support") || msg.startsWith("QStandardPaths:")) return;
  if (g_standard) g_standard(type, ctx, msg);
}
}  // namespace

QApplication& QtApp() {
  static QApplication* app = [] {
    g_standard = qInstallMessageHandler(QuietHandler);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_qt";
    static char* argv[] = {name, nullptr};
    auto* a = new QApplication(argc, argv);
    ui::qt::ApplyTheme(true);
    return a;
  }();
  return *app;
}

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  do {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  } while (t.elapsed() < ms);
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton b, Qt::KeyboardModifiers mods) {
  Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButtons(b);
  Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : b;
  QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), button, held, mods);
  QCoreApplication::sendEvent(w, &e);
}

void Click(QWidget* w, QPoint p, Qt::KeyboardModifiers mods) {
  SendMouse(w, QEvent::MouseButtonPress, p, Qt::LeftButton, mods);
  SendMouse(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, mods);
}

void DoubleClick(QWidget* w, QPoint p) {
  Click(w, p);
  SendMouse(w, QEvent::MouseButtonDblClick, p);
  SendMouse(w, QEvent::MouseButtonRelease, p);
}

void Key(QWidget* w, int qtKey, Qt::KeyboardModifiers mods) {
  // Printable keys carry their text, as the platform would deliver them.
  QString text = qtKey >= 0x20 && qtKey < 0x7f && qtKey != Qt::Key_Space ? QString(QChar(qtKey)).toLower() : QString();
  if (qtKey == Qt::Key_Space) text = " ";
  QKeyEvent press(QEvent::KeyPress, qtKey, mods, text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, qtKey, mods, text);
  QCoreApplication::sendEvent(w, &release);
}

}  // namespace pxtest

// Under LeakSanitizer: fontconfig keeps a cache for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
