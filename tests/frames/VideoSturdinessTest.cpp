// Videos that change or lie under the reader: an idx1 index cut short, a file shortened by
// another program while it is read, and input paths that are no readable file.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include "AviTestHelpers.h"
#include "frames/AviContainer.h"
#include "frames/AviWriter.h"
#include "frames/FileCheck.h"
#include "frames/MapGuard.h"
#include "frames/VideoSource.h"

using namespace frames;
using namespace avitest;

namespace {

// n frames of w x h, 24-bit, one chunk each; frame i shows TestPicture(w, h, i).
void WriteVideo(const std::string& path, int n, int w, int h) {
  AviWriterOptions o;
  o.width = w;
  o.height = h;
  AviWriter writer(path, o);
  Bytes chunk;
  for (int i = 0; i < n; ++i) {
    PackBgr24(TestPicture(w, h, i), true, chunk);
    writer.addFrame(chunk);
  }
  writer.finish();
}

Bytes Frame24(int seed) {
  Bytes out;
  PackBgr24(TestPicture(4, 2, seed), true, out);
  return out;
}

AviSpec SixFrames() {
  AviSpec s;
  s.strh = Strh("vids", 0, 6);
  s.strf = Bih(4, 2, 24, 0);
  for (int i = 0; i < 6; ++i) s.frames.push_back({Frame24(i)});
  return s;
}

}  // namespace

TEST(VideoSturdiness, Idx1CutShort_TheUnlistedFramesAreFoundByScanning) {
  Bytes file = BuildAvi(SixFrames());
  // Shrink the idx1 chunk to its first three entries, as a capture stopped while writing it.
  size_t idx = file.size() - 6 * 16 - 8;
  ASSERT_EQ(std::memcmp(file.data() + idx, "idx1", 4), 0);
  const uint32_t three = 3 * 16;
  std::memcpy(file.data() + idx + 4, &three, 4);
  auto v = OpenVideoBytes(Own(file));
  ASSERT_EQ(v->frameCount(), 6);
  ui::Bitmap24 out;
  for (int i : {2, 3, 5}) {
    v->decodeFrame(i, out);
    EXPECT_EQ(out, TestPicture(4, 2, i)) << i;
  }
  // A whole index takes no scan: its dropped frame stays dropped.
  AviSpec s = SixFrames();
  s.frames[4].data.clear();
  auto w = OpenVideoBytes(Own(BuildAvi(s)));
  EXPECT_EQ(w->frameCount(), 6);
  EXPECT_FALSE(w->hasData(4));
  EXPECT_NE(w->describe().find("idx1"), std::string::npos);
}

TEST(VideoSturdiness, FileShortenedAfterOpening_FailsTheLostFramesOnly) {
  pxtest::TempDir dir;
  const std::string path = dir.file("growing.avi");
  WriteVideo(path, 12, 64, 48);  // 9 KiB a frame
  auto v = OpenVideo(path);
  const off_t size = static_cast<off_t>(pxtest::ReadBytes(path).size());
  ASSERT_EQ(::truncate(path.c_str(), size / 2), 0);
  ui::Bitmap24 out;
  v->decodeFrame(1, out);
  EXPECT_EQ(out, TestPicture(64, 48, 1));
  for (int i : {10, 11, 10}) {
    try {
      v->decodeFrame(i, out);
      ADD_FAILURE() << "frame " << i << " decoded from a shortened file";
    } catch (const px::PelinoxaError& e) {
      EXPECT_STREQ(e.what(), avierr::Shrunk);
    }
  }
}

// The guard itself: a read of a page past the file's new end inside a scope reads zero and is
// noted; the mapping is marked damaged.
TEST(VideoSturdiness, GuardedMapping_TurnsAFaultPastTheEndIntoANote) {
  pxtest::TempDir dir;
  const std::string path = dir.file("pages.bin");
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  pxtest::WriteBytes(path, Bytes(4 * page, 7));
  int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  void* m = ::mmap(nullptr, 4 * page, PROT_READ, MAP_PRIVATE, fd, 0);
  ASSERT_NE(m, MAP_FAILED);
  const auto* bytes = static_cast<const volatile uint8_t*>(m);
  int slot = GuardMapping(static_cast<const uint8_t*>(m), 4 * page);
  ASSERT_GE(slot, 0);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(page)), 0);
  {
    MappedReadScope scope;
    EXPECT_EQ(bytes[10], 7);
    EXPECT_FALSE(scope.caught());
    EXPECT_EQ(bytes[3 * page + 5], 0);
    EXPECT_TRUE(scope.caught());
  }
  {
    MappedReadScope later;
    EXPECT_FALSE(later.caught());
  }
  EXPECT_TRUE(MappingDamaged(slot));
  UnguardMapping(slot);
  ::munmap(m, 4 * page);
  ::close(fd);
}

TEST(VideoSturdiness, PathsThatAreNoReadableFile_SayWhatTheyAre) {
  pxtest::TempDir dir;
  const std::string fifo = dir.file("pipe.avi"), file = dir.file("ok.avi"), locked = dir.file("locked.avi");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  WriteVideo(file, 1, 8, 6);
  WriteVideo(locked, 1, 8, 6);
  ::chmod(locked.c_str(), 0);
  EXPECT_EQ(UnreadableFileReason(file), "");
  EXPECT_EQ(UnreadableFileReason(dir.file("gone.avi")), "no such file");
  EXPECT_EQ(UnreadableFileReason(dir.path()), "it is a folder, not a file");
  EXPECT_EQ(UnreadableFileReason(fifo), "it is a pipe (FIFO), not a file");
  auto error = [](const std::string& p) {
    try {
      OpenVideo(p);
    } catch (const px::PelinoxaError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  // Opening a FIFO would wait for a writer: it is refused before.
  EXPECT_EQ(error(fifo), "Failed to open AVI file: it is a pipe (FIFO), not a file (\"" + fifo + "\")");
  EXPECT_EQ(error(dir.path()), "Failed to open AVI file: it is a folder, not a file (\"" + dir.path() + "\")");
  // Permissions bind only other users than root: ask as "nobody" in a child process.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
    const std::string want = "Failed to open AVI file: permission denied (\"" + locked + "\")";
    _exit(UnreadableFileReason(locked) == "permission denied" && error(locked) == want ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
