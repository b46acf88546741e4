#pragma once
// Coarse alignment on the whole frame: turbulence moves the whole picture by the same tilt,
// and the whole frame, averaged down, measures that tilt from far more pixels than one
// alignment box holds (and whatever structure lies inside the box). The box's correlation
// then refines the shift around it.
#include <memory>
#include <optional>

#include "registration/FftEngine.h"
#include "ui/Bitmap24.h"

namespace registration {

struct CoarseShift {
  double x = 0, y = 0;  // displacement of the frame's content against the reference, in pixels
};

class CoarseAligner {
 public:
  // Transform sizes of the averaged-down frame: the smaller is quick and finds the whole
  // pixel; the larger averages less and finds fine shifts to a tenth of a pixel.
  static constexpr int kQuickSize = 128, kFineSize = 256;

  CoarseAligner();
  ~CoarseAligner();

  // The reference: the width x height corner of `picture` (luminance by the per-byte tables)
  // averaged down to at most size x size (kQuickSize or kFineSize). False for a picture too
  // small to measure.
  bool SetReference(const ui::Bitmap24& picture, int width, int height, const float* lumR, const float* lumG,
                    const float* lumB, int size = kQuickSize);
  bool HasReference() const { return factor_ > 0; }
  void Clear() { factor_ = 0; }
  // The frame's displacement against the reference; nothing without a reference or for a
  // frame of another size.
  std::optional<CoarseShift> Measure(const ui::Bitmap24& picture, int width, int height, const float* lumR,
                                     const float* lumG, const float* lumB);

 private:
  // The averaged-down, tapered, mean-free luminance into the engine's workspace.
  void Load(const ui::Bitmap24& picture, const float* lumR, const float* lumG, const float* lumB);

  std::unique_ptr<FftEngine> fft_;
  std::unique_ptr<FftPlane> refRe_, refIm_;
  std::vector<float> small_, window_, rowSum_;
  int width_ = 0, height_ = 0;   // the reference picture's size
  int size_ = kQuickSize;        // transform size
  int factor_ = 0;               // pixels averaged per side; 0: no reference
  int cols_ = 0, rows_ = 0;      // averaged-down size
  int left_ = 0, top_ = 0;       // picture pixel of the averaged area's corner
};

}  // namespace registration
