#include "registration/FrameShift.h"

#include "base/Numbers.h"

namespace registration {

SearchOffset ChooseSearchOffset(const std::optional<CoarseShift>& whole, bool track, bool predict, const Tracking& t) {
  SearchOffset o;
  if (whole) {
    o.x = px::Round(whole->x);
    o.y = px::Round(whole->y);
    o.used = true;
  } else if (track) {
    o.used = true;
    o.x = t.x;
    o.y = t.y;
    if (predict) {
      o.x += t.vx;
      o.y += t.vy;
    }
  }
  return o;
}

FrameShift ShiftFromPeak(int px, int py, int n, bool manual, const std::optional<CoarseShift>& whole,
                         const SearchOffset& offset, bool subPixel, const SubPixel& vertex) {
  // The integer shift s; the feature moved by -s.
  const int h = n / 2;
  int sx, sy;
  if (manual) {
    sx = h - px;
    sy = h - py;
  } else if (whole) {
    sx = sy = 0;
  } else {
    sx = PeakToShift(px, n);
    sy = PeakToShift(py, n);
  }
  FrameShift s;
  s.dx = -sx;
  s.dy = -sy;
  s.storedX = offset.used ? s.dx + offset.x : s.dx;
  s.storedY = offset.used ? s.dy + offset.y : s.dy;

  // The surface peaks at tau = -(feature displacement), so the sub-pixel vertex offset (t) of
  // the peak index adds to s and subtracts from the displacement: fine = dx - t (+ the search
  // offset, like the stored integer shift). The whole-frame alignment measures the fraction
  // anyway: its fine shift is kept too.
  if (subPixel || whole) {
    double tx = 0, ty = 0;
    if (whole && !manual) {
      tx = offset.x - whole->x;
      ty = offset.y - whole->y;
    } else if (!manual) {
      tx = vertex.fx;
      ty = vertex.fy;
    }
    const int tox = offset.used ? offset.x : 0, toy = offset.used ? offset.y : 0;
    s.hasFine = true;
    s.fineX = static_cast<float>(s.dx + tox - tx);
    s.fineY = static_cast<float>(s.dy + toy - ty);
  }
  return s;
}

}  // namespace registration
