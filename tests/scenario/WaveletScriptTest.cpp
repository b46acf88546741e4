// The Wavelet Processing page from a pelinoxa-batch script: a single colour still opens on the
// page decomposed, sliders and the noise window sharpen it, a layer preview is shown and put
// back, "Do all" covers the image, the state is dumped and the result saved as TIFF, FITS and
// JPEG that independent programs read.
#include <gtest/gtest.h>

#include <cmath>

#include "base/Files.h"
#include "base/Json.h"
#include "support/TestSupport.h"
#include "ui/BmpCodec.h"

namespace {

TEST(WaveletScript, SingleStillSharpenedPreviewedTiledDumpedAndSaved) {
  pxtest::TempDir dir;
  const int W = 300, H = 200;
  ui::Bitmap24 b(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double r = std::hypot(x - 150.0, y - 100.0);
      const int v = r < 70 ? 150 + static_cast<int>(40 * std::sin(y * 0.5)) : 12;
      b.setPixel(x, y, ui::Color(v, v * 9 / 10, v * 7 / 10));
    }
  ui::SaveBmpFile(dir.file("one.bmp"), b);
  px::ForceDirectories(dir.file("out"));
  std::string output;
  const int rc = pxtest::RunBatchScript(dir,
                                        "click ColourStack\n"
                                        "dialog one.bmp filter=2\n"
                                        "click SelectFileButton\n"
                                        "dump wavelets w0.json\n"
                                        "slide RxSlider3 30\n"
                                        "slide RxSlider4 20\n"
                                        "click Showdenoise\n"
                                        "click cut1\n"
                                        "click Denoise 4\n"
                                        "click layer1button\n"
                                        "picture ProcessImage preview.bmp\n"
                                        "click layer1button\n"
                                        "picture ProcessImage area.bmp\n"
                                        "click Processarea 5\n"
                                        "click ProcessButton\n"
                                        "click DoAll\n"
                                        "dump wavelets w1.json\n"
                                        "picture ProcessImage sharp.bmp\n"
                                        "dialog out/sharp filter=4\n"
                                        "click SaveBMP2button\n"
                                        "dialog out/sharp filter=3\n"
                                        "click SaveBMP2button\n"
                                        "dialog out/sharp filter=2\n"
                                        "click SaveBMP2button\n",
                                        &output);
  ASSERT_EQ(rc, 0) << output;
  px::Json w0 = px::Json::parse(px::ReadFileText(dir.file("w0.json")));
  EXPECT_FALSE(w0["DecompositionStale"].asBool());
  EXPECT_EQ(w0["Width"].asNumber(), W);
  EXPECT_EQ(w0["layers"].asArray()[0]["Scale"].asNumber(), 1);
  EXPECT_GT(w0["layers"].asArray()[0]["MeanAbs"].asNumber(), 0);
  px::Json w1 = px::Json::parse(px::ReadFileText(dir.file("w1.json")));
  EXPECT_EQ(w1["area"]["limit"].asNumber(), 128);
  EXPECT_GT(w1["DoAllMs"].asNumber(), 0);
  EXPECT_EQ(w1["layers"].asArray()[0]["Gain"].asNumber(), 3);
  // The threshold of the estimate stays when the layers are computed anew (here for the new area).
  auto& l1 = w1["layers"].asArray()[0];
  EXPECT_GT(l1["SavedThreshold"].asNumber(), 0);
  EXPECT_NE(l1["SavedThreshold"].asNumber(), l1["MeanAbs"].asNumber());
  EXPECT_NEAR(l1["Threshold"].asNumber(), l1["SavedThreshold"].asNumber(), 0.0006);

  // The preview shows the layer in red (decreasing) and green (increasing), no blue.
  const ui::Bitmap24 preview = ui::LoadBmpFile(dir.file("preview.bmp"));
  int red = 0, green = 0;
  for (int y = 20; y < H - 20; ++y)
    for (int x = 60; x < W - 60; ++x) {
      const ui::Color c = preview.pixel(x, y);
      EXPECT_EQ(c.b, 0) << x << "," << y;
      red += c.r > 0;
      green += c.g > 0;
    }
  EXPECT_GT(red, 100);
  EXPECT_GT(green, 100);
  EXPECT_NE(ui::LoadBmpFile(dir.file("area.bmp")).pixel(150, 100), preview.pixel(150, 100));

  const ui::Bitmap24 sharp = ui::LoadBmpFile(dir.file("sharp.bmp"));
  ASSERT_EQ(sharp.width(), W);
  ASSERT_EQ(sharp.height(), H);
  EXPECT_EQ(sharp.pixel(5, 5).r, sharp.pixel(W - 5, H - 5).r);  // sky in opposite corners: every tile written

  if (pxtest::HaveProgram("tiffinfo")) {
    std::string info;
    pxtest::Run("tiffinfo " + dir.file("out/sharp.tif"), &info);
    EXPECT_NE(info.find("Image Width: 300 Image Length: 200"), std::string::npos) << info;
    EXPECT_NE(info.find("Bits/Sample: 16"), std::string::npos) << info;
  }
  for (const char* c : {"R", "G", "B"}) {
    const std::string fit = dir.file(std::string("out/sharp_") + c + ".fit");
    ASSERT_TRUE(px::FileExists(fit)) << fit;
    if (pxtest::HaveProgram("fitsverify")) {
      std::string v;
      pxtest::Run("fitsverify -q -e " + fit, &v);
      EXPECT_NE(v.find("OK"), std::string::npos) << v;
    }
  }
  const std::string magick = pxtest::ImageMagick();
  if (!magick.empty()) {
    std::string id;
    ASSERT_EQ(pxtest::Run(magick + " " + dir.file("out/sharp.jpg") + " -format \"%w %h\" info:", &id), 0) << id;
    EXPECT_EQ(id, "300 200");
  }
}

}  // namespace
