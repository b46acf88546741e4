#pragma once
// Colours of visible light, used to paint spectra and correlation surfaces.
#include "ui/Bitmap24.h"

namespace registration {

// Colour of the wavelength nm (only its integer part counts): violet at 380 through blue,
// cyan, green, yellow to red at 780; black outside 380 … 780.
ui::Color WavelengthToRGB(double nm);

// Byte level of a colour component: rnd(255 * (weight * value)^0.8) for value > 0, else 0;
// limited to 0 … 255.
int SpectralLevel(double weight, double value);

}  // namespace registration
