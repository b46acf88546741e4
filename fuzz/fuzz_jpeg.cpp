// JPEG decoder: any input decodes or raises PelinoxaError (libjpeg must never exit).
#include <cstdint>

#include "base/Error.h"
#include "formats/Jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    ui::Bitmap24 b = formats::DecodeJpeg(data, size);
    (void)b;
  } catch (const px::PelinoxaError&) {
  }
  return 0;
}
