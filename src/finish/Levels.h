#pragma once
// Black and white points set with the histogram window's two markers, and the graph of the
// three display histograms.
#include <string>

#include "finish/ToneState.h"
#include "ui/Bitmap24.h"

namespace finish {

constexpr int kLowMarkerHome = 15, kHighMarkerHome = 270;

// A left-button move over the graph at (x, y): moves the marker near x (the high one first);
// the markers never come closer than 15. Sets LevelLow/LevelHigh to the marker positions.
// Returns false when x is outside the graph's drag range (nothing changes).
bool DragMarker(ToneState& t, int x, int y);
// The level a marker stands for, relative to the previous levels.
double MarkerLevel(const ToneState& t, int markerLeft);
// "Stretch": the marked range becomes the new levels; markers go home.
void StretchLevels(ToneState& t);
// "Reset": levels 0 … 255, markers home.
void ResetLevels(ToneState& t);

struct HistogramGraphOptions {
  bool showPeak = false;
  bool smooth = false;
  bool dragging = false;  // grid step 50, zero peak drawn as 1, the two marker lines
  std::string hiText, loText;
  int lowMarker = kLowMarkerHome, highMarker = kHighMarkerHome;
};

// Draws the graph into `graph` (resized to 281 x 260); returns the vertical scale used.
int DrawHistogramGraph(ui::Bitmap24& graph, const ToneHistograms& h, const HistogramGraphOptions& o);
// "  hi: 205" style text of a level.
std::string LevelText(const char* prefix, double v);

}  // namespace finish
