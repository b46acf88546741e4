// TIFF reader: any input either loads or raises PelinoxaError. Small images that load are
// written back (48 bits, LZW) and must read back to the same samples.
#include <cstdint>
#include <cstdlib>

#include "base/Error.h"
#include "formats/TiffBitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  formats::TTIFFBitMap bm;
  try {
    bm.LoadTiffBytes(data, size);
  } catch (const px::PelinoxaError&) {
    return 0;
  }
  if (int64_t(bm.width48()) * bm.height48() > 4096) return 0;
  std::vector<uint8_t> file = bm.EncodeTiff(48, true);
  formats::TTIFFBitMap back;
  back.LoadTiffBytes(file.data(), file.size());
  for (int y = 0; y < bm.height48(); ++y)
    for (int i = 0; i < bm.width48() * 3; ++i)
      if (back.row16(y)[i] != bm.row16(y)[i]) std::abort();
  return 0;
}
