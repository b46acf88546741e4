// The Stacking page through the form model: selection list, the stack of still sequences with
// hand-set shifts, calibration through the buttons, the single still frame, and the saved
// files as independent programs read them.
#include <array>
#include <cmath>
#include <cstdio>
#include <map>

#include "AppFixture.h"
#include "formats/FitsWriter.h"
#include "formats/TiffBitmap.h"
#include "frames/InputControls.h"
#include "stacking/StackingController.h"
#include "ui/BmpCodec.h"

namespace {

class StackingTest : public pxtest::AppFixture {
 protected:
  frames::FrameTable& table() { return mf->ws.table; }
  frames::InputState& in() { return mf->ws.input; }
  stacking::StackingState& st() { return mf->ws.stack; }
  frames::ImagePlanes& planes() { return mf->ws.planes; }
  ui::Slider& slider() { return get<ui::Slider>("StackSlider"); }

  std::string WriteBmp(const std::string& name, int w, int h, ui::Color c) {
    ui::Bitmap24 b(w, h);
    b.fill(c);
    ui::SaveBmpFile(dir.file(name), b);
    return dir.file(name);
  }
  // n uniform still frames of w x h, selected as a BMP sequence.
  void SelectSequence(int n, int w, int h, ui::Color c = ui::Color(60, 60, 60)) {
    std::vector<std::string> files;
    for (int i = 0; i < n; ++i) files.push_back(WriteBmp("f" + std::to_string(i) + ".bmp", w, h, c));
    SelectInput(files, 2);
  }
  // Ranks in frame order, everything in the selection, slider at R.
  void Rank(int n, int R) {
    for (int k = 0; k < n; ++k) {
      table().ranks[k] = {k, static_cast<float>(n - k), 0};
      table()[k].Quality = 1;
      table()[k].Difference = 0;
    }
    slider().setMax(n - 1);
    slider().setValue(R);
  }
  void Stack() { get<ui::Button>("Stackbutton").userClick(); }
  float Cov(int x, int y) { return planes().CoveragePlane.Get(x, y); }
};

TEST_F(StackingTest, SingleStillFrameOpensItsStackScaledToTheBrightestValue) {
  ui::Bitmap24 b(40, 30);
  b.fill(ui::Color(20, 40, 60));
  b.setPixel(5, 5, ui::Color(100, 100, 100));
  ui::SaveBmpFile(dir.file("one.bmp"), b);
  SelectInput({dir.file("one.bmp")}, 2);
  EXPECT_TRUE(st().StackExists);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;  // no one-frame question
  const ui::Bitmap24& s = get<ui::Image>("Stackimage").picture();
  ASSERT_EQ(s.width(), 40);
  EXPECT_EQ(s.pixel(5, 5), ui::Color(255, 255, 255));
  // Luminance: 0.299 * 20 + 0.587 * 40 + 0.114 * 60 = 36.32 -> 36.32 / 100 * 255 = 92.6
  EXPECT_EQ(s.pixel(0, 0).g, 93);
  EXPECT_EQ(form().activePage()->name(), "WaveletPage");
}

TEST_F(StackingTest, StackWithoutInputChangesNothing) {
  Stack();
  EXPECT_FALSE(st().StackExists);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(StackingTest, ShiftedFrameRaisesCoverageOverItsDestinationRange) {
  SelectSequence(2, 20, 10);
  Rank(2, 1);
  table()[1].ShiftX = 3;
  table()[1].ShiftY = -2;
  Stack();
  EXPECT_TRUE(st().StackExists);
  EXPECT_EQ(Cov(16, 2), 2.0f);
  EXPECT_EQ(Cov(17, 2), 1.0f);
  EXPECT_EQ(Cov(16, 1), 1.0f);
  EXPECT_EQ(Cov(0, 9), 2.0f);
  auto j = mf->Dump("stack");
  EXPECT_EQ(j["coverageMin"].asNumber(), 1);
  EXPECT_EQ(j["coverageMax"].asNumber(), 2);
  EXPECT_EQ(j["width"].asNumber(), 20);
  EXPECT_EQ(get<ui::Label>("StackInfoLabel").caption(), "Stacking : quality >= 100% , difference <= 100% , n = 2");
}

TEST_F(StackingTest, ExpandedCanvasGrowsByTheShiftRangeAndPlacesTheReferenceAtTheMaximum) {
  SelectSequence(10, 30, 20);
  Rank(10, 9);
  for (int k = 0; k < 10; ++k) table()[k].ShiftX = k - 5;  // -5 .. +4; frame 5 is the reference
  get<ui::CheckBox>("Expandstack").setChecked(true);
  Stack();
  EXPECT_EQ(get<ui::Label>("Stackimagesize").caption(), "Image : 38x19");
  EXPECT_EQ(st().ExpandOffsetX, 4);
  EXPECT_EQ(st().StackWidth, 38);
  // A frame shifted by sx covers 5 - sx .. 32 - sx (its outer ring is left out): the
  // reference 5 .. 32, shift +4 from 1, shift -5 up to 37; all ten overlap on 10 .. 28.
  EXPECT_EQ(Cov(0, 5), 0.0f);
  EXPECT_EQ(Cov(1, 5), 1.0f);
  EXPECT_EQ(Cov(4, 5), 4.0f);
  EXPECT_EQ(Cov(10, 5), 10.0f);
  EXPECT_EQ(Cov(28, 5), 10.0f);
  EXPECT_EQ(Cov(29, 5), 9.0f);
  EXPECT_EQ(Cov(37, 5), 1.0f);
  EXPECT_EQ(Cov(10, 0), 0.0f);
}

TEST_F(StackingTest, OneFrameQuestionAndAnEmptySelection) {
  SelectSequence(2, 16, 12);
  Rank(2, 1);
  table()[1].Excluded = 1;
  ui.queueAnswer(ui::DialogResult::Cancel);
  Stack();
  EXPECT_TRUE(SawMessage("Only one frame to stack, continue ??? "));
  EXPECT_FALSE(st().StackExists);
  EXPECT_EQ(ui.cursor(), ui::Cursor::Normal);

  // Nothing admitted at all: the user goes on and gets a black stack, not a division by 0.
  table()[0].Excluded = 1;
  ui.queueAnswer(ui::DialogResult::Yes);
  Stack();
  EXPECT_TRUE(st().StackExists);
  EXPECT_EQ(st().StackMax, 0.0f);
  EXPECT_EQ(get<ui::Image>("Stackimage").picture().pixel(3, 3), ui::Color(0, 0, 0));
}

TEST_F(StackingTest, DeinterlacedFieldsUseTheirOwnShifts) {
  SelectSequence(2, 16, 12);
  Rank(2, 1);
  table()[1].ShiftXa = 3;  // first field
  table()[1].ShiftX = 0;   // second field
  get<ui::CheckBox>("Interlaced").setChecked(true);
  get<ui::RadioGroup>("interlaceinterpolation").setItemIndex(0);  // "none": each field its own rows
  Stack();
  EXPECT_EQ(Cov(0, 2), 2.0f);   // even row, first field of both frames
  EXPECT_EQ(Cov(15, 2), 1.0f);  // beyond the shifted field's reach
  EXPECT_EQ(Cov(15, 3), 2.0f);  // odd row, second field, no shift
  EXPECT_EQ(Cov(0, 3), 2.0f);
}

TEST_F(StackingTest, CancelKeepsAndNormalisesWhatWasAdded) {
  SelectSequence(5, 16, 12);
  Rank(5, 4);
  int calls = 0;
  ui.onProcessEvents = [&] {
    if (++calls == 3) in().CancelRequested = true;
  };
  Stack();
  ui.onProcessEvents = nullptr;
  EXPECT_TRUE(st().StackExists);
  EXPECT_EQ(Cov(5, 5), 2.0f);
  EXPECT_NEAR(planes().StackPlanes[1].Get(5, 5), 60.0f, 1e-3);
  EXPECT_FALSE(in().StackPass);
  EXPECT_EQ(ui.cursor(), ui::Cursor::Normal);
}

TEST_F(StackingTest, VanishedFramesAreNamedOnceAtTheEndAndTheRestIsStacked) {
  SelectSequence(4, 16, 12);
  Rank(4, 3);
  const std::string gone1 = table().fileNames[1], gone2 = table().fileNames[2];
  px::DeleteFileIfExists(gone1);
  px::DeleteFileIfExists(gone2);
  ui.messages.clear();
  Stack();
  int errors = 0, warnings = 0;
  std::string report;
  for (auto& m : ui.messages) {
    errors += m.kind == ui::MsgKind::Error;
    if (m.kind == ui::MsgKind::Warning) {
      ++warnings;
      report = m.text;
    }
  }
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(warnings, 1);
  EXPECT_EQ(report.rfind("2 frames could not be read and were left out:", 0), 0u) << report;
  EXPECT_NE(report.find(gone1 + "\": no such file"), std::string::npos) << report;
  EXPECT_NE(report.find(gone2 + "\": no such file"), std::string::npos) << report;
  EXPECT_EQ(table()[1].Excluded, 1);
  EXPECT_EQ(table()[2].Excluded, 1);
  EXPECT_EQ(st().StackedCount, 2);
  EXPECT_TRUE(st().StackExists);
  EXPECT_EQ(Cov(5, 5), 2.0f);
  EXPECT_NEAR(planes().StackPlanes[1].Get(5, 5), 60.0f, 1e-3);
}

TEST_F(StackingTest, StackListMirrorsTheFrameListAndTogglesSelectedLines) {
  SelectSequence(4, 16, 12);
  Rank(4, 3);
  // Rank order 2, 0, 3, 1.
  const int order[4] = {2, 0, 3, 1};
  for (int k = 0; k < 4; ++k) table().ranks[k].FrameIndex = order[k];
  mf->stacking().FillStackList();
  auto& list = get<ui::CheckList>("StackFramesList");
  auto& frameList = get<ui::CheckList>("SelectFramesChecklist");
  ASSERT_EQ(list.count(), 4);
  EXPECT_EQ(list.item(0).text, frameList.item(2).text);

  list.userClickItem(2);
  EXPECT_EQ(slider().value(), 2);
  list.userClickItem(0, true);  // lines 0 and 2 selected
  list.userToggleCheck(2);      // the clicked line toggles once, the other selected line too
  EXPECT_FALSE(list.checked(0));
  EXPECT_FALSE(list.checked(2));
  EXPECT_TRUE(list.checked(1));
  EXPECT_EQ(table()[2].Excluded, 1);
  EXPECT_EQ(table()[3].Excluded, 1);
  EXPECT_EQ(table()[0].Excluded, 0);
  EXPECT_FALSE(frameList.checked(2));
  EXPECT_FALSE(frameList.checked(3));

  list.userDblClick();  // selected lines back on
  EXPECT_TRUE(list.checked(0));
  EXPECT_TRUE(list.checked(2));
  EXPECT_EQ(table()[2].Excluded, 0);
  EXPECT_TRUE(frameList.checked(3));

  get<ui::CheckBox>("Stacklist").userClick();
  EXPECT_TRUE(get<ui::ToolWindow>("Stackframeswindow").visible());
  get<ui::ToolWindow>("Stackframeswindow").userClose();
  EXPECT_FALSE(get<ui::CheckBox>("Stacklist").checked());
}

TEST_F(StackingTest, StackGraphRedCutOffLineAndGreenCurveOnlyAfterTwoFrames) {
  SelectSequence(4, 16, 12);
  Rank(4, 3);
  auto count = [&](ui::Color c, int column = -1) {
    const ui::Bitmap24& g = get<ui::Image>("StackGraph").picture();
    int n = 0;
    for (int y = 0; y < g.height(); ++y)
      for (int x = 0; x < g.width(); ++x)
        if ((column < 0 || x == column) && g.pixel(x, y) == c) ++n;
    return n;
  };
  ui.queueAnswer(ui::DialogResult::Yes);
  slider().setValue(0);
  Stack();
  EXPECT_EQ(count(ui::colors::Green), 0);
  EXPECT_EQ(count(ui::colors::Red, 0), get<ui::Image>("StackGraph").picture().height());
  slider().setValue(3);
  Stack();
  EXPECT_GT(count(ui::colors::Green), 0);
  EXPECT_EQ(st().StackedCount, 4);
  for (int j = 1; j <= 4; ++j) EXPECT_TRUE(std::isfinite(table().ranks[j].StackQuality)) << j;
  slider().setValue(2);  // the red line follows: x = Round(307 * 2 / 3) = 205 (the green curve crosses it)
  EXPECT_GE(count(ui::colors::Red, 205), get<ui::Image>("StackGraph").picture().height() / 2);
}

TEST_F(StackingTest, SelectionLabelsUseTheLargestDifferencePerBoxPixel) {
  SelectSequence(3, 16, 12);
  Rank(3, 1);
  table()[0].Quality = 0;  // best quality 0: divided by 1
  table()[1].Quality = 0.5f;
  table()[1].Difference = 64 * 64 * 3.14159f;
  table()[2].Difference = 64 * 64 * 1.0f;
  get<ui::RadioGroup>("FFTsizeGroup").setItemIndex(1);  // 64-pixel box
  get<ui::Slider>("differencecutslider").setValue(50);
  EXPECT_EQ(get<ui::Label>("RxLabel4").caption(), "Difference Cutoff (blue line) max =3.14");
  // Cut = 1.57 x 4096: rank 0 (0) passes, rank 1 does not.
  EXPECT_EQ(get<ui::Label>("StackInfoLabel").caption(), "Stacking : quality >= 50% , difference <= 50% , n = 1");
}

TEST_F(StackingTest, DarkframeAndFlatfieldThroughTheirButtons) {
  SelectSequence(2, 8, 4, ui::Color(90, 90, 90));
  Rank(2, 1);
  get<ui::CheckBox>("QualStack").setChecked(false);
  WriteBmp("dark.bmp", 8, 4, ui::Color(10, 10, 10));
  ui.queueDialog({dir.file("dark.bmp")}, 1);
  get<ui::Button>("LoadDarkframe").userClick();
  EXPECT_TRUE(get<ui::CheckBox>("UseDarkFrame").visible());
  get<ui::CheckBox>("UseDarkFrame").setChecked(true);
  Stack();
  EXPECT_NEAR(planes().StackPlanes[1].Get(3, 2), 80.0f, 1e-3);
  ASSERT_NE(mf->stacking().Darkframe(), nullptr);
  EXPECT_EQ(mf->stacking().Darkframe()->Get(0, 0), 1280.0f);

  get<ui::CheckBox>("UseDarkFrame").setChecked(false);
  ui::Bitmap24 f(8, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) f.setPixel(x, y, x < 4 ? ui::Color(100, 100, 100) : ui::Color(200, 200, 200));
  ui::SaveBmpFile(dir.file("flat.bmp"), f);
  ui.queueDialog({dir.file("flat.bmp")}, 1);
  get<ui::Button>("Flatfieldbutton").userClick();
  get<ui::CheckBox>("UseFlatfield").setChecked(true);
  Stack();
  EXPECT_NEAR(planes().StackPlanes[1].Get(1, 1), 135.0f, 1e-2);
  EXPECT_NEAR(planes().StackPlanes[1].Get(6, 1), 67.5f, 1e-2);
}

TEST_F(StackingTest, FitsCalibrationSwitchesColourOffAndAMissingProjectFileWarns) {
  SelectSequence(2, 8, 4);
  get<ui::CheckBox>("ColourStack").setChecked(true);
  formats::WriteFitsImage16(dir.file("dark.fit"), 8, 4, std::vector<int32_t>(32, 3), 0);
  ui.queueDialog({dir.file("dark.fit")}, 3);
  get<ui::Button>("LoadDarkframe").userClick();
  EXPECT_FALSE(get<ui::CheckBox>("ColourStack").checked());
  EXPECT_FALSE(get<ui::CheckBox>("Colourprocess2").checked());
  get<ui::CheckBox>("UseFlatfield").setChecked(true);
  ui.queueAnswer(ui::DialogResult::OK);
  EXPECT_FALSE(mf->stacking().LoadFlatfield(dir.file("gone.bmp"), 1));
  EXPECT_TRUE(SawMessage("Warning : flatfield " + dir.file("gone.bmp") + " missing "));
  EXPECT_FALSE(get<ui::CheckBox>("UseFlatfield").checked());
}

TEST_F(StackingTest, MakeDarkframeAveragesAllFramesAtTrueLevels) {
  std::vector<std::string> files = {WriteBmp("d0.bmp", 8, 4, ui::Color(10, 10, 10)),
                                    WriteBmp("d1.bmp", 8, 4, ui::Color(20, 20, 20))};
  SelectInput(files, 2);
  get<ui::CheckBox>("QualStack").setChecked(false);
  get<ui::Button>("CreateDarkframe").setVisible(true);
  get<ui::Button>("CreateDarkframe").userClick();
  EXPECT_EQ(st().StackMax, 255.0f);
  EXPECT_FALSE(st().CalibrationMode);
  EXPECT_NEAR(planes().StackPlanes[1].Get(2, 2), 15.0f, 1e-3);
  EXPECT_EQ(get<ui::Image>("Stackimage").picture().pixel(2, 2).g, 15);
  EXPECT_EQ(table().ranks[1].FrameIndex, 1);
}

TEST_F(StackingTest, DrizzleDoublesTheCanvasAndTheBoxesAgree) {
  SelectSequence(2, 16, 12);
  Rank(2, 1);
  get<ui::CheckBox>("Drizzle2").setChecked(true);
  EXPECT_TRUE(get<ui::CheckBox>("Drizzling").checked());
  get<ui::CheckBox>("Drizzling").setChecked(false);
  EXPECT_FALSE(get<ui::CheckBox>("Drizzle2").checked());
  get<ui::CheckBox>("Drizzling").setChecked(true);
  Stack();
  EXPECT_EQ(get<ui::Label>("Stackimagesize").caption(), "Image : 31x23");
  EXPECT_EQ(st().StackWidth, 31);
  EXPECT_NEAR(planes().StackPlanes[1].Get(10, 10), 60.0f, 1e-3);
}

TEST_F(StackingTest, ResampledStackEnlargesByTheFactor) {
  SelectSequence(2, 16, 12);
  Rank(2, 1);
  get<ui::CheckBox>("Resampled").setChecked(true);
  get<ui::SpinEdit>("ResampleSpin").setValue(2.0);
  Stack();
  EXPECT_EQ(get<ui::Label>("Stackimagesize").caption(), "Image : 31x23");
  EXPECT_EQ(st().StackWidth, 32);  // the last column stays 0
  EXPECT_NEAR(planes().StackPlanes[1].Get(10, 10), 60.0f, 0.5);
  EXPECT_EQ(Cov(31, 5), 0.0f);
}

TEST_F(StackingTest, SixteenBitTiffFramesAreStackedFromTheirSamples) {
  std::string seq = Generate("t48", "--frames 2 --size 40x30 --format tif48");
  std::vector<std::string> files = {px::JoinPath(seq, "frame_00000.tif"), px::JoinPath(seq, "frame_00001.tif")};
  SelectInput(files, 5);
  ASSERT_EQ(in().InputKind, frames::ikTiff);
  Rank(2, 1);
  get<ui::CheckBox>("ColourStack").setChecked(true);
  Stack();
  formats::TTIFFBitMap a, b;
  a.LoadTiff(files[0]);
  b.LoadTiff(files[1]);
  for (int c = 0; c < 3; ++c) {
    const double expect = (a.row16(12)[7 * 3 + c] + b.row16(12)[7 * 3 + c]) / 255.0 / 2;
    EXPECT_NEAR(planes().StackPlanes[c].Get(7, 12), expect, 1e-3) << c;
  }
}

TEST_F(StackingTest, LrgbFitsFilesFillTheirOwnPlanesAndTheLuminanceChannel) {
  std::string seq = Generate("lrgb", "--frames 2 --size 24x16 --format fits-lrgb");
  std::vector<std::string> files;
  for (const char* f : {"frame_00000_R.fit", "frame_00000_G.fit", "frame_00000_B.fit", "frame_00000_L.fit",
                        "frame_00001_R.fit", "frame_00001_G.fit", "frame_00001_B.fit", "frame_00001_L.fit"})
    files.push_back(px::JoinPath(seq, f));
  ui.queueAnswer(ui::DialogResult::No);  // "Stretch intensity-levels": the fixed 16-bit range
  SelectInput(files, 3);
  ASSERT_EQ(in().InputKind, frames::ikFits);
  Rank(8, 7);
  get<ui::CheckBox>("ColourStack").setChecked(true);
  get<ui::CheckBox>("Lumichannel").setChecked(false);
  Stack();
  EXPECT_EQ(Cov(10, 8), 8.0f);  // every file counts
  EXPECT_TRUE(get<ui::CheckBox>("Lumichannel").checked());
  EXPECT_FALSE(get<ui::Slider>("RedLRGBslider").enabled());
  for (int k = 0; k < 4; ++k) EXPECT_GT(planes().StackPlanes[k].Get(10, 8), 0.0f) << k;
  // Each colour plane holds only its two files, divided by all eight.
  const float r = planes().StackPlanes[0].Get(10, 8), l = planes().StackPlanes[3].Get(10, 8);
  EXPECT_LT(r, 65536.0f * 2 / 8 + 1);
  EXPECT_LT(l, 65536.0f * 2 / 8 + 1);
}

TEST_F(StackingTest, LuminanceFitsOfAnotherSize_IsLeftOutAndNamed) {
  std::string seq = Generate("lrgb", "--frames 2 --size 24x16 --format fits-lrgb");
  std::string big = Generate("big", "--frames 1 --size 30x20 --format fits-lrgb");
  std::vector<std::string> files;
  for (const char* f : {"frame_00000_R.fit", "frame_00000_G.fit", "frame_00000_B.fit", "frame_00000_L.fit",
                        "frame_00001_R.fit", "frame_00001_G.fit", "frame_00001_B.fit"})
    files.push_back(px::JoinPath(seq, f));
  const std::string odd = dir.file("odd_L.fit");
  pxtest::WriteBytes(odd, pxtest::ReadBytes(px::JoinPath(big, "frame_00000_L.fit")));
  files.push_back(odd);
  ui.queueAnswer(ui::DialogResult::No);  // "Stretch intensity-levels": the fixed 16-bit range
  SelectInput(files, 3);
  Rank(8, 7);
  get<ui::CheckBox>("ColourStack").setChecked(true);
  Stack();
  EXPECT_EQ(Cov(10, 8), 7.0f);  // the odd luminance file added nothing
  bool named = false;
  for (const auto& m : ui.messages) named = named || m.text.find("the luminance file is 30x20") != std::string::npos;
  EXPECT_TRUE(named);
}

// ---- Saving, read back by other programs ----

class StackSaveTest : public StackingTest {
 protected:
  void BuildColourStack() {
    ui::Bitmap24 b(24, 16);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x) b.setPixel(x, y, ui::Color(x * 10, y * 10, 50));
    ui::SaveBmpFile(dir.file("a.bmp"), b);
    ui::SaveBmpFile(dir.file("b.bmp"), b);
    SelectInput({dir.file("a.bmp"), dir.file("b.bmp")}, 2);
    Rank(2, 1);
    get<ui::CheckBox>("ColourStack").setChecked(true);
    Stack();
  }
  void Save(const std::string& file, int filter) {
    ui.queueDialog({file}, filter);
    get<ui::Button>("SaveButton").userClick();
  }
  // Pixels of a 16-bit image as ImageMagick reads them.
  std::map<std::pair<int, int>, std::array<unsigned, 3>> Pixels(const std::string& im, const std::string& file) {
    std::map<std::pair<int, int>, std::array<unsigned, 3>> px;
    std::string txt = Sh("(" + im + " " + file + " -depth 16 txt:- 2>/dev/null)");
    for (size_t p = 0; p < txt.size();) {
      size_t e = txt.find('\n', p);
      if (e == std::string::npos) e = txt.size();
      std::string line = txt.substr(p, e - p);
      p = e + 1;
      int x, y;
      unsigned r, g, b;
      if (std::sscanf(line.c_str(), "%d,%d: (%u,%u,%u)", &x, &y, &r, &g, &b) == 5) px[{x, y}] = {r, g, b};
    }
    return px;
  }
  std::string Sh(const std::string& cmd) {
    std::string out;
    pxtest::Run(cmd, &out);
    return out;
  }
};

TEST_F(StackSaveTest, BmpAndJpegWithOverwriteQuestionSaveDirAndCaption) {
  BuildColourStack();
  const std::string caption = form().caption();
  px::ForceDirectories(dir.file("out"));
  Save(dir.file("out/stack"), 1);
  ASSERT_TRUE(px::FileExists(dir.file("out/stack.bmp")));
  EXPECT_EQ(mf->settings().readString("Files", "SaveDir", ""), dir.file("out"));
  EXPECT_EQ(ui::LoadBmpFile(dir.file("out/stack.bmp")), get<ui::Image>("Stackimage").picture());
  // Typed with its extension: the same file, and the question comes first.
  auto before = pxtest::ReadBytes(dir.file("out/stack.bmp"));
  get<ui::CheckBox>("ColourStack").setChecked(false);
  Stack();
  ui.queueAnswer(ui::DialogResult::No);
  Save(dir.file("out/stack.bmp"), 1);
  EXPECT_TRUE(SawMessage(" Overwrite existing file ( " + dir.file("out/stack.bmp") + " ) ?"));
  EXPECT_EQ(pxtest::ReadBytes(dir.file("out/stack.bmp")), before);
  EXPECT_EQ(form().caption().rfind("Pelinoxa processing BMPs: ", 0), 0u) << form().caption();
  (void)caption;

  Save(dir.file("out/stack"), 2);
  ASSERT_TRUE(px::FileExists(dir.file("out/stack.jpg")));
  std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  EXPECT_EQ(Sh("identify -format '%m %w %h %Q' " + dir.file("out/stack.jpg")), "JPEG 24 16 90");
  EXPECT_EQ(Sh("identify -format '%w %h' " + dir.file("out/stack.bmp")), "24 16");
}

TEST_F(StackSaveTest, SixteenBitTiffBrightestIs65535AndLuminanceIsGrey) {
  PX_REQUIRE_PROGRAM("tiffinfo");
  BuildColourStack();
  Save(dir.file("c.tif"), 6);
  std::string info = Sh("tiffinfo " + dir.file("c.tif"));
  EXPECT_NE(info.find("Bits/Sample: 16"), std::string::npos) << info;
  EXPECT_NE(info.find("Samples/Pixel: 3"), std::string::npos) << info;
  std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  // The brightest channel value of the stack is 230 (red at x = 23): 65535 there, 0 stays 0,
  // blue 50 -> Round(50 / 230 * 65535).
  auto c = Pixels(im, dir.file("c.tif"));
  ASSERT_EQ(c.size(), 24u * 16u);
  const std::array<unsigned, 3> brightest{65535, 0, 14247};
  EXPECT_EQ(c[std::make_pair(23, 0)], brightest);
  EXPECT_EQ(c[std::make_pair(0, 0)][0], 0u);

  get<ui::CheckBox>("ColourStack").setChecked(false);
  Stack();
  Save(dir.file("l.tif"), 6);
  // Grey: every pixel's channels agree; the brightest is 65535.
  auto l = Pixels(im, dir.file("l.tif"));
  ASSERT_EQ(l.size(), 24u * 16u);
  unsigned top = 0;
  for (auto& [pos, v] : l) {
    EXPECT_TRUE(v[0] == v[1] && v[1] == v[2]) << pos.first << "," << pos.second;
    top = std::max(top, v[1]);
  }
  EXPECT_EQ(top, 65535u);
}

TEST_F(StackSaveTest, FitsFormsReadByAstropyAndFitsverify) {
  BuildColourStack();
  Save(dir.file("s16.fit"), 3);
  Save(dir.file("s32.fit"), 4);
  Save(dir.file("dark.fitx"), 5);
  for (const char* f : {"s16_R.fit", "s16_G.fit", "s16_B.fit", "s32_G.fit", "dark_R.fit"})
    EXPECT_TRUE(px::FileExists(dir.file(f))) << f;
  if (pxtest::HaveProgram("fitsverify")) {
    std::string out;
    EXPECT_EQ(pxtest::Run("fitsverify -q -e " + dir.file("s16_G.fit"), &out), 0) << out;
    EXPECT_EQ(pxtest::Run("fitsverify -q -e " + dir.file("s32_R.fit"), &out), 0) << out;
  }
  std::string py = pxtest::PythonWithAstropy();
  if (py.empty()) GTEST_SKIP() << "astropy not installed";
  // The .fitx variant keeps 128 x the level: green at row y is y * 10.
  std::string script = dir.file("read.py");
  pxtest::WriteText(script,
                    "import sys\nfrom astropy.io import fits\n"
                    "d = fits.getdata(sys.argv[1]).astype(float)\n"
                    "print(d.shape[1], d.shape[0], int(round(d[::-1][5][3])))\n");
  EXPECT_EQ(Sh(py + " " + script + " " + dir.file("dark_G.fit")), "24 16 6400\n");
  std::string s = Sh(py + " " + script + " " + dir.file("s16_R.fit"));
  EXPECT_EQ(s.substr(0, 6), "24 16 ") << s;
}

TEST_F(StackSaveTest, SaveToSubdirProposesAndCreatesTheFolder) {
  BuildColourStack();
  get<ui::CheckBox>("SaveSub").setChecked(true);
  EXPECT_TRUE(get<ui::Edit>("Subdirname").visible());
  const std::string sub = px::JoinPath(get<ui::Edit>("DirectoryListBox1").text(), "processed");
  Save(px::JoinPath(sub, "x"), 1);
  ASSERT_FALSE(ui.dialogRequests.empty());
  EXPECT_EQ(ui.dialogRequests.back().initialDir, sub);
  EXPECT_TRUE(px::FileExists(px::JoinPath(sub, "x.bmp")));
}

}  // namespace
