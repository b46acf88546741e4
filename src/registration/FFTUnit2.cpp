#include "registration/FFTUnit2.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "base/Numbers.h"
#include "registration/SpectraLib.h"

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

// Transforms run side by side: kLanes independent rows, element k of lane l at
// [k * kLanes + l]. Every size is a multiple of kLanes.
constexpr int kChunks = 2;
constexpr int kLanes = 4 * kChunks;

// Radix-2 butterflies over n elements already in bit-reversed order, for all lanes.
void BatchTransform(float* re, float* im, int n, const float* twr, const float* twi) {
  for (int h = 1; h < n; h <<= 1) {
    const float* tr = twr + (h - 1);
    const float* ti = twi + (h - 1);
    for (int g = 0; g < n; g += 2 * h) {
      for (int j = 0; j < h; ++j) {
        const F4 wr = Splat4(tr[j]), wi = Splat4(ti[j]);
        float* pr = re + (g + j) * kLanes;
        float* pi = im + (g + j) * kLanes;
        float* qr = pr + h * kLanes;
        float* qi = pi + h * kLanes;
        for (int c = 0; c < kLanes; c += 4) {
          const F4 f = Load4(qr + c), gi = Load4(qi + c);
          const F4 m = wr * f - wi * gi;
          const F4 o = wr * gi + wi * f;
          const F4 xr = Load4(pr + c), xi = Load4(pi + c);
          Store4(qr + c, xr - m);
          Store4(qi + c, xi - o);
          Store4(pr + c, xr + m);
          Store4(pi + c, xi + o);
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
  magnitude_.reserve(static_cast<size_t>(kMaxSize) * kMaxSize);
  radialBin_.reserve(static_cast<size_t>(kMaxSize) * kMaxSize);
  batchRe_.assign(static_cast<size_t>(kMaxSize) * kLanes, 0.0f);
  batchIm_.assign(static_cast<size_t>(kMaxSize) * kLanes, 0.0f);
  FFTSetup(64);
}

bool FftEngine::IsValidSize(int size) { return BitsForSize(size) >= 0; }

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

// One pass of 1-D transforms along x (for every y) or along y (for every x), kLanes at a
// time. Along x the lanes are kLanes consecutive rows y, already contiguous in the plane;
// along y they are kLanes columns, transposed into the batch buffer.
void FftEngine::TransformPlanes(int sign, bool inverse) {
  const int n = size_;
  const int s = sign > 0 ? 0 : 1;
  const float* twr = twiddleRe_[s].data();
  const float* twi = twiddleIm_[s].data();
  const uint16_t* br = bitReverse_.data();
  float* pre = FFTRe.data();
  float* pim = FFTIm.data();
  float* bre = batchRe_.data();
  float* bim = batchIm_.data();
  const float scale = scale_;
  const F4 scale4 = Splat4(scale);

  auto alongX = [&]() {
    for (int y0 = 0; y0 < n; y0 += kLanes) {
      for (int x = 0; x < n; ++x) {
        const float* sr = pre + static_cast<size_t>(x) * kPlaneStride + y0;
        const float* si = pim + static_cast<size_t>(x) * kPlaneStride + y0;
        float* dr = bre + br[x] * kLanes;
        float* di = bim + br[x] * kLanes;
        for (int c = 0; c < kLanes; c += 4) {
          Store4(dr + c, Load4(sr + c));
          Store4(di + c, Load4(si + c));
        }
      }
      BatchTransform(bre, bim, n, twr, twi);
      for (int x = 0; x < n; ++x) {
        float* dr = pre + static_cast<size_t>(x) * kPlaneStride + y0;
        float* di = pim + static_cast<size_t>(x) * kPlaneStride + y0;
        const float* sr = bre + x * kLanes;
        const float* si = bim + x * kLanes;
        for (int c = 0; c < kLanes; c += 4) {
          if (inverse) {
            Store4(dr + c, Load4(sr + c) * scale4);
            Store4(di + c, Load4(si + c) * scale4);
          } else {
            Store4(dr + c, Load4(sr + c));
            Store4(di + c, Load4(si + c));
          }
        }
      }
    }
  };

  auto alongY = [&]() {
    for (int x0 = 0; x0 < n; x0 += kLanes) {
      for (int l = 0; l < kLanes; ++l) {
        const float* sr = pre + static_cast<size_t>(x0 + l) * kPlaneStride;
        const float* si = pim + static_cast<size_t>(x0 + l) * kPlaneStride;
        for (int y = 0; y < n; ++y) {
          bre[br[y] * kLanes + l] = sr[y];
          bim[br[y] * kLanes + l] = si[y];
        }
      }
      BatchTransform(bre, bim, n, twr, twi);
      for (int l = 0; l < kLanes; ++l) {
        float* dr = pre + static_cast<size_t>(x0 + l) * kPlaneStride;
        float* di = pim + static_cast<size_t>(x0 + l) * kPlaneStride;
        if (inverse) {
          for (int y = 0; y < n; ++y) {
            dr[y] = bre[y * kLanes + l] * scale;
            di[y] = bim[y * kLanes + l] * scale;
          }
        } else {
          for (int y = 0; y < n; ++y) {
            dr[y] = bre[y * kLanes + l];
            di[y] = bim[y * kLanes + l];
          }
        }
      }
    }
  };

  if (inverse) {
    alongY();
    alongX();
  } else {
    alongX();
    alongY();
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
  float largest = -1e11f;
  float* out = magnitude_.data();
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
}

void FftEngine::RadialSpectrum() {
  const float largest = Magnitudes(FFTRe.data(), FFTIm.data());
  const float scale = 1.0f / (largest + 1e-5f);
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
  std::array<ui::Color, 256> colour;
  for (int l = 0; l < 256; ++l) colour[l] = WavelengthToRGB(l + 380);

  ui::Bitmap24 bmp(n, n);
  const float* mag = magnitude_.data();
  for (int j = 0; j < n; ++j) {
    const int y = (j + half_) % n;
    uint8_t* row = bmp.row(j);
    for (int i = 0; i < n; ++i) {
      const int x = (i + half_) % n;
      float v = mag[static_cast<size_t>(x) * n + y] * scale;
      if (v > 1) v = 1;
      const double scaled = static_cast<double>(v) * 1000.0;
      const int index = scaled >= 0 ? px::Round(scaled) : 0;  // NaN (non-finite input) -> 0
      const uint8_t l = level[index];
      uint8_t* p = row + 3 * i;
      if (v < threshold) {
        const ui::Color c = colour[l];
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
