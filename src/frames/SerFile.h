#pragma once
// The SER capture format: a 178-byte header, the frames back to back (rows top to bottom,
// samples of 8 bits, or 16-bit words for depths 9 to 16), then optionally one 64-bit time
// stamp per frame (100-ns ticks since 1 January of year 1, UTC).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frames/Debayer.h"

namespace frames {

constexpr size_t kSerHeaderSize = 178;

enum class SerColour { Mono, Bayer, Rgb, Bgr };

struct SerHeader {
  int32_t luId = 0;
  int32_t colorId = 0;       // 0 mono, 8..11 Bayer RGGB/GRBG/GBRG/BGGR, 16..19 CMY mosaics, 100 RGB, 101 BGR
  int32_t littleEndian = 0;  // the header's flag, whatever it is worth (see SerLayout)
  int32_t width = 0, height = 0;
  int32_t depth = 0;         // significant bits per sample
  int32_t frameCount = 0;
  std::string observer, instrument, telescope;
  int64_t dateTime = 0, dateTimeUtc = 0;
};

// What a reader needs to know of a SER file, checked against the bytes it has.
struct SerLayout {
  SerHeader header;
  SerColour colour = SerColour::Mono;
  BayerPattern pattern = BayerPattern::RGGB;
  int planes = 1;            // samples per pixel
  int bytesPerSample = 1;
  bool littleEndian = true;  // the byte order of 16-bit samples actually used
  std::string byteOrderNote; // how it was chosen
  size_t frameBytes = 0;
  int32_t frames = 0;        // frames present in the file
  std::vector<int64_t> timeStamps;  // one per frame, or none
  std::vector<std::string> notes;   // short remarks: missing frames, odd trailer ...

  size_t frameOffset(int32_t k) const { return kSerHeaderSize + static_cast<size_t>(k) * frameBytes; }
};

// True when the bytes start with the SER file id.
bool LooksLikeSer(const uint8_t* data, size_t size);

// Reads and checks the header, counts the frames the file holds, reads the time-stamp
// trailer and settles the byte order of 16-bit samples from the data (capture programs write
// little-endian samples with either flag value). Throws px::PelinoxaError with a text that
// says what is wrong, for a truncated header, an unknown or unsupported colour id, absurd
// sizes or depth, or no complete frame.
SerLayout ParseSer(const uint8_t* data, size_t size);

// The header's fields and the trailer's time span in one line, for the input information.
std::string DescribeSer(const SerLayout& layout);

// A time stamp (100-ns ticks since 0001-01-01) as "YYYY-MM-DD hh:mm:ss.fff"; "" for 0 or absurd values.
std::string SerTimeText(int64_t ticks);

// Writes a SER file's bytes (tests and the sample generator). `samples` hold frames x
// height x width x planes values; 16-bit samples are stored in the given byte order, with the
// header flag as given. An empty `timeStamps` writes no trailer.
struct SerWriteOptions {
  int32_t colorId = 0;
  int32_t width = 0, height = 0, depth = 8;
  bool littleEndianData = true;
  int32_t littleEndianFlag = 0;
  std::string observer, instrument, telescope;
  int64_t dateTime = 0, dateTimeUtc = 0;
  std::vector<int64_t> timeStamps;
};
std::vector<uint8_t> WriteSerBytes(const SerWriteOptions& o, const std::vector<uint16_t>& samples, int32_t frames);

}  // namespace frames
