#pragma once
// The look: Fusion with a dark palette for night work (default) or Fusion's light palette.
#include <QColor>
#include <QPalette>

#include "ui/Bitmap24.h"

namespace ui::qt {

void ApplyTheme(bool dark);

// A label's font colour as shown: black means "the normal text colour" (so default labels
// stay readable on the dark palette); dark colours are lifted on the dark palette.
QColor DisplayTextColor(ui::Color c, const QPalette& palette);

}  // namespace ui::qt
