#include "frames/FrameNavigation.h"

#include <algorithm>

#include "base/Files.h"
#include "ui/Canvas.h"

namespace frames {

FrameNavigation::FrameNavigation(ui::Services& s, FrameTable& table, InputState& input, NavigationState& nav,
                                 InputControls& c, FrameSource& source)
    : s_(s),
      table_(table),
      in_(input),
      nav_(nav),
      c_(c),
      source_(source) {
  c_.PreviewSlider.OnChange = [this] { PreviewSliderChange(); };
  c_.PreviewSlider.OnKeyDown = [this](int& key, bool, bool) { PreviewSliderKeyDown(key); };
  c_.PreviewImage.OnMouseMove = [this](const ui::MouseEvent& e) { PreviewImageMouseMove(e); };
  c_.ShowFramelist.OnClick = [this] { ShowFramelistClick(); };
  c_.SelectFramesChecklist.OnClick = [this] { SelectFramesChecklistClick(); };
  c_.SelectFramesChecklist.OnClickCheck = [this] { SelectFramesChecklistClickCheck(); };
  c_.SelectFramesChecklist.OnDblClick = [this] { SelectFramesChecklistDblClick(); };
  c_.BitBtn4.OnClick = [this] { BitBtn4Click(); };
  c_.BitBtn5.OnClick = [this] { BitBtn5Click(); };
  c_.FramelistSortbutton.OnClick = [this] { FramelistSortbuttonClick(); };
  c_.RxSpinEdit1.OnChange = [this] { RxSpinEdit1Change(); };
  c_.RxSpinEdit2.OnChange = [this] { RxSpinEdit2Change(); };
  c_.RxSpinEdit3.OnChange = [this] { RxSpinEdit3Change(); };
  c_.Button6.OnClick = [this] { Button6Click(); };
  c_.Interlaced.OnClick = [this] { InterlacedClick(); };
  c_.InterlaceHoriz.OnClick = [this] { InterlacedClick(); };
  c_.SelectFrameswindow.OnResize = [this] { SelectFrameswindowResize(); };
  c_.SelectFrameswindow.OnMove = [this] { SelectFrameswindowMove(); };
  c_.SelectFrameswindow.OnClose = [this] { c_.ShowFramelist.setChecked(false); };
}

void FrameNavigation::RefreshCaption() {
  in_.SelectedCount = table_.CountSelected(in_.FrameCount);
  c_.Frames.setCaption("Frame : " + std::to_string(CurrentFrame() + 1) + " of " + std::to_string(in_.FrameCount) +
                       " ( selected = " + std::to_string(in_.SelectedCount) + ") ");
}

void FrameNavigation::ShowUseSign(int frame) {
  if (frame < 0 || frame >= MaxFrames) return;
  const FrameRecord& r = table_[frame];
  c_.UseFramesign.setColor(r.Dropped ? ui::colors::Gray : r.Excluded ? ui::colors::Red : ui::colors::Green);
}

void FrameNavigation::PreviewSliderChange() {
  in_.CancelRequested = false;
  ForgetMarker();
  const int current = CurrentFrame();
  if (c_.SelectFrameswindow.visible() && current < c_.SelectFramesChecklist.count())
    c_.SelectFramesChecklist.setItemIndex(current);
  bool unreadable = false;
  try {
    if (in_.stillInput()) {
      const std::string& path = table_.fileNames[current];
      s_.form.setCaption(KindCaptionPrefix(in_.InputKind) + path);
      source_.ReadStillFrame(path, in_.InputKind);
    } else if (in_.AviFileName != "none" && !in_.AviPath.empty()) {
      source_.ReadAvi(in_.AviPath, current);
    }
  } catch (const std::exception&) {
    // A frame a run already left out as unreadable shows as such; others report the error.
    if (!table_[current].Dropped) throw;
    unreadable = true;
    source_.preview().fill(ui::colors::Black);
  }
  RefreshCaption();
  ShowUseSign(current);
  if (table_[current].Dropped) {
    ui::Canvas canvas(source_.preview());
    canvas.brush.style = ui::BrushStyle::Clear;
    canvas.fontColor = ui::colors::Red;
    canvas.textOut(0, 10, unreadable ? "Unreadable Frame" : "Dropped Frame");
    source_.ShowPreview();
  }
}

void FrameNavigation::PreviewSliderKeyDown(int& key) {
  if (key != 32) return;
  const int current = CurrentFrame();
  FrameRecord& r = table_[current];
  if (r.Dropped) return;
  r.Excluded = r.Excluded ? 0 : 1;
  if (current < c_.SelectFramesChecklist.count()) c_.SelectFramesChecklist.setChecked(current, r.Excluded == 0);
  ShowUseSign(current);
  RefreshCaption();
}

void FrameNavigation::DrawOutline(int cx, int cy, int h) {
  ui::Canvas canvas(source_.preview());
  canvas.pen.mode = ui::PenMode::Xor;
  canvas.pen.color = ui::colors::White;
  canvas.brush.style = ui::BrushStyle::Clear;
  canvas.rectangle(cx - h, cy - h, cx + h, cy + h);
}

void FrameNavigation::PreviewImageMouseMove(const ui::MouseEvent& e) {
  const int current = CurrentFrame();
  const bool excluded = table_[current].Excluded == 1;
  if (in_.InputLoaded && !excluded) {
    const int h = (AlignBoxSide ? AlignBoxSide() : 32) / 2;
    const bool nearBorder = e.x < h || e.y < h || in_.ImageHeight - e.y - 1 < h || in_.ImageWidth - e.x - 1 < h;
    c_.PreviewImage.setCursor(nearBorder ? ui::Cursor::Normal : ui::Cursor::Cross);
    if (nav_.MarkerX != -1 && nav_.MarkerY != -1 && !nav_.OverlayReset) DrawOutline(nav_.MarkerX, nav_.MarkerY, h);
    nav_.OverlayReset = false;
    if (!nearBorder) {
      DrawOutline(e.x, e.y, h);
      nav_.MarkerX = e.x;
      nav_.MarkerY = e.y;
    } else {
      ForgetMarker();
    }
    source_.ShowPreview();
    RefreshCaption();
  }
  if (excluded) c_.PreviewImage.setCursor(ui::Cursor::NotAllowed);
}

void FrameNavigation::MarkDroppedInList() {
  int n = std::min(c_.SelectFramesChecklist.count(), MaxFrames);
  for (int i = 0; i < n; ++i)
    if (table_[i].Dropped) {
      table_[i].Excluded = 1;
      c_.SelectFramesChecklist.setState(i, ui::CheckState::Grayed);
    }
}

void FrameNavigation::ShowFramelistClick() {
  c_.SelectFrameswindow.setVisible(c_.ShowFramelist.checked());
  MarkDroppedInList();
}

void FrameNavigation::SelectFramesChecklistClick() {
  int i = c_.SelectFramesChecklist.itemIndex();
  if (i >= 0) c_.PreviewSlider.setValue(i);
  RefreshCaption();
}

void FrameNavigation::SelectFramesChecklistClickCheck() {
  int i = c_.SelectFramesChecklist.lastCheckedIndex;
  if (i < 0 || i >= MaxFrames || i >= c_.SelectFramesChecklist.count()) return;
  FrameRecord& r = table_[i];
  r.Excluded = c_.SelectFramesChecklist.checked(i) ? 0 : 1;
  if (r.Dropped) {
    r.Excluded = 1;
    c_.SelectFramesChecklist.setState(i, ui::CheckState::Grayed);
  }
  ShowUseSign(i);
  RefreshCaption();
}

void FrameNavigation::SelectFramesChecklistDblClick() {
  auto& list = c_.SelectFramesChecklist;
  int n = std::min(list.count(), MaxFrames);
  for (int i = 0; i < n; ++i) {
    if (!list.selected(i)) continue;
    bool nowChecked = !list.checked(i);
    list.setChecked(i, nowChecked);
    table_[i].Excluded = nowChecked ? 0 : 1;
    if (table_[i].Dropped) {
      table_[i].Excluded = 1;
      list.setState(i, ui::CheckState::Grayed);
    }
  }
  ShowUseSign(CurrentFrame());
  RefreshCaption();
}

// A dropped frame has no picture of its own, so "Set all" leaves it out.
void FrameNavigation::BitBtn4Click() {
  auto& list = c_.SelectFramesChecklist;
  for (int i = 0; i < in_.FrameCount && i < MaxFrames; ++i) {
    table_[i].Excluded = table_[i].Dropped ? 1 : 0;
    if (i < list.count()) list.setState(i, table_[i].Dropped ? ui::CheckState::Grayed : ui::CheckState::Checked);
  }
  RefreshCaption();
  ShowUseSign(CurrentFrame());
}

void FrameNavigation::BitBtn5Click() {
  auto& list = c_.SelectFramesChecklist;
  for (int i = 0; i < in_.FrameCount && i < MaxFrames; ++i) {
    table_[i].Excluded = 1;
    if (i < list.count()) list.setState(i, table_[i].Dropped ? ui::CheckState::Grayed : ui::CheckState::Unchecked);
  }
  RefreshCaption();
  ShowUseSign(CurrentFrame());
}

void FrameNavigation::FramelistSortbuttonClick() {
  if (!in_.stillInput()) return;
  s_.ui.setCursor(ui::Cursor::Busy);
  auto& list = c_.SelectFramesChecklist;
  int n = std::min(list.count(), MaxFrames);
  std::stable_sort(table_.fileNames.begin(), table_.fileNames.begin() + n,
                   [](const std::string& a, const std::string& b) { return px::CompareNoCase(a, b) < 0; });
  list.beginUpdate();
  list.clear();
  for (int i = 0; i < n; ++i) {
    list.add(px::ExtractFileName(table_.fileNames[i]), ui::CheckState::Checked);
    table_[i].Excluded = 0;
  }
  list.endUpdate();
  RefreshCaption();
  s_.ui.setCursor(ui::Cursor::Normal);
}

// A weight is never exactly 0.
void FrameNavigation::RxSpinEdit1Change() { nav_.AlignWeightR = static_cast<float>(c_.RxSpinEdit1.value() + 0.000001); }
void FrameNavigation::RxSpinEdit2Change() { nav_.AlignWeightG = static_cast<float>(c_.RxSpinEdit2.value() + 0.000001); }
void FrameNavigation::RxSpinEdit3Change() { nav_.AlignWeightB = static_cast<float>(c_.RxSpinEdit3.value() + 0.000001); }

void FrameNavigation::Button6Click() {
  c_.RxSpinEdit1.setValue(0.299);
  c_.RxSpinEdit2.setValue(0.587);
  c_.RxSpinEdit3.setValue(0.114);
  // Spins already at these values fire nothing; the weights still take the reset values.
  RxSpinEdit1Change();
  RxSpinEdit2Change();
  RxSpinEdit3Change();
}

void FrameNavigation::InterlacedClick() {
  bool on = c_.Interlaced.checked();
  c_.InterlaceHoriz.setVisible(on);
  c_.interlaceinterpolation.setVisible(on);
}

void FrameNavigation::SelectFrameswindowResize() {
  auto& w = c_.SelectFrameswindow;
  c_.SelectFramesChecklist.setBounds(0, 88, w.width() - 12, w.height() - 112);
}

void FrameNavigation::SelectFrameswindowMove() {
  if (!storeOpened_) return;
  s_.settings.writeInteger("Toolwin", "FrameTop", c_.SelectFrameswindow.top());
  s_.settings.writeInteger("Toolwin", "Frameleft", c_.SelectFrameswindow.left());
}

}  // namespace frames
