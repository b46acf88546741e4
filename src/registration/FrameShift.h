#pragma once
// A frame's shift from its registration, without a form: where the box is searched (the whole
// frame's displacement, or the tracking offset), and the integer and fine shifts from the
// correlation peak, a click by hand, or the whole frame's displacement.
#include <optional>

#include "registration/CoarseAlignment.h"
#include "registration/RegistrationMath.h"

namespace registration {

struct SearchOffset {
  int x = 0, y = 0;
  bool used = false;  // the stored shift includes the offset
};
struct Tracking {
  int x = 0, y = 0;    // the last frame's total displacement
  int vx = 0, vy = 0;  // its change per frame
};
// The whole frame's displacement (rounded) when the frame was aligned on it; else, when
// tracking, the tracking offset (moved on by its velocity when predicting); else none.
SearchOffset ChooseSearchOffset(const std::optional<CoarseShift>& whole, bool track, bool predict, const Tracking& t);

struct FrameShift {
  int dx = 0, dy = 0;            // the feature's displacement within the searched box
  int storedX = 0, storedY = 0;  // the shift stored: dx plus the search offset when one was used
  bool hasFine = false;
  float fineX = 0, fineY = 0;    // with the sub-pixel part (and the search offset)
};
// From the peak (px, py) of an n x n correlation surface, or the point clicked by hand
// (`manual`). With the whole frame's displacement that displacement is the shift, the box
// only watches for a lost alignment. `vertex` is the parabola vertex's offset from the peak,
// read only with `subPixel` when neither `manual` nor `whole` applies.
FrameShift ShiftFromPeak(int px, int py, int n, bool manual, const std::optional<CoarseShift>& whole,
                         const SearchOffset& offset, bool subPixel, const SubPixel& vertex);

}  // namespace registration
