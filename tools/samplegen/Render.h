#pragma once
// One frame from the master scene: shifted by the frame's jitter (whole and sub-pixel part in
// one sampled-Gaussian kernel), blurred by the frame's seeing, colour channels displaced by
// the dispersion, interlaced fields from two instants, noise, rounding to bytes.
#include <cstdint>
#include <vector>

#include "Scene.h"
#include "ui/Bitmap24.h"

namespace samplegen {

struct Shift {
  double x = 0, y = 0;
};

struct FrameSpec {
  Shift field[2];         // shift of the even rows (field 0) and of the odd rows (field 1)
  bool interlaced = false;  // without it field[0] applies to every row
  double sigma = 1;       // seeing blur, Gaussian sigma in pixels
  double dispersion = 0;  // red moved up, blue down by this many pixels against green
  double noise = 0;       // noise sigma in levels: sigma^2 = noise^2 (1 + value / 128)
  uint64_t noiseSeed = 0;
};

// Blurs a whole plane in place with a Gaussian (edges repeated).
void BlurPlane(std::vector<float>& plane, int width, int height, double sigma);

class FrameRenderer {
 public:
  // `margin`: how far the output window sits inside the master on each side.
  FrameRenderer(const Master& master, int outWidth, int outHeight, int margin, bool grey);
  // Renders into `out` (resized to the output size); thread-safe for distinct renderers.
  void render(const FrameSpec& spec, ui::Bitmap24& out);

 private:
  void shiftBlur(const std::vector<float>& src, Shift shift, double sigma, int rowStart, int rowStep, float* dst);

  const Master& master_;
  int w_, h_, margin_;
  bool grey_;
  std::vector<float> luma_;               // grey output: one plane
  std::vector<float> tmp_, chan_[3];      // work planes
  std::vector<float> rowNoise_;
  std::vector<uint8_t> rowBytes_;
};

}  // namespace samplegen
