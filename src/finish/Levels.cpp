#include "finish/Levels.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "ui/Canvas.h"

namespace finish {

bool DragMarker(ToneState& t, int x, int y) {
  if (x <= 6 || x > 262) return false;
  int& lo = t.LowMarker;
  int& hi = t.HighMarker;
  if (std::abs(hi - x) < 30 && y > 200 && lo + 16 < hi) hi = x + 7;
  else if (std::abs(lo - x) < 30 && y > 200 && lo + 15 < hi) lo = x + 7;
  if (hi - lo < 15) lo = hi - 16;
  t.LevelHigh = static_cast<float>(hi - 14);
  t.LevelLow = static_cast<float>(lo - 14);
  return true;
}

double MarkerLevel(const ToneState& t, int markerLeft) {
  return t.PrevLevelLow + (static_cast<double>(t.PrevLevelHigh) - t.PrevLevelLow) * (markerLeft - 14) / 255.0;
}

void StretchLevels(ToneState& t) {
  const double r = static_cast<double>(t.PrevLevelHigh) - t.PrevLevelLow;
  t.LevelHigh = static_cast<float>(t.PrevLevelLow + (t.HighMarker - 14) / 255.0 * r);
  t.LevelLow = static_cast<float>(t.PrevLevelLow + (t.LowMarker - 14) / 255.0 * r);
  t.LowMarker = kLowMarkerHome;
  t.HighMarker = kHighMarkerHome;
  t.PrevLevelHigh = t.LevelHigh;
  t.PrevLevelLow = t.LevelLow;
}

void ResetLevels(ToneState& t) {
  t.LevelLow = 0;
  t.LevelHigh = 255;
  t.PrevLevelLow = 0;
  t.PrevLevelHigh = 255;
  t.LowMarker = kLowMarkerHome;
  t.HighMarker = kHighMarkerHome;
}

std::string LevelText(const char* prefix, double v) { return prefix + px::FloatToStr(px::Round(v * 10) * 0.1); }

int DrawHistogramGraph(ui::Bitmap24& graph, const ToneHistograms& h, const HistogramGraphOptions& o) {
  graph.setSize(281, 260);
  graph.fill(ui::colors::White);
  ui::Canvas cv(graph);
  cv.pen.color = ui::colors::Silver;
  const int d = o.dragging ? 50 : 51;
  for (int i = 0; i <= 5; ++i) {
    cv.moveTo(9 + i * d, 0);
    cv.lineTo(9 + i * d, 250);
    cv.moveTo(9, i * 50);
    cv.lineTo(264, i * 50);
  }
  cv.brush.style = ui::BrushStyle::Clear;
  cv.textOut(10, 10, o.hiText);
  cv.textOut(10, 25, o.loText);
  long long peak = 0;
  for (int c = 0; c < 3; ++c)
    for (int i = 11; i <= 245; ++i) peak = std::max<long long>(peak, 0LL + h[c][i - 1] + h[c][i] + h[c][i + 1]);
  peak /= 3;
  if (o.dragging && peak == 0) peak = 1;
  const int scale = std::max(1, o.showPeak ? static_cast<int>(peak) : px::Round(peak * 0.5));
  const ui::Color colours[3] = {ui::colors::Red, ui::colors::Green, ui::colors::Blue};
  for (int c = 0; c < 3; ++c) {
    cv.pen.color = colours[c];
    cv.moveTo(9, 255);
    const auto& b = h[c];
    if (o.smooth) {
      for (int i = 5; i <= 250; ++i) {
        const double s = (0.0 + b[i - 2] + b[i - 1] + b[i] + b[i + 1] + b[i + 2]) * 0.2;
        cv.lineTo(i + 9, px::Round(std::max(-1e6, 250 - s / scale * 250)));
      }
    } else {
      for (int i = 0; i <= 255; ++i) cv.lineTo(i + 9, px::Round(std::max(-1e6, 250 - static_cast<double>(b[i]) / scale * 250)));
    }
  }
  if (o.dragging) {
    cv.pen.color = ui::colors::Teal;
    cv.moveTo(o.lowMarker - 4, 0);
    cv.lineTo(o.lowMarker - 4, 255);
    cv.pen.color = ui::colors::Red;
    cv.moveTo(o.highMarker - 4, 0);
    cv.lineTo(o.highMarker - 4, 255);
  }
  return scale;
}

}  // namespace finish
