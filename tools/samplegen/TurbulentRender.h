#pragma once
// Frames through turbulence: the master scene convolved (by FFT) with the instant's PSF and
// moved by the telescope's jitter, locally warped (anisoplanatism), then exposed on the
// sensor. The scene's spectra are computed once and shared by all renderers.
#include <cstdint>
#include <vector>

#include "Fft.h"
#include "Render.h"
#include "Scene.h"
#include "Sensor.h"
#include "Turbulence.h"

namespace samplegen {

struct TurbulentSetup {
  int width = 0, height = 0;  // output frame
  int margin = 0;             // output window's place inside the master on each side
  bool grey = false;
  double dispersion = 0;      // red up, blue down (pixels)
  double aniso = 0;           // rms of the local warp per axis (pixels)
  double peakElectrons = 1400;
  uint64_t seed = 1;
};

// Smallest margin that keeps the PSF, the shifts and the warp inside the master.
int TurbulentMargin(double reach, const TurbulentSetup& s, const Optics& optics);

class TurbulentScene {
 public:
  TurbulentScene(const Master& master, const TurbulentSetup& setup);
  const TurbulentSetup& setup() const { return s_; }
  int gridWidth() const { return gw_; }
  int gridHeight() const { return gh_; }
  int planes() const { return s_.grey ? 1 : 3; }
  double electronsPerLevel() const { return e_; }
  const std::vector<Cf>& spectrum(int c) const { return spec_[c]; }
  // The local warp at output pixel (x, y) of frame t, before the frame's mean is removed.
  void warpAt(int frame, double x, double y, double& dx, double& dy) const;

 private:
  struct Wave {
    double kx, ky, omega, phase, axis;  // axis 0: x displacement, 1: y
  };
  TurbulentSetup s_;
  int gw_ = 0, gh_ = 0;
  double e_ = 1;
  std::vector<Cf> spec_[3];
  std::vector<Wave> waves_;
};

struct TurbulentFrameSpec {
  int index = 0;
  Shift field[2];
  bool interlaced = false;
  std::vector<float> psf;  // grid x grid, from Optics::psf
  bool warp = true;
};

class TurbulentRenderer {
 public:
  TurbulentRenderer(const TurbulentScene& scene, const Optics& optics);
  // Expected electrons, planar (planes() x width x height).
  void render(const TurbulentFrameSpec& spec, std::vector<float>& electrons);

 private:
  void fieldPass(const Shift& shift);
  void extract(const TurbulentFrameSpec& spec, int parity, int rowStep, std::vector<float>& electrons);

  const TurbulentScene& scene_;
  const Optics& optics_;
  Fft2 fft_;
  std::vector<Cf> kernel_, a_, b_;
  std::vector<Cf> rx_, ry_;
  std::vector<float> wx_, wy_;  // warp of the frame at every output pixel
  std::vector<size_t> tap_;     // per pixel of a row: first tap of the warp's 4 x 4
  std::vector<float> kx_, ky_;  // and its weights
};

}  // namespace samplegen
