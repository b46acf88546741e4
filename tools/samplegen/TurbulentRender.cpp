#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3", "no-math-errno")
#endif

#include "TurbulentRender.h"

#include <algorithm>
#include <cmath>

#include "Random.h"

namespace samplegen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kWarpStep = 8;      // the warp is evaluated on this grid and interpolated
constexpr double kWarpLimit = 2;  // pixels
constexpr int kWarpWaves = 6;     // per axis

int NextPow2(int n) {
  int p = 1;
  while (p < n) p *= 2;
  return p;
}

// exp(-2 pi i f s) for every frequency index of an n-point transform: moves content by +s.
void Ramp(int n, double s, std::vector<Cf>& out) {
  out.resize(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    double f = (k < n / 2 ? k : k - n) / static_cast<double>(n);
    double a = -2 * kPi * f * s;
    out[static_cast<size_t>(k)] = {static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a))};
  }
  out[static_cast<size_t>(n / 2)] = {0, 0};  // the Nyquist term has no direction
}

inline Cf Mul(Cf a, Cf b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }

// Keys cubic weights (a = -0.5) for taps -1..2 around a fractional position t (0 <= t < 1).
inline void Cubic(double t, float w[4]) {
  const double t2 = t * t, t3 = t2 * t;
  w[0] = static_cast<float>(-0.5 * t3 + t2 - 0.5 * t);
  w[1] = static_cast<float>(1.5 * t3 - 2.5 * t2 + 1);
  w[2] = static_cast<float>(-1.5 * t3 + 2 * t2 + 0.5 * t);
  w[3] = static_cast<float>(0.5 * t3 - 0.5 * t2);
}

}  // namespace

int TurbulentMargin(double reach, const TurbulentSetup& s, const Optics& optics) {
  return static_cast<int>(std::ceil(reach + std::abs(s.dispersion))) + optics.grid() / 2 + static_cast<int>(kWarpLimit) + 4;
}

TurbulentScene::TurbulentScene(const Master& master, const TurbulentSetup& setup) : s_(setup) {
  gw_ = NextPow2(master.width);
  gh_ = NextPow2(master.height);
  // The brightest level of the planes the frames show (the luminance for grey frames).
  float top = 0;
  const size_t count = master.plane[0].size();
  for (size_t k = 0; k < count; ++k) {
    if (s_.grey) top = std::max(top, 0.299f * master.plane[0][k] + 0.587f * master.plane[1][k] + 0.114f * master.plane[2][k]);
    else top = std::max({top, master.plane[0][k], master.plane[1][k], master.plane[2][k]});
  }
  e_ = s_.peakElectrons / std::max(1.0f, top);
  const size_t n = static_cast<size_t>(gw_) * gh_;
  Fft2 fft(gw_, gh_);
  const double scale = e_ / static_cast<double>(n);  // the inverse transform does not divide
  std::vector<Cf> ry;
  for (int c = 0; c < planes(); ++c) {
    auto& s = spec_[c];
    s.assign(n, Cf{});
    for (int y = 0; y < master.height; ++y)
      for (int x = 0; x < master.width; ++x) {
        size_t k = static_cast<size_t>(y) * master.width + x;
        float v = s_.grey ? 0.299f * master.plane[0][k] + 0.587f * master.plane[1][k] + 0.114f * master.plane[2][k]
                          : master.plane[c][k];
        s[static_cast<size_t>(y) * gw_ + x].re = static_cast<float>(v * scale);
      }
    fft.forward(s.data(), master.height, gh_);
    // Dispersion: red moved up, blue down, once for the whole run.
    double dy = s_.grey ? 0 : c == 0 ? -s_.dispersion : c == 2 ? s_.dispersion : 0;
    if (dy != 0) {
      Ramp(gh_, dy, ry);
      for (int y = 0; y < gh_; ++y)
        for (int x = 0; x < gw_; ++x) s[static_cast<size_t>(y) * gw_ + x] = Mul(s[static_cast<size_t>(y) * gw_ + x], ry[static_cast<size_t>(y)]);
    }
  }
  // Warp: a few plane waves per axis, wavelengths 50..200 pixels, each drifting in phase over
  // 8..30 frames; together rms `aniso` per axis.
  Rng rng(Hash(s_.seed, 24));
  for (int axis = 0; axis < 2; ++axis)
    for (int i = 0; i < kWarpWaves; ++i) {
      double lambda = 50 * std::pow(4.0, rng.uniform()), dir = rng.uniform(0, 2 * kPi);
      double period = rng.uniform(8, 30) * (rng.uniform() < 0.5 ? -1 : 1);
      waves_.push_back({2 * kPi / lambda * std::cos(dir), 2 * kPi / lambda * std::sin(dir), 2 * kPi / period,
                        rng.uniform(0, 2 * kPi), static_cast<double>(axis)});
    }
}

void TurbulentScene::warpAt(int frame, double x, double y, double& dx, double& dy) const {
  const double a = s_.aniso * std::sqrt(2.0 / kWarpWaves);
  dx = dy = 0;
  for (const Wave& w : waves_) {
    double v = a * std::cos(w.kx * x + w.ky * y + w.omega * frame + w.phase);
    (w.axis == 0 ? dx : dy) += v;
  }
}

TurbulentRenderer::TurbulentRenderer(const TurbulentScene& scene, const Optics& optics)
    : scene_(scene), optics_(optics), fft_(scene.gridWidth(), scene.gridHeight()) {
  tap_.resize(static_cast<size_t>(scene.setup().width));
  kx_.resize(4 * tap_.size());
  ky_.resize(4 * tap_.size());
  const size_t n = static_cast<size_t>(scene.gridWidth()) * scene.gridHeight();
  kernel_.resize(n);
  a_.resize(n);
  if (!scene.setup().grey) b_.resize(n);
}

void TurbulentRenderer::fieldPass(const Shift& shift) {
  const int gw = scene_.gridWidth(), gh = scene_.gridHeight();
  const TurbulentSetup& s = scene_.setup();
  Ramp(gw, shift.x, rx_);
  Ramp(gh, shift.y, ry_);
  const bool grey = s.grey;
  const Cf* r = scene_.spectrum(0).data();
  const Cf* g = grey ? nullptr : scene_.spectrum(1).data();
  const Cf* b = grey ? nullptr : scene_.spectrum(2).data();
  for (int y = 0; y < gh; ++y) {
    const Cf ty = ry_[static_cast<size_t>(y)];
    const size_t row = static_cast<size_t>(y) * gw;
    for (int x = 0; x < gw; ++x) {
      const size_t i = row + static_cast<size_t>(x);
      const Cf k = Mul(kernel_[i], Mul(rx_[static_cast<size_t>(x)], ty));
      const Cf kr = Mul(k, r[i]);
      if (grey) {
        a_[i] = kr;
      } else {
        // Two real results in one inverse transform: red + i green.
        const Cf kg = Mul(k, g[i]);
        a_[i] = {kr.re - kg.im, kr.im + kg.re};
        b_[i] = Mul(k, b[i]);
      }
    }
  }
  const int from = s.margin - static_cast<int>(kWarpLimit) - 2, to = s.margin + s.height + static_cast<int>(kWarpLimit) + 3;
  fft_.inverse(a_.data(), from, to);
  if (!grey) fft_.inverse(b_.data(), from, to);
}

void TurbulentRenderer::extract(const TurbulentFrameSpec& spec, int parity, int rowStep, std::vector<float>& e) {
  const TurbulentSetup& s = scene_.setup();
  const int w = s.width, h = s.height, gw = scene_.gridWidth(), m = s.margin;
  const size_t planeSize = static_cast<size_t>(w) * h;
  const bool warp = spec.warp && s.aniso > 0;
  // The planes inside the complex results: red and green in a_, blue in b_ (stride 2 floats).
  const float* src[3] = {&a_[0].re, &a_[0].im, b_.empty() ? nullptr : &b_[0].re};
  for (int y = parity; y < h; y += rowStep) {
    if (warp) {
      // Content moves by the warp: a pixel shows what sat at (x - dx, y - dy). The taps and
      // weights of the row, then every plane with them.
      for (int x = 0; x < w; ++x) {
        const size_t o = static_cast<size_t>(y) * w + x;
        const double X = x + m - wx_[o], Y = y + m - wy_[o];
        const int x0 = static_cast<int>(std::floor(X)), y0 = static_cast<int>(std::floor(Y));
        tap_[static_cast<size_t>(x)] = static_cast<size_t>(y0 - 1) * gw + static_cast<size_t>(x0 - 1);
        Cubic(X - x0, kx_.data() + 4 * x);
        Cubic(Y - y0, ky_.data() + 4 * x);
      }
    }
    for (int c = 0; c < scene_.planes(); ++c) {
      float* out = e.data() + c * planeSize + static_cast<size_t>(y) * w;
      const float* p = src[c];
      if (!warp) {
        const float* row = p + 2 * (static_cast<size_t>(y + m) * gw + static_cast<size_t>(m));
        for (int x = 0; x < w; ++x) out[x] = row[2 * x];
        continue;
      }
      for (int x = 0; x < w; ++x) {
        const float* kx = kx_.data() + 4 * x;
        const float* ky = ky_.data() + 4 * x;
        const float* q = p + 2 * tap_[static_cast<size_t>(x)];
        float sum = 0;
        for (int j = 0; j < 4; ++j, q += 2 * static_cast<size_t>(gw))
          sum += ky[j] * (kx[0] * q[0] + kx[1] * q[2] + kx[2] * q[4] + kx[3] * q[6]);
        out[x] = sum;
      }
    }
  }
}

void TurbulentRenderer::render(const TurbulentFrameSpec& spec, std::vector<float>& electrons) {
  const TurbulentSetup& s = scene_.setup();
  const int gw = scene_.gridWidth(), gh = scene_.gridHeight(), grid = optics_.grid(), half = grid / 2;
  // The PSF as a kernel around the origin of the big plane (offsets -half .. half-1).
  std::fill(kernel_.begin(), kernel_.end(), Cf{});
  for (int y = 0; y < grid; ++y)
    for (int x = 0; x < grid; ++x) {
      int ky = (y - half + gh) % gh, kx = (x - half + gw) % gw;
      kernel_[static_cast<size_t>(ky) * gw + kx].re = spec.psf[static_cast<size_t>(y) * grid + x];
    }
  fft_.forwardZeroColumns(kernel_.data(), half, gw - half);

  const int w = s.width, h = s.height;
  electrons.assign(static_cast<size_t>(scene_.planes()) * w * h, 0.0f);
  if (spec.warp && s.aniso > 0) {
    // The warp on a coarse grid, its mean over the frame removed (the frame as a whole stays
    // where the truth says), interpolated to every pixel.
    const int cw = w / kWarpStep + 2, ch = h / kWarpStep + 2;
    std::vector<double> gx(static_cast<size_t>(cw) * ch), gy(gx.size());
    double mx = 0, my = 0;
    for (int j = 0; j < ch; ++j)
      for (int i = 0; i < cw; ++i) {
        size_t k = static_cast<size_t>(j) * cw + i;
        scene_.warpAt(spec.index, i * kWarpStep, j * kWarpStep, gx[k], gy[k]);
        mx += gx[k];
        my += gy[k];
      }
    mx /= static_cast<double>(gx.size());
    my /= static_cast<double>(gy.size());
    wx_.resize(static_cast<size_t>(w) * h);
    wy_.resize(wx_.size());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int i = x / kWarpStep, j = y / kWarpStep;
        double fx = (x - i * kWarpStep) / static_cast<double>(kWarpStep), fy = (y - j * kWarpStep) / static_cast<double>(kWarpStep);
        auto lerp = [&](const std::vector<double>& g) {
          auto at = [&](int a, int b) { return g[static_cast<size_t>(b) * cw + a]; };
          return (at(i, j) * (1 - fx) + at(i + 1, j) * fx) * (1 - fy) + (at(i, j + 1) * (1 - fx) + at(i + 1, j + 1) * fx) * fy;
        };
        size_t o = static_cast<size_t>(y) * w + x;
        wx_[o] = static_cast<float>(std::clamp(lerp(gx) - mx, -kWarpLimit, kWarpLimit));
        wy_[o] = static_cast<float>(std::clamp(lerp(gy) - my, -kWarpLimit, kWarpLimit));
      }
  }
  const int fields = spec.interlaced ? 2 : 1;
  for (int f = 0; f < fields; ++f) {
    fieldPass(spec.field[f]);
    extract(spec, spec.interlaced ? f : 0, fields, electrons);
  }
}

}  // namespace samplegen
