#include "stacking/StackSelection.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "stacking/StackingController.h"
#include "ui/Canvas.h"

namespace stacking {

float MaxDifference(const frames::FrameTable& t, int rankMax) {
  float m = 0;
  rankMax = std::min(rankMax, frames::MaxFrames - 1);
  for (int k = 0; k <= rankMax; ++k) {
    const int f = t.ranks[k].FrameIndex;
    if (f < 0 || f >= frames::MaxFrames) continue;
    m = std::max(m, t.frames[f].Difference);
  }
  return m;
}

bool WithinCut(const frames::FrameTable& t, int k, float cut) {
  const int f = t.ranks[k].FrameIndex;
  return f >= 0 && f < frames::MaxFrames && !(t.frames[f].Difference > cut);
}

bool Admits(const frames::FrameTable& t, int k, int R, float cut) {
  return k >= 0 && k <= R && k < frames::MaxFrames && WithinCut(t, k, cut) &&
         t.frames[t.ranks[k].FrameIndex].Excluded == 0;
}

int CountAdmitted(const frames::FrameTable& t, int R, float cut) {
  int n = 0;
  for (int k = 0; k <= std::min(R, frames::MaxFrames - 1); ++k)
    if (Admits(t, k, R, cut)) ++n;
  return n;
}

namespace {

const char* CutoffCaptionPrefix(frames::InputKind k) {
  switch (k) {
    case frames::ikJpeg: return "Pelinoxa processing JPG: ";
    case frames::ikFits: return "Pelinoxa processing FIT: ";
    case frames::ikTiff: return "Pelinoxa processing TIF: ";
    default: return "Pelinoxa processing  BMP: ";
  }
}

}  // namespace

void StackingController::StackSliderChange() {
  const auto& t = d_.table;
  const int R = std::clamp(c_.StackSlider.value(), 0, frames::MaxFrames - 1);
  const int rmax = std::clamp(c_.StackSlider.max(), 0, frames::MaxFrames - 1);
  const int P = c_.differencecutslider.value();
  const float dmax = MaxDifference(t, rmax);
  const float cut = DifferenceCut(dmax, P);

  float qbest = t.frames[t.ranks[0].FrameIndex].Quality;
  if (qbest == 0) qbest = 1;
  int n = 0;
  for (int k = 0; k <= R; ++k)
    if (WithinCut(t, k, cut)) ++n;
  const int box = 1 << (std::clamp(d_.aligning.FFTsizeGroup.itemIndex(), 0, 3) + 5);
  c_.RxLabel4.setCaption("Difference Cutoff (blue line) max =" +
                         px::FloatToStr(std::trunc(dmax / box / box * 100.0) * 0.01));
  const double q = std::trunc(t.frames[t.ranks[R].FrameIndex].Quality / qbest * 100.0);
  c_.StackInfoLabel.setCaption("Stacking : quality >= " + px::FloatToStr(q) + "% , difference <= " +
                               std::to_string(P) + "% , n = " + std::to_string(n));

  if (d_.input.InputLoaded && d_.input.FrameCount > 0) ShowCutoffFrame(R);
  DrawStackGraph();
}

void StackingController::ShowCutoffFrame(int rank) {
  auto& in = d_.input;
  const int f = d_.table.ranks[rank].FrameIndex;
  if (f < 0 || f >= frames::MaxFrames) return;
  // Showing a frame is no stacking pass: the finished stack must not take it in.
  const bool stackPass = in.StackPass, alignPass = in.AlignPass;
  in.StackPass = in.AlignPass = false;
  try {
    if (in.InputKind == frames::ikAvi) {
      d_.source.ReadAvi(in.AviPath, f);
    } else {
      const std::string& name = d_.table.fileNames[f];
      if (!name.empty()) {
        d_.source.ReadStillFrame(name, in.InputKind);
        s_.form.setCaption(CutoffCaptionPrefix(in.InputKind) + name);
      }
    }
  } catch (const std::exception& e) {
    in.StackPass = stackPass;
    in.AlignPass = alignPass;
    // A frame a run left out as unreadable has been reported already.
    if (!d_.table[f].Dropped) s_.ui.showError(e.what());
    return;
  }
  in.StackPass = stackPass;
  in.AlignPass = alignPass;
  const ui::Bitmap24& pic = d_.source.preview();
  ui::Bitmap24& view = c_.Stackimage.picture();
  const int w = std::max(in.ImageWidth, 1), h = std::max(in.ImageHeight, 1);
  view.setSize(w, h);
  view.fill(ui::colors::Black);
  ui::Canvas(view).copyRect({0, 0, w, h}, pic, {0, 0, w, h});
  c_.Stackimage.invalidate();
}

void StackingController::DrawStackGraph() {
  ui::Bitmap24& g = c_.StackGraph.picture();
  if (g.empty()) g.setSize(307, 249);
  if (!st_.CalibrationMode) {
    if (DrawAlignGraph) DrawAlignGraph();
    const ui::Bitmap24& src = d_.aligning.imgGraph.picture();
    g.fill(ui::colors::White);
    if (!src.empty()) ui::Canvas(g).copyRect({0, 0, src.width(), src.height()}, src, {0, 0, src.width(), src.height()});
  }
  const int wg = g.width(), hg = g.height();
  const int R = c_.StackSlider.value();
  const int rmax = std::max(c_.StackSlider.max(), 1);
  ui::Canvas cv(g);
  cv.pen.color = ui::colors::Red;
  const int x = px::Round(static_cast<double>(wg) * R / rmax);
  cv.moveTo(x, 0);
  cv.lineTo(x, hg);
  cv.pen.color = ui::colors::Green;
  const int n = st_.StackedCount;
  if (n > 1) {
    const auto& ranks = d_.table.ranks;
    const double s = static_cast<double>(st_.SliderAtStack) / n;
    const double q0 = ranks[1].StackQuality;
    cv.moveTo(0, 0);
    for (int i = 0; i < n && i + 1 < frames::MaxFrames; ++i) {
      const double qi = ranks[i + 1].StackQuality;
      cv.lineTo(px::Round(wg * (i + 1) * s / rmax), hg - px::Round(hg * qi / (q0 + 0.000001)));
    }
  }
  c_.StackGraph.invalidate();
}

void StackingController::FillStackList() {
  auto& list = c_.StackFramesList;
  const auto& frameList = d_.inputControls.SelectFramesChecklist;
  list.beginUpdate();
  list.clear();
  const int n = std::min({d_.input.FrameCount, c_.StackSlider.max() + 1, frames::MaxFrames});
  for (int k = 0; k < n; ++k) {
    const int f = d_.table.ranks[k].FrameIndex;
    if (f >= 0 && f < frameList.count()) list.add(frameList.item(f).text, frameList.item(f).state);
    else list.add(std::to_string(f), d_.table[f].Excluded ? ui::CheckState::Unchecked : ui::CheckState::Checked);
  }
  list.endUpdate();
}

void StackingController::StackFramesListClick() {
  const int i = c_.StackFramesList.itemIndex();
  if (i >= 0) c_.StackSlider.setValue(i);
}

// Applies line `line`'s check mark to its frame and to the frame's line in the frame list.
void StackingController::ToggleStackLine(int line) {
  auto& list = c_.StackFramesList;
  auto& frameList = d_.inputControls.SelectFramesChecklist;
  const int f = d_.table.ranks[line].FrameIndex;
  if (f < 0 || f >= frames::MaxFrames) return;
  auto& rec = d_.table[f];
  rec.Excluded = list.checked(line) ? 0 : 1;
  if (rec.Dropped) {
    rec.Excluded = 1;
    list.setState(line, ui::CheckState::Grayed);
  }
  if (f < frameList.count()) frameList.setState(f, list.item(line).state);
}

void StackingController::StackFramesListClickCheck() {
  auto& list = c_.StackFramesList;
  const int clicked = list.lastCheckedIndex;
  for (int i = 0; i < list.count(); ++i) {
    if (i == clicked || !list.selected(i)) continue;
    list.setChecked(i, !list.checked(i));
    ToggleStackLine(i);
  }
  if (clicked >= 0 && clicked < list.count()) ToggleStackLine(clicked);
  d_.input.SelectedCount = d_.table.CountSelected(d_.input.FrameCount);
}

void StackingController::StackFramesListDblClick() {
  auto& list = c_.StackFramesList;
  for (int i = 0; i < list.count(); ++i) {
    if (!list.selected(i)) continue;
    list.setChecked(i, !list.checked(i));
    ToggleStackLine(i);
  }
  d_.input.SelectedCount = d_.table.CountSelected(d_.input.FrameCount);
}

}  // namespace stacking
