// The native AVI reader on hand-built files: indexes, frame numbering, dropped frames, the
// error text of each failing step, and broken files.
#include <gtest/gtest.h>

#include <filesystem>

#include "AviTestHelpers.h"
#include "base/Error.h"
#include "frames/AviContainer.h"
#include "frames/AviWriter.h"
#include "frames/VideoSource.h"

using namespace frames;
using namespace avitest;

namespace {

// Three 4 x 2 bottom-up 24-bit frames (rows of 12 bytes, no padding needed).
Bytes Frame24(int seed) {
  ui::Bitmap24 pic = TestPicture(4, 2, seed);
  Bytes out;
  PackBgr24(pic, true, out);
  return out;
}

AviSpec ThreeFrames() {
  AviSpec s;
  s.strh = Strh("vids", 0, 3);
  s.strf = Bih(4, 2, 24, 0);
  for (int i = 0; i < 3; ++i) s.frames.push_back({Frame24(i)});
  return s;
}

std::string OpenError(const Bytes& file) {
  return ErrorOf([&] { OpenAviNative(Own(file)); });
}

}  // namespace

TEST(AviContainer, Idx1RelativeAbsoluteAndNoIndex_GiveTheSameFrames) {
  for (auto index : {AviSpec::Index::Relative, AviSpec::Index::Absolute, AviSpec::Index::None}) {
    AviSpec s = ThreeFrames();
    s.index = index;
    auto v = OpenAviNative(Own(BuildAvi(s)));
    ASSERT_EQ(v->frameCount(), 3);
    EXPECT_EQ(v->startFrame(), 0);
    EXPECT_EQ(v->width(), 4);
    EXPECT_EQ(v->height(), 2);
    ui::Bitmap24 out;
    for (int i = 0; i < 3; ++i) {
      v->decodeFrame(i, out);
      EXPECT_EQ(out, TestPicture(4, 2, i)) << v->describe() << " frame " << i;
    }
    std::string expected = index == AviSpec::Index::None ? "no index" : "idx1 index";
    EXPECT_NE(v->describe().find(expected), std::string::npos) << v->describe();
  }
}

TEST(AviContainer, StartSample_NumbersTheFramesFromIt) {
  AviSpec s = ThreeFrames();
  s.strh = Strh("vids", 20, 3);
  auto v = OpenAviNative(Own(BuildAvi(s)));
  EXPECT_EQ(v->startFrame(), 20);
  EXPECT_EQ(v->frameCount(), 3);
  EXPECT_FALSE(v->hasData(19));
  EXPECT_TRUE(v->hasData(22));
  EXPECT_FALSE(v->hasData(23));
  ui::Bitmap24 out;
  v->decodeFrame(21, out);
  EXPECT_EQ(out, TestPicture(4, 2, 1));
  EXPECT_EQ(ErrorOf([&] { v->decodeFrame(19, out); }), "Failed to decompress AVI frame");
  EXPECT_EQ(ErrorOf([&] { v->decodeFrame(23, out); }), "Failed to decompress AVI frame");
}

TEST(AviContainer, ZeroLengthChunks_AreDroppedFramesShowingTheFrameBefore) {
  for (auto index : {AviSpec::Index::Relative, AviSpec::Index::None}) {
    AviSpec s = ThreeFrames();
    s.index = index;
    s.frames.insert(s.frames.begin(), Frame{{}});  // frame 0 dropped
    s.frames.insert(s.frames.begin() + 2, Frame{{}});  // frame 2 dropped
    auto v = OpenAviNative(Own(BuildAvi(s)));
    ASSERT_EQ(v->frameCount(), 5);
    std::vector<bool> data;
    for (int i = 0; i < 5; ++i) data.push_back(v->hasData(i));
    EXPECT_EQ(data, (std::vector<bool>{false, true, false, true, true}));
    ui::Bitmap24 out;
    v->decodeFrame(0, out);
    EXPECT_EQ(out, ui::Bitmap24(4, 2));  // nothing before it: black
    v->decodeFrame(2, out);
    EXPECT_EQ(out, TestPicture(4, 2, 0));
  }
}

TEST(AviContainer, OtherStreamsAndRecLists_AreSkipped) {
  // An audio stream first makes the video stream number 01.
  AviSpec s;
  s.streamsBefore.push_back(List("LIST", "strl", {Chunk("strh", Strh("auds", 0, 10)), Chunk("strf", Bytes(18, 0))}));
  s.strh = Strh("vids", 0, 2);
  s.strf = Bih(4, 2, 24, 0);
  s.frames = {Frame{Bytes(100, 1), "00wb"}, Frame{Frame24(5), "01db"}, Frame{Bytes(7, 1), "00wb"},
              Frame{Frame24(6), "01dc"}, Frame{Frame24(9), "00db"}};
  for (auto index : {AviSpec::Index::Relative, AviSpec::Index::None}) {
    s.index = index;
    auto v = OpenAviNative(Own(BuildAvi(s)));
    ASSERT_EQ(v->frameCount(), 2);
    ui::Bitmap24 out;
    v->decodeFrame(1, out);
    EXPECT_EQ(out, TestPicture(4, 2, 6));
  }
  // Without an index, chunks inside 'rec ' lists are found too.
  Bytes movi = List("LIST", "movi", {List("LIST", "rec ", {Chunk("00db", Frame24(3)), Chunk("01wb", Bytes(4, 0))}),
                                     List("LIST", "rec ", {Chunk("00db", Frame24(4))})});
  Bytes hdrl = List("LIST", "hdrl", {Chunk("avih", Bytes(56, 0)),
                                     List("LIST", "strl", {Chunk("strh", Strh("vids", 0, 2)), Chunk("strf", Bih(4, 2, 24, 0))})});
  Bytes file = List("RIFF", "AVI ", {hdrl, movi});
  auto v = OpenAviNative(Own(file));
  ASSERT_EQ(v->frameCount(), 2);
  ui::Bitmap24 out;
  v->decodeFrame(1, out);
  EXPECT_EQ(out, TestPicture(4, 2, 4));
}

TEST(AviContainer, PaletteChangeChunks_ApplyFromTheFollowingFrames) {
  AviSpec s;
  s.strh = Strh("vids", 0, 3);
  s.strf = Bih(4, 1, 8, 0, {0x000000, 0x0000FF}, 2);
  Bytes change = {1, 1, 0, 0, 0xFF, 0x00, 0x00, 0};  // entry 1 becomes red
  s.frames = {Frame{{1, 1, 1, 1}}, Frame{change, "00pc", 0x100}, Frame{{1, 1, 1, 1}}, Frame{{0, 1, 0, 1}}};
  for (auto index : {AviSpec::Index::Relative, AviSpec::Index::None}) {
    s.index = index;
    auto v = OpenAviNative(Own(BuildAvi(s)));
    ASSERT_EQ(v->frameCount(), 3);
    ui::Bitmap24 out;
    v->decodeFrame(2, out);
    EXPECT_EQ(out.pixel(1, 0), ui::Color(255, 0, 0));
    v->decodeFrame(0, out);  // going back restores the palette of the format
    EXPECT_EQ(out.pixel(1, 0), ui::Color(0, 0, 255));
  }
}

TEST(AviContainer, FrameCount_IsTheNumberOfIndexedSamplesNotTheHeaderLength) {
  AviSpec s = ThreeFrames();
  s.strh = Strh("vids", 0, 99);
  EXPECT_EQ(OpenAviNative(Own(BuildAvi(s)))->frameCount(), 3);
  s.strh = Strh("vids", 0, 0);  // an unfinished capture
  EXPECT_EQ(OpenAviNative(Own(BuildAvi(s)))->frameCount(), 3);
}

TEST(AviContainer, EachFailingStep_RaisesItsOwnText) {
  AviSpec good = ThreeFrames();
  EXPECT_EQ(OpenError(Bytes{'R', 'I', 'F', 'F'}), "Failed to open AVI file");
  Bytes wave = BuildAvi(good);
  std::memcpy(wave.data() + 8, "WAVE", 4);
  EXPECT_EQ(OpenError(wave), "Failed to open AVI file");
  AviSpec s = good;
  s.withHdrl = false;
  EXPECT_EQ(OpenError(BuildAvi(s)), "Failed to open AVI file");
  s = good;
  s.strh = Strh("auds", 0, 3);
  EXPECT_EQ(OpenError(BuildAvi(s)), "Failed to open AVI stream");
  s = good;
  s.withStrh = false;
  EXPECT_EQ(OpenError(BuildAvi(s)), "Failed to get AVI stream info");
  s = good;
  s.strh.resize(20);
  EXPECT_EQ(OpenError(BuildAvi(s)), "Failed to get AVI stream info");
  s = good;
  s.withStrf = false;
  EXPECT_EQ(OpenError(BuildAvi(s)), "Failed to get AVI stream format size");
  s = good;
  s.strf.resize(30);
  EXPECT_EQ(OpenError(BuildAvi(s)), "Failed to get AVI stream format");
  s = good;
  s.strf = Bih(0, 2, 24, 0);
  EXPECT_EQ(OpenError(BuildAvi(s)), "Failed to get AVI stream format");
  s = good;
  s.strf = Bih(4, 2, 8, 0, {}, 300);
  EXPECT_EQ(OpenError(BuildAvi(s)), "Failed to get AVI stream format");
  s = good;
  s.withMovi = false;
  EXPECT_EQ(OpenError(BuildAvi(s)), "The video holds no frames");
  s = good;
  s.frames = {Frame{Bytes(8, 0), "01wb"}};
  EXPECT_EQ(OpenError(BuildAvi(s)), "The video holds no frames");
  s = good;
  s.strf = Bih(4, 2, 24, FourCC('M', 'J', 'P', 'G'));
  EXPECT_EQ(OpenError(BuildAvi(s)), "Failed to start AVI decompression");
  s = good;
  s.strf = Bih(4, 2, 24, FourCC('Z', 'Z', 'Z', 'Z'));
  EXPECT_EQ(ErrorOf([&] { OpenVideoBytes(Own(BuildAvi(s))); }), "Failed to start AVI decompression");
}

TEST(AviContainer, CompressedVideoOfOnlyDroppedFrames_ShowsBlack) {
  for (const char* cc : {"MJPG", "H264"}) {
    AviSpec s;
    s.strh = Strh("vids", 0, 2);
    s.strf = Bih(16, 8, 24, FourCC(cc[0], cc[1], cc[2], cc[3]));
    s.frames = {Frame{{}}, Frame{{}}};
    auto v = OpenVideoBytes(Own(BuildAvi(s)));
    EXPECT_FALSE(v->hasData(0));
    ui::Bitmap24 out;
    v->decodeFrame(1, out);
    EXPECT_EQ(out, ui::Bitmap24(16, 8)) << cc;
  }
}

TEST(AviContainer, CompressedFrameThatCannotBeDecoded_RaisesTheDecompressText) {
  AviSpec s;
  s.strh = Strh("vids", 0, 2);
  s.strf = Bih(16, 8, 24, FourCC('M', 'J', 'P', 'G'));
  s.frames = {Frame{Bytes(100, 0x55)}, Frame{Bytes(3, 0xFF)}};
  auto v = OpenVideoBytes(Own(BuildAvi(s)));
  ui::Bitmap24 out;
  EXPECT_EQ(ErrorOf([&] { v->decodeFrame(0, out); }), "Failed to decompress AVI frame");
  EXPECT_EQ(ErrorOf([&] { v->decodeFrame(1, out); }), "Failed to decompress AVI frame");
}

TEST(AviContainer, ChunkOutsideTheFile_FailsThatFrameOnly) {
  AviSpec s = ThreeFrames();
  Bytes file = BuildAvi(s);
  // Make the idx1 entry of frame 1 claim 1 MB.
  size_t idx = file.size() - 3 * 16;
  uint32_t huge = 1u << 20;
  std::memcpy(file.data() + idx + 16 + 12, &huge, 4);
  auto v = OpenAviNative(Own(file));
  ui::Bitmap24 out;
  v->decodeFrame(0, out);
  v->decodeFrame(2, out);
  EXPECT_EQ(out, TestPicture(4, 2, 2));
  EXPECT_EQ(ErrorOf([&] { v->decodeFrame(1, out); }),
            "Failed to decompress AVI frame: its data lie past the end of the file");
  // A chunk shorter than a frame fails the same way.
  s.frames[1].data.resize(10);
  auto w = OpenAviNative(Own(BuildAvi(s)));
  EXPECT_EQ(ErrorOf([&] { w->decodeFrame(1, out); }), "Failed to decompress AVI frame");
}

TEST(AviContainer, OpenDml_FromTheWriter_ReadsEveryRiffPart) {
  pxtest::TempDir dir;
  std::string path = dir.file("odml.avi");
  AviWriterOptions o;
  o.width = 32;
  o.height = 24;
  o.index = AviWriterOptions::Index::OpenDml;
  o.riffLimit = 16 * 1024;  // several AVIX parts
  {
    AviWriter w(path, o);
    Bytes chunk;
    for (int i = 0; i < 40; ++i) {
      if (i == 7) {
        w.addFrame(nullptr, 0);
        continue;
      }
      PackBgr24(TestPicture(32, 24, i), true, chunk);
      w.addFrame(chunk);
    }
    w.finish();
  }
  Bytes file = pxtest::ReadBytes(path);
  int parts = 0;
  for (size_t i = 0; i + 4 <= file.size(); ++i) parts += std::memcmp(file.data() + i, "AVIX", 4) == 0;
  EXPECT_GE(parts, 3);
  auto v = OpenVideo(path);
  EXPECT_NE(v->describe().find("OpenDML"), std::string::npos) << v->describe();
  ASSERT_EQ(v->frameCount(), 40);
  EXPECT_FALSE(v->hasData(7));
  ui::Bitmap24 out;
  for (int i : {0, 6, 8, 20, 39}) {
    v->decodeFrame(i, out);
    EXPECT_EQ(out, TestPicture(32, 24, i)) << i;
  }

  // With the super index destroyed the reader falls back: idx1 for the first part, then a
  // scan of the extension parts.
  for (size_t i = 0; i + 4 <= file.size(); ++i)
    if (std::memcmp(file.data() + i, "indx", 4) == 0) std::memcpy(file.data() + i, "JUNK", 4);
  auto f = OpenVideoBytes(Own(file));
  EXPECT_NE(f->describe().find("idx1"), std::string::npos) << f->describe();
  ASSERT_EQ(f->frameCount(), 40);
  f->decodeFrame(39, out);
  EXPECT_EQ(out, TestPicture(32, 24, 39));
}

TEST(AviContainer, TruncatedFiles_OpenOrFailWithAFixedText) {
  for (auto index : {AviSpec::Index::Relative, AviSpec::Index::None}) {
    AviSpec s = ThreeFrames();
    s.index = index;
    Bytes file = BuildAvi(s);
    for (size_t cut = 0; cut < file.size(); ++cut) {
      Bytes part(file.begin(), file.begin() + static_cast<long>(cut));
      std::string e = OpenAndDecodeAll(part);
      if (!e.empty()) {
        EXPECT_TRUE(kTexts.count(e)) << "cut " << cut << ": " << e;
      }
    }
  }
}

TEST(AviContainer, FlippedBytes_OpenOrFailWithAFixedText) {
  Bytes file = BuildAvi(ThreeFrames());
  for (size_t at = 0; at < file.size(); ++at) {
    for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(file[at] ^ 0x80)}) {
      Bytes broken = file;
      broken[at] = value;
      std::string e = OpenAndDecodeAll(broken);
      if (!e.empty()) {
        EXPECT_TRUE(kTexts.count(e)) << "byte " << at << ": " << e;
      }
    }
  }
}

TEST(AviContainer, CrashersFolder_NeverCrashesTheReader) {
  const auto files = pxtest::CrasherFiles("avi");
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    Bytes bytes = pxtest::ReadBytes(file);
    std::string e = ErrorOf([&] {
      auto v = OpenAviNative(Own(bytes));
      ui::Bitmap24 out;
      for (int32_t i = 0; i < std::min(v->frameCount(), 64); ++i) {
        try {
          v->decodeFrame(v->startFrame() + i, out);
        } catch (const px::PelinoxaError&) {
        }
      }
    });
    if (!e.empty()) {
      EXPECT_TRUE(kTexts.count(e)) << file << ": " << e;
    }
  }
}
