#include "Yardstick.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

#include "Fft.h"
#include "frames/VideoSource.h"
#include "ui/Bitmap24.h"

using samplegen::Cf;
using samplegen::Fft2;

namespace yardstick {

namespace {

constexpr double kPi = 3.14159265358979323846;

int NextPow2(int n) {
  int p = 1;
  while (p < n) p *= 2;
  return p;
}

// The box's top-left corner, kept inside the frame.
void Corner(const Plane& p, const Box& b, double offX, double offY, int& x0, int& y0) {
  x0 = std::clamp(static_cast<int>(std::lround(b.x + offX)) - b.size / 2, 0, std::max(0, p.width - b.size));
  y0 = std::clamp(static_cast<int>(std::lround(b.y + offY)) - b.size / 2, 0, std::max(0, p.height - b.size));
}

// The box with its mean removed, times a 2-D Hann window, as complex samples; returns the mean.
double Windowed(const Plane& p, const Box& b, int x0, int y0, std::vector<Cf>& out) {
  const int n = b.size;
  double mean = 0;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) mean += p.at(x0 + x, y0 + y);
  mean /= static_cast<double>(n) * n;
  out.assign(static_cast<size_t>(n) * n, Cf{});
  for (int y = 0; y < n; ++y) {
    const double wy = 0.5 - 0.5 * std::cos(2 * kPi * (y + 0.5) / n);
    for (int x = 0; x < n; ++x) {
      const double wx = 0.5 - 0.5 * std::cos(2 * kPi * (x + 0.5) / n);
      out[static_cast<size_t>(y) * n + x].re = static_cast<float>((p.at(x0 + x, y0 + y) - mean) * wx * wy);
    }
  }
  return mean;
}

// Signed frequency of index k of an n-point transform, in cycles per pixel.
double Freq(int k, int n) { return (k < n / 2 ? k : k - n) / static_cast<double>(n); }

// Vertex of the parabola through (-1, a), (0, b), (1, c).
double Vertex(double a, double b, double c) {
  double d = a - 2 * b + c;
  return d < 0 ? std::clamp(0.5 * (a - c) / d, -0.5, 0.5) : 0.0;
}

// Peak of the correlation of two windowed boxes (frame against ref): the cross-power spectrum
// over |C|^power (1: phase correlation, 0: plain correlation), below `cutoff` cycles/pixel.
Shift CorrelationPeak(const std::vector<Cf>& fr, const std::vector<Cf>& ff, int n, Fft2& fft, double power, double cutoff) {
  std::vector<Cf> c(fr.size());
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const size_t i = static_cast<size_t>(y) * n + x;
      if (std::hypot(Freq(x, n), Freq(y, n)) > cutoff) continue;
      const Cf a = ff[i], b = fr[i];
      const double re = a.re * b.re + a.im * b.im, im = a.im * b.re - a.re * b.im;
      const double m = std::pow(std::hypot(re, im) + 1e-20, power);
      c[i] = {static_cast<float>(re / m), static_cast<float>(im / m)};
    }
  fft.inverse(c.data());
  size_t best = 0;
  for (size_t i = 1; i < c.size(); ++i)
    if (c[i].re > c[best].re) best = i;
  const int bx = static_cast<int>(best % n), by = static_cast<int>(best / n);
  auto at = [&](int x, int y) { return static_cast<double>(c[static_cast<size_t>((y + n) % n) * n + (x + n) % n].re); };
  Shift s;
  s.dx = (bx < n / 2 ? bx : bx - n) + Vertex(at(bx - 1, by), at(bx, by), at(bx + 1, by));
  s.dy = (by < n / 2 ? by : by - n) + Vertex(at(bx, by - 1), at(bx, by), at(bx, by + 1));
  return s;
}

}  // namespace

std::vector<Plane> ReadVideo(const std::string& path, std::vector<int>& indices) {
  auto video = frames::OpenVideo(path);
  std::vector<Plane> out;
  indices.clear();
  ui::Bitmap24 b;
  for (int i = 0; i < video->frameCount(); ++i) {
    const int f = video->startFrame() + i;
    if (!video->hasData(f)) continue;
    video->decodeFrame(f, b);
    Plane p;
    p.width = b.width();
    p.height = b.height();
    p.v.resize(static_cast<size_t>(p.width) * p.height);
    for (int y = 0; y < p.height; ++y) {
      const uint8_t* row = b.row(y);
      for (int x = 0; x < p.width; ++x)
        p.v[static_cast<size_t>(y) * p.width + x] = static_cast<float>(0.114 * row[3 * x] + 0.587 * row[3 * x + 1] + 0.299 * row[3 * x + 2]);
    }
    out.push_back(std::move(p));
    indices.push_back(i);
  }
  return out;
}

double Quality(const Plane& frame, const Box& box) {
  const int n = box.size;
  int x0, y0;
  Corner(frame, box, 0, 0, x0, y0);
  std::vector<Cf> w;
  const double mean = Windowed(frame, box, x0, y0, w);
  Fft2 fft(n, n);
  fft.forward(w.data());
  double band = 0, floor = 0;
  int nb = 0, nf = 0;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double f = std::hypot(Freq(x, n), Freq(y, n));
      const Cf& v = w[static_cast<size_t>(y) * n + x];
      const double p = static_cast<double>(v.re) * v.re + static_cast<double>(v.im) * v.im;
      if (f >= 0.03 && f <= 0.10) {
        band += p;
        ++nb;
      } else if (f > 0.4) {
        floor += p;
        ++nf;
      }
    }
  band /= std::max(1, nb);
  floor /= std::max(1, nf);
  return (band - floor) / std::max(1e-9, mean * mean);
}

std::vector<double> Rank(const std::vector<Plane>& frames, const Box& box) {
  std::vector<double> q;
  for (const Plane& f : frames) q.push_back(Quality(f, box));
  return q;
}

Shift PhaseCorrelate(const Plane& ref, const Plane& frame, const Box& box) {
  const int n = box.size;
  Fft2 fft(n, n);
  std::vector<Cf> fr, ff;
  int rx, ry, fx, fy;
  Corner(ref, box, 0, 0, rx, ry);
  Windowed(ref, box, rx, ry, fr);
  fft.forward(fr.data());
  Corner(frame, box, 0, 0, fx, fy);
  Windowed(frame, box, fx, fy, ff);
  fft.forward(ff.data());
  // Whole pixels from the plain correlation (robust when the frames are far apart or soft).
  Shift c = CorrelationPeak(fr, ff, n, fft, 0, 0.15);
  Shift est{c.dx + (fx - rx), c.dy + (fy - ry)};
  // Then the phase correlation of the lowest frequencies (above 0.05 cycles per pixel the
  // OTF's phase of a speckled frame is mostly random), twice: the second time with the
  // frame's box moved back by the first estimate, where the window no longer biases it.
  const int pad = 16;
  for (int pass = 0; pass < 2; ++pass) {
    const double ix = std::round(est.dx), iy = std::round(est.dy);
    // A region a little larger than the box (room for the sub-pixel move), over the content.
    const int size = std::min({n + 2 * pad, frame.width, frame.height});
    int wx, wy;
    Corner(frame, Box{box.x, box.y, size}, ix, iy, wx, wy);
    Plane region;
    region.width = region.height = size;
    region.v.resize(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) region.v[static_cast<size_t>(y) * size + x] = frame.at(wx + x, wy + y);
    const double subX = pass == 0 ? 0 : est.dx - ix, subY = pass == 0 ? 0 : est.dy - iy;
    if (subX != 0 || subY != 0) region = FourierShift(region, -subX, -subY);
    int bx, by;
    Corner(region, Box{size / 2, size / 2, n}, 0, 0, bx, by);
    Windowed(region, Box{size / 2, size / 2, n}, bx, by, ff);
    fft.forward(ff.data());
    Shift r = CorrelationPeak(fr, ff, n, fft, 1, 0.05);
    // Where the region's box sits in the frame, plus what the correlation still finds.
    est = {wx + bx - rx + subX + r.dx, wy + by - ry + subY + r.dy};
  }
  return est;
}

std::vector<Shift> Register(const std::vector<Plane>& frames, int reference, const Box& box) {
  std::vector<Shift> s;
  for (const Plane& f : frames) s.push_back(PhaseCorrelate(frames[static_cast<size_t>(reference)], f, box));
  return s;
}

Plane FourierShift(const Plane& p, double dx, double dy) {
  const int w = p.width, h = p.height;
  const int gw = NextPow2(w + 32), gh = NextPow2(h + 32);
  std::vector<Cf> g(static_cast<size_t>(gw) * gh);
  // Mirrored beyond the edges, so that the wrap-around joins like content.
  auto mirror = [](int i, int n) {
    int period = 2 * n;
    i %= period;
    if (i < 0) i += period;
    return i < n ? i : period - 1 - i;
  };
  for (int y = 0; y < gh; ++y) {
    const int sy = y < h + (gh - h) / 2 ? mirror(y, h) : mirror(y - gh, h);
    for (int x = 0; x < gw; ++x) {
      const int sx = x < w + (gw - w) / 2 ? mirror(x, w) : mirror(x - gw, w);
      g[static_cast<size_t>(y) * gw + x].re = p.at(sx, sy);
    }
  }
  Fft2 fft(gw, gh);
  fft.forward(g.data());
  const double scale = 1.0 / (static_cast<double>(gw) * gh);
  for (int y = 0; y < gh; ++y)
    for (int x = 0; x < gw; ++x) {
      const double a = -2 * kPi * (Freq(x, gw) * dx + Freq(y, gh) * dy);
      Cf& v = g[static_cast<size_t>(y) * gw + x];
      const double c = std::cos(a) * scale, s = std::sin(a) * scale;
      v = {static_cast<float>(v.re * c - v.im * s), static_cast<float>(v.re * s + v.im * c)};
    }
  fft.inverse(g.data());
  Plane out;
  out.width = w;
  out.height = h;
  out.v.resize(p.v.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.v[static_cast<size_t>(y) * w + x] = g[static_cast<size_t>(y) * gw + x].re;
  return out;
}

Plane Stack(const std::vector<Plane>& frames, const std::vector<Shift>& shifts, const std::vector<int>& chosen) {
  Plane sum;
  if (chosen.empty()) return sum;
  sum.width = frames[0].width;
  sum.height = frames[0].height;
  sum.v.assign(frames[0].v.size(), 0.0f);
  for (int k : chosen) {
    const auto i = static_cast<size_t>(k);
    Plane moved = FourierShift(frames[i], -shifts[i].dx, -shifts[i].dy);
    for (size_t j = 0; j < sum.v.size(); ++j) sum.v[j] += moved.v[j];
  }
  for (float& v : sum.v) v /= static_cast<float>(chosen.size());
  return sum;
}

double Spearman(const std::vector<double>& a, const std::vector<double>& b) {
  auto ranks = [](const std::vector<double>& v) {
    std::vector<size_t> idx(v.size());
    std::iota(idx.begin(), idx.end(), 0);
    std::sort(idx.begin(), idx.end(), [&](size_t i, size_t j) { return v[i] < v[j]; });
    std::vector<double> r(v.size());
    for (size_t k = 0; k < idx.size();) {  // ties share their mean rank
      size_t e = k;
      while (e + 1 < idx.size() && v[idx[e + 1]] == v[idx[k]]) ++e;
      for (size_t j = k; j <= e; ++j) r[idx[j]] = (k + e) / 2.0;
      k = e + 1;
    }
    return r;
  };
  const auto ra = ranks(a), rb = ranks(b);
  const double n = static_cast<double>(a.size());
  const double ma = std::accumulate(ra.begin(), ra.end(), 0.0) / n, mb = std::accumulate(rb.begin(), rb.end(), 0.0) / n;
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < ra.size(); ++i) {
    sab += (ra[i] - ma) * (rb[i] - mb);
    saa += (ra[i] - ma) * (ra[i] - ma);
    sbb += (rb[i] - mb) * (rb[i] - mb);
  }
  return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

Result Measure(const std::vector<Plane>& frames, const std::vector<int>& indices, const px::Json& truth, const Settings& s) {
  if (frames.empty()) throw std::runtime_error("no frames with data");
  const int w = frames[0].width, h = frames[0].height;
  if (s.box < 16 || (s.box & (s.box - 1)) != 0 || s.box > std::min(w, h))
    throw std::runtime_error("the box must be a power of two from 16 up to the frame's smaller side");
  Box box{s.x >= 0 ? s.x : w / 2, s.y >= 0 ? s.y : h / 2, s.box};
  Result r;
  r.frames = indices;
  r.quality = Rank(frames, box);
  r.reference = static_cast<int>(std::max_element(r.quality.begin(), r.quality.end()) - r.quality.begin());
  r.shifts = Register(frames, r.reference, box);
  std::vector<int> order(frames.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return r.quality[static_cast<size_t>(a)] > r.quality[static_cast<size_t>(b)]; });
  const auto keep = static_cast<size_t>(std::clamp(std::lround(s.best * static_cast<double>(frames.size())), 1L, static_cast<long>(frames.size())));
  r.chosen.assign(order.begin(), order.begin() + static_cast<long>(keep));
  r.stack = Stack(frames, r.shifts, r.chosen);

  const px::Json* list = truth.find("frame");
  if (!list || !list->isArray()) return r;
  std::vector<double> strehl, ex, ey;
  for (size_t k = 0; k < indices.size(); ++k) {
    const auto i = static_cast<size_t>(indices[k]);
    if (i >= list->asArray().size()) break;
    const px::Json& f = list->asArray()[i];
    if (!f.isObject()) break;
    const px::Json* q = f.find("strehl");
    if (!q) q = f.find("sharpness");
    if (q && q->isNumber()) strehl.push_back(q->asNumber());
    const px::Json *dx = f.find("dx"), *dy = f.find("dy");
    if (!dx || !dy || !dx->isNumber() || !dy->isNumber()) continue;
    ex.push_back(r.shifts[k].dx - dx->asNumber());
    ey.push_back(r.shifts[k].dy - dy->asNumber());
  }
  if (strehl.size() == frames.size()) {
    r.spearman = Spearman(std::vector<double>(r.quality.begin(), r.quality.end()), strehl);
  }
  if (ex.size() == frames.size()) {
    // Our shifts are against the reference frame, the truth's against frame 0: the mean
    // difference is that offset.
    const double mx = std::accumulate(ex.begin(), ex.end(), 0.0) / static_cast<double>(ex.size());
    const double my = std::accumulate(ey.begin(), ey.end(), 0.0) / static_cast<double>(ey.size());
    auto rms = [&](const std::vector<int>& which) {
      double sum = 0;
      for (int k : which) {
        const auto i = static_cast<size_t>(k);
        sum += (ex[i] - mx) * (ex[i] - mx) + (ey[i] - my) * (ey[i] - my);
      }
      return std::sqrt(sum / static_cast<double>(which.size()));
    };
    r.shiftRms = rms(order);
    r.shiftRmsBest = rms(r.chosen);
  }
  return r;
}

}  // namespace yardstick
