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

// Sources the accumulator cannot read, and interlace fields the row filter leaves out whole.
bool Unusable(const AccumulateOptions& o, const FrameInputs& in, const FrameSourceView& src) {
  if (src.kind == SourceKind::Bytes && !src.bytes) return true;
  if (src.kind == SourceKind::Tiff16 && (!src.tiff || src.tiff->width48() < src.width)) return true;
  if (src.kind == SourceKind::Fits && !src.fits) return true;
  if (src.kind == SourceKind::Bytes && o.interlaced && o.interlaceFilter == 2 && in.fieldIndex == 0) return true;
  if (src.kind == SourceKind::Bytes && o.interlaced && o.interlaceFilter == 3 && in.fieldIndex == 1) return true;
  return false;
}

// What the rows of one frame share.
struct FrameRows {
  const AccumulateOptions& o;
  const FrameInputs& in;
  const FrameSourceView& src;
  ImagePlanes& planes;
  FrameRegion r;
  int n;           // columns i0 … i1
  int px, py;      // from a destination-side index to the source pixel read
  bool calibrate;  // darkframe or flatfield pixel by pixel, in float
  int channel;     // FITS: the one plane that receives (3 is the luminance plane)
  PixelReader reader;
};

// Drizzle: source row y's values (colour in vr, vg, vb; luminance times the weight in vg;
// FITS in vr), columns i0 … i1.
void ReadDrizzleRow(const FrameRows& f, int y, int cy, float* vr, float* vg, float* vb) {
  const AccumulateOptions& o = f.o;
  const FrameSourceView& src = f.src;
  if (src.kind == SourceKind::Bytes && !f.calibrate) {
    const uint8_t* sp = src.bytes->row(y) + (f.r.i0 + f.px) * 3;
    if (o.colour) SplitRow(sp, vr, vg, vb, f.n);
    else LuminanceRow(sp, vg, f.n, o.lumR, o.lumG, o.lumB, f.in.weight);
    return;
  }
  for (int k = 0; k < f.n; ++k) {
    const int i = f.r.i0 + k, x = i + f.px;
    if (src.kind == SourceKind::Fits) {
      vr[k] = src.fits->Get(x, y);
      continue;
    }
    float v[3];
    f.reader.read(x, y, i + f.in.sx, cy, v);
    if (o.colour) {
      vr[k] = v[0];
      vg[k] = v[1];
      vb[k] = v[2];
    } else {
      vg[k] = v[0] * f.in.weight;
    }
  }
}

// Drizzle: each drop cell of row a's values spread over its row of the doubled grid.
void SpreadDrops(const FrameRows& f, int a, const float* vr, const float* vg, const float* vb) {
  auto& sum = f.planes.StackPlanes;
  const int n = f.n;
  const StackGeometry& g = f.o.geometry;
  for (int c = 0; c < f.in.drop.count; ++c) {
    const DropCell& d = f.in.drop.cells[c];
    const float wt = d.weight;
    const int dy = 2 * a + g.offsetY + d.k, dx0 = 2 * f.r.i0 + g.offsetX + d.j;
    float* cv = f.planes.CoveragePlane.Row(dy) + dx0;
    for (int k = 0; k < n; ++k) cv[2 * k] += wt;
    if (f.src.kind == SourceKind::Fits) {
      float* p = sum[f.channel].Row(dy) + dx0;
      for (int k = 0; k < n; ++k) p[2 * k] += vr[k] * wt;
    } else if (f.o.colour) {
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
}

// Whole pixels: row a added at its destination row, the coverage as a run of +1 … -1.
void AddRow(const FrameRows& f, int a, int y, int cy) {
  const AccumulateOptions& o = f.o;
  const FrameSourceView& src = f.src;
  auto& sum = f.planes.StackPlanes;
  const int n = f.n;
  const int dy = a + o.geometry.offsetY;
  const int dx0 = f.r.i0 + o.geometry.offsetX;
  float* cr = f.planes.CoveragePlane.Row(dy);
  cr[dx0] += 1;
  cr[dx0 + n] -= 1;

  if (src.kind == SourceKind::Fits) {
    const float* s = src.fits->Row(y) + f.r.i0 + f.px;
    float* d = sum[f.channel].Row(dy) + dx0;
    for (int k = 0; k < n; ++k) d[k] += s[k];
    return;
  }
  float* dr = sum[0].Row(dy) + dx0;
  float* dg = sum[1].Row(dy) + dx0;
  float* db = sum[2].Row(dy) + dx0;
  if (!f.calibrate && src.kind == SourceKind::Bytes) {
    const uint8_t* s = src.bytes->row(y) + (f.r.i0 + f.px) * 3;
    if (o.colour) AddColourRow(s, dr, dg, db, n);
    else AddLuminanceRow(s, dg, n, o.lumR, o.lumG, o.lumB, f.in.weight);
    return;
  }
  for (int k = 0; k < n; ++k) {
    const int i = f.r.i0 + k;
    float v[3];
    f.reader.read(i + f.px, y, i + f.in.sx, cy, v);
    if (o.colour) {
      dr[k] += v[0];
      dg[k] += v[1];
      db[k] += v[2];
    } else {
      dg[k] += v[0] * f.in.weight;
    }
  }
}

}  // namespace

bool StackAccumulator::Add(ImagePlanes& planes, const AccumulateOptions& o, const FrameInputs& in,
                           const FrameSourceView& src) {
  if (Unusable(o, in, src)) return false;
  const StackGeometry& g = o.geometry;
  const FrameRegion r = ContributionRegion(g, in.sx, in.sy, src.width, src.height);
  if (r.empty()) return false;

  const int n = r.i1 - r.i0 + 1;
  const FrameRows f{o,
                    in,
                    src,
                    planes,
                    r,
                    n,
                    g.resample ? 0 : in.sx,
                    g.resample ? 0 : in.sy,
                    (o.useDark || o.useFlat) && !g.resample && src.kind != SourceKind::Fits,
                    o.colour ? std::clamp(in.fitsChannel, 0, 3) : 1,
                    PixelReader{o, src, planes}};
  if (g.drizzle)
    for (auto& v : values_)
      if (static_cast<int>(v.size()) < n) v.resize(static_cast<size_t>(n));
  const bool rowFilter = src.kind == SourceKind::Bytes && o.interlaced;
  for (int a = r.a0; a <= r.a1; ++a) {
    if (rowFilter && !RowPasses(o, in, a + in.sy + g.windowY)) continue;
    const int y = a + f.py;    // row read from the source
    const int cy = a + in.sy;  // row of the calibration planes
    if (g.drizzle) {
      ReadDrizzleRow(f, y, cy, values_[0].data(), values_[1].data(), values_[2].data());
      SpreadDrops(f, a, values_[0].data(), values_[1].data(), values_[2].data());
    } else {
      AddRow(f, a, y, cy);
    }
  }
  // Every row of a FITS source is added (the row filter is for 8-bit frames).
  return src.kind == SourceKind::Fits && f.channel == 3;
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
