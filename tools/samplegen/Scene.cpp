#include "Scene.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

#include "Random.h"

namespace samplegen {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
  double r, g, b;
};

// Runs body(y) for y in [0, rows) on a few threads; rows are independent, so the result does
// not depend on the thread count.
void ParallelRows(int rows, const std::function<void(int)>& body) {
  const int n = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  std::vector<std::thread> threads;
  for (int t = 0; t < n; ++t)
    threads.emplace_back([&, t] {
      for (int y = t; y < rows; y += n) body(y);
    });
  for (auto& th : threads) th.join();
}

double Smooth(double e0, double e1, double x) {
  double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Lattice value noise in -1..1 with quintic interpolation, and its fractal sum.
double Lattice(uint64_t seed, int64_t x, int64_t y) {
  return static_cast<double>(Hash(seed, static_cast<uint64_t>(x), static_cast<uint64_t>(y)) >> 11) *
             (2.0 / 9007199254740992.0) -
         1.0;
}
double ValueNoise(uint64_t seed, double x, double y) {
  double fx = std::floor(x), fy = std::floor(y);
  auto ix = static_cast<int64_t>(fx), iy = static_cast<int64_t>(fy);
  double tx = x - fx, ty = y - fy;
  tx = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
  ty = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
  double a = Lattice(seed, ix, iy), b = Lattice(seed, ix + 1, iy);
  double c = Lattice(seed, ix, iy + 1), d = Lattice(seed, ix + 1, iy + 1);
  return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}
double Fbm(uint64_t seed, double x, double y, int octaves) {
  double sum = 0, amp = 0.5, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * ValueNoise(seed + static_cast<uint64_t>(o) * 7919, x, y);
    norm += amp;
    x *= 2.03;
    y *= 2.03;
    amp *= 0.5;
  }
  return sum / norm;
}

// Distances to the nearest and second nearest feature point of a jittered grid.
void Worley(uint64_t seed, double x, double y, double& f1, double& f2, uint64_t& nearest) {
  double fx = std::floor(x), fy = std::floor(y);
  f1 = f2 = 1e9;
  nearest = 0;
  for (int j = -1; j <= 1; ++j)
    for (int i = -1; i <= 1; ++i) {
      auto cx = static_cast<int64_t>(fx) + i, cy = static_cast<int64_t>(fy) + j;
      uint64_t h = Hash(seed, static_cast<uint64_t>(cx), static_cast<uint64_t>(cy));
      double px = static_cast<double>(cx) + 0.15 + 0.7 * static_cast<double>(h & 0xFFFF) / 65535.0;
      double py = static_cast<double>(cy) + 0.15 + 0.7 * static_cast<double>((h >> 16) & 0xFFFF) / 65535.0;
      double d = std::hypot(x - px, y - py);
      if (d < f1) {
        f2 = f1;
        f1 = d;
        nearest = h;
      } else if (d < f2) {
        f2 = d;
      }
    }
}

// A banded gas giant with belts, turbulence, festoons, a red spot and white ovals.
struct Planet {
  double cx, cy, radius, tilt;
  uint64_t seed;
  Rgb operator()(double x, double y) const {
    double dx = x - cx, dy = y - cy;
    double c = std::cos(tilt), s = std::sin(tilt);
    double u = (dx * c + dy * s) / radius;
    double v = (-dx * s + dy * c) / (radius * 0.935);
    double r2 = u * u + v * v;
    if (r2 >= 1) return {6, 6, 7};
    double mu = std::sqrt(1 - r2);
    double lon = std::atan2(u, mu) + 0.4;
    double belt = 0;
    auto band = [&](double at, double width, double depth) { belt += depth * std::exp(-((v - at) * (v - at)) / (width * width)); };
    band(0.17, 0.065, 0.40);   // north equatorial belt
    band(-0.21, 0.075, 0.36);  // south equatorial belt
    band(0.45, 0.035, 0.22);
    band(-0.47, 0.035, 0.20);
    band(0.02, 0.02, 0.08);
    double polar = std::max(0.0, std::abs(v) - 0.58) / 0.42;
    double fine = 0.035 * std::sin(v * 47 + 1) + 0.02 * std::sin(v * 93 + 2);
    double turb = Fbm(seed, lon * 9, v * 26, 5) * (0.05 + 0.16 * std::min(belt * 2.5, 1.0));
    double bright = 0.86 - belt - 0.28 * polar + fine + turb;
    // Festoons: dark slanted wisps hanging from the belt's southern edge into the zone.
    for (int k = -6; k <= 6; ++k) {
      double l0 = k * 0.42 + 0.1 * Lattice(seed + 3, k, 0);
      double along = (0.12 - v) / 0.09;
      if (along < 0 || along > 1) continue;
      double off = lon - l0 - along * 0.25;
      bright -= 0.30 * std::exp(-off * off / 0.0012) * (1 - along);
    }
    Rgb zone{1.0, 0.94, 0.82}, brown{0.80, 0.60, 0.45};
    double w = std::clamp(belt * 2.2 + 0.3 * polar, 0.0, 1.0);
    Rgb col{zone.r + (brown.r - zone.r) * w, zone.g + (brown.g - zone.g) * w, zone.b + (brown.b - zone.b) * w};
    // Great red spot with a darker collar, and three white ovals.
    double grs = ((lon - 0.55) / 0.2) * ((lon - 0.55) / 0.2) + ((v + 0.33) / 0.065) * ((v + 0.33) / 0.065);
    if (grs < 1.6) {
      double inside = 1 - Smooth(0.7, 1.0, grs);
      double collar = std::exp(-(grs - 1.05) * (grs - 1.05) / 0.02);
      bright += 0.08 * inside - 0.2 * collar;
      col = {col.r + (0.92 - col.r) * inside, col.g + (0.52 - col.g) * inside, col.b + (0.38 - col.b) * inside};
    }
    for (double l : {-0.7, -0.25, 0.15}) {
      double d = ((lon - l) / 0.07) * ((lon - l) / 0.07) + ((v + 0.6) / 0.025) * ((v + 0.6) / 0.025);
      bright += 0.25 * std::exp(-d * 1.5);
    }
    double limb = 0.28 + 0.72 * std::pow(mu, 0.65);
    double level = 245 * std::clamp(bright, 0.05, 1.2) * limb;
    return {level * col.r, level * col.g, level * col.b};
  }
};

// A low-sun lunar field: maria, craters of all sizes with rims and shadows.
Master RenderMoon(int w, int h, uint64_t seed) {
  const int ss = 2;
  const int W = w * ss, H = h * ss;
  std::vector<float> height(static_cast<size_t>(W) * H, 0.0f);
  Rng rng(Hash(seed, 11));
  // Rolling ground.
  ParallelRows(H, [&](int y) {
    for (int x = 0; x < W; ++x)
      height[static_cast<size_t>(y) * W + x] = static_cast<float>(6.0 * ss * Fbm(seed + 5, x / (40.0 * ss), y / (40.0 * ss), 4));
  });
  const double rmin = 1.5 * ss, rmax = 0.16 * std::min(w, h) * ss;
  const int craters = std::max(40, w * h / 700);
  for (int n = 0; n < craters; ++n) {
    double u = rng.uniform();
    double r = rmin / (1 - u * (1 - rmin / rmax));  // many small, few large
    double cx = rng.uniform(0, W), cy = rng.uniform(0, H);
    double depth = 0.30 * r, rim = 0.09 * r;
    int x0 = std::max(0, static_cast<int>(cx - 3 * r)), x1 = std::min(W - 1, static_cast<int>(cx + 3 * r));
    int y0 = std::max(0, static_cast<int>(cy - 3 * r)), y1 = std::min(H - 1, static_cast<int>(cy + 3 * r));
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        double q = std::hypot(x - cx, y - cy) / r;
        double dh = rim * std::exp(-(q - 1) * (q - 1) / 0.018);
        if (q < 1) dh -= depth * (1 - q * q);
        else dh += 0.02 * r / (q * q * q);
        height[static_cast<size_t>(y) * W + x] += static_cast<float>(dh);
      }
  }
  const double elev = 24 * kPi / 180;
  const double lx = -std::cos(elev), lz = std::sin(elev);
  // Cast shadows: the sun is low in the west (left); walking each row eastwards, a point lies
  // in shadow while it is below the ray grazing the last high point.
  std::vector<uint8_t> shadow(height.size(), 0);
  const double drop = std::tan(elev);
  for (int y = 0; y < H; ++y) {
    double ray = -1e30;
    for (int x = 0; x < W; ++x) {
      double hh = height[static_cast<size_t>(y) * W + x];
      ray -= drop;
      if (hh < ray - 0.05) shadow[static_cast<size_t>(y) * W + x] = 1;
      else ray = hh;
    }
  }
  Master m;
  m.width = w;
  m.height = h;
  for (auto& p : m.plane) p.assign(static_cast<size_t>(w) * h, 0.0f);
  ParallelRows(h, [&](int y) {
    for (int x = 0; x < w; ++x) {
      double sum = 0;
      for (int j = 0; j < ss; ++j)
        for (int i = 0; i < ss; ++i) {
          int X = std::clamp(x * ss + i, 1, W - 2), Y = std::clamp(y * ss + j, 1, H - 2);
          double gx = (height[static_cast<size_t>(Y) * W + X + 1] - height[static_cast<size_t>(Y) * W + X - 1]) / 2;
          double gy = (height[static_cast<size_t>(Y + 1) * W + X] - height[static_cast<size_t>(Y - 1) * W + X]) / 2;
          double nx = -gx, nz = 1, ny = -gy;
          double len = std::sqrt(nx * nx + ny * ny + nz * nz);
          double shade = std::max(0.0, (nx * lx + nz * lz) / len) / lz;
          if (shadow[static_cast<size_t>(Y) * W + X]) shade *= 0.04;
          double mare = Smooth(0.05, 0.35, Fbm(seed + 9, X / (260.0 * ss), Y / (260.0 * ss), 4));
          double albedo = 0.95 - 0.42 * mare + 0.05 * Fbm(seed + 13, X / (8.0 * ss), Y / (8.0 * ss), 2);
          sum += 140 * albedo * shade;
        }
      double v = std::clamp(sum / (ss * ss), 0.0, 255.0);
      size_t k = static_cast<size_t>(y) * w + x;
      m.plane[0][k] = static_cast<float>(std::min(255.0, v * 1.0));
      m.plane[1][k] = static_cast<float>(v * 0.97);
      m.plane[2][k] = static_cast<float>(v * 0.91);
    }
  });
  return m;
}

// Photospheric granulation with a sunspot (umbra and filamentary penumbra) near the centre.
struct Sun {
  double cx, cy, umbra, penumbra, granule;
  uint64_t seed;
  Rgb operator()(double x, double y) const {
    double f1, f2;
    uint64_t cell;
    // Warped cells give the irregular granule shapes; the centres are brightest, the lanes
    // between them dark and narrow.
    double wx = x / granule + 0.35 * Fbm(seed + 7, x / 17, y / 17, 3);
    double wy = y / granule + 0.35 * Fbm(seed + 8, x / 17, y / 17, 3);
    Worley(seed, wx, wy, f1, f2, cell);
    double lanes = Smooth(0.0, 0.30, f2 - f1);
    double dome = 1 - Smooth(0.0, 0.9, f1);
    double cellBright = 0.18 * (static_cast<double>(cell >> 40) / 16777215.0 - 0.5);
    double gran = 0.62 + 0.22 * lanes + 0.18 * dome * lanes + cellBright + 0.04 * Fbm(seed + 1, x / 40, y / 40, 3);
    double d = std::hypot(x - cx, y - cy);
    double angle = std::atan2(y - cy, x - cx);
    double pen = 0.58 + 0.12 * std::sin(angle * 70 + 6 * Fbm(seed + 2, angle * 3, d / 20, 3)) +
                 0.05 * Fbm(seed + 4, x / 6, y / 6, 2);
    double umb = 0.16 + 0.03 * Fbm(seed + 6, x / 5, y / 5, 2);
    double tPen = Smooth(penumbra * 0.92, penumbra * 1.08, d);  // 0 inside the penumbra, 1 outside
    double tUmb = Smooth(umbra * 0.85, umbra * 1.15, d);
    double inner = umb + (pen - umb) * tUmb;
    double level = 235 * (inner + (gran - inner) * tPen);
    return {level, level * 0.86, level * 0.62};
  }
};

template <typename F>
Master Supersample(int w, int h, int ss, const F& f) {
  Master m;
  m.width = w;
  m.height = h;
  for (auto& p : m.plane) p.assign(static_cast<size_t>(w) * h, 0.0f);
  ParallelRows(h, [&](int y) {
    for (int x = 0; x < w; ++x) {
      Rgb sum{0, 0, 0};
      for (int j = 0; j < ss; ++j)
        for (int i = 0; i < ss; ++i) {
          Rgb c = f(x + (i + 0.5) / ss, y + (j + 0.5) / ss);
          sum.r += c.r;
          sum.g += c.g;
          sum.b += c.b;
        }
      size_t k = static_cast<size_t>(y) * w + x;
      double n = ss * ss;
      m.plane[0][k] = static_cast<float>(std::clamp(sum.r / n, 0.0, 255.0));
      m.plane[1][k] = static_cast<float>(std::clamp(sum.g / n, 0.0, 255.0));
      m.plane[2][k] = static_cast<float>(std::clamp(sum.b / n, 0.0, 255.0));
    }
  });
  return m;
}

}  // namespace

bool ParseScene(const std::string& name, SceneKind& out) {
  if (name == "planet") out = SceneKind::Planet;
  else if (name == "moon") out = SceneKind::Moon;
  else if (name == "sun") out = SceneKind::Sun;
  else return false;
  return true;
}

const char* SceneName(SceneKind k) {
  switch (k) {
    case SceneKind::Planet: return "planet";
    case SceneKind::Moon: return "moon";
    case SceneKind::Sun: return "sun";
  }
  return "?";
}

Master RenderScene(SceneKind kind, int width, int height, uint64_t seed) {
  const double side = std::min(width, height);
  switch (kind) {
    case SceneKind::Planet:
      return Supersample(width, height, 3, Planet{width / 2.0, height / 2.0, std::max(8.0, 0.30 * side), 0.14, seed});
    case SceneKind::Moon:
      return RenderMoon(width, height, seed);
    case SceneKind::Sun:
      return Supersample(width, height, 3,
                         Sun{width / 2.0 + 0.08 * side, height / 2.0 - 0.05 * side, std::max(3.0, 0.05 * side),
                             std::max(6.0, 0.11 * side), 11.0, seed});
  }
  return {};
}

}  // namespace samplegen
