// The sample generator: its truth file describes the frames it writes. Shifts are measured
// back from the pictures with an independent estimator (Lucas-Kanade on the luminance).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "base/Files.h"
#include "base/Json.h"
#include "frames/VideoSource.h"
#include "support/TestSupport.h"
#include "ui/Bitmap24.h"
#include "ui/BmpCodec.h"

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

// ---- Seeing through turbulence ----

namespace {

double Rms(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x * x;
  return std::sqrt(s / static_cast<double>(v.size()));
}

// A window of a plane.
Plane Crop(const Plane& p, int x0, int y0, int w, int h) {
  Plane c;
  c.w = w;
  c.h = h;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) c.v.push_back(p.at(x, y));
  return c;
}

}  // namespace

// Without turbulence the frames are the diffraction-limited scene moved by the jitter: the
// truth's shifts are measured back to a few hundredths of a pixel.
TEST_F(SampleGen, NoTurbulence_TruthShiftsAreTheContentMotion) {
  for (const char* scene : {"planet", "sun"}) {
    SCOPED_TRACE(scene);
    std::string name = std::string(scene) + ".avi";
    px::Json t = Make(name, std::string("--scene ") + scene + " --seeing none --aniso 0 --frames 6 --size 200x150 "
                                                          "--jitter 3 --peak-electrons 1e6 --read-noise 0");
    EXPECT_EQ(t.find("seeing")->asString(), "none");
    auto f = Frames(name);
    Plane ref = Take(f[0]);
    for (int i = 1; i < 6; ++i) {
      EXPECT_EQ(Num(FrameTruth(t, i), "strehl"), 1.0);
      auto [dx, dy] = EstimateShift(ref, Take(f[static_cast<size_t>(i)]), 24);
      EXPECT_NEAR(dx, Num(FrameTruth(t, i), "dx"), 0.03) << "frame " << i;
      EXPECT_NEAR(dy, Num(FrameTruth(t, i), "dy"), 0.03) << "frame " << i;
    }
  }
}

TEST_F(SampleGen, NoTurbulence_InterlacedFieldsShowTheirShifts) {
  px::Json t = Make("i.avi", "--seeing none --aniso 0 --interlaced --frames 3 --size 200x160 --jitter 4 "
                             "--peak-electrons 1e6 --read-noise 0");
  auto f = Frames("i.avi");
  Plane even0 = Take(f[0], -1, 0);
  for (int i = 1; i < 3; ++i) {
    const auto& fields = FrameTruth(t, i).find("fields")->asArray();
    for (int parity = 0; parity < 2; ++parity) {
      auto [dx, dy] = EstimateShift(even0, Take(f[static_cast<size_t>(i)], -1, parity), 20);
      EXPECT_NEAR(dx, Num(fields[static_cast<size_t>(parity)], "dx"), 0.15) << i << "/" << parity;
      EXPECT_NEAR(dy, (Num(fields[static_cast<size_t>(parity)], "dy") - parity) / 2, 0.15) << i << "/" << parity;
    }
  }
}

// Through turbulence the content also moves with each PSF's tilt; the truth's shifts include
// it, and the Strehl ratios order the frames by their detail.
TEST_F(SampleGen, Turbulence_TruthFollowsTheTiltAndStrehlOrdersTheDetail) {
  px::Json t = Make("t.avi", "--seeing turbulent --d-r0-min 2.5 --d-r0-max 6 --frames 24 --size 200x150 --jitter 1 "
                             "--peak-electrons 1e5 --read-noise 0");
  EXPECT_EQ(t.find("seeing")->asString(), "turbulent");
  auto f = Frames("t.avi");
  Plane ref = Take(f[0]);
  std::vector<double> err, errWithoutTilt, tilt;
  int sharpest = 0, softest = 0;
  for (int i = 0; i < 24; ++i) {
    const px::Json& fi = FrameTruth(t, i);
    EXPECT_GE(Num(fi, "d_r0"), 2.5);
    EXPECT_LE(Num(fi, "d_r0"), 6);
    EXPECT_EQ(Num(fi, "sharpness"), Num(fi, "strehl"));
    if (Num(fi, "strehl") > Num(FrameTruth(t, sharpest), "strehl")) sharpest = i;
    if (Num(fi, "strehl") < Num(FrameTruth(t, softest), "strehl")) softest = i;
    if (i == 0) continue;
    auto [dx, dy] = EstimateShift(ref, Take(f[static_cast<size_t>(i)]), 24);
    double tx = Num(fi, "psf_dx") - Num(FrameTruth(t, 0), "psf_dx"), ty = Num(fi, "psf_dy") - Num(FrameTruth(t, 0), "psf_dy");
    err.push_back(std::hypot(dx - Num(fi, "dx"), dy - Num(fi, "dy")));
    errWithoutTilt.push_back(std::hypot(dx - Num(fi, "dx") + tx, dy - Num(fi, "dy") + ty));
    tilt.push_back(std::hypot(tx, ty));
  }
  ASSERT_GT(Rms(tilt), 0.5);  // the tilt is worth measuring
  EXPECT_LT(Rms(err), 0.25);
  EXPECT_LT(Rms(err), 0.5 * Rms(errWithoutTilt));
  ASSERT_GT(Num(FrameTruth(t, sharpest), "strehl"), 2 * Num(FrameTruth(t, softest), "strehl"));
  EXPECT_GT(GradientEnergy(Take(f[static_cast<size_t>(sharpest)])), 1.3 * GradientEnergy(Take(f[static_cast<size_t>(softest)])));
}

TEST_F(SampleGen, Turbulence_StrehlFallsAsDOverR0Rises) {
  px::Json good = Make("g.avi", "--seeing turbulent --d-r0-min 3 --d-r0-max 3 --frames 30 --size 64x48");
  px::Json bad = Make("b.avi", "--seeing turbulent --d-r0-min 8 --d-r0-max 8 --frames 30 --size 64x48");
  double sg = 0, sb = 0;
  for (int i = 0; i < 30; ++i) {
    EXPECT_NEAR(Num(FrameTruth(good, i), "d_r0"), 3, 1e-9);
    sg += Num(FrameTruth(good, i), "strehl") / 30;
    sb += Num(FrameTruth(bad, i), "strehl") / 30;
  }
  EXPECT_GT(sg, 0.3);
  EXPECT_LT(sb, 0.15);
  EXPECT_GT(sg, 3 * sb);
}

// Two exposures of the same still scene differ by the noise alone: per level, half the
// variance of their difference is gain * level (photons) + (gain * read noise)^2 + 1/12.
TEST_F(SampleGen, SensorNoise_PhotonVarianceFollowsTheSignal) {
  px::Json t = Make("n.avi", "--seeing none --jitter 0 --frames 2 --size 240x180 --format avigrey --read-noise 3");
  const double gain = Num(t, "gain");
  EXPECT_NEAR(gain, 220.0 / 1400, 1e-12);
  auto f = Frames("n.avi");
  Plane a = Take(f[0]), b = Take(f[1]);
  const double edges[] = {30, 80, 140, 230};
  for (int bin = 0; bin < 3; ++bin) {
    double n = 0, level = 0, var = 0;
    for (size_t i = 0; i < a.v.size(); ++i) {
      double m = (a.v[i] + b.v[i]) / 2;
      if (m < edges[bin] || m >= edges[bin + 1]) continue;
      n += 1;
      level += m;
      var += (a.v[i] - b.v[i]) * (a.v[i] - b.v[i]) / 2;
    }
    ASSERT_GT(n, 2000) << bin;
    level /= n;
    var /= n;
    EXPECT_NEAR(var / (gain * level + gain * gain * 9 + 1.0 / 12), 1.0, 0.08) << "level " << level;
  }
  // The brightest part of the scene sits near 220 levels.
  double top = *std::max_element(a.v.begin(), a.v.end());
  EXPECT_GT(top, 200);
  EXPECT_LT(top, 250);
}

TEST_F(SampleGen, Turbulence_SameSeedGivesTheSameBytesOnAnyThreadCount) {
  const std::string common = " --seeing turbulent --scene moon --frames 5 --size 96x64 --seed 3";
  Make("a.avi", "--threads 1" + common);
  Make("b.avi", "--threads 3" + common);
  Make("c.avi", "--threads 2 --seed 4" + common.substr(0, common.size() - 9));
  EXPECT_EQ(pxtest::ReadBytes(dir.file("a.avi")), pxtest::ReadBytes(dir.file("b.avi")));
  EXPECT_EQ(px::ReadFileText(dir.file("a.avi.json")), px::ReadFileText(dir.file("b.avi.json")));
  EXPECT_NE(pxtest::ReadBytes(dir.file("a.avi")), pxtest::ReadBytes(dir.file("c.avi")));
}

// The truth image: frame 0's scene where frame 0 shows it, through perfect optics.
TEST_F(SampleGen, Turbulence_TruthImageIsFrameZeroDiffractionLimited) {
  Make("t.avi", "--seeing turbulent --d-r0-min 3 --d-r0-max 4 --frames 4 --size 200x150 --peak-electrons 1e5 --truth-image '" +
                    dir.file("truth.bmp") + "'");
  auto f = Frames("t.avi");
  ui::Bitmap24 truth = ui::LoadBmpFile(dir.file("truth.bmp"));
  Plane p = Take(truth), f0 = Take(f[0]);
  auto [dx, dy] = EstimateShift(p, f0, 24);
  EXPECT_NEAR(dx, 0, 0.25);
  EXPECT_NEAR(dy, 0, 0.25);
  for (const auto& frame : f) EXPECT_GT(GradientEnergy(p), 1.2 * GradientEnergy(Take(frame)));
}

// Anisoplanatism: parts of the frame move by a few tenths of a pixel against each other,
// while the frame as a whole stays where the truth says.
TEST_F(SampleGen, Anisoplanatism_WarpsLocallyWithZeroMean) {
  const std::string common = " --scene moon --seeing none --jitter 0 --frames 1 --size 240x180 --peak-electrons 1e6 --read-noise 0";
  Make("still.avi", "--aniso 0" + common);
  Make("warped.avi", "--aniso 0.5" + common);
  Plane a = Take(Frames("still.avi")[0]), b = Take(Frames("warped.avi")[0]);
  std::vector<double> sx, sy;
  for (int y = 10; y + 60 <= 170; y += 40)
    for (int x = 10; x + 60 <= 230; x += 44) {
      auto [dx, dy] = EstimateShift(Crop(a, x, y, 60, 60), Crop(b, x, y, 60, 60), 6);
      sx.push_back(dx);
      sy.push_back(dy);
    }
  double mx = 0, my = 0;
  for (size_t i = 0; i < sx.size(); ++i) {
    mx += sx[i] / static_cast<double>(sx.size());
    my += sy[i] / static_cast<double>(sy.size());
  }
  EXPECT_LT(std::abs(mx), 0.12);
  EXPECT_LT(std::abs(my), 0.12);
  EXPECT_GT(Rms(sx) + Rms(sy), 0.3);
  EXPECT_LT(Rms(sx) + Rms(sy), 1.5);
}

// 12- and 16-bit samples go into the 16-bit files as they are.
TEST_F(SampleGen, DeepSamples_TwelveBitValuesInSixteenBitFiles) {
  const std::string common = " --seeing turbulent --frames 1 --size 80x60 --d-r0-min 3 --d-r0-max 3";
  px::Json t = Make("f12", "--format fits16 --bits 12" + common);
  Make("t12", "--format tif16 --bits 12" + common);
  Make("t16", "--format tif48 --bits 16" + common);
  EXPECT_EQ(Num(t, "bits"), 12);
  std::string py = pxtest::PythonWithAstropy();
  if (!py.empty()) {
    std::string out;
    ASSERT_EQ(pxtest::Run(py + " -c \"from astropy.io import fits; d=fits.getdata('" + dir.file("f12/frame_00000.fits") +
                              "'); print(int(d.max()), int((d % 16 != 0).sum() > 100))\"",
                          &out),
              0)
        << out;
    ASSERT_FALSE(out.empty() || !std::isdigit(static_cast<unsigned char>(out[0]))) << out;
    int top = std::stoi(out);
    EXPECT_LE(top, 4095);
    EXPECT_GT(top, 2500);
    EXPECT_EQ(out.substr(out.size() - 2), "1\n");  // not 8-bit levels scaled up
  }
  std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  std::string out;
  ASSERT_EQ(pxtest::Run("(" + im + " '" + dir.file("t12/frame_00000.tif") + "' -format '%[fx:round(maxima*65535)]' info: 2>/dev/null)", &out), 0) << out;
  EXPECT_LE(std::stoi(out), 4095);
  EXPECT_GT(std::stoi(out), 2500);
  ASSERT_EQ(pxtest::Run("(" + im + " '" + dir.file("t16/frame_00000.tif") + "' -format '%[fx:round(maxima*65535)]' info: 2>/dev/null)", &out), 0) << out;
  EXPECT_GT(std::stoi(out), 40000);
}

TEST_F(SampleGen, TurbulenceOptions_AreChecked) {
  std::string log;
  auto rc = [&](const std::string& args) { return pxtest::Run("'" + gen + "' --out '" + dir.file("x") + "' " + args, &log); };
  EXPECT_EQ(rc("--seeing turbulent --bits 12"), 2);  // avi24 holds 8 bits
  EXPECT_NE(log.find("--bits 12 and 16 need"), std::string::npos);
  EXPECT_EQ(rc("--bits 12 --format tif16"), 2);  // the Gaussian mode has no sensor model
  EXPECT_EQ(rc("--seeing turbulent --d-r0-min 0 --d-r0-max 5"), 2);
  EXPECT_EQ(rc("--seeing turbulent --d-r0-min 6 --d-r0-max 5"), 2);
  EXPECT_EQ(rc("--seeing fog"), 2);
  EXPECT_EQ(rc("--seeing turbulent --peak-electrons 0"), 2);
  EXPECT_EQ(rc("--seeing turbulent --frames 1 --size 8000x8000"), 1);  // refused before the memory runs out
  EXPECT_NE(log.find("too large"), std::string::npos) << log;
}

TEST_F(SampleGen, SerFormats_HoldTheColourFramesInEveryLayoutAndByteOrder) {
  const std::string common = " --frames 3 --size 66x44 --seed 5";
  Make("c.avi", "--format avi24" + common);
  Make("rgb.ser", "--format ser-rgb" + common);
  Make("bgr.ser", "--format ser-bgr" + common);
  Make("bayer.ser", "--format ser-bayer --pattern GRBG" + common);
  Make("mosaic.avi", "--format avi-mosaic --pattern GRBG" + common);
  auto colour = Frames("c.avi");
  EXPECT_EQ(Frames("rgb.ser"), colour);
  EXPECT_EQ(Frames("bgr.ser"), colour);
  // The mosaic keeps each site's own colour exactly; the grey AVI stores the same samples.
  auto bayer = Frames("bayer.ser"), mosaic = Frames("mosaic.avi");
  ASSERT_EQ(bayer.size(), 3u);
  for (int y = 0; y < 44; ++y)
    for (int x = 0; x < 66; ++x) {
      const int c = frames::MosaicColour(frames::BayerPattern::GRBG, x, y);
      ASSERT_EQ(bayer[2].row(y)[3 * x + 2 - c], colour[2].row(y)[3 * x + 2 - c]);
      ASSERT_EQ(mosaic[2].row(y)[3 * x], colour[2].row(y)[3 * x + 2 - c]);
    }
  // 16-bit samples in both byte orders and with either flag read back the same.
  const std::string deep = common + " --seeing none --bits 16";
  Make("le.ser", "--format ser-rgb" + deep);
  Make("be.ser", "--format ser-rgb --byte-order big --ser-flag 1" + deep);
  Make("be0.ser", "--format ser-rgb --byte-order big --ser-flag 0" + deep);
  auto a = frames::OpenVideo(dir.file("le.ser"));
  for (const char* other : {"be.ser", "be0.ser"}) {
    auto b = frames::OpenVideo(dir.file(other));
    EXPECT_NE(b->describe().find("big-endian (from the data"), std::string::npos) << b->describe();
    formats::TTIFFBitMap da, db;
    for (int f = 0; f < 3; ++f) {
      ASSERT_TRUE(a->decodeDeep(f, da));
      ASSERT_TRUE(b->decodeDeep(f, db));
      ASSERT_EQ(0, std::memcmp(da.row16(0), db.row16(0), 66 * 44 * 6)) << other << " frame " << f;
    }
  }
  std::string log;
  EXPECT_NE(pxtest::Run("'" + gen + "' --out '" + dir.file("d.ser") + "' --format ser --drop 1", &log), 0);
}
