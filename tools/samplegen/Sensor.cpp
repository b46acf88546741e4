#include "Sensor.h"

#include <algorithm>
#include <cmath>

namespace samplegen {

namespace {

// 64 K standard normal numbers; a sample adds two entries picked at random (2^32 values).
const std::vector<float>& Normals() {
  static const std::vector<float> table = [] {
    std::vector<float> t(size_t{1} << 16);
    Rng rng(0x5E450Bull);
    for (float& v : t) v = static_cast<float>(rng.normal());
    return t;
  }();
  return table;
}

constexpr double kNormalFrom = 24;  // Poisson means from which the normal approximation serves

}  // namespace

PhotonSampler::PhotonSampler(uint64_t seed) : rng_(seed), normals_(Normals().data()) {}

double PhotonSampler::normal() {
  const float* t = normals_;
  uint64_t r = rng_.next();
  return (t[r & 0xFFFF] + t[(r >> 16) & 0xFFFF]) * 0.70710678118654752;
}

void PhotonSampler::exposure(double mean, double& photons, double& read) {
  const float* t = normals_;
  const uint64_t r = rng_.next();
  read = (t[(r >> 32) & 0xFFFF] + t[r >> 48]) * 0.70710678118654752;
  if (mean >= kNormalFrom) {
    const double n = (t[r & 0xFFFF] + t[(r >> 16) & 0xFFFF]) * 0.70710678118654752;
    photons = std::max(0.0, std::floor(mean + std::sqrt(mean) * n + 0.5));
  } else {
    photons = poisson(mean);
  }
}

double PhotonSampler::poisson(double mean) {
  if (mean <= 0) return 0;
  if (mean >= kNormalFrom) return std::max(0.0, std::floor(mean + std::sqrt(mean) * normal() + 0.5));
  // Small means: multiply uniforms until the product drops below exp(-mean).
  const double limit = std::exp(-mean);
  double p = rng_.uniform();
  int k = 0;
  while (p > limit) {
    p *= rng_.uniform();
    ++k;
  }
  return k;
}

void Expose(const float* e, int n, const SensorModel& m, const uint64_t* seed, uint16_t* out) {
  const double top = std::ldexp(1.0, m.bits) - 1;
  if (!seed) {
    for (int i = 0; i < n; ++i) out[i] = static_cast<uint16_t>(std::clamp(std::floor(e[i] * m.gain + 0.5), 0.0, top));
    return;
  }
  PhotonSampler s(*seed);
  for (int i = 0; i < n; ++i) {
    double photons, read;
    s.exposure(e[i], photons, read);
    out[i] = static_cast<uint16_t>(std::clamp(std::floor((photons + m.readNoise * read) * m.gain + 0.5), 0.0, top));
  }
}

}  // namespace samplegen
