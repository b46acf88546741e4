// Videos written by the ffmpeg program decode to the same pictures ffmpeg itself decodes:
// every uncompressed AVI format through the native reader, compressed codecs and other
// containers through the FFmpeg layer, OpenDML files past 1 GiB, and long videos.
#include <gtest/gtest.h>

#include <algorithm>

#include "AviTestHelpers.h"
#include "base/Error.h"
#include "frames/VideoSource.h"

using namespace frames;
using namespace avitest;

namespace {

struct Made {
  std::string path;
  std::vector<ui::Bitmap24> reference;  // ffmpeg's own decoding of the file
};

// Writes `frames` frames of ffmpeg's test picture with the given encoder options.
Made MakeWithFfmpeg(const pxtest::TempDir& dir, const std::string& name, const std::string& size, int frames,
                    const std::string& encode, const std::string& source = "testsrc") {
  Made m;
  m.path = dir.file(name);
  std::string log;
  int rc = pxtest::Run("ffmpeg -v error -y -f lavfi -i " + source + "=size=" + size + ":rate=25 -frames:v " +
                           std::to_string(frames) + " " + encode + " '" + m.path + "'",
                       &log);
  EXPECT_EQ(rc, 0) << log;
  int w = std::stoi(size.substr(0, size.find('x')));
  int h = std::stoi(size.substr(size.find('x') + 1));
  m.reference = FfmpegFrames(m.path, w, h, dir.path());
  return m;
}

// Decodes every frame and compares with ffmpeg's pictures; returns the largest difference.
int CompareAll(VideoSource& v, const std::vector<ui::Bitmap24>& reference) {
  EXPECT_EQ(static_cast<size_t>(v.frameCount()), reference.size()) << v.describe();
  ui::Bitmap24 out;
  int worst = 0;
  for (size_t i = 0; i < reference.size() && i < static_cast<size_t>(v.frameCount()); ++i) {
    v.decodeFrame(v.startFrame() + static_cast<int32_t>(i), out);
    worst = std::max(worst, MaxDifference(out, reference[i]));
  }
  return worst;
}

}  // namespace

TEST(AviFfmpegInterop, UncompressedFormats_DecodeNativelyLikeFfmpeg) {
  PX_REQUIRE_PROGRAM("ffmpeg");
  pxtest::TempDir dir;
  struct Case {
    std::string pixfmt, extra, size;
    int tolerance;  // YUV: our BT.601 tables against swscale's arithmetic
  };
  const Case cases[] = {
      {"bgr24", "", "64x48", 0},      {"bgr24", "-flipped_raw_rgb 1", "63x47", 0}, {"bgra", "", "64x48", 0},
      {"rgb555le", "", "63x47", 0},   {"pal8", "", "63x47", 0},                    {"gray", "", "63x47", 0},
      {"yuyv422", "", "64x48", 3},    {"uyvy422", "", "64x48", 3},                 {"yvyu422", "", "64x48", 3},
      {"yuv420p", "", "64x48", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pixfmt + " " + c.extra + " " + c.size);
    Made m = MakeWithFfmpeg(dir, c.pixfmt + ".avi", c.size, 5, "-c:v rawvideo -pix_fmt " + c.pixfmt + " " + c.extra);
    ASSERT_EQ(m.reference.size(), 5u);
    auto v = OpenVideo(m.path);
    EXPECT_EQ(v->describe().find("FFmpeg"), std::string::npos) << v->describe();
    EXPECT_LE(CompareAll(*v, m.reference), c.tolerance);
    if (c.tolerance > 0) {
      // Rounding only, no bias: the mean difference stays well below one level.
      ui::Bitmap24 out;
      v->decodeFrame(2, out);
      EXPECT_LT(MeanDifference(out, m.reference[2]), 0.6);
    }
  }
}

TEST(AviFfmpegInterop, CompressedAvis_DecodeThroughFfmpegInAnyOrder) {
  PX_REQUIRE_PROGRAM("ffmpeg");
  pxtest::TempDir dir;
  struct Case {
    std::string name, encode;
  };
  const Case cases[] = {
      {"mjpeg", "-c:v mjpeg -q:v 3"},
      {"ffv1", "-c:v ffv1 -g 6"},
      {"huffyuv", "-c:v huffyuv"},
      {"mpeg4", "-c:v mpeg4 -bf 2 -g 8 -q:v 4"},
      {"h264", "-c:v libx264 -bf 2 -g 8 -preset ultrafast"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Made m = MakeWithFfmpeg(dir, c.name + ".avi", "96x64", 24, c.encode);
    if (m.reference.empty()) continue;  // encoder missing from this ffmpeg build
    auto v = OpenVideo(m.path);
    EXPECT_NE(v->describe().find("FFmpeg"), std::string::npos) << v->describe();
    bool bFrames = c.encode.find("-bf 2") != std::string::npos;
    EXPECT_EQ(v->describe().find("(reordered)") != std::string::npos, bFrames) << v->describe();
    EXPECT_EQ(CompareAll(*v, m.reference), 0) << v->describe();
    // Backwards and jumping: each frame decodes from its keyframe.
    ui::Bitmap24 out;
    for (int i : {23, 3, 17, 16, 0, 9, 22, 1}) {
      v->decodeFrame(i, out);
      EXPECT_EQ(MaxDifference(out, m.reference[static_cast<size_t>(i)]), 0) << "frame " << i;
    }
  }
}

TEST(AviFfmpegInterop, OtherContainers_DecodeThroughFfmpegDemuxers) {
  PX_REQUIRE_PROGRAM("ffmpeg");
  pxtest::TempDir dir;
  for (const std::string& file : {std::string("ffv1.mkv"), std::string("h264.mp4"), std::string("mjpeg.mov")}) {
    SCOPED_TRACE(file);
    std::string codec = file.substr(0, file.find('.'));
    std::string encode = codec == "h264" ? "-c:v libx264 -bf 2 -g 8 -preset ultrafast -pix_fmt yuv420p"
                                         : "-c:v " + codec + " -g 5";
    Made m = MakeWithFfmpeg(dir, file, "96x64", 20, encode);
    if (m.reference.empty()) continue;
    auto v = OpenVideo(m.path);
    EXPECT_EQ(CompareAll(*v, m.reference), 0) << v->describe();
    ui::Bitmap24 out;
    for (int i : {19, 2, 11, 10, 0}) {
      v->decodeFrame(i, out);
      EXPECT_EQ(MaxDifference(out, m.reference[static_cast<size_t>(i)]), 0) << "frame " << i;
    }
  }
}

TEST(AviFfmpegInterop, TimestampGapInOtherContainers_IsADroppedFrame) {
  PX_REQUIRE_PROGRAM("ffmpeg");
  pxtest::TempDir dir;
  // Frames 3 and 4 are removed while their neighbours keep their timestamps.
  std::string path = dir.file("gap.mkv");
  std::string log;
  int rc = pxtest::Run("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25:duration=0.4 "
                       "-vf \"select='not(between(n,3,4))'\" -fps_mode passthrough -c:v ffv1 '" + path + "'",
                       &log);
  ASSERT_EQ(rc, 0) << log;
  auto v = OpenVideo(path);
  ASSERT_EQ(v->frameCount(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(v->hasData(i), i != 3 && i != 4) << i;
  // A dropped frame shows the frame before it.
  ui::Bitmap24 two, four;
  v->decodeFrame(2, two);
  v->decodeFrame(4, four);
  EXPECT_EQ(four, two);
}

TEST(AviFfmpegInterop, OpenDmlFileOverOneGiB_IsReadWholeThroughItsSuperIndex) {
  PX_REQUIRE_PROGRAM("ffmpeg");
  pxtest::TempDir dir;
  // 1920 x 1080 x 3 bytes x 180 frames = 1.12 GB: ffmpeg starts an AVIX part after 1 GiB and
  // writes 'indx' / 'ix00' instead of a single idx1.
  std::string path = dir.file("big.avi");
  std::string log;
  int rc = pxtest::Run("ffmpeg -v error -y -f lavfi -i testsrc=size=240x135:rate=25 -frames:v 180 "
                       "-vf scale=1920:1080:flags=neighbor -c:v rawvideo -pix_fmt bgr24 '" + path + "'",
                       &log);
  ASSERT_EQ(rc, 0) << log;
  auto v = OpenVideo(path);
  EXPECT_NE(v->describe().find("OpenDML"), std::string::npos) << v->describe();
  ASSERT_EQ(v->frameCount(), 180);
  for (int i : {0, 175, 179}) {
    std::string raw = dir.file("frame.raw");
    rc = pxtest::Run("ffmpeg -v error -y -i '" + path + "' -vf \"select=eq(n\\," + std::to_string(i) +
                         ")\" -fps_mode passthrough -frames:v 1 -f rawvideo -pix_fmt bgr24 '" + raw + "'",
                     &log);
    ASSERT_EQ(rc, 0) << log;
    Bytes expected = pxtest::ReadBytes(raw);
    ui::Bitmap24 out;
    v->decodeFrame(i, out);
    ASSERT_EQ(out.byteSize(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.data())) << "frame " << i;
  }
}

TEST(AviFfmpegInterop, VideoOfMoreThan5000Frames_ReportsItsRealLength) {
  PX_REQUIRE_PROGRAM("ffmpeg");
  pxtest::TempDir dir;
  std::string path = dir.file("long.avi");
  std::string log;
  ASSERT_EQ(pxtest::Run("ffmpeg -v error -y -f lavfi -i testsrc=size=16x16:rate=100 -frames:v 7000 "
                        "-c:v rawvideo -pix_fmt gray '" + path + "'",
                        &log),
            0)
      << log;
  auto v = OpenVideo(path);
  EXPECT_EQ(v->frameCount(), 7000);
  ui::Bitmap24 out;
  v->decodeFrame(6999, out);
  EXPECT_EQ(out.width(), 16);
}

TEST(AviFfmpegInterop, FilesWithoutVideo_RaiseTheFixedTexts) {
  PX_REQUIRE_PROGRAM("ffmpeg");
  pxtest::TempDir dir;
  std::string wav = dir.file("tone.wav");
  ASSERT_EQ(pxtest::Run("ffmpeg -v error -y -f lavfi -i sine=duration=0.2 '" + wav + "'"), 0);
  // Every text names the file.
  auto named = [&](const std::string& text, const std::string& name) {
    return text + " (\"" + dir.file(name) + "\")";
  };
  EXPECT_EQ(ErrorOf([&] { OpenVideo(wav); }), named("Failed to open AVI stream", "tone.wav"));
  pxtest::WriteText(dir.file("notes.avi"), "these are not the frames you are looking for\n");
  EXPECT_EQ(ErrorOf([&] { OpenVideo(dir.file("notes.avi")); }), named("Failed to open AVI file", "notes.avi"));
  EXPECT_EQ(ErrorOf([&] { OpenVideo(dir.file("missing.avi")); }),
            named("Failed to open AVI file: no such file", "missing.avi"));
  pxtest::WriteText(dir.file("empty.avi"), "");
  EXPECT_EQ(ErrorOf([&] { OpenVideo(dir.file("empty.avi")); }),
            named("Failed to open AVI file: the file is empty", "empty.avi"));
}

TEST(AviFfmpegInterop, DamagedCompressedFiles_OpenOrFailWithAFixedText) {
  PX_REQUIRE_PROGRAM("ffmpeg");
  pxtest::TempDir dir;
  for (const std::string& encode : {std::string("-c:v mjpeg"), std::string("-c:v libx264 -bf 2 -g 3 -preset ultrafast")}) {
    SCOPED_TRACE(encode);
    Made m = MakeWithFfmpeg(dir, "damaged.avi", "32x24", 6, encode);
    if (m.reference.empty()) continue;
    Bytes file = pxtest::ReadBytes(m.path);
    for (size_t cut = 0; cut < file.size(); cut += 97) {
      std::string e = OpenAndDecodeAll(Bytes(file.begin(), file.begin() + static_cast<long>(cut)));
      if (!e.empty()) {
        EXPECT_TRUE(kTexts.count(e)) << "cut " << cut << ": " << e;
      }
    }
    for (size_t at = 0; at < file.size(); at += 13) {
      Bytes broken = file;
      broken[at] ^= 0xA5;
      std::string e = OpenAndDecodeAll(broken);
      if (!e.empty()) {
        EXPECT_TRUE(kTexts.count(e)) << "byte " << at << ": " << e;
      }
    }
  }
}
