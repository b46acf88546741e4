// The sample generator: its truth file describes the frames it writes. Shifts are measured
// back from the pictures with an independent estimator (Lucas-Kanade on the luminance).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "base/Files.h"
#include "base/Json.h"
#include "frames/VideoSource.h"
#include "support/TestSupport.h"
#include "ui/Bitmap24.h"

namespace {

struct Plane {
  int w = 0, h = 0;
  std::vector<double> v;
  double at(int x, int y) const { return v[static_cast<size_t>(y) * w + x]; }
  double sample(double x, double y) const {  // bilinear
    int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    double fx = x - x0, fy = y - y0;
    return (at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx) * (1 - fy) + (at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx) * fy;
  }
};

// channel: 0 red, 1 green, 2 blue, -1 luminance; rowParity: -1 all rows, else only rows of that
// parity (each field as a half-height picture).
Plane Take(const ui::Bitmap24& b, int channel = -1, int rowParity = -1) {
  Plane p;
  p.w = b.width();
  for (int y = 0; y < b.height(); ++y) {
    if (rowParity >= 0 && y % 2 != rowParity) continue;
    for (int x = 0; x < b.width(); ++x) {
      ui::Color c = b.pixel(x, y);
      double v = channel == 0 ? c.r : channel == 1 ? c.g : channel == 2 ? c.b : 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
      p.v.push_back(v);
    }
    ++p.h;
  }
  return p;
}

// The (dx, dy) for which b(x + dx, y + dy) matches a(x, y) over the central part.
std::pair<double, double> EstimateShift(const Plane& a, const Plane& b, int border) {
  double dx = 0, dy = 0;
  for (int iter = 0; iter < 30; ++iter) {
    double sxx = 0, sxy = 0, syy = 0, sxe = 0, sye = 0;
    for (int y = border; y < a.h - border; ++y)
      for (int x = border; x < a.w - border; ++x) {
        double px = x + dx, py = y + dy;
        if (px < 1 || py < 1 || px > b.w - 3 || py > b.h - 3) continue;
        double gx = (b.sample(px + 0.5, py) - b.sample(px - 0.5, py));
        double gy = (b.sample(px, py + 0.5) - b.sample(px, py - 0.5));
        double e = a.at(x, y) - b.sample(px, py);
        sxx += gx * gx;
        sxy += gx * gy;
        syy += gy * gy;
        sxe += gx * e;
        sye += gy * e;
      }
    double det = sxx * syy - sxy * sxy;
    if (std::abs(det) < 1e-9) break;
    double ux = (syy * sxe - sxy * sye) / det, uy = (sxx * sye - sxy * sxe) / det;
    // Damped steps keep the estimate in the basin of a blurred picture.
    double len = std::hypot(ux, uy);
    if (len > 1) {
      ux /= len;
      uy /= len;
    }
    dx += ux;
    dy += uy;
    if (len < 1e-4) break;
  }
  return {dx, dy};
}

double GradientEnergy(const Plane& p) {
  double s = 0;
  for (int y = 1; y < p.h - 1; ++y)
    for (int x = 1; x < p.w - 1; ++x) {
      double gx = p.at(x + 1, y) - p.at(x - 1, y), gy = p.at(x, y + 1) - p.at(x, y - 1);
      s += gx * gx + gy * gy;
    }
  return s;
}

class SampleGen : public ::testing::Test {
 protected:
  std::string gen = pxtest::ToolPath("pelinoxa-samplegen");
  pxtest::TempDir dir;

  // Runs the generator; returns the parsed truth.
  px::Json Make(const std::string& out, const std::string& args) {
    std::string log;
    std::string truth = dir.file(out + ".json");
    int rc = pxtest::Run("'" + gen + "' --out '" + dir.file(out) + "' --truth '" + truth + "' " + args, &log);
    EXPECT_EQ(rc, 0) << log;
    return px::Json::parse(px::ReadFileText(truth));
  }
  std::vector<ui::Bitmap24> Frames(const std::string& out) {
    auto v = frames::OpenVideo(dir.file(out));
    std::vector<ui::Bitmap24> all(static_cast<size_t>(v->frameCount()));
    for (int i = 0; i < v->frameCount(); ++i) v->decodeFrame(i, all[static_cast<size_t>(i)]);
    return all;
  }
  static double Num(const px::Json& j, const char* key) { return j.find(key)->asNumber(); }
  static const px::Json& FrameTruth(const px::Json& t, int i) { return t.find("frame")->asArray()[static_cast<size_t>(i)]; }
};

}  // namespace

TEST_F(SampleGen, TruthShifts_AreTheContentMotionMeasuredInThePictures) {
  for (const char* scene : {"planet", "moon", "sun"}) {
    SCOPED_TRACE(scene);
    std::string name = std::string(scene) + ".avi";
    px::Json t = Make(name, std::string("--scene ") + scene + " --frames 8 --size 200x150 --noise 0 --jitter 3 "
                                                          "--blur-min 1.2 --blur-max 1.2");
    auto f = Frames(name);
    ASSERT_EQ(f.size(), 8u);
    Plane ref = Take(f[0]);
    for (int i = 1; i < 8; ++i) {
      auto [dx, dy] = EstimateShift(ref, Take(f[static_cast<size_t>(i)]), 24);
      EXPECT_NEAR(dx, Num(FrameTruth(t, i), "dx"), 0.03) << "frame " << i;
      EXPECT_NEAR(dy, Num(FrameTruth(t, i), "dy"), 0.03) << "frame " << i;
    }
  }
}

TEST_F(SampleGen, TruthSharpness_OrdersFramesByTheirDetail) {
  px::Json t = Make("s.avi", "--frames 16 --size 160x120 --noise 0 --jitter 0 --blur-min 0.5 --blur-max 3");
  auto f = Frames("s.avi");
  int sharpest = 0, softest = 0;
  for (int i = 0; i < 16; ++i) {
    if (Num(FrameTruth(t, i), "sharpness") > Num(FrameTruth(t, sharpest), "sharpness")) sharpest = i;
    if (Num(FrameTruth(t, i), "sharpness") < Num(FrameTruth(t, softest), "sharpness")) softest = i;
  }
  ASSERT_GT(Num(FrameTruth(t, softest), "sigma") - Num(FrameTruth(t, sharpest), "sigma"), 0.5);
  EXPECT_GT(GradientEnergy(Take(f[static_cast<size_t>(sharpest)])), 1.3 * GradientEnergy(Take(f[static_cast<size_t>(softest)])));
}

TEST_F(SampleGen, DroppedFrames_AreEmptyChunksReportedAsNoData) {
  px::Json t = Make("d.avi", "--frames 40 --size 64x48 --drop 2,5 --drop-rate 0.1 --seed 7");
  auto v = frames::OpenVideo(dir.file("d.avi"));
  ASSERT_EQ(v->frameCount(), 40);
  std::vector<int> listed, seen;
  for (const px::Json& d : t.find("dropped")->asArray()) listed.push_back(static_cast<int>(d.asNumber()));
  for (int i = 0; i < 40; ++i)
    if (!v->hasData(i)) seen.push_back(i);
  EXPECT_EQ(seen, listed);
  EXPECT_GT(listed.size(), 2u);  // the rate added some
  EXPECT_TRUE(FrameTruth(t, 5).find("dropped")->asBool());
}

TEST_F(SampleGen, SameSeed_GivesTheSameFileAndAnotherSeedAnother) {
  Make("a.avi", "--frames 3 --size 64x48 --seed 3");
  Make("b.avi", "--frames 3 --size 64x48 --seed 3");
  Make("c.avi", "--frames 3 --size 64x48 --seed 4");
  EXPECT_EQ(pxtest::ReadBytes(dir.file("a.avi")), pxtest::ReadBytes(dir.file("b.avi")));
  EXPECT_NE(pxtest::ReadBytes(dir.file("a.avi")), pxtest::ReadBytes(dir.file("c.avi")));
}

TEST_F(SampleGen, EveryFormat_HoldsTheSamePictures) {
  const std::string common = " --frames 3 --size 67x45 --seed 5";
  Make("c.avi", "--format avi24" + common);
  Make("g.avi", "--format avigrey" + common);
  Make("y.avi", "--format avi-y800" + common);
  Make("p.avi", "--format avipal" + common);
  Make("bmp", "--format bmp" + common);
  Make("jpg", "--format jpg" + common);
  auto colour = Frames("c.avi"), grey = Frames("g.avi"), y800 = Frames("y.avi"), pal = Frames("p.avi");
  ASSERT_EQ(grey.size(), 3u);
  EXPECT_EQ(grey, y800);
  // The palette file stores the grey level as the index of a warm ramp (red > green > blue).
  for (int y = 0; y < 45; y += 11)
    for (int x = 0; x < 67; x += 13) {
      ui::Color g = grey[1].pixel(x, y), p = pal[1].pixel(x, y);
      EXPECT_EQ(p.r, g.r);
      EXPECT_GE(p.r, p.g);
      EXPECT_GE(p.g, p.b);
    }
  std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  for (const char* ext : {"bmp", "jpg"}) {
    std::string file = dir.file(std::string(ext) + "/frame_00001." + ext);
    ASSERT_TRUE(px::FileExists(file)) << file;
    std::string raw = dir.file(std::string(ext) + ".rgb");
    ASSERT_EQ(pxtest::Run(im + " '" + file + "' -depth 8 rgb:'" + raw + "'"), 0);
    auto bytes = pxtest::ReadBytes(raw);
    ASSERT_EQ(bytes.size(), 67u * 45u * 3u);
    double worst = 0, sum = 0;
    for (int y = 0; y < 45; ++y)
      for (int x = 0; x < 67; ++x) {
        ui::Color c = colour[1].pixel(x, y);
        const uint8_t* q = bytes.data() + (static_cast<size_t>(y) * 67 + x) * 3;
        for (int k = 0; k < 3; ++k) {
          double d = std::abs(double(q[k]) - double(k == 0 ? c.r : k == 1 ? c.g : c.b));
          worst = std::max(worst, d);
          sum += d;
        }
      }
    if (std::string(ext) == "bmp") EXPECT_EQ(worst, 0);
    else EXPECT_LT(sum / (67.0 * 45 * 3), 4.0);  // JPEG quality 90
  }
}

TEST_F(SampleGen, Interlaced_EvenAndOddRowsShowTheirFieldShifts) {
  px::Json t = Make("i.avi", "--frames 4 --size 200x160 --noise 0 --jitter 4 --blur-min 1.5 --blur-max 1.5 --interlaced");
  auto f = Frames("i.avi");
  Plane even0 = Take(f[0], -1, 0);
  for (int i = 1; i < 4; ++i) {
    const auto& fields = FrameTruth(t, i).find("fields")->asArray();
    for (int parity = 0; parity < 2; ++parity) {
      auto [dx, dy] = EstimateShift(even0, Take(f[static_cast<size_t>(i)], -1, parity), 20);
      // Field rows sit one picture row apart: odd rows start half a field row lower.
      double fieldDy = (Num(fields[static_cast<size_t>(parity)], "dy") - parity) / 2;
      EXPECT_NEAR(dx, Num(fields[static_cast<size_t>(parity)], "dx"), 0.15) << i << "/" << parity;
      EXPECT_NEAR(dy, fieldDy, 0.15) << i << "/" << parity;
    }
  }
}

TEST_F(SampleGen, Dispersion_MovesRedUpAndBlueDownAgainstGreen) {
  Make("disp.avi", "--frames 1 --size 200x150 --noise 0 --jitter 0 --blur-min 1.2 --blur-max 1.2 --dispersion 2");
  auto f = Frames("disp.avi");
  Plane g = Take(f[0], 1);
  auto [rx, ry] = EstimateShift(g, Take(f[0], 0), 24);
  auto [bx, by] = EstimateShift(g, Take(f[0], 2), 24);
  // The channels' pictures differ in more than position (colours), so allow some slack.
  EXPECT_NEAR(rx, 0, 0.15);
  EXPECT_NEAR(ry, -2, 0.15);
  EXPECT_NEAR(bx, 0, 0.15);
  EXPECT_NEAR(by, 2, 0.15);
}

TEST_F(SampleGen, BadArguments_ExitWithTheUsage) {
  std::string log;
  EXPECT_EQ(pxtest::Run("'" + gen + "' --frames 3", &log), 2);
  EXPECT_NE(log.find("--out is required"), std::string::npos);
  EXPECT_EQ(pxtest::Run("'" + gen + "' --out x.avi --size 640", &log), 2);
  EXPECT_EQ(pxtest::Run("'" + gen + "' --out x.avi --scene saturn", &log), 2);
  EXPECT_EQ(pxtest::Run("'" + gen + "' --out x.avi --blur-min 3 --blur-max 1", &log), 2);
}

namespace {

// The FITS and TIFF sequences carry the videos' pictures at 16 (or 32) bits: the 8-bit level
// times 257 (65793); the grey kinds hold the grey video's pictures, the LRGB set one file per
// colour channel.
TEST_F(SampleGen, FitsAndTiffSequences_HoldTheColourPicturesAtHigherDepth) {
  const std::string common = " --frames 2 --size 40x30 --seed 9";
  Make("c.avi", "--format avi24" + common);
  Make("g.avi", "--format avigrey" + common);
  for (const char* f : {"fits16", "fits32", "fits-lrgb", "tif8", "tif16", "tif48"}) Make(f, std::string("--format ") + f + common);
  ui::Bitmap24 c = Frames("c.avi")[1];
  ui::Bitmap24 g = Frames("g.avi")[1];
  auto luma = [&](int x, int y) { return static_cast<int>(g.pixel(x, y).g); };
  std::string py = pxtest::PythonWithAstropy();
  if (!py.empty()) {
    // astropy reads the stored values with BZERO applied; rows run bottom-up in FITS.
    std::string out;
    ASSERT_EQ(pxtest::Run(py + " -c \"from astropy.io import fits; d=fits.getdata('" + dir.file("fits16/frame_00001.fits") +
                              "'); e=fits.getdata('" + dir.file("fits32/frame_00001.fits") + "'); r=fits.getdata('" +
                              dir.file("fits-lrgb/frame_00001_R.fit") + "'); print(int(d[29-3][7]), int(e[29-3][7]), int(r[29-3][7]))\"",
                          &out),
              0)
        << out;
    EXPECT_EQ(out, std::to_string(luma(7, 3) * 257) + " " + std::to_string(luma(7, 3) * 65793) + " " +
                       std::to_string(c.pixel(7, 3).r * 257) + "\n");
  }
  if (pxtest::HaveProgram("tiffinfo")) {
    std::string info;
    pxtest::Run("tiffinfo " + dir.file("tif48/frame_00001.tif"), &info);
    EXPECT_NE(info.find("Bits/Sample: 16"), std::string::npos) << info;
    EXPECT_NE(info.find("Samples/Pixel: 3"), std::string::npos) << info;
    pxtest::Run("tiffinfo " + dir.file("tif16/frame_00001.tif"), &info);
    EXPECT_NE(info.find("Samples/Pixel: 1"), std::string::npos) << info;
  }
  std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  std::string raw = dir.file("t.rgb");
  ASSERT_EQ(pxtest::Run(im + " '" + dir.file("tif8/frame_00001.tif") + "' -depth 8 rgb:'" + raw + "'"), 0);
  auto bytes = pxtest::ReadBytes(raw);
  ASSERT_EQ(bytes.size(), 40u * 30u * 3u);
  EXPECT_EQ(bytes[(3 * 40 + 7) * 3], c.pixel(7, 3).r);
  EXPECT_EQ(bytes[(3 * 40 + 7) * 3 + 2], c.pixel(7, 3).b);
}

}  // namespace
