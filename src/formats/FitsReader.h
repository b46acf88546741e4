#pragma once
// Reading the data of single-image FITS files (16- or 32-bit integers, big-endian, + BZERO).
// Rows are stored bottom-up: the first row in the file is the bottom image row. At most
// MaxFitsSide columns and rows are kept; image row y (0 = top) is file row NAXIS2 - 1 - y.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "formats/FitsHeader.h"
#include "formats/PlaneRef.h"
#include "ui/Bitmap24.h"

namespace formats {

constexpr int MaxFitsSide = 4096;

// Checks that the data described by the header can be read from a file of 'size' bytes.
// Throws px::PelinoxaError: "unsupported fits format" (BITPIX other than 16 or 32),
// "FITS file holds no image" (NAXIS1 or NAXIS2 not positive), "FITS file is truncated".
void CheckFitsData(const FitsHeader& h, size_t size);

// Reads the values (+ BZERO, then * factor) of the kept keepWidth x keepHeight part into dest.
// Calls CheckFitsData first; keepWidth/keepHeight must not exceed NAXIS1/NAXIS2.
void ReadFitsValues(const uint8_t* data, size_t size, const FitsHeader& h, PlaneRef dest, int keepWidth,
                    int keepHeight, double factor = 1.0);

struct FitsFrameInfo {
  int width = 0, height = 0;  // kept size: min(NAXIS, MaxFitsSide)
  int64_t naxis1 = 0, naxis2 = 0;
  int bitpix = 0;
  int channel = FitsGreen;    // FitsChannelFromName of the file name
  int64_t minValue = 0, maxValue = 0;  // of the kept values, BZERO added
  double lo = 0, hi = 0;      // the range the preview and the plane were scaled with
};

// Gives the destination plane for the kept size; the caller (re)creates its plane there.
using FitsPlaneAllocator = std::function<PlaneRef(int width, int height)>;

// Reads a FITS frame: the header, then the values into the plane the allocator gives, the grey
// preview (resized to the kept size) with clamp(Round((v - lo) / (r + 1) * 255)) and the plane
// rescaled to (v - lo) / (r + 1) * 65536 (BITPIX 16) or * 2147483647 (BITPIX 32), r = hi - lo.
// [lo, hi] is the data's own range with 'stretch', otherwise fixed by BITPIX and sign.
// Everything is checked before the allocator or the preview is touched, so on an error
// (px::PelinoxaError, see CheckFitsData and ReadFitsHeader) nothing has changed.
FitsFrameInfo ReadFitsFrame(const uint8_t* data, size_t size, const std::string& fileName, bool stretch,
                            const FitsPlaneAllocator& allocate, ui::Bitmap24& preview);
// The same for a file (mapped while it is read).
FitsFrameInfo ReadFitsFrameFile(const std::string& path, bool stretch, const FitsPlaneAllocator& allocate,
                                ui::Bitmap24& preview);

}  // namespace formats
