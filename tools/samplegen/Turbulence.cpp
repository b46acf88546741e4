#include "Turbulence.h"

#include <algorithm>
#include <cmath>

#include "Random.h"

namespace samplegen {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Where a periodic plane sits: the phase of its lowest spatial frequency along each axis (the
// first moment on the torus; exact for a shifted copy, however far it wraps).
void Moment(const std::vector<float>& p, int grid, double& cx, double& cy) {
  double xr = 0, xi = 0, yr = 0, yi = 0;
  for (int y = 0; y < grid; ++y)
    for (int x = 0; x < grid; ++x) {
      double v = p[static_cast<size_t>(y) * grid + x];
      double ax = 2 * kPi * (x - grid / 2) / grid, ay = 2 * kPi * (y - grid / 2) / grid;
      xr += v * std::cos(ax);
      xi += v * std::sin(ax);
      yr += v * std::cos(ay);
      yi += v * std::sin(ay);
    }
  cx = grid / 2 + std::atan2(xi, xr) * grid / (2 * kPi);
  cy = grid / 2 + std::atan2(yi, yr) * grid / (2 * kPi);
}

// The PSF's continuous peak: the band-limited PSF evaluated from its transform on ever finer
// 5 x 5 grids around the brightest sample (a sampled peak alone loses up to 15% when it
// falls between pixels).
double ContinuousPeak(const std::vector<float>& p, int grid, Fft2& fft) {
  size_t best = static_cast<size_t>(std::max_element(p.begin(), p.end()) - p.begin());
  double bx = static_cast<double>(best % grid), by = static_cast<double>(best / grid);
  std::vector<Cf> otf(p.size());
  for (size_t i = 0; i < p.size(); ++i) otf[i] = {p[i], 0};
  fft.forward(otf.data());
  double peak = p[best];
  const int n = 5;
  auto freq = [grid](int k) { return k < grid / 2 ? k : k - grid; };
  std::vector<Cf> ex(static_cast<size_t>(n) * grid), ey(ex.size()), a(ex.size());
  for (double step : {0.25, 0.0625, 0.015625}) {
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < grid; ++k) {
        double ux = 2 * kPi * freq(k) * (bx + (i - n / 2) * step) / grid;
        double uy = 2 * kPi * freq(k) * (by + (i - n / 2) * step) / grid;
        ex[static_cast<size_t>(i) * grid + k] = {static_cast<float>(std::cos(ux)), static_cast<float>(std::sin(ux))};
        ey[static_cast<size_t>(i) * grid + k] = {static_cast<float>(std::cos(uy)), static_cast<float>(std::sin(uy))};
      }
    // a[i][ky] = sum over kx of OTF(kx, ky) exp(2 pi i kx x_i / grid); then the sum over ky.
    for (int i = 0; i < n; ++i)
      for (int ky = 0; ky < grid; ++ky) {
        double sr = 0, si = 0;
        const Cf* o = otf.data() + static_cast<size_t>(ky) * grid;
        const Cf* e = ex.data() + static_cast<size_t>(i) * grid;
        for (int kx = 0; kx < grid; ++kx) {
          sr += o[kx].re * e[kx].re - o[kx].im * e[kx].im;
          si += o[kx].re * e[kx].im + o[kx].im * e[kx].re;
        }
        a[static_cast<size_t>(i) * grid + ky] = {static_cast<float>(sr), static_cast<float>(si)};
      }
    double nbx = bx, nby = by;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        double v = 0;
        const Cf* r = a.data() + static_cast<size_t>(i) * grid;
        const Cf* e = ey.data() + static_cast<size_t>(j) * grid;
        for (int ky = 0; ky < grid; ++ky) v += r[ky].re * e[ky].re - r[ky].im * e[ky].im;
        v /= static_cast<double>(grid) * grid;
        if (v > peak) {
          peak = v;
          nbx = bx + (i - n / 2) * step;
          nby = by + (j - n / 2) * step;
        }
      }
    bx = nbx;
    by = nby;
  }
  return peak;
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
  peak_ = ContinuousPeak(diff, g.grid, fft);  // the same estimate as every PSF's: Strehl 1 exactly
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
  Fft2 fft(g_.grid, g_.grid);
  s.strehl = ContinuousPeak(psf, g_.grid, fft) / peak_;
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
  const double a = 0.97, b = std::sqrt(1 - a * a);
  const double l0 = std::log(lo), l1 = std::log(hi);
  double q = rng.normal();
  for (double& v : d) {
    v = std::exp(l0 + (l1 - l0) * (0.5 + 0.5 * std::tanh(0.9 * q)));
    q = a * q + b * rng.normal();
  }
  return d;
}

}  // namespace samplegen
