// SER captures: every colour id, depth and byte order read back against the written samples,
// the header and trailer fields, damaged files, and ffmpeg's SER reader as a second opinion.
#include <gtest/gtest.h>

#include <cmath>

#include "AviTestHelpers.h"
#include "frames/SerFile.h"
#include "frames/SerSource.h"

namespace {

using frames::SerWriteOptions;

int PlanesOf(int colorId) { return colorId >= 100 ? 3 : 1; }

// Smooth samples (so the byte order is plain from the data) that use the whole depth.
std::vector<uint16_t> Samples(const SerWriteOptions& o, int frames) {
  const int planes = PlanesOf(o.colorId);
  const uint32_t maxValue = (1u << o.depth) - 1;
  std::vector<uint16_t> s;
  for (int f = 0; f < frames; ++f)
    for (int y = 0; y < o.height; ++y)
      for (int x = 0; x < o.width; ++x)
        for (int c = 0; c < planes; ++c)
          s.push_back(static_cast<uint16_t>((static_cast<uint64_t>(x * 3 + y * 2 + f * 5 + c * 7) * maxValue) /
                                            (o.width * 3 + o.height * 2 + frames * 5 + 14)));
  return s;
}

std::unique_ptr<frames::VideoSource> Open(const std::vector<uint8_t>& bytes) {
  return frames::OpenVideoBytes(avitest::Own(bytes));
}

TEST(SerSource, EveryColourIdDepthAndByteOrderReadsBack) {
  for (int colorId : {0, 8, 9, 10, 11, 100, 101})
    for (int depth : {8, 12, 16})
      for (bool little : {true, false})
        for (int flag : {0, 1}) {
          if (depth == 8 && (!little || flag == 1)) continue;
          SerWriteOptions o;
          o.colorId = colorId;
          o.width = 20;
          o.height = 14;
          o.depth = depth;
          o.littleEndianData = little;
          o.littleEndianFlag = flag;
          const int frames = 3;
          const auto samples = Samples(o, frames);
          auto video = Open(frames::WriteSerBytes(o, samples, frames));
          SCOPED_TRACE(video->describe());
          ASSERT_EQ(video->frameCount(), frames);
          ASSERT_EQ(video->width(), 20);
          EXPECT_TRUE(video->knowsColour());
          EXPECT_EQ(video->sampleBits(), depth);
          const int planes = PlanesOf(colorId);
          ui::Bitmap24 pic;
          formats::TTIFFBitMap deep;
          for (int f = frames - 1; f >= 0; --f) {
            video->decodeFrame(f, pic);
            ASSERT_TRUE(video->decodeDeep(f, deep));
            for (int y = 0; y < o.height; ++y)
              for (int x = 0; x < o.width; ++x) {
                const size_t at = ((static_cast<size_t>(f) * o.height + y) * o.width + x) * planes;
                // Channel (R 0, G 1, B 2) a written sample lands in, and the sample.
                int channel = 1;
                if (colorId >= 8 && colorId <= 11)
                  channel = frames::MosaicColour(static_cast<frames::BayerPattern>(colorId - 8), x, y);
                for (int c = 0; c < planes; ++c) {
                  if (planes == 3) channel = colorId == 100 ? c : 2 - c;
                  const uint16_t wide = static_cast<uint16_t>(samples[at + c] << (16 - depth));
                  ASSERT_EQ(deep.row16(y)[3 * x + channel], wide) << "frame " << f << " at " << x << "," << y;
                  ASSERT_EQ(pic.row(y)[3 * x + 2 - channel], depth == 8 ? samples[at + c] : wide >> 8);
                  if (colorId == 0) {
                    ASSERT_EQ(deep.row16(y)[3 * x], wide);
                    ASSERT_EQ(deep.row16(y)[3 * x + 2], wide);
                  }
                }
              }
          }
          if (depth > 8)
            EXPECT_NE(video->describe().find(little ? "little-endian (from the data" : "big-endian (from the data"),
                      std::string::npos);
        }
}

TEST(SerSource, HeaderFieldsAndTimeStamps) {
  SerWriteOptions o;
  o.width = 8;
  o.height = 6;
  o.observer = "A. Observer";
  o.instrument = "ASI462MC";
  o.telescope = "C11";
  // 2024-03-01 20:15:30.250 UTC in 100-ns ticks since year 1.
  const int64_t t0 = 621355968000000000LL + int64_t(1709324130) * 10000000 + 2500000;
  o.dateTimeUtc = t0;
  for (int k = 0; k < 4; ++k) o.timeStamps.push_back(t0 + k * 200000);  // 50 frames/s
  auto video = Open(frames::WriteSerBytes(o, Samples(o, 4), 4));
  const std::string d = video->describe();
  EXPECT_NE(d.find("observer \"A. Observer\""), std::string::npos) << d;
  EXPECT_NE(d.find("instrument \"ASI462MC\""), std::string::npos) << d;
  EXPECT_NE(d.find("telescope \"C11\""), std::string::npos) << d;
  EXPECT_NE(d.find("recorded 2024-03-01 20:15:30.250 UTC"), std::string::npos) << d;
  EXPECT_NE(d.find("over 0.060 s (50.00 frames/s)"), std::string::npos) << d;
  EXPECT_EQ(video->warnings(), "");

  // A trailer of the wrong length is ignored and said so; the frames still read.
  auto bytes = frames::WriteSerBytes(o, Samples(o, 4), 4);
  bytes.resize(bytes.size() - 3);
  auto cut = Open(bytes);
  EXPECT_EQ(cut->frameCount(), 4);
  EXPECT_NE(cut->warnings().find("time stamps ignored: the trailer holds 29 bytes, not 32"), std::string::npos);
}

TEST(SerSource, DamagedFilesGiveClearMessagesNamingTheFile) {
  pxtest::TempDir dir;
  SerWriteOptions o;
  o.width = 10;
  o.height = 10;
  const auto good = frames::WriteSerBytes(o, Samples(o, 5), 5);
  auto expectFailure = [&](std::vector<uint8_t> bytes, const std::string& text) {
    const std::string path = dir.file("bad.ser");
    pxtest::WriteBytes(path, bytes);
    frames::VideoSourceCache::Clear();
    try {
      frames::OpenVideo(path);
      ADD_FAILURE() << "opened: " << text;
    } catch (const px::PelinoxaError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(text), std::string::npos) << what;
      EXPECT_NE(what.find(path), std::string::npos) << what;
    }
  };
  expectFailure({good.begin(), good.begin() + 100}, "the header is truncated (100 of 178 bytes)");
  expectFailure({good.begin(), good.begin() + 178 + 99}, "it holds no complete frame");
  auto patch = [&](size_t at, int32_t v) {
    auto b = good;
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
    return b;
  };
  expectFailure(patch(26, 0), "impossible frame size 0x10");
  expectFailure(patch(30, -5), "impossible frame size 10x-5");
  expectFailure(patch(26, 1 << 30), "impossible frame size");
  expectFailure(patch(34, 0), "impossible pixel depth of 0 bits");
  expectFailure(patch(34, 17), "impossible pixel depth of 17 bits");
  expectFailure(patch(18, 5), "unknown colour id 5");
  expectFailure(patch(18, 17), "cyan-yellow-magenta mosaics (colour id 17)");

  // More frames announced than present: the ones there open, and the reader says so.
  auto video = Open(patch(38, 9));
  EXPECT_EQ(video->frameCount(), 5);
  EXPECT_NE(video->warnings().find("only 5 of the 9 frames the header announces"), std::string::npos);
  ui::Bitmap24 pic;
  video->decodeFrame(4, pic);
  EXPECT_THROW(video->decodeFrame(5, pic), px::PelinoxaError);
  // No frame count at all: counted from the size.
  EXPECT_EQ(Open(patch(38, 0))->frameCount(), 5);
}

TEST(SerSource, FfmpegReadsTheSameEightBitFrames) {
  if (!pxtest::HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  pxtest::TempDir dir;
  for (int colorId : {0, 100, 101}) {
    SerWriteOptions o;
    o.colorId = colorId;
    o.width = 32;
    o.height = 24;
    std::vector<uint16_t> s;
    const int planes = PlanesOf(colorId);
    for (int i = 0; i < 3 * 32 * 24 * planes; ++i) s.push_back(static_cast<uint16_t>((i * 7919) % 251));
    const std::string path = dir.file("c" + std::to_string(colorId) + ".ser");
    pxtest::WriteBytes(path, frames::WriteSerBytes(o, s, 3));
    const auto theirs = avitest::FfmpegFrames(path, 32, 24, dir.path());
    ASSERT_EQ(theirs.size(), 3u) << colorId;
    frames::VideoSourceCache::Clear();
    auto ours = frames::OpenVideo(path);
    ui::Bitmap24 pic;
    for (int f = 0; f < 3; ++f) {
      ours->decodeFrame(f, pic);
      EXPECT_EQ(avitest::MaxDifference(pic, theirs[static_cast<size_t>(f)]), 0) << colorId << " frame " << f;
    }
  }
}

}  // namespace

namespace {

// Every fuzz seed cut at every length and with each header byte changed: a clear error or
// frames, never a crash.
TEST(SerSource, CutAndChangedSeedsOpenOrFailCleanly) {
  const std::string seeds = pxtest::SourceDir() + "/fuzz/seeds/ser";
  int files = 0;
  for (const char* name : {"mono8.ser", "bayer16.ser", "mono12-be.ser", "rgb8.ser", "announces-more.ser"}) {
    const auto good = pxtest::ReadBytes(seeds + "/" + name);
    ASSERT_FALSE(good.empty()) << name;
    ++files;
    auto tryAll = [](const std::vector<uint8_t>& bytes) {
      try {
        auto v = frames::OpenVideoBytes(avitest::Own(bytes));
        ui::Bitmap24 pic;
        formats::TTIFFBitMap deep;
        for (int32_t i = -1; i <= std::min(v->frameCount(), 8); ++i) {
          v->setDebayerMethod(i % 2 ? frames::DebayerMethod::EdgeAware : frames::DebayerMethod::Bilinear);
          try {
            v->decodeFrame(i, pic);
            v->decodeDeep(i, deep);
          } catch (const px::PelinoxaError&) {
          }
        }
      } catch (const px::PelinoxaError&) {
      }
    };
    for (size_t n = 0; n < good.size(); n += 7) tryAll({good.begin(), good.begin() + static_cast<ptrdiff_t>(n)});
    for (size_t at = 14; at < 42; ++at)
      for (uint8_t v : {uint8_t(0), uint8_t(1), uint8_t(0x7f), uint8_t(0xff)}) {
        auto b = good;
        b[at] = v;
        tryAll(b);
      }
  }
  EXPECT_EQ(files, 5);
  for (const auto& file : pxtest::CrasherFiles("ser")) {
    try {
      frames::OpenVideoBytes(avitest::Own(pxtest::ReadBytes(file)));
    } catch (const px::PelinoxaError&) {
    }
  }
}

}  // namespace
