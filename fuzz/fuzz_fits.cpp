// FITS header and frame reading: any input reads or raises PelinoxaError.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/Error.h"
#include "formats/FitsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<float> plane;
  ui::Bitmap24 preview;
  for (bool stretch : {false, true}) {
    try {
      formats::ReadFitsFrame(data, size, "frame_R.fit", stretch, [&](int w, int h) {
        plane.assign(size_t(w + 10) * size_t(h + 10), 0.0f);
        return formats::PlaneRef{plane.data(), w + 10};
      }, preview);
    } catch (const px::PelinoxaError&) {
    }
  }
  try {
    formats::FitsHeader h = formats::ReadFitsHeader(data, size);
    int w = int(std::min<int64_t>(std::max<int64_t>(h.naxis1, 0), formats::MaxFitsSide));
    int hh = int(std::min<int64_t>(std::max<int64_t>(h.naxis2, 0), formats::MaxFitsSide));
    formats::CheckFitsData(h, size);
    plane.assign(size_t(w + 10) * size_t(hh + 10), 0.0f);
    formats::ReadFitsValues(data, size, h, formats::PlaneRef{plane.data(), w + 10}, w, hh, 128.0);
  } catch (const px::PelinoxaError&) {
  }
  return 0;
}
