// The input and the frame table as the batch tool dumps them.
#include <algorithm>

#include "frames/FrameNavigation.h"
#include "frames/InputSelection.h"

namespace frames {

px::Json InputSelection::DumpJson() const {
  px::Json j = px::Json::object();
  j["InputKind"] = static_cast<int>(in_.InputKind);
  j["InputLoaded"] = in_.InputLoaded;
  j["SingleImage"] = in_.SingleImage;
  j["FitsStretch"] = in_.FitsStretch;
  j["FitsChannel"] = in_.FitsChannel;
  j["AviFileName"] = in_.AviFileName;
  j["InputDir"] = in_.InputDir;
  j["FrameCount"] = in_.FrameCount;
  j["SelectedCount"] = in_.SelectedCount;
  j["CurrentFrame"] = c_.PreviewSlider.value();
  j["FrameWidth"] = in_.FrameWidth;
  j["FrameHeight"] = in_.FrameHeight;
  j["ImageWidth"] = in_.ImageWidth;
  j["ImageHeight"] = in_.ImageHeight;
  j["SourceWidth"] = in_.SourceWidth;
  j["SourceHeight"] = in_.SourceHeight;
  j["Caption"] = f_.caption();
  j["FramesLabel"] = c_.Frames.caption();
  px::Json list = px::Json::array();
  for (const auto& item : c_.SelectFramesChecklist.items()) {
    px::Json e = px::Json::object();
    e["text"] = item.text;
    e["state"] = item.state == ui::CheckState::Checked  ? "checked"
                 : item.state == ui::CheckState::Grayed ? "grayed"
                                                         : "unchecked";
    list.push(e);
  }
  j["frameList"] = list;
  return j;
}

px::Json FrameNavigation::DumpJson() const {
  px::Json s = px::Json::object();
  s["InputKind"] = static_cast<int>(in_.InputKind);
  s["InputLoaded"] = in_.InputLoaded;
  s["FitsStretch"] = in_.FitsStretch;
  s["AviFileName"] = in_.AviFileName;
  s["FrameCount"] = in_.FrameCount;
  s["SelectedCount"] = in_.SelectedCount;
  s["SourceWidth"] = in_.SourceWidth;
  s["SourceHeight"] = in_.SourceHeight;
  s["FrameWidth"] = in_.FrameWidth;
  s["FrameHeight"] = in_.FrameHeight;
  s["ImageWidth"] = in_.ImageWidth;
  s["ImageHeight"] = in_.ImageHeight;
  s["CurrentFrameIndex"] = in_.CurrentFrameIndex;
  s["DroppedFramesSeen"] = in_.DroppedFramesSeen;
  s["ProgramDir"] = in_.ProgramDir;

  px::Json frames = px::Json::array();
  px::Json ranks = px::Json::array();
  const int n = std::min(in_.FrameCount, MaxFrames);
  for (int i = 0; i < n; ++i) {
    const FrameRecord& r = table_[i];
    px::Json f = px::Json::object();
    f["ShiftX"] = r.ShiftX;
    f["ShiftY"] = r.ShiftY;
    f["ShiftXa"] = r.ShiftXa;
    f["ShiftYa"] = r.ShiftYa;
    f["FineShiftX"] = r.FineShiftX;
    f["FineShiftY"] = r.FineShiftY;
    f["Quality"] = r.Quality;
    f["Difference"] = r.Difference;
    f["QualityA"] = r.QualityA;
    f["DifferenceA"] = r.DifferenceA;
    f["BoxContrast"] = r.BoxContrast;
    f["OptimizeGain"] = r.OptimizeGain;
    f["Excluded"] = r.Excluded;
    f["Dropped"] = r.Dropped;
    if (in_.stillInput()) f["FileName"] = table_.fileNames[i];
    frames.push(f);
    const auto& k = table_.ranks[i];
    px::Json e = px::Json::object();
    e["FrameIndex"] = k.FrameIndex;
    e["RankQuality"] = k.RankQuality;
    e["StackQuality"] = k.StackQuality;
    ranks.push(e);
  }
  px::Json j = px::Json::object();
  j["input"] = s;
  j["frames"] = frames;
  j["ranks"] = ranks;
  return j;
}

}  // namespace frames
