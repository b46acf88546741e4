#pragma once
// The gamma window's curve: its default shape, the tone table sampled from it or from a typed
// gamma, the grid, and the point editing shared (with other limits) by the HSL curves.
#include <array>

#include "finish/BSpline.h"
#include "ui/Bitmap24.h"

namespace finish {

using ToneTable = std::array<double, 1001>;

// (0, 255), (128, 128), (255, 0) after Clear.
void SetDefaultGammaCurve(TBSpline& s);
// Samples the curve (x input level 0 … 255 to the right, y downward) into the table.
void CurveToToneTable(TBSpline& s, ToneTable& table);
// Entry i = (i / 1000 + 0.000001)^(1 / g); false (table untouched) unless g > 0 and finite.
bool GammaToneTable(double g, ToneTable& table);
// Grid and curve as the window shows them (interpolated, points shown, 50 fragments, or one
// straight piece per gap with "Linear").
void DrawGammaGraph(ui::Bitmap24& graph, TBSpline& s, bool linear);

// Point editing. Insert between the first pair of neighbours enclosing x.
bool InsertPointBetween(TBSpline& s, float x, float y);
// Ctrl + left click: deletes the last interior point within `tol` of (x, y) in both axes.
bool DeleteInteriorPoint(TBSpline& s, float x, float y, int tol = 15);
// Gamma drag: (x, y) clamped to 0 … 255; the end points keep x 0 and 255; no point comes
// within 15 in x of a neighbour. Returns whether a point moved.
bool DragGammaPoint(TBSpline& s, float x, float y);

}  // namespace finish
