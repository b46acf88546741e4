#include "ui/qt/RepaintThrottle.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>

#include "ui/qt/FormView.h"
#include "ui/qt/ImageView.h"

namespace ui::qt {

RepaintThrottle::RepaintThrottle(QObject* parent) : QObject(parent) {
  since_.start();
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &RepaintThrottle::flush);
}

RepaintThrottle& RepaintThrottle::instance() {
  // Owned by the application object so its timer dies on the right thread and in time.
  static QPointer<RepaintThrottle> the;
  if (!the) the = new RepaintThrottle(QCoreApplication::instance());
  return *the;
}

void RepaintThrottle::arm() {
  if (timer_.isActive()) return;
  qint64 wait = kIntervalMs - since_.elapsed();
  timer_.start(static_cast<int>(std::clamp<qint64>(wait, 0, kIntervalMs)));
}

void RepaintThrottle::add(ImageView* v) {
  dirty_.push_back(v);
  arm();
}

void RepaintThrottle::remove(ImageView* v) {
  dirty_.erase(std::remove(dirty_.begin(), dirty_.end(), v), dirty_.end());
}

void RepaintThrottle::addView(FormView* v) {
  if (std::find(views_.begin(), views_.end(), v) == views_.end()) views_.push_back(v);
  arm();
}

void RepaintThrottle::removeView(FormView* v) { views_.erase(std::remove(views_.begin(), views_.end(), v), views_.end()); }

void RepaintThrottle::flush() {
  since_.restart();
  timer_.stop();
  std::vector<FormView*> views;
  views.swap(views_);
  for (FormView* v : views) v->flushPending();
  std::vector<ImageView*> pictures;
  pictures.swap(dirty_);
  for (ImageView* p : pictures) p->repaintNow();
}

}  // namespace ui::qt
