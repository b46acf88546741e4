#pragma once
// Colour frames from raw Bayer mosaics: every pixel of the mosaic holds one colour, laid out in
// 2 x 2 cells named by their top row then bottom row (RGGB: red top-left, blue bottom-right).
//
// Two methods: bilinear (each missing colour the mean of its nearest same-colour neighbours)
// and an edge-aware one (green interpolated along the direction of the smaller gradient with a
// second-order correction from the pixel's own colour, red and blue interpolated as differences
// to that green), which keeps fine detail and gives far less colour fringing at edges.
// Borders are mirrored about the outermost pixel, which keeps the pattern's parity.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace frames {

enum class BayerPattern { RGGB = 0, GRBG = 1, GBRG = 2, BGGR = 3 };
enum class DebayerMethod { Bilinear = 0, EdgeAware = 1 };

const char* PatternName(BayerPattern p);

// Colour of the mosaic at (x, y): 0 red, 1 green, 2 blue.
inline int MosaicColour(BayerPattern p, int x, int y) {
  static constexpr int kCell[4][4] = {{0, 1, 1, 2}, {1, 0, 2, 1}, {1, 2, 0, 1}, {2, 1, 1, 0}};
  return kCell[static_cast<int>(p)][(y & 1) * 2 + (x & 1)];
}

// Debayers with reusable working buffers (no allocation per frame of the same size).
class Debayerer {
 public:
  // `src` holds width x height samples, rows `srcStride` samples apart; `dst` receives three
  // samples per pixel, rows `dstStride` samples apart, red at index `redIndex` (0 for R, G, B;
  // 2 for B, G, R), green at 1. `maxValue` clamps the edge-aware method's results.
  void Run(const uint8_t* src, size_t srcStride, int width, int height, BayerPattern p, DebayerMethod m,
           uint8_t* dst, size_t dstStride, int redIndex);
  void Run(const uint16_t* src, size_t srcStride, int width, int height, BayerPattern p, DebayerMethod m,
           uint16_t* dst, size_t dstStride, int redIndex, int maxValue = 65535);

 private:
  template <class T>
  void Pad(const T* src, size_t srcStride, int width, int height);
  template <class T>
  void EdgeAware(BayerPattern p, T* dst, size_t dstStride, int redIndex, int maxValue);

  int w_ = 0, h_ = 0;
  std::vector<uint16_t> m_;  // the mosaic with a 2-pixel mirrored border
  std::vector<int32_t> g_;  // edge-aware: the full green plane, same layout
  std::vector<int32_t> d_;  // edge-aware: red or blue minus green at their own sites, same layout
};

}  // namespace frames
