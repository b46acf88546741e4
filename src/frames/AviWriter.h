#pragma once
// A small writer of uncompressed AVI files: one video stream whose chunks the caller packs
// (helpers below pack a Bitmap24). AVI 1.0 with an 'idx1' index (offsets relative to 'movi'
// or absolute), no index at all, or OpenDML ('indx' super index, one 'ix00' per RIFF,
// 'AVIX' extensions every ~1 GiB, 'idx1' over the first RIFF) for files past 1 GiB.
// A frame of size 0 is written as an empty "00db" chunk: a dropped frame.
// The file is written under a temporary name and renamed when finish() succeeds.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/Bitmap24.h"

namespace frames {

struct AviWriterOptions {
  int width = 0;
  int height = 0;            // rows; the stored biHeight is negative when topDown
  bool topDown = false;      // RGB only: negative biHeight
  uint32_t compression = 0;  // BI_RGB, BI_BITFIELDS (3) or a FourCC ('Y800', 'YUY2' ...)
  uint16_t bitCount = 24;
  std::vector<uint32_t> palette;  // 0x00RRGGBB entries for 8-bit BI_RGB
  std::vector<uint32_t> masks;    // red, green, blue masks for BI_BITFIELDS
  uint32_t rate = 25, scale = 1;  // frames per second = rate / scale
  uint32_t start = 0;             // dwStart of the stream header
  enum class Index { Idx1, Idx1Absolute, None, OpenDml } index = Index::Idx1;
  uint64_t riffLimit = 1ull << 30;  // OpenDML: start a new RIFF past this many bytes
};

class AviWriter {
 public:
  // Creates the temporary file. Throws px::PelinoxaError when it cannot.
  AviWriter(const std::string& path, AviWriterOptions options);
  ~AviWriter();  // without finish(): the temporary file is removed
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Appends one frame chunk ("00db"); size 0 writes a dropped frame.
  void addFrame(const uint8_t* data, size_t size);
  void addFrame(const std::vector<uint8_t>& chunk) { addFrame(chunk.data(), chunk.size()); }
  // Appends a chunk of `size` bytes without writing its data (a sparse hole reading as zeros):
  // for very large test files.
  void addHole(size_t size);
  // Writes the indexes, patches the headers and renames the file into place.
  void finish();

  uint64_t frames() const { return frames_.size(); }
  // Bytes of one frame for the format (rows padded to 4 bytes for RGB).
  size_t frameBytes() const;

 private:
  struct Entry {
    uint64_t pos;   // of the chunk header
    uint32_t size;
  };
  struct Riff {
    uint64_t riffPos, moviPos;  // of the RIFF header and of the 'movi' list header
    size_t firstEntry, endEntry;
    uint64_t ixPos = 0;
    uint32_t ixSize = 0;
  };
  std::vector<uint8_t> streamFormat() const;
  void writeHeader();
  void writeMainHeader();
  void writeStreamList(uint32_t strlSize, const std::vector<uint8_t>& strf, uint32_t indxSize);
  void writeOdmlList(uint32_t odmlSize);
  void put(const void* data, size_t size);
  void put32(uint32_t v);
  void put8(uint8_t v);
  void put16(uint16_t v);
  void put64(uint64_t v);
  uint64_t tell();
  void seek(uint64_t pos);
  void patch32(uint64_t pos, uint32_t v);
  void beginChunkData(uint32_t size);
  void closeRiff();
  void openExtensionRiff();
  void fail();

  std::string path_, temp_;
  AviWriterOptions o_;
  std::FILE* f_ = nullptr;
  std::vector<Entry> frames_;
  std::vector<Riff> riffs_;
  uint32_t maxChunk_ = 0;
  uint64_t avihFramesPos_ = 0, strhLengthPos_ = 0, strhBufferPos_ = 0, avihBufferPos_ = 0;
  uint64_t indxPos_ = 0, dmlhPos_ = 0;
  bool finished_ = false;
};

// Row packing of a picture for the common formats.
void PackBgr24(const ui::Bitmap24& bmp, bool bottomUp, std::vector<uint8_t>& out);  // 4-byte rows
// 8-bit: the green byte of each pixel (grey pictures have equal channels); rows padded to 4
// bytes and bottom-up when `dib`, packed top-down otherwise (Y800).
void PackGrey8(const ui::Bitmap24& bmp, bool dib, std::vector<uint8_t>& out);

uint32_t FourCCFromText(const char* text);  // "Y800" -> the FourCC value

}  // namespace frames
