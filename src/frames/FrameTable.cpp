#include "frames/FrameTable.h"

namespace frames {

void FrameTable::Reset() {
  frames.fill(FrameRecord{});
  ranks.fill(RankEntry{});
}

int FrameTable::CountSelected(int count) const {
  int n = 0;
  for (int i = 0; i < count && i < MaxFrames; ++i)
    if (frames[i].Excluded == 0) ++n;
  return n;
}

}  // namespace frames
