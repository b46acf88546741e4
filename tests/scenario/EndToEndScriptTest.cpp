// The whole job as a user runs it through pelinoxa-batch: choose a generated video, click the
// planet, "Align" (the program finds the shifts and ranks the frames itself), stack, save. The
// saved 16-bit TIFFs are read back by ImageMagick and compared with the generator's noise-free
// frame: the stack of the best fifth must beat the best single frame on noise and on detail.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "base/Files.h"
#include "base/Json.h"
#include "support/Statistics.h"
#include "support/TestSupport.h"
#include "ui/BmpCodec.h"

namespace {

using pxtest::Correlation;
using pxtest::Mean;
using pxtest::StdDev;

constexpr int W = 200, H = 150, N = 300;

struct Job {
  pxtest::TempDir dir;
  std::string output;
  int Run(const std::string& script) { return pxtest::RunBatchScript(dir, script, &output, "job.txt"); }
  px::Json Json(const std::string& name) { return px::Json::parse(px::ReadFileText(dir.file(name))); }
};

// A TIFF as grey levels through ImageMagick (16-bit big-endian PGM).
std::vector<double> GreyThroughImageMagick(const std::string& im, const std::string& tif, const std::string& pgm) {
  std::string log;
  if (pxtest::Run(im + " " + tif + " -colorspace gray -depth 16 " + pgm, &log) != 0) {
    ADD_FAILURE() << log;
    return {};
  }
  std::vector<uint8_t> b = pxtest::ReadBytes(pgm);
  // Header: "P5\n200 150\n65535\n".
  size_t pos = 0;
  int fields = 0;
  while (fields < 4 && pos < b.size()) {
    while (pos < b.size() && std::isspace(b[pos])) ++pos;
    while (pos < b.size() && !std::isspace(b[pos])) ++pos;
    ++fields;
  }
  ++pos;
  std::vector<double> v;
  for (; pos + 1 < b.size(); pos += 2) v.push_back(b[pos] * 256.0 + b[pos + 1]);
  EXPECT_EQ(v.size(), static_cast<size_t>(W) * H);
  return v;
}

std::vector<double> Window(const std::vector<double>& img, int x0, int y0, int w, int h) {
  std::vector<double> v;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) v.push_back(img[static_cast<size_t>(y) * W + x]);
  return v;
}

TEST(EndToEndScript, AlignedAndStackedBestFifth_BeatsTheBestFrameInTheSavedTiff) {
  const std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  Job job;
  std::string log;
  ASSERT_EQ(pxtest::Run(pxtest::ToolPath("pelinoxa-samplegen") + " --out " + job.dir.file("cap.avi") +
                            " --frames 300 --size 200x150 --seed 7 --jitter 4 --drop 33 --truth-image " +
                            job.dir.file("scene.bmp"),
                        &log),
            0)
      << log;
  px::ForceDirectories(job.dir.file("out"));
  const int rc = job.Run(
      "dialog cap.avi filter=1\n"
      "click SelectFileButton\n"
      "click ColourStack\n"
      "mouse PreviewImage down 100 75\n"
      "click Allignallbutton\n"
      "dump frames frames.json\n"
      "# the best frame alone (the one-frame question answered Yes)\n"
      "slide StackSlider 0\n"
      "answer Yes\n"
      "click Stackbutton\n"
      "dialog out/single filter=6\n"
      "click SaveButton\n"
      "# the best fifth\n"
      "slide StackSlider 59\n"
      "click Stackbutton\n"
      "dump stack stack.json\n"
      "dialog out/stack filter=6\n"
      "click SaveButton\n"
      "dialog out/stack filter=3\n"
      "click SaveButton\n");
  ASSERT_EQ(rc, 0) << job.output;

  // The dropped frame never reached a stack; the rest were ranked.
  px::Json frames = job.Json("frames.json");
  EXPECT_EQ(frames["frames"].asArray()[33].find("Dropped")->asNumber(), 1);
  px::Json stack = job.Json("stack.json");
  EXPECT_EQ(stack["StackedCount"].asNumber(), 60);
  EXPECT_TRUE(px::FileExists(job.dir.file("out/stack_R.fit")));
  EXPECT_TRUE(px::FileExists(job.dir.file("out/stack_B.fit")));

  std::vector<double> single = GreyThroughImageMagick(im, job.dir.file("out/single.tif"), job.dir.file("single.pgm"));
  std::vector<double> stacked = GreyThroughImageMagick(im, job.dir.file("out/stack.tif"), job.dir.file("stack.pgm"));
  ASSERT_FALSE(single.empty());
  ASSERT_FALSE(stacked.empty());
  const ui::Bitmap24 scene = ui::LoadBmpFile(job.dir.file("scene.bmp"));
  std::vector<double> truth;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      ui::Color c = scene.pixel(x, y);
      truth.push_back(0.299 * c.r + 0.587 * c.g + 0.114 * c.b);
    }

  // Sky noise relative to the planet's brightness (each TIFF is scaled to its own maximum).
  ASSERT_LT(StdDev(Window(truth, 12, 12, 24, 18)), 0.5);
  auto relativeNoise = [](const std::vector<double>& img) {
    return StdDev(Window(img, 12, 12, 24, 18)) / Mean(Window(img, 80, 60, 40, 30));
  };
  const double noiseSingle = relativeNoise(single), noiseStack = relativeNoise(stacked);
  EXPECT_GT(noiseSingle, 3 * noiseStack) << noiseSingle << " vs " << noiseStack;

  // Detail against the noise-free frame the stack was registered on, away from thin borders.
  const double cSingle = Correlation(Window(single, 16, 16, W - 32, H - 32), Window(truth, 16, 16, W - 32, H - 32));
  const double cStack = Correlation(Window(stacked, 16, 16, W - 32, H - 32), Window(truth, 16, 16, W - 32, H - 32));
  EXPECT_GT(cStack, cSingle) << cStack << " vs " << cSingle;
  EXPECT_GT(cStack, 0.99);
  RecordProperty("noiseSingle", std::to_string(noiseSingle));
  RecordProperty("noiseStack", std::to_string(noiseStack));
  RecordProperty("correlationSingle", std::to_string(cSingle));
  RecordProperty("correlationStack", std::to_string(cStack));
}

TEST(EndToEndScript, AlignAndStack_StacksTheAutomaticCutAndEndsOnTheWaveletPage) {
  Job job;
  std::string log;
  ASSERT_EQ(pxtest::Run(pxtest::ToolPath("pelinoxa-samplegen") + " --out " + job.dir.file("cap.avi") +
                            " --frames 40 --size 200x150 --seed 3 --jitter 3",
                        &log),
            0)
      << log;
  const int rc = job.Run(
      "dialog cap.avi filter=1\n"
      "click SelectFileButton\n"
      "mouse PreviewImage down 100 75\n"
      "click AlignStackButton\n"
      "expect UseProcessed.Visible True\n"
      "expect FFTWindow.Visible False\n"
      "dump stack stack.json\n"
      "dump form form.json\n");
  ASSERT_EQ(rc, 0) << job.output;
  px::Json stack = job.Json("stack.json");
  EXPECT_TRUE(stack["StackExists"].asBool());
  EXPECT_GE(stack["StackedCount"].asNumber(), 1);
  EXPECT_EQ(stack["width"].asNumber(), W);
  px::Json form = job.Json("form.json");
  EXPECT_EQ(form["activePage"].asString(), "WaveletPage") << job.output;
}

}  // namespace
