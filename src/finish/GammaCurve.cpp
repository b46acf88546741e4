#include "finish/GammaCurve.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "ui/Canvas.h"

namespace finish {

void SetDefaultGammaCurve(TBSpline& s) {
  s.Clear();
  s.AddPoint({0, 255});
  s.AddPoint({128, 128});
  s.AddPoint({255, 0});
  s.SetInterpolated(true);
  s.SetShowPoints(true);
  s.SetFragments(50);
}

void CurveToToneTable(TBSpline& s, ToneTable& table) {
  table.fill(-1);
  for (int i = 0; i <= 10000; ++i) {
    const SplinePoint p = s.Value(i * 0.0001);
    const int b = std::clamp(px::Round(p.x * 1000.0 / 255), 0, 1000);
    table[b] = std::clamp((255.0 - p.y) / 255.0, 0.0, 1.0);
  }
  bool seenAbove = false;
  for (double& v : table) {
    if (v == -1) v = seenAbove ? 1 : 0;
    else if (v > 0) seenAbove = true;
  }
}

bool GammaToneTable(double g, ToneTable& table) {
  if (!(g > 0) || !std::isfinite(g)) return false;
  for (int i = 0; i <= 1000; ++i) table[i] = std::pow(i / 1000.0 + 0.000001, 1 / g);
  return true;
}

void DrawGammaGraph(ui::Bitmap24& graph, TBSpline& s, bool linear) {
  graph.setSize(255, 255);
  graph.fill(ui::colors::White);
  ui::Canvas cv(graph);
  cv.pen.color = ui::colors::Silver;
  cv.moveTo(0, 255);
  cv.lineTo(255, 0);
  for (int v = 0; v <= 255; v += 51) {
    cv.moveTo(v, 0);
    cv.lineTo(v, 255);
    cv.moveTo(0, v);
    cv.lineTo(255, v);
  }
  s.SetInterpolated(true);
  s.SetShowPoints(true);
  s.SetFragments(linear ? std::max(1, s.Count() - 1) : 50);
  s.SetColour(ui::colors::Black);
  s.Draw(cv);
}

bool InsertPointBetween(TBSpline& s, float x, float y) {
  for (int k = 1; k < s.Count(); ++k)
    if (s.GetPoint(k).x < x && x < s.GetPoint(k + 1).x) {
      s.InsertPoint(k + 1, {x, y});
      return true;
    }
  return false;
}

bool DeleteInteriorPoint(TBSpline& s, float x, float y, int tol) {
  int found = 0;
  for (int k = 2; k < s.Count(); ++k) {
    const SplinePoint p = s.GetPoint(k);
    if (std::fabs(px::Round(x) - p.x) < tol && std::fabs(px::Round(y) - p.y) < tol) found = k;
  }
  if (!found) return false;
  s.DeletePoint(found);
  return true;
}

bool DragGammaPoint(TBSpline& s, float x, float y) {
  const int n = s.Count();
  if (n < 2 || !std::isfinite(x) || !std::isfinite(y)) return false;
  x = std::clamp(x, 0.0f, 255.0f);
  y = std::clamp(y, 0.0f, 255.0f);
  int k = 0;
  for (int i = 1; i <= n; ++i) {
    const SplinePoint p = s.GetPoint(i);
    if (std::fabs(px::Round(x) - p.x) < 15 && std::fabs(px::Round(y) - p.y) < 15) k = i;
  }
  if (!k) return false;
  if (k == 1) {
    if (x >= s.GetPoint(2).x - 15) return false;
    s.SetPoint(1, {0, y});
  } else if (k == n) {
    if (x <= s.GetPoint(n - 1).x + 15) return false;
    s.SetPoint(n, {255, y});
  } else {
    if (!(x > s.GetPoint(k - 1).x + 15 && x < s.GetPoint(k + 1).x - 15)) return false;
    s.SetPoint(k, {x, y});
  }
  return true;
}

}  // namespace finish
