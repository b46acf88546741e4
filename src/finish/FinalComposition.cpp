#include "finish/FinalComposition.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

#include "base/Numbers.h"
#include "ui/Canvas.h"

namespace finish {

namespace {

// Round half to even without a library call (the default rounding mode; |v| < 2^51).
inline int RoundEven(double v) {
  constexpr double kMagic = 6755399441055744.0;  // 1.5 x 2^52
  return static_cast<int>((v + kMagic) - kMagic);
}

double NormalisedAngle(double a) {
  if (!std::isfinite(a)) return 0;
  return std::fmod(a, 360.0);
}

// Bilinear sampler of the 16-bit source about the centre. Positions in (-1, 0) take the edge
// pixel; a neighbour beyond the last row or column repeats it.
struct Sampler {
  const formats::TTIFFBitMap& src;
  int W, H;
  float cx, cy, sn, cs;
  bool rotate;

  // false: outside (black).
  inline bool sample(int x, int y, float& r, float& g, float& b) const {
    if (!rotate) {
      const uint16_t* p = src.row16(y) + 3 * x;
      r = p[0] / 256.0f;
      g = p[1] / 256.0f;
      b = p[2] / 256.0f;
      return true;
    }
    const float dx = x - cx, dy = y - cy;
    const float xs = cx + dx * cs - dy * sn;
    const float ys = dx * sn + cy + dy * cs;
    if (!(xs > -1.0f && xs < static_cast<float>(W) && ys > -1.0f && ys < static_cast<float>(H))) return false;
    int X = static_cast<int>(xs), Y = static_cast<int>(ys);
    float fx = xs - X, fy = ys - Y;
    if (xs < 0) fx = 0;
    if (ys < 0) fy = 0;
    const int X1 = std::min(X + 1, W - 1), Y1 = std::min(Y + 1, H - 1);
    const uint16_t* r0 = src.row16(Y);
    const uint16_t* r1 = src.row16(Y1);
    const float w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
    const float k = 1.0f / 256;
    r = (w00 * r0[3 * X] + w10 * r0[3 * X1] + w01 * r1[3 * X] + w11 * r1[3 * X1]) * k;
    g = (w00 * r0[3 * X + 1] + w10 * r0[3 * X1 + 1] + w01 * r1[3 * X + 1] + w11 * r1[3 * X1 + 1]) * k;
    b = (w00 * r0[3 * X + 2] + w10 * r0[3 * X1 + 2] + w01 * r1[3 * X + 2] + w11 * r1[3 * X1 + 2]) * k;
    return true;
  }
};

Sampler MakeSampler(const formats::TTIFFBitMap& src, int W, int H, double angle) {
  const double a = NormalisedAngle(angle);
  // Quarter turns come out exact (cos 90 would otherwise leave a 1e-8 blend of neighbours).
  const double theta = -a * M_PI / 180;
  auto snap = [](double v) { return static_cast<float>(std::fabs(v) < 1e-9 ? 0.0 : v); };
  return Sampler{src, W, H, W * 0.5f, H * 0.5f, snap(std::sin(theta)), snap(std::cos(theta)), a != 0};
}

// The sliders and curves folded into one table per quantity, indexed by Round(hue x 10).
struct Adjust {
  std::array<float, 3601> hue, sat, val;
  explicit Adjust(const FinalSettings& s) {
    for (int i = 0; i <= 3600; ++i) {
      hue[i] = static_cast<float>(s.hue + (s.hueCurve ? 2.0 * (*s.hueCurve)[i] : 0.0));
      sat[i] = static_cast<float>(s.saturation + (s.saturationCurve ? 2.0 * (*s.saturationCurve)[i] : 0.0));
      val[i] = static_cast<float>(s.lightness + (s.lightnessCurve ? 2.0 * (*s.lightnessCurve)[i] : 0.0));
    }
  }
  // H in degrees, S and V on 0 … 255.
  void apply(double& h, double& s, double& v) const {
    const int idx = std::clamp(RoundEven(h * 10), 0, 3600);
    h = std::clamp(h + hue[idx], 0.0, 360.0);
    s = std::clamp(s + sat[idx], 0.0, 255.0);
    v = std::clamp(v + val[idx], 0.0, 255.0);
  }
};

}  // namespace

namespace {
inline Hsv RgbToHsvInline(double r, double g, double b) {
  Hsv o;
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  o.v = mx;
  o.s = mx > 0 ? (mx - mn) / mx : 0;
  if (o.s == 0) return o;
  const double k = 60 / (mx - mn);
  if (r == mx) o.h = (g - b) * k;
  else if (g == mx) o.h = (b - r) * k + 120;
  else o.h = (r - g) * k + 240;
  if (o.h < 0) o.h += 360;
  return o;
}

inline void HsvToRgb8Inline(int h, int s, int v, unsigned char& r, unsigned char& g, unsigned char& b) {
  if (s == 0) {
    r = g = b = static_cast<unsigned char>(v);
    return;
  }
  if (h == 360) h = 0;
  const int i = h / 60, f = h % 60;
  const int p = v - (v * s) / 255;
  const int q = v - (v * s * f) / 15300;
  const int t = v - (v * s * (60 - f)) / 15300;
  int R, G, B;
  switch (i) {
    case 0: R = v, G = t, B = p; break;
    case 1: R = q, G = v, B = p; break;
    case 2: R = p, G = v, B = t; break;
    case 3: R = p, G = q, B = v; break;
    case 4: R = t, G = p, B = v; break;
    default: R = v, G = p, B = q; break;
  }
  r = static_cast<unsigned char>(std::clamp(R, 0, 255));
  g = static_cast<unsigned char>(std::clamp(G, 0, 255));
  b = static_cast<unsigned char>(std::clamp(B, 0, 255));
}

// Rows [y0, y1) on `workers` threads (the calling one included); each gets its index.
void ForRowBands(int H, const std::function<void(int y0, int y1, int worker)>& fn, int workers) {
  workers = std::clamp(workers, 1, std::max(1, H / 64));
  if (workers == 1) {
    fn(0, H, 0);
    return;
  }
  std::vector<std::thread> pool;
  for (int w = 1; w < workers; ++w) pool.emplace_back(fn, H * w / workers, H * (w + 1) / workers, w);
  fn(0, H / workers, 0);
  for (auto& t : pool) t.join();
}

int Workers() { return static_cast<int>(std::min(4u, std::max(1u, std::thread::hardware_concurrency()))); }
}  // namespace

Hsv RgbToHsv(double r, double g, double b) { return RgbToHsvInline(r, g, b); }

void HsvToRgb8(int h, int s, int v, unsigned char& r, unsigned char& g, unsigned char& b) {
  HsvToRgb8Inline(h, s, v, r, g, b);
}

void HsvToRgbF(double h, double s, double v, double& r, double& g, double& b) {
  if (s <= 0) {
    r = g = b = v;
    return;
  }
  if (h >= 360) h = 0;
  const double hh = h / 60;
  const int i = static_cast<int>(hh);
  const double f = hh - i;
  const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  switch (i) {
    case 0: r = v, g = t, b = p; break;
    case 1: r = q, g = v, b = p; break;
    case 2: r = p, g = v, b = t; break;
    case 3: r = p, g = q, b = v; break;
    case 4: r = t, g = p, b = v; break;
    default: r = v, g = p, b = q; break;
  }
}

void ComposeFinal8(const formats::TTIFFBitMap& out48, int W, int H, const FinalSettings& s, ui::Bitmap24& unflipped,
                   ui::Bitmap24& shown, HueCounts& hueHist) {
  hueHist.fill(0);
  W = std::max(0, std::min(W, out48.width48()));
  H = std::max(0, std::min(H, out48.height48()));
  unflipped.setSize(W, H);
  const Sampler smp = MakeSampler(out48, W, H, s.angle);
  const auto adjOwned = std::make_unique<Adjust>(s);
  const Adjust& adj = *adjOwned;
  // Bands of rows on the cores; each counts its own hue histogram (sums are order-free).
  const int workers = Workers();
  std::vector<HueCounts> parts(workers, HueCounts{});
  ForRowBands(
      H,
      [&](int y0, int y1, int worker) {
        HueCounts& hh = parts[worker];
        for (int y = y0; y < y1; ++y) {
          uint8_t* row = unflipped.row(y);
          for (int x = 0; x < W; ++x) {
            float R = 0, G = 0, B = 0;
            smp.sample(x, y, R, G, B);
            Hsv c = RgbToHsvInline(R, G, B);
            if (c.v > 100) ++hh[RoundEven(c.h)];
            c.s *= 255;
            adj.apply(c.h, c.s, c.v);
            unsigned char r8, g8, b8;
            HsvToRgb8Inline(RoundEven(c.h), RoundEven(c.s), RoundEven(c.v), r8, g8, b8);
            row[3 * x] = b8;
            row[3 * x + 1] = g8;
            row[3 * x + 2] = r8;
          }
        }
      },
      workers);
  for (const HueCounts& p : parts)
    for (int i = 0; i <= 360; ++i) hueHist[i] += p[i];
  shown.assign(unflipped);
  FlipPicture(shown, s.flipX, s.flipY);
}

void ComposeFinal16(const formats::TTIFFBitMap& out48, int W, int H, const FinalSettings& s,
                    formats::TTIFFBitMap& result) {
  W = std::max(0, std::min(W, out48.width48()));
  H = std::max(0, std::min(H, out48.height48()));
  result.Allocate48(W, H);
  const Sampler smp = MakeSampler(out48, W, H, s.angle);
  const auto adjOwned = std::make_unique<Adjust>(s);
  const Adjust& adj = *adjOwned;
  const double outScale = smp.rotate ? 256 : 255;
  ForRowBands(
      H,
      [&](int y0, int y1, int) {
        for (int y = y0; y < y1; ++y) {
          const int ty = s.flipY ? H - 1 - y : y;
          uint16_t* row = result.row16(ty);
          for (int x = 0; x < W; ++x) {
            float R = 0, G = 0, B = 0;
            smp.sample(x, y, R, G, B);
            Hsv c = RgbToHsvInline(R + 0.01, G, B);
            c.s *= 255;
            adj.apply(c.h, c.s, c.v);
            double r, g, b;
            HsvToRgbF(c.h, c.s / 255, c.v, r, g, b);
            const int tx = s.flipX ? W - 1 - x : x;
            uint16_t* p = row + 3 * tx;
            p[0] = static_cast<uint16_t>(std::clamp(RoundEven(r * outScale), 0, 65535));
            p[1] = static_cast<uint16_t>(std::clamp(RoundEven(g * outScale), 0, 65535));
            p[2] = static_cast<uint16_t>(std::clamp(RoundEven(b * outScale), 0, 65535));
          }
        }
      },
      Workers());
  result.has16Bit = true;
  result.bitsPerPixel = 48;
}

void FlipPicture(ui::Bitmap24& p, bool flipX, bool flipY) {
  const int W = p.width(), H = p.height();
  if (flipY)
    for (int y = 0; y < H / 2; ++y) std::swap_ranges(p.row(y), p.row(y) + p.stride(), p.row(H - 1 - y));
  if (flipX)
    for (int y = 0; y < H; ++y) {
      uint8_t* r = p.row(y);
      for (int x = 0; x < W / 2; ++x) std::swap_ranges(r + 3 * x, r + 3 * x + 3, r + 3 * (W - 1 - x));
    }
}

void DrawHueHistogram(ui::Bitmap24& img, const HueCounts& h) {
  img.setSize(361, 50);
  img.fill(ui::colors::White);
  const int mx = *std::max_element(h.begin(), h.end());
  if (mx == 0) return;
  ui::Canvas cv(img);
  cv.pen.color = ui::colors::Black;
  for (int i = 0; i <= 360; ++i) {
    cv.moveTo(i, 50);
    cv.lineTo(i, 50 - px::Round(static_cast<double>(h[i]) / mx * 50));
  }
}

void SetDefaultHslCurve(TBSpline& s) {
  s.Clear();
  for (int i = 0; i <= 8; ++i) s.AddPoint({45.0f * i, 50});
  s.SetInterpolated(true);
  s.SetShowPoints(true);
  s.SetFragments(50);
}

void SampleHslCurve(TBSpline& s, HslCurveTable& table) {
  for (int i = 0; i <= 3600; ++i) table[i] = s.Count() < 2 ? 0.0f : 50 - s.Value(i / 3600.0).y;
}

bool DragHslPoint(TBSpline& s, float x, float y) {
  const int n = s.Count();
  if (n < 3 || !std::isfinite(x) || !std::isfinite(y)) return false;
  x = std::clamp(x, 0.0f, 360.0f);
  y = std::clamp(y, 0.0f, 100.0f);
  int k = 0;
  for (int i = 1; i <= n; ++i) {
    const SplinePoint p = s.GetPoint(i);
    if (std::fabs(x - p.x) < 10 && std::fabs(y - p.y) < 10) k = i;
  }
  if (!k) return false;
  if (k == 1 || k == n) {
    const bool inside = k == 1 ? x < s.GetPoint(2).x - 15 : x > s.GetPoint(n - 1).x + 15;
    if (!inside) return false;
    s.SetPoint(1, {0, y});
    s.SetPoint(n, {360, y});
  } else {
    if (!(x > s.GetPoint(k - 1).x + 15 && x < s.GetPoint(k + 1).x - 15)) return false;
    s.SetPoint(k, {x, y});
  }
  return true;
}

void DrawHslGraph(ui::Bitmap24& graph, TBSpline& s) {
  graph.setSize(361, 100);
  graph.fill(ui::colors::White);
  ui::Canvas cv(graph);
  cv.pen.color = ui::colors::Silver;
  for (int x = 0; x <= 360; x += 45) {
    cv.moveTo(x, 0);
    cv.lineTo(x, 100);
  }
  cv.pen.color = ui::colors::Green;
  cv.moveTo(0, 50);
  cv.lineTo(361, 50);
  s.SetInterpolated(true);
  s.SetShowPoints(true);
  s.SetFragments(50);
  s.Draw(cv);
}

CropRect NormaliseCrop(CropRect r, int W, int H) {
  if (r.none()) return {};
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  r.left = std::clamp(r.left, 0, W);
  r.right = std::clamp(r.right, 0, W);
  r.top = std::clamp(r.top, 0, H);
  r.bottom = std::clamp(r.bottom, 0, H);
  if (r.right <= r.left || r.bottom <= r.top) return {};
  return r;
}

ui::Bitmap24 CropPicture(const ui::Bitmap24& p, const CropRect& r0) {
  const CropRect r = NormaliseCrop(r0, p.width(), p.height());
  if (r.none()) return p;
  ui::Bitmap24 out(r.right - r.left, r.bottom - r.top);
  for (int y = r.top; y < r.bottom; ++y) std::copy_n(p.row(y) + 3 * r.left, out.stride(), out.row(y - r.top));
  return out;
}

}  // namespace finish
