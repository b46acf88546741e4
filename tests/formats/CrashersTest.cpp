// Inputs that once broke a reader or are hostile by construction (tests/data/crashers), replayed
// for ever: each must read or fail with a PelinoxaError, without crashing or writing outside
// its buffers.
#include <gtest/gtest.h>

#include "base/Error.h"
#include "formats/FitsReader.h"
#include "formats/Jpeg.h"
#include "formats/Lzw.h"
#include "formats/TiffBitmap.h"
#include "support/TestSupport.h"

namespace {

// Every folder holds inputs; an empty or missing one would make its test pass without reading.
std::vector<std::string> Files(const std::string& reader) {
  std::vector<std::string> out = pxtest::CrasherFiles(reader);
  EXPECT_FALSE(out.empty()) << "no inputs in tests/data/crashers/" << reader;
  return out;
}

TEST(Crashers, TiffInputs_LoadOrFailCleanly) {
  for (const auto& f : Files("tiff")) {
    std::vector<uint8_t> d = pxtest::ReadBytes(f);
    formats::TTIFFBitMap bm;
    try {
      bm.LoadTiffBytes(d.data(), d.size());
    } catch (const px::PelinoxaError&) {
    }
  }
}

TEST(Crashers, LzwInputs_DecodeWithinTheirBuffer) {
  for (const auto& f : Files("lzw")) {
    std::vector<uint8_t> d = pxtest::ReadBytes(f);
    if (d.size() < 2) continue;
    size_t limit = size_t(d[0] | d[1] << 8);
    std::vector<uint8_t> out(limit + 16, 0xA5);
    EXPECT_LE(formats::LzwDecode(d.data() + 2, d.size() - 2, out.data(), limit), limit) << f;
    for (size_t i = limit; i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5) << f;
  }
}

TEST(Crashers, FitsInputs_ReadOrFailCleanly) {
  for (const auto& f : Files("fits")) {
    std::vector<uint8_t> d = pxtest::ReadBytes(f);
    std::vector<float> plane;
    ui::Bitmap24 preview;
    try {
      formats::ReadFitsFrame(d.data(), d.size(), f, true, [&](int w, int h) {
        plane.assign(size_t(w + 10) * size_t(h + 10), 0.0f);
        return formats::PlaneRef{plane.data(), w + 10};
      }, preview);
    } catch (const px::PelinoxaError&) {
    }
  }
}

TEST(Crashers, JpegInputs_DecodeOrFailCleanly) {
  for (const auto& f : Files("jpeg")) {
    std::vector<uint8_t> d = pxtest::ReadBytes(f);
    try {
      formats::DecodeJpeg(d.data(), d.size());
    } catch (const px::PelinoxaError&) {
    }
  }
}

}  // namespace
