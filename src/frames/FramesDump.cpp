// The input and the frame table as the batch tool dumps them.
#include <algorithm>

#include "frames/FrameNavigation.h"
#include "frames/InputSelection.h"

namespace frames {

namespace {

// What both dumps tell of the input: its kind, file, counts and the three sizes.
px::Json InputSummary(const InputState& in) {
  px::Json j = px::Json::object();
  j["InputKind"] = static_cast<int>(in.InputKind);
  j["InputLoaded"] = in.InputLoaded;
  j["FitsStretch"] = in.FitsStretch;
  j["AviFileName"] = in.AviFileName;
  j["FrameCount"] = in.FrameCount;
  j["SelectedCount"] = in.SelectedCount;
  j["SourceWidth"] = in.SourceWidth;
  j["SourceHeight"] = in.SourceHeight;
  j["FrameWidth"] = in.FrameWidth;
  j["FrameHeight"] = in.FrameHeight;
  j["ImageWidth"] = in.ImageWidth;
  j["ImageHeight"] = in.ImageHeight;
  return j;
}

}  // namespace

px::Json InputSelection::DumpJson() const {
  px::Json j = InputSummary(in_);
  j["SingleImage"] = in_.SingleImage;
  j["FitsChannel"] = in_.FitsChannel;
  j["VideoInfo"] = in_.VideoInfo;
  j["InputDir"] = in_.InputDir;
  j["CurrentFrame"] = c_.PreviewSlider.value();
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
  px::Json s = InputSummary(in_);
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
