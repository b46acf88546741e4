// A user's session on the Aligning page written as a pelinoxa-batch script: choose a video,
// click the feature, align, and keep the state and the graphs.
#include <gtest/gtest.h>

#include "base/Files.h"
#include "base/Json.h"
#include "support/TestSupport.h"
#include "ui/BmpCodec.h"

namespace {

TEST(RegistrationScript, FeatureAlignDump_AndGraphsSavedAsPictures) {
  pxtest::TempDir dir;
  std::string log;
  ASSERT_EQ(pxtest::Run(pxtest::ToolPath("pelinoxa-samplegen") + " --out " + dir.file("cap.avi") +
                            " --frames 12 --size 160x120 --jitter 2 --scene moon",
                        &log),
            0)
      << log;
  int rc = pxtest::RunBatchScript(dir,
                    "dialog cap.avi filter=1\n"
                    "click SelectFileButton\n"
                    "click FFTsizeGroup 0\n"
                    "mouse PreviewImage down 80 60\n"
                    "click Allignallbutton\n"
                    "dump registration reg.json\n"
                    "dump frames frames.json\n"
                    "picture imgGraph graph.bmp\n"
                    "picture FFTImage fft.bmp\n"
                    "picture StackGraph stackgraph.bmp\n",
                    &log);
  ASSERT_EQ(rc, 0) << log;
  px::Json reg = px::Json::parse(px::ReadFileText(dir.file("reg.json")));
  EXPECT_EQ(reg["feature"]["HotX"].asNumber(), 80);
  EXPECT_EQ(reg["feature"]["HotY"].asNumber(), 60);
  EXPECT_EQ(reg["box"]["FFTSize"].asNumber(), 32);
  EXPECT_EQ(reg["box"]["BoxX"].asNumber(), 64);
  EXPECT_EQ(reg["WorkStatus"].asNumber(), 3);
  EXPECT_EQ(reg["FFTWindowCaption"].asString(), "FFT spectrum 32x32");
  EXPECT_NE(reg["Log"].asString().find("Time per image :"), std::string::npos);
  px::Json frames = px::Json::parse(px::ReadFileText(dir.file("frames.json")));
  const auto& ranks = frames["ranks"].asArray();
  ASSERT_EQ(ranks.size(), 12u);
  for (size_t p = 1; p < ranks.size(); ++p)
    EXPECT_GE(ranks[p - 1].find("RankQuality")->asNumber(), ranks[p].find("RankQuality")->asNumber());
  ui::Bitmap24 graph = ui::LoadBmpFile(dir.file("graph.bmp"));
  EXPECT_EQ(graph.width(), 300);
  EXPECT_EQ(graph.height(), 250);
  ui::Bitmap24 stackGraph = ui::LoadBmpFile(dir.file("stackgraph.bmp"));
  EXPECT_EQ(stackGraph.width(), 307);  // the Stacking page keeps its own size
  EXPECT_TRUE(px::FileExists(dir.file("fft.bmp")));
}

}  // namespace
