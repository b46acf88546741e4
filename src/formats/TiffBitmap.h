#pragma once
// TTIFFBitMap: a 24-bit display picture and a 16-bit-per-channel RGB sample buffer in one
// object. The program keeps one (OutputBitmap48): TIFF frames are read into it, stacking
// reads TIFF frames' 16-bit samples from it, and the 16-bit savers fill and write it.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "formats/TiffDirectory.h"
#include "ui/Bitmap24.h"

namespace formats {

constexpr int MaxTiffRows = 8193;     // size of the row table
constexpr int MaxTiffWidth = 65535;   // widest image read or written (a SHORT in our directory)
constexpr int64_t MaxTiffPixels = int64_t(8192) * MaxTiffRows;  // largest image read

class TTIFFBitMap {
 public:
  ui::Bitmap24 display;   // the display picture (bytes B, G, R)
  bool has16Bit = false;  // the 16-bit buffer holds valid samples
  int bitsPerPixel = 24;  // of the last image read or written
  bool monochrome = false;  // the last image read was grey or bilevel (Photometric 0 or 1)
  TIFD directory;         // of the last file read or written

  // (Re)creates the 16-bit buffer: height rows of width * 3 samples (R, G, B), zero-filled.
  // The zero pages are obtained from the system lazily, so a large buffer is not touched.
  void Allocate48(int width, int height);
  void Release48();
  int width48() const { return w_; }
  int height48() const { return h_; }
  uint16_t* row16(int y) { return buf_.get() + static_cast<size_t>(y) * w_ * 3; }
  const uint16_t* row16(int y) const { return buf_.get() + static_cast<size_t>(y) * w_ * 3; }
  size_t rowBytes48() const { return static_cast<size_t>(w_) * 6; }

  // Reads the first image of a TIFF file: the display picture at the image's size and the
  // 16-bit buffer (re-created, zero-filled, marked valid) with the samples the depth gives:
  //   1, 4, 8 bits (bilevel, grey, palette) and 32 bits: display only, buffer stays zero;
  //   16-bit grey: display v >> 8, buffer R = G = B = v;  24-bit RGB: buffer = byte * 256;
  //   48-bit RGB: buffer = the samples, display = their high bytes.
  // Uncompressed, LZW, Deflate and PackBits strips (a compressed strip whose byte count is too
  // small is read on to its own end). Throws px::PelinoxaError for a bad header ("Invalid TIFF
  // header", "Invalid TIFF header: no dimension"), an image taller than MaxTiffRows, wider than
  // MaxTiffWidth or larger than MaxTiffPixels, a depth it cannot show, another compression
  // (named), or strips that are missing, lie outside the file or give fewer bytes than their
  // rows ("TIFF file is truncated: ..."); the object is unchanged then.
  void LoadTiff(const std::string& path);
  void LoadTiffBytes(const uint8_t* data, size_t size);

  // Writes the image as a little-endian TIFF with a 14-entry directory and one strip at byte
  // 182, atomically. bitsPerPixel: 48 (RGB from the 16-bit buffer), 16 (grey from the 16-bit
  // buffer), 24 (RGB from the display), 8 or 4 (grey from the display), 1 (bilevel, 0 = white).
  // When the 16-bit buffer is empty, 16 and 48 bits take the display's bytes * 257.
  // Throws px::PelinoxaError when the file cannot be written or the image cannot be stored.
  void SaveTiff(const std::string& path, int bitsPerPixel, bool compress);
  std::vector<uint8_t> EncodeTiff(int bitsPerPixel, bool compress);

 private:
  struct FreeDeleter {
    void operator()(uint16_t* p) const { std::free(p); }
  };
  std::unique_ptr<uint16_t, FreeDeleter> buf_;
  int w_ = 0, h_ = 0;
};

}  // namespace formats
