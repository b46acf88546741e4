#include "frames/Single2dArray.h"

#include <algorithm>

namespace frames {

void Single2dArray::Fill(float v, int cols, int rows) {
  cols = std::clamp(cols, 0, stride_);
  rows = std::clamp(rows, 0, rows_);
  for (int r = 0; r < rows; ++r) std::fill_n(Row(r), cols, v);
}

}  // namespace frames
