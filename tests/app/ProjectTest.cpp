// Projects and frame lists through the form: a night's work saved and resumed in a fresh
// program, "Save as" renaming the capture, broken files leaving the work alone, frame lists
// from folders with blanks and non-ASCII names, and re-alignment on the processed picture.
#include <sys/stat.h>

#include <cmath>

#include "AppFixture.h"
#include "app/ProjectController.h"
#include "base/Json.h"
#include "project/FrameListFile.h"
#include "registration/RegistrationController.h"
#include "ui/BmpCodec.h"

namespace {

class ProjectTest : public pxtest::AppFixture {
 protected:
  void ClickFeature(int x, int y) {
    ui::MouseEvent e;
    e.x = x;
    e.y = y;
    get<ui::Image>("PreviewImage").userMouse(ui::MouseAction::Down, e);
  }
  // A fresh program in the same folder, without the first one's form-settings file.
  void Restart() {
    mf.reset();
    px::DeleteFileIfExists(dir.file("pelinoxa.ini"));
    ui.messages.clear();
    mf = std::make_unique<app::MainForm>(ui);
    app::StartupOptions opts;
    opts.programPath = "/proc/self/exe";
    opts.settingsPath = dir.file("config2/pelinoxa.ini");
    mf->FormCreate(opts);
    mf->FormShow();
  }
  void Save(const std::string& path) {
    ui.queueDialog({path}, 1);
    get<ui::Button>("SaveProject").userClick();
  }
  void Open(const std::string& path) {
    form().runUserAction([&] { mf->OpenFile(path); });
  }
  // Still frames cut from one picture, written as BMP under `folder`.
  std::vector<std::string> Stills(const std::string& folder, int count) {
    px::ForceDirectories(folder);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
      ui::Bitmap24 b(64, 48);
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) b.setPixel(x, y, ui::Color((x * 4 + i) & 255, y * 5, 90));
      files.push_back(px::JoinPath(folder, "f" + std::to_string(i) + ".bmp"));
      ui::SaveBmpFile(files.back(), b);
    }
    return files;
  }
  bool SawMessageContaining(const std::string& part) const {
    for (auto& m : ui.messages)
      if (m.text.find(part) != std::string::npos) return true;
    return false;
  }
  // Aligned and stacked: the best ten of 30 generated frames.
  std::string AlignedAndStackedCapture() {
    std::string avi = Generate("cap.avi", "--frames 30 --size 160x120 --seed 5 --jitter 3");
    SelectInput({avi}, 1);
    ClickFeature(80, 60);
    get<ui::Button>("Allignallbutton").userClick();
    get<ui::Slider>("StackSlider").setValue(9);
    get<ui::Button>("Stackbutton").userClick();
    return avi;
  }
};

TEST_F(ProjectTest, AlignedAndStackedCapture_ResumesInAFreshProgramWithTheSameWork) {
  AlignedAndStackedCapture();
  ASSERT_EQ(mf->ws.reg.WorkStatus, 4);
  get<ui::SpinEdit>("SearchArea").setValue(7);
  get<ui::Slider>("RxSlider3").setValue(35);
  get<ui::CheckBox>("CheckBox7").setChecked(false);  // a layer box, which a new input resets
  const std::string project = dir.file("night.pxp");
  Save(project);
  ASSERT_TRUE(px::FileExists(project)) << (ui.messages.empty() ? "" : ui.messages.back().text);
  Save(dir.file("again.pxp"));
  EXPECT_EQ(px::ReadFileText(project), px::ReadFileText(dir.file("again.pxp")));  // byte-identical

  px::Json frames = mf->Dump("frames"), stack = mf->Dump("stack");
  const std::string settings = form().getProperty("SearchArea.Value");
  const int page = form().activePageIndex();
  Restart();
  Open(project);
  for (auto& m : ui.messages) ADD_FAILURE() << m.text;
  EXPECT_EQ(mf->ws.reg.WorkStatus, 4);
  EXPECT_EQ(mf->ws.input.FrameCount, 30);
  px::Json frames2 = mf->Dump("frames");
  for (int i = 0; i < 30; ++i) {
    const auto &f1 = frames["frames"].asArray()[i], &f2 = frames2["frames"].asArray()[i];
    for (const char* k : {"ShiftX", "ShiftY", "FineShiftX", "FineShiftY", "Quality", "Difference", "Excluded"})
      EXPECT_EQ(f1.find(k)->asNumber(), f2.find(k)->asNumber()) << k << " " << i;
    EXPECT_EQ(frames["ranks"].asArray()[i].find("FrameIndex")->asNumber(),
              frames2["ranks"].asArray()[i].find("FrameIndex")->asNumber()) << i;
  }
  px::Json stack2 = mf->Dump("stack");
  EXPECT_EQ(stack["planes"]["G"]["hash"].asString(), stack2["planes"]["G"]["hash"].asString());
  EXPECT_EQ(form().getProperty("SearchArea.Value"), settings);
  EXPECT_EQ(get<ui::Slider>("RxSlider3").value(), 35);
  EXPECT_FALSE(get<ui::CheckBox>("CheckBox7").checked());
  EXPECT_EQ(get<ui::Slider>("StackSlider").value(), 9);
  EXPECT_EQ(form().activePageIndex(), page);  // where the save was made
  // Saved again unchanged, it is the same file.
  Save(dir.file("third.pxp"));
  EXPECT_EQ(px::ReadFileText(project), px::ReadFileText(dir.file("third.pxp")));
}

TEST_F(ProjectTest, BrokenProjects_NameFileAndProblem_AndLeaveTheWorkAlone) {
  std::string avi = Generate("cap.avi", "--frames 12 --size 160x120 --seed 2 --jitter 3");
  SelectInput({avi}, 1);
  ClickFeature(80, 60);
  get<ui::Button>("Allignallbutton").userClick();
  const std::string before = mf->Dump("frames").dump();
  const int status = mf->ws.reg.WorkStatus;
  struct Case {
    std::string name, text, problem;
  } cases[] = {
      {"binary.pxp", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10), "binary data"},
      {"empty.pxp", "", "no [Input] section"},
      {"negative.pxp", "[Input]\nfiletype=AVI\nfilename=cap.avi\nsequencelength=-5\n", "out of range"},
      {"huge.pxp", "[Input]\nfiletype=AVI\nfilename=cap.avi\nsequencelength=1000000000000\n", "out of range"},
      {"nan.pxp", "[Input]\nfiletype=AVI\nfilename=cap.avi\nsequencelength=2\n[Info]\nQ1=NaN\n", "finite"},
      {"gone.pxp", "[Input]\nfiletype=AVI\nfilename=gone.avi\nsequencelength=2\n", "Avifile gone.avi missing"},
      {"gonestill.pxp", "[Input]\nfiletype=BMP\nsequencelength=1\nim0=gone.bmp\n", "Bitmapfile gone.bmp missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    px::WriteFileAtomic(dir.file(c.name), c.text);
    ui.messages.clear();
    Open(dir.file(c.name));
    EXPECT_TRUE(SawMessageContaining(c.problem));
    if (c.problem.find("missing") == std::string::npos) {
      EXPECT_TRUE(SawMessageContaining(dir.file(c.name)));
    }
    EXPECT_EQ(mf->Dump("frames").dump(), before);
    EXPECT_EQ(mf->ws.reg.WorkStatus, status);
  }
}

TEST_F(ProjectTest, FailedWrite_KeepsThePreviousProjectWhole) {
  AlignedAndStackedCapture();
  const std::string project = dir.file("night.pxp");
  Save(project);
  const std::string first = px::ReadFileText(project);
  get<ui::Slider>("StackSlider").setValue(3);
  ::chmod(project.c_str(), 0444);  // refused even for root
  ui.messages.clear();
  ui.queueAnswer(ui::DialogResult::Yes);  // overwrite
  Save(project);
  EXPECT_TRUE(SawMessageContaining("was not saved"));
  EXPECT_EQ(px::ReadFileText(project), first);
  Save(dir.file("missing-folder/p.pxp"));
  EXPECT_FALSE(px::FileExists(dir.file("missing-folder/p.pxp")));
}

TEST_F(ProjectTest, SaveAs_RenamesTheVideo_ButNeverOverAnotherFile) {
  std::string avi = Generate("cap.avi", "--frames 6 --size 160x120 --seed 2 --jitter 1");
  const std::string capture = px::ReadFileText(avi);
  SelectInput({avi}, 1);
  // The name is taken: nothing renamed, nothing written.
  px::WriteFileAtomic(dir.file("taken.avi"), "another night");
  ui.queueDialog({dir.file("taken.pxp")}, 1);
  get<ui::Button>("BitBtn7").userClick();
  EXPECT_TRUE(SawMessage("Avi does allready exist, no renaming !! "));
  EXPECT_EQ(px::ReadFileText(dir.file("taken.avi")), "another night");
  EXPECT_EQ(px::ReadFileText(avi), capture);
  EXPECT_FALSE(px::FileExists(dir.file("taken.pxp")));
  // A free name: the video follows the project's name and the project names it.
  ui.queueDialog({dir.file("_20260807_231500.pxp")}, 1);
  get<ui::Button>("BitBtn7").userClick();
  EXPECT_FALSE(px::FileExists(avi));
  EXPECT_EQ(px::ReadFileText(dir.file("_20260807_231500.avi")), capture);
  EXPECT_NE(px::ReadFileText(dir.file("_20260807_231500.pxp")).find("filename=_20260807_231500.avi\n"),
            std::string::npos);
  Restart();
  Open(dir.file("_20260807_231500.pxp"));
  EXPECT_EQ(mf->ws.input.FrameCount, 6);
  EXPECT_EQ(mf->ws.input.AviFileName, "_20260807_231500.avi");
}

TEST_F(ProjectTest, SaveAs_RefusedForStillFrames) {
  auto files = Stills(dir.file("s"), 3);
  SelectInput(files, 2);
  get<ui::Button>("BitBtn7").userClick();
  EXPECT_TRUE(SawMessage("Only allowed for AVI-projects"));
}

TEST_F(ProjectTest, FrameListsFromFoldersWithBlanksAndNonAscii_LoadSaveAndAdd) {
  auto a = Stills(dir.file("night one"), 3);
  auto b = Stills(dir.file("nuit d'été ☾"), 2);
  const std::string list = dir.file("merged.pxl");
  px::WriteFileAtomic(list, project::WriteFrameListText({a[0], b[0], a[1], b[1], a[2]}));
  ui.queueDialog({list}, 2);
  get<ui::Button>("LoadProject").userClick();  // Project Load's second filter
  ASSERT_EQ(mf->ws.input.FrameCount, 5);
  EXPECT_EQ(mf->ws.input.InputKind, frames::ikBmp);
  EXPECT_EQ(mf->ws.table.fileNames[1], b[0]);
  EXPECT_EQ(get<ui::CheckList>("SelectFramesChecklist").item(3).text, "f1.bmp");
  EXPECT_TRUE(get<ui::Button>("Framelistsavebutton").visible());

  // Two of five unchecked: three lines.
  auto& checklist = get<ui::CheckList>("SelectFramesChecklist");
  checklist.userToggleCheck(1);
  checklist.userToggleCheck(3);
  ui.queueDialog({dir.file("three.pxl")}, 1);
  get<ui::Button>("Framelistsavebutton").userClick();
  EXPECT_EQ(px::ReadFileText(dir.file("three.pxl")), a[0] + "\n" + a[1] + "\n" + a[2] + "\n");

  // Added: appended after the frames there, whose records stay.
  mf->ws.table[0].ShiftX = 4;
  ui.queueDialog({dir.file("three.pxl")}, 1);
  get<ui::Button>("AddFramesButton").userClick();
  EXPECT_EQ(mf->ws.input.FrameCount, 8);
  EXPECT_EQ(mf->ws.table.fileNames[7], a[2]);
  EXPECT_EQ(mf->ws.table[0].ShiftX, 4);
  EXPECT_EQ(get<ui::Slider>("PreviewSlider").max(), 7);

  // Loaded through its own button: the list replaces the frames.
  ui.queueDialog({dir.file("three.pxl")}, 1);
  get<ui::Button>("Framelistloadbutton").userClick();
  EXPECT_EQ(mf->ws.input.FrameCount, 3);
  EXPECT_EQ(checklist.count(), 3);
}

TEST_F(ProjectTest, FrameListWithMissingFrames_NamesThem_AndOpensTheRest) {
  auto a = Stills(dir.file("s"), 3);
  const std::string list = dir.file("l.pxl");
  px::WriteFileAtomic(list, a[0] + "\n" + dir.file("s/lost.bmp") + "\n" + a[2] + "\n");
  Open(list);
  EXPECT_TRUE(SawMessageContaining(dir.file("s/lost.bmp")));
  EXPECT_EQ(mf->ws.input.FrameCount, 2);
  EXPECT_EQ(mf->ws.table.fileNames[1], a[2]);
  // A binary file is refused and the frames stay.
  px::WriteFileAtomic(dir.file("bin.pxl"), std::string("\0\1\2\3", 4));
  ui.messages.clear();
  Open(dir.file("bin.pxl"));
  EXPECT_TRUE(SawMessageContaining("Frame list " + dir.file("bin.pxl") + ": line 1 holds binary data"));
  EXPECT_EQ(mf->ws.input.FrameCount, 2);
}

TEST_F(ProjectTest, StillProject_FollowsItsMovedFolder_AndExcludesFramesDeletedSinceTheSave) {
  auto files = Stills(dir.file("night"), 4);
  SelectInput(files, 2);
  mf->ws.table[2].ShiftX = -3;
  const std::string name2 = px::ExtractFileName(mf->ws.table.fileNames[2]);
  const std::string name3 = px::ExtractFileName(mf->ws.table.fileNames[3]);
  const std::string project = dir.file("night/p.pxp");
  Save(project);
  ASSERT_TRUE(px::FileExists(project));
  ASSERT_TRUE(px::RenameFile(dir.file("night"), dir.file("moved")));
  px::DeleteFileIfExists(dir.file("moved/" + name3));
  Restart();
  Open(dir.file("moved/p.pxp"));
  ASSERT_EQ(mf->ws.input.FrameCount, 4);
  EXPECT_EQ(mf->ws.table.fileNames[2], dir.file("moved/" + name2));
  EXPECT_EQ(mf->ws.table[2].ShiftX, -3);
  EXPECT_TRUE(SawMessageContaining(dir.file("moved/" + name3)));
  EXPECT_EQ(mf->ws.table[3].Excluded, 1);
  EXPECT_FALSE(get<ui::CheckList>("SelectFramesChecklist").checked(3));
}

TEST_F(ProjectTest, TiffSequence_SavedAsTif_LoadsAsTiff_FromTheFinalPageOnTheStageReached) {
  const std::string seq = Generate("tifs", "--frames 4 --format tif16 --size 96x80 --seed 3 --jitter 1");
  std::vector<std::string> files;
  for (int i = 0; i < 4; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%05d.tif", i);
    files.push_back(seq + name);
  }
  SelectInput(files, 5);
  ASSERT_EQ(mf->ws.input.InputKind, frames::ikTiff);
  get<ui::Page>("FinalPage").setVisible(true);
  form().setActivePage(get<ui::Page>("FinalPage"));
  const std::string project = dir.file("tifs.pxp");
  Save(project);
  const std::string text = px::ReadFileText(project);
  EXPECT_NE(text.find("filetype=TIF\n"), std::string::npos);
  EXPECT_NE(text.find("activepage=5\n"), std::string::npos);
  Restart();
  Open(project);
  EXPECT_EQ(mf->ws.input.InputKind, frames::ikTiff);
  EXPECT_EQ(mf->ws.input.FrameCount, 4);
  EXPECT_EQ(mf->ws.input.ImageWidth, 96);
  EXPECT_EQ(form().activePage(), &get<ui::Page>("InputPage"));  // nothing stacked: the Input page
}

TEST_F(ProjectTest, RealignWithProcessed_DoesNotWorsenTheShiftsAgainstTheTruth) {
  const int n = 30;
  std::string avi = Generate("cap.avi", "--frames 30 --size 200x160 --scene moon --seed 11 --jitter 3 "
                                        "--blur-min 0.8 --blur-max 2.5 --noise 4 --truth " +
                                            dir.file("truth.json"));
  px::Json truth = px::Json::parse(px::ReadFileText(dir.file("truth.json")));
  const auto& fr = truth["frame"].asArray();
  // A common offset of every shift moves the stack, not its sharpness: it is taken out.
  auto rms = [&] {
    std::vector<double> ex(n), ey(n);
    double mx = 0, my = 0;
    for (int i = 0; i < n; ++i) {
      const auto& r = mf->ws.table[i];
      ex[i] = r.ShiftX - fr[i].find("dx")->asNumber();
      ey[i] = r.ShiftY - fr[i].find("dy")->asNumber();
      mx += ex[i] / n;
      my += ey[i] / n;
    }
    double se = 0;
    for (int i = 0; i < n; ++i) se += (ex[i] - mx) * (ex[i] - mx) + (ey[i] - my) * (ey[i] - my);
    return std::sqrt(se / n);
  };
  SelectInput({avi}, 1);
  ClickFeature(100, 80);
  get<ui::Button>("Allignallbutton").userClick();
  const double before = rms();
  get<ui::Slider>("StackSlider").setValue(9);
  get<ui::Button>("Stackbutton").userClick();
  form().userSetActivePage(get<ui::Page>("WaveletPage"));
  get<ui::Slider>("RxSlider3").setValue(30);
  const ui::Bitmap24 processed = get<ui::Image>("ProcessImage").picture();
  get<ui::Button>("RestartAlign").userClick();
  for (auto& m : ui.messages) ADD_FAILURE() << m.text;
  EXPECT_GE(mf->ws.reg.WorkStatus, 2);  // aligned anew
  EXPECT_EQ(mf->ws.reg.HotX, 100);
  EXPECT_EQ(mf->registration().ReferenceImage().width(), processed.width());
  const double after = rms();
  RecordProperty("RmsBefore", std::to_string(before));
  RecordProperty("RmsAfter", std::to_string(after));
  EXPECT_LE(after, before + 0.05) << "before " << before;

  // A picture of another size (a resampled or drizzled stack) would put the box elsewhere.
  ui.messages.clear();
  const int status = mf->ws.reg.WorkStatus;
  EXPECT_FALSE(mf->registration().ReferenceFromProcessed(ui::Bitmap24(400, 320)));
  EXPECT_TRUE(SawMessageContaining("The processed image is 400x320 pixels, the frames 200x160"));
  EXPECT_EQ(mf->ws.reg.WorkStatus, status);

  // "Use Processed": only the reference; unchecking does nothing.
  auto& use = get<ui::CheckBox>("UseProcessed");
  use.userClick();
  EXPECT_EQ(mf->ws.reg.WorkStatus, 1);
  use.userClick();
  EXPECT_EQ(mf->ws.reg.WorkStatus, 1);
}

}  // namespace
