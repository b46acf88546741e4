// Saving the stack where it cannot be saved: every failure shows an error naming the file and
// the reason, a colour FITS save replaces all three files or none, the overwrite question names
// the file, and a read-only file is refused rather than replaced.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "AppFixture.h"
#include "ui/BmpCodec.h"

namespace {

namespace fs = std::filesystem;

class StackSaveFailure : public pxtest::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ui::Bitmap24 b(24, 16);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x) b.setPixel(x, y, ui::Color(x * 10, y * 10, 50));
    ui::SaveBmpFile(dir.file("a.bmp"), b);
    get<ui::CheckBox>("ColourStack").setChecked(true);
    SelectInput({dir.file("a.bmp")}, 2);  // one still frame opens its stack
    ASSERT_TRUE(get<ui::Button>("SaveButton").enabled());
    px::ForceDirectories(dir.file("out"));
  }
  void Save(const std::string& file, int filter) {
    ui.queueDialog({file}, filter);
    get<ui::Button>("SaveButton").userClick();
  }
  // The error boxes shown since the last call.
  std::vector<std::string> Errors() {
    std::vector<std::string> out;
    for (size_t i = seen_; i < ui.messages.size(); ++i)
      if (ui.messages[i].kind == ui::MsgKind::Error) out.push_back(ui.messages[i].text);
    seen_ = ui.messages.size();
    return out;
  }
  size_t seen_ = 0;
};

TEST_F(StackSaveFailure, EveryFormIntoAMissingFolder_ShowsTheFileAndTheReason) {
  Errors();
  const std::string named[] = {"stack.bmp", "stack.jpg", "stack_R.fit", "stack_R.fit", "stack_R.fit", "stack.tif"};
  for (int filter = 1; filter <= 6; ++filter) {
    Save(dir.file("missing/stack"), filter);
    auto e = Errors();
    ASSERT_EQ(e.size(), 1u) << filter;
    EXPECT_NE(e[0].find("\"" + dir.file("missing/" + named[filter - 1]) + "\""), std::string::npos) << e[0];
    EXPECT_NE(e[0].find(std::strerror(ENOENT)), std::string::npos) << e[0];
  }
  EXPECT_FALSE(fs::exists(dir.file("missing")));
}

TEST_F(StackSaveFailure, FitsOntoAFolderOrBelowAFile_ShowsAnError) {
  px::ForceDirectories(dir.file("out/s_B.fit"));
  pxtest::WriteText(dir.file("plain"), "x");
  Errors();
  Save(dir.file("out/s.fit"), 4);
  auto e = Errors();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_NE(e[0].find(dir.file("out/s_B.fit")), std::string::npos) << e[0];
  EXPECT_FALSE(px::FileExists(dir.file("out/s_R.fit")));  // none of the three
  Save(dir.file("plain/s.fitx"), 5);
  e = Errors();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_NE(e[0].find(std::strerror(ENOTDIR)), std::string::npos) << e[0];
}

// The disk fills while green is written: red and blue keep their old content.
TEST_F(StackSaveFailure, ColourFitsOnAFullDisk_KeepsTheOldSet) {
  pxtest::WriteText(dir.file("out/s_R.fit"), "old red");
  pxtest::WriteText(dir.file("out/s_B.fit"), "old blue");
  fs::create_symlink("/dev/full", dir.file("out/s_G.fit"));
  ui.queueAnswer(ui::DialogResult::Yes);
  ui.queueAnswer(ui::DialogResult::Yes);
  Errors();
  Save(dir.file("out/s.fit"), 3);
  EXPECT_TRUE(SawMessage(px::OverwriteQuestion(dir.file("out/s_R.fit"))));
  EXPECT_TRUE(SawMessage(px::OverwriteQuestion(dir.file("out/s_B.fit"))));
  auto e = Errors();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_NE(e[0].find(dir.file("out/s_G.fit")), std::string::npos) << e[0];
  EXPECT_NE(e[0].find(std::strerror(ENOSPC)), std::string::npos) << e[0];
  EXPECT_EQ(px::ReadFileText(dir.file("out/s_R.fit")), "old red");
  EXPECT_EQ(px::ReadFileText(dir.file("out/s_B.fit")), "old blue");
  EXPECT_TRUE(fs::is_symlink(dir.file("out/s_G.fit")));
}

TEST_F(StackSaveFailure, ReadOnlyFile_IsAskedAboutByNameThenRefused) {
  const std::string file = dir.file("out/stack.tif");
  pxtest::WriteText(file, "keep");
  ::chmod(file.c_str(), 0444);
  ui.queueAnswer(ui::DialogResult::Yes);
  Errors();
  Save(dir.file("out/stack"), 6);
  EXPECT_TRUE(SawMessage(px::OverwriteQuestion(file)));
  auto e = Errors();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_NE(e[0].find("read-only"), std::string::npos) << e[0];
  EXPECT_EQ(px::ReadFileText(file), "keep");
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST_F(StackSaveFailure, LinkedFile_IsReplacedThroughTheLink) {
  px::ForceDirectories(dir.file("store"));
  pxtest::WriteText(dir.file("store/real.bmp"), "old");
  fs::create_symlink(dir.file("store/real.bmp"), dir.file("out/stack.bmp"));
  ui.queueAnswer(ui::DialogResult::Yes);
  Save(dir.file("out/stack"), 1);
  EXPECT_TRUE(fs::is_symlink(dir.file("out/stack.bmp")));
  EXPECT_EQ(ui::LoadBmpFile(dir.file("store/real.bmp")).width(), 24);
}

}  // namespace
