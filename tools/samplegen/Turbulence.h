#pragma once
// Seeing as it happens: von Karman phase screens drifting across an obstructed circular
// aperture (frozen flow), and the short-exposure PSF |FFT(pupil exp(i phase))|^2 of each
// instant, sampled at 2.5 pixels per lambda/D.
#include <cstdint>
#include <vector>

#include "Fft.h"

namespace samplegen {

struct PupilGeometry {
  int grid = 128;             // FFT grid of the pupil plane = PSF field in pixels
  double diameter = 51.2;     // aperture diameter in pupil samples (grid / 2.5)
  double obstruction = 0.3;   // central obstruction, fraction of the diameter
};

// What one PSF does to the picture: its first moment relative to the diffraction-limited
// PSF's (pixels; content moves by this much) and its peak relative to that PSF's peak.
struct PsfStats {
  double cx = 0, cy = 0;
  double strehl = 1;
};

class Optics {
 public:
  explicit Optics(const PupilGeometry& g);
  const PupilGeometry& geometry() const { return g_; }
  int grid() const { return g_.grid; }
  // Pupil samples (indices into the grid x grid plane) inside the aperture.
  const std::vector<int>& pupil() const { return pupil_; }
  // The PSF for a phase over the pupil (radians, one value per pupil() sample; empty = no
  // aberration), grid x grid, sum 1, the diffraction-limited centre at (grid/2, grid/2).
  // `fft` and `field` are the caller's work space (thread safety).
  void psf(const std::vector<float>& phase, std::vector<float>& out, Fft2& fft, std::vector<Cf>& field) const;
  PsfStats measure(const std::vector<float>& psf) const;
  double diffractionPeak() const { return peak_; }
  double centreX() const { return centreX_; }
  double centreY() const { return centreY_; }

 private:
  PupilGeometry g_;
  std::vector<int> pupil_;
  double peak_ = 1, centreX_ = 0, centreY_ = 0;
};

struct Layer {
  double weight;  // share of the turbulence (weights add up to 1)
  int vx, vy;     // drift in screen samples per frame
};

// Two periodic screens (the real and imaginary parts of one filtered complex white noise)
// with the Kolmogorov strength of D/r0 = 1 and a von Karman outer scale.
class PhaseScreens {
 public:
  PhaseScreens(int size, double diameter, double outerScaleApertures, uint64_t seed);
  // The phase over the optics' pupil samples at frame t for the given D/r0.
  void phase(const Optics& optics, int frame, double dR0, std::vector<float>& out) const;
  const std::vector<Layer>& layers() const { return layers_; }
  int size() const { return n_; }
  float at(int layer, int x, int y) const;  // periodic

 private:
  int n_;
  std::vector<float> screen_[2];
  std::vector<Layer> layers_;
};

// D/r0 for every frame: a slowly wandering log-normal AR(1) process kept inside [lo, hi]
// (all zero when hi is 0).
std::vector<double> DR0Series(int frames, double lo, double hi, uint64_t seed);

}  // namespace samplegen
