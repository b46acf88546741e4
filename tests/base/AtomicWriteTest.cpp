// Replacing files: links written through, read-only files refused, modes kept, devices written
// in place, and several files put in place together or not at all. Every case here fails the
// same way for root (CI runs as root).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "base/Error.h"
#include "base/Files.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using pxtest::TempDir;

std::string Text(const std::string& path) { return px::ReadFileText(path); }

std::vector<std::string> Names(const TempDir& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir.path())) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const px::PelinoxaError& e) {
    return e.what();
  }
  return "";
}

void Write(const std::string& path, const std::string& text) { px::WriteFileAtomic(path, std::string_view(text)); }

TEST(AtomicWrite, SymbolicLink_IsWrittenThroughToItsTarget) {
  TempDir dir;
  px::ForceDirectories(dir.file("real"));
  Write(dir.file("real/t.txt"), "old");
  fs::create_symlink("real/t.txt", dir.file("link.txt"));
  Write(dir.file("link.txt"), "new");
  EXPECT_TRUE(fs::is_symlink(dir.file("link.txt")));
  EXPECT_EQ(Text(dir.file("real/t.txt")), "new");
  // A dangling link creates its target.
  fs::create_symlink("real/made.txt", dir.file("dangling.txt"));
  Write(dir.file("dangling.txt"), "made");
  EXPECT_TRUE(fs::is_symlink(dir.file("dangling.txt")));
  EXPECT_EQ(Text(dir.file("real/made.txt")), "made");
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"dangling.txt", "link.txt", "real"}));
}

TEST(AtomicWrite, ReadOnlyFile_IsRefusedAndKeepsItsModeAndContent) {
  TempDir dir;
  const std::string f = dir.file("ro.txt");
  Write(f, "keep");
  ::chmod(f.c_str(), 0444);
  const std::string e = ErrorOf([&] { Write(f, "lost"); });
  EXPECT_NE(e.find(f), std::string::npos) << e;
  EXPECT_NE(e.find("read-only"), std::string::npos) << e;
  EXPECT_EQ(Text(f), "keep");
  struct stat st;
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_EQ(Names(dir), std::vector<std::string>{"ro.txt"});
}

TEST(AtomicWrite, ReplacedFile_KeepsItsPermissions) {
  TempDir dir;
  const std::string f = dir.file("private.txt");
  Write(f, "a");
  ::chmod(f.c_str(), 0600);
  Write(f, "b");
  struct stat st;
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(Text(f), "b");
}

TEST(AtomicWrite, UnwritablePlaces_NameTheFileAndTheReason) {
  TempDir dir;
  Write(dir.file("plain"), "x");
  px::ForceDirectories(dir.file("folder.txt"));
  struct Case {
    std::string path;
    int err;
  } cases[] = {{dir.file("missing/a.txt"), ENOENT},
               {dir.file("folder.txt"), EISDIR},
               {dir.file("plain/a.txt"), ENOTDIR},
               {"/dev/full", ENOSPC}};
  for (const auto& c : cases) {
    const std::string e = ErrorOf([&] { Write(c.path, std::string(100000, 'x')); });
    EXPECT_NE(e.find("\"" + c.path + "\""), std::string::npos) << e;
    EXPECT_NE(e.find(std::strerror(c.err)), std::string::npos) << e;
  }
  EXPECT_TRUE(px::DirectoryExists(dir.file("folder.txt")));
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"folder.txt", "plain"}));
  // A device is written in place, never replaced by a plain file.
  EXPECT_NO_THROW(Write("/dev/null", "x"));
  struct stat st;
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(AtomicWrite, CommitTogether_RestoresEveryOldFileWhenOneCannotBePutInPlace) {
  TempDir dir;
  Write(dir.file("a"), "old a");
  Write(dir.file("b"), "old b");
  px::AtomicFileWriter a(dir.file("a")), n(dir.file("new")), b(dir.file("b"));
  a.write("new a");
  n.write("new file");
  b.write("new b");
  // Something takes b's place after the files were written: its rename fails.
  fs::remove(dir.file("b"));
  px::ForceDirectories(dir.file("b/inside"));
  const std::string e = ErrorOf([&] { px::AtomicFileWriter::CommitTogether({&a, &n, &b}); });
  EXPECT_NE(e.find(dir.file("b")), std::string::npos) << e;
  EXPECT_EQ(Text(dir.file("a")), "old a");
  EXPECT_FALSE(fs::exists(dir.file("new")));
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"a", "b"}));
}

TEST(AtomicWrite, CommitTogether_ReplacesAllAndLeavesNoHelperFiles) {
  TempDir dir;
  Write(dir.file("a"), "old a");
  {
    px::AtomicFileWriter a(dir.file("a")), b(dir.file("b"));
    a.write("new a");
    b.write("new b");
    px::AtomicFileWriter::CommitTogether({&a, &b});
  }
  EXPECT_EQ(Text(dir.file("a")), "new a");
  EXPECT_EQ(Text(dir.file("b")), "new b");
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"a", "b"}));
  // A writer given up before its commit leaves nothing behind.
  {
    px::AtomicFileWriter c(dir.file("a"));
    c.write("abandoned");
  }
  EXPECT_EQ(Text(dir.file("a")), "new a");
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
