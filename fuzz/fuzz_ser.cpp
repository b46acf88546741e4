// Feeds arbitrary bytes to the SER reader and decodes every frame it finds, for display and at
// full depth, with both debayering methods.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/Error.h"
#include "formats/TiffBitmap.h"
#include "frames/VideoSource.h"
#include "ui/Bitmap24.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    auto video = frames::OpenVideoBytes(frames::VideoBytes{data, size, nullptr});
    if (!video->knowsColour()) return 0;  // not a SER file; the AVI target covers the rest
    // Huge declared sizes are legal; decoding them only slows the fuzzer down.
    if (static_cast<int64_t>(video->width()) * video->height() > (1 << 20)) return 0;
    (void)video->describe();
    (void)video->warnings();
    ui::Bitmap24 out;
    formats::TTIFFBitMap deep;
    const int32_t count = std::min(video->frameCount(), 64);
    for (int32_t i = -1; i <= count; ++i) {
      video->setDebayerMethod(i % 2 ? frames::DebayerMethod::EdgeAware : frames::DebayerMethod::Bilinear);
      try {
        video->decodeFrame(i, out);
        video->decodeDeep(i, deep);
      } catch (const px::PelinoxaError&) {
      }
    }
  } catch (const px::PelinoxaError&) {
  }
  return 0;
}
