// The stack as a pelinoxa-batch script sees it: a single still frame opens its stack, the
// "stack" dump reports size, maximum, coverage and plane checksums, and the Save button
// writes the forms the user picks.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "base/Files.h"
#include "base/Json.h"
#include "support/TestSupport.h"
#include "ui/BmpCodec.h"

namespace {

TEST(StackScript, SingleFrameStackDumpedShownAndSaved) {
  pxtest::TempDir dir;
  ui::Bitmap24 b(32, 24);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 32; ++x) b.setPixel(x, y, ui::Color(x * 4, y * 4, 100));
  ui::SaveBmpFile(dir.file("one.bmp"), b);
  px::ForceDirectories(dir.file("out"));
  std::string output;
  int rc = pxtest::RunBatchScript(dir,
                    "dialog one.bmp filter=2\n"
                    "click SelectFileButton\n"
                    "dump stack stack.json\n"
                    "picture Stackimage shown.bmp\n"
                    "dialog out/stack filter=6\n"
                    "click SaveButton\n"
                    "dialog out/stack filter=3\n"
                    "click SaveButton\n",
                    &output);
  ASSERT_EQ(rc, 0) << output;
  px::Json j = px::Json::parse(px::ReadFileText(dir.file("stack.json")));
  EXPECT_EQ(j["width"].asNumber(), 32);
  EXPECT_EQ(j["height"].asNumber(), 24);
  EXPECT_EQ(j["coverageMin"].asNumber(), 1);
  EXPECT_EQ(j["coverageMax"].asNumber(), 1);
  // Luminance of the brightest pixel (124, 92, 100).
  EXPECT_NEAR(j["StackMax"].asNumber(), 0.299 * 124 + 0.587 * 92 + 0.114 * 100, 1e-3);
  EXPECT_EQ(j["planes"]["G"]["hash"].asString().size(), 16u);
  EXPECT_EQ(j["planes"]["R"]["sum"].asNumber(), 0);
  ui::Bitmap24 shown = ui::LoadBmpFile(dir.file("shown.bmp"));
  EXPECT_EQ(shown.width(), 32);
  EXPECT_EQ(shown.pixel(31, 23), ui::Color(255, 255, 255));
  EXPECT_TRUE(px::FileExists(dir.file("out/stack.tif")));
  EXPECT_TRUE(px::FileExists(dir.file("out/stack.fit")));  // luminance: one file
  if (pxtest::HaveProgram("tiffinfo")) {
    std::string info;
    pxtest::Run("tiffinfo " + dir.file("out/stack.tif"), &info);
    EXPECT_NE(info.find("Image Width: 32 Image Length: 24"), std::string::npos) << info;
    EXPECT_NE(info.find("Bits/Sample: 16"), std::string::npos) << info;
  }
}

// A save that cannot be written is an error box, so the script ends with status 2.
TEST(StackScript, FitsSaveIntoAMissingFolder_EndsTheScriptWithTheFileAndReason) {
  pxtest::TempDir dir;
  ui::SaveBmpFile(dir.file("one.bmp"), ui::Bitmap24(8, 8));
  std::string output;
  int rc = pxtest::RunBatchScript(dir, "dialog one.bmp filter=2\nclick SelectFileButton\n"
                                       "dialog missing/stack filter=3\nclick SaveButton\necho saved\n",
                                  &output);
  EXPECT_EQ(rc, 2) << output;
  EXPECT_NE(output.find("[error] Cannot write file \"" + dir.file("missing/stack.fit") + "\": " +
                        std::strerror(ENOENT)),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("saved"), std::string::npos) << output;
}

}  // namespace
