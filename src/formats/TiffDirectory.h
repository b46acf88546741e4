#pragma once
// TIFD: one TIFF image file directory, parsed from a file held in memory or built for writing.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace formats {

namespace tifftag {
constexpr uint16_t NewSubfileType = 254;
constexpr uint16_t ImageWidth = 256;
constexpr uint16_t ImageLength = 257;
constexpr uint16_t BitsPerSample = 258;
constexpr uint16_t Compression = 259;
constexpr uint16_t PhotometricInterpretation = 262;
constexpr uint16_t FillOrder = 266;
constexpr uint16_t StripOffsets = 273;
constexpr uint16_t Orientation = 274;
constexpr uint16_t SamplesPerPixel = 277;
constexpr uint16_t RowsPerStrip = 278;
constexpr uint16_t StripByteCounts = 279;
constexpr uint16_t PlanarConfiguration = 284;
constexpr uint16_t Predictor = 317;
constexpr uint16_t ColorMap = 320;
}  // namespace tifftag

class TIFD {
 public:
  bool intel = true;  // byte order: "II" (true) or "MM"
  uint32_t width = 0, height = 0;
  uint32_t bitsPerSample = 1;     // first value only
  uint32_t compression = 1;       // 1 none, 5 LZW
  uint32_t photometric = 1;       // 0 white is zero, 1 black is zero, 2 RGB, 3 palette
  uint32_t fillOrder = 1;
  uint32_t orientation = 1;       // read, not applied
  uint32_t samplesPerPixel = 1;
  uint32_t rowsPerStrip = 0xFFFFFFFFu;
  uint32_t planarConfiguration = 1;  // read, not applied
  uint32_t predictor = 1;         // 2 = horizontal differencing
  std::vector<uint32_t> stripOffsets;
  std::vector<uint32_t> stripByteCounts;  // empty when the file has none
  std::vector<uint16_t> colorMap;         // all reds, then greens, then blues; may be empty

  uint32_t bitsPerPixel() const { return samplesPerPixel * bitsPerSample; }
  bool monochrome() const { return photometric < 2; }

  // Parses the first directory of a whole TIFF file in memory. Throws px::PelinoxaError:
  // "Invalid TIFF header" for a bad signature, "Invalid TIFF header: no dimension" for a zero
  // width or height, and a message naming the fault for a directory outside the file.
  void Parse(const uint8_t* data, size_t size);

  // The directory our writer produces: 14 entries, little-endian, one strip at byte 182.
  // Appends the 8-byte header and the directory (182 bytes in all) to out.
  void AppendForWriting(std::vector<uint8_t>& out) const;
  static constexpr uint32_t WrittenDataOffset = 182;
};

}  // namespace formats
