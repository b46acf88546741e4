#include "registration/SpectraLib.h"

#include <cmath>

#include "base/Numbers.h"

namespace registration {

int SpectralLevel(double weight, double value) {
  if (!(value > 0)) return 0;
  const double level = 255.0 * std::pow(weight * value, 0.8);
  if (!(level > 0)) return 0;  // also a negative weight (NaN power)
  if (level >= 255) return 255;
  return px::Round(level);
}

ui::Color WavelengthToRGB(double nm) {
  if (!(nm >= 380 && nm < 781)) return ui::Color(0, 0, 0);
  const int w = static_cast<int>(nm);  // integer part
  double r = 0, g = 0, b = 0;
  if (w < 440) {
    r = (440 - w) / 60.0;
    b = 1;
  } else if (w < 490) {
    g = (w - 440) / 50.0;
    b = 1;
  } else if (w < 510) {
    g = 1;
    b = (510 - w) / 20.0;
  } else if (w < 580) {
    r = (w - 510) / 70.0;
    g = 1;
  } else if (w < 645) {
    r = 1;
    g = (645 - w) / 65.0;
  } else {
    r = 1;
  }
  return ui::Color(static_cast<uint8_t>(SpectralLevel(1, r)), static_cast<uint8_t>(SpectralLevel(1, g)),
                   static_cast<uint8_t>(SpectralLevel(1, b)));
}

}  // namespace registration
