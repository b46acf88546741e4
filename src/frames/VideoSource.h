#pragma once
// Video frame sources: a video file opened once, answering its frame numbers, which samples
// hold data, and decoding any frame as a 24-bit BGR top-down picture.
//
// Two layers sit behind the interface: the native RIFF/AVI reader for uncompressed video
// (memory-mapped, no copy but the pixel conversion) and FFmpeg for compressed AVIs (fed from
// the native index, so dropped frames are known exactly) and for other containers.
//
// Every failure raises px::PelinoxaError with one of the texts in frames::avierr.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/TiffBitmap.h"
#include "frames/Debayer.h"
#include "ui/Bitmap24.h"

namespace frames {

// Bytes a source reads from; `owner` keeps them alive (a mapping, a vector, or nothing when
// the caller guarantees their lifetime).
struct VideoBytes {
  VideoBytes() = default;
  VideoBytes(const uint8_t* d, size_t n, std::shared_ptr<const void> o = nullptr)
      : data(d), size(n), owner(std::move(o)) {}
  const uint8_t* data = nullptr;
  size_t size = 0;
  std::shared_ptr<const void> owner;
  // For a mapped file: its path, and the slot guarding the mapping (MapGuard.h), or -1.
  std::string path;
  int guardSlot = -1;
};

// The bytes that can still be read: for a mapped file, no more than the file holds now
// (another program may have shortened it since it was mapped).
size_t LiveSize(const VideoBytes& bytes);

class VideoSource {
 public:
  virtual ~VideoSource() = default;

  // Number of the first frame (the stream's start sample); frames are startFrame() ..
  // startFrame() + frameCount() - 1.
  virtual int32_t startFrame() const = 0;
  // Number of frames (samples) in the stream.
  virtual int32_t frameCount() const = 0;
  // False for a sample without data (a dropped frame) and for numbers outside the stream.
  virtual bool hasData(int32_t frame) const = 0;
  // Frame size from the stream format.
  virtual int width() const = 0;
  virtual int height() const = 0;
  // Decodes a frame into `out` (24-bit BGR, rows top to bottom), resizing it only when the
  // size differs. A dropped frame shows the last frame before it that holds data (black when
  // there is none). Throws "Failed to decompress AVI frame".
  virtual void decodeFrame(int32_t frame, ui::Bitmap24& out) = 0;
  // Short description for diagnostics, e.g. "AVI (OpenDML index) BI_RGB 24-bit 640x480".
  virtual std::string describe() const = 0;
  // Significant bits per sample; sources deeper than 8 bits also decode at full depth.
  virtual int sampleBits() const { return 8; }
  // The frame's 16-bit samples (R, G, B per pixel, scaled to the full 16 bits) into `out`'s
  // 16-bit buffer, re-created only when its size differs. False when the source has none.
  virtual bool decodeDeep(int32_t /*frame*/, formats::TTIFFBitMap& /*out*/) { return false; }
  // Remarks on the file worth the user's attention (frames missing, a trailer ignored); "" when none.
  virtual std::string warnings() const { return ""; }
  // True when the file itself says how its frames become colour (SER colour ids), so the
  // Input page's mosaic choice does not apply.
  virtual bool knowsColour() const { return false; }
  // How raw mosaics become colour (sources that know their mosaic).
  virtual void setDebayerMethod(DebayerMethod /*m*/) {}
};

// Opens a video file: SER captures through the native SER reader, RIFF AVI files through the native reader (uncompressed formats) or the
// native index with an FFmpeg decoder (compressed formats); anything else through FFmpeg's
// demuxers. Throws "Failed to open AVI file" when the file cannot be read or recognised. The
// texts of errors raised when opening a file end with the file's name in brackets and
// parentheses, e.g. `Failed to open AVI file: permission denied ("/a/b.avi")`. A read of a
// file another program has shortened meanwhile throws avierr::Shrunk instead of crashing.
std::unique_ptr<VideoSource> OpenVideo(const std::string& path);

// The same over bytes in memory.
std::unique_ptr<VideoSource> OpenVideoBytes(VideoBytes bytes);

// The native reader alone over bytes in memory (tests and the fuzzer): formats that need a
// codec raise "Failed to start AVI decompression".
std::unique_ptr<VideoSource> OpenAviNative(VideoBytes bytes);

// Keeps recently used sources open so that a file's index is read once, not for every frame
// or slider move. A file is reopened when it changed on disk (device, inode, size or
// modification time differ). User-interface thread only.
class VideoSourceCache {
 public:
  // The open source for `path`, opening it when needed. Throws like OpenVideo.
  static std::shared_ptr<VideoSource> Get(const std::string& path);
  // Closes the source of one file, or all.
  static void Forget(const std::string& path);
  static void Clear();
  static constexpr size_t kCapacity = 4;
};

}  // namespace frames
