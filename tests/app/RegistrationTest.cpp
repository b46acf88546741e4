// The registration stage driven through the main window: choosing the feature, the box size,
// registering frames with known shifts, the align-all run, cancel, dropped frames, the
// optimizer and the graphs.
#include <cmath>
#include <cstring>
#include <vector>

#include "AppFixture.h"
#include "base/Json.h"
#include "frames/FrameNavigation.h"
#include "registration/RegistrationController.h"
#include "registration/AligningControls.h"
#include "ui/BmpCodec.h"

namespace {

struct Offset {
  int dx, dy;
};

class Registration : public pxtest::AppFixture {
 protected:
  // A still sequence cut from one sharp, noiseless moon picture so that frame i's content is
  // frame 0's moved by offsets[i] (x right, y down).
  std::vector<std::string> ShiftedSequence(const std::vector<Offset>& offsets, int w = 200, int h = 160,
                                           const std::string& scene = "moon") {
    const int margin = 40;
    std::string master = Generate("master", "--frames 1 --format bmp --scene " + scene + " --size " +
                                                std::to_string(w + 2 * margin) + "x" +
                                                std::to_string(h + 2 * margin) +
                                                " --jitter 0 --noise 0 --blur-min 0.3 --blur-max 0.3");
    ui::Bitmap24 big = ui::LoadBmpFile(master + "/frame_00000.bmp");
    std::vector<std::string> files;
    for (size_t i = 0; i < offsets.size(); ++i) {
      ui::Bitmap24 frame(w, h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          frame.setPixel(x, y, big.pixel(x + margin - offsets[i].dx, y + margin - offsets[i].dy));
      char name[32];
      std::snprintf(name, sizeof name, "f%03zu.bmp", i);
      files.push_back(dir.file(name));
      ui::SaveBmpFile(files.back(), frame);
    }
    return files;
  }
  registration::AligningControls& al() { return mf->aligning; }
  void ClickFeature(int x, int y) {
    ui::MouseEvent e;
    e.x = x;
    e.y = y;
    get<ui::Image>("PreviewImage").userMouse(ui::MouseAction::Down, e);
  }
  // The offset of still frame q against the reference frame (the dialog may list the files in
  // another order than they were written).
  Offset Expected(const std::vector<std::string>& files, const std::vector<Offset>& offsets, int q) {
    auto of = [&](int frame) {
      for (size_t i = 0; i < files.size(); ++i)
        if (files[i] == mf->ws.table.fileNames[frame]) return offsets[i];
      ADD_FAILURE() << "unknown file " << mf->ws.table.fileNames[frame];
      return Offset{0, 0};
    };
    Offset a = of(q), r = of(mf->ws.reg.RefFrame);
    return {a.dx - r.dx, a.dy - r.dy};
  }
  const frames::FrameRecord& Rec(int i) { return mf->ws.table[i]; }
};

TEST_F(Registration, FeatureNearTheBorder_IsRefusedWithTheMessage) {
  auto files = ShiftedSequence({{0, 0}, {1, 1}});
  SelectInput(files, 2);
  ClickFeature(32, 80);  // h = 32: X <= h is refused
  EXPECT_TRUE(SawMessage(" Alignment feature too close to image border "));
  EXPECT_EQ(mf->ws.reg.WorkStatus, 0);
  ClickFeature(33, 80);
  EXPECT_EQ(mf->ws.reg.WorkStatus, 1);
  EXPECT_EQ(mf->ws.reg.HotX, 33);
  EXPECT_EQ(mf->ws.reg.BoxX, 1);
  EXPECT_EQ(mf->ws.reg.BoxY, 48);
  EXPECT_TRUE(get<ui::Page>("AligningPage").visible());
  EXPECT_TRUE(al().FFTWindow.visible());
  EXPECT_TRUE(al().Propertywindow.visible());
  // The reference frame registers onto itself.
  EXPECT_EQ(Rec(0).ShiftX, 0);
  EXPECT_EQ(Rec(0).ShiftY, 0);
  EXPECT_FLOAT_EQ(Rec(0).Difference, 0.0f);
  EXPECT_GT(Rec(0).Quality, 0.0f);
}

TEST_F(Registration, BoxSizeChange_MovesTheBoxAndRenamesTheFFTWindow) {
  EXPECT_EQ(al().FFTWindow.caption(), "FFT spectrum 64x64");  // the start-up box
  mf->ws.reg.BoxX = 100;
  mf->ws.reg.BoxY = 40;
  al().FFTsizeGroup.userSelect(3);
  EXPECT_EQ(mf->ws.reg.BoxX, 48);
  EXPECT_EQ(mf->ws.reg.BoxY, 16);
  EXPECT_EQ(al().FFTWindow.caption(), "FFT spectrum 256x256");
  EXPECT_EQ(mf->registration().Engine().FFTSize(), 256);
  mf->ws.reg.BoxX = 300;
  mf->ws.reg.BoxY = 100;
  al().FFTsizeGroup.userSelect(1);
  EXPECT_EQ(mf->ws.reg.BoxX, 144);
  EXPECT_EQ(mf->ws.reg.BoxY, 100);
  EXPECT_EQ(al().FFTWindow.caption(), "FFT spectrum 64x64");
}

TEST_F(Registration, KnownIntegerShifts_RecoveredExactly_WithAndWithoutTracking) {
  const std::vector<Offset> offsets = {{0, 0}, {3, 2}, {-5, 4}, {7, -6}, {-2, -9}, {12, 3}, {-14, 10}, {1, -1}};
  auto files = ShiftedSequence(offsets);
  for (bool track : {false, true}) {
    SCOPED_TRACE(track ? "tracking" : "no tracking");
    SelectInput(files, 2);
    al().Followme.setChecked(track);
    ClickFeature(100, 80);
    get<ui::Button>("Allignallbutton").userClick();
    for (int i = 0; i < static_cast<int>(offsets.size()); ++i) {
      EXPECT_EQ(Rec(i).ShiftX, Expected(files, offsets, i).dx) << "frame " << i;
      EXPECT_EQ(Rec(i).ShiftY, Expected(files, offsets, i).dy) << "frame " << i;
    }
    // Exact copies differ by nothing once aligned.
    for (size_t i = 0; i < offsets.size(); ++i) EXPECT_LT(Rec(static_cast<int>(i)).Difference, 1e-3f);
    EXPECT_EQ(mf->ws.reg.WorkStatus, 3);  // aligned, then optimized
    EXPECT_EQ(al().AlignSlider.max(), 7);
    bool timeLine = false;
    for (const auto& l : al().Memo2.lines()) timeLine |= l.rfind("Time per image :", 0) == 0;
    EXPECT_TRUE(timeLine);
  }
}

TEST_F(Registration, TrackingWithPrediction_FollowsTheDrift_AndItsVelocityTruncates) {
  // A drift of 2 pixels a frame along x (the dialog may list the files in another order).
  std::vector<Offset> offsets;
  for (int i = 0; i < 6; ++i) offsets.push_back({2 * i, 0});
  auto files = ShiftedSequence(offsets);
  SelectInput(files, 2);
  al().AutoOptimize.setChecked(false);
  al().PredictTrack.setChecked(true);
  ClickFeature(100, 80);
  get<ui::Button>("Allignallbutton").userClick();
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Rec(i).ShiftX, Expected(files, offsets, i).dx) << i;
  const int last = 5;
  EXPECT_EQ(mf->ws.reg.TrackX, Rec(last).ShiftX);
  // (ShiftX[k-1] - ShiftX[k]) / 2, truncated toward zero.
  EXPECT_EQ(mf->ws.reg.TrackVX, (Rec(last - 1).ShiftX - Rec(last).ShiftX) / 2);
  EXPECT_EQ(mf->ws.reg.TrackVY, 0);
}

TEST_F(Registration, RecalcFFT_ReturnsToTheReferenceFrameAndPaintsTheSurface) {
  auto files = ShiftedSequence({{0, 0}, {2, 1}});
  SelectInput(files, 2);
  ClickFeature(100, 80);
  get<ui::Slider>("PreviewSlider").setValue(1);
  mf->ws.reg.TrackX = 7;
  al().Alignonebutton.userClick();
  EXPECT_EQ(get<ui::Slider>("PreviewSlider").value(), 0);
  EXPECT_EQ(mf->ws.reg.TrackX, 0);
  EXPECT_EQ(mf->ws.reg.BoxX, 68);
  EXPECT_EQ(Rec(0).ShiftX, 0);
  // "Show FFT" is on after the click: the correlation surface with its bright (blue) peak.
  const ui::Bitmap24& fft = al().FFTImage.picture();
  ASSERT_FALSE(fft.empty());
  int blue = 0;
  for (int y = 0; y < fft.height(); ++y)
    for (int x = 0; x < fft.width(); ++x) blue += fft.pixel(x, y) == ui::Color(0, 0, 255);
  EXPECT_GT(blue, 0);
  EXPECT_EQ(al().ShiftLabel.caption(), "0 0");
}

TEST_F(Registration, ResampleScalesShiftsAndMarksTheDifference) {
  auto files = ShiftedSequence({{0, 0}, {3, -2}});
  SelectInput(files, 2);
  al().Followme.setChecked(false);
  al().AutoOptimize.setChecked(false);
  al().ResampleSpin.setValue(2.0);
  al().Resampled.setChecked(true);
  ClickFeature(100, 80);
  get<ui::Button>("Allignallbutton").userClick();
  EXPECT_EQ(Rec(1).ShiftX, 2 * Expected(files, {{0, 0}, {3, -2}}, 1).dx);
  EXPECT_EQ(Rec(1).ShiftY, 2 * Expected(files, {{0, 0}, {3, -2}}, 1).dy);
  EXPECT_EQ(std::abs(Rec(1).ShiftX), 6);
  EXPECT_FLOAT_EQ(Rec(1).Difference, 1.0f);
}

TEST_F(Registration, EqualQualities_KeepFrameOrder_AndTheGraphIsDrawn) {
  auto files = ShiftedSequence({{0, 0}, {0, 0}, {0, 0}});
  SelectInput(files, 2);
  ClickFeature(100, 80);
  get<ui::Button>("Allignallbutton").userClick();
  const auto& ranks = mf->ws.table.ranks;
  EXPECT_EQ(ranks[0].FrameIndex, 0);
  EXPECT_EQ(ranks[1].FrameIndex, 1);
  EXPECT_EQ(ranks[2].FrameIndex, 2);
  // The graph: white background with the red quality curve somewhere.
  const ui::Bitmap24& g = al().imgGraph.picture();
  ASSERT_EQ(g.width(), 300);
  int red = 0;
  for (int y = 0; y < g.height(); ++y)
    for (int x = 0; x < g.width(); ++x) red += g.pixel(x, y) == ui::colors::Red;
  EXPECT_GT(red, 100);
  const ui::Bitmap24& copy = get<ui::Image>("StackGraph").picture();
  // The Stacking page's copy keeps its 307 x 249 and holds the graph in its corner.
  EXPECT_EQ(copy.width(), 307);
  EXPECT_EQ(copy.height(), 249);
  int same = 0;
  for (int y = 0; y < 249; ++y)
    for (int x = 0; x < 300; ++x) same += copy.pixel(x, y) == g.pixel(x, y);
  EXPECT_GE(same, 300 * 249 - 249);  // all but the stack selection's red cut-off column
}

TEST_F(Registration, BrowsingByRank_ShowsTheRankedFrameAndMarksItOnTheGraph) {
  const std::vector<Offset> offsets = {{0, 0}, {5, 3}, {-6, 2}};
  auto files = ShiftedSequence(offsets);
  SelectInput(files, 2);
  ClickFeature(100, 80);
  get<ui::Button>("Allignallbutton").userClick();
  EXPECT_TRUE(al().AlignSlider.visible());
  al().AlignSlider.userSetValue(1);
  const int f = mf->ws.table.ranks[1].FrameIndex;
  EXPECT_NE(form().caption().find(mf->ws.table.fileNames[f]), std::string::npos);
  EXPECT_EQ(get<ui::Image>("PreviewImage").picture(), ui::LoadBmpFile(mf->ws.table.fileNames[f]));
  // The green position line half way (position 1 of 2).
  const ui::Bitmap24& g = al().imgGraph.picture();
  EXPECT_EQ(g.pixel(150, 100), ui::colors::Green);
}

TEST_F(Registration, SingleFrame_PlotsAtZeroAndReportsTheTotalTime) {
  auto files = ShiftedSequence({{0, 0}, {2, 2}});
  SelectInput(files, 2);
  mf->ws.table[1].Excluded = 1;
  mf->navigation().RefreshCaption();
  ClickFeature(100, 80);
  get<ui::Button>("Allignallbutton").userClick();
  EXPECT_EQ(al().AlignSlider.max(), 0);
  std::string perImage, total;
  for (const auto& l : al().Memo2.lines()) {
    if (l.rfind("Time per image :", 0) == 0) perImage = l.substr(16);
    if (l.rfind("Total Time     :", 0) == 0) total = l.substr(16);
  }
  ASSERT_FALSE(perImage.empty());
  EXPECT_EQ(perImage.find("nan"), std::string::npos);
  EXPECT_EQ(perImage.find("INF"), std::string::npos);
}

TEST_F(Registration, CancelMidRun_KeepsMeasuredFramesAndSkipsRanking) {
  std::string avi = Generate("cap.avi", "--frames 20 --size 160x120 --jitter 2");
  SelectInput({avi}, 1);
  ClickFeature(80, 60);
  int calls = 0;
  ui.onProcessEvents = [&] {
    if (mf->ws.input.AlignPass && ++calls == 8) {
      ui.queueAnswer(ui::DialogResult::Yes);
      get<ui::Button>("CancelButton").userClick();
    }
  };
  get<ui::Button>("Allignallbutton").userClick();
  ui.onProcessEvents = nullptr;
  int measured = 0;
  for (int i = 0; i < 20; ++i) measured += Rec(i).Quality > 0;
  EXPECT_GE(measured, 5);
  EXPECT_LT(measured, 20);
  EXPECT_FLOAT_EQ(Rec(19).Quality, 0.0f);
  for (int p = 0; p < 20; ++p) EXPECT_EQ(mf->ws.table.ranks[p].RankQuality, 0.0f);
  bool timeLine = false, optimizer = false;
  for (const auto& l : al().Memo2.lines()) {
    timeLine |= l.rfind("Total Time     :", 0) == 0;
    optimizer |= l.rfind("optimizer ", 0) == 0;
  }
  EXPECT_TRUE(timeLine);
  EXPECT_FALSE(optimizer);
  EXPECT_FALSE(mf->ws.input.AlignPass);
}

TEST_F(Registration, ClicksDuringARun_NeitherMoveTheFeatureNorStartAnotherRun) {
  std::string avi = Generate("cap.avi", "--frames 10 --size 160x120 --jitter 2");
  SelectInput({avi}, 1);
  ClickFeature(80, 60);
  int nested = 0;
  ui.onProcessEvents = [&] {
    if (!mf->ws.input.AlignPass || nested++ != 3) return;
    ClickFeature(70, 50);
    get<ui::Button>("Allignallbutton").userClick();
    al().Alignonebutton.setVisible(true);
    al().Alignonebutton.userClick();
  };
  get<ui::Button>("Allignallbutton").userClick();
  ui.onProcessEvents = nullptr;
  EXPECT_EQ(mf->ws.reg.HotX, 80);
  EXPECT_EQ(mf->ws.reg.HotY, 60);
  int timeLines = 0;
  for (const auto& l : al().Memo2.lines()) timeLines += l.rfind("Total Time     :", 0) == 0;
  EXPECT_EQ(timeLines, 1);
  for (int p = 0; p < 10; ++p) EXPECT_GT(mf->ws.table.ranks[p].RankQuality, 0.0f);
}

TEST_F(Registration, DroppedFrames_AreSkippedAndRankLast) {
  std::string avi = Generate("cap.avi", "--frames 12 --size 160x120 --jitter 2 --drop 3,7");
  SelectInput({avi}, 1);
  ClickFeature(80, 60);
  get<ui::Button>("Allignallbutton").userClick();
  EXPECT_EQ(Rec(3).Quality, 0.0f);
  EXPECT_EQ(Rec(7).Quality, 0.0f);
  EXPECT_EQ(al().AlignSlider.max(), 9);
  for (int p = 0; p <= 9; ++p) {
    EXPECT_NE(mf->ws.table.ranks[p].FrameIndex, 3);
    EXPECT_NE(mf->ws.table.ranks[p].FrameIndex, 7);
    EXPECT_GT(mf->ws.table.ranks[p].RankQuality, 0.0f);
  }
  EXPECT_NE(form().caption().find("(Dropped frames !)"), std::string::npos);
}

TEST_F(Registration, DeinterlacedInput_StoresBothFields) {
  std::string avi = Generate("cap.avi", "--frames 6 --size 160x120 --jitter 3 --interlaced --scene moon");
  SelectInput({avi}, 1);
  get<ui::CheckBox>("Interlaced").setChecked(true);
  ClickFeature(80, 60);
  get<ui::Button>("Allignallbutton").userClick();
  int fieldA = 0;
  for (int i = 0; i < 6; ++i) fieldA += Rec(i).QualityA > 0;
  EXPECT_EQ(fieldA, 6);
  for (int i = 0; i < 6; ++i) EXPECT_GT(Rec(i).Quality, 0.0f);
}

TEST_F(Registration, DeinterlacedStills_RegisterBothFieldsIntoTheirPairs) {
  const std::vector<Offset> offsets = {{0, 0}, {3, 2}, {-5, -4}};
  auto files = ShiftedSequence(offsets);
  SelectInput(files, 2);
  get<ui::CheckBox>("Interlaced").setChecked(true);
  al().Followme.setChecked(false);
  al().AutoOptimize.setChecked(false);
  ClickFeature(100, 80);
  get<ui::Button>("Allignallbutton").userClick();
  for (int i = 0; i < 3; ++i) {
    const Offset e = Expected(files, offsets, i);
    EXPECT_EQ(Rec(i).ShiftXa, e.dx) << i;
    EXPECT_EQ(Rec(i).ShiftYa, e.dy) << i;
    EXPECT_EQ(Rec(i).ShiftX, e.dx) << i;
    EXPECT_EQ(Rec(i).ShiftY, e.dy) << i;
    EXPECT_GT(Rec(i).QualityA, 0.0f) << i;
    EXPECT_GT(Rec(i).Quality, 0.0f) << i;
  }
}

TEST_F(Registration, AlignAndStack_CutsByLowerQualityAndCallsTheSeams) {
  auto files = ShiftedSequence({{0, 0}, {1, 0}, {0, 1}, {2, 2}});
  SelectInput(files, 2);
  ClickFeature(100, 80);
  bool after = false;
  mf->registration().AfterAutoStack = [&] { after = true; };
  get<ui::Button>("AlignStackButton").userClick();
  EXPECT_TRUE(after);
  EXPECT_TRUE(mf->registration().AutoStack());
  EXPECT_EQ(form().activePage(), &get<ui::Page>("StackingPage"));
}

TEST_F(Registration, ManualAlignment_TakesTheClickOnTheAligningPicture) {
  const std::vector<Offset> offsets = {{0, 0}, {4, -3}};
  auto files = ShiftedSequence(offsets);
  SelectInput(files, 2);
  al().Followme.setChecked(false);
  al().AutoOptimize.setChecked(false);
  ClickFeature(100, 80);
  al().ManualAlign.setChecked(true);
  EXPECT_FALSE(al().Misalignwarning.checked());
  // Every frame waits for a click: point at the feature where it now is.
  for (int k = 0; k < 2; ++k) {
    const Offset o = Expected(files, offsets, k);
    ui.queuePoint(100 + o.dx, 80 + o.dy);
  }
  get<ui::Button>("Allignallbutton").userClick();
  EXPECT_EQ(ui.pendingPoints(), 0u);
  EXPECT_TRUE(SawMessage(" Point at the alignmentfeature and left-click "));
  EXPECT_EQ(Rec(1).ShiftX, Expected(files, offsets, 1).dx);
  EXPECT_EQ(Rec(1).ShiftY, Expected(files, offsets, 1).dy);
  EXPECT_EQ(std::abs(Rec(1).ShiftX), 4);
}

TEST_F(Registration, LostAlignmentQuestion_NoKeepsTheAutomaticShift) {
  auto files = ShiftedSequence({{0, 0}, {2, 1}, {-3, 2}});
  SelectInput(files, 2);
  al().Followme.setChecked(false);
  al().AutoOptimize.setChecked(false);
  ClickFeature(100, 80);
  mf->registration().HaltbuttonClick();  // "Re-Align" asks at the next frame
  ui.queueAnswer(ui::DialogResult::No);
  get<ui::Button>("Allignallbutton").userClick();
  EXPECT_TRUE(SawMessage(" Is the alignment lost ? \n\r Click OK to realign on feature "));
  EXPECT_EQ(Rec(1).ShiftX, Expected(files, {{0, 0}, {2, 1}, {-3, 2}}, 1).dx);
  EXPECT_EQ(Rec(2).ShiftX, Expected(files, {{0, 0}, {2, 1}, {-3, 2}}, 2).dx);
}

TEST_F(Registration, OptimizerPass_MendsAShiftOffByOne_AndFastOptimizeSkipsSmallGains) {
  const std::vector<Offset> offsets = {{0, 0}, {3, 2}, {-4, 1}, {2, -3}};
  auto files = ShiftedSequence(offsets);
  SelectInput(files, 2);
  al().AutoOptimize.setChecked(false);
  ClickFeature(100, 80);
  get<ui::Button>("Allignallbutton").userClick();
  al().OptimizeQualitySpin.setValue(0);  // every frame is a candidate
  auto& t = mf->ws.table;
  const Offset e1 = Expected(files, offsets, 1), e2 = Expected(files, offsets, 2);
  t[1].ShiftX = e1.dx + 1;
  t[1].Difference = 1e9f;
  t[2].ShiftY = e2.dy - 2;
  t[2].Difference = 1e9f;
  t[2].OptimizeGain = 1;  // exactly "Optimize until": skipped with "Fast optimize"
  get<ui::Button>("Optimizebutton").userClick();
  EXPECT_EQ(t[1].ShiftX, e1.dx);
  EXPECT_EQ(t[1].ShiftY, e1.dy);
  // The window means are taken around the stored shift, so even the true offset leaves the
  // mean difference squared per term.
  EXPECT_LT(t[1].Difference, 1e4f);
  EXPECT_GT(t[1].OptimizeGain, 0.0f);  // from the last candidate that improved
  EXPECT_LE(t[1].OptimizeGain, 100.0f);
  EXPECT_EQ(t[2].ShiftY, e2.dy - 2);
  EXPECT_EQ(mf->ws.reg.WorkStatus, 3);
  bool header = false, dif = false;
  for (const auto& l : al().Memo2.lines()) {
    header |= l.rfind("optimizer ", 0) == 0;
    dif |= l.rfind("Dif:", 0) == 0;
  }
  EXPECT_TRUE(header);
  EXPECT_TRUE(dif);
  // Without "Fast optimize" the frame is visited; a search area of 2 reaches the true shift.
  al().FastOptimize.setChecked(false);
  get<ui::Button>("Optimizebutton").userClick();
  EXPECT_EQ(t[2].ShiftY, e2.dy);
  EXPECT_LT(mf->registration().OptimizerTotal(), 0.1);
  // The picture shows the reference and the current square side by side.
  EXPECT_EQ(al().AlignImage.picture().width(), 2 * 64 + 20);
  EXPECT_EQ(al().AlignImage.picture().height(), 64 + 70);
}

// Optimizer passes read the neighbourhoods kept by the align-all run instead of decoding the
// frames again; the results must be those of decoding.
TEST_F(Registration, OptimizerFromKeptNeighbourhoods_EqualsDecodingTheFrames) {
  std::string avi = Generate("cap.avi", "--frames 30 --size 200x160 --jitter 3 --scene moon");
  SelectInput({avi}, 1);
  al().AutoOptimize.setChecked(false);
  al().OptimizeQualitySpin.setValue(0);
  al().BlurBox.setChecked(true);
  ClickFeature(100, 80);
  get<ui::Button>("Allignallbutton").userClick();
  auto& t = mf->ws.table;
  const std::vector<frames::FrameRecord> aligned(t.frames.begin(), t.frames.begin() + 30);
  auto pass = [&] {
    std::copy(aligned.begin(), aligned.end(), t.frames.begin());
    for (int k = 0; k < 3; ++k) get<ui::Button>("Optimizebutton").userClick();
    return std::vector<frames::FrameRecord>(t.frames.begin(), t.frames.begin() + 30);
  };
  const auto kept = pass();
  mf->registration().ForgetKeptFrames();
  const auto decoded = pass();
  int moved = 0;
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(kept[i].ShiftX, decoded[i].ShiftX) << i;
    EXPECT_EQ(kept[i].ShiftY, decoded[i].ShiftY) << i;
    EXPECT_EQ(kept[i].Difference, decoded[i].Difference) << i;
    EXPECT_EQ(kept[i].OptimizeGain, decoded[i].OptimizeGain) << i;
    moved += kept[i].ShiftX != aligned[i].ShiftX || kept[i].ShiftY != aligned[i].ShiftY ||
             kept[i].Difference != aligned[i].Difference;
  }
  EXPECT_GT(moved, 0);  // the passes did refine something
}

// The optimizer's fast windows (every pixel inside both pictures, the reference window kept
// through a pass) give the results of the per-pixel checked path to the last bit: features
// whose windows cross the border in some frames and not in others, inside, a darkframe with
// structure, bias subtraction, de-interlaced fields, resampled windows.
TEST_F(Registration, OptimizerFastWindows_EqualThePerPixelCheckedPath) {
  const int frames = 24;
  std::string avi = Generate("cap.avi", "--frames 24 --size 200x160 --jitter 4 --scene moon");
  SelectInput({avi}, 1);
  al().OptimizeQualitySpin.setValue(0);
  al().Bias.setValue(12);
  frames::Single2dArray& dark = mf->ws.planes.DarkPlanes[1];
  dark.Create(200, 160);
  for (int y = 0; y < 160; ++y)
    for (int x = 0; x < 200; ++x) dark.Set(x, y, static_cast<float>((x * 7 + y * 13) % 23) * 61.0f);
  mf->ws.stack.DarkWidth = 200;
  mf->ws.stack.DarkHeight = 160;
  auto& t = mf->ws.table;
  struct Case {
    int x, y;
    bool dark, bias, interlaced = false, resampled = false;
  };
  for (const Case k : {Case{100, 80, false, false}, Case{36, 80, false, false}, Case{100, 125, true, false},
                       Case{37, 36, true, true}, Case{163, 80, false, true}, Case{36, 40, true, true, true},
                       Case{100, 80, true, false, false, true}}) {
    SCOPED_TRACE("feature " + std::to_string(k.x) + "," + std::to_string(k.y) + (k.dark ? " dark" : "") +
                 (k.bias ? " bias" : "") + (k.interlaced ? " interlaced" : "") + (k.resampled ? " resampled" : ""));
    get<ui::CheckBox>("UseDarkFrame").setChecked(k.dark);
    get<ui::CheckBox>("Interlaced").setChecked(k.interlaced);
    al().ResampleSpin.setValue(2.0);
    al().Resampled.setChecked(k.resampled);
    al().BlurBox.setChecked(k.bias);
    ClickFeature(k.x, k.y);
    ASSERT_EQ(mf->ws.reg.WorkStatus, 1);
    auto run = [&](bool exact) {
      mf->registration().SetExactOptimizerWindows(exact);
      get<ui::Button>("Allignallbutton").userClick();
      return std::vector<frames::FrameRecord>(t.frames.begin(), t.frames.begin() + frames);
    };
    const auto fast = run(false), exact = run(true);
    mf->registration().SetExactOptimizerWindows(false);
    int refined = 0;
    for (int i = 0; i < frames; ++i) {
      EXPECT_EQ(fast[i].ShiftX, exact[i].ShiftX) << i;
      EXPECT_EQ(fast[i].ShiftY, exact[i].ShiftY) << i;
      EXPECT_EQ(std::memcmp(&fast[i].Difference, &exact[i].Difference, sizeof(float)), 0)
          << i << ": " << fast[i].Difference << " " << exact[i].Difference;
      EXPECT_EQ(std::memcmp(&fast[i].OptimizeGain, &exact[i].OptimizeGain, sizeof(float)), 0) << i;
      EXPECT_EQ(std::memcmp(&fast[i].Quality, &exact[i].Quality, sizeof(float)), 0) << i;
      EXPECT_EQ(fast[i].ShiftXa, exact[i].ShiftXa) << i;
      EXPECT_EQ(fast[i].ShiftYa, exact[i].ShiftYa) << i;
      EXPECT_EQ(std::memcmp(&fast[i].DifferenceA, &exact[i].DifferenceA, sizeof(float)), 0) << i;
      refined += fast[i].OptimizeGain != 100.0f;
    }
    EXPECT_GT(refined, 0);  // the passes did search
  }
}

TEST_F(Registration, DarkframeOfAnotherSize_WarnsAndTheRunGoesOn) {
  auto files = ShiftedSequence({{0, 0}, {1, 2}});
  SelectInput(files, 2);
  ClickFeature(100, 80);
  mf->ws.planes.DarkPlanes[1].Create(10, 10);
  mf->ws.planes.DarkPlanes[1].Fill(0, 20, 20);
  mf->ws.stack.DarkWidth = mf->ws.stack.DarkHeight = 10;  // as loading a darkframe records it
  get<ui::CheckBox>("UseDarkFrame").setChecked(true);
  get<ui::Button>("Allignallbutton").userClick();
  EXPECT_TRUE(SawMessage(" darkframe size does not match imagesize !!"));
  EXPECT_EQ(mf->ws.reg.WorkStatus, 3);
}

TEST_F(Registration, DarkframeOffset_IsTakenOutOfBothWindows) {
  const std::vector<Offset> offsets = {{0, 0}, {2, -1}};
  auto files = ShiftedSequence(offsets);
  SelectInput(files, 2);
  ClickFeature(100, 80);
  // A uniform darkframe (level 10 on the x128 scale) shifts both windows alike.
  mf->ws.planes.DarkPlanes[1].Create(200, 160);
  mf->ws.planes.DarkPlanes[1].Fill(1280, 210, 170);
  mf->ws.stack.DarkWidth = 200;  // as loading a darkframe records it
  mf->ws.stack.DarkHeight = 160;
  get<ui::CheckBox>("UseDarkFrame").setChecked(true);
  get<ui::Button>("Allignallbutton").userClick();
  EXPECT_FALSE(SawMessage(" darkframe size does not match imagesize !!"));
  EXPECT_EQ(Rec(1).ShiftX, Expected(files, offsets, 1).dx);
  EXPECT_EQ(Rec(1).ShiftY, Expected(files, offsets, 1).dy);
  EXPECT_LT(Rec(1).Difference, 1e-3f);
}

TEST_F(Registration, OptimizerRefusesWindowsBeyondThePlanes) {
  auto files = ShiftedSequence({{0, 0}, {1, 1}}, 600, 560);
  SelectInput(files, 2);
  al().FFTsizeGroup.userSelect(3);
  al().AutoOptimize.setChecked(false);
  ClickFeature(300, 280);
  al().ResampleSpin.setValue(4.0);
  al().Resampled.setChecked(true);
  get<ui::Button>("Allignallbutton").userClick();
  get<ui::Button>("Optimizebutton").userClick();
  bool refused = false;
  for (auto& m : ui.messages) refused |= m.text.find("does not fit") != std::string::npos;
  EXPECT_TRUE(refused);
}

TEST_F(Registration, SettingsAndGraphControls) {
  al().SearchArea.userSetValue(0);
  EXPECT_EQ(al().SearchArea.value(), 1);
  EXPECT_EQ(mf->settings().readString("Settings", "SearchArea", ""), "1");
  al().SearchArea.userSetValue(12);
  EXPECT_EQ(mf->settings().readString("Settings", "SearchArea", ""), "10");
  al().FFTFilterspin.userSetValue(12.6);
  EXPECT_EQ(mf->settings().readString("Settings", "FFTFilter", ""), "13");
  al().QualityFilter.userSetValue(20);
  EXPECT_EQ(mf->settings().readString("Settings", "QualityFilter", ""), "20");
  al().ShowFFTbox.setChecked(true);
  EXPECT_TRUE(al().FFTWindow.visible());
  EXPECT_TRUE(al().Alignonebutton.visible());
  al().FFTWindow.userClose();
  EXPECT_FALSE(al().ShowFFTbox.checked());
  al().Showgraphbox.setChecked(true);
  EXPECT_TRUE(al().Propertywindow.visible());
  al().Propertywindow.userClose();
  EXPECT_FALSE(al().Showgraphbox.checked());
}

TEST_F(Registration, DumpNamesTheFeatureBoxAndStatus) {
  auto files = ShiftedSequence({{0, 0}, {1, 1}});
  SelectInput(files, 2);
  ClickFeature(90, 70);
  px::Json j = mf->Dump("registration");
  EXPECT_EQ(j["feature"]["HotX"].asNumber(), 90);
  EXPECT_EQ(j["box"]["BoxY"].asNumber(), 38);
  EXPECT_EQ(j["box"]["FFTSize"].asNumber(), 64);
  EXPECT_EQ(j["WorkStatus"].asNumber(), 1);
  EXPECT_EQ(j["RefFrame"].asNumber(), 0);
}

}  // namespace

namespace {

// "Use contrast" weights every frame's quality by its box contrast, nothing else changes; and
// a check box toggled while the run handles events leaves the frames still to come alone.
TEST_F(Registration, UseContrast_WeightsTheQualityByTheBoxContrast_OptionsReadOncePerRun) {
  std::string avi = Generate("cap.avi", "--frames 8 --size 160x120 --jitter 2 --scene moon");
  SelectInput({avi}, 1);
  al().AutoOptimize.setChecked(false);
  ClickFeature(80, 60);
  get<ui::Button>("Allignallbutton").userClick();
  std::vector<frames::FrameRecord> plain(mf->ws.table.frames.begin(), mf->ws.table.frames.begin() + 8);
  al().Contrast.setChecked(true);
  int handled = 0;
  ui.onProcessEvents = [&] {
    if (++handled == 3) al().Contrast.setChecked(false);  // mid-run: must not matter
  };
  get<ui::Button>("Allignallbutton").userClick();
  ui.onProcessEvents = nullptr;
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Rec(i).ShiftX, plain[i].ShiftX) << i;
    EXPECT_GT(Rec(i).BoxContrast, 0.0f) << i;
    EXPECT_FLOAT_EQ(Rec(i).Quality, plain[i].Quality * Rec(i).BoxContrast) << i;
  }
}

}  // namespace
