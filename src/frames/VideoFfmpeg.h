#pragma once
// A thin owner of one FFmpeg video decoder and its conversion to 24-bit BGR. Packets, frames
// and the scaler are reused from call to call, so a sequential pass allocates nothing of ours.
// FFmpeg's own headers stay inside the .cpp files.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "frames/AviContainer.h"
#include "ui/Bitmap24.h"

struct AVCodecParameters;
struct AVPacket;

namespace frames {

class FfmpegDecoder {
 public:
  // The decoder FFmpeg maps to the RIFF FourCC of an AVI stream format, set up with the
  // codec data and palette that follow the bitmap header.
  static std::unique_ptr<FfmpegDecoder> ForAviFormat(const AviBitmapFormat& format);
  // The decoder for a demuxed stream.
  static std::unique_ptr<FfmpegDecoder> ForStream(const AVCodecParameters* params);
  ~FfmpegDecoder();
  FfmpegDecoder(const FfmpegDecoder&) = delete;
  FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

  // Every frame stands alone (the codec descriptor says intra-only).
  bool intraOnly() const;
  std::string codecName() const;

  // Drops all decoder state; the next packet must start a keyframe.
  void reset();
  enum class Status { Ok, Again, End, Error };
  // Feeds one packet (copied into a padded buffer that is reused); Again when the decoder
  // wants its output taken first.
  Status send(const uint8_t* data, size_t size, int64_t pts);
  // Feeds a demuxed packet as it is.
  Status sendPacket(const AVPacket* packet);
  // Tells the decoder that no more packets come, so it gives out what it holds.
  Status sendEnd();
  // Takes the next decoded frame (kept until the next receive or reset).
  Status receive();
  bool frameIsKey() const;
  int64_t framePts() const;        // best-effort timestamp of the frame
  int64_t framePacketPts() const;  // pts of the packet the picture came in
  // Converts the frame last received into `out`.
  void convert(ui::Bitmap24& out);

  struct Impl;  // FFmpeg objects, defined in the .cpp

 private:
  explicit FfmpegDecoder(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Makes FFmpeg quiet (it would print every damaged frame to stderr). Called by the decoders.
void QuietFfmpegLog();

}  // namespace frames
