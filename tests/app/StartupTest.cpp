// Start-up and settings through the batch program, as a user's first and later starts see them.
#include <gtest/gtest.h>

#include "base/Files.h"
#include "project/BigIni.h"
#include "support/TestSupport.h"

namespace {

struct BatchRun {
  int status = -1;
  std::string output;
};

// Runs pelinoxa-batch in `dir` (the program folder) with the per-user store under dir/config.
BatchRun RunBatch(const pxtest::TempDir& dir, const std::string& script) {
  BatchRun r;
  r.status = pxtest::RunBatchScript(dir, script, &r.output, "script.txt", "config");
  return r;
}

std::string Store(const pxtest::TempDir& dir, const std::string& section, const std::string& key) {
  project::TBigIniFile ini(dir.file("config/pelinoxa/pelinoxa.ini"));
  return ini.ReadString(section, key, "<absent>");
}

TEST(StartupTest, FirstStart_WritesFoldersAndLastType) {
  pxtest::TempDir dir;
  auto r = RunBatch(dir, "echo started\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Store(dir, "Files", "Dir"), dir.path());
  EXPECT_EQ(Store(dir, "Files", "SaveDir"), dir.path());
  EXPECT_EQ(Store(dir, "Files", "Lasttype"), "AVI");
  EXPECT_TRUE(px::FileExists(dir.file("pelinoxa.ini")));
}

TEST(StartupTest, MovingTheFrameListWindow_RecordsItsPositionAndTheNextStartRestoresIt) {
  pxtest::TempDir dir;
  auto r = RunBatch(dir, "move SelectFrameswindow 123 45\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Store(dir, "Toolwin", "FrameTop"), "45");
  EXPECT_EQ(Store(dir, "Toolwin", "Frameleft"), "123");
  // The next start places the window from the form-settings file.
  r = RunBatch(dir, "expect SelectFrameswindow.Left 123\nexpect SelectFrameswindow.Top 45\n");
  EXPECT_EQ(r.status, 0) << r.output;
}

TEST(StartupTest, StoredProperties_RoundTripThroughTheFormSettingsFile) {
  pxtest::TempDir dir;
  auto r = RunBatch(dir,
                    "set Bias.Value 77\nset BlurBox.Checked True\nset FFTsizeGroup.ItemIndex 2\n"
                    "set Processarea.Text 256\nset Trackpanel.Expand False\nset RxSlider5.Value 250\n"
                    "set FFTFilterspin.Value 12.5\nset interlaceinterpolation.ItemIndex 3\n");
  ASSERT_EQ(r.status, 0) << r.output;
  project::TBigIniFile ini(dir.file("pelinoxa.ini"));
  EXPECT_EQ(ini.ReadString("Form", "Bias_Value", ""), "77");
  EXPECT_EQ(ini.ReadString("Form", "BlurBox_Checked", ""), "True");
  EXPECT_EQ(ini.ReadString("Form", "FFTFilterspin_Value", ""), "12.5");
  EXPECT_EQ(ini.ReadString("Form", "Processarea_Text", ""), "256");
  r = RunBatch(dir,
               "expect Bias.Value 77\nexpect BlurBox.Checked True\nexpect FFTsizeGroup.ItemIndex 2\n"
               "expect Processarea.Text 256\nexpect Trackpanel.Expand False\nexpect RxSlider5.Value 250\n"
               "expect FFTFilterspin.Value 12.5\nexpect interlaceinterpolation.ItemIndex 3\n"
               "dump form form.json\n");
  EXPECT_EQ(r.status, 0) << r.output;
}

TEST(StartupTest, SearchAreaBeyondItsRange_IsClampedAndStored) {
  pxtest::TempDir dir;
  auto r = RunBatch(dir, "type SearchArea 12\nexpect SearchArea.Value 10\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Store(dir, "Settings", "SearchArea"), "10");
  r = RunBatch(dir, "type SearchArea 0\n");
  EXPECT_EQ(Store(dir, "Settings", "SearchArea"), "1");
}

TEST(StartupTest, OptionWrites_GoToTheSettingsSection) {
  pxtest::TempDir dir;
  auto r = RunBatch(dir, "click ColourStack\nclick AutoProcessBox\nclick Misalignwarning\ntype QualityFilter 20\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Store(dir, "Settings", "usecolour"), "1");
  EXPECT_EQ(Store(dir, "Settings", "Autoprocess"), "1");
  EXPECT_EQ(Store(dir, "Settings", "Misalignwarning"), "1");
  EXPECT_EQ(Store(dir, "Settings", "QualityFilter"), "20");
}

TEST(StartupTest, AdminFile_ShowsTheSecretOptions) {
  pxtest::TempDir dir;
  pxtest::WriteText(dir.file("admin.txt"), "");
  auto r = RunBatch(dir, "expect Secretoptions.Visible True\nexpect Drizzle2.Visible True\n");
  EXPECT_EQ(r.status, 0) << r.output;
  pxtest::TempDir plain;
  r = RunBatch(plain, "expect Secretoptions.Visible False\n");
  EXPECT_EQ(r.status, 0) << r.output;
}

TEST(StartupTest, MissingPreviousFolder_WarnsAndStartupGoesOn) {
  pxtest::TempDir dir;
  px::ForceDirectories(dir.file("config/pelinoxa"));
  pxtest::WriteText(dir.file("config/pelinoxa/pelinoxa.ini"), "[Files]\nDir=/no/such/folder\n");
  auto r = RunBatch(dir, "dump messages messages.json\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(px::ReadFileText(dir.file("messages.json")).find("Previously used directory /no/such/folder not found"),
            std::string::npos);
}

TEST(StartupTest, OnlyTheInputPageIsAvailableAtStart) {
  pxtest::TempDir dir;
  auto r = RunBatch(dir,
                    "expect InputPage.Visible True\nexpect AligningPage.Visible False\n"
                    "expect StackingPage.Visible False\nexpect WaveletPage.Visible False\n"
                    "expect FinalPage.Visible False\n");
  EXPECT_EQ(r.status, 0) << r.output;
}

TEST(BatchTest, UnansweredQuestionOrErrorBox_EndsTheScriptWithItsText) {
  pxtest::TempDir dir;
  auto r = RunBatch(dir, "answer Yes\nset Nothing.Value 3\n");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.output.find("script.txt:2: No control named Nothing"), std::string::npos) << r.output;
  r = RunBatch(dir, "expect Bias.Value 51\n");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.output.find("expected Bias.Value"), std::string::npos) << r.output;
}

// A value the control refuses is an error box, as a handler's error during "slide" is.
TEST(BatchTest, SetThatFails_EndsTheScriptThroughTheErrorBox) {
  pxtest::TempDir dir;
  auto r = RunBatch(dir, "set Bias.Value lots\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("[error] 'lots' is not a valid floating point value"), std::string::npos) << r.output;
}

TEST(BatchTest, ProgramFolderThatCannotBeWritten_KeepsFormSettingsInTheConfigFolder) {
  // /proc refuses new files even to root.
  pxtest::TempDir dir;
  pxtest::WriteText(dir.file("s.txt"), "set Bias.Value 66\n");
  std::string out;
  int rc = pxtest::Run("cd /proc && XDG_CONFIG_HOME=" + dir.file("config") + " " + pxtest::ToolPath("pelinoxa-batch") +
                           " --script " + dir.file("s.txt"),
                       &out);
  EXPECT_EQ(rc, 0) << out;
  project::TBigIniFile ini(dir.file("config/pelinoxa/form-settings.ini"));
  EXPECT_EQ(ini.ReadString("Form", "Bias_Value", ""), "66");
}

}  // namespace
