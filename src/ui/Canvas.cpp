#include "ui/Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <cstdint>
#include <vector>

#include "ui/BitmapFont.h"

namespace ui {
namespace {

using i64 = int64_t;
using i128 = __int128;

// Dotted pens draw runs of three pixels on, three off (the classic cosmetic dot pattern).
constexpr i64 kDotRun = 3;
constexpr i64 kDotPeriod = 6;

bool DotOn(i64 position) {
  i64 p = position % kDotPeriod;
  if (p < 0) p += kDotPeriod;
  return p < kDotRun;
}

// A pen of width w covers the square of offsets lo..hi around each pixel of its path.
struct Footprint {
  i64 lo, hi;
  explicit Footprint(i64 width) : lo(-(width / 2)), hi(width - 1 - width / 2) {}
};

i64 PenWidth(const Pen& pen) { return std::clamp(pen.width, 1, 1 << 16); }

// Like a classic toolkit, only thin pens draw dots; a wide dotted pen draws solid.
bool Dotted(const Pen& pen) { return pen.style == PenStyle::Dot && PenWidth(pen) == 1; }

struct Span {
  i64 x0, x1;  // inclusive
};

// Writes pixels in copy or exclusive-or mode, clipped to the picture.
class Painter {
 public:
  Painter(Bitmap24& bmp, PenMode mode) : bmp_(bmp), xor_(mode == PenMode::Xor) {}

  void pixel(i64 x, i64 y, Color c) {
    if (x < 0 || y < 0 || x >= bmp_.width() || y >= bmp_.height()) return;
    put(bmp_.row(static_cast<int>(y)) + x * 3, c);
  }

  void span(i64 y, i64 x0, i64 x1, Color c) {
    if (y < 0 || y >= bmp_.height()) return;
    x0 = std::max<i64>(x0, 0);
    x1 = std::min<i64>(x1, bmp_.width() - 1);
    uint8_t* p = bmp_.row(static_cast<int>(y)) + x0 * 3;
    for (i64 x = x0; x <= x1; ++x, p += 3) put(p, c);
  }

 private:
  void put(uint8_t* p, Color c) const {
    if (xor_) {
      p[0] ^= c.b;
      p[1] ^= c.g;
      p[2] ^= c.r;
    } else {
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
    }
  }
  Bitmap24& bmp_;
  bool xor_;
};

// The pixels of a line from (x0, y0) over n = max(|dx|, |dy|) steps, end point excluded.
// Step i moves i pixels along the major axis; the minor axis follows the true line rounded
// to the nearest pixel (halves away from the start). The closed form lets a line be clipped
// to the picture without walking its invisible part, whatever its coordinates.
class LineWalk {
 public:
  LineWalk(i64 x0, i64 y0, i64 x1, i64 y1) {
    i64 dx = x1 - x0, dy = y1 - y0;
    xMajor_ = std::llabs(dx) >= std::llabs(dy);
    i64 dMajor = xMajor_ ? dx : dy, dMinor = xMajor_ ? dy : dx;
    major0_ = xMajor_ ? x0 : y0;
    minor0_ = xMajor_ ? y0 : x0;
    sMajor_ = dMajor < 0 ? -1 : 1;
    sMinor_ = dMinor < 0 ? -1 : 1;
    n_ = std::llabs(dMajor);
    aMinor_ = std::llabs(dMinor);
  }

  i64 count() const { return n_; }

  // Narrows [first, last] to the steps whose pixel lies in [bx0, bx1] x [by0, by1].
  bool clip(i64 bx0, i64 by0, i64 bx1, i64 by1, i64& first, i64& last) const {
    if (n_ == 0) return false;
    i64 majLo = xMajor_ ? bx0 : by0, majHi = xMajor_ ? bx1 : by1;
    i64 minLo = xMajor_ ? by0 : bx0, minHi = xMajor_ ? by1 : bx1;
    if (sMajor_ > 0) {
      first = std::max<i64>(0, majLo - major0_);
      last = std::min<i64>(n_ - 1, majHi - major0_);
    } else {
      first = std::max<i64>(0, major0_ - majHi);
      last = std::min<i64>(n_ - 1, major0_ - majLo);
    }
    if (first > last) return false;
    i64 mLo = sMinor_ > 0 ? minLo - minor0_ : minor0_ - minHi;
    i64 mHi = sMinor_ > 0 ? minHi - minor0_ : minor0_ - minLo;
    // minorSteps is non-decreasing in i: binary-search both ends.
    i64 a = first, b = last + 1;
    while (a < b) {
      i64 m = a + (b - a) / 2;
      if (minorSteps(m) >= mLo) b = m; else a = m + 1;
    }
    i64 lo = a;
    a = first - 1, b = last;
    while (a < b) {
      i64 m = b - (b - a) / 2;
      if (minorSteps(m) <= mHi) a = m; else b = m - 1;
    }
    first = lo;
    last = a;
    return first <= last;
  }

  // Calls f(i, x, y) for steps first..last.
  template <class F>
  void walk(i64 first, i64 last, F&& f) const {
    const i64 twoN = 2 * n_;
    i64 m = minorSteps(first);
    i64 err = static_cast<i64>((static_cast<i128>(2) * first * aMinor_ + n_) % twoN);
    for (i64 i = first; i <= last; ++i) {
      i64 major = major0_ + sMajor_ * i, minor = minor0_ + sMinor_ * m;
      if (xMajor_) f(i, major, minor); else f(i, minor, major);
      err += 2 * aMinor_;
      if (err >= twoN) {
        err -= twoN;
        ++m;
      }
    }
  }

 private:
  i64 minorSteps(i64 i) const {
    return static_cast<i64>((static_cast<i128>(2) * i * aMinor_ + n_) / (2 * n_));
  }
  bool xMajor_ = true;
  i64 major0_ = 0, minor0_ = 0, sMajor_ = 1, sMinor_ = 1, n_ = 0, aMinor_ = 0;
};

// The ellipse filling a box of w x h pixels, row j counted from the top of the box. Pixel
// centres inside the inscribed ellipse, with every row at least its middle pixel(s) and the
// middle row(s) full width, so the shape touches all four sides of the box. Rows and columns
// are symmetric by construction.
class EllipseRows {
 public:
  EllipseRows(i64 w, i64 h) : w_(w), h_(h) {}

  i64 left(i64 j) const {  // first column of row j (0 <= j < h); the last is w - 1 - left
    i64 jj = std::min(j, h_ - 1 - j);
    if (jj >= (h_ - 1) / 2) return 0;
    double a = w_ / 2.0, b = h_ / 2.0;
    double v = (jj + 0.5 - b) / b;
    double hw = a * std::sqrt(std::max(0.0, 1.0 - v * v));
    double l = std::ceil(a - hw - 0.5 - 1e-9);
    return std::clamp<i64>(static_cast<i64>(l), 0, (w_ - 1) / 2);
  }

  // First column of row j's inside (pixels whose four neighbours are all in the ellipse);
  // the inside is empty when the result exceeds w - 1 - result.
  i64 insideLeft(i64 j) const {
    if (j <= 0 || j >= h_ - 1) return w_;
    return std::max({left(j) + 1, left(j - 1), left(j + 1)});
  }

  i64 width() const { return w_; }

 private:
  i64 w_, h_;
};

// The outline spans of ellipse row j (relative columns): one span, or a left and a right one.
int OutlineSpans(const EllipseRows& e, i64 j, Span out[2]) {
  i64 l = e.left(j), r = e.width() - 1 - l;
  i64 il = e.insideLeft(j), ir = e.width() - 1 - il;
  if (il > ir) {
    out[0] = {l, r};
    return 1;
  }
  out[0] = {l, il - 1};
  out[1] = {ir + 1, r};
  return 2;
}

// Merges spans in place into sorted disjoint spans (touching ones joined).
void MergeSpans(std::vector<Span>& spans) {
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.x0 < b.x0; });
  size_t k = 0;
  for (const Span& s : spans) {
    if (k > 0 && s.x0 <= spans[k - 1].x1 + 1) {
      spans[k - 1].x1 = std::max(spans[k - 1].x1, s.x1);
    } else {
      spans[k++] = s;
    }
  }
  spans.resize(k);
}

void NormalizeBox(i64& x1, i64& y1, i64& x2, i64& y2) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
}

}  // namespace

void Canvas::plot(int x, int y, Color c) { Painter(bmp_, pen.mode).pixel(x, y, c); }

void Canvas::moveTo(int x, int y) {
  penX_ = x;
  penY_ = y;
  dotPhase_ = 0;
}

void Canvas::lineTo(int x, int y) {
  LineWalk line(penX_, penY_, x, y);
  const i64 n = line.count();
  const i64 width = PenWidth(pen);
  const Footprint fp(width);
  const i64 w = bmp_.width(), h = bmp_.height();
  i64 first = 0, last = -1;
  if (width == 1) {
    if (!bmp_.empty() && line.clip(0, 0, w - 1, h - 1, first, last)) {
      const bool dotted = Dotted(pen);
      const i64 phase = dotPhase_;
      line.walk(first, last, [&](i64 i, i64 px, i64 py) {
        if (!dotted || DotOn(phase + i)) plot(static_cast<int>(px), static_cast<int>(py), pen.color);
      });
    }
  } else if (!bmp_.empty() && line.clip(-fp.hi, -fp.hi, w - 1 - fp.lo, h - 1 - fp.lo, first, last)) {
    // A wide line covers, in each row, one run of columns: mark its ends per row, then
    // paint every covered pixel once.
    const i64 yTop = std::max<i64>(0, std::min<i64>(penY_, y) + fp.lo);
    const i64 yBottom = std::min<i64>(h - 1, std::max<i64>(penY_, y) + fp.hi);
    if (yTop <= yBottom) {
      std::vector<Span> rows(static_cast<size_t>(yBottom - yTop + 1), Span{INT64_MAX, INT64_MIN});
      line.walk(first, last, [&](i64, i64 px, i64 py) {
        for (i64 ry = std::max(py + fp.lo, yTop); ry <= std::min(py + fp.hi, yBottom); ++ry) {
          Span& s = rows[static_cast<size_t>(ry - yTop)];
          s.x0 = std::min(s.x0, px + fp.lo);
          s.x1 = std::max(s.x1, px + fp.hi);
        }
      });
      Painter paint(bmp_, pen.mode);
      for (i64 ry = yTop; ry <= yBottom; ++ry) {
        const Span& s = rows[static_cast<size_t>(ry - yTop)];
        if (s.x0 <= s.x1) paint.span(ry, s.x0, s.x1, pen.color);
      }
    }
  }
  dotPhase_ = static_cast<int>((dotPhase_ + n) % kDotPeriod);
  penX_ = x;
  penY_ = y;
}

void Canvas::rectangle(int left, int top, int right, int bottom) {
  i64 x1 = left, y1 = top, x2 = right, y2 = bottom;
  NormalizeBox(x1, y1, x2, y2);
  if (x1 == x2 || y1 == y2 || bmp_.empty()) return;
  const i64 xr = x2 - 1, yb = y2 - 1;  // the outline's right column and bottom row
  const bool fillInside = brush.style != BrushStyle::Clear;
  Painter paint(bmp_, pen.mode);
  const i64 w = bmp_.width(), h = bmp_.height();

  if (Dotted(pen)) {
    if (fillInside) {
      for (i64 y = std::max<i64>(y1 + 1, 0); y <= std::min<i64>(yb - 1, h - 1); ++y)
        paint.span(y, x1 + 1, xr - 1, brush.color);
    }
    // The pattern runs clockwise from the top-left corner; each outline pixel once.
    const i64 bw = xr - x1, bh = yb - y1;
    const i64 cx0 = std::max<i64>(x1, 0), cx1 = std::min<i64>(xr, w - 1);
    const i64 cy0 = std::max<i64>(y1 + 1, 0), cy1 = std::min<i64>(yb, h - 1);
    for (i64 x = cx0; x <= cx1; ++x)
      if (DotOn(x - x1)) paint.pixel(x, y1, pen.color);
    if (xr < w)
      for (i64 y = cy0; y <= cy1; ++y)
        if (DotOn(bw + (y - y1))) paint.pixel(xr, y, pen.color);
    if (yb > y1)
      for (i64 x = cx0; x <= std::min(cx1, xr - 1); ++x)
        if (DotOn(bw + bh + (xr - x))) paint.pixel(x, yb, pen.color);
    if (xr > x1 && x1 >= 0)
      for (i64 y = cy0; y <= std::min(cy1, yb - 1); ++y)
        if (DotOn(2 * bw + bh + (yb - y))) paint.pixel(x1, y, pen.color);
    return;
  }

  const Footprint fp(PenWidth(pen));
  for (i64 y = std::max<i64>(y1 + fp.lo, 0); y <= std::min<i64>(yb + fp.hi, h - 1); ++y) {
    if (y <= y1 + fp.hi || y >= yb + fp.lo) {
      paint.span(y, x1 + fp.lo, xr + fp.hi, pen.color);
      continue;
    }
    const Span leftSide{x1 + fp.lo, x1 + fp.hi}, rightSide{xr + fp.lo, xr + fp.hi};
    if (rightSide.x0 <= leftSide.x1 + 1) {
      paint.span(y, leftSide.x0, rightSide.x1, pen.color);
      continue;
    }
    paint.span(y, leftSide.x0, leftSide.x1, pen.color);
    if (fillInside) paint.span(y, leftSide.x1 + 1, rightSide.x0 - 1, brush.color);
    paint.span(y, rightSide.x0, rightSide.x1, pen.color);
  }
}

void Canvas::ellipse(int left, int top, int right, int bottom) {
  i64 x1 = left, y1 = top, x2 = right, y2 = bottom;
  NormalizeBox(x1, y1, x2, y2);
  if (x1 == x2 || y1 == y2 || bmp_.empty()) return;
  const EllipseRows e(x2 - x1, y2 - y1);
  const bool fillInside = brush.style != BrushStyle::Clear;
  Painter paint(bmp_, pen.mode);
  const i64 w = bmp_.width(), h = bmp_.height();

  if (Dotted(pen)) {
    const i64 ry0 = std::max<i64>(y1, 0), ry1 = std::min<i64>(y2 - 1, h - 1);
    struct Dot {
      double angle;
      i64 x, y;
    };
    std::vector<Dot> outline;
    const double a = (x2 - x1) / 2.0, b = (y2 - y1) / 2.0;
    for (i64 y = ry0; y <= ry1; ++y) {
      const i64 j = y - y1;
      if (fillInside) {
        i64 il = e.insideLeft(j);
        paint.span(y, x1 + il, x1 + e.width() - 1 - il, brush.color);
      }
      Span spans[2];
      int count = OutlineSpans(e, j, spans);
      for (int k = 0; k < count; ++k) {
        for (i64 x = std::max<i64>(x1 + spans[k].x0, 0); x <= std::min<i64>(x1 + spans[k].x1, w - 1); ++x) {
          double u = (x - x1 + 0.5 - a) / a, v = -(j + 0.5 - b) / b;
          double angle = std::atan2(v, u);
          if (angle < 0) angle += 2 * std::numbers::pi;
          outline.push_back({angle, x, y});
        }
      }
    }
    // The pattern runs counter-clockwise from the rightmost point.
    std::sort(outline.begin(), outline.end(), [](const Dot& p, const Dot& q) {
      if (p.angle != q.angle) return p.angle < q.angle;
      return p.y != q.y ? p.y < q.y : p.x < q.x;
    });
    for (size_t k = 0; k < outline.size(); ++k)
      if (DotOn(static_cast<i64>(k))) paint.pixel(outline[k].x, outline[k].y, pen.color);
    return;
  }

  // Each picture row: the pen covers the outline spans of the rows within its footprint,
  // widened by it; the brush fills the row's inside where the pen does not reach.
  const Footprint fp(PenWidth(pen));
  std::vector<Span> pens, pieces;
  for (i64 y = std::max<i64>(y1 + fp.lo, 0); y <= std::min<i64>(y2 - 1 + fp.hi, h - 1); ++y) {
    pens.clear();
    for (i64 ys = std::max(y - fp.hi, y1); ys <= std::min(y - fp.lo, y2 - 1); ++ys) {
      Span spans[2];
      int count = OutlineSpans(e, ys - y1, spans);
      for (int k = 0; k < count; ++k) pens.push_back({x1 + spans[k].x0 + fp.lo, x1 + spans[k].x1 + fp.hi});
    }
    MergeSpans(pens);
    if (fillInside && y > y1 && y < y2 - 1) {
      const i64 il = e.insideLeft(y - y1);
      i64 from = x1 + il;
      const i64 to = x1 + e.width() - 1 - il;
      for (const Span& p : pens) {  // the inside minus the pen's spans
        if (p.x0 > from) paint.span(y, from, std::min(to, p.x0 - 1), brush.color);
        from = std::max(from, p.x1 + 1);
        if (from > to) break;
      }
      if (from <= to) paint.span(y, from, to, brush.color);
    }
    for (const Span& p : pens) paint.span(y, p.x0, p.x1, pen.color);
  }
}

void Canvas::fillRect(const Rect& r) {
  if (brush.style == BrushStyle::Clear) return;
  Painter paint(bmp_, PenMode::Copy);
  for (i64 y = std::max(r.top, 0); y < std::min(r.bottom, bmp_.height()); ++y)
    paint.span(y, r.left, static_cast<i64>(r.right) - 1, brush.color);
}

void Canvas::setPixel(int x, int y, Color c) {
  if (bmp_.contains(x, y)) bmp_.setPixel(x, y, c);
}

Color Canvas::pixel(int x, int y) const {
  return bmp_.contains(x, y) ? bmp_.pixel(x, y) : colors::Black;
}

void Canvas::textOut(int x, int y, const std::string& text) {
  const std::vector<uint32_t> codes = BitmapFont::Codes(text);
  const bool opaque = brush.style != BrushStyle::Clear;
  Painter paint(bmp_, pen.mode);
  const i64 w = bmp_.width(), h = bmp_.height();
  const i64 cw = BitmapFont::CellWidth;
  for (size_t k = 0; k < codes.size(); ++k) {
    const i64 cellX = x + static_cast<i64>(k) * cw;
    if (cellX >= w) break;
    if (cellX + cw <= 0) continue;
    for (int row = 0; row < BitmapFont::CellHeight; ++row) {
      const i64 py = static_cast<i64>(y) + row;
      if (py < 0 || py >= h) continue;
      const uint8_t bits = BitmapFont::RowBits(codes[k], row);
      for (int col = 0; col < cw; ++col) {
        if (bits & (1u << (cw - 1 - col))) {
          paint.pixel(cellX + col, py, fontColor);
        } else if (opaque) {
          paint.pixel(cellX + col, py, brush.color);
        }
      }
    }
  }
}

int Canvas::textWidth(const std::string& text) {
  return static_cast<int>(BitmapFont::Codes(text).size()) * BitmapFont::CellWidth;
}

int Canvas::textHeight() { return BitmapFont::CellHeight; }

namespace {

// Which source index each destination index reads (nearest pixel centre), or -1 when it
// falls outside the source. dstFrom..dstTo are the visible destination indices.
std::vector<int> NearestMap(i64 dstStart, i64 dstLen, i64 srcStart, i64 srcLen, bool mirror,
                            i64 dstFrom, i64 dstTo, i64 srcLimit) {
  std::vector<int> map;
  map.reserve(static_cast<size_t>(std::max<i64>(0, dstTo - dstFrom + 1)));
  for (i64 d = dstFrom; d <= dstTo; ++d) {
    i64 t = d - dstStart;
    i64 s = static_cast<i64>((static_cast<i128>(2 * t + 1) * srcLen) / (2 * dstLen));
    if (mirror) s = srcLen - 1 - s;
    s += srcStart;
    map.push_back(s >= 0 && s < srcLimit ? static_cast<int>(s) : -1);
  }
  return map;
}

void CopyStretched(Bitmap24& dst, i64 dl, i64 dt, i64 dr, i64 db, const Bitmap24& src, i64 sl,
                   i64 st, i64 sr, i64 sb) {
  // Extents with opposite signs mirror the picture, as a classic stretch-blit does.
  const bool mirrorX = (dr < dl) != (sr < sl), mirrorY = (db < dt) != (sb < st);
  NormalizeBox(dl, dt, dr, db);
  NormalizeBox(sl, st, sr, sb);
  const i64 dw = dr - dl, dh = db - dt, sw = sr - sl, sh = sb - st;
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0 || dst.empty() || src.empty()) return;
  const i64 x0 = std::max<i64>(dl, 0), x1 = std::min<i64>(dr, dst.width()) - 1;
  const i64 y0 = std::max<i64>(dt, 0), y1 = std::min<i64>(db, dst.height()) - 1;
  if (x0 > x1 || y0 > y1) return;
  const std::vector<int> rows = NearestMap(dt, dh, st, sh, mirrorY, y0, y1, src.height());

  if (dw == sw && !mirrorX) {  // same width: straight row copies of the overlapping columns
    const i64 cx0 = std::max(x0, dl - sl), cx1 = std::min(x1, dl - sl + src.width() - 1);
    if (cx0 > cx1) return;
    for (i64 y = y0; y <= y1; ++y) {
      int sy = rows[static_cast<size_t>(y - y0)];
      if (sy < 0) continue;
      std::memmove(dst.row(static_cast<int>(y)) + cx0 * 3, src.row(sy) + (cx0 - dl + sl) * 3,
                   static_cast<size_t>(cx1 - cx0 + 1) * 3);
    }
    return;
  }
  const std::vector<int> cols = NearestMap(dl, dw, sl, sw, mirrorX, x0, x1, src.width());
  for (i64 y = y0; y <= y1; ++y) {
    int sy = rows[static_cast<size_t>(y - y0)];
    if (sy < 0) continue;
    const uint8_t* s = src.row(sy);
    uint8_t* d = dst.row(static_cast<int>(y)) + x0 * 3;
    for (size_t k = 0; k < cols.size(); ++k, d += 3) {
      if (cols[k] < 0) continue;
      const uint8_t* p = s + static_cast<size_t>(cols[k]) * 3;
      d[0] = p[0];
      d[1] = p[1];
      d[2] = p[2];
    }
  }
}

}  // namespace

void Canvas::copyRect(const Rect& dst, const Bitmap24& src, const Rect& srcRect) {
  if (&src == &bmp_) {  // copying within one picture: read from a snapshot
    Bitmap24 copy(src);
    CopyStretched(bmp_, dst.left, dst.top, dst.right, dst.bottom, copy, srcRect.left, srcRect.top,
                  srcRect.right, srcRect.bottom);
    return;
  }
  CopyStretched(bmp_, dst.left, dst.top, dst.right, dst.bottom, src, srcRect.left, srcRect.top,
                srcRect.right, srcRect.bottom);
}

void Canvas::stretchDraw(const Rect& dst, const Bitmap24& src) {
  copyRect(dst, src, Rect{0, 0, src.width(), src.height()});
}

void Canvas::draw(int x, int y, const Bitmap24& src) {
  const Bitmap24* from = &src;
  Bitmap24 copy;
  if (&src == &bmp_) {
    copy = src;
    from = &copy;
  }
  CopyStretched(bmp_, x, y, static_cast<i64>(x) + src.width(), static_cast<i64>(y) + src.height(), *from,
                0, 0, src.width(), src.height());
}

}  // namespace ui
