#pragma once
// TTIFFBitMap: a 24-bit display picture and a 16-bit-per-channel RGB sample buffer in one
// object. The program keeps one (OutputBitmap48): TIFF frames are read into it, stacking
// reads TIFF frames' 16-bit samples from it, and the 16-bit savers fill and write it.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "ui/Bitmap24.h"

namespace formats {

constexpr int MaxTiffRows = 8193;  // size of the row table

class TTIFFBitMap {
 public:
  ui::Bitmap24 display;   // the display picture (bytes B, G, R)
  bool has16Bit = false;  // the 16-bit buffer holds valid samples
  int bitsPerPixel = 24;  // of the last image read or written

  // (Re)creates the 16-bit buffer: height rows of width * 3 samples (R, G, B), zero-filled.
  // The zero pages are obtained from the system lazily, so a large buffer is not touched.
  void Allocate48(int width, int height);
  void Release48();
  int width48() const { return w_; }
  int height48() const { return h_; }
  uint16_t* row16(int y) { return buf_.get() + static_cast<size_t>(y) * w_ * 3; }
  const uint16_t* row16(int y) const { return buf_.get() + static_cast<size_t>(y) * w_ * 3; }
  size_t rowBytes48() const { return static_cast<size_t>(w_) * 6; }

 private:
  struct FreeDeleter {
    void operator()(uint16_t* p) const { std::free(p); }
  };
  std::unique_ptr<uint16_t, FreeDeleter> buf_;
  int w_ = 0, h_ = 0;
};

}  // namespace formats
