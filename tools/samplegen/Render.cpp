// The hot loops are plain multiply-adds over rows; let GCC vectorise them (and use AVX2 where
// the processor has it) even though the project builds with -O2.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3", "no-math-errno")
#define PX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PX_VECTOR_CLONES
#endif

#include "Render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "Random.h"

namespace samplegen {

namespace {

// 64 K standard normal numbers (small enough to stay in cache), made once from a fixed seed
// and shared by all renderers.
const std::vector<float>& NormalTable() {
  static const std::vector<float> table = [] {
    std::vector<float> t(size_t{1} << 16);
    Rng rng(0x5EED0F0153ull);
    for (float& v : t) v = static_cast<float>(rng.normal());
    return t;
  }();
  return table;
}

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

// The normal numbers of one row: a hash of the pixel number picks an entry of the table.
PX_VECTOR_CLONES void NoiseRow(float* __restrict out, uint32_t base, int w, uint32_t key, const float* __restrict table) {
  for (int x = 0; x < w; ++x) {
    uint32_t h = (base + static_cast<uint32_t>(x)) * 0x9E3779B1u ^ key;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    out[x] = table[h >> 16];
  }
}

inline uint8_t QuantizeOne(float v, const float* normal, int x, float n2, float n2k) {
  if (normal) v += normal[x] * std::sqrt(n2 + n2k * std::max(v, 0.0f));
  return static_cast<uint8_t>(static_cast<int>(std::min(std::max(v, 0.0f), 255.0f) + 0.5f));
}

// Adds the noise (sigma^2 = n2 + n2k * level) and rounds to bytes; four at a time with SSE2
// (the same operations in the same order as QuantizeOne, so the result does not depend on
// the path).
void QuantizeRow(const float* s, const float* normal, float n2, float n2k, uint8_t* out, int w) {
  int x = 0;
#ifdef __SSE2__
  const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
  const __m128 a = _mm_set1_ps(n2), b = _mm_set1_ps(n2k);
  for (; x + 4 <= w; x += 4) {
    __m128 v = _mm_loadu_ps(s + x);
    if (normal) {
      __m128 sigma = _mm_sqrt_ps(_mm_add_ps(a, _mm_mul_ps(b, _mm_max_ps(v, zero))));
      v = _mm_add_ps(v, _mm_mul_ps(_mm_loadu_ps(normal + x), sigma));
    }
    __m128i q = _mm_cvttps_epi32(_mm_add_ps(_mm_min_ps(_mm_max_ps(v, zero), top), half));
    q = _mm_packs_epi32(q, q);
    q = _mm_packus_epi16(q, q);
    int32_t four = _mm_cvtsi128_si32(q);
    std::memcpy(out + x, &four, 4);
  }
#endif
  for (; x < w; ++x) out[x] = QuantizeOne(s[x], normal, x, n2, n2k);
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
  NormalTable();  // built here, before the renderers run in threads
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
  // Noise: sigma^2 = noise^2 (1 + level / 128); each value's normal number is picked from the
  // table by a hash of the pixel's position and the frame's and channel's seed. Row by row in
  // simple loops the compiler can vectorise.
  const int w = w_;
  const float n2 = static_cast<float>(spec.noise * spec.noise), n2k = n2 / 128.0f;
  const bool withNoise = spec.noise > 0;
  const std::vector<float>& table = NormalTable();
  std::vector<float>& normal = rowNoise_;
  std::vector<uint8_t>& bytes = rowBytes_;
  normal.resize(static_cast<size_t>(w));
  bytes.resize(static_cast<size_t>(w));
  for (int c = 0; c < planes; ++c) {
    const auto key = static_cast<uint32_t>(Hash(spec.noiseSeed, static_cast<uint64_t>(c)));
    const int byte = grey_ ? 0 : 2 - c;  // red plane -> byte 2 (B, G, R order)
    for (int y = 0; y < h_; ++y) {
      const float* s = chan_[c].data() + static_cast<size_t>(y) * w;
      if (withNoise) NoiseRow(normal.data(), static_cast<uint32_t>(y) * static_cast<uint32_t>(w), w, key, table.data());
      QuantizeRow(s, withNoise ? normal.data() : nullptr, n2, n2k, bytes.data(), w);
      uint8_t* row = out.row(y) + byte;
      const uint8_t* b = bytes.data();
      for (int x = 0; x < w; ++x) row[3 * x] = b[x];
    }
  }
  if (grey_) {
    for (int y = 0; y < h_; ++y) {
      uint8_t* row = out.row(y);
      for (int x = 0; x < w_; ++x) row[3 * x + 1] = row[3 * x + 2] = row[3 * x];
    }
  }
}

}  // namespace samplegen
