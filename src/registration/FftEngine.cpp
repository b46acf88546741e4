#include "registration/FftEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "base/Numbers.h"
#include "registration/SpectraLib.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Every product and sum is rounded on its own; results are compared bit for bit.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

namespace registration {

namespace {

// Four float lanes. Element-wise +, -, * on these are the same IEEE single operations as
// on scalars (the ISO build does not contract a*b+c into FMA), so a lane computes exactly
// what a scalar loop would.
typedef float F4 __attribute__((vector_size(16)));

inline F4 Load4(const float* p) {
  F4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void Store4(float* p, F4 v) { std::memcpy(p, &v, sizeof v); }
inline F4 Splat4(float s) { return F4{s, s, s, s}; }

// All N transforms of a pass run side by side in a scratch block: element k of transform l
// at [k * stride + l], so every butterfly works on whole rows of N lanes.
// The stride N + 4 keeps rows that are a power of two apart out of the same cache sets.
int ScratchStride(int n) { return n + 4; }

// One butterfly on a row of lanes: (x, y) -> (x + w y, x - w y).
inline void Butterfly(F4& xr, F4& xi, F4& yr, F4& yi, F4 wr, F4 wi) {
  const F4 m = wr * yr - wi * yi;
  const F4 o = wr * yi + wi * yr;
  yr = xr - m;
  yi = xi - o;
  xr = xr + m;
  xi = xi + o;
}

// Radix-2 butterflies over n rows already in bit-reversed order. Two consecutive stages
// are done on four rows at a time while they sit in registers: the butterflies and their
// twiddles are exactly those of the stage-by-stage loop, only the loads and stores in
// between are saved.
void RowsTransform(float* re, float* im, int n, int stride, const float* twr, const float* twi) {
  int h = 1;
  for (; 4 * h <= n; h *= 4) {
    const float* t1r = twr + (h - 1);  // span 2h
    const float* t1i = twi + (h - 1);
    const float* t2r = twr + (2 * h - 1);  // span 4h
    const float* t2i = twi + (2 * h - 1);
    const size_t step = static_cast<size_t>(h) * stride;
    for (int g = 0; g < n; g += 4 * h) {
      for (int j = 0; j < h; ++j) {
        const F4 w1r = Splat4(t1r[j]), w1i = Splat4(t1i[j]);
        const F4 w2r = Splat4(t2r[j]), w2i = Splat4(t2i[j]);
        const F4 w3r = Splat4(t2r[j + h]), w3i = Splat4(t2i[j + h]);
        float* r0 = re + static_cast<size_t>(g + j) * stride;
        float* i0 = im + static_cast<size_t>(g + j) * stride;
        float *r1 = r0 + step, *r2 = r1 + step, *r3 = r2 + step;
        float *i1 = i0 + step, *i2 = i1 + step, *i3 = i2 + step;
        for (int c = 0; c < n; c += 4) {
          F4 x0r = Load4(r0 + c), x0i = Load4(i0 + c);
          F4 x1r = Load4(r1 + c), x1i = Load4(i1 + c);
          F4 x2r = Load4(r2 + c), x2i = Load4(i2 + c);
          F4 x3r = Load4(r3 + c), x3i = Load4(i3 + c);
          Butterfly(x0r, x0i, x1r, x1i, w1r, w1i);  // span 2h, group g
          Butterfly(x2r, x2i, x3r, x3i, w1r, w1i);  // span 2h, group g + 2h
          Butterfly(x0r, x0i, x2r, x2i, w2r, w2i);  // span 4h, offset j
          Butterfly(x1r, x1i, x3r, x3i, w3r, w3i);  // span 4h, offset j + h
          Store4(r0 + c, x0r);
          Store4(i0 + c, x0i);
          Store4(r1 + c, x1r);
          Store4(i1 + c, x1i);
          Store4(r2 + c, x2r);
          Store4(i2 + c, x2i);
          Store4(r3 + c, x3r);
          Store4(i3 + c, x3i);
        }
      }
    }
  }
  if (h < n) {  // an odd number of stages leaves one, a single group of span n
    const size_t step = static_cast<size_t>(h) * stride;
    for (int j = 0; j < h; ++j) {
      const F4 wr = Splat4(twr[h - 1 + j]), wi = Splat4(twi[h - 1 + j]);
      float* r0 = re + static_cast<size_t>(j) * stride;
      float* i0 = im + static_cast<size_t>(j) * stride;
      float* r1 = r0 + step;
      float* i1 = i0 + step;
      for (int c = 0; c < n; c += 4) {
        F4 xr = Load4(r0 + c), xi = Load4(i0 + c);
        F4 yr = Load4(r1 + c), yi = Load4(i1 + c);
        Butterfly(xr, xi, yr, yi, wr, wi);
        Store4(r0 + c, xr);
        Store4(i0 + c, xi);
        Store4(r1 + c, yr);
        Store4(i1 + c, yi);
      }
    }
  }
}

// 4 x 4 transpose of a[0..3] (four vectors) in place.
inline void Transpose4(F4& a0, F4& a1, F4& a2, F4& a3) {
#if defined(__SSE2__)
  __m128 r0 = a0, r1 = a1, r2 = a2, r3 = a3;
  _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
  a0 = r0;
  a1 = r1;
  a2 = r2;
  a3 = r3;
#else
  float m[4][4];
  Store4(m[0], a0);
  Store4(m[1], a1);
  Store4(m[2], a2);
  Store4(m[3], a3);
  a0 = F4{m[0][0], m[1][0], m[2][0], m[3][0]};
  a1 = F4{m[0][1], m[1][1], m[2][1], m[3][1]};
  a2 = F4{m[0][2], m[1][2], m[2][2], m[3][2]};
  a3 = F4{m[0][3], m[1][3], m[2][3], m[3][3]};
#endif
}

// dst row map[r] (or r), lane c = src row c, lane r, for r, c < n; optionally scaled.
// Tiles of 32 x 32 keep both sides in the first-level cache.
void TransposeCorner(const float* src, size_t srcStride, float* dst, size_t dstStride, int n, const uint16_t* map,
                     const F4* scale) {
  constexpr int kTile = 32;
  for (int c0 = 0; c0 < n; c0 += kTile) {
    for (int r0 = 0; r0 < n; r0 += kTile) {
      for (int c = c0; c < c0 + kTile && c < n; c += 4) {
        const float* s0 = src + c * srcStride;
        for (int r = r0; r < r0 + kTile && r < n; r += 4) {
          F4 a0 = Load4(s0 + r), a1 = Load4(s0 + srcStride + r);
          F4 a2 = Load4(s0 + 2 * srcStride + r), a3 = Load4(s0 + 3 * srcStride + r);
          if (scale) {
            a0 = a0 * *scale;
            a1 = a1 * *scale;
            a2 = a2 * *scale;
            a3 = a3 * *scale;
          }
          Transpose4(a0, a1, a2, a3);
          Store4(dst + (map ? map[r] : r) * dstStride + c, a0);
          Store4(dst + (map ? map[r + 1] : r + 1) * dstStride + c, a1);
          Store4(dst + (map ? map[r + 2] : r + 2) * dstStride + c, a2);
          Store4(dst + (map ? map[r + 3] : r + 3) * dstStride + c, a3);
        }
      }
    }
  }
}

int BitsForSize(int size) {
  switch (size) {
    case 32: return 4;
    case 64: return 5;
    case 128: return 6;
    case 256: return 7;
    case 512: return 8;
    default: return -1;
  }
}

}  // namespace

void FftPlane::ClearAll() { std::fill(v_.begin(), v_.end(), 0.0f); }

void ClearCorner(FftPlane& plane, int n) {
  n = std::clamp(n, 0, kPlaneStride);
  for (int x = 0; x < n; ++x) std::memset(plane.column(x), 0, sizeof(float) * n);
}

void CopyCorner(FftPlane& dst, const FftPlane& src, int n) {
  n = std::clamp(n, 0, kPlaneStride);
  if (&dst == &src) return;
  for (int x = 0; x < n; ++x) std::memcpy(dst.column(x), src.column(x), sizeof(float) * n);
}

FftEngine::FftEngine() {
  for (int l = 0; l < 256; ++l) wavelengthColour_[l] = WavelengthToRGB(l + 380);
  magnitude_.reserve(static_cast<size_t>(kMaxSize) * kMaxSize);
  radialBin_.reserve(static_cast<size_t>(kMaxSize) * kMaxSize);
  for (int k = 0; k < 2; ++k) {
    scratchRe_[k].assign(static_cast<size_t>(kMaxSize) * ScratchStride(kMaxSize), 0.0f);
    scratchIm_[k].assign(static_cast<size_t>(kMaxSize) * ScratchStride(kMaxSize), 0.0f);
  }
  FFTSetup(64);
}

bool FftEngine::FFTSetup(int size) {
  // A size the transforms cannot serve (not a power of two in 32 … 512) would leave a table
  // of the wrong length behind; refuse it and keep the previous, consistent set-up.
  const int bits = BitsForSize(size);
  if (bits < 0) return false;

  size_ = size;
  bits_ = bits;
  half_ = size / 2;
  for (int k = 0; k < size; ++k) {
    int r = 0, kk = k;
    for (int b = 0; b <= bits_; ++b) {
      r = 2 * r + (kk & 1);
      kk >>= 1;
    }
    bitReverse_[k] = static_cast<uint16_t>(r);
  }
  sign_ = 1;

  // Run the twiddle recurrence once per span and keep every value it produces.
  for (int s = 0; s < 2; ++s) {
    const int sign = s == 0 ? 1 : -1;
    std::vector<float>& tr = twiddleRe_[s];
    std::vector<float>& ti = twiddleIm_[s];
    tr.assign(size, 0.0f);
    ti.assign(size, 0.0f);
    for (int h = 1; h < size; h <<= 1) {
      const int a = 2 * h;
      const float theta = static_cast<float>(sign * 2.0 * std::numbers::pi / a);
      const float sn = static_cast<float>(std::sin(static_cast<double>(theta) / 2.0));
      const float t = static_cast<float>(std::sin(static_cast<double>(theta)));
      const float alpha = 2.0f * sn * sn;
      float wr = 1.0f, wi = 0.0f;
      for (int j = 0; j < h; ++j) {
        tr[h - 1 + j] = wr;
        ti[h - 1 + j] = wi;
        const float nwr = wr - (alpha * wr + t * wi);
        const float nwi = wi - (alpha * wi - t * wr);
        wr = nwr;
        wi = nwi;
      }
    }
  }

  radialBin_.resize(static_cast<size_t>(size) * size);
  for (int x = 0; x < size; ++x) {
    const int dx = ((x + half_) % size) - half_;
    for (int y = 0; y < size; ++y) {
      const int dy = ((y + half_) % size) - half_;
      const int k = px::Round(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
      radialBin_[static_cast<size_t>(x) * size + y] = static_cast<int16_t>(k >= 1 && k <= 255 ? k : 0);
    }
  }
  magnitude_.resize(static_cast<size_t>(size) * size);

  registration::ClearCorner(ZeroPlane, size);
  BuildSpectrumCurve(4.5, 0.45);
  return true;
}

void FftEngine::FFT1D() {
  const int n = size_;
  const int s = sign_ > 0 ? 0 : 1;
  const float* twr = twiddleRe_[s].data();
  const float* twi = twiddleIm_[s].data();
  float* re = RowRe.data();
  float* im = RowIm.data();
  for (int h = 1; h < n; h <<= 1) {
    const float* tr = twr + (h - 1);
    const float* ti = twi + (h - 1);
    for (int g = 0; g < n; g += 2 * h) {
      for (int j = 0; j < h; ++j) {
        const int i = g + j;
        const float wr = tr[j], wi = ti[j];
        const float f = re[i + h], gi = im[i + h];
        const float m = wr * f - wi * gi;
        const float o = wr * gi + wi * f;
        re[i + h] = re[i] - m;
        im[i + h] = im[i] - o;
        re[i] = re[i] + m;
        im[i] = im[i] + o;
      }
    }
  }
}

// Both passes run in scratch blocks where the transform index is the row and the other
// index the lane: along x the plane's own rows (copied in bit-reversed order), along y the
// transposed corner. The hand-over between the passes is a transpose from one scratch block
// to the other, so the plane is read once and written once per 2-D transform.
void FftEngine::TransformPlanes(int sign, bool inverse) {
  const int n = size_;
  const int s = sign > 0 ? 0 : 1;
  const float* twr = twiddleRe_[s].data();
  const float* twi = twiddleIm_[s].data();
  const uint16_t* br = bitReverse_.data();
  float* pre = FFTRe.data();
  float* pim = FFTIm.data();
  float* aRe = scratchRe_[0].data();  // rows x, lanes y
  float* aIm = scratchIm_[0].data();
  float* bRe = scratchRe_[1].data();  // rows y, lanes x
  float* bIm = scratchIm_[1].data();
  const size_t stride = ScratchStride(n);
  const F4 scale4 = Splat4(scale_);

  if (!inverse) {
    for (int x = 0; x < n; ++x) {
      std::memcpy(aRe + br[x] * stride, pre + static_cast<size_t>(x) * kPlaneStride, sizeof(float) * n);
      std::memcpy(aIm + br[x] * stride, pim + static_cast<size_t>(x) * kPlaneStride, sizeof(float) * n);
    }
    RowsTransform(aRe, aIm, n, stride, twr, twi);
    TransposeCorner(aRe, stride, bRe, stride, n, br, nullptr);
    TransposeCorner(aIm, stride, bIm, stride, n, br, nullptr);
    RowsTransform(bRe, bIm, n, stride, twr, twi);
    TransposeCorner(bRe, stride, pre, kPlaneStride, n, nullptr, nullptr);
    TransposeCorner(bIm, stride, pim, kPlaneStride, n, nullptr, nullptr);
  } else {
    TransposeCorner(pre, kPlaneStride, bRe, stride, n, br, nullptr);
    TransposeCorner(pim, kPlaneStride, bIm, stride, n, br, nullptr);
    RowsTransform(bRe, bIm, n, stride, twr, twi);
    TransposeCorner(bRe, stride, aRe, stride, n, br, &scale4);
    TransposeCorner(bIm, stride, aIm, stride, n, br, &scale4);
    RowsTransform(aRe, aIm, n, stride, twr, twi);
    for (int x = 0; x < n; ++x) {
      float* dr = pre + static_cast<size_t>(x) * kPlaneStride;
      float* di = pim + static_cast<size_t>(x) * kPlaneStride;
      const float* sr = aRe + x * stride;
      const float* si = aIm + x * stride;
      for (int y = 0; y < n; y += 4) {
        Store4(dr + y, Load4(sr + y) * scale4);
        Store4(di + y, Load4(si + y) * scale4);
      }
    }
  }
}

void FftEngine::FFT2DForward() { TransformPlanes(sign_, false); }

void FftEngine::FFT2DInverse() {
  scale_ = 1.0f / static_cast<float>(size_);
  sign_ = -1;
  TransformPlanes(sign_, true);
  sign_ = 1;
}

float FftEngine::Magnitudes(const float* re, const float* im) {
  const int n = size_;
  float* out = magnitude_.data();
#if defined(__SSE2__)
  // sqrtps is the same correctly rounded square root as the scalar one; maxps keeps the
  // running maximum when the new value is NaN, as the scalar "greater than" test does.
  __m128 largest4 = _mm_set1_ps(-1e11f);
  for (int x = 0; x < n; ++x) {
    const float* r = re + static_cast<size_t>(x) * kPlaneStride;
    const float* i = im ? im + static_cast<size_t>(x) * kPlaneStride : nullptr;
    float* o = out + static_cast<size_t>(x) * n;
    for (int y = 0; y < n; y += 4) {
      const F4 vr = Load4(r + y);
      F4 sum = vr * vr;
      if (i) {
        const F4 vi = Load4(i + y);
        sum = sum + vi * vi;
      }
      const __m128 m = _mm_sqrt_ps(sum);
      _mm_storeu_ps(o + y, m);
      largest4 = _mm_max_ps(m, largest4);
    }
  }
  float lanes[4];
  _mm_storeu_ps(lanes, largest4);
  float largest = lanes[0];
  for (int k = 1; k < 4; ++k)
    if (lanes[k] > largest) largest = lanes[k];
  return largest;
#else
  float largest = -1e11f;
  for (int x = 0; x < n; ++x) {
    const float* r = re + static_cast<size_t>(x) * kPlaneStride;
    float* o = out + static_cast<size_t>(x) * n;
    if (im) {
      const float* i = im + static_cast<size_t>(x) * kPlaneStride;
      for (int y = 0; y < n; ++y) o[y] = std::sqrt(r[y] * r[y] + i[y] * i[y]);
    } else {
      for (int y = 0; y < n; ++y) o[y] = std::sqrt(r[y] * r[y]);
    }
    for (int y = 0; y < n; ++y)
      if (o[y] > largest) largest = o[y];
  }
  return largest;
#endif
}

void FftEngine::RadialSpectrum() {
  const float largest = Magnitudes(FFTRe.data(), FFTIm.data());
  RadialProfileScale = largest + 1e-5f;
  const float scale = 1.0f / RadialProfileScale;
  std::array<int, 257> count{};
  RadialProfile.fill(0.0f);
  const size_t total = static_cast<size_t>(size_) * size_;
  const float* m = magnitude_.data();
  const int16_t* bin = radialBin_.data();
  for (size_t i = 0; i < total; ++i) {
    const int k = bin[i];
    if (k == 0) continue;
    RadialProfile[k - 1] += m[i] * scale;
    ++count[k];
  }
  RadialProfileMax = 0.0f;
  for (int k = 1; k <= 256; ++k) {
    float& p = RadialProfile[k - 1];
    p = count[k] > 0 ? p / static_cast<float>(count[k]) : 0.0f;
    if (p > RadialProfileMax) RadialProfileMax = p;
  }
}

void FftEngine::BuildSpectrumCurve(double slope, double gamma) {
  if (gamma == 1) gamma = 0.999999;
  const double knee = std::pow(slope, 1.0 / (gamma - 1.0));
  for (int i = 0; i <= 1000; ++i) {
    const double x = i * 0.001;
    SpectrumCurve[i] = x < knee ? slope * x : std::pow(x + 1e-6, gamma);
  }
}

ui::Bitmap24 FftEngine::SpectrumBitmap(const FftPlane& re, const FftPlane* im, float threshold) {
  const int n = size_;
  const float largest = Magnitudes(re.data(), im ? im->data() : nullptr);
  const float scale = 1.0f / (largest + 1e-5f);

  // Level l and its wavelength colour for each curve index (a curve built with odd
  // arguments may leave 0 … 1; l is kept a byte).
  std::array<uint8_t, 1001> level;
  for (int i = 0; i <= 1000; ++i) {
    const double l = SpectrumCurve[i] * 255.0;
    level[i] = !(l > 0) ? 0 : l >= 255 ? 255 : static_cast<uint8_t>(px::Round(l));
  }

  ui::Bitmap24 bmp(n, n);
  const float* mag = magnitude_.data();
  for (int j = 0; j < n; ++j) {
    const int y = (j + half_) & (n - 1);  // n is a power of two
    uint8_t* row = bmp.row(j);
    for (int i = 0; i < n; ++i) {
      const int x = (i + half_) & (n - 1);
      float v = mag[static_cast<size_t>(x) * n + y] * scale;
      if (v > 1) v = 1;
      const double scaled = static_cast<double>(v) * 1000.0;
      const int index = scaled >= 0 ? px::Round(scaled) : 0;  // NaN (non-finite input) -> 0
      const uint8_t l = level[index];
      uint8_t* p = row + 3 * i;
      if (v < threshold) {
        const ui::Color& c = wavelengthColour_[l];
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
      } else {
        p[0] = l;
        p[1] = 0;
        p[2] = 0;
      }
    }
  }
  return bmp;
}

}  // namespace registration
