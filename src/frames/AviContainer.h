#pragma once
// RIFF/AVI container reader over a byte span: finds the first video stream, its stream header
// and bitmap format, and builds a table of the stream's samples from the OpenDML index
// ('indx' super index with 'ix##' chunks, across 'AVIX' extensions), the AVI 1.0 'idx1'
// index (offsets relative to 'movi' or absolute, detected), or a scan of the 'movi' lists.
// Chunks an idx1 index does not reach (an index cut short) are found by scanning after its end.
// All offsets are 64-bit and every one is checked against the span before use.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace frames {

// The fixed error texts of the video sources, one per failing step.
namespace avierr {
inline constexpr const char* OpenFile = "Failed to open AVI file";
inline constexpr const char* OpenStream = "Failed to open AVI stream";
inline constexpr const char* StreamInfo = "Failed to get AVI stream info";
inline constexpr const char* FormatSize = "Failed to get AVI stream format size";
inline constexpr const char* Format = "Failed to get AVI stream format";
inline constexpr const char* StartStream = "Failed to start AVI stream";
inline constexpr const char* StartDecompression = "Failed to start AVI decompression";
inline constexpr const char* Decompress = "Failed to decompress AVI frame";
inline constexpr const char* NoFrames = "The video holds no frames";
inline constexpr const char* Shrunk = "Failed to decompress AVI frame: the file has become shorter since it was opened";
}  // namespace avierr

constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

// The BITMAPINFOHEADER of the stream format plus everything that follows it in 'strf'
// (colour table, bit masks or codec setup data).
struct AviBitmapFormat {
  uint32_t headerSize = 0;
  int32_t width = 0;
  int32_t height = 0;  // negative: rows stored top-down
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;  // BI_RGB (0), BI_BITFIELDS (3) or a FourCC
  uint32_t sizeImage = 0;
  uint32_t clrUsed = 0;
  std::vector<uint8_t> strf;  // the whole 'strf' payload
};

// One sample of the video stream: where its data lies in the file.
struct AviSample {
  uint64_t offset = 0;  // of the chunk data (after the 8-byte chunk header)
  uint32_t size = 0;    // 0: the sample holds no data (a dropped frame)
  bool keyframe = true;
};

// A palette change chunk ('##pc'), applying from sample `fromSample` on.
struct AviPaletteChange {
  size_t fromSample = 0;
  uint64_t offset = 0;
  uint32_t size = 0;
};

enum class AviIndexKind { OpenDml, Idx1, Scan };

class AviContainer {
 public:
  // Parses the container. Throws px::PelinoxaError with one of the avierr texts.
  static AviContainer Parse(const uint8_t* data, size_t size);

  // True when the bytes start like a RIFF AVI file.
  static bool LooksLikeAvi(const uint8_t* data, size_t size);

  int streamNumber = 0;      // of the video stream, as in its chunk ids "##dc"
  uint32_t handler = 0;      // fccHandler of the stream header
  uint32_t scale = 0, rate = 0;
  uint32_t start = 0;        // dwStart: number of the first sample
  uint32_t length = 0;       // dwLength as written in the stream header
  AviBitmapFormat format;
  std::vector<AviSample> samples;
  std::vector<AviPaletteChange> paletteChanges;
  AviIndexKind indexKind = AviIndexKind::Scan;
  bool keyframesKnown = false;  // the index carried keyframe flags

  // The data of sample k, checked against the file; nullptr when it lies outside.
  const uint8_t* sampleData(const uint8_t* file, size_t fileSize, size_t k) const;
};

}  // namespace frames
