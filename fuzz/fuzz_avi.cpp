// Feeds arbitrary bytes to the native AVI reader and decodes every frame it finds.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/Error.h"
#include "frames/VideoSource.h"
#include "ui/Bitmap24.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    auto video = frames::OpenAviNative(frames::VideoBytes{data, size, nullptr});
    // Huge declared sizes are legal; decoding them only slows the fuzzer down.
    if (static_cast<int64_t>(video->width()) * video->height() > (1 << 22)) return 0;
    ui::Bitmap24 out;
    const int32_t first = video->startFrame();
    const int32_t count = std::min(video->frameCount(), 256);
    for (int32_t i = first - 1; i <= first + count; ++i) {
      (void)video->hasData(i);
      try {
        video->decodeFrame(i, out);
      } catch (const px::PelinoxaError&) {
      }
    }
  } catch (const px::PelinoxaError&) {
  }
  return 0;
}
