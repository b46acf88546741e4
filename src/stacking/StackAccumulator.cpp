#include "stacking/StackAccumulator.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"

namespace stacking {

using frames::ImagePlanes;
using frames::Single2dArray;

void StackAccumulator::Begin(ImagePlanes& planes, int width, int height, bool drizzle) {
  width_ = width;
  height_ = height;
  drizzle_ = drizzle;
  pending_ = !drizzle;
  for (auto& p : planes.StackPlanes) p.Fill(0, width + 2, height + 2);
  planes.CoveragePlane.Fill(0, width + 2, height + 2);
}

void StackAccumulator::FinishCoverage(ImagePlanes& planes) {
  if (!pending_) return;
  pending_ = false;
  Single2dArray& cov = planes.CoveragePlane;
  const int cols = std::min(width_ + 2, cov.stride());
  const int rows = std::min(height_ + 2, cov.rows());
  for (int y = 0; y < rows; ++y) {
    float* r = cov.Row(y);
    float run = 0;
    for (int x = 0; x < cols; ++x) {
      run += r[x];
      r[x] = run;
    }
  }
}

namespace {

bool RowPasses(const AccumulateOptions& o, const FrameInputs& in, int sourceRow) {
  if (!o.interlaced) return true;
  switch (o.interlaceFilter) {
    case 0: return (sourceRow & 1) == in.fieldIndex;
    case 2: return in.fieldIndex == 1;
    case 3: return in.fieldIndex == 0;
    default: return true;
  }
}

// Reads the values of one source pixel: colour in v[0..2] (R, G, B), luminance in v[0].
struct PixelReader {
  const AccumulateOptions& o;
  const FrameSourceView& src;
  const ImagePlanes& planes;

  void read(int x, int y, int cx, int cy, float* v) const {
    float c[3];
    if (src.kind == SourceKind::Bytes) {
      const uint8_t* p = src.bytes->row(y) + x * 3;
      c[0] = p[2];
      c[1] = p[1];
      c[2] = p[0];
    } else {
      const uint16_t* p = src.tiff->row16(y) + x * 3;
      c[0] = p[0] / 255.0f;
      c[1] = p[1] / 255.0f;
      c[2] = p[2] / 255.0f;
    }
    const bool dark = o.useDark && cx >= 0 && cy >= 0 && cx < o.darkWidth && cy < o.darkHeight;
    const bool flat = o.useFlat && cx >= 0 && cy >= 0 && cx < o.flatWidth && cy < o.flatHeight;
    if (o.colour) {
      for (int k = 0; k < 3; ++k) {
        float val = c[k];
        if (dark) val = val - planes.DarkPlanes[k].Get(cx, cy) / 128.0f;
        if (flat) val = val / planes.FlatPlanes[k].Get(cx, cy);
        v[k] = val;
      }
    } else {
      float val = o.lumR * c[0] + o.lumG * c[1] + o.lumB * c[2];
      if (dark) val = val - planes.DarkPlanes[1].Get(cx, cy) / 128.0f;
      if (flat) val = val / planes.FlatPlanes[1].Get(cx, cy);
      v[0] = val;
    }
  }
};

// The hot rows of plain 8-bit frames, built for AVX2 too and picked at run time.
__attribute__((target_clones("avx2", "default"))) void AddColourRow(const uint8_t* __restrict s, float* __restrict dr, float* __restrict dg,
                                                                     float* __restrict db, int n) {
  for (int k = 0; k < n; ++k) {
    dr[k] += static_cast<float>(s[3 * k + 2]);
    dg[k] += static_cast<float>(s[3 * k + 1]);
    db[k] += static_cast<float>(s[3 * k]);
  }
}

__attribute__((target_clones("avx2", "default"))) void AddLuminanceRow(const uint8_t* __restrict s, float* __restrict dg, int n, float wr,
                                                                        float wg, float wb, float w) {
  for (int k = 0; k < n; ++k)
    dg[k] += (wr * static_cast<float>(s[3 * k + 2]) + wg * static_cast<float>(s[3 * k + 1]) +
              wb * static_cast<float>(s[3 * k])) *
             w;
}

__attribute__((target_clones("avx2", "default"))) void SplitRow(const uint8_t* __restrict s, float* __restrict r,
                                                                 float* __restrict g, float* __restrict b, int n) {
  for (int k = 0; k < n; ++k) {
    r[k] = static_cast<float>(s[3 * k + 2]);
    g[k] = static_cast<float>(s[3 * k + 1]);
    b[k] = static_cast<float>(s[3 * k]);
  }
}

__attribute__((target_clones("avx2", "default"))) void LuminanceRow(const uint8_t* __restrict s, float* __restrict g,
                                                                     int n, float wr, float wg, float wb, float w) {
  for (int k = 0; k < n; ++k)
    g[k] = (wr * static_cast<float>(s[3 * k + 2]) + wg * static_cast<float>(s[3 * k + 1]) +
            wb * static_cast<float>(s[3 * k])) *
           w;
}

}  // namespace

bool StackAccumulator::Add(ImagePlanes& planes, const AccumulateOptions& o, const FrameInputs& in,
                           const FrameSourceView& src) {
  if (src.kind == SourceKind::Bytes && !src.bytes) return false;
  if (src.kind == SourceKind::Tiff16 && (!src.tiff || src.tiff->width48() < src.width)) return false;
  if (src.kind == SourceKind::Fits && !src.fits) return false;
  if (src.kind == SourceKind::Bytes && o.interlaced && o.interlaceFilter == 2 && in.fieldIndex == 0) return false;
  if (src.kind == SourceKind::Bytes && o.interlaced && o.interlaceFilter == 3 && in.fieldIndex == 1) return false;

  const StackGeometry& g = o.geometry;
  const FrameRegion r = ContributionRegion(g, in.sx, in.sy, src.width, src.height);
  if (r.empty()) return false;

  auto& sum = planes.StackPlanes;
  Single2dArray& cov = planes.CoveragePlane;
  const bool resampledSource = g.resample;
  const int px = resampledSource ? 0 : in.sx, py = resampledSource ? 0 : in.sy;
  const bool calibrate = (o.useDark || o.useFlat) && !resampledSource && src.kind != SourceKind::Fits;
  const bool rowFilter = src.kind == SourceKind::Bytes && o.interlaced;
  const int n = r.i1 - r.i0 + 1;
  if (g.drizzle)
    for (auto& v : values_)
      if (static_cast<int>(v.size()) < n) v.resize(static_cast<size_t>(n));
  bool luminanceChannel = false;
  PixelReader reader{o, src, planes};

  for (int a = r.a0; a <= r.a1; ++a) {
    if (rowFilter && !RowPasses(o, in, a + in.sy + g.windowY)) continue;
    const int y = a + py;  // row read from the source
    const int cy = a + in.sy;  // row of the calibration planes

    if (g.drizzle) {
      // The row's values first, then each drop cell spread over its destination row.
      int channel = -1;  // FITS: the one plane that receives
      float* vr = values_[0].data();
      float* vg = values_[1].data();
      float* vb = values_[2].data();
      if (src.kind == SourceKind::Bytes && !calibrate) {
        const uint8_t* sp = src.bytes->row(y) + (r.i0 + px) * 3;
        if (o.colour) SplitRow(sp, vr, vg, vb, n);
        else LuminanceRow(sp, vg, n, o.lumR, o.lumG, o.lumB, in.weight);
      } else {
        for (int k = 0; k < n; ++k) {
          const int i = r.i0 + k, x = i + px;
          if (src.kind == SourceKind::Fits) {
            vr[k] = src.fits->Get(x, y);
            continue;
          }
          float v[3];
          reader.read(x, y, i + in.sx, cy, v);
          if (o.colour) {
            vr[k] = v[0];
            vg[k] = v[1];
            vb[k] = v[2];
          } else {
            vg[k] = v[0] * in.weight;
          }
        }
      }
      if (src.kind == SourceKind::Fits) {
        channel = o.colour ? std::clamp(in.fitsChannel, 0, 3) : 1;
        if (channel == 3) luminanceChannel = true;
      }
      for (int c = 0; c < in.drop.count; ++c) {
        const DropCell& d = in.drop.cells[c];
        const float wt = d.weight;
        const int dy = 2 * a + g.offsetY + d.k, dx0 = 2 * r.i0 + g.offsetX + d.j;
        float* cv = cov.Row(dy) + dx0;
        for (int k = 0; k < n; ++k) cv[2 * k] += wt;
        if (channel >= 0) {
          float* p = sum[channel].Row(dy) + dx0;
          for (int k = 0; k < n; ++k) p[2 * k] += vr[k] * wt;
        } else if (o.colour) {
          float* pr = sum[0].Row(dy) + dx0;
          float* pg = sum[1].Row(dy) + dx0;
          float* pb = sum[2].Row(dy) + dx0;
          for (int k = 0; k < n; ++k) {
            pr[2 * k] += vr[k] * wt;
            pg[2 * k] += vg[k] * wt;
            pb[2 * k] += vb[k] * wt;
          }
        } else {
          float* pg = sum[1].Row(dy) + dx0;
          for (int k = 0; k < n; ++k) pg[2 * k] += vg[k] * wt;
        }
      }
      continue;
    }

    const int dy = a + g.offsetY;
    const int dx0 = r.i0 + g.offsetX;
    float* cr = cov.Row(dy);
    cr[dx0] += 1;
    cr[dx0 + n] -= 1;

    if (src.kind == SourceKind::Fits) {
      const float* f = src.fits->Row(y) + r.i0 + px;
      int channel = o.colour ? std::clamp(in.fitsChannel, 0, 3) : 1;
      if (channel == 3) luminanceChannel = true;
      float* d = sum[channel].Row(dy) + dx0;
      for (int k = 0; k < n; ++k) d[k] += f[k];
      continue;
    }

    float* dr = sum[0].Row(dy) + dx0;
    float* dg = sum[1].Row(dy) + dx0;
    float* db = sum[2].Row(dy) + dx0;
    if (!calibrate && src.kind == SourceKind::Bytes) {
      const uint8_t* s = src.bytes->row(y) + (r.i0 + px) * 3;
      if (o.colour) AddColourRow(s, dr, dg, db, n);
      else AddLuminanceRow(s, dg, n, o.lumR, o.lumG, o.lumB, in.weight);
      continue;
    }
    for (int k = 0; k < n; ++k) {
      const int i = r.i0 + k;
      float v[3];
      reader.read(i + px, y, i + in.sx, cy, v);
      if (o.colour) {
        dr[k] += v[0];
        dg[k] += v[1];
        db[k] += v[2];
      } else {
        dg[k] += v[0] * in.weight;
      }
    }
  }
  return luminanceChannel;
}

void NormalizeStack(ImagePlanes& planes, int width, int height, bool colour) {
  for (int y = 0; y < height; ++y) {
    const float* c = planes.CoveragePlane.Row(y);
    float* rows[4];
    int count = 0;
    if (colour) {
      for (int k = 0; k < 4; ++k) rows[count++] = planes.StackPlanes[k].Row(y);
    } else {
      rows[count++] = planes.StackPlanes[1].Row(y);
    }
    for (int x = 0; x < width; ++x) {
      if (c[x] <= 0) continue;
      const float inv = 1.0f / c[x];
      for (int k = 0; k < count; ++k) rows[k][x] *= inv;
    }
  }
}

float StackMaximum(const ImagePlanes& planes, int width, int height, bool colour) {
  if (width <= 0 || height <= 0) return 0;
  float m = -3.0e38f;
  for (int k = colour ? 0 : 1; k <= (colour ? 2 : 1); ++k)
    for (int y = 0; y < height; ++y) {
      const float* r = planes.StackPlanes[k].Row(y);
      for (int x = 0; x < width; ++x) m = std::max(m, r[x]);
    }
  return m;
}

void RenderStack(const ImagePlanes& planes, int width, int height, bool colour, float scale, ui::Bitmap24& view,
                 formats::TTIFFBitMap& copy16) {
  view.setSize(width, height);
  if (copy16.width48() < width || copy16.height48() < height) copy16.Allocate48(width + 1, height + 1);
  copy16.has16Bit = true;
  const float s16 = scale * 255.0f;
  for (int y = 0; y < height; ++y) {
    const float* src[3];
    for (int k = 0; k < 3; ++k) src[k] = planes.StackPlanes[colour ? k : 1].Row(y);
    uint8_t* out = view.row(y);
    uint16_t* out16 = copy16.row16(y);
    for (int x = 0; x < width; ++x) {
      for (int k = 0; k < 3; ++k) {
        const float v = src[k][x];
        const int b = px::Round(static_cast<double>(v * scale));
        out[x * 3 + (2 - k)] = static_cast<uint8_t>(std::clamp(b, 0, 255));
        const int64_t w = px::Round64(static_cast<double>(v * s16));
        out16[x * 3 + k] = static_cast<uint16_t>(std::clamp<int64_t>(w, 0, 65535));
      }
    }
  }
}

void CalibrateBytes(ui::Bitmap24& frame, const ImagePlanes& planes, bool useDark, int darkWidth, int darkHeight,
                    bool useFlat, int flatWidth, int flatHeight) {
  auto pass = [&](bool on, int w, int h, auto op) {
    if (!on) return;
    w = std::min(w, frame.width());
    h = std::min(h, frame.height());
    for (int y = 0; y < h; ++y) {
      uint8_t* p = frame.row(y);
      for (int x = 0; x < w; ++x)
        for (int k = 0; k < 3; ++k) {
          uint8_t& b = p[x * 3 + (2 - k)];
          b = static_cast<uint8_t>(std::clamp(px::Round(op(b, k, x, y)), 0, 255));
        }
    }
  };
  pass(useDark, darkWidth, darkHeight,
       [&](uint8_t b, int k, int x, int y) { return b - planes.DarkPlanes[k].Get(x, y) / 128.0; });
  pass(useFlat, flatWidth, flatHeight,
       [&](uint8_t b, int k, int x, int y) { return b / static_cast<double>(planes.FlatPlanes[k].Get(x, y)); });
}

}  // namespace stacking
