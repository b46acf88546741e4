// Choosing an input and browsing it, through the form model as a user would.
#include <gtest/gtest.h>

#include "app/AppFixture.h"
#include "formats/FitsWriter.h"
#include "frames/AviWriter.h"
#include "frames/FrameSource.h"
#include "frames/InputSelection.h"
#include "ui/BmpCodec.h"

namespace {

using pxtest::AppFixture;

ui::Bitmap24 Solid(int w, int h, uint8_t v) {
  ui::Bitmap24 b(w, h);
  b.fill(ui::Color(v, v, v));
  return b;
}

class InputTest : public AppFixture {
 protected:
  frames::InputState& in() { return mf->ws.input; }
  frames::FrameTable& table() { return mf->ws.table; }
  ui::CheckList& list() { return get<ui::CheckList>("SelectFramesChecklist"); }
  std::string WriteBmp(const std::string& name, int w, int h, uint8_t v = 100) {
    std::string p = dir.file(name);
    ui::SaveBmpFile(p, Solid(w, h, v));
    return p;
  }
};

TEST_F(InputTest, Video_FillsFrameTableListAndSizes) {
  std::string avi = Generate("cap.avi", "--frames 12 --size 160x120 --drop 5");
  SelectInput({avi}, 1);
  EXPECT_EQ(in().InputKind, frames::ikAvi);
  EXPECT_TRUE(in().InputLoaded);
  EXPECT_EQ(in().FrameCount, 12);
  EXPECT_EQ(in().SelectedCount, 12);
  EXPECT_EQ(in().ImageWidth, 160);
  EXPECT_EQ(in().FrameHeight, 120);
  EXPECT_EQ(in().AviFileName, "cap.avi");
  EXPECT_EQ(form().caption(), "Pelinoxa processing AVI: " + avi);
  ASSERT_EQ(list().count(), 12);
  EXPECT_EQ(list().item(11).text, "Frame 12");
  EXPECT_EQ(get<ui::Slider>("PreviewSlider").max(), 11);
  EXPECT_EQ(get<ui::Label>("Label9").caption(), "1 / 12");
  EXPECT_EQ(get<ui::Label>("Frames").caption(), "Frame : 1 of 12 ( selected = 12) ");
  EXPECT_EQ(mf->settings().readString("Files", "Lasttype", ""), "AVI");
  EXPECT_EQ(mf->settings().readString("Files", "Dir", ""), dir.path());
  EXPECT_EQ(mf->ws.planes.StackPlanes[0].stride(), 160 + 20);
}

TEST_F(InputTest, BrowsingOntoADroppedFrame_MarksItGreyAndSpaceChangesNothing) {
  std::string avi = Generate("cap.avi", "--frames 12 --size 160x120 --drop 5");
  SelectInput({avi}, 1);
  get<ui::Slider>("PreviewSlider").userSetValue(5);
  EXPECT_EQ(table()[5].Dropped, 1);
  EXPECT_EQ(table()[5].Excluded, 1);
  EXPECT_EQ(list().item(5).text, "dropped frame");
  EXPECT_EQ(list().state(5), ui::CheckState::Grayed);
  EXPECT_EQ(get<ui::Shape>("UseFramesign").color(), ui::colors::Gray);
  get<ui::Slider>("PreviewSlider").userKey(32);
  EXPECT_EQ(table()[5].Excluded, 1);
  EXPECT_EQ(get<ui::Shape>("UseFramesign").color(), ui::colors::Gray);
  EXPECT_EQ(get<ui::Label>("Frames").caption(), "Frame : 6 of 12 ( selected = 11) ");
}

TEST_F(InputTest, SetNoneThenSpace_SelectsOneFrame) {
  std::string avi = Generate("cap.avi", "--frames 8 --size 96x96");
  SelectInput({avi}, 1);
  get<ui::Button>("BitBtn5").userClick();
  EXPECT_EQ(in().SelectedCount, 0);
  EXPECT_EQ(get<ui::Shape>("UseFramesign").color(), ui::colors::Red);
  get<ui::Slider>("PreviewSlider").userSetValue(5);
  get<ui::Slider>("PreviewSlider").userKey(32);
  EXPECT_EQ(get<ui::Label>("Frames").caption(), "Frame : 6 of 8 ( selected = 1) ");
  EXPECT_TRUE(list().checked(5));
  EXPECT_EQ(get<ui::Shape>("UseFramesign").color(), ui::colors::Green);
}

TEST_F(InputTest, SmallVideo_SwitchesTheBoxTo32) {
  std::string avi = Generate("small.avi", "--frames 3 --size 100x100");
  SelectInput({avi}, 1);
  EXPECT_EQ(get<ui::RadioGroup>("FFTsizeGroup").itemIndex(), 0);
}

TEST_F(InputTest, ThreeStills_AreExchangedFirstAndLastAndSizedFromTheFirstName) {
  std::string a = WriteBmp("A.bmp", 40, 30), b = WriteBmp("B.bmp", 50, 50), c = WriteBmp("C.bmp", 60, 60);
  SelectInput({a, b, c}, 2);
  EXPECT_EQ(in().InputKind, frames::ikBmp);
  EXPECT_EQ(table().fileNames[0], c);
  EXPECT_EQ(table().fileNames[1], b);
  EXPECT_EQ(table().fileNames[2], a);
  EXPECT_EQ(in().ImageWidth, 40);
  EXPECT_EQ(in().ImageHeight, 30);
  EXPECT_EQ(list().item(0).text, "C.bmp");
  EXPECT_TRUE(get<ui::Button>("FramelistSortbutton").visible());
  // The shown frame is frame 0 (C), so the preview now has C's size.
  EXPECT_EQ(mf->frameSource().preview().width(), 60);
}

TEST_F(InputTest, TiffFilter_TakesOnlyFramesWithAcceptedExtensions) {
  std::string a = WriteBmp("a.bmp", 20, 20);
  pxtest::WriteText(dir.file("notes.txt"), "not a frame");
  std::string b = WriteBmp("b.bmp", 20, 20);
  SelectInput({a, dir.file("notes.txt"), b}, 2);
  EXPECT_EQ(in().FrameCount, 2);
  EXPECT_EQ(list().count(), 2);
}

TEST_F(InputTest, CancelledDialogAfterWork_LeavesNoInput) {
  std::string avi = Generate("cap.avi", "--frames 4 --size 96x96");
  SelectInput({avi}, 1);
  table()[2].ShiftX = 7;
  get<ui::Control>("AligningPage").setVisible(true);
  ui.queueDialogCancel();
  get<ui::Button>("SelectFileButton").userClick();
  EXPECT_FALSE(in().InputLoaded);
  EXPECT_EQ(table()[2].ShiftX, 0);
  for (const char* p : {"AligningPage", "StackingPage", "WaveletPage", "FinalPage"})
    EXPECT_FALSE(get<ui::Control>(p).visible()) << p;
}

TEST_F(InputTest, MissingFirstFile_GivesTheErrorAndReadsNothing) {
  SelectInput({dir.file("gone.avi")}, 1);
  EXPECT_TRUE(SawMessage("non existing file :" + dir.file("gone.avi")));
  EXPECT_FALSE(in().InputLoaded);
  EXPECT_FALSE(in().PreviewClickLock);
}

TEST_F(InputTest, BrokenVideo_ShowsTheSourcesTextAndTheProgramStaysUsable) {
  pxtest::WriteText(dir.file("bad.avi"), "RIFF\x10\0\0\0AVI junk junk junk");
  SelectInput({dir.file("bad.avi")}, 1);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().kind, ui::MsgKind::Error);
  EXPECT_EQ(ui.messages.back().text.rfind("Failed to ", 0), 0u) << ui.messages.back().text;
  std::string avi = Generate("cap.avi", "--frames 4 --size 96x96");
  SelectInput({avi}, 1);
  EXPECT_TRUE(in().InputLoaded);
}

TEST_F(InputTest, FiveThousandAndTwoStills_AreCutTo5001WithTheWarning) {
  std::string one = WriteBmp("f.bmp", 8, 8);
  std::vector<std::string> names(5002, one);
  SelectInput(names, 2);
  EXPECT_TRUE(SawMessage("Warning : only 5000 frames can be processed"));
  EXPECT_EQ(in().FrameCount, 5001);
  EXPECT_EQ(list().count(), 5001);
  EXPECT_EQ(get<ui::Slider>("PreviewSlider").max(), 5000);
}

TEST_F(InputTest, Exactly5001Stills_GiveNoWarning) {
  std::string one = WriteBmp("f.bmp", 8, 8);
  SelectInput(std::vector<std::string>(5001, one), 2);
  EXPECT_FALSE(SawMessage("Warning : only 5000 frames can be processed"));
  EXPECT_EQ(in().FrameCount, 5001);
}

TEST_F(InputTest, Sort_OrdersNamesWithoutRegardToCase) {
  std::string b = WriteBmp("frame_B.bmp", 16, 16), a = WriteBmp("frame_a.bmp", 16, 16),
              c = WriteBmp("frame_c.bmp", 16, 16);
  SelectInput({b, c, a}, 2);
  list().setChecked(1, false);
  get<ui::Button>("FramelistSortbutton").userClick();
  EXPECT_EQ(list().item(0).text, "frame_a.bmp");
  EXPECT_EQ(list().item(1).text, "frame_B.bmp");
  EXPECT_EQ(list().item(2).text, "frame_c.bmp");
  EXPECT_TRUE(list().checked(1));
  EXPECT_EQ(table().fileNames[0], a);
}

TEST_F(InputTest, SortOnVideo_DoesNothing) {
  std::string avi = Generate("cap.avi", "--frames 3 --size 96x96");
  SelectInput({avi}, 1);
  get<ui::Control>("FramelistSortbutton").setVisible(true);
  get<ui::Button>("FramelistSortbutton").userClick();
  EXPECT_EQ(list().item(0).text, "Frame 1");
}

TEST_F(InputTest, DoubleClick_TogglesEverySelectedItem) {
  std::string avi = Generate("cap.avi", "--frames 6 --size 96x96");
  SelectInput({avi}, 1);
  list().userClickItem(2);
  list().userClickItem(3, true);
  list().userDblClick();
  EXPECT_EQ(table()[2].Excluded, 1);
  EXPECT_EQ(table()[3].Excluded, 1);
  EXPECT_EQ(in().SelectedCount, 4);
  EXPECT_FALSE(list().checked(2));
}

TEST_F(InputTest, CheckMark_FollowsIntoTheFrameTableButNotForDroppedFrames) {
  std::string avi = Generate("cap.avi", "--frames 6 --size 96x96 --drop 4");
  SelectInput({avi}, 1);
  get<ui::CheckBox>("ShowFramelist").userClick();
  list().userToggleCheck(1);
  EXPECT_EQ(table()[1].Excluded, 1);
  EXPECT_EQ(in().SelectedCount, 5);
  get<ui::Slider>("PreviewSlider").userSetValue(4);  // marks the dropped frame
  list().userToggleCheck(4);
  EXPECT_EQ(table()[4].Excluded, 1);
  EXPECT_EQ(list().state(4), ui::CheckState::Grayed);
  get<ui::Button>("BitBtn4").userClick();  // "Set all" keeps the dropped frame out
  EXPECT_EQ(table()[4].Excluded, 1);
  EXPECT_EQ(in().SelectedCount, 5);
}

TEST_F(InputTest, MouseNearTheRightBorder_ShowsTheNormalCursorAndErasesTheOutline) {
  std::string avi = Generate("cap.avi", "--frames 2 --size 200x160");
  SelectInput({avi}, 1);
  auto& img = get<ui::Image>("PreviewImage");
  ui::Bitmap24 before = img.picture();
  img.userMouse(ui::MouseAction::Move, {100, 80});
  EXPECT_EQ(img.cursor(), ui::Cursor::Cross);
  EXPECT_FALSE(img.picture() == before);
  img.userMouse(ui::MouseAction::Move, {200 - 20, 80});  // h = 32 > 19 pixels to the border
  EXPECT_EQ(img.cursor(), ui::Cursor::Normal);
  EXPECT_TRUE(img.picture() == before);
  EXPECT_EQ(mf->ws.nav.MarkerX, -1);
}

// A new input puts every later stage back to its start, each through its own reset; "Hold"
// on the wavelet page keeps the processing values (layers, contrast, brightness, gamma).
TEST_F(InputTest, NewInput_ResetsTheLaterStagesUnlessTheProcessingValuesAreHeld) {
  std::string avi = Generate("cap.avi", "--frames 4 --size 96x96");
  const struct {
    const char* property;
    const char* changed;
    const char* start;
    bool held;  // kept by "Hold"
  } cases[] = {
      {"Rbalance.Value", "0.5", "1", false},      {"blueslider.Value", "40", "0", false},
      {"Gamma1spin.Value", "2", "1", true},       {"RxSlider5.Value", "300", "10", true},
      {"ContrastSlider.Value", "150", "100", true}, {"CheckBox7.Checked", "False", "True", false},
      {"ResampleSpin.Value", "3", "2", false},    {"Optimizebutton.Visible", "True", "False", false},
      {"StackingPage.Visible", "True", "False", false},
  };
  for (bool hold : {false, true}) {
    get<ui::CheckBox>("HoldWavelets").setChecked(hold);
    for (const auto& c : cases) form().setProperty(c.property, c.changed);
    SelectInput({avi}, 1);
    for (const auto& c : cases)
      EXPECT_EQ(form().getProperty(c.property), hold && c.held ? c.changed : c.start) << c.property << " hold " << hold;
  }
}

TEST_F(InputTest, DroppedFiles_OfTheFirstFilesKindJoinTheListOnTheInputPageOnly) {
  formats::WriteFitsImage16(dir.file("a.fits"), 32, 24, std::vector<int32_t>(32 * 24, 1000), 32768);
  formats::WriteFitsImage16(dir.file("b.fits"), 32, 24, std::vector<int32_t>(32 * 24, 2000), 32768);
  std::string bmp = WriteBmp("c.bmp", 32, 24);
  form().setActivePage(get<ui::Page>("AligningPage"));
  form().userDropFiles({dir.file("a.fits"), dir.file("b.fits")});
  EXPECT_EQ(list().count(), 0);
  form().setActivePage(get<ui::Page>("InputPage"));
  form().userDropFiles({dir.file("a.fits"), bmp, dir.file("b.fits")});
  EXPECT_EQ(in().InputKind, frames::ikFits);
  EXPECT_TRUE(in().FitsStretch);
  EXPECT_TRUE(ui.messages.empty());  // no question asked
  ASSERT_EQ(list().count(), 2);
  EXPECT_EQ(table().fileNames[1], dir.file("b.fits"));
  EXPECT_EQ(in().ImageWidth, 32);
  EXPECT_EQ(mf->settings().readString("Files", "Lasttype", ""), "FIT");
  EXPECT_TRUE(in().InputLoaded);
}

TEST_F(InputTest, FitsSelection_AsksWhetherToStretch) {
  formats::WriteFitsImage16(dir.file("a_L.fit"), 16, 16, std::vector<int32_t>(256, 500), 32768);
  formats::WriteFitsImage16(dir.file("b_L.fit"), 16, 16, std::vector<int32_t>(256, 600), 32768);
  ui.queueAnswer(ui::DialogResult::Yes);
  SelectInput({dir.file("a_L.fit"), dir.file("b_L.fit")}, 3);
  EXPECT_TRUE(SawMessage("Stretch intensity-levels "));
  EXPECT_TRUE(in().FitsStretch);
  EXPECT_EQ(in().FitsChannel, 3);  // "_L": the luminance channel
  EXPECT_TRUE(get<ui::CheckBox>("Lumichannel").visible());
  EXPECT_EQ(mf->ws.planes.FitsPlane.stride(), 26);
}

TEST_F(InputTest, EmptyList_ThenDroppedFilesStartANewList) {
  std::string a = WriteBmp("a.bmp", 20, 20), b = WriteBmp("b.bmp", 20, 20);
  SelectInput({a, b}, 2);
  get<ui::Button>("BitBtn10").userClick();
  EXPECT_EQ(list().count(), 0);
  std::string c = WriteBmp("c.bmp", 24, 20);
  form().userDropFiles({c});
  ASSERT_EQ(list().count(), 1);
  EXPECT_EQ(table().fileNames[0], c);
  EXPECT_EQ(in().ImageWidth, 24);
}

TEST_F(InputTest, SingleFrameBeforeTheStartSample_ReadsTheStartSample) {
  frames::AviWriterOptions o;
  o.width = 8;
  o.height = 8;
  o.start = 20;
  std::string path = dir.file("start20.avi");
  {
    frames::AviWriter w(path, o);
    for (int k = 0; k < 25; ++k) {
      std::vector<uint8_t> chunk;
      frames::PackBgr24(Solid(8, 8, static_cast<uint8_t>(k * 5)), true, chunk);
      w.addFrame(chunk);
    }
    w.finish();
  }
  mf->frameSource().ReadAvi(path, 12);
  EXPECT_EQ(in().CurrentFrameIndex, 20);
  EXPECT_EQ(mf->frameSource().preview().pixel(3, 3), ui::Color(0, 0, 0));
  mf->frameSource().ReadAvi(path, 22);
  EXPECT_EQ(mf->frameSource().preview().pixel(3, 3), ui::Color(10, 10, 10));
}

TEST_F(InputTest, PassWithoutSteps_VisitsEveryFrameAndMarksDroppedOnes) {
  std::string avi = Generate("cap.avi", "--frames 10 --size 64x48 --drop 3,7");
  SelectInput({avi}, 1);
  int steps = 0;
  mf->frameSource().RegisterFrame = [&] { ++steps; };
  in().AlignPass = true;
  mf->frameSource().ReadAvi(in().AviPath, -1);
  in().AlignPass = false;
  EXPECT_EQ(steps, 8);  // the dropped frames never reach the per-frame step
  EXPECT_TRUE(in().DroppedFramesSeen);
  EXPECT_EQ(table()[3].Dropped, 1);
  EXPECT_EQ(table()[7].Excluded, 1);
  EXPECT_EQ(list().state(7), ui::CheckState::Grayed);
  // A second pass skips the excluded frames without even asking the source.
  steps = 0;
  in().AlignPass = true;
  mf->frameSource().ReadAvi(in().AviPath, -1);
  in().AlignPass = false;
  EXPECT_EQ(steps, 8);
}

TEST_F(InputTest, DeinterlacedPass_RunsTheStepOncePerField) {
  std::string avi = Generate("cap.avi", "--frames 4 --size 64x48 --interlaced");
  SelectInput({avi}, 1);
  get<ui::CheckBox>("Interlaced").userClick();
  std::vector<int> fields;
  mf->frameSource().AccumulateFrame = [&] { fields.push_back(in().FieldIndex); };
  in().StackPass = true;
  mf->frameSource().ReadAvi(in().AviPath, -1);
  in().StackPass = false;
  EXPECT_EQ(fields, (std::vector<int>{0, 1, 0, 1, 0, 1, 0, 1}));
}

TEST_F(InputTest, CancelDuringAPass_StopsBeforeTheNextFrame) {
  std::string avi = Generate("cap.avi", "--frames 20 --size 64x48");
  SelectInput({avi}, 1);
  int steps = 0;
  mf->frameSource().RegisterFrame = [&] { ++steps; };
  ui.onProcessEvents = [&] {
    if (steps == 5 && !in().CancelRequested) {
      ui.queueAnswer(ui::DialogResult::Yes);
      get<ui::Button>("CancelButton").userClick();
    }
  };
  in().AlignPass = true;
  mf->frameSource().ReadAvi(in().AviPath, -1);
  in().AlignPass = false;
  EXPECT_EQ(steps, 5);
  EXPECT_TRUE(in().CancelRequested);
}

TEST(FieldTest, FourRowFrame_RebuildsRowOneThenRowTwo) {
  ui::Bitmap24 pic(1, 4);
  for (int r = 0; r < 4; ++r) pic.setPixel(0, r, ui::Color(r * 10, r * 20, r * 40 + 1));
  ui::Bitmap24 f0 = pic;
  frames::RebuildField(f0, 0, false, 1, 4);
  EXPECT_EQ(f0.pixel(0, 1), ui::Color(10, 20, 41));  // (0 + 20) >> 1, (0 + 40) >> 1, (1 + 81) >> 1
  EXPECT_EQ(f0.pixel(0, 2), pic.pixel(0, 2));
  ui::Bitmap24 f1 = pic;
  frames::RebuildField(f1, 1, false, 1, 4);
  EXPECT_EQ(f1.pixel(0, 2), ui::Color(20, 40, 81));  // rows 1 and 3
  EXPECT_EQ(f1.pixel(0, 1), pic.pixel(0, 1));
  EXPECT_EQ(f1.pixel(0, 3), pic.pixel(0, 3));
}

TEST(FieldTest, HorizontalFields_AverageColumns) {
  ui::Bitmap24 pic(4, 1);
  for (int c = 0; c < 4; ++c) pic.setPixel(c, 0, ui::Color(c * 50, 0, 255));
  frames::RebuildField(pic, 0, true, 4, 1);
  EXPECT_EQ(pic.pixel(1, 0), ui::Color(50, 0, 255));
}

TEST(InputKindTest, KindsFromFiltersAndDroppedNames) {
  EXPECT_EQ(frames::KindOfFilter(3), frames::ikFits);
  EXPECT_EQ(frames::KindOfDroppedName("/x/A.JPG"), frames::ikJpeg);
  EXPECT_EQ(frames::KindOfDroppedName("/x/a.fts"), frames::ikFits);
  EXPECT_EQ(frames::KindOfDroppedName("/x/a.tiff"), frames::ikBmp);  // only "tif" is recognised
  EXPECT_TRUE(frames::IsAcceptedStillName("/x/a.TIFF"));
  EXPECT_FALSE(frames::IsAcceptedStillName("/x/a.png"));
}

}  // namespace
