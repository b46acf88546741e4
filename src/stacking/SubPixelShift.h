#pragma once
// Sub-pixel shifts for the ordinary stack: a frame whose registration found its shift to a
// fraction of a pixel is first moved by that fraction (cubic convolution, kept in 16
// bits or floats, so nothing is rounded back to bytes) and then added with the whole-pixel
// part, which keeps the stack from being blurred by up to half a pixel per frame.
#include "formats/TiffBitmap.h"
#include "frames/Single2dArray.h"
#include "ui/Bitmap24.h"

namespace stacking {

struct FineSplit {
  int sx = 0, sy = 0;      // whole pixels (toward minus infinity)
  float fx = 0, fy = 0;    // the fraction, 0 <= f < 1
};
// The whole and fractional parts of a fine shift; `valid` is false when the fine shift does
// not belong to the integer shift (not measured in the last run: more than a pixel apart).
FineSplit SplitFineShift(float fineX, float fineY, int shiftX, int shiftY, bool& valid);

// dst(x, y) = src at (x + fx, y + fy) by cubic convolution (the edge pixels
// repeat), for the width x height corner. Bytes become 16-bit samples times 255 in the
// R, G, B order the stack reads them in.
void ShiftBytesInto16(const ui::Bitmap24& src, int width, int height, float fx, float fy, formats::TTIFFBitMap& dst);
void ShiftRows16(const formats::TTIFFBitMap& src, int width, int height, float fx, float fy, formats::TTIFFBitMap& dst);
void ShiftPlane(const frames::Single2dArray& src, int width, int height, float fx, float fy, frames::Single2dArray& dst);

}  // namespace stacking
