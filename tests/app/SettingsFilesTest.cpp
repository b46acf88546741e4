// The form-settings file and the per-user store when writing fails: the old file stays, and the
// problem is logged instead of vanishing. A write that fails is made with a file-size limit,
// which holds for root too.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include "AppFixture.h"
#include "app/UserSettings.h"
#include "base/Error.h"
#include "project/BigIni.h"
#include "project/FormSnapshot.h"

namespace {

// While it lives, no file may grow beyond `bytes` (writes fail with EFBIG).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit l = old_;
    l.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &l);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

bool Mentions(const std::vector<std::string>& lines, const std::string& part) {
  for (const auto& l : lines)
    if (l.find(part) != std::string::npos) return true;
  return false;
}

class SettingsFiles : public pxtest::AppFixture {};

TEST_F(SettingsFiles, FormSettingsFile_IsKeptWhenItsRewriteFails) {
  const std::string file = dir.file("pelinoxa.ini");
  const std::string before = px::ReadFileText(file);
  ASSERT_GT(before.size(), 1000u);
  get<ui::SpinEdit>("Bias").setValue(get<ui::SpinEdit>("Bias").value() + 1);
  {
    FileSizeLimit limit(512);
    mf->FormClose();
  }
  EXPECT_EQ(px::ReadFileText(file), before);
  EXPECT_TRUE(Mentions(ui.problems, "\"" + file + "\"")) << (ui.problems.empty() ? "" : ui.problems[0]);
  // Once it can be written again, it is.
  mf->FormClose();
  EXPECT_NE(px::ReadFileText(file), before);
}

TEST_F(SettingsFiles, EveryStoredPropertyNamesAControlOfTheForm) {
  for (const auto& dotted : project::StoredProperties()) EXPECT_NO_THROW(form().getProperty(dotted)) << dotted;
  ui::Form empty;
  project::TBigIniFile ini("");
  EXPECT_THROW(project::StoreFormSnapshot(empty, ini), px::PelinoxaError);
}

TEST_F(SettingsFiles, HandEditedValueThatDoesNotFit_IsLoggedAndSkipped) {
  pxtest::WriteText(dir.file("pelinoxa.ini"), "[Form]\nBias_Value=lots\nBlurBox_Checked=True\n");
  ui::HeadlessUi ui2;
  app::MainForm second(ui2);
  app::StartupOptions opts;
  opts.settingsPath = dir.file("config/pelinoxa.ini");
  second.FormCreate(opts);
  EXPECT_TRUE(second.form().get<ui::CheckBox>("BlurBox").checked());
  ASSERT_EQ(ui2.problems.size(), 1u);
  EXPECT_NE(ui2.problems[0].find("Bias_Value=lots"), std::string::npos) << ui2.problems[0];
}

TEST(UserSettingsStore, UnusableFile_IsReportedAndTheStoreStaysClosed) {
  pxtest::TempDir dir;
  pxtest::WriteText(dir.file("plain"), "a file, not a folder");
  std::vector<std::string> problems;
  app::UserSettings store(dir.file("plain/pelinoxa.ini"));
  store.onProblem = [&](const std::string& t) { problems.push_back(t); };
  EXPECT_FALSE(store.Open());
  EXPECT_FALSE(store.isOpen());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find(dir.file("plain/pelinoxa.ini")), std::string::npos) << problems[0];

  app::UserSettings good(dir.file("cfg/pelinoxa.ini"));
  good.onProblem = [&](const std::string& t) { problems.push_back(t); };
  ASSERT_TRUE(good.Open());
  good.writeString("Files", "Dir", "/a");
  {
    FileSizeLimit limit(8);
    good.writeString("Files", "SaveDir", std::string(100, 'x'));
  }
  EXPECT_EQ(problems.size(), 2u);
  EXPECT_EQ(project::TBigIniFile(dir.file("cfg/pelinoxa.ini")).ReadString("Files", "Dir", ""), "/a");
}

}  // namespace
