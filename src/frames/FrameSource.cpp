#include "frames/FrameSource.h"

#include <algorithm>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "formats/FitsReader.h"
#include "formats/Jpeg.h"
#include "frames/FileCheck.h"
#include "frames/VideoSource.h"
#include "ui/BmpCodec.h"

namespace frames {

void RebuildField(ui::Bitmap24& pic, int field, bool horizontal, int width, int height) {
  width = std::min(width, pic.width());
  height = std::min(height, pic.height());
  const int first = field == 0 ? 1 : 2;
  if (!horizontal) {
    const size_t n = static_cast<size_t>(width) * 3;
    for (int r = first; r <= height - 2; r += 2) {
      const uint8_t* up = pic.row(r - 1);
      const uint8_t* down = pic.row(r + 1);
      uint8_t* row = pic.row(r);
      for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>((up[i] + down[i]) >> 1);
    }
  } else {
    for (int y = 0; y < height; ++y) {
      uint8_t* row = pic.row(y);
      for (int x = first; x <= width - 2; x += 2)
        for (int k = 0; k < 3; ++k)
          row[x * 3 + k] = static_cast<uint8_t>((row[(x - 1) * 3 + k] + row[(x + 1) * 3 + k]) >> 1);
    }
  }
}

FrameSource::FrameSource(ui::Services& s, FrameTable& table, InputState& input, InputControls& c,
                         ImagePlanes& planes)
    : s_(s), table_(table), in_(input), c_(c), planes_(planes) {}

FrameSource::~FrameSource() = default;

std::shared_ptr<VideoSource> FrameSource::Video(const std::string& fileName) {
  ahead_.Wait();
  return VideoSourceCache::Get(fileName);
}

void FrameSource::PrefetchAviFrame(const std::string& fileName, int frame) {
  std::shared_ptr<VideoSource> video = Video(fileName);
  if (frame < video->startFrame() || frame >= video->startFrame() + video->frameCount()) return;
  ahead_.Start(std::move(video), frame);
}

void FrameSource::RunPerFrameStep() {
  if (in_.AlignPass && RegisterFrame) RegisterFrame();
  if (in_.StackPass && AccumulateFrame) AccumulateFrame();
}

void FrameSource::RunFrameSteps(int width, int height, const std::function<void()>& reload) {
  if (!c_.Interlaced.checked()) {
    in_.FieldIndex = 0;
    RunPerFrameStep();
    return;
  }
  const bool horizontal = c_.InterlaceHoriz.checked();
  in_.FieldIndex = 0;
  RebuildField(preview(), 0, horizontal, width, height);
  RunPerFrameStep();
  in_.FieldIndex = 1;
  reload();
  RebuildField(preview(), 1, horizontal, width, height);
  RunPerFrameStep();
}

void FrameSource::ReadAvi(const std::string& fileName, int mode) {
  if (mode == -2) return;
  in_.DroppedFramesSeen = false;
  struct CursorRestore {
    ui::UiServices& ui;
    ~CursorRestore() { ui.setCursor(ui::Cursor::Normal); }
  } restore{s_.ui};

  std::shared_ptr<VideoSource> video = Video(fileName);
  video->setDebayerMethod(ChosenDebayerMethod());
  in_.DeepFrame = false;
  const int start = video->startFrame();
  const int length = video->frameCount();

  c_.PreviewSlider.setMax(std::max(length - 1, 0));

  int first = start, last = length - 1;
  if (last - first > 4998) last = first + 4999;
  const bool single = mode >= 0;
  if (single) first = last = std::max(mode, start);
  const bool pass = first != last;

  ui::Bitmap24& pic = preview();
  int counted = 0;
  for (int i = first; i <= last; ++i) {
    if (i < 0 || i >= MaxFrames) break;
    FrameRecord& rec = table_[i];
    if (rec.Excluded == 1 && (in_.AlignPass || in_.StackPass)) continue;
    if (rec.Excluded == 0) {
      ++counted;
      if (pass && in_.SelectedCount > 0) s_.progress.setProgress(px::Round(100.0 * counted / in_.SelectedCount));
    }
    s_.ui.processEvents();
    if (in_.CancelRequested) break;

    if (!video->hasData(i)) {
      rec.Excluded = 1;
      rec.Dropped = 1;
      if (i < c_.SelectFramesChecklist.count()) {
        c_.SelectFramesChecklist.setText(i, "dropped frame");
        c_.SelectFramesChecklist.setState(i, ui::CheckState::Grayed);
      }
      in_.DroppedFramesSeen = true;
    }

    const bool run = pass && (in_.AlignPass || in_.StackPass);
    bool readable = true;
    try {
      if (!ahead_.Take(video.get(), i, pic)) video->decodeFrame(i, pic);
      DebayerPreview(*video);
      // 16-bit samples go to the stack at full depth, read before the next frame decodes ahead.
      in_.DeepFrame = in_.StackPass && video->sampleBits() > 8 && video->decodeDeep(i, planes_.OutputBitmap48);
    } catch (const std::exception& e) {
      if (!run) throw;
      readable = false;
      SkipUnreadable(i, e.what());
    }
    // During a pass the next frame in use decodes while this one is worked on.
    if (run) {
      int next = i + 1;
      while (next <= last && next < MaxFrames && table_[next].Excluded == 1) ++next;
      if (next <= last && next < MaxFrames) ahead_.Start(video, next);
    }
    if (!readable) continue;
    if (single) {
      in_.SourceWidth = pic.width();
      in_.SourceHeight = pic.height();
      in_.ImageWidth = std::min(pic.width(), MaxImageSide);
      in_.ImageHeight = std::min(pic.height(), MaxImageSide);
      in_.FrameWidth = in_.ImageWidth;
      in_.FrameHeight = in_.ImageHeight;
    }
    ShowPreview();
    in_.CurrentFrameIndex = i;

    if (rec.Excluded == 0 && (in_.AlignPass || in_.StackPass)) {
      if (c_.Interlaced.checked()) fieldCopy_.assign(pic);
      RunFrameSteps(in_.FrameWidth, in_.FrameHeight, [&] { pic.assign(fieldCopy_); });
    }
  }
}

DebayerMethod FrameSource::ChosenDebayerMethod() const {
  return c_.DebayerMethod.itemIndex() == 1 ? DebayerMethod::EdgeAware : DebayerMethod::Bilinear;
}

void FrameSource::DebayerPreview(const VideoSource& video) {
  if (!c_.Debayer.checked() || video.knowsColour() || video.sampleBits() > 8) return;
  ui::Bitmap24& pic = preview();
  const int w = pic.width(), h = pic.height();
  mosaic_.resize(static_cast<size_t>(w) * h);
  const uint8_t* s = pic.data();
  for (size_t i = 0; i < mosaic_.size(); ++i) mosaic_[i] = s[3 * i + 1];
  const auto pattern = static_cast<BayerPattern>(std::clamp(c_.DebayerPattern.itemIndex(), 0, 3));
  debayer_.Run(mosaic_.data(), static_cast<size_t>(w), w, h, pattern, ChosenDebayerMethod(), pic.data(), pic.stride(), 2);
}

bool FrameSource::ReadRunStill(int frame, InputKind kind) {
  try {
    ReadStillFrame(table_.fileNames[frame], kind);
    return true;
  } catch (const std::exception& e) {
    SkipUnreadable(frame, e.what());
    return false;
  }
}

void FrameSource::SkipUnreadable(int frame, const std::string& reason) {
  if (frame < 0 || frame >= MaxFrames) return;
  FrameRecord& rec = table_[frame];
  if (rec.Excluded == 0 && in_.SelectedCount > 0) --in_.SelectedCount;
  rec.Excluded = 1;
  rec.Dropped = 1;
  if (frame < c_.SelectFramesChecklist.count()) {
    c_.SelectFramesChecklist.setText(frame, in_.stillInput() ? px::ExtractFileName(table_.fileNames[frame]) +
                                                                   " (unreadable)"
                                                             : std::string("unreadable frame"));
    c_.SelectFramesChecklist.setState(frame, ui::CheckState::Grayed);
  }
  for (const UnreadableFrame& u : in_.UnreadableFrames)
    if (u.frame == frame) return;
  in_.UnreadableFrames.push_back({frame, reason});
}

std::string FrameSource::UnreadableReport() const {
  const auto& list = in_.UnreadableFrames;
  if (list.empty()) return {};
  std::string text = std::to_string(list.size()) + (list.size() == 1 ? " frame" : " frames") +
                     " could not be read and " + (list.size() == 1 ? "was" : "were") + " left out" +
                     (in_.stillInput() ? std::string(":") : " of " + in_.AviFileName + ":");
  constexpr size_t kNamed = 12;
  for (size_t k = 0; k < list.size() && k < kNamed; ++k) {
    const UnreadableFrame& u = list[k];
    // Still-frame reasons name their file.
    text += "\n" + (in_.stillInput() ? u.reason : "frame " + std::to_string(u.frame + 1) + ": " + u.reason);
  }
  if (list.size() > kNamed) text += "\n... and " + std::to_string(list.size() - kNamed) + " more";
  return text;
}

void FrameSource::ReportUnreadable() {
  const std::string text = UnreadableReport();
  if (!text.empty()) s_.ui.messageBox(text, ui::MsgKind::Warning, ui::ButtonsOK);
}

void FrameSource::ReadStillFrame(const std::string& path, InputKind kind) {
  try {
    ReadStillFrameFile(path, kind);
  } catch (const px::PelinoxaError& e) {
    // Reader texts speak of the data; the user needs to know which file.
    const std::string text = e.what();
    if (text.find(path) != std::string::npos) throw;
    throw px::PelinoxaError(text + " (\"" + path + "\")");
  }
}

void FrameSource::ReadStillFrameFile(const std::string& path, InputKind kind) {
  RequireReadableFile(path);
  ui::Bitmap24& pic = preview();
  switch (kind) {
    case ikFits:
      ReadFitsFrame(path);
      break;
    case ikTiff:
      ReadTiffFrame(path);
      break;
    case ikJpeg: {
      px::MappedFile m(path);
      formats::DecodeJpegInto(m.data(), m.size(), pic);
      break;
    }
    default: {
      // The picture loader of BMP input picks the reader by the file's extension, so a
      // sequence chosen with the BMP filter may hold JPEG, FITS or TIFF files too.
      std::string ext = px::LowerCase(px::ExtractFileExt(path));
      if (ext == ".jpg" || ext == ".jpeg") return ReadStillFrameFile(path, ikJpeg);
      if (ext == ".fit" || ext == ".fits" || ext == ".fts") return ReadStillFrameFile(path, ikFits);
      if (ext == ".tif" || ext == ".tiff") return ReadStillFrameFile(path, ikTiff);
      px::MappedFile m(path);
      ui::DecodeBmpInto(m.data(), m.size(), pic);
      break;
    }
  }
  ShowPreview();
}

}  // namespace frames

namespace frames {

void FrameSource::ReadFitsFrame(const std::string& path) {
  // A failed read must not leave the previous frame's values to be taken for this one.
  RequireReadableFile(path);
  s_.ui.setCursor(ui::Cursor::Busy);
  formats::FitsFrameInfo info;
  try {
    info = formats::ReadFitsFrameFile(
        path, in_.FitsStretch,
        [this](int w, int h) {
          planes_.FitsPlane.Create(w, h);
          return formats::PlaneRef{planes_.FitsPlane.Data(), planes_.FitsPlane.stride()};
        },
        preview());
  } catch (...) {
    s_.ui.setCursor(ui::Cursor::Normal);
    throw;
  }
  in_.ImageWidth = in_.FrameWidth = info.width;
  in_.ImageHeight = in_.FrameHeight = info.height;
  in_.FitsChannel = info.channel;
  if (info.channel == 3) {
    c_.Lumichannel.setVisible(true);
    c_.LRGB1.setChecked(true);
    if (LuminanceFitsRead) LuminanceFitsRead();
  }
  s_.ui.setCursor(ui::Cursor::Normal);
}

void FrameSource::ReadTiffFrame(const std::string& path) {
  planes_.OutputBitmap48.LoadTiff(path);
  preview().assign(planes_.OutputBitmap48.display);
  in_.ImageWidth = in_.FrameWidth = std::min(preview().width(), MaxImageSide);
  in_.ImageHeight = in_.FrameHeight = std::min(preview().height(), MaxImageSide);
}

}  // namespace frames
