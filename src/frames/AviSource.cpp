#include "frames/AviSource.h"

#include <algorithm>
#include <climits>

#include "base/Error.h"

namespace frames {

AviSourceBase::AviSourceBase(VideoBytes bytes, AviContainer container)
    : bytes_(std::move(bytes)), avi_(std::move(container)) {
  start_ = static_cast<int32_t>(avi_.start);
  size_t room = static_cast<size_t>(INT32_MAX) - static_cast<size_t>(start_);
  count_ = static_cast<int32_t>(std::min(avi_.samples.size(), room));
}

bool AviSourceBase::hasData(int32_t frame) const {
  if (frame < start_ || frame - start_ >= count_) return false;
  return avi_.samples[static_cast<size_t>(frame - start_)].size > 0;
}

std::optional<size_t> AviSourceBase::sampleToShow(int32_t frame) const {
  if (frame < start_ || frame - start_ >= count_) throw px::PelinoxaError(avierr::Decompress);
  size_t k = static_cast<size_t>(frame - start_);
  for (;;) {
    if (avi_.samples[k].size > 0) return k;
    if (k == 0) return std::nullopt;
    --k;
  }
}

const uint8_t* AviSourceBase::sampleBytes(size_t k) const {
  const uint8_t* p = avi_.sampleData(bytes_.data, bytes_.size, k);
  if (!p) throw px::PelinoxaError(std::string(avierr::Decompress) + ": its data lie past the end of the file");
  // A capture being written or cut by another program may have shrunk since it was mapped.
  if (!bytes_.path.empty() && !avi_.sampleData(bytes_.data, LiveSize(bytes_), k))
    throw px::PelinoxaError(avierr::Shrunk);
  return p;
}

std::string AviSourceBase::indexName() const {
  switch (avi_.indexKind) {
    case AviIndexKind::OpenDml: return "OpenDML index";
    case AviIndexKind::Idx1: return "idx1 index";
    case AviIndexKind::Scan: return "no index";
  }
  return "";
}

std::string CompressionName(uint32_t c) {
  if (c == 0) return "BI_RGB";
  if (c == 1) return "BI_RLE8";
  if (c == 2) return "BI_RLE4";
  if (c == 3) return "BI_BITFIELDS";
  std::string s;
  for (int i = 0; i < 4; ++i) {
    char ch = static_cast<char>((c >> (8 * i)) & 0xFF);
    s += (ch >= 32 && ch < 127) ? ch : '?';
  }
  return s;
}

AviRawSource::AviRawSource(VideoBytes bytes, AviContainer container, AviRawLayout layout)
    : AviSourceBase(std::move(bytes), std::move(container)), layout_(std::move(layout)) {
  palette_ = layout_.palette;
}

const AviPalette* AviRawSource::paletteFor(size_t k) {
  const auto& changes = avi_.paletteChanges;
  if (changes.empty() || (layout_.kind != AviRawKind::Pal8)) return nullptr;
  // Changes apply from their sample on; they are in file order, so a count suffices.
  size_t n = static_cast<size_t>(
      std::upper_bound(changes.begin(), changes.end(), k,
                       [](size_t s, const AviPaletteChange& c) { return s < c.fromSample; }) -
      changes.begin());
  if (n < paletteApplied_) {
    palette_ = layout_.palette;
    paletteApplied_ = 0;
  }
  for (; paletteApplied_ < n; ++paletteApplied_) {
    const AviPaletteChange& c = changes[paletteApplied_];
    if (c.offset <= bytes_.size && c.size <= bytes_.size - c.offset)
      ApplyPaletteChange(bytes_.data + c.offset, c.size, palette_);
  }
  return &palette_;
}

void AviRawSource::decodeFrame(int32_t frame, ui::Bitmap24& out) {
  std::optional<size_t> k = sampleToShow(frame);
  if (!k) {
    if (out.width() != layout_.width || out.height() != layout_.height) out.reset(layout_.width, layout_.height);
    else out.fill(ui::colors::Black);
    return;
  }
  const uint8_t* p = sampleBytes(*k);
  DecodeRawFrame(layout_, p, avi_.samples[*k].size, out, paletteFor(*k));
}

std::string AviRawSource::describe() const {
  return "AVI (" + indexName() + ") " + CompressionName(avi_.format.compression) + " " +
         std::to_string(avi_.format.bitCount) + "-bit " + std::to_string(width()) + "x" + std::to_string(height());
}

}  // namespace frames
