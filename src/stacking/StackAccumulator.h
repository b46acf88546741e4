#pragma once
// The per-frame step of stacking: one frame (or one interlace field) shifted by its
// registration shift and added into the stack planes, with a coverage count per pixel.
// Knows nothing of controls; the controller fills AccumulateOptions.
#include <array>
#include <vector>

#include "formats/TiffBitmap.h"
#include "frames/ImagePlanes.h"
#include "frames/Single2dArray.h"
#include "stacking/DrizzleTable.h"
#include "stacking/StackGeometry.h"
#include "ui/Bitmap24.h"

namespace stacking {

enum class SourceKind { Bytes, Tiff16, Fits };

struct AccumulateOptions {
  bool colour = false;
  bool interlaced = false;       // the de-interlace row filter applies (8-bit input only)
  int interlaceFilter = 1;       // 0 none, 1 both passes, 2 second pass only, 3 first pass only
  bool useDark = false, useFlat = false;  // calibration in float (never with resampling)
  int darkWidth = 0, darkHeight = 0;      // the part of the calibration planes holding values
  int flatWidth = 0, flatHeight = 0;
  float lumR = 0.299f, lumG = 0.587f, lumB = 0.114f;
  StackGeometry geometry;        // the run's extent and the bounds of every frame
};

struct FrameInputs {
  int sx = 0, sy = 0;       // integer shift
  float weight = 1;         // quality weight (luminance mode only)
  int fieldIndex = 0;       // interlace field pass 0 or 1
  int fitsChannel = 1;      // 0 R, 1 G, 2 B, 3 luminance
  DropTable drop;           // drizzle only
};

struct FrameSourceView {
  SourceKind kind = SourceKind::Bytes;
  const ui::Bitmap24* bytes = nullptr;              // B, G, R per pixel
  const formats::TTIFFBitMap* tiff = nullptr;       // 16-bit rows R, G, B
  const frames::Single2dArray* fits = nullptr;
  int width = 0, height = 0;                        // of the source
};

class StackAccumulator {
 public:
  // Zeroes the sums and the coverage over (width + 2) x (height + 2). Without drizzle the
  // coverage is kept as per-row differences until Finish.
  void Begin(frames::ImagePlanes& planes, int width, int height, bool drizzle);
  // Adds one frame. Returns true when a FITS luminance file went into the L plane.
  bool Add(frames::ImagePlanes& planes, const AccumulateOptions& o, const FrameInputs& in, const FrameSourceView& src);
  // Turns the row differences into counts (no-op for drizzle). Idempotent.
  void FinishCoverage(frames::ImagePlanes& planes);

  bool drizzle() const { return drizzle_; }

 private:
  int width_ = 0, height_ = 0;
  bool drizzle_ = false;
  std::array<std::vector<float>, 3> values_;  // drizzle: one source row's values (kept between frames)
  bool pending_ = false;
};

// Divides every used plane by the coverage where it is positive (colour: R, G, B, L;
// luminance: G) over width x height.
void NormalizeStack(frames::ImagePlanes& planes, int width, int height, bool colour);
// The largest of R, G, B (colour) or G (luminance) over width x height; 0 for an empty image.
float StackMaximum(const frames::ImagePlanes& planes, int width, int height, bool colour);
// The 24-bit view (bytes clamp(Round(v * scale))) and the 16-bit copy (Round(v * scale * 255),
// negative values 0) of the normalised stack.
void RenderStack(const frames::ImagePlanes& planes, int width, int height, bool colour, float scale,
                 ui::Bitmap24& view, formats::TTIFFBitMap& copy16);

// Calibration of one frame's bytes before it is enlarged: darkframe then flatfield over the
// part each covers, rounded half to even and clamped to 0 … 255.
void CalibrateBytes(ui::Bitmap24& frame, const frames::ImagePlanes& planes, bool useDark, int darkWidth,
                    int darkHeight, bool useFlat, int flatWidth, int flatHeight);

}  // namespace stacking
