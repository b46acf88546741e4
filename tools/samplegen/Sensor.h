#pragma once
// The camera: photon noise (Poisson), read noise (Gaussian), gain and rounding to the
// sample depth. Deterministic for a seed; one value after another in a fixed order.
#include <cstdint>
#include <vector>

#include "Random.h"

namespace samplegen {

struct SensorModel {
  double readNoise = 3;  // electrons rms
  double gain = 220.0 / 1400;  // levels per electron
  int bits = 8;
};

// Levels for the expected electrons `e` (n values): with noise when `seed` is given, else
// the rounded expectation.
void Expose(const float* e, int n, const SensorModel& m, const uint64_t* seed, uint16_t* out);

// Fast Poisson and normal samples (normals from a table, two entries a value).
class PhotonSampler {
 public:
  explicit PhotonSampler(uint64_t seed);
  double poisson(double mean);
  double normal();
  // Photons of `mean` plus a normal number for the read noise, from one random word
  // where the mean is large enough for the normal approximation.
  void exposure(double mean, double& photons, double& read);

 private:
  Rng rng_;
  const float* normals_;
};

}  // namespace samplegen
