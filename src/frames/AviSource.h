#pragma once
// The two AVI sources: native decoding of uncompressed formats, and an FFmpeg decoder fed
// with the chunks of the native index. Both share the frame numbering and the dropped-frame
// rules of AviSourceBase.
#include <memory>
#include <optional>
#include <string>

#include "frames/AviContainer.h"
#include "frames/AviPixelFormats.h"
#include "frames/VideoSource.h"

namespace frames {

class AviSourceBase : public VideoSource {
 public:
  AviSourceBase(VideoBytes bytes, AviContainer container);

  int32_t startFrame() const override { return start_; }
  int32_t frameCount() const override { return count_; }
  bool hasData(int32_t frame) const override;
  int width() const override { return avi_.format.width; }
  int height() const override { return avi_.format.height < 0 ? -avi_.format.height : avi_.format.height; }

  const AviContainer& container() const { return avi_; }

 protected:
  // Sample index to show for a frame: the frame's own sample, or for a dropped frame the last
  // one before it holding data; nullopt when there is none. Throws for numbers outside.
  std::optional<size_t> sampleToShow(int32_t frame) const;
  // The sample's bytes, checked against the file; throws "Failed to decompress AVI frame".
  const uint8_t* sampleBytes(size_t k) const;
  std::string indexName() const;

  VideoBytes bytes_;
  AviContainer avi_;
  int32_t start_ = 0, count_ = 0;
};

// Uncompressed video decoded by AviPixelFormats straight from the mapped file.
class AviRawSource final : public AviSourceBase {
 public:
  AviRawSource(VideoBytes bytes, AviContainer container, AviRawLayout layout);
  void decodeFrame(int32_t frame, ui::Bitmap24& out) override;
  std::string describe() const override;

 private:
  const AviPalette* paletteFor(size_t k);

  AviRawLayout layout_;
  AviPalette palette_{};      // palette after the first `paletteApplied_` changes
  size_t paletteApplied_ = 0;
};

// Compressed AVI video: FFmpeg decodes the chunks our index finds. Throws
// "Failed to start AVI decompression" when FFmpeg has no decoder for the FourCC.
std::unique_ptr<VideoSource> MakeAviCodecSource(VideoBytes bytes, AviContainer container);

// Non-AVI containers through FFmpeg's demuxers.
std::unique_ptr<VideoSource> MakeFfmpegContainerSource(VideoBytes bytes);

// "BI_RGB", "BI_BITFIELDS" or the FourCC as text.
std::string CompressionName(uint32_t compression);

}  // namespace frames
