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

std::string Capture(const pxtest::TempDir& dir, int frames) {
  std::string log;
  EXPECT_EQ(pxtest::Run(pxtest::ToolPath("pelinoxa-samplegen") + " --out " + dir.file("cap.avi") + " --frames " +
                            std::to_string(frames) + " --size 160x120 --jitter 2 --scene moon",
                        &log),
            0)
      << log;
  return "dialog cap.avi filter=1\nclick SelectFileButton\nclick FFTsizeGroup 0\n"
         "set Followme.Checked False\nset AutoOptimize.Checked False\nmouse PreviewImage down 80 60\n";
}

// Manual alignment takes its clicks from "point": frame k pointed at (80 + k, 60 - 2k) is
// shifted by (k, -2k) against the feature at (80, 60).
TEST(RegistrationScript, ManualAlignment_TakesTheScriptedPoints) {
  pxtest::TempDir dir;
  std::string script = Capture(dir, 4) + "click ManualAlign\n";
  for (int k = 0; k < 4; ++k) script += "point " + std::to_string(80 + k) + " " + std::to_string(60 - 2 * k) + "\n";
  script += "click Allignallbutton\ndump frames frames.json\n";
  std::string log;
  ASSERT_EQ(pxtest::RunBatchScript(dir, script, &log), 0) << log;
  px::Json frames = px::Json::parse(px::ReadFileText(dir.file("frames.json")));
  const auto& f = frames["frames"].asArray();
  ASSERT_EQ(f.size(), 4u);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(f[k].find("ShiftX")->asNumber(), k) << k;
    EXPECT_EQ(f[k].find("ShiftY")->asNumber(), -2 * k) << k;
  }
}

// Without a queued point the script stops with a clear error instead of waiting for ever.
TEST(RegistrationScript, ManualAlignmentWithoutAPoint_StopsTheScript) {
  pxtest::TempDir dir;
  std::string log;
  int rc = pxtest::RunBatchScript(dir, Capture(dir, 4) + "click ManualAlign\npoint 80 60\nclick Allignallbutton\n", &log);
  EXPECT_EQ(rc, 2) << log;
  EXPECT_NE(log.find("s.txt:9: no point queued for the click the program waits for (script command: point X Y)"),
            std::string::npos)
      << log;
}

// "cancel 3" presses Cancel on the Progress window after three frames, answering its question.
TEST(RegistrationScript, CancelAfterThreeFrames_StopsTheAlignRun) {
  pxtest::TempDir dir;
  std::string log;
  ASSERT_EQ(pxtest::RunBatchScript(dir, Capture(dir, 12) + "cancel 3\nclick Allignallbutton\ndump frames frames.json\n",
                                   &log),
            0)
      << log;
  EXPECT_NE(log.find("[confirmation] Do you want to cancel ? -> Yes"), std::string::npos) << log;
  px::Json frames = px::Json::parse(px::ReadFileText(dir.file("frames.json")));
  int measured = 0;
  for (const auto& f : frames["frames"].asArray()) measured += f.find("Quality")->asNumber() > 0;
  EXPECT_GE(measured, 2);
  EXPECT_LE(measured, 4);
  for (const auto& r : frames["ranks"].asArray()) EXPECT_EQ(r.find("RankQuality")->asNumber(), 0);
}

}  // namespace
