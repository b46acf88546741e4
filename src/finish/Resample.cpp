#include "finish/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

#include "base/Error.h"
#include "base/Numbers.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Every product and sum is rounded on its own; results are compared bit for bit.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

namespace finish {

float BoxFilter(float x) { return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f; }

float TriangleFilter(float x) {
  const float t = std::fabs(x);
  return t < 1.0f ? 1.0f - t : 0.0f;
}

float HermiteFilter(float x) {
  const float t = std::fabs(x);
  return t < 1.0f ? (2.0f * t - 3.0f) * (t * t) + 1.0f : 0.0f;
}

float BellFilter(float x) {
  const float t = std::fabs(x);
  if (t < 0.5f) return 0.75f - t * t;
  if (t < 1.5f) {
    const float d = t - 1.5f;
    return 0.5f * (d * d);
  }
  return 0.0f;
}

float BSplineFilter(float x) {
  const float t = std::fabs(x);
  if (t < 1.0f) {
    const float tt = t * t;
    return 0.5f * tt * t - tt + 2.0f / 3.0f;
  }
  if (t < 2.0f) {
    const float d = 2.0f - t;
    return d * d * d / 6.0f;
  }
  return 0.0f;
}

namespace {
float Sinc(float x) {
  if (x == 0.0f) return 1.0f;
  x *= std::numbers::pi_v<float>;
  return std::sin(x) / x;
}
}  // namespace

float Lanczos3Filter(float x) {
  const float t = std::fabs(x);
  return t < 3.0f ? Sinc(x) * Sinc(x / 3.0f) : 0.0f;
}

float MitchellFilter(float x) {
  const float t = std::fabs(x);
  const float tt = t * t;
  if (t < 1.0f) return (7.0f * tt * t - 12.0f * tt + 16.0f / 3.0f) / 6.0f;
  if (t < 2.0f) return (-(7.0f / 3.0f) * tt * t + 12.0f * tt - 20.0f * t + 32.0f / 3.0f) / 6.0f;
  return 0.0f;
}

const std::array<ResampleFilter, kResampleFilterCount>& ResampleFilters() {
  static const std::array<ResampleFilter, kResampleFilterCount> table = {{
      {"Box", BoxFilter, 0.5f},
      {"Triangle", TriangleFilter, 1.0f},
      {"Hermite", HermiteFilter, 1.0f},
      {"Bell", BellFilter, 1.5f},
      {"B-Spline", BSplineFilter, 2.0f},
      {"Lanczos3", Lanczos3Filter, 3.0f},
      {"Mitchell", MitchellFilter, 2.0f},
  }};
  return table;
}

int ResampleFilterIndexForItem(int itemIndex) { return 3 + ((itemIndex >= 0 && itemIndex <= 3) ? itemIndex : 0); }

float ResampleScale(int srcLen, int dstLen) {
  // A one-pixel side has no corner-to-corner span: scale by the plain ratio. (For a
  // one-pixel target the corner rule would divide by zero.)
  if (srcLen == 1 || dstLen == 1) return static_cast<float>(dstLen) / static_cast<float>(srcLen);
  return static_cast<float>(dstLen - 1) / static_cast<float>(srcLen - 1);
}

namespace {

// Mirrors a source position into 0 … n-1: -1 reads 1, n reads n-1. Repeated for sources
// so small that one mirror is not enough (a one-pixel row under a wide kernel).
int Mirror(int j, int n) {
  while (j < 0 || j >= n) j = j < 0 ? -j : 2 * n - 1 - j;
  return j;
}

}  // namespace

ResampleContributors BuildResampleContributors(int srcLen, int dstLen, ResampleKernel kernel, float support) {
  ResampleContributors out;
  if (dstLen <= 0 || srcLen <= 0) {
    out.first.assign(1, 0);
    return out;
  }
  out.first.resize(static_cast<size_t>(dstLen) + 1);
  const float scale = ResampleScale(srcLen, dstLen);
  const bool reducing = scale < 1.0f;
  const float width = reducing ? support / scale : support;
  for (int i = 0; i < dstLen; ++i) {
    out.first[i] = static_cast<int>(out.source.size());
    const float centre = static_cast<float>(i) / scale;
    const int left = static_cast<int>(std::floor(centre - width));
    const int right = static_cast<int>(std::ceil(centre + width));
    for (int j = left; j <= right; ++j) {
      const float d = centre - static_cast<float>(j);
      const float w = reducing ? kernel(d * scale) * scale : kernel(d);
      if (w == 0.0f) continue;
      out.source.push_back(Mirror(j, srcLen));
      out.weight.push_back(w);
    }
  }
  out.first[dstLen] = static_cast<int>(out.source.size());
  return out;
}

namespace {

// Intermediate rows (the horizontal pass) are kept as floats holding their byte values,
// computed on demand into a small ring of rows, so the vertical pass reads each row from
// cache and the whole intermediate picture never exists at once.
class HorizontalRows {
 public:
  HorizontalRows(const ui::Bitmap24& src, const ResampleContributors& cx, int dstWidth, int slots)
      : src_(&src), cx_(cx), width_(dstWidth) {
    stride_ = (dstWidth * 3 + 1 + 15) / 16 * 16;
    rows_.assign(static_cast<size_t>(stride_) * slots, 0.0f);
    tags_.assign(slots, -1);
    pixels_.assign(static_cast<size_t>(src.width()) * 4 + 4, 0.0f);
  }
  int stride() const { return stride_; }
  // Another source of the same size: the ring is emptied.
  void Rebind(const ui::Bitmap24& src) {
    src_ = &src;
    std::fill(tags_.begin(), tags_.end(), -1);
  }

  const float* Row(int y) {
    const int slot = y % static_cast<int>(tags_.size());
    float* out = rows_.data() + static_cast<size_t>(slot) * stride_;
    if (tags_[slot] != y) {
      Compute(y, out);
      tags_[slot] = y;
    }
    return out;
  }

 private:
  void Compute(int y, float* out) {
    const uint8_t* s = src_->row(y);
    const int w = src_->width();
    float* p = pixels_.data();
    for (int j = 0; j < w; ++j) {
      p[4 * j + 0] = s[3 * j + 0];
      p[4 * j + 1] = s[3 * j + 1];
      p[4 * j + 2] = s[3 * j + 2];
      p[4 * j + 3] = 0.0f;
    }
    const int* first = cx_.first.data();
    const int* source = cx_.source.data();
    const float* weight = cx_.weight.data();
#if defined(__SSE2__)
    const __m128 lo = _mm_setzero_ps(), hi = _mm_set1_ps(255.0f);
    for (int i = 0; i < width_; ++i) {
      __m128 acc = _mm_setzero_ps();
      for (int k = first[i]; k < first[i + 1]; ++k)
        acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(weight[k]), _mm_loadu_ps(p + 4 * source[k])));
      acc = _mm_min_ps(_mm_max_ps(acc, lo), hi);
      // Stores four lanes; the fourth is overwritten by the next pixel (or lands in padding).
      _mm_storeu_ps(out + 3 * i, _mm_cvtepi32_ps(_mm_cvtps_epi32(acc)));
    }
#else
    for (int i = 0; i < width_; ++i) {
      float acc[3] = {0.0f, 0.0f, 0.0f};
      for (int k = first[i]; k < first[i + 1]; ++k)
        for (int c = 0; c < 3; ++c) acc[c] = acc[c] + weight[k] * p[4 * source[k] + c];
      for (int c = 0; c < 3; ++c)
        out[3 * i + c] = acc[c] > 255.0f ? 255.0f : acc[c] < 0.0f ? 0.0f : std::nearbyint(acc[c]);
    }
#endif
  }

  const ui::Bitmap24* src_;
  const ResampleContributors& cx_;
  int width_;
  int stride_ = 0;
  std::vector<float> rows_;
  std::vector<int> tags_;
  std::vector<float> pixels_;
};

// Sum of weighted rows, clamped and rounded into one output row of n bytes.
void VerticalRow(const float* const* rows, const float* weight, int count, int n, int stride, uint8_t* out) {
#if defined(__SSE2__)
  const __m128 lo = _mm_setzero_ps(), hi = _mm_set1_ps(255.0f);
  for (int x = 0; x < stride; x += 16) {
    __m128 a0 = _mm_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
    for (int k = 0; k < count; ++k) {
      const __m128 w = _mm_set1_ps(weight[k]);
      const float* r = rows[k] + x;
      a0 = _mm_add_ps(a0, _mm_mul_ps(w, _mm_loadu_ps(r)));
      a1 = _mm_add_ps(a1, _mm_mul_ps(w, _mm_loadu_ps(r + 4)));
      a2 = _mm_add_ps(a2, _mm_mul_ps(w, _mm_loadu_ps(r + 8)));
      a3 = _mm_add_ps(a3, _mm_mul_ps(w, _mm_loadu_ps(r + 12)));
    }
    const __m128i i0 = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(a0, lo), hi));
    const __m128i i1 = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(a1, lo), hi));
    const __m128i i2 = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(a2, lo), hi));
    const __m128i i3 = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(a3, lo), hi));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(i0, i1), _mm_packs_epi32(i2, i3));
    if (x + 16 <= n) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), bytes);
    } else {
      if (x >= n) break;
      alignas(16) uint8_t tail[16];
      _mm_store_si128(reinterpret_cast<__m128i*>(tail), bytes);
      std::memcpy(out + x, tail, static_cast<size_t>(n - x));
    }
  }
#else
  (void)stride;
  for (int x = 0; x < n; ++x) {
    float acc = 0.0f;
    for (int k = 0; k < count; ++k) acc = acc + weight[k] * rows[k][x];
    out[x] = acc > 255.0f ? 255 : acc < 0.0f ? 0 : static_cast<uint8_t>(std::nearbyint(acc));
  }
#endif
}

}  // namespace

// Everything one resize of given sizes and kernel needs besides the pictures.
struct Resampler::Plan {
  Plan(const ui::Bitmap24& src, int dstW, int dstH, ResampleKernel kernel, float support)
      : srcW(src.width()),
        srcH(src.height()),
        dstW(dstW),
        dstH(dstH),
        kernel(kernel),
        support(support),
        cx(BuildResampleContributors(srcW, dstW, kernel, support)),
        cy(BuildResampleContributors(srcH, dstH, kernel, support)),
        rows(src, cx, dstW, Slots(cy, dstH, srcH)) {}

  // Ring size: the widest range of source rows any output row reads, so the rows of one
  // output row never evict each other.
  static int Slots(const ResampleContributors& cy, int dstH, int srcH) {
    int slots = 1;
    for (int r = 0; r < dstH; ++r) {
      if (cy.first[r] == cy.first[r + 1]) continue;
      const auto [lo, hi] =
          std::minmax_element(cy.source.begin() + cy.first[r], cy.source.begin() + cy.first[r + 1]);
      slots = std::max(slots, *hi - *lo + 1);
    }
    return std::min(slots, srcH);
  }

  bool Fits(const ui::Bitmap24& src, int w, int h, ResampleKernel k, float sup) const {
    return src.width() == srcW && src.height() == srcH && w == dstW && h == dstH && k == kernel && sup == support;
  }

  void Run(const ui::Bitmap24& src, ui::Bitmap24& dst) {
    rows.Rebind(src);
    const int n = dstW * 3;
    for (int r = 0; r < dstH; ++r) {
      const int count = cy.first[r + 1] - cy.first[r];
      rowPointers.resize(count);
      for (int k = 0; k < count; ++k) rowPointers[k] = rows.Row(cy.source[cy.first[r] + k]);
      VerticalRow(rowPointers.data(), cy.weight.data() + cy.first[r], count, n, rows.stride(), dst.row(r));
    }
  }

  int srcW, srcH, dstW, dstH;
  ResampleKernel kernel;
  float support;
  ResampleContributors cx, cy;
  HorizontalRows rows;
  std::vector<const float*> rowPointers;
};

Resampler::Resampler() = default;
Resampler::~Resampler() = default;

void Resampler::Run(const ui::Bitmap24& src, ui::Bitmap24& dst, ResampleKernel kernel, float support) {
  if (src.width() <= 0 || src.height() <= 0) throw px::PelinoxaError("Source bitmap too small");
  if (!kernel || !(support >= 0.0f && support <= 1000.0f)) throw px::PelinoxaError("Invalid resampling filter");
  if (&src == &dst) {
    const ui::Bitmap24 copy = src;
    Run(copy, dst, kernel, support);
    return;
  }
  if (dst.width() <= 0 || dst.height() <= 0) return;
  if (!plan_ || !plan_->Fits(src, dst.width(), dst.height(), kernel, support))
    plan_ = std::make_unique<Plan>(src, dst.width(), dst.height(), kernel, support);
  plan_->Run(src, dst);
}

void Resampler::Run(const ui::Bitmap24& src, ui::Bitmap24& dst, int filterIndex) {
  if (filterIndex < 0 || filterIndex >= kResampleFilterCount)
    throw px::PelinoxaError("Unknown resampling filter " + std::to_string(filterIndex));
  const ResampleFilter& f = ResampleFilters()[filterIndex];
  Run(src, dst, f.kernel, f.support);
}

void ResampleImage(const ui::Bitmap24& src, ui::Bitmap24& dst, ResampleKernel kernel, float support) {
  Resampler().Run(src, dst, kernel, support);
}

void ResampleImage(const ui::Bitmap24& src, ui::Bitmap24& dst, int filterIndex) {
  if (filterIndex < 0 || filterIndex >= kResampleFilterCount)
    throw px::PelinoxaError("Unknown resampling filter " + std::to_string(filterIndex));
  const ResampleFilter& f = ResampleFilters()[filterIndex];
  ResampleImage(src, dst, f.kernel, f.support);
}

}  // namespace finish
