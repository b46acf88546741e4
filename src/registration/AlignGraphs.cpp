// The "Registration properties" graphs: the power spectrum with the quality band (which also
// measures the current frame's quality) and the quality and difference curves in rank order.
#include <algorithm>

#include "base/Numbers.h"
#include "registration/QualityMeasure.h"
#include "registration/RegistrationController.h"
#include "registration/RegistrationMath.h"
#include "ui/Canvas.h"

namespace registration {

void RegistrationController::DrawGraphGrid(ui::Bitmap24& pic) {
  const int w = pic.width(), h = pic.height();
  ui::Canvas cv(pic);
  pic.fill(ui::colors::White);
  cv.pen.color = ui::colors::Black;
  cv.brush.style = ui::BrushStyle::Clear;
  cv.rectangle(0, 0, w, h);
  cv.pen.color = ui::colors::Silver;
  for (int i = 0; i <= 10; ++i) {
    const int y = h - (h / 10) * i - 2;
    cv.moveTo(1, y);
    cv.lineTo(w - 1, y);
    const int x = (w / 10) * i + 1;
    cv.moveTo(x, 1);
    cv.lineTo(x, h - 1);
  }
}

void RegistrationController::DrawSpectrumGraph() { DrawSpectrumGraph(ReadOptions()); }

void RegistrationController::DrawSpectrumGraph(const RegistrationOptions& o) {
  FftEngine& e = *engine_;
  const bool draw = !inRun_ || displayNow_;
  ui::Bitmap24& g = c_.imgGraph.picture();
  if (g.empty()) g.reset(300, 250);
  const int w = g.width(), h = g.height();
  const int step = w / 50;
  e.RadialProfileMax += 1e-10f;
  const int n = e.FFTSize();
  const int qf = o.qualityFilter, dxq = o.qualFilterDX;
  const QualityParts q = MeasureQuality(e.RadialProfile, e.RadialProfileScale, n, qualityBoxMean_, qf, dxq);

  const int k = std::clamp(x_.input.CurrentFrameIndex, 0, frames::MaxFrames - 1);
  double quality = q.quality;
  if (o.contrast) quality *= x_.table[k].BoxContrast;
  const bool fieldA = o.interlaced && x_.input.FieldIndex == 0;
  (fieldA ? x_.table[k].QualityA : x_.table[k].Quality) = static_cast<float>(quality);
  if (!draw) return;

  ui::Canvas cv(g);
  DrawGraphGrid(g);
  cv.pen.color = ui::colors::Red;
  cv.brush.style = ui::BrushStyle::Clear;
  cv.fontColor = ui::colors::Red;
  cv.textOut(120, 170, " red line = power spectrum");
  auto yOf = [&](int i) {
    int idx = px::Round(e.RadialProfile[i] * 1000.0 / e.RadialProfileMax);
    idx = std::clamp(idx, 0, 1000);
    return h - px::Round(h * x_.tone.DisplayCurve[idx]);
  };
  cv.moveTo(0, yOf(0));
  for (int i = 0; i <= 50; ++i) cv.lineTo(i * step + 1, yOf(i));

  // The band's edges where they fall on the graph's 50 profile entries.
  const QualityBand band = BandForBox(qf, dxq, n);
  cv.pen.color = ui::colors::Green;
  cv.pen.width = 2;
  cv.fontColor = ui::colors::Green;
  int x = px::Round(band.lo * step);
  cv.moveTo(x + 1, 0);
  cv.lineTo(x + 1, h);
  cv.textOut(x + 5, 5, "<- Quality filter");
  x = px::Round(band.hi * step);
  cv.moveTo(x + 1, 0);
  cv.lineTo(x + 1, h);
  if (o.filter) {
    cv.pen.color = ui::colors::Blue;
    cv.fontColor = ui::colors::Blue;
    x = px::Round(o.filterRadius * step);
    cv.moveTo(x + 1, 0);
    cv.lineTo(x + 1, h);
    cv.textOut(x + 5, 30, "<- FFT Filter");
  }
  cv.pen.width = 1;
  cv.fontColor = ui::colors::Black;
  cv.textOut(150, 17, "quality :" + px::FormatFixed(quality, 5));
  c_.imgGraph.invalidate();
}

void RegistrationController::DrawAlignGraph() {
  ui::Bitmap24& g = c_.imgGraph.picture();
  if (g.empty()) g.reset(300, 250);
  const int w = g.width(), h = g.height();
  const int m = std::min(c_.AlignSlider.max(), frames::MaxFrames - 1);
  const auto& ranks = x_.table.ranks;
  DrawGraphGrid(g);
  ui::Canvas cv(g);
  cv.pen.color = ui::colors::Red;
  cv.brush.style = ui::BrushStyle::Clear;
  cv.fontColor = ui::colors::Red;
  cv.textOut(10, 150, " red  line = image quality");
  cv.fontColor = ui::colors::Blue;
  cv.textOut(10, 180, " blue line = registration difference");
  cv.moveTo(0, 0);

  // A single entry sits at x = 0.
  auto xOf = [&](int p) { return m > 0 ? px::Round(static_cast<double>(p) * w / m) : 0; };
  const double best = ranks[0].RankQuality + 1e-6;
  const double low = c_.OptimizeQualitySpin.value() / 100.0;
  bool dotted = false;
  for (int p = 0; p <= m; ++p) {
    const double rel = ranks[p].RankQuality / best;
    if (rel < low) dotted = true;
    cv.pen.style = dotted ? ui::PenStyle::Dot : ui::PenStyle::Solid;
    cv.lineTo(xOf(p), h - px::Round(h * rel));
  }

  const double cut = DifferenceCut ? DifferenceCut() : 100;
  cv.pen.style = ui::PenStyle::Solid;
  cv.pen.color = ui::colors::Blue;
  const int ycut = h - px::Round(cut * 0.01 * h);
  cv.moveTo(0, ycut);
  cv.lineTo(w, ycut);
  cv.moveTo(0, h);

  double d = 0;
  for (int p = 0; p <= m; ++p) d = std::max(d, static_cast<double>(x_.table[ranks[p].FrameIndex].Difference));
  d += 1e-6;
  dotted = false;
  for (int p = 0; p <= m; ++p) {
    if (ranks[p].RankQuality / best < low) dotted = true;
    cv.pen.style = dotted ? ui::PenStyle::Dot : ui::PenStyle::Solid;
    const int f = std::clamp(ranks[p].FrameIndex, 0, frames::MaxFrames - 1);
    cv.lineTo(xOf(p), h - px::Round(h * x_.table[f].Difference / d));
  }
  c_.imgGraph.invalidate();

  if (ShowStackGraph) ShowStackGraph(g);
}

void RegistrationController::SortRankList() { registration::SortRankList(x_.table, c_.AlignSlider.max()); }

}  // namespace registration
