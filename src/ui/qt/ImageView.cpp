#include "ui/qt/ImageView.h"

#include "ui/qt/RepaintThrottle.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace ui::qt {

// ---------------------------------------------------------------- ImageView

ImageView::ImageView(ui::Image& image, QWidget* parent) : QWidget(parent), image_(image) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  fitted_ = sizeHint();
  setFixedSize(fitted_);
  applyCursor();
}

ImageView::~ImageView() {
  if (dirty_) RepaintThrottle::instance().remove(this);
}

void ImageView::markDirty() {
  if (dirty_) return;
  dirty_ = true;
  RepaintThrottle::instance().add(this);
}

QSize ImageView::sizeHint() const {
  const Bitmap24& pic = image_.picture();
  if (image_.stretch() || pic.empty()) return QSize(std::max(image_.width(), 1), std::max(image_.height(), 1));
  return QSize(pic.width(), pic.height());
}

void ImageView::refresh() {
  QSize s = sizeHint();
  if (s != fitted_) {
    fitted_ = s;
    setFixedSize(s);
    if (onResized) onResized();
  }
  update();
}

void ImageView::applyCursor() {
  switch (image_.cursor()) {
    case Cursor::Normal: unsetCursor(); break;
    case Cursor::Busy: setCursor(Qt::WaitCursor); break;
    case Cursor::Cross: setCursor(Qt::CrossCursor); break;
    case Cursor::NotAllowed: setCursor(Qt::ForbiddenCursor); break;
  }
}

void ImageView::wrapPicture() {
  Bitmap24& pic = image_.picture();
  if (pic.empty()) {
    wrapped_ = QImage();
    wrappedData_ = nullptr;
    wrappedW_ = wrappedH_ = 0;
    return;
  }
  if (pic.data() == wrappedData_ && pic.width() == wrappedW_ && pic.height() == wrappedH_) return;
  // Bytes B,G,R per pixel, rows top to bottom, stride width*3: exactly Qt's BGR888.
  // Read-only header: painting never writes to, detaches from or copies the picture.
  const uchar* bytes = pic.data();
  wrapped_ = QImage(bytes, pic.width(), pic.height(), static_cast<qsizetype>(pic.stride()), QImage::Format_BGR888);
  wrappedData_ = pic.data();
  wrappedW_ = pic.width();
  wrappedH_ = pic.height();
  ++wraps_;
}

void ImageView::paintEvent(QPaintEvent* e) {
  ++paints_;
  QPainter p(this);
  // Checked at paint time: the picture may have been resized (new storage) since the last
  // notification, and the header must never point at freed bytes.
  wrapPicture();
  if (wrapped_.isNull()) {
    p.fillRect(e->rect(), palette().color(QPalette::Base));
    return;
  }
  if (image_.stretch()) {
    if (wrapped_.width() > width() || wrapped_.height() > height())
      p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), wrapped_);
  } else {
    QRect r = e->rect();
    p.drawImage(r.topLeft(), wrapped_, r);
    // Area beyond a picture smaller than the widget.
    QRegion rest = QRegion(r) - QRegion(0, 0, wrapped_.width(), wrapped_.height());
    for (const QRect& x : rest) p.fillRect(x, palette().color(QPalette::Dark));
  }
}

QPoint ImageView::toPicture(const QPoint& p) const {
  const Bitmap24& pic = image_.picture();
  if (!image_.stretch() || pic.empty() || width() <= 0 || height() <= 0) return p;
  auto scale = [](int v, int from, int to) {
    return static_cast<int>(std::floor(static_cast<double>(v) * to / from));
  };
  return QPoint(scale(p.x(), width(), pic.width()), scale(p.y(), height(), pic.height()));
}

static ui::MouseButton ButtonOf(Qt::MouseButton b, Qt::MouseButtons held) {
  if (b == Qt::NoButton) {  // a move: the held button, left first
    if (held & Qt::LeftButton) return ui::MouseButton::Left;
    if (held & Qt::RightButton) return ui::MouseButton::Right;
    if (held & Qt::MiddleButton) return ui::MouseButton::Middle;
    return ui::MouseButton::Left;
  }
  if (b == Qt::RightButton) return ui::MouseButton::Right;
  if (b == Qt::MiddleButton) return ui::MouseButton::Middle;
  return ui::MouseButton::Left;
}

void ImageView::sendMouse(ui::MouseAction action, QMouseEvent* e) {
  QPoint pt = toPicture(e->position().toPoint());
  ui::MouseEvent me;
  me.x = pt.x();
  me.y = pt.y();
  me.button = ButtonOf(e->button(), e->buttons());
  me.buttonHeld = e->buttons() != Qt::NoButton;  // after a release: another button still down
  me.ctrl = e->modifiers() & Qt::ControlModifier;
  me.shift = e->modifiers() & Qt::ShiftModifier;
  e->accept();
  auto run = [this, action, me] { image_.userMouse(action, me); };
  if (dispatch) dispatch(run);
  else run();
}

void ImageView::mousePressEvent(QMouseEvent* e) { sendMouse(ui::MouseAction::Down, e); }
void ImageView::mouseMoveEvent(QMouseEvent* e) { sendMouse(ui::MouseAction::Move, e); }
void ImageView::mouseReleaseEvent(QMouseEvent* e) { sendMouse(ui::MouseAction::Up, e); }
void ImageView::mouseDoubleClickEvent(QMouseEvent* e) { sendMouse(ui::MouseAction::DblClick, e); }

}  // namespace ui::qt
