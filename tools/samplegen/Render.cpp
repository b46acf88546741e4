// The hot loops are plain multiply-adds over rows; let GCC vectorise them (and use AVX2 where
// the processor has it) even though the project builds with -O2.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3")
#define PX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PX_VECTOR_CLONES
#endif

#include "Render.h"

#include <algorithm>
#include <cmath>

#include "Random.h"

namespace samplegen {

namespace {

constexpr int kNormals = 1 << 16;

// Gaussian weights for taps -r..r around a centre displaced by `frac` (0 <= frac < 1),
// normalised to sum 1: convolving with them shifts by frac and blurs by sigma.
int Kernel(double sigma, double frac, std::vector<float>& k) {
  int r = static_cast<int>(std::ceil(3 * sigma)) + 1;
  k.assign(static_cast<size_t>(2 * r + 1), 0.0f);
  double sum = 0;
  std::vector<double> w(k.size());
  for (int t = -r; t <= r; ++t) {
    double d = (t - frac) / sigma;
    w[static_cast<size_t>(t + r)] = std::exp(-0.5 * d * d);
    sum += w[static_cast<size_t>(t + r)];
  }
  for (size_t i = 0; i < k.size(); ++i) k[i] = static_cast<float>(w[i] / sum);
  return r;
}

PX_VECTOR_CLONES void Axpy(float* __restrict dst, const float* __restrict src, float a, int n) {
  for (int i = 0; i < n; ++i) dst[i] += a * src[i];
}

}  // namespace

void BlurPlane(std::vector<float>& plane, int width, int height, double sigma) {
  std::vector<float> k;
  int r = Kernel(sigma, 0, k);
  std::vector<float> line(static_cast<size_t>(std::max(width, height)));
  for (int y = 0; y < height; ++y) {
    float* row = plane.data() + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      double s = 0;
      for (int t = -r; t <= r; ++t) s += k[static_cast<size_t>(t + r)] * row[std::clamp(x + t, 0, width - 1)];
      line[static_cast<size_t>(x)] = static_cast<float>(s);
    }
    std::copy(line.begin(), line.begin() + width, row);
  }
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y) {
      double s = 0;
      for (int t = -r; t <= r; ++t)
        s += k[static_cast<size_t>(t + r)] * plane[static_cast<size_t>(std::clamp(y + t, 0, height - 1)) * width + x];
      line[static_cast<size_t>(y)] = static_cast<float>(s);
    }
    for (int y = 0; y < height; ++y) plane[static_cast<size_t>(y) * width + x] = line[static_cast<size_t>(y)];
  }
}

FrameRenderer::FrameRenderer(const Master& master, int outWidth, int outHeight, int margin, bool grey)
    : master_(master), w_(outWidth), h_(outHeight), margin_(margin), grey_(grey) {
  if (grey_) {
    size_t n = master_.plane[0].size();
    luma_.resize(n);
    for (size_t i = 0; i < n; ++i)
      luma_[i] = 0.299f * master_.plane[0][i] + 0.587f * master_.plane[1][i] + 0.114f * master_.plane[2][i];
  }
  for (auto& c : chan_) c.assign(static_cast<size_t>(w_) * h_, 0.0f);
  Rng rng(0x5EED0F0153ull);
  normals_.resize(kNormals);
  for (float& v : normals_) v = static_cast<float>(rng.normal());
}

void FrameRenderer::shiftBlur(const std::vector<float>& src, Shift shift, double sigma, int rowStart, int rowStep,
                              float* dst) {
  const int mw = master_.width, mh = master_.height;
  // Output (x, y) shows master (x + margin - shift.x, y + margin - shift.y).
  const double sx = margin_ - shift.x, sy = margin_ - shift.y;
  const int bx = static_cast<int>(std::floor(sx)), by = static_cast<int>(std::floor(sy));
  std::vector<float> kx, ky;
  const int rx = Kernel(sigma, sx - bx, kx);
  const int ry = Kernel(sigma, sy - by, ky);

  const int rows = h_ + 2 * ry;
  tmp_.assign(static_cast<size_t>(rows) * w_, 0.0f);
  for (int i = 0; i < rows; ++i) {
    const float* mrow = src.data() + static_cast<size_t>(std::clamp(by - ry + i, 0, mh - 1)) * mw;
    float* out = tmp_.data() + static_cast<size_t>(i) * w_;
    for (int t = -rx; t <= rx; ++t) {
      const int col0 = bx + t;
      const float a = kx[static_cast<size_t>(t + rx)];
      if (col0 >= 0 && col0 + w_ <= mw) {
        Axpy(out, mrow + col0, a, w_);
      } else {
        for (int x = 0; x < w_; ++x) out[x] += a * mrow[std::clamp(col0 + x, 0, mw - 1)];
      }
    }
  }
  for (int y = rowStart; y < h_; y += rowStep) {
    float* out = dst + static_cast<size_t>(y) * w_;
    std::fill(out, out + w_, 0.0f);
    for (int t = -ry; t <= ry; ++t) Axpy(out, tmp_.data() + static_cast<size_t>(y + ry + t) * w_, ky[static_cast<size_t>(t + ry)], w_);
  }
}

void FrameRenderer::render(const FrameSpec& spec, ui::Bitmap24& out) {
  const int planes = grey_ ? 1 : 3;
  for (int c = 0; c < planes; ++c) {
    const std::vector<float>& src = grey_ ? luma_ : master_.plane[c];
    double dy = grey_ ? 0 : (c == 0 ? -spec.dispersion : c == 2 ? spec.dispersion : 0);
    for (int f = 0; f < (spec.interlaced ? 2 : 1); ++f) {
      Shift s = spec.field[f];
      s.y += dy;
      shiftBlur(src, s, spec.sigma, spec.interlaced ? f : 0, spec.interlaced ? 2 : 1, chan_[c].data());
    }
  }
  if (out.width() != w_ || out.height() != h_) out.reset(w_, h_);
  uint64_t state = Hash(spec.noiseSeed) | 1;
  // Noise sigma per level: sigma^2 = noise^2 (1 + level / 128).
  float sigmaAt[257];
  for (int v = 0; v <= 256; ++v)
    sigmaAt[v] = static_cast<float>(spec.noise * std::sqrt(1.0 + std::min(v, 255) / 128.0));
  const bool withNoise = spec.noise > 0;
  auto noisy = [&](float v) -> uint8_t {
    if (withNoise) {
      state ^= state >> 12;
      state ^= state << 25;
      state ^= state >> 27;
      float g = normals_[(state * 0x2545F4914F6CDD1Dull) >> 48];
      v += g * sigmaAt[static_cast<int>(std::clamp(v, 0.0f, 256.0f))];
    }
    return static_cast<uint8_t>(std::clamp(std::lrint(v), 0L, 255L));
  };
  for (int y = 0; y < h_; ++y) {
    uint8_t* row = out.row(y);
    size_t base = static_cast<size_t>(y) * w_;
    if (grey_) {
      for (int x = 0; x < w_; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = noisy(chan_[0][base + x]);
    } else {
      for (int x = 0; x < w_; ++x) {
        row[3 * x + 2] = noisy(chan_[0][base + x]);
        row[3 * x + 1] = noisy(chan_[1][base + x]);
        row[3 * x] = noisy(chan_[2][base + x]);
      }
    }
  }
}

}  // namespace samplegen
