// Tone and the Final page from a pelinoxa-batch script: the histogram markers dragged and
// stretched, a gamma curve point dragged, the picture rotated, cropped with the mouse and
// saved as 48-bit TIFF, JPEG and BMP, the clipboard and the resized window; the files are read
// back by tiffinfo, ImageMagick and astropy.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/Files.h"
#include "base/Json.h"
#include "support/TestSupport.h"
#include "ui/BmpCodec.h"

namespace {

constexpr int W = 300, H = 200;

std::string MakeStill(const pxtest::TempDir& dir) {
  ui::Bitmap24 b(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double r = std::hypot(x - 150.0, y - 100.0);
      const int v = r < 70 ? 120 + static_cast<int>(60 * std::sin(x * 0.1)) : 12;
      b.setPixel(x, y, ui::Color(v, v * 8 / 10, v * 5 / 10));
    }
  ui::SaveBmpFile(dir.file("one.bmp"), b);
  px::ForceDirectories(dir.file("out"));
  return dir.file("one.bmp");
}

const char* kOpen =
    "click ColourStack\n"
    "dialog one.bmp filter=2\n"
    "click SelectFileButton\n";

TEST(FinalScript, LevelsGammaRotationCropSavedAndReadBack) {
  pxtest::TempDir dir;
  MakeStill(dir);
  std::string output;
  const int rc = pxtest::RunBatchScript(dir,
                                        std::string(kOpen) +
                                            "picture ProcessImage plain.bmp\n"
                                            "click Histowin\n"
                                            "mouse Histograph move 30 220 left held\n"
                                            "mouse Histograph move 250 220 left held\n"
                                            "click BitBtn3\n"
                                            "picture Histograph histo.bmp\n"
                                            "click Gammawin\n"
                                            "mouse GammaSplineGraph down 128 128 left\n"
                                            "mouse GammaSplineGraph move 128 118 left held\n"
                                            "mouse GammaSplineGraph move 128 106 left held\n"
                                            "mouse GammaSplineGraph move 128 100 left held\n"
                                            "mouse GammaSplineGraph up 128 100 left\n"
                                            "picture ProcessImage toned.bmp\n"
                                            "page 5\n"
                                            "picture RotateImage flat.bmp\n"
                                            "set RxSpinEdit4.Value 30\n"
                                            "picture RotateImage full.bmp\n"
                                            "mouse RotateImage down 50 40 left\n"
                                            "mouse RotateImage move 120 90 left held\n"
                                            "mouse RotateImage up 150 120 left\n"
                                            "dump final f.json\n"
                                            "click Cropping\n"
                                            "dialog out/final filter=4\n"
                                            "click BitBtn8\n"
                                            "click Cropping\n"
                                            "dialog out/cropped filter=4\n"
                                            "click BitBtn8\n"
                                            "dialog out/final.jpg filter=2\n"
                                            "click BitBtn8\n"
                                            "dialog out/final filter=1\n"
                                            "click BitBtn8\n"
                                            "dialog out/final filter=3\n"
                                            "click BitBtn8\n"
                                            "click BitBtn9\n"
                                            "clipboard clip.bmp\n"
                                            "click ShrinkFinal\n"
                                            "click ComboBox1 0\n"
                                            "picture ShrinkImage big.bmp\n"
                                            "dialog out/resized filter=2\n"
                                            "click SaveShrink\n",
                                        &output);
  ASSERT_EQ(rc, 0) << output;

  px::Json f = px::Json::parse(px::ReadFileText(dir.file("f.json")));
  EXPECT_NEAR(f["LevelLow"].asNumber(), 23, 1e-4);   // low marker at 37, high at 257
  EXPECT_NEAR(f["LevelHigh"].asNumber(), 243, 1e-4);
  // The middle point raised to y 100: input level 128 now gives about (255 - 100) / 255.
  EXPECT_NEAR(f["DisplayCurve0_250_500_750_1000"].asArray()[2].asNumber(), 155.0 / 255, 0.02);
  const auto& crop = f["CropRect"].asArray();
  EXPECT_EQ(crop[0].asNumber(), 50);
  EXPECT_EQ(crop[1].asNumber(), 40);
  EXPECT_EQ(crop[2].asNumber(), 150);
  EXPECT_EQ(crop[3].asNumber(), 120);

  // Levels and the brighter curve lift the disc.
  const ui::Bitmap24 plain = ui::LoadBmpFile(dir.file("plain.bmp")), toned = ui::LoadBmpFile(dir.file("toned.bmp"));
  EXPECT_GT(toned.pixel(150, 100).g, plain.pixel(150, 100).g);
  // Unrotated Final page = the processed picture through HSV.
  const ui::Bitmap24 flat = ui::LoadBmpFile(dir.file("flat.bmp"));
  EXPECT_NEAR(flat.pixel(150, 100).g, toned.pixel(150, 100).g, 3);
  // Rotated by 30 degrees: the corners are outside the source.
  const ui::Bitmap24 full = ui::LoadBmpFile(dir.file("full.bmp"));
  EXPECT_EQ(full.pixel(0, 0), ui::colors::Black);
  EXPECT_EQ(full.pixel(W - 1, H - 1), ui::colors::Black);

  // The cropped BMP and the clipboard are exactly the rectangle, without its outline.
  for (const char* name : {"out/final.bmp", "clip.bmp"}) {
    const ui::Bitmap24 c = ui::LoadBmpFile(dir.file(name));
    ASSERT_EQ(c.width(), 100) << name;
    ASSERT_EQ(c.height(), 80) << name;
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 100; ++x) ASSERT_EQ(c.pixel(x, y), full.pixel(50 + x, 40 + y)) << name << " " << x << "," << y;
  }
  const ui::Bitmap24 big = ui::LoadBmpFile(dir.file("big.bmp"));
  EXPECT_EQ(big.width(), 600);
  EXPECT_EQ(big.height(), 400);
  EXPECT_TRUE(px::FileExists(dir.file("out/resized.jpg")));

  if (pxtest::HaveProgram("tiffinfo")) {
    std::string info;
    pxtest::Run("tiffinfo " + dir.file("out/final.tif"), &info);
    EXPECT_NE(info.find("Image Width: 300 Image Length: 200"), std::string::npos) << info;
    EXPECT_NE(info.find("Bits/Sample: 16"), std::string::npos) << info;
    EXPECT_NE(info.find("Samples/Pixel: 3"), std::string::npos) << info;
    pxtest::Run("tiffinfo " + dir.file("out/cropped.tif"), &info);
    EXPECT_NE(info.find("Image Width: 100 Image Length: 80"), std::string::npos) << info;
  }
  const std::string magick = pxtest::ImageMagick();
  if (!magick.empty()) {
    std::string id;
    ASSERT_EQ(pxtest::Run(magick + " " + dir.file("out/final.jpg") + " -format \"%w %h\" info:", &id), 0) << id;
    EXPECT_EQ(id, "100 80");
    // The 16-bit rotated picture (scale 256) against the 8-bit one at the disc's centre.
    std::string v;
    ASSERT_EQ(pxtest::Run(magick + " " + dir.file("out/final.tif") +
                              " -format \"%[fx:int(65535*p{150,100}.g+0.5)] %[fx:int(65535*p{0,0}.r+0.5)]\" info:",
                          &v),
              0)
        << v;
    int g16 = -1, corner = -1;
    const std::string last = v.substr(v.find_last_of('\n', v.size() - 2) == std::string::npos ? 0 : v.find_last_of('\n', v.size() - 2) + 1);
    ASSERT_EQ(std::sscanf(last.c_str(), "%d %d", &g16, &corner), 2) << v;
    EXPECT_NEAR(g16 / 256.0, full.pixel(150, 100).g, 1.5);
    EXPECT_LE(corner, 3);  // black, but for the 0.01 added to red before the HSV conversion
    // The cropped 16-bit picture holds exactly the rectangle of the full one.
    std::string c;
    ASSERT_EQ(pxtest::Run(magick + " " + dir.file("out/final.tif") + " -crop 100x80+50+40 +repage -depth 16 rgb:" +
                              dir.file("a.raw") + " && " + magick + " " + dir.file("out/cropped.tif") +
                              " -depth 16 rgb:" + dir.file("b.raw"),
                          &c),
              0)
        << c;
    const auto ra = pxtest::ReadBytes(dir.file("a.raw")), rb = pxtest::ReadBytes(dir.file("b.raw"));
    EXPECT_EQ(ra.size(), 100u * 80 * 6);
    EXPECT_TRUE(ra == rb);
  }
  const std::string py = pxtest::PythonWithAstropy();
  if (!py.empty()) {
    std::string out;
    ASSERT_EQ(pxtest::Run(py + " -c \"from astropy.io import fits; d=fits.getdata('" + dir.file("out/final_G.fit") +
                              "'); print(d.shape[1], d.shape[0])\"",
                          &out),
              0)
        << out;
    EXPECT_EQ(out.substr(0, 7), "300 200");
  }
}

TEST(FinalScript, BadAnglesAndAnUnwritableFolder) {
  pxtest::TempDir dir;
  MakeStill(dir);
  // A folder that cannot be written: read-only for a normal user; as root (who writes anywhere)
  // a "folder" that is a file.
  const bool root = ::geteuid() == 0;
  px::ForceDirectories(dir.file("locked"));
  pxtest::WriteText(dir.file("locked/final.bmp"), "keep me");
  pxtest::WriteText(dir.file("plainfile"), "x");
  ::chmod(dir.file("locked").c_str(), 0555);
  const std::string target = root ? "plainfile/final" : "locked/final";
  std::string output;
  const int rc = pxtest::RunBatchScript(dir,
                                        std::string(kOpen) +
                                            "page 5\n"
                                            "set RxSpinEdit4.Value -1e9\n"
                                            "picture RotateImage huge.bmp\n"
                                            "mouse RotateImage down -40 -30 left\n"
                                            "mouse RotateImage up 5000 5000 left\n"
                                            "dump final f.json\n"
                                            "dialog " + target + " filter=1\n"
                                            "answer Yes\n"
                                            "click BitBtn8\n"
                                            "echo after\n",
                                        &output);
  ::chmod(dir.file("locked").c_str(), 0755);
  // The refused write is an error box: the script stops there with its text.
  EXPECT_NE(rc, 0);
  EXPECT_EQ(output.find("after"), std::string::npos) << output;
  EXPECT_TRUE(px::ReadFileText(dir.file("locked/final.bmp")) == "keep me");
  EXPECT_TRUE(px::ReadFileText(dir.file("plainfile")) == "x");
  px::Json f = px::Json::parse(px::ReadFileText(dir.file("f.json")));
  const auto& crop = f["CropRect"].asArray();
  EXPECT_EQ(crop[0].asNumber(), 0);
  EXPECT_EQ(crop[1].asNumber(), 0);
  EXPECT_EQ(crop[2].asNumber(), W);
  EXPECT_EQ(crop[3].asNumber(), H);
  // A typed NaN is refused with a clear message; the picture stays as it was.
  std::string nanOut;
  EXPECT_NE(pxtest::RunBatchScript(dir, std::string(kOpen) + "page 5\nset RxSpinEdit4.Value nan\n", &nanOut, "n.txt"), 0);
  EXPECT_NE(nanOut.find("'nan' is not a valid floating point value"), std::string::npos) << nanOut;
  const ui::Bitmap24 huge = ui::LoadBmpFile(dir.file("huge.bmp"));
  EXPECT_EQ(huge.width(), W);
  EXPECT_EQ(huge.pixel(0, 0), ui::colors::Black);  // -1e9 = -280 degrees: a real rotation
}

}  // namespace
