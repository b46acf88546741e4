// libFuzzer target: the BMP reader must decode any input or refuse it with PelinoxaError.
#include <cstddef>
#include <cstdint>

#include "base/Error.h"
#include "ui/BmpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    ui::Bitmap24 picture = ui::DecodeBmp(data, size);
    if (picture.empty()) __builtin_trap();  // a decoded picture always has pixels
  } catch (const px::PelinoxaError&) {
  }
  return 0;
}
