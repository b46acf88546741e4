#pragma once
// Keeps the screen from slowing down long runs. A pass that delivers thousands of frames a
// second changes pictures, captions and slider positions on every frame; painting each
// change would cost far more than the frame itself. Dirty pictures and the form views'
// queued widget updates are therefore applied at most every kIntervalMs: from a timer when
// the event loop is idle, and from QtUiServices::processEvents during long runs.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <vector>

namespace ui::qt {

class ImageView;
class FormView;

class RepaintThrottle : public QObject {
  Q_OBJECT
 public:
  static constexpr int kIntervalMs = 33;
  static RepaintThrottle& instance();

  void add(ImageView* v);
  void remove(ImageView* v);
  void addView(FormView* v);
  void removeView(FormView* v);
  // Cheap when nothing is pending or the interval has not passed: one clock read.
  void flushIfDue() {
    if ((!dirty_.empty() || !views_.empty()) && since_.elapsed() >= kIntervalMs) flush();
  }
  void flush();
  bool pending() const { return !dirty_.empty() || !views_.empty(); }

 private:
  explicit RepaintThrottle(QObject* parent);
  void arm();
  std::vector<ImageView*> dirty_;
  std::vector<FormView*> views_;
  QElapsedTimer since_;
  QTimer timer_;
};

}  // namespace ui::qt
