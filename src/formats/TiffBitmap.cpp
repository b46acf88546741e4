#include "formats/TiffBitmap.h"

#include <new>

namespace formats {

void TTIFFBitMap::Allocate48(int width, int height) {
  buf_.reset();
  w_ = width > 0 ? width : 0;
  h_ = height > 0 ? height : 0;
  size_t n = static_cast<size_t>(w_) * h_ * 3;
  if (n == 0) n = 3;
  auto* p = static_cast<uint16_t*>(std::calloc(n, sizeof(uint16_t)));
  if (!p) throw std::bad_alloc();
  buf_.reset(p);
}

void TTIFFBitMap::Release48() {
  buf_.reset();
  w_ = h_ = 0;
  has16Bit = false;
}

}  // namespace formats
