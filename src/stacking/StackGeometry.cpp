#include "stacking/StackGeometry.h"

#include <algorithm>

#include "base/Numbers.h"
#include "stacking/StackSelection.h"

namespace stacking {

namespace {

constexpr int kMaxSide = frames::MaxImageSide;

// The canvas grown by the shift range of the admitted frames.
void ExpandCanvas(const StackGeometryOptions& o, const frames::FrameTable& t, StackGeometry& g) {
  int minX = 0, maxX = 0, minY = 0, maxY = 0;
  const int R = std::min(o.lastRank, frames::MaxFrames - 1);
  for (int k = 0; k <= R; ++k) {
    if (!Admits(t, k, R, o.cut)) continue;
    const auto& rec = t[t.ranks[k].FrameIndex];
    minX = std::min(minX, rec.ShiftX);
    maxX = std::max(maxX, rec.ShiftX);
    minY = std::min(minY, rec.ShiftY);
    maxY = std::max(maxY, rec.ShiftY);
  }
  g.expandedWidth = std::clamp(g.runWidth + maxX - minX - 1, 1, kMaxSide);
  g.expandedHeight = std::clamp(g.runHeight + maxY - minY - 1, 1, kMaxSide);
  g.offsetX = maxX;
  g.offsetY = maxY;
  g.planeWidth = g.expandedWidth;
  g.planeHeight = g.expandedHeight;
}

// The bounds every frame is added within, and resampled stacking's window.
void FrameBounds(const StackGeometryOptions& o, StackGeometry& g) {
  if (g.drizzle) {
    g.width = g.checkWidth = std::min(px::Round(2.0 * g.frameWidth) - 1, kMaxSide) / 2;
    g.height = g.checkHeight = std::min(px::Round(2.0 * g.frameHeight) - 1, kMaxSide) / 2;
  } else if (g.resample) {
    // The enlarged frame; beyond 4096 pixels, the 4096 window centred on (stackX, stackY).
    g.checkWidth = g.width = px::Round(g.frameWidth * g.factor) - 1;
    g.checkHeight = g.height = px::Round(g.frameHeight * g.factor) - 1;
    if (g.width > kMaxSide) {
      g.windowX = std::clamp(px::Round(o.stackX * g.factor) - 2048, 0, g.width - kMaxSide);
      g.width = kMaxSide;
    }
    if (g.height > kMaxSide) {
      g.windowY = std::clamp(px::Round(o.stackY * g.factor) - 2048, 0, g.height - kMaxSide);
      g.height = kMaxSide;
    }
    g.sourceWindowWidth = std::max(px::Round(g.width / g.factor), 1);
    g.sourceWindowHeight = std::max(px::Round(g.height / g.factor), 1);
  } else if (g.expand) {
    g.width = g.checkWidth = g.frameWidth;
    g.height = g.checkHeight = g.frameHeight;
  } else {
    g.width = g.checkWidth = g.runWidth;
    g.height = g.checkHeight = g.runHeight;
  }
}

// The finished stack: resampling keeps one more column and row (they stay 0), which the
// planes hold at most.
void FinalSize(StackGeometry& g) {
  int W = g.runWidth, H = g.runHeight;
  if (g.drizzle) {
    W = std::min(px::Round(2.0 * g.frameWidth) - 1, kMaxSide);
    H = std::min(px::Round(2.0 * g.frameHeight) - 1, kMaxSide);
  } else if (g.resample) {
    W = std::min(px::Round(g.frameWidth * g.factor), kMaxSide);
    H = std::min(px::Round(g.frameHeight * g.factor), kMaxSide);
  }
  if (g.expand) {
    W = g.expandedWidth;
    H = g.expandedHeight;
  }
  g.finalWidth = std::min(W, g.planeWidth + 1);
  g.finalHeight = std::min(H, g.planeHeight + 1);
}

}  // namespace

StackGeometry ComputeStackGeometry(const StackGeometryOptions& o, const frames::FrameTable& t) {
  StackGeometry g;
  g.drizzle = o.drizzle;
  g.resample = o.resampled && !o.drizzle;
  g.expand = o.expand;
  g.frameWidth = std::clamp(o.frameWidth, 1, kMaxSide);
  g.frameHeight = std::clamp(o.frameHeight, 1, kMaxSide);
  g.factor = std::clamp(o.factor, 1.0, 4.0);

  int W = o.imageWidth, H = o.imageHeight;
  if (o.expand) {
    W = g.frameWidth;
    H = g.frameHeight;
  }
  if (g.drizzle) {
    W = px::Round(2.0 * g.frameWidth) - 1;
    H = px::Round(2.0 * g.frameHeight) - 1;
    g.viewScale = 2;
  } else if (g.resample) {
    W = px::Round(g.frameWidth * g.factor) - 1;
    H = px::Round(g.frameHeight * g.factor) - 1;
    g.viewScale = g.factor;
  }
  g.runWidth = g.planeWidth = std::clamp(W, 1, kMaxSide);
  g.runHeight = g.planeHeight = std::clamp(H, 1, kMaxSide);
  if (o.expand) ExpandCanvas(o, t, g);
  FrameBounds(o, g);
  FinalSize(g);
  return g;
}

FrameRegion ContributionRegion(const StackGeometry& g, int sx, int sy, int srcWidth, int srcHeight) {
  FrameRegion r;
  const int W = g.width, H = g.height;
  if (g.resample) {
    r.a0 = 0;
    r.a1 = H - 1;
    r.i0 = 0;
    r.i1 = W - 1;
  } else if (g.expand) {
    r.a0 = 1 - sy;
    r.a1 = H - sy - 2;
    r.i0 = 1 - sx;
    r.i1 = W - sx - 2;
  } else {
    r.a0 = std::max(0, -sy);
    r.a1 = std::min(srcHeight - 1, H) - std::max(sy, 0);
    r.i0 = std::max(0, -sx);
    r.i1 = std::min(srcWidth - 1, W) - std::max(sx, 0);
  }
  // Source checks: a + sy + m and i + sx + t within the check bounds.
  r.a0 = std::max(r.a0, -sy - g.windowY);
  r.a1 = std::min(r.a1, g.checkHeight - 1 - sy - g.windowY);
  r.i0 = std::max(r.i0, -sx - g.windowX);
  r.i1 = std::min(r.i1, g.checkWidth - 1 - sx - g.windowX);
  // The pixel actually read must exist in the source (the enlarged window is read unshifted).
  const int px = g.resample ? 0 : sx, py = g.resample ? 0 : sy;
  r.a0 = std::max(r.a0, -py);
  r.a1 = std::min(r.a1, srcHeight - 1 - py);
  r.i0 = std::max(r.i0, -px);
  r.i1 = std::min(r.i1, srcWidth - 1 - px);
  // And every destination pixel must lie inside the planes; a drizzle drop reaches three fine
  // cells right of and below its own.
  const int scale = g.drizzle ? 2 : 1, reach = g.drizzle ? 3 : 0, extra = g.drizzle ? 1 : 0;
  r.a0 = std::max(r.a0, (-g.offsetY + scale - 1) / scale);
  r.i0 = std::max(r.i0, (-g.offsetX + scale - 1) / scale);
  r.a1 = std::min(r.a1, (g.planeHeight + extra - reach - g.offsetY) / scale);
  r.i1 = std::min(r.i1, (g.planeWidth + extra - reach - g.offsetX) / scale);
  return r;
}

WindowOrigin ResampleWindowOrigin(const StackGeometry& g, int sx, int sy) {
  return {px::Round((g.windowX + sx) / g.factor), px::Round((g.windowY + sy) / g.factor)};
}

}  // namespace stacking
