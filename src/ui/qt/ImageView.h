#pragma once
// The on-screen face of an Image control: paints the control's Bitmap24 straight from its
// storage (a QImage header over the same bytes, no copy), maps mouse input to picture
// coordinates and shows the control's cursor. Model-side picture changes only mark the view
// dirty; RepaintThrottle turns dirty views into repaints at most ~30 times a second.
#include <QImage>
#include <QWidget>
#include <functional>

#include "ui/FormModel.h"

namespace ui::qt {

class ImageView : public QWidget {
  Q_OBJECT
 public:
  ImageView(ui::Image& image, QWidget* parent = nullptr);
  ~ImageView() override;
  void repaintNow() {  // from the throttle
    dirty_ = false;
    refresh();
  }

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
  std::function<void()> onResized;  // after the widget took a new picture size

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;

 private:
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

}  // namespace ui::qt
