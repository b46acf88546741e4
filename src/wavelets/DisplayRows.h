#pragma once
// The display pass a run of pixels at a time: anti-ringing, the gamma index, the tone tables and
// the histogram counts for a chunk of one row of the sharpened planes. Used by the display pass
// on its own and by the sweep that recombines and displays each row while its sums are in cache.
#include <array>
#include <cstdint>

#include "formats/TiffBitmap.h"
#include "frames/Single2dArray.h"
#include "ui/Bitmap24.h"
#include "wavelets/Decomposition.h"
#include "wavelets/Recombination.h"

namespace wavelets {

// Pixels per chunk: a chunk's indices and output stay in stack buffers.
constexpr int kDisplayChunk = 512;

// The gamma index of a value: Round((value - min) S), limited to 0..1000.
struct ToneIndex {
  double S, stackMin;
  int operator()(float value) const;
  void Row(const float* v, int n, int32_t* out) const;
};

// Everything after the gamma index depends on the index alone: tone T, then per channel the
// display byte and the 16-bit word, packed as byte << 16 | word.
struct ToneTables {
  double T[1001];
  uint32_t out[3][1001];
};

// Four copies of the histograms with the pixels dealt out in turn, so that a run of one value
// (flat sky) does not queue on a single counter.
struct SplitHistograms {
  int h[4][3][257];
  void clear();
  void addTo(Histograms& out) const;
};

class DisplayRows {
 public:
  // The columns and rows written are rect limited to the image and the pictures; `display`
  // must already be W x H.
  DisplayRows(const DisplaySettings& s, const std::array<frames::Single2dArray, 3>& colourPlanes,
              const std::array<frames::Single2dArray, 4>& stackPlanes, const AreaRect& rect, int W, int H,
              ui::Bitmap24& display, formats::TTIFFBitMap& out48);

  bool empty() const { return xlo > xhi || ylo > yhi || !s_.curve; }
  int xlo, xhi, ylo, yhi;

  // Pixels x0..x0+n-1 of row y (n <= kDisplayChunk); l0, l1, l2 point at x0's sums. Anti-ringing
  // writes the residual back into them; then the display bytes, the 16-bit words and the counts.
  void Chunk(int y, int x0, int n, float* l0, float* l1, float* l2, SplitHistograms& h) const;

 private:
  void AntiRing(int y, int x0, int n, float* l0, float* l1, float* l2) const;
  void Lrgb(int y, int x0, int n, const float* l1, SplitHistograms& h) const;
  template <bool Colour, bool Words>
  void Pixels(int n, const int32_t* ir, const int32_t* ig, const int32_t* ib, uint8_t* px, uint16_t* wp,
              SplitHistograms& h) const;

  const DisplaySettings& s_;
  const std::array<frames::Single2dArray, 3>& colour_;
  const std::array<frames::Single2dArray, 4>& stack_;
  ui::Bitmap24& display_;
  formats::TTIFFBitMap& out48_;
  int W_, H_;
  bool has48_;
  ToneIndex index_;
  ToneTables tab_;
};

}  // namespace wavelets
