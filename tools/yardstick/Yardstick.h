#pragma once
// The naive yardstick: a deliberately plain lucky-imaging pipeline to compare the program
// with. Frames become luminance planes; a Hann-windowed box around a point ranks them by
// the power of their mid frequencies above the noise, phase correlation registers them
// against the best one, and the best fraction is stacked after sub-pixel Fourier shifts.
#include <string>
#include <vector>

#include "base/Json.h"

namespace yardstick {

struct Plane {
  int width = 0, height = 0;
  std::vector<float> v;
  float at(int x, int y) const { return v[static_cast<size_t>(y) * width + x]; }
};

struct Shift {
  double dx = 0, dy = 0;
};

// A square box of `size` pixels (a power of two) centred near (x, y); kept inside the frame.
struct Box {
  int x = 0, y = 0, size = 128;
};

// Every frame of a video with data, as luminance (0.299 R + 0.587 G + 0.114 B); `indices`
// gets their frame numbers.
std::vector<Plane> ReadVideo(const std::string& path, std::vector<int>& indices);

// The window's mid-frequency power (0.03 .. 0.10 cycles per pixel) above the noise floor (the
// mean power beyond 0.4 cycles per pixel), over the squared mean brightness.
double Quality(const Plane& frame, const Box& box);
std::vector<double> Rank(const std::vector<Plane>& frames, const Box& box);

// Where the content of `frame` sits against `ref` (content at p in ref is at p + shift):
// phase correlation of the box, then again with the frame's box moved by the whole-pixel
// estimate, with a parabola through the peak.
Shift PhaseCorrelate(const Plane& ref, const Plane& frame, const Box& box);
std::vector<Shift> Register(const std::vector<Plane>& frames, int reference, const Box& box);

// The plane with its content moved by (dx, dy), by a phase ramp over a mirrored extension.
Plane FourierShift(const Plane& p, double dx, double dy);
// The mean of the chosen frames, each moved back by its shift.
Plane Stack(const std::vector<Plane>& frames, const std::vector<Shift>& shifts, const std::vector<int>& chosen);

double Spearman(const std::vector<double>& a, const std::vector<double>& b);

struct Result {
  std::vector<int> frames;        // frame numbers with data
  std::vector<double> quality;    // per frame (same order)
  int reference = 0;              // position of the best frame
  std::vector<Shift> shifts;      // against the reference
  std::vector<int> chosen;        // positions stacked
  double spearman = 0;            // quality against the truth's strehl (or sharpness)
  double shiftRms = 0;            // shift error against the truth, mean offset removed (pixels)
  double shiftRmsBest = 0;        // the same over the stacked frames
  Plane stack;
};

struct Settings {
  int x = -1, y = -1;  // default: the frame's centre
  int box = 128;
  double best = 0.2;
};

// The whole pipeline over a capture and its truth file.
Result Measure(const std::vector<Plane>& frames, const std::vector<int>& indices, const px::Json& truth, const Settings& s);

}  // namespace yardstick
