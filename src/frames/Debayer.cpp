#include "frames/Debayer.h"

#include <algorithm>
#include <cstdlib>

namespace frames {

namespace {

constexpr int kPad = 2;

// Mirrors an index about the first and last sample (keeps the 2 x 2 parity), then clamps for
// images too small to mirror.
inline int Mirror(int i, int n) {
  if (i < 0) i = -i;
  if (i >= n) i = 2 * (n - 1) - i;
  return std::clamp(i, 0, n - 1);
}

// Output channel of a mosaic colour.
inline int Channel(int colour, int redIndex) { return colour == 1 ? 1 : colour == 0 ? redIndex : 2 - redIndex; }

template <class T>
inline T Clip(int32_t v, int32_t maxValue) {
  return static_cast<T>(v < 0 ? 0 : v > maxValue ? maxValue : v);
}

// Fills the 2-pixel border of a padded plane by mirroring its inner part.
template <class V>
void MirrorBorder(std::vector<V>& plane, int w, int h) {
  const ptrdiff_t P = w + 2 * kPad;
  for (int y = 0; y < h; ++y) {
    V* row = plane.data() + (y + kPad) * P + kPad;
    for (int x = -kPad; x < 0; ++x) row[x] = row[Mirror(x, w)];
    for (int x = w; x < w + kPad; ++x) row[x] = row[Mirror(x, w)];
  }
  for (int y = -kPad; y < h + kPad; ++y) {
    if (y >= 0 && y < h) continue;
    std::copy_n(plane.data() + (Mirror(y, h) + kPad) * P, P, plane.data() + (y + kPad) * P);
  }
}

// Bilinear kinds of site: 0 red, 2 blue, 1 green in a red row, 3 green in a blue row.
inline int SiteKind(BayerPattern p, int x, int y) {
  const int c = MosaicColour(p, x, y);
  if (c != 1) return c;
  return MosaicColour(p, x + 1, y) == 0 ? 1 : 3;
}

template <class T, int Kind, int RI, class S>
inline void Site(const S* c, ptrdiff_t P, T* o) {
  constexpr int BI = 2 - RI;
  if constexpr (Kind == 0 || Kind == 2) {
    constexpr int own = Kind == 0 ? RI : BI, other = 2 - own;
    o[own] = static_cast<T>(c[0]);
    o[1] = static_cast<T>((c[-1] + c[1] + c[-P] + c[P] + 2) >> 2);
    o[other] = static_cast<T>((c[-P - 1] + c[-P + 1] + c[P - 1] + c[P + 1] + 2) >> 2);
  } else {
    constexpr int hor = Kind == 1 ? RI : BI, ver = 2 - hor;
    o[1] = static_cast<T>(c[0]);
    o[hor] = static_cast<T>((c[-1] + c[1] + 1) >> 1);
    o[ver] = static_cast<T>((c[-P] + c[P] + 1) >> 1);
  }
}

template <class T, int K0, int K1, int RI, class S>
void BilinearRow(const S* row, ptrdiff_t P, T* out, int w) {
  int x = 0;
  for (; x + 1 < w; x += 2) {
    Site<T, K0, RI>(row + x, P, out + 3 * x);
    Site<T, K1, RI>(row + x + 1, P, out + 3 * x + 3);
  }
  if (x < w) Site<T, K0, RI>(row + x, P, out + 3 * x);
}

template <class T, int RI, class S>
void BilinearRowOf(int k0, const S* row, ptrdiff_t P, T* out, int w) {
  switch (k0) {
    case 0: return BilinearRow<T, 0, 1, RI>(row, P, out, w);
    case 1: return BilinearRow<T, 1, 0, RI>(row, P, out, w);
    case 2: return BilinearRow<T, 2, 3, RI>(row, P, out, w);
    default: return BilinearRow<T, 3, 2, RI>(row, P, out, w);
  }
}

// One pixel of the outermost rows or columns, its neighbours mirrored like the padding.
template <class S, class T>
void BorderPixel(const S* src, size_t stride, int w, int h, BayerPattern p, int x, int y, T* o, int RI) {
  auto at = [&](int xx, int yy) { return static_cast<int>(src[static_cast<size_t>(Mirror(yy, h)) * stride + Mirror(xx, w)]); };
  const int c = MosaicColour(p, x, y);
  if (c != 1) {
    const int own = c == 0 ? RI : 2 - RI;
    o[own] = static_cast<T>(at(x, y));
    o[1] = static_cast<T>((at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1) + 2) >> 2);
    o[2 - own] = static_cast<T>((at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1) + 2) >> 2);
  } else {
    const int hor = MosaicColour(p, x + 1, y) == 0 ? RI : 2 - RI;
    o[1] = static_cast<T>(at(x, y));
    o[hor] = static_cast<T>((at(x - 1, y) + at(x + 1, y) + 1) >> 1);
    o[2 - hor] = static_cast<T>((at(x, y - 1) + at(x, y + 1) + 1) >> 1);
  }
}

// Bilinear straight from the source: the inside with fixed kernels, the rim by mirroring.
template <class S, class T>
void BilinearDirect(const S* src, size_t stride, int w, int h, BayerPattern p, T* dst, size_t dstStride, int RI) {
  const ptrdiff_t P = static_cast<ptrdiff_t>(stride);
  for (int y = 0; y < h; ++y) {
    T* out = dst + static_cast<size_t>(y) * dstStride;
    if (y == 0 || y == h - 1 || w < 3) {
      for (int x = 0; x < w; ++x) BorderPixel(src, stride, w, h, p, x, y, out + 3 * x, RI);
      continue;
    }
    const S* row = src + static_cast<size_t>(y) * stride;
    BorderPixel(src, stride, w, h, p, 0, y, out, RI);
    if (RI == 0) BilinearRowOf<T, 0>(SiteKind(p, 1, y), row + 1, P, out + 3, w - 2);
    else BilinearRowOf<T, 2>(SiteKind(p, 1, y), row + 1, P, out + 3, w - 2);
    BorderPixel(src, stride, w, h, p, w - 1, y, out + 3 * (w - 1), RI);
  }
}

}  // namespace

const char* PatternName(BayerPattern p) {
  switch (p) {
    case BayerPattern::RGGB: return "RGGB";
    case BayerPattern::GRBG: return "GRBG";
    case BayerPattern::GBRG: return "GBRG";
    case BayerPattern::BGGR: return "BGGR";
  }
  return "?";
}

template <class T>
void Debayerer::Pad(const T* src, size_t srcStride, int width, int height) {
  w_ = width;
  h_ = height;
  const size_t P = static_cast<size_t>(width + 2 * kPad);
  m_.resize(P * static_cast<size_t>(height + 2 * kPad));
  for (int y = 0; y < height; ++y) {
    const T* s = src + static_cast<size_t>(y) * srcStride;
    std::copy_n(s, width, m_.data() + (y + kPad) * P + kPad);
  }
  MirrorBorder(m_, width, height);
}

template <class T>
void Debayerer::EdgeAware(BayerPattern p, T* dst, size_t dstStride, int redIndex, int maxValue) {
  const ptrdiff_t P = w_ + 2 * kPad;
  g_.resize(m_.size());
  d_.resize(m_.size());
  // Green everywhere: along the smoother direction, corrected by the own colour's curvature.
  for (int y = 0; y < h_; ++y) {
    const uint16_t* row = m_.data() + (y + kPad) * P + kPad;
    int32_t* grow = g_.data() + (y + kPad) * P + kPad;
    for (int parity = 0; parity < 2; ++parity) {
      if (MosaicColour(p, parity, y) == 1) {
        for (int x = parity; x < w_; x += 2) grow[x] = row[x];
        continue;
      }
      for (int x = parity; x < w_; x += 2) {
        const uint16_t* c = row + x;
        const int32_t ch = 2 * c[0] - c[-2] - c[2], cv = 2 * c[0] - c[-2 * P] - c[2 * P];
        const int32_t gh = std::abs(c[-1] - c[1]) + std::abs(ch);
        const int32_t gv = std::abs(c[-P] - c[P]) + std::abs(cv);
        const int32_t h4 = 2 * (c[-1] + c[1]) + ch, v4 = 2 * (c[-P] + c[P]) + cv;
        const int32_t g = gh < gv ? (h4 + 2) >> 2 : gv < gh ? (v4 + 2) >> 2 : (h4 + v4 + 4) >> 3;
        grow[x] = std::clamp(g, 0, maxValue);
      }
    }
  }
  MirrorBorder(g_, w_, h_);
  for (size_t i = 0; i < m_.size(); ++i) d_[i] = m_[i] - g_[i];
  // Red and blue as differences to green, interpolated like bilinear.
  for (int y = 0; y < h_; ++y) {
    const uint16_t* row = m_.data() + (y + kPad) * P + kPad;
    const int32_t* grow = g_.data() + (y + kPad) * P + kPad;
    const int32_t* drow = d_.data() + (y + kPad) * P + kPad;
    T* out = dst + static_cast<size_t>(y) * dstStride;
    for (int parity = 0; parity < 2; ++parity) {
      const int colour = MosaicColour(p, parity, y);
      const int own = Channel(colour, redIndex);
      if (colour != 1) {
        const int other = 2 - own;
        for (int x = parity; x < w_; x += 2) {
          const int32_t* d = drow + x;
          T* o = out + 3 * x;
          o[own] = static_cast<T>(row[x]);
          o[1] = static_cast<T>(grow[x]);
          o[other] = Clip<T>(grow[x] + ((d[-P - 1] + d[-P + 1] + d[P - 1] + d[P + 1] + 2) >> 2), maxValue);
        }
      } else {
        const int hor = Channel(MosaicColour(p, parity + 1, y), redIndex), ver = 2 - hor;
        for (int x = parity; x < w_; x += 2) {
          const int32_t* d = drow + x;
          T* o = out + 3 * x;
          o[1] = static_cast<T>(row[x]);
          o[hor] = Clip<T>(grow[x] + ((d[-1] + d[1] + 1) >> 1), maxValue);
          o[ver] = Clip<T>(grow[x] + ((d[-P] + d[P] + 1) >> 1), maxValue);
        }
      }
    }
  }
}

void Debayerer::Run(const uint8_t* src, size_t srcStride, int width, int height, BayerPattern p, DebayerMethod m,
                    uint8_t* dst, size_t dstStride, int redIndex) {
  if (width <= 0 || height <= 0) return;
  if (m == DebayerMethod::Bilinear) return BilinearDirect(src, srcStride, width, height, p, dst, dstStride, redIndex);
  Pad(src, srcStride, width, height);
  EdgeAware(p, dst, dstStride, redIndex, 255);
}

void Debayerer::Run(const uint16_t* src, size_t srcStride, int width, int height, BayerPattern p, DebayerMethod m,
                    uint16_t* dst, size_t dstStride, int redIndex, int maxValue) {
  if (width <= 0 || height <= 0) return;
  if (m == DebayerMethod::Bilinear) return BilinearDirect(src, srcStride, width, height, p, dst, dstStride, redIndex);
  Pad(src, srcStride, width, height);
  EdgeAware(p, dst, dstStride, redIndex, maxValue);
}

}  // namespace frames
