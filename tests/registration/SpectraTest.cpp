#include <gtest/gtest.h>

#include <limits>

#include "registration/SpectraLib.h"

using registration::SpectralLevel;
using registration::WavelengthToRGB;
using ui::Color;

// Expected levels computed by hand: rnd(255 c^0.8).
TEST(Spectra, WavelengthToRGB_BandBoundaries) {
  EXPECT_EQ(WavelengthToRGB(380), Color(255, 0, 255));  // red (440-380)/60 = 1
  EXPECT_EQ(WavelengthToRGB(439), Color(10, 0, 255));   // red 1/60 -> 9.64
  EXPECT_EQ(WavelengthToRGB(440), Color(0, 0, 255));
  EXPECT_EQ(WavelengthToRGB(489), Color(0, 251, 255));  // green 0.98 -> 250.91
  EXPECT_EQ(WavelengthToRGB(490), Color(0, 255, 255));  // blue 20/20
  EXPECT_EQ(WavelengthToRGB(509), Color(0, 255, 23));   // blue 1/20 -> 23.21
  EXPECT_EQ(WavelengthToRGB(510), Color(0, 255, 0));
  EXPECT_EQ(WavelengthToRGB(579), Color(252, 255, 0));  // red 69/70 -> 252.08
  EXPECT_EQ(WavelengthToRGB(580), Color(255, 255, 0));  // green 65/65
  EXPECT_EQ(WavelengthToRGB(644), Color(255, 9, 0));    // green 1/65 -> 9.04
  EXPECT_EQ(WavelengthToRGB(645), Color(255, 0, 0));
  EXPECT_EQ(WavelengthToRGB(780), Color(255, 0, 0));
  EXPECT_EQ(WavelengthToRGB(781), Color(0, 0, 0));
  EXPECT_EQ(WavelengthToRGB(379), Color(0, 0, 0));
}

TEST(Spectra, WavelengthToRGB_UsesIntegerPartOnly) {
  EXPECT_EQ(WavelengthToRGB(439.99), WavelengthToRGB(439));
  EXPECT_EQ(WavelengthToRGB(780.9), Color(255, 0, 0));
  EXPECT_EQ(WavelengthToRGB(379.9), Color(0, 0, 0));
  EXPECT_EQ(WavelengthToRGB(std::numeric_limits<double>::quiet_NaN()), Color(0, 0, 0));
  EXPECT_EQ(WavelengthToRGB(1e300), Color(0, 0, 0));
}

TEST(Spectra, SpectralLevel_PowerOfWeightedValue) {
  EXPECT_EQ(SpectralLevel(1, 1), 255);
  EXPECT_EQ(SpectralLevel(0.5, 1), 146);  // 255 * 0.5^0.8 = 146.46
  EXPECT_EQ(SpectralLevel(1, 0), 0);
  EXPECT_EQ(SpectralLevel(1, -0.5), 0);
  EXPECT_EQ(SpectralLevel(-1, 0.5), 0);   // no colour from a negative weight
  EXPECT_EQ(SpectralLevel(4, 1), 255);    // limited to a byte
}
