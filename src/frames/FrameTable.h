#pragma once
// The state kept about the current input: one fixed slot per frame number with its shifts,
// quality figures and use flags, the rank list, and the still frames' file names.
#include <array>
#include <cstdint>
#include <string>

namespace frames {

constexpr int MaxFrames = 5001;     // frame numbers 0..5000
constexpr int MaxImageSide = 4096;  // largest width or height the pipeline works on

struct FrameRecord {
  int32_t ShiftX = 0;       // feature position in this frame minus in the reference ("X")
  int32_t ShiftY = 0;       // ("Y")
  int32_t ShiftXa = 0;      // first interlace field ("Xa")
  int32_t ShiftYa = 0;      // ("Ya")
  float FineShiftX = 0;     // shift with the sub-pixel part (registration)
  float FineShiftY = 0;
  float Quality = 0;        // ("Q")
  float Difference = 0;     // lower is better ("D")
  float QualityA = 0;       // first interlace field ("Qa")
  float DifferenceA = 0;    // ("Da")
  float BoxContrast = 0;    // (max - min luminance in the box) / 255
  float OptimizeGain = 100; // percent the last optimizer pass lowered Difference
  uint8_t Excluded = 0;     // 1 = not used ("Ex")
  uint8_t Dropped = 0;      // 1 = the video has no data for this sample (always excluded)
};

struct RankEntry {
  int32_t FrameIndex = 0;  // frame number of the k-th best frame ("Rank")
  float RankQuality = 0;   // sort key, descending
  float StackQuality = 0;  // quality of the running stack after this frame was added
};

class FrameTable {
 public:
  std::array<FrameRecord, MaxFrames> frames;
  std::array<RankEntry, MaxFrames> ranks;
  std::array<std::string, MaxFrames> fileNames;

  FrameRecord& operator[](int i) { return frames[i]; }
  const FrameRecord& operator[](int i) const { return frames[i]; }

  // Start values in every slot (start-up and a new input): OptimizeGain 100, all else 0;
  // every rank entry cleared.
  void Reset();
  // Frames 0..count-1 with Excluded = 0.
  int CountSelected(int count) const;
};

}  // namespace frames
