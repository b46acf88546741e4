#pragma once
// The extent of one stack run, worked out once when the run starts: the stack's size at every
// step (the run, the allocated planes, the expanded canvas, the finished stack), the bounds
// every frame is added within, and resampled stacking's window. Pure: the controller reads the
// options, the accumulator and the finishing steps read the result.
#include "frames/FrameTable.h"

namespace stacking {

struct StackGeometryOptions {
  int imageWidth = 0, imageHeight = 0;  // the current image (the size of a plain stack)
  int frameWidth = 0, frameHeight = 0;  // the input frames
  bool expand = false;     // the canvas grows by the shift range of the stacked frames
  bool drizzle = false;    // the doubled grid
  bool resampled = false;  // frames enlarged by `factor` (drizzle wins when both are set)
  double factor = 1;       // the resampling factor (clamped to 1 … 4)
  int stackX = 0, stackY = 0;  // centre of resampled stacking's 4096 window, frame pixels
  int lastRank = 0;        // R: rank positions 0 … R are candidates
  float cut = 0;           // the difference cut of the selection
};

struct StackGeometry {
  bool drizzle = false;
  bool resample = false;  // resampled stacking (never together with drizzle)
  bool expand = false;
  int frameWidth = 0, frameHeight = 0;  // clamped to 1 … 4096
  double factor = 1;
  double viewScale = 1;   // stack pixels per frame pixel

  int runWidth = 0, runHeight = 0;      // the stack before expanding (the caption's size)
  int planeWidth = 0, planeHeight = 0;  // the planes allocated, and the destination limits
  // Expanded canvas only; the offsets place the frame with the largest shift at the origin.
  int expandedWidth = 0, expandedHeight = 0;
  int offsetX = 0, offsetY = 0;
  int finalWidth = 0, finalHeight = 0;  // the finished stack (resampling keeps a column and row more)

  // The bounds of every frame's contribution: W x H of the range rules (the frame, or the
  // enlarged window), the source checks' bounds (the whole enlarged frame), and the origin
  // (t, m) of the 4096 window of resampled stacking.
  int width = 0, height = 0;
  int checkWidth = 0, checkHeight = 0;
  int windowX = 0, windowY = 0;
  // Resampled stacking: the part of a frame that, enlarged, covers width x height.
  int sourceWindowWidth = 0, sourceWindowHeight = 0;
};

// The geometry of a run over the frames the selection admits (their integer shifts set the
// expanded canvas).
StackGeometry ComputeStackGeometry(const StackGeometryOptions& o, const frames::FrameTable& t);

// The rows a0 … a1 and columns i0 … i1 (destination side, before the offsets) that one frame
// shifted by (sx, sy) adds from a source of srcWidth x srcHeight; empty when a1 < a0 or i1 < i0.
struct FrameRegion {
  int a0 = 0, a1 = -1, i0 = 0, i1 = -1;
  bool empty() const { return a1 < a0 || i1 < i0; }
};
FrameRegion ContributionRegion(const StackGeometry& g, int sx, int sy, int srcWidth, int srcHeight);

// Resampled stacking: the top-left corner, in frame pixels, of the window a frame shifted by
// (sx, sy) is cut from before it is enlarged.
struct WindowOrigin {
  int x = 0, y = 0;
};
WindowOrigin ResampleWindowOrigin(const StackGeometry& g, int sx, int sy);

}  // namespace stacking
