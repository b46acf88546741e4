#include "formats/FitsReader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"

namespace formats {

namespace {

using px::PelinoxaError;

inline int16_t Be16(const uint8_t* p) { return int16_t(uint16_t(p[0] << 8 | p[1])); }
inline int32_t Be32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]));
}

// Start of the file row that holds image row y.
inline const uint8_t* RowOf(const uint8_t* data, const FitsHeader& h, int y) {
  const size_t bytes = size_t(h.bitpix / 8);
  return data + h.dataOffset + size_t(h.naxis2 - 1 - y) * size_t(h.naxis1) * bytes;
}

// Smallest and largest kept value (BZERO added).
void MinMax(const uint8_t* data, const FitsHeader& h, int w, int hgt, int64_t& mn, int64_t& mx) {
  if (h.bitpix == 16) {
    int lo = 32767, hi = -32768;
    for (int y = 0; y < hgt; ++y) {
      const uint8_t* p = RowOf(data, h, y);
      for (int x = 0; x < w; ++x) {
        int v = Be16(p + 2 * x);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
    mn = lo + h.bzero;
    mx = hi + h.bzero;
  } else {
    int32_t lo = std::numeric_limits<int32_t>::max(), hi = std::numeric_limits<int32_t>::min();
    for (int y = 0; y < hgt; ++y) {
      const uint8_t* p = RowOf(data, h, y);
      for (int x = 0; x < w; ++x) {
        int32_t v = Be32(p + 4 * x);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
    mn = lo + h.bzero;
    mx = hi + h.bzero;
  }
}

void ResizePreview(ui::Bitmap24& preview, int w, int h) {
  if (preview.width() != w || preview.height() != h) preview.reset(w, h);
}

}  // namespace

void CheckFitsData(const FitsHeader& h, size_t size) {
  if (h.bitpix != 16 && h.bitpix != 32) throw PelinoxaError("unsupported fits format");
  if (h.naxis1 <= 0 || h.naxis2 <= 0) throw PelinoxaError("FITS file holds no image");
  const uint64_t bytes = uint64_t(h.bitpix / 8);
  const uint64_t avail = h.dataOffset <= size ? uint64_t(size - h.dataOffset) : 0;
  // Compare without overflow: NAXIS1 * NAXIS2 * bytes <= avail.
  if (uint64_t(h.naxis1) > avail / bytes || uint64_t(h.naxis2) > avail / bytes / uint64_t(h.naxis1))
    throw PelinoxaError("FITS file is truncated");
}

void ReadFitsValues(const uint8_t* data, size_t size, const FitsHeader& h, PlaneRef dest, int keepWidth,
                    int keepHeight, double factor) {
  CheckFitsData(h, size);
  keepWidth = int(std::min<int64_t>(keepWidth, h.naxis1));
  keepHeight = int(std::min<int64_t>(keepHeight, h.naxis2));
  for (int y = 0; y < keepHeight; ++y) {
    const uint8_t* p = RowOf(data, h, y);
    float* o = dest.row(y);
    if (h.bitpix == 16) {
      for (int x = 0; x < keepWidth; ++x) o[x] = float(double(Be16(p + 2 * x) + h.bzero) * factor);
    } else {
      for (int x = 0; x < keepWidth; ++x) o[x] = float(double(Be32(p + 4 * x) + h.bzero) * factor);
    }
  }
}

FitsFrameInfo ReadFitsFrame(const uint8_t* data, size_t size, const std::string& fileName, bool stretch,
                            const FitsPlaneAllocator& allocate, ui::Bitmap24& preview) {
  const FitsHeader h = ReadFitsHeader(data, size);
  CheckFitsData(h, size);

  FitsFrameInfo info;
  info.naxis1 = h.naxis1;
  info.naxis2 = h.naxis2;
  info.bitpix = h.bitpix;
  info.channel = FitsChannelFromName(fileName);
  const int w = int(std::min<int64_t>(h.naxis1, MaxFitsSide));
  const int hgt = int(std::min<int64_t>(h.naxis2, MaxFitsSide));
  info.width = w;
  info.height = hgt;
  MinMax(data, h, w, hgt, info.minValue, info.maxValue);

  double lo, hi;
  if (stretch) {
    lo = double(info.minValue);
    hi = double(info.maxValue);
  } else if (h.bitpix == 16) {
    lo = info.minValue < 0 ? -32768.0 : 0.0;
    hi = info.minValue < 0 ? 32768.0 : 65536.0;
  } else {
    lo = info.minValue < 0 ? -2147483647.0 : 0.0;
    hi = info.minValue < 0 ? 2147483647.0 : 2147483646.0;
  }
  info.lo = lo;
  info.hi = hi;
  const double span = hi - lo + 1.0;
  const double planeScale = h.bitpix == 16 ? 65536.0 : 2147483647.0;

  PlaneRef plane = allocate(w, hgt);
  ResizePreview(preview, w, hgt);

  if (h.bitpix == 16) {
    // Every output depends only on the 16-bit sample: tabulate it.
    std::vector<float> planeOf(65536);
    std::vector<uint8_t> greyOf(65536);
    for (int s = -32768; s <= 32767; ++s) {
      const double q = (double(s + h.bzero) - lo) / span;
      planeOf[uint16_t(s)] = float(q * planeScale);
      greyOf[uint16_t(s)] = px::ClampByte(std::nearbyint(q * 255.0));
    }
    for (int y = 0; y < hgt; ++y) {
      const uint8_t* p = RowOf(data, h, y);
      float* o = plane.row(y);
      uint8_t* b = preview.row(y);
      for (int x = 0; x < w; ++x) {
        const uint16_t s = uint16_t(p[2 * x] << 8 | p[2 * x + 1]);
        o[x] = planeOf[s];
        b[3 * x] = b[3 * x + 1] = b[3 * x + 2] = greyOf[s];
      }
    }
  } else {
    for (int y = 0; y < hgt; ++y) {
      const uint8_t* p = RowOf(data, h, y);
      float* o = plane.row(y);
      uint8_t* b = preview.row(y);
      for (int x = 0; x < w; ++x) {
        const double q = (double(Be32(p + 4 * x) + h.bzero) - lo) / span;
        o[x] = float(q * planeScale);
        b[3 * x] = b[3 * x + 1] = b[3 * x + 2] = px::ClampByte(std::nearbyint(q * 255.0));
      }
    }
  }
  return info;
}

FitsFrameInfo ReadFitsFrameFile(const std::string& path, bool stretch, const FitsPlaneAllocator& allocate,
                                ui::Bitmap24& preview) {
  px::MappedFile file(path);
  return ReadFitsFrame(file.data(), file.size(), path, stretch, allocate, preview);
}

}  // namespace formats
