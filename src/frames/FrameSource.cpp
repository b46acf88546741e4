#include "frames/FrameSource.h"

#include <algorithm>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "formats/Jpeg.h"
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

FrameSource::FrameSource(ui::Services& s, FrameTable& table, InputState& input, InputControls& c)
    : s_(s), table_(table), in_(input), c_(c) {}

FrameSource::~FrameSource() = default;

std::shared_ptr<VideoSource> FrameSource::Video(const std::string& fileName) {
  return VideoSourceCache::Get(fileName);
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

    video->decodeFrame(i, pic);
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

void FrameSource::ReadStillFrame(const std::string& path, InputKind kind) {
  ui::Bitmap24& pic = preview();
  switch (kind) {
    case ikFits:
      if (!ReadFitsFrame) throw px::PelinoxaError("FITS frames cannot be read by this program version");
      ReadFitsFrame(path);
      break;
    case ikTiff:
      if (!ReadTiffFrame) throw px::PelinoxaError("TIFF frames cannot be read by this program version");
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
      if (ext == ".jpg" || ext == ".jpeg") return ReadStillFrame(path, ikJpeg);
      if (ext == ".fit" || ext == ".fits" || ext == ".fts") return ReadStillFrame(path, ikFits);
      if (ext == ".tif" || ext == ".tiff") return ReadStillFrame(path, ikTiff);
      px::MappedFile m(path);
      ui::DecodeBmpInto(m.data(), m.size(), pic);
      break;
    }
  }
  ShowPreview();
}

}  // namespace frames
