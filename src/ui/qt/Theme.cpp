#include "ui/qt/Theme.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

namespace ui::qt {

void ApplyTheme(bool dark) {
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  if (!dark) {
    QApplication::setPalette(QApplication::style()->standardPalette());
    return;
  }
  QPalette p;
  const QColor window(45, 47, 52), base(30, 31, 35), text(222, 224, 228), disabled(120, 122, 128);
  const QColor accent(196, 120, 48);  // warm highlight: easy on dark-adapted eyes
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::ToolTipBase, QColor(60, 62, 68));
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, disabled);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, QColor(58, 60, 66));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, QColor(255, 110, 100));
  p.setColor(QPalette::Light, QColor(75, 77, 84));
  p.setColor(QPalette::Midlight, QColor(64, 66, 72));
  p.setColor(QPalette::Mid, QColor(40, 41, 45));
  p.setColor(QPalette::Dark, QColor(22, 23, 26));
  p.setColor(QPalette::Shadow, QColor(10, 10, 12));
  p.setColor(QPalette::Highlight, accent);
  p.setColor(QPalette::HighlightedText, QColor(20, 20, 20));
  p.setColor(QPalette::Link, QColor(240, 160, 80));
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, disabled);
  p.setColor(QPalette::Disabled, QPalette::Base, window);
  p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(80, 80, 80));
  QApplication::setPalette(p);
}

QColor DisplayTextColor(ui::Color c, const QPalette& palette) {
  if (c == ui::colors::Black) return palette.color(QPalette::WindowText);
  QColor q(c.r, c.g, c.b);
  if (palette.color(QPalette::Window).lightness() < 128 && q.lightness() < 110) {
    // Keep the hue, raise the lightness so navy, maroon or green stay legible.
    int h, s, l;
    q.getHsl(&h, &s, &l);
    q.setHsl(h, s, 150);
  }
  return q;
}

}  // namespace ui::qt
