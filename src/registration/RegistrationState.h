#pragma once
// Registration state kept for the whole run (saved in the project file).
#include <cstdint>

namespace registration {

enum WorkStatusValue : uint8_t { wsInputChosen = 0, wsFeatureSet = 1, wsAligned = 2, wsOptimized = 3, wsStacked = 4 };

struct RegistrationState {
  int32_t HotX = 0, HotY = 0;  // feature point ("hotx", "hoty")
  int32_t BoxX = 0, BoxY = 0;  // top-left corner of the reference box
  int32_t RefFrame = 0;        // reference frame ("refframe")
  uint8_t WorkStatus = 0;      // ("progstatus")
  float FilterRadius2 = 0;
  int32_t TrackX = 0, TrackY = 0, TrackVX = 0, TrackVY = 0;
  double LastPeak = 0;
  float ResampleFactor = 2.0f;
  float BestQuality = 0;       // best quality so far and its frame number
  int32_t BestQualityFrame = 0;
};

}  // namespace registration
