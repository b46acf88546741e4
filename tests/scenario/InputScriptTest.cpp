// A user's session on the Input page written as a pelinoxa-batch script: choose a video,
// browse it, exclude frames, look at the frame list, then drop still frames onto a new list.
#include <gtest/gtest.h>

#include "base/Files.h"
#include "base/Json.h"
#include "support/TestSupport.h"
#include "ui/BmpCodec.h"

namespace {

struct Session {
  pxtest::TempDir dir;
  std::string output;
  int Run(const std::string& script) { return pxtest::RunBatchScript(dir, script, &output); }
  px::Json Json(const std::string& name) { return px::Json::parse(px::ReadFileText(dir.file(name))); }
};

TEST(InputScript, SelectBrowseExclude_DumpsTheInputStateAndPreview) {
  Session s;
  std::string log;
  ASSERT_EQ(pxtest::Run(pxtest::ToolPath("pelinoxa-samplegen") + " --out " + s.dir.file("cap.avi") +
                            " --frames 9 --size 120x90 --drop 4",
                        &log),
            0)
      << log;
  int rc = s.Run(
      "# choose the video\n"
      "dialog cap.avi filter=1\n"
      "click SelectFileButton\n"
      "expect PreviewSlider.Max 8\n"
      "# browse to the dropped frame and past it, excluding frame 6 with the space bar\n"
      "set PreviewSlider.Value 4\n"
      "key PreviewSlider 32\n"
      "slide PreviewSlider 6\n"
      "key PreviewSlider 32\n"
      "click ShowFramelist\n"
      "dump input input.json\n"
      "dump frames frames.json\n"
      "picture PreviewImage preview.bmp\n");
  ASSERT_EQ(rc, 0) << s.output;
  px::Json in = s.Json("input.json");
  EXPECT_EQ(in["FrameCount"].asNumber(), 9);
  EXPECT_EQ(in["SelectedCount"].asNumber(), 7);  // the dropped frame and frame 6
  EXPECT_EQ(in["FramesLabel"].asString(), "Frame : 7 of 9 ( selected = 7) ");
  const auto& list = in["frameList"].asArray();
  ASSERT_EQ(list.size(), 9u);
  EXPECT_EQ(list[4].find("text")->asString(), "dropped frame");
  EXPECT_EQ(list[4].find("state")->asString(), "grayed");
  EXPECT_EQ(list[6].find("state")->asString(), "unchecked");
  EXPECT_EQ(list[5].find("text")->asString(), "Frame 6");
  px::Json frames = s.Json("frames.json");
  EXPECT_EQ(frames["frames"].asArray()[4].find("Dropped")->asNumber(), 1);
  ui::Bitmap24 preview = ui::LoadBmpFile(s.dir.file("preview.bmp"));
  EXPECT_EQ(preview.width(), 120);
  EXPECT_EQ(preview.height(), 90);
}

TEST(InputScript, DroppedFilesOnTheInputPage_BuildAStillSequence) {
  Session s;
  for (int i = 0; i < 3; ++i) {
    ui::Bitmap24 b(50, 40);
    b.fill(ui::Color(static_cast<uint8_t>(i * 60), 10, 10));
    ui::SaveBmpFile(s.dir.file("f" + std::to_string(i) + ".bmp"), b);
  }
  int rc = s.Run(
      "drop f0.bmp f1.bmp f2.bmp\n"
      "expect SelectFramesChecklist.Count 3\n"
      "click SelectFramesChecklist 2\n"
      "expect PreviewSlider.Value 2\n"
      "dump input input.json\n");
  ASSERT_EQ(rc, 0) << s.output;
  px::Json in = s.Json("input.json");
  EXPECT_EQ(in["InputKind"].asNumber(), 1);
  EXPECT_EQ(in["ImageWidth"].asNumber(), 50);
  EXPECT_EQ(in["Caption"].asString(), "Pelinoxa processing BMP: " + s.dir.file("f2.bmp"));
}

TEST(InputScript, ErrorBoxOfABrokenVideo_EndsTheScriptWithItsText) {
  Session s;
  pxtest::WriteText(s.dir.file("bad.avi"), "RIFF");
  int rc = s.Run("dialog bad.avi filter=1\nclick SelectFileButton\necho not reached\n");
  EXPECT_EQ(rc, 2);
  EXPECT_NE(s.output.find("[error] Failed to open AVI file"), std::string::npos) << s.output;
  EXPECT_EQ(s.output.find("not reached"), std::string::npos);
}

}  // namespace
