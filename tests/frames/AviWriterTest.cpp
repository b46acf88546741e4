// The AVI writer: ffmpeg reads what it writes, and OpenDML files past 4 GiB (written sparse)
// come back through 64-bit offsets.
#include <gtest/gtest.h>

#include <filesystem>

#include "AviTestHelpers.h"
#include "base/Files.h"
#include "frames/AviContainer.h"
#include "frames/AviWriter.h"
#include "frames/VideoSource.h"

using namespace frames;
using namespace avitest;

namespace {

ui::Bitmap24 GreyPicture(int w, int h, int seed) {
  ui::Bitmap24 b = TestPicture(w, h, seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t g = b.pixel(x, y).g;
      b.setPixel(x, y, ui::Color(g, g, g));
    }
  return b;
}

std::vector<uint32_t> GreyRamp() {
  std::vector<uint32_t> p;
  for (uint32_t i = 0; i < 256; ++i) p.push_back(i << 16 | i << 8 | i);
  return p;
}

}  // namespace

TEST(AviWriter, EveryWrittenFormat_ReadsBackInFfmpegAndInOurReader) {
  PX_REQUIRE_PROGRAM("ffmpeg");
  pxtest::TempDir dir;
  const int w = 37, h = 21;  // odd sizes: padded DIB rows
  struct Case {
    std::string name;
    AviWriterOptions options;
    bool grey;
  };
  std::vector<Case> cases;
  auto add = [&](std::string name, uint32_t compression, uint16_t bits, bool topDown, std::vector<uint32_t> palette,
                 AviWriterOptions::Index index, bool grey) {
    AviWriterOptions o;
    o.width = w;
    o.height = h;
    o.compression = compression;
    o.bitCount = bits;
    o.topDown = topDown;
    o.palette = std::move(palette);
    o.index = index;
    o.riffLimit = 8 * 1024;
    cases.push_back({std::move(name), o, grey});
  };
  using I = AviWriterOptions::Index;
  add("bgr24", 0, 24, false, {}, I::Idx1, false);
  add("bgr24-topdown", 0, 24, true, {}, I::Idx1Absolute, false);
  add("grey-palette", 0, 8, false, GreyRamp(), I::Idx1, true);
  add("y800", FourCCFromText("Y800"), 8, false, {}, I::Idx1, true);
  add("bgr24-opendml", 0, 24, false, {}, I::OpenDml, false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.file(c.name + ".avi");
    std::vector<ui::Bitmap24> pictures;
    {
      AviWriter writer(path, c.options);
      Bytes chunk;
      for (int i = 0; i < 6; ++i) {
        pictures.push_back(c.grey ? GreyPicture(w, h, i) : TestPicture(w, h, i));
        if (c.grey) PackGrey8(pictures.back(), c.options.compression == 0, chunk);
        else PackBgr24(pictures.back(), !c.options.topDown, chunk);
        writer.addFrame(chunk);
      }
      writer.finish();
    }
    std::vector<ui::Bitmap24> decoded = FfmpegFrames(path, w, h, dir.path());
    ASSERT_EQ(decoded.size(), pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(decoded[i], pictures[i]) << "ffmpeg, frame " << i;
    auto v = OpenVideo(path);
    ASSERT_EQ(v->frameCount(), 6);
    ui::Bitmap24 out;
    for (int i = 0; i < 6; ++i) {
      v->decodeFrame(i, out);
      EXPECT_EQ(out, pictures[static_cast<size_t>(i)]) << "ours, frame " << i;
    }
  }
}

TEST(AviWriter, FailedWrite_LeavesThePreviousFileAndNoTemporary) {
  pxtest::TempDir dir;
  std::string path = dir.file("keep.avi");
  pxtest::WriteText(path, "old");
  {
    AviWriterOptions o;
    o.width = 4;
    o.height = 4;
    AviWriter w(path, o);
    w.addFrame(Bytes(48, 1));
    // destroyed without finish(): as if the program stopped half-way
  }
  EXPECT_EQ(px::ReadFileText(path), "old");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(AviWriter, SparseOpenDmlFileOverFourGiB_DecodesFramesPastTheLimit) {
  pxtest::TempDir dir;
  std::string path = dir.file("huge.avi");
  const int w = 1920, h = 1080;
  const int frames = 720;  // 720 x 6.2 MB = 4.5 GB, written as holes except a few frames
  AviWriterOptions o;
  o.width = w;
  o.height = h;
  o.index = AviWriterOptions::Index::OpenDml;
  Bytes chunk;
  {
    AviWriter writer(path, o);
    for (int i = 0; i < frames; ++i) {
      if (i == 0 || i == 400 || i == frames - 1) {
        PackBgr24(TestPicture(w, h, i), true, chunk);
        writer.addFrame(chunk);
      } else if (i == 500) {
        writer.addFrame(nullptr, 0);
      } else {
        writer.addHole(writer.frameBytes());
      }
    }
    writer.finish();
  }
  px::MappedFile file(path);
  ASSERT_GT(file.size(), 4ull << 30);
  AviContainer avi = AviContainer::Parse(file.data(), file.size());
  EXPECT_EQ(avi.indexKind, AviIndexKind::OpenDml);
  ASSERT_EQ(avi.samples.size(), static_cast<size_t>(frames));
  EXPECT_GT(avi.samples.back().offset, 4ull << 30);

  auto v = OpenVideo(path);
  EXPECT_FALSE(v->hasData(500));
  ui::Bitmap24 out;
  for (int i : {frames - 1, 400, 0}) {
    v->decodeFrame(i, out);
    EXPECT_EQ(out, TestPicture(w, h, i)) << i;
  }
  v->decodeFrame(300, out);  // a hole reads as black
  EXPECT_EQ(out.pixel(5, 5), ui::Color(0, 0, 0));
}
