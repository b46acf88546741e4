#pragma once
// The on-screen face of an Image control: paints the control's Bitmap24 straight from its
// storage (a QImage header over the same bytes, no copy), maps mouse input to picture
// coordinates and shows the control's cursor. Model-side picture changes only mark the view
// dirty; RepaintThrottle turns dirty views into repaints at most ~30 times a second, so a
// pass that delivers thousands of frames a second is not slowed down by painting.
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/FormModel.h"

namespace ui::qt {

class ImageView : public QWidget {
  Q_OBJECT
 public:
  ImageView(ui::Image& image, QWidget* parent = nullptr);
  ~ImageView() override;

  ui::Image& image() const { return image_; }

  void markDirty();     // the picture changed: repaint at the next throttle flush
  void refresh();       // fits the widget to the picture and schedules a paint now
  void applyCursor();   // the control's cursor
  bool dirty() const { return dirty_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

  // The position in picture coordinates of a point in this widget.
  QPoint toPicture(const QPoint& p) const;

  // Diagnostics for tests: paints done, and how often the QImage header had to be rebuilt
  // (only when the picture's storage or size changes).
  int paintCount() const { return paints_; }
  int wrapCount() const { return wraps_; }
  const uchar* wrappedBits() const { return wrapped_.constBits(); }

  // Set by the view: runs a user action through the form (guarded against re-entry).
  std::function<void(const std::function<void()>&)> dispatch;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;

 private:
  friend class RepaintThrottle;
  void wrapPicture();
  void sendMouse(ui::MouseAction action, QMouseEvent* e);

  ui::Image& image_;
  QImage wrapped_;
  const uint8_t* wrappedData_ = nullptr;
  int wrappedW_ = 0, wrappedH_ = 0;
  bool dirty_ = false;
  int paints_ = 0, wraps_ = 0;
  QSize fitted_;
};

// Collects dirty pictures and repaints them at most every kIntervalMs: from a timer when the
// event loop is idle, and from QtUiServices::processEvents during long runs.
class RepaintThrottle : public QObject {
  Q_OBJECT
 public:
  static constexpr int kIntervalMs = 33;
  static RepaintThrottle& instance();

  void add(ImageView* v);
  void remove(ImageView* v);
  // Cheap when nothing is dirty or the interval has not passed: one clock read.
  void flushIfDue() {
    if (!dirty_.empty() && since_.elapsed() >= kIntervalMs) flush();
  }
  void flush();
  bool pending() const { return !dirty_.empty(); }

 private:
  explicit RepaintThrottle(QObject* parent);
  std::vector<ImageView*> dirty_;
  QElapsedTimer since_;
  QTimer timer_;
};

}  // namespace ui::qt
