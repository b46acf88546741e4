// Projects through pelinoxa-batch: one run aligns, stacks and saves the project; a second,
// fresh run opens it with --open (and a third with the script's "open") and must show the same
// frame table, rank list, stack and settings.
#include <gtest/gtest.h>

#include "base/Files.h"
#include "base/Json.h"
#include "support/TestSupport.h"

namespace {

px::Json Load(const pxtest::TempDir& dir, const std::string& name) {
  return px::Json::parse(px::ReadFileText(dir.file(name)));
}

void ExpectSameWork(px::Json& a, px::Json& b) {
  const auto &fa = a["frames"].asArray(), &fb = b["frames"].asArray();
  ASSERT_EQ(fa.size(), fb.size());
  for (size_t i = 0; i < fa.size(); ++i)
    for (const char* k : {"ShiftX", "ShiftY", "Quality", "Difference", "Excluded"})
      EXPECT_EQ(fa[i].find(k)->asNumber(), fb[i].find(k)->asNumber()) << k << " " << i;
  const auto &ra = a["ranks"].asArray(), &rb = b["ranks"].asArray();
  for (size_t i = 0; i < ra.size(); ++i)
    EXPECT_EQ(ra[i].find("FrameIndex")->asNumber(), rb[i].find("FrameIndex")->asNumber()) << i;
}

TEST(ProjectScript, SavedAfterAligningAndStacking_OpensInAFreshProgramWithTheSameWork) {
  pxtest::TempDir dir;
  std::string log;
  ASSERT_EQ(pxtest::Run(pxtest::ToolPath("pelinoxa-samplegen") + " --out " + dir.file("cap.avi") +
                            " --frames 24 --size 160x120 --seed 9 --jitter 3",
                        &log),
            0)
      << log;
  std::string out;
  int rc = pxtest::RunBatchScript(dir,
                                  "dialog cap.avi filter=1\n"
                                  "click SelectFileButton\n"
                                  "set SearchArea.Value 6\n"
                                  "mouse PreviewImage down 80 60\n"
                                  "click Allignallbutton\n"
                                  "slide StackSlider 7\n"
                                  "click Stackbutton\n"
                                  "dump frames frames1.json\n"
                                  "dump stack stack1.json\n"
                                  "dialog night.pxp filter=1\n"
                                  "click SaveProject\n",
                                  &out, "save.txt");
  ASSERT_EQ(rc, 0) << out;
  ASSERT_TRUE(px::FileExists(dir.file("night.pxp"))) << out;
  px::DeleteFileIfExists(dir.file("pelinoxa.ini"));  // a fresh program: settings from the project only

  const std::string check =
      "expect SearchArea.Value 6\n"
      "expect StackSlider.Value 7\n"
      "dump frames frames2.json\n"
      "dump stack stack2.json\n";
  pxtest::WriteText(dir.file("load.txt"), check);
  rc = pxtest::Run("cd " + dir.path() + " && XDG_CONFIG_HOME=" + dir.file("cfg2") + " timeout 600 " +
                       pxtest::ToolPath("pelinoxa-batch") + " --script load.txt --open night.pxp",
                   &out);
  ASSERT_EQ(rc, 0) << out;
  px::Json f1 = Load(dir, "frames1.json"), f2 = Load(dir, "frames2.json");
  ExpectSameWork(f1, f2);
  px::Json s1 = Load(dir, "stack1.json"), s2 = Load(dir, "stack2.json");
  EXPECT_EQ(s1["planes"]["G"]["hash"].asString(), s2["planes"]["G"]["hash"].asString());

  px::DeleteFileIfExists(dir.file("pelinoxa.ini"));
  rc = pxtest::RunBatchScript(dir, "open night.pxp\n" + check, &out, "open.txt", "cfg3");
  ASSERT_EQ(rc, 0) << out;
  px::Json f3 = Load(dir, "frames2.json");
  ExpectSameWork(f1, f3);

  // Anything else is refused by name, and the script stops.
  rc = pxtest::RunBatchScript(dir, "open cap.avi\necho opened\n", &out, "bad.txt", "cfg4");
  EXPECT_NE(rc, 0);
  EXPECT_NE(out.find("neither a project (.pxp) nor a frame list (.pxl)"), std::string::npos) << out;
  EXPECT_EQ(out.find("opened"), std::string::npos);
}

}  // namespace
