#include "Turbulence.h"

#include <algorithm>
#include <cmath>

#include "Random.h"

namespace samplegen {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Centroid of a grid x grid plane.
void Moment(const std::vector<float>& p, int grid, double& cx, double& cy) {
  double s = 0, sx = 0, sy = 0;
  for (int y = 0; y < grid; ++y)
    for (int x = 0; x < grid; ++x) {
      double v = p[static_cast<size_t>(y) * grid + x];
      s += v;
      sx += v * x;
      sy += v * y;
    }
  cx = s > 0 ? sx / s : grid / 2.0;
  cy = s > 0 ? sy / s : grid / 2.0;
}

}  // namespace

Optics::Optics(const PupilGeometry& g) : g_(g) {
  const double c = g.grid / 2.0, r = g.diameter / 2, ri = r * g.obstruction;
  for (int y = 0; y < g.grid; ++y)
    for (int x = 0; x < g.grid; ++x) {
      double d = std::hypot(x + 0.5 - c, y + 0.5 - c);
      if (d <= r && d >= ri) pupil_.push_back(y * g.grid + x);
    }
  Fft2 fft(g.grid, g.grid);
  std::vector<Cf> field;
  std::vector<float> diff;
  psf({}, diff, fft, field);
  peak_ = *std::max_element(diff.begin(), diff.end());
  Moment(diff, g.grid, centreX_, centreY_);
}

void Optics::psf(const std::vector<float>& phase, std::vector<float>& out, Fft2& fft, std::vector<Cf>& field) const {
  const int n = g_.grid;
  field.assign(static_cast<size_t>(n) * n, Cf{});
  for (size_t k = 0; k < pupil_.size(); ++k) {
    float a = phase.empty() ? 0.0f : phase[k];
    field[static_cast<size_t>(pupil_[k])] = {std::cos(a), std::sin(a)};
  }
  fft.forward(field.data());
  out.resize(field.size());
  double sum = 0;
  // Swap the quadrants so that zero tilt lands at (n/2, n/2).
  const int h = n / 2;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const Cf& v = field[static_cast<size_t>(y) * n + x];
      float p = v.re * v.re + v.im * v.im;
      out[static_cast<size_t>((y + h) % n) * n + (x + h) % n] = p;
      sum += p;
    }
  const float scale = static_cast<float>(1 / sum);
  for (float& v : out) v *= scale;
}

PsfStats Optics::measure(const std::vector<float>& psf) const {
  PsfStats s;
  Moment(psf, g_.grid, s.cx, s.cy);
  s.cx -= centreX_;
  s.cy -= centreY_;
  s.strehl = *std::max_element(psf.begin(), psf.end()) / peak_;
  return s;
}

PhaseScreens::PhaseScreens(int size, double diameter, double outerScaleApertures, uint64_t seed) : n_(size) {
  // Phase power spectrum 0.023 r0^(-5/3) (f^2 + f0^2)^(-11/6), f in cycles per sample, r0 =
  // the diameter; complex white noise shaped by its square root and the frequency step 1/n.
  const double r0 = diameter, f0 = 1 / (outerScaleApertures * diameter), df = 1.0 / n_;
  const double c = 0.023 * std::pow(r0, -5.0 / 3.0);
  Rng rng(Hash(seed, 21));
  std::vector<Cf> spec(static_cast<size_t>(n_) * n_);
  for (int y = 0; y < n_; ++y)
    for (int x = 0; x < n_; ++x) {
      double fx = (x < n_ / 2 ? x : x - n_) * df, fy = (y < n_ / 2 ? y : y - n_) * df;
      double a = std::sqrt(c * std::pow(fx * fx + fy * fy + f0 * f0, -11.0 / 6.0)) * df;
      double re = rng.normal(), im = rng.normal();
      if (x == 0 && y == 0) a = 0;
      spec[static_cast<size_t>(y) * n_ + x] = {static_cast<float>(a * re), static_cast<float>(a * im)};
    }
  Fft2 fft(n_, n_);
  fft.inverse(spec.data());
  for (auto& s : screen_) s.resize(spec.size());
  for (size_t i = 0; i < spec.size(); ++i) {
    screen_[0][i] = spec[i].re;
    screen_[1][i] = spec[i].im;
  }
  // A slow strong layer and a faster weak one, a few samples of drift per frame.
  layers_ = {{0.65, 2, 1}, {0.35, -3, 4}};
}

float PhaseScreens::at(int layer, int x, int y) const {
  x = ((x % n_) + n_) % n_;
  y = ((y % n_) + n_) % n_;
  return screen_[layer][static_cast<size_t>(y) * n_ + x];
}

void PhaseScreens::phase(const Optics& optics, int frame, double dR0, std::vector<float>& out) const {
  const auto& pupil = optics.pupil();
  const int grid = optics.grid();
  out.assign(pupil.size(), 0.0f);
  if (dR0 <= 0) return;
  const double strength = std::pow(dR0, 5.0 / 6.0);
  for (size_t l = 0; l < layers_.size(); ++l) {
    const Layer& L = layers_[l];
    const auto a = static_cast<float>(strength * std::sqrt(L.weight));
    const int ox = L.vx * frame, oy = L.vy * frame;
    for (size_t k = 0; k < pupil.size(); ++k)
      out[k] += a * at(static_cast<int>(l), pupil[k] % grid + ox, pupil[k] / grid + oy);
  }
}

std::vector<double> DR0Series(int frames, double lo, double hi, uint64_t seed) {
  std::vector<double> d(static_cast<size_t>(std::max(frames, 0)), 0.0);
  if (hi <= 0) return d;
  Rng rng(Hash(seed, 22));
  const double a = 0.95, b = std::sqrt(1 - a * a);
  const double l0 = std::log(lo), l1 = std::log(hi);
  double q = rng.normal();
  for (double& v : d) {
    v = std::exp(l0 + (l1 - l0) * (0.5 + 0.5 * std::tanh(0.9 * q)));
    q = a * q + b * rng.normal();
  }
  return d;
}

}  // namespace samplegen
