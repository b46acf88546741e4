#pragma once
// Coarse alignment on an isolated object: a planet's disc moves as a whole, and its
// brightness centroid follows it to a fraction of a pixel whatever the detail inside the
// alignment box, so the box can be placed on the disc's displacement before the correlation
// refines it.
#include <array>
#include <optional>
#include <vector>

#include "ui/Bitmap24.h"

namespace registration {

struct DiscCentroid {
  double x = 0, y = 0;  // picture pixels
  int area = 0;         // pixels of the disc (on the sampled grid)
};

// The brightness-weighted centroid, above the sky, of the bright object in the width x
// height corner of `picture` (luminance by the per-byte tables r, g, b), read on every
// second row and column. Nothing when the picture holds no isolated object: the bright part
// touches the picture's edge (a lunar or solar field), or there is no clear object.
// `scratch` holds the sampled luminance (kept by the caller so that a run allocates nothing).
std::optional<DiscCentroid> FindDisc(const ui::Bitmap24& picture, int width, int height, const float* lumR,
                                     const float* lumG, const float* lumB, std::vector<float>& scratch);

}  // namespace registration
