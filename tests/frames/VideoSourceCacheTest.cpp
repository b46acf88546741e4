// The cache of open video sources: one open per file, reopened when the file changes.
#include <gtest/gtest.h>

#include "AviTestHelpers.h"
#include "frames/AviWriter.h"
#include "frames/VideoSource.h"

using namespace frames;
using namespace avitest;

namespace {

void WriteVideo(const std::string& path, int frames, int seed = 0) {
  AviWriterOptions o;
  o.width = 8;
  o.height = 6;
  AviWriter w(path, o);
  Bytes chunk;
  for (int i = 0; i < frames; ++i) {
    PackBgr24(TestPicture(8, 6, seed + i), true, chunk);
    w.addFrame(chunk);
  }
  w.finish();
}

class VideoSourceCacheTest : public ::testing::Test {
 protected:
  void SetUp() override { VideoSourceCache::Clear(); }
  void TearDown() override { VideoSourceCache::Clear(); }
  pxtest::TempDir dir;
};

}  // namespace

TEST_F(VideoSourceCacheTest, SameUnchangedFile_ReturnsTheOpenSource) {
  std::string path = dir.file("a.avi");
  WriteVideo(path, 3);
  auto first = VideoSourceCache::Get(path);
  auto again = VideoSourceCache::Get(path);
  EXPECT_EQ(first.get(), again.get());
  EXPECT_EQ(again->frameCount(), 3);
}

TEST_F(VideoSourceCacheTest, ReplacedOrRewrittenFile_IsOpenedAnew) {
  std::string path = dir.file("a.avi");
  WriteVideo(path, 3);
  auto first = VideoSourceCache::Get(path);
  WriteVideo(path, 5, 10);  // replaced by rename: a new file
  auto second = VideoSourceCache::Get(path);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(second->frameCount(), 5);
  ui::Bitmap24 out;
  second->decodeFrame(0, out);
  EXPECT_EQ(out, TestPicture(8, 6, 10));
  // The old source stays usable for whoever still holds it.
  first->decodeFrame(2, out);
  EXPECT_EQ(out, TestPicture(8, 6, 2));
}

TEST_F(VideoSourceCacheTest, LeastRecentlyUsedFile_IsClosedPastTheCapacity) {
  std::vector<std::string> paths;
  for (size_t i = 0; i <= VideoSourceCache::kCapacity; ++i) {
    paths.push_back(dir.file("v" + std::to_string(i) + ".avi"));
    WriteVideo(paths.back(), 1);
  }
  auto oldest = VideoSourceCache::Get(paths[0]);
  auto kept = VideoSourceCache::Get(paths[1]);
  for (size_t i = 2; i < paths.size(); ++i) VideoSourceCache::Get(paths[i]);
  VideoSourceCache::Get(paths[1]);  // used again: stays
  for (size_t i = 2; i < paths.size(); ++i) VideoSourceCache::Get(paths[i]);
  EXPECT_EQ(VideoSourceCache::Get(paths[1]).get(), kept.get());
  EXPECT_NE(VideoSourceCache::Get(paths[0]).get(), oldest.get());
  VideoSourceCache::Forget(paths[1]);
  EXPECT_NE(VideoSourceCache::Get(paths[1]).get(), kept.get());
}

TEST_F(VideoSourceCacheTest, MissingOrBrokenFile_RaisesAndCachesNothing) {
  std::string path = dir.file("gone.avi");
  EXPECT_EQ(ErrorOf([&] { VideoSourceCache::Get(path); }), "Failed to open AVI file: no such file (\"" + path + "\")");
  AviSpec empty;
  empty.strf = Bih(8, 6, 24, 0);
  pxtest::WriteBytes(path, BuildAvi(empty));  // no frames at all
  EXPECT_EQ(ErrorOf([&] { VideoSourceCache::Get(path); }), "The video holds no frames (\"" + path + "\")");
  WriteVideo(path, 2);
  EXPECT_EQ(VideoSourceCache::Get(path)->frameCount(), 2);
}
