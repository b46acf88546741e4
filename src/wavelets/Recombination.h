#pragma once
// Adding the layers back with the user's gains (shrinking marked layers towards zero by their
// threshold), and the display pass that turns the sharpened planes into the page picture, the
// 16-bit copy and the histograms through contrast, the tone table, brightness, levels and
// colour balance.
#include <array>
#include <vector>

#include "formats/TiffBitmap.h"
#include "frames/Single2dArray.h"
#include "ui/Bitmap24.h"
#include "wavelets/Decomposition.h"

namespace wavelets {

struct RecombineSettings {
  std::array<bool, 7> on{};         // layer n checked (index 1..6)
  std::array<float, 7> gain{};      // slider value x 0.1
  std::array<bool, 7> marked{};     // marked for noise reduction
  std::array<float, 7> threshold{};
  bool colour = false;              // channels 0..2, else channel 1 only
};

// LayerPlanes group 0 (planes layers[c], relative to the area) = residual + the gained layers.
// layers holds the 21 planes, index group * 3 + channel.
void Recombine(const std::array<frames::Single2dArray, 3>& colourPlanes, std::vector<frames::Single2dArray>& layers,
               const AreaRect& area, const RecombineSettings& s);

enum class DisplayMode { Mono, Colour, Lrgb };

struct DisplaySettings {
  DisplayMode mode = DisplayMode::Mono;
  double stackMin = 0, stackMax = 255;
  int contrast = 100, brightness = 0;
  const std::array<double, 1001>* curve = nullptr;
  double levelLow = 0, levelHigh = 255;
  std::array<double, 3> offset{};           // RedSlider, GreenSlider, blueslider
  std::array<double, 3> channelGain{1, 1, 1};
  bool showRed = true, showGreen = true, showBlue = true;
  bool antiRing = false;
  float antiRingLevel = 0;
  std::array<float, 3> lumWeight{0.299f, 0.587f, 0.114f};
  int dxR = 0, dyR = 0, dxB = 0, dyB = 0;   // ShiftRed, ShiftBlue (LRGB colour source)
};

using Histograms = std::array<std::array<int, 257>, 3>;  // R, G, B; 256 bins and one spare

// The rectangle the display pass writes: the area less a margin at inner edges.
AreaRect DisplayRect(const AreaRect& area, int W, int H, int margin);

// Writes the display rectangle of `display` (W x H) and of `out48`, counts `hist`. Needs the
// group-0 planes of Recombine, the residual in colourPlanes (anti-ringing) and, in LRGB mode,
// the stack planes for the colour. Nothing is allocated.
void DisplayPass(std::vector<frames::Single2dArray>& layers, const std::array<frames::Single2dArray, 3>& colourPlanes,
                 const std::array<frames::Single2dArray, 4>& stackPlanes, const AreaRect& area, const AreaRect& rect,
                 int W, int H, const DisplaySettings& s, ui::Bitmap24& display, formats::TTIFFBitMap& out48,
                 Histograms& hist);

// Recombine and DisplayPass in one sweep over the area, each row displayed while its sums are
// in cache: the same planes, pictures and counts as the two calls in turn.
void RecombineAndDisplay(const std::array<frames::Single2dArray, 3>& colourPlanes,
                         std::vector<frames::Single2dArray>& layers,
                         const std::array<frames::Single2dArray, 4>& stackPlanes, const AreaRect& area,
                         const AreaRect& rect, int W, int H, const RecombineSettings& rs, const DisplaySettings& ds,
                         ui::Bitmap24& display, formats::TTIFFBitMap& out48, Histograms& hist);

// The preview of one layer: red where it decreases, green where it increases, scaled between
// the min and max of the layer inside a 10-pixel inner band (returned).
struct PreviewRange {
  float min = 0, max = 0;
};
PreviewRange DrawLayerPreview(const frames::Single2dArray& layer, const AreaRect& area, bool marked, float threshold,
                              ui::Bitmap24& display);

}  // namespace wavelets
