// The per-frame cores of registration without a form: correlation of a box against a
// reference spectrum, and the registration difference in its plain, absolute and relative
// forms against values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "registration/BoxRegistration.h"

namespace registration {
namespace {

// A grey picture of smooth random texture (bytes equal in B, G, R).
ui::Bitmap24 Texture(int w, int h, int dx, int dy, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 6.283);
  double ph[8], fx[8], fy[8];
  for (int k = 0; k < 8; ++k) {
    ph[k] = u(rng);
    fx[k] = 0.02 + 0.01 * k;
    fy[k] = 0.05 - 0.005 * k;
  }
  ui::Bitmap24 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double v = 120;
      for (int k = 0; k < 8; ++k) v += 12 * std::sin(6.283 * (fx[k] * (x - dx) + fy[k] * (y - dy)) + ph[k]);
      const auto byte = static_cast<uint8_t>(std::lround(v));
      uint8_t* p = b.row(y) + x * 3;
      p[0] = p[1] = p[2] = byte;
    }
  return b;
}

class BoxCores : public ::testing::Test {
 protected:
  void SetUp() override { e.FFTSetup(64); }
  // The reference spectrum of the box at (bx, by) of `pic`, as the reference feature makes it.
  void Reference(const ui::Bitmap24& pic, int bx, int by, const CorrelationOptions& o) {
    ExtractBox(pic, pic.width(), pic.height(), bx, by, 64, w, box);
    e.ClearCorner(e.FFTIm);
    TaperedMeanFree(box, HannWindow(64), 64, e.FFTRe);
    e.FFT2DForward();
    if (o.filter) ApplyAlignmentFilter(e.FFTRe, e.FFTIm, 64, o.filterRadius2);
    CopyCorner(refRe, e.FFTRe, 64);
    CopyCorner(refIm, e.FFTIm, 64);
  }
  FftEngine e;
  FftPlane box, refRe, refIm, frameRe, frameIm;
  LuminanceWeights w;
  std::vector<float> scratch;
};

TEST_F(BoxCores, CorrelationFindsTheContentsDisplacementWithEveryFormula) {
  const ui::Bitmap24 ref = Texture(200, 160, 0, 0, 5), moved = Texture(200, 160, 3, -2, 5);
  for (bool normalize : {false, true})
    for (bool phase : {false, true}) {
      CorrelationOptions o;
      o.normalize = normalize;
      o.phase = phase;
      Reference(ref, 68, 48, o);
      ExtractBox(moved, 200, 160, 68, 48, 64, w, box);
      const Peak p = CorrelateBox(e, box, HannWindow(64), refRe, refIm, o, frameRe, frameIm);
      // The surface peaks at minus the displacement.
      EXPECT_EQ(-PeakToShift(p.x, 64), 3) << normalize << phase;
      EXPECT_EQ(-PeakToShift(p.y, 64), -2) << normalize << phase;
    }
}

TEST_F(BoxCores, BoxStatisticsCountOnlyPixelsInsideThePicture) {
  ui::Bitmap24 pic(10, 10);
  pic.fill(ui::Color{100, 100, 100});
  pic.row(2)[2 * 3 + 1] = 200;  // green 200 at (2, 2): luminance 0.299*100 + 0.587*200 + 0.114*100
  const BoxStats s = ExtractBox(pic, 10, 10, -60, -60, 64, w, box);  // only the picture's 4 x 4 corner
  EXPECT_NEAR(s.sum, 15 * 100.0 + (29.9 + 117.4 + 11.4), 1e-3);
  EXPECT_NEAR(s.largest, 158.7, 1e-3);
  EXPECT_NEAR(s.smallest, 100, 1e-3);
  EXPECT_EQ(box.at(0, 0), 0);  // outside the picture
  EXPECT_NEAR(box.at(62, 62), 158.7, 1e-3);
}

// A 64 x 64 difference box on flat pictures: frame level a, reference level b, and one frame
// pixel raised by c. Means are over the whole n^2 box.
TEST_F(BoxCores, DifferenceInItsThreeFormsByHand) {
  ui::Bitmap24 frame(100, 100), reference(100, 100);
  frame.fill(ui::Color{50, 50, 50});
  reference.fill(ui::Color{80, 80, 80});
  frame.row(40)[40 * 3] = frame.row(40)[40 * 3 + 1] = frame.row(40)[40 * 3 + 2] = 114;  // +64
  float meanF = 0;
  DifferenceOptions o;
  const double squared =
      RegistrationDifference(e, frame, 100, 100, reference, 100, 100, 50, 50, 0, 0, w, o, meanF, scratch);
  const double m = 64.0 / 4096;  // the raised pixel's share of the frame mean
  EXPECT_NEAR(meanF, 50 + m, 1e-3);
  // Mean-free, the reference is 0 everywhere; the frame -m, and 64 - m at the one pixel.
  EXPECT_NEAR(squared, 4095 * m * m + (64 - m) * (64 - m), 1e-2);
  o.noSquare = true;
  const double absolute =
      RegistrationDifference(e, frame, 100, 100, reference, 100, 100, 50, 50, 0, 0, w, o, meanF, scratch);
  EXPECT_NEAR(absolute, 4095 * m + (64 - m), 1e-2);
  o.noSquare = false;
  o.relative = true;
  const double relative =
      RegistrationDifference(e, frame, 100, 100, reference, 100, 100, 50, 50, 0, 0, w, o, meanF, scratch);
  // d / (frame value + 0.01) with the mean-free frame value.
  const double a = -m / (-m + 0.01), b = (64 - m) / (64 - m + 0.01);
  EXPECT_NEAR(relative, 4095 * a * a + b * b, 0.05 * (4095 * a * a + b * b));
  // The frame box, mean-free, is left for its spectrum.
  EXPECT_NEAR(e.FFTRe.at(32 - 10, 32 - 10), 64 - m, 1e-3);
  EXPECT_EQ(e.FFTIm.at(5, 5), 0);
}

}  // namespace
}  // namespace registration
