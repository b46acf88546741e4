// Frames that cannot be read during a run are left out like dropped frames and named once at
// its end; the run goes on. Also what the user is told about inputs that are too large, of
// mixed sizes, or no readable file at all.
#include <sys/stat.h>

#include <cstring>

#include "AppFixture.h"
#include "frames/FrameSource.h"
#include "ui/BmpCodec.h"

namespace {

class UnreadableFrames : public pxtest::AppFixture {
 protected:
  frames::FrameTable& table() { return mf->ws.table; }
  frames::InputState& in() { return mf->ws.input; }
  ui::CheckList& list() { return get<ui::CheckList>("SelectFramesChecklist"); }

  std::vector<std::string> Texts(ui::MsgKind kind) const {
    std::vector<std::string> out;
    for (const auto& m : ui.messages)
      if (m.kind == kind) out.push_back(m.text);
    return out;
  }
  void ClickFeature(int x, int y) {
    ui::MouseEvent e;
    e.x = x;
    e.y = y;
    get<ui::Image>("PreviewImage").userMouse(ui::MouseAction::Down, e);
  }
  void AlignAll(int x, int y) {
    ClickFeature(x, y);
    ui.messages.clear();
    get<ui::Button>("Allignallbutton").userClick();
  }
  int FrameOfFile(const std::string& path) {
    for (int i = 0; i < in().FrameCount; ++i)
      if (table().fileNames[i] == path) return i;
    ADD_FAILURE() << "not in the sequence: " << path;
    return 0;
  }
  // The frame's record says: left out, never measured, grey in the frame list.
  void ExpectLeftOut(int f, const std::string& listText) {
    EXPECT_EQ(table()[f].Excluded, 1) << f;
    EXPECT_EQ(table()[f].Dropped, 1) << f;
    EXPECT_EQ(table()[f].Quality, 0.0f) << f;
    EXPECT_EQ(list().item(f).text, listText);
    EXPECT_EQ(list().item(f).state, ui::CheckState::Grayed);
    const int last = get<ui::Slider>("AlignSlider").max();
    for (int p = 0; p <= last; ++p) EXPECT_NE(table().ranks[p].FrameIndex, f) << "rank " << p;
  }
};

// Offset of the idx1 entry of video chunk k in a file written by the sample generator.
size_t Idx1Entry(const std::vector<uint8_t>& file, int k) {
  for (size_t p = file.size() - 8; p-- > 0;)
    if (std::memcmp(file.data() + p, "idx1", 4) == 0) {
      size_t e = p + 8;
      for (int seen = 0; e + 16 <= file.size(); e += 16)
        if (file[e] == '0' && file[e + 1] == '0' && file[e + 2] == 'd' && seen++ == k) return e;
    }
  ADD_FAILURE() << "no idx1 entry " << k;
  return 0;
}

TEST_F(UnreadableFrames, VideoFrameWhoseIndexPointsPastTheEnd_IsLeftOutOfTheAlignRunAndNamed) {
  std::string avi = Generate("cap.avi", "--frames 12 --size 160x120 --jitter 2");
  std::vector<uint8_t> file = pxtest::ReadBytes(avi);
  const uint32_t far = 0x7FFFFF00;
  std::memcpy(file.data() + Idx1Entry(file, 5) + 8, &far, 4);
  pxtest::WriteBytes(avi, file);
  SelectInput({avi}, 1);
  AlignAll(80, 60);
  EXPECT_TRUE(Texts(ui::MsgKind::Error).empty());
  EXPECT_EQ(Texts(ui::MsgKind::Warning),
            std::vector<std::string>{"1 frame could not be read and was left out of cap.avi:\n"
                                     "frame 6: Failed to decompress AVI frame: its data lie past the end of the file"});
  ExpectLeftOut(5, "unreadable frame");
  EXPECT_EQ(get<ui::Slider>("AlignSlider").max(), 10);
  for (int f : {4, 6, 11}) EXPECT_GT(table()[f].Quality, 0.0f) << f;
}

TEST_F(UnreadableFrames, DamagedMjpegFrame_IsLeftOutOfTheAlignRun) {
  PX_REQUIRE_PROGRAM("ffmpeg");
  const std::string avi = dir.file("mjpeg.avi");
  std::string log;
  ASSERT_EQ(pxtest::Run("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25 -frames:v 8 -c:v mjpeg '" +
                            avi + "'",
                        &log),
            0)
      << log;
  // Zero every byte of the fourth picture's chunk.
  std::vector<uint8_t> file = pxtest::ReadBytes(avi);
  size_t at = 0;
  for (size_t p = 0; p + 4 <= file.size(); ++p)
    if (std::memcmp(file.data() + p, "movi", 4) == 0) at = p;
  ASSERT_GT(at, 0u);
  int seen = 0;
  for (size_t p = at; p + 8 <= file.size(); ++p)
    if (std::memcmp(file.data() + p, "00dc", 4) == 0 && seen++ == 3) {
      uint32_t size;
      std::memcpy(&size, file.data() + p + 4, 4);
      std::memset(file.data() + p + 8, 0, size);
      break;
    }
  ASSERT_EQ(seen, 4);
  pxtest::WriteBytes(avi, file);
  SelectInput({avi}, 1);
  AlignAll(80, 60);
  EXPECT_TRUE(Texts(ui::MsgKind::Error).empty());
  ASSERT_EQ(Texts(ui::MsgKind::Warning).size(), 1u);
  EXPECT_NE(Texts(ui::MsgKind::Warning)[0].find("\nframe 4: Failed to decompress AVI frame"), std::string::npos)
      << Texts(ui::MsgKind::Warning)[0];
  ExpectLeftOut(3, "unreadable frame");
  EXPECT_GT(table()[4].Quality, 0.0f);
}

// A FITS frame of an unsupported depth and a vanished one used to stand in as copies of the
// frame before them: same quality, and stacked twice.
TEST_F(UnreadableFrames, FitsOfUnsupportedDepthOrMissing_AreLeftOutOfAlignAndStack) {
  std::string seq = Generate("fits", "--frames 6 --size 96x80 --format fits16 --jitter 1");
  std::vector<std::string> files;
  for (int i = 0; i < 6; ++i) files.push_back(seq + "/frame_0000" + std::to_string(i) + ".fits");
  ui.queueAnswer(ui::DialogResult::No);  // no stretching
  SelectInput(files, 3);
  ASSERT_EQ(in().FrameCount, 6);
  // BITPIX -32: the same header with another depth.
  std::vector<uint8_t> f2 = pxtest::ReadBytes(files[2]);
  std::memcpy(f2.data() + 80 + 27, "-32", 3);
  pxtest::WriteBytes(files[2], f2);
  px::DeleteFileIfExists(files[4]);
  const int bad = FrameOfFile(files[2]), gone = FrameOfFile(files[4]);

  AlignAll(48, 40);
  EXPECT_TRUE(Texts(ui::MsgKind::Error).empty());
  ASSERT_EQ(Texts(ui::MsgKind::Warning).size(), 1u);
  const std::string report = Texts(ui::MsgKind::Warning)[0];
  EXPECT_EQ(report.rfind("2 frames could not be read and were left out:\n", 0), 0u) << report;
  EXPECT_NE(report.find("unsupported fits format (\"" + files[2] + "\")"), std::string::npos) << report;
  EXPECT_NE(report.find("Cannot read \"" + files[4] + "\": no such file"), std::string::npos) << report;
  ExpectLeftOut(bad, "frame_00002.fits (unreadable)");
  ExpectLeftOut(gone, "frame_00004.fits (unreadable)");
  EXPECT_EQ(in().SelectedCount, 4);

  // A frame spoilt between aligning and stacking is left out of the stack and named.
  // The victim is the frame at the cut, which the page shows after stacking.
  auto& stackSlider = get<ui::Slider>("StackSlider");
  stackSlider.setValue(stackSlider.max());
  const int victim = table().ranks[stackSlider.max()].FrameIndex;
  std::vector<uint8_t> v = pxtest::ReadBytes(table().fileNames[victim]);
  std::memcpy(v.data() + 80 + 27, "-64", 3);
  pxtest::WriteBytes(table().fileNames[victim], v);
  ui.messages.clear();
  get<ui::Button>("Stackbutton").userClick();
  EXPECT_TRUE(Texts(ui::MsgKind::Error).empty());
  ASSERT_EQ(Texts(ui::MsgKind::Warning).size(), 1u);
  EXPECT_EQ(Texts(ui::MsgKind::Warning)[0].rfind("1 frame could not be read and was left out:\n", 0), 0u);
  EXPECT_TRUE(mf->ws.stack.StackExists);
  EXPECT_EQ(mf->ws.stack.StackedCount, 3);
  EXPECT_EQ(table()[victim].Excluded, 1);
}

// Frame 0 is the one shown once the frames are ranked: being unreadable, it shows as such
// instead of ending the run before the ranking is done.
TEST_F(UnreadableFrames, TruncatedFirstJpegOfASequence_IsLeftOutAndTheRunRanksTheRest) {
  std::string seq = Generate("jpg", "--frames 5 --size 128x96 --format jpg --jitter 1");
  std::vector<std::string> files;
  for (int i = 0; i < 5; ++i) files.push_back(seq + "/frame_0000" + std::to_string(i) + ".jpg");
  SelectInput(files, 4);
  ClickFeature(64, 48);  // on frame 0, still whole
  const std::string first = table().fileNames[0];
  std::vector<uint8_t> j = pxtest::ReadBytes(first);
  j.resize(j.size() / 2);
  pxtest::WriteBytes(first, j);
  ui.messages.clear();
  get<ui::Button>("Allignallbutton").userClick();
  ASSERT_TRUE(Texts(ui::MsgKind::Error).empty()) << Texts(ui::MsgKind::Error)[0];
  ASSERT_EQ(Texts(ui::MsgKind::Warning).size(), 1u);
  EXPECT_NE(Texts(ui::MsgKind::Warning)[0].find(first), std::string::npos) << Texts(ui::MsgKind::Warning)[0];
  ExpectLeftOut(0, px::ExtractFileName(first) + " (unreadable)");
  EXPECT_EQ(get<ui::Slider>("AlignSlider").max(), 3);
  for (int p = 0; p <= 3; ++p) EXPECT_GT(table().ranks[p].RankQuality, 0.0f) << p;
  // Browsing back onto it shows it black, without an error.
  get<ui::Slider>("PreviewSlider").userSetValue(2);
  get<ui::Slider>("PreviewSlider").userSetValue(0);
  EXPECT_TRUE(Texts(ui::MsgKind::Error).empty());
  EXPECT_EQ(mf->frameSource().preview().pixel(100, 80), ui::Color(0, 0, 0));
}

TEST_F(UnreadableFrames, MixedFrameSizes_AreToldOnceAndTheFramesCutToTheCommonPart) {
  std::string seq = Generate("bmp", "--frames 5 --size 160x120 --format bmp --jitter 1");
  std::vector<std::string> files;
  for (int i = 0; i < 5; ++i) files.push_back(seq + "/frame_0000" + std::to_string(i) + ".bmp");
  for (int i : {1, 3}) {
    ui::Bitmap24 big = ui::LoadBmpFile(files[i]);
    ui::Bitmap24 small(150, 110);
    for (int y = 0; y < 110; ++y)
      for (int x = 0; x < 150; ++x) small.setPixel(x, y, big.pixel(x, y));
    ui::SaveBmpFile(files[i], small);
  }
  SelectInput(files, 2);
  ASSERT_EQ(in().FrameWidth, 160);  // the first frame read is a large one
  AlignAll(80, 60);
  const std::vector<std::string> warnings = Texts(ui::MsgKind::Warning);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("The frames differ in size: ", 0), 0u) << warnings[0];
  EXPECT_NE(warnings[0].find(" is 150x110, the first frame 160x120. Every frame is cut to the common part of 150x110."),
            std::string::npos)
      << warnings[0];
  EXPECT_EQ(in().FrameWidth, 150);
  EXPECT_EQ(in().FrameHeight, 110);
}

TEST_F(UnreadableFrames, VideoWiderThan4096_IsToldWhenOpened) {
  std::string avi = Generate("wide.avi", "--frames 2 --size 4200x40");
  SelectInput({avi}, 1);
  EXPECT_TRUE(in().InputLoaded);
  EXPECT_EQ(in().ImageWidth, 4096);
  EXPECT_TRUE(SawMessage("The video " + avi +
                         " is 4200x40 pixels; only the top-left 4096x40 part of every frame is used (at most 4096 "
                         "pixels a side)."));
}

TEST_F(UnreadableFrames, FolderOrFifoChosenAsInput_SaysWhatItIs) {
  const std::string fifo = dir.file("pipe.avi");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  SelectInput({fifo}, 1);  // would wait for a writer if it were opened
  EXPECT_TRUE(SawMessage("Cannot read \"" + fifo + "\": it is a pipe (FIFO), not a file"));
  SelectInput({dir.path()}, 1);
  EXPECT_TRUE(SawMessage("Cannot read \"" + dir.path() + "\": it is a folder, not a file"));
  EXPECT_FALSE(in().InputLoaded);
}

}  // namespace
