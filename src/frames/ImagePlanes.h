#pragma once
// The working image planes owned by the main window, the processing area that wavelet work
// is limited to, and the 16-bit output bitmap.
#include <array>
#include <vector>

#include "formats/TiffBitmap.h"
#include "frames/Single2dArray.h"

namespace frames {

enum PlaneColour { R = 0, G = 1, B = 2, L = 3 };

struct ProcessArea {
  int left = 0, top = 0;
  int width = 512, height = 512;
  int limit = 512;  // ProcessAreaLimit: side of the layer planes
};

struct ImagePlanes {
  std::array<Single2dArray, 4> StackPlanes;   // R, G, B, L sums
  std::array<Single2dArray, 3> ColourPlanes;  // R, G, B prepared for processing
  Single2dArray CoveragePlane;
  Single2dArray WaveletWorkPlane;
  Single2dArray FitsPlane;
  std::array<Single2dArray, 3> DarkPlanes;
  std::array<Single2dArray, 3> FlatPlanes;
  std::vector<Single2dArray> LayerPlanes;     // 7 groups of 3: index group * 3 + channel
  formats::TTIFFBitMap OutputBitmap48;
  int width = 0, height = 0;                  // nominal size of the image-size planes

  Single2dArray& Layer(int group, int channel) { return LayerPlanes[group * 3 + channel]; }
  // Releases and re-creates the 21 layer planes with the given side in both directions.
  void CreateLayerPlanes(int side);
};

// Processing area after a new image size: offsets 0 and size = limit; then an image narrower
// than the limit gives the area its width, a wider one centres the area (offset truncated).
void PlaceProcessArea(ProcessArea& area, int width, int height);

// Re-creates the image-size planes for width x height (each with a 10-pixel margin), in the
// order R stack, R colour, G stack, G colour, B stack, B colour, L stack, then the 16-bit
// output bitmap ((width + 1) x (height + 1), zero-filled), then the wavelet work plane and
// the coverage plane. Previous planes are released first, so peak memory stays one set.
void AllocatePlanes(ImagePlanes& planes, int width, int height);

}  // namespace frames
