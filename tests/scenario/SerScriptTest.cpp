// A colour camera's raw capture through pelinoxa-batch: a Bayer SER chosen with the SER
// filter, aligned on its debayered luminance, the best frames stacked and saved; the saved
// 16-bit TIFF read back by ImageMagick against the generator's noise-free colour frame.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/Files.h"
#include "base/Json.h"
#include "support/Statistics.h"
#include "support/TestSupport.h"
#include "ui/BmpCodec.h"

namespace {

constexpr int W = 200, H = 150;

// One channel (0 R, 1 G, 2 B) of a TIFF through ImageMagick as 16-bit values.
std::vector<double> Channel(const std::string& im, const std::string& tif, int c, const std::string& raw) {
  const char* name[] = {"R", "G", "B"};
  std::string log;
  if (pxtest::Run(im + " '" + tif + "' -channel " + name[c] + " -separate -endian MSB -depth 16 gray:'" + raw + "'", &log) != 0) {
    ADD_FAILURE() << log;
    return {};
  }
  const std::vector<uint8_t> b = pxtest::ReadBytes(raw);
  std::vector<double> v;
  for (size_t i = 0; i + 1 < b.size(); i += 2) v.push_back(b[i] * 256.0 + b[i + 1]);  // big-endian samples
  return v;
}

TEST(SerScript, BayerCaptureIsAlignedStackedAndSavedInColour) {
  const std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  pxtest::TempDir dir;
  std::string log;
  ASSERT_EQ(pxtest::Run(pxtest::ToolPath("pelinoxa-samplegen") + " --out " + dir.file("cap.ser") +
                            " --format ser-bayer --pattern BGGR --frames 60 --size 200x150 --seed 11 --jitter 4"
                            " --truth-image " + dir.file("scene.bmp"),
                        &log),
            0)
      << log;
  px::ForceDirectories(dir.file("out"));
  std::string output;
  const int rc = pxtest::RunBatchScript(dir,
                                        "dialog cap.ser filter=6\n"
                                        "click SelectFileButton\n"
                                        "dump input input.json\n"
                                        "click ColourStack\n"
                                        "mouse PreviewImage down 100 75\n"
                                        "click Allignallbutton\n"
                                        "dump frames frames.json\n"
                                        "slide StackSlider 19\n"
                                        "click Stackbutton\n"
                                        "dump stack stack.json\n"
                                        "dialog out/stack filter=6\n"
                                        "click SaveButton\n",
                                        &output, "job.txt");
  ASSERT_EQ(rc, 0) << output;
  px::Json input = px::Json::parse(px::ReadFileText(dir.file("input.json")));
  EXPECT_NE(input["VideoInfo"].asString().find("SER Bayer BGGR 8-bit 200x150, 60 frames"), std::string::npos)
      << input["VideoInfo"].asString();
  px::Json stack = px::Json::parse(px::ReadFileText(dir.file("stack.json")));
  EXPECT_EQ(stack["StackedCount"].asNumber(), 20);

  const ui::Bitmap24 scene = ui::LoadBmpFile(dir.file("scene.bmp"));
  for (int c = 0; c < 3; ++c) {
    const std::vector<double> saved = Channel(im, dir.file("out/stack.tif"), c, dir.file("c.raw"));
    ASSERT_EQ(saved.size(), static_cast<size_t>(W) * H);
    std::vector<double> a, b;
    for (int y = 16; y < H - 16; ++y)
      for (int x = 16; x < W - 16; ++x) {
        a.push_back(saved[static_cast<size_t>(y) * W + x]);
        b.push_back(scene.row(y)[3 * x + 2 - c]);
      }
    const double corr = pxtest::Correlation(a, b);
    EXPECT_GT(corr, 0.98) << "channel " << c;
    RecordProperty("correlation" + std::to_string(c), std::to_string(corr));
  }
}

}  // namespace
