// Project and frame-list files: every key written and read back, a project typed by hand in
// the documented layout, and broken or hostile files refused with the file and the problem.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/Error.h"
#include "base/Files.h"
#include "project/FrameListFile.h"
#include "project/ProjectFile.h"
#include "support/TestSupport.h"

namespace {

using project::ProjectData;

ProjectData Sample(int n, bool avi) {
  ProjectData p;
  p.filetype = avi ? "AVI" : "TIF";
  p.filedir = "/captures/jupiter night";
  if (avi) p.filename = "_20260807_231500.avi";
  p.useDark = true;
  p.darkfile = "/captures/dark.fit";
  p.darkfiletype = 3;
  p.useFlat = true;
  p.flatfile = "/captures/flat.bmp";
  p.flatfiletype = 1;
  p.progstatus = 4;
  p.activepage = 4;
  p.usedframes = n / 2;
  p.refframe = n - 1;
  p.hasStackSliders = true;
  p.stackslider = n / 2 - 1;
  p.stackdifslider = 37;
  p.hasWavelet = true;
  for (int i = 0; i < 6; ++i) p.layer[i] = 10 + 7 * i;
  p.initial = 2;
  p.step = 3;
  p.scaletype = 1;
  p.contrast = 120;
  p.brightness = -15;
  p.hotx = 321;
  p.hoty = 243;
  p.stackx = 300;
  p.stacky = -4;
  p.resampled = true;
  p.resamplevalue = 3;
  p.interlaced = true;
  p.fineShifts = true;
  p.frames.resize(n);
  p.rank.resize(n);
  for (int i = 0; i < n; ++i) {
    auto& f = p.frames[i];
    if (!avi) f.im = "frame " + std::to_string(i) + " é.tif";
    f.ex = i % 3 == 0;
    f.x = i - 7;
    f.y = 3 - 2 * i;
    f.fx = static_cast<float>(f.x) + 0.375f;
    f.fy = static_cast<float>(f.y) - 1.0f / 3.0f;
    f.d = 0.1f * static_cast<float>(i) + 1e-7f;
    f.q = 1.0f / (1.0f + static_cast<float>(i));
    f.xa = -i;
    f.ya = i % 5;
    f.da = 0.25f * static_cast<float>(i);
    f.qa = 3.0f / 7.0f;
    p.rank[i] = n - 1 - i;
  }
  p.formLines = {"FormVersion=0", "Bias_Value=12", "BlurBox_Checked=True", "Processarea_Text=512"};
  return p;
}

void ExpectSame(const ProjectData& a, const ProjectData& b) {
  EXPECT_EQ(a.filetype, b.filetype);
  EXPECT_EQ(a.filedir, b.filedir);
  EXPECT_EQ(a.filename, b.filename);
  EXPECT_EQ(a.useDark, b.useDark);
  EXPECT_EQ(a.darkfile, b.darkfile);
  EXPECT_EQ(a.darkfiletype, b.darkfiletype);
  EXPECT_EQ(a.useFlat, b.useFlat);
  EXPECT_EQ(a.flatfile, b.flatfile);
  EXPECT_EQ(a.flatfiletype, b.flatfiletype);
  EXPECT_EQ(a.progstatus, b.progstatus);
  EXPECT_EQ(a.activepage, b.activepage);
  EXPECT_EQ(a.usedframes, b.usedframes);
  EXPECT_EQ(a.refframe, b.refframe);
  EXPECT_EQ(a.hasStackSliders, b.hasStackSliders);
  EXPECT_EQ(a.stackslider, b.stackslider);
  EXPECT_EQ(a.stackdifslider, b.stackdifslider);
  EXPECT_EQ(a.hasWavelet, b.hasWavelet);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(a.layer[i], b.layer[i]);
  EXPECT_EQ(a.initial, b.initial);
  EXPECT_EQ(a.step, b.step);
  EXPECT_EQ(a.scaletype, b.scaletype);
  EXPECT_EQ(a.contrast, b.contrast);
  EXPECT_EQ(a.brightness, b.brightness);
  EXPECT_EQ(a.hotx, b.hotx);
  EXPECT_EQ(a.hoty, b.hoty);
  EXPECT_EQ(a.stackx, b.stackx);
  EXPECT_EQ(a.stacky, b.stacky);
  EXPECT_EQ(a.resampled, b.resampled);
  EXPECT_EQ(a.resamplevalue, b.resamplevalue);
  EXPECT_EQ(a.interlaced, b.interlaced);
  EXPECT_EQ(a.fineShifts, b.fineShifts);
  ASSERT_EQ(a.frames.size(), b.frames.size());
  for (size_t i = 0; i < a.frames.size(); ++i) {
    const auto &f = a.frames[i], &g = b.frames[i];
    EXPECT_EQ(f.im, g.im);
    EXPECT_EQ(f.ex, g.ex);
    EXPECT_EQ(f.x, g.x);
    EXPECT_EQ(f.y, g.y);
    EXPECT_EQ(f.fx, g.fx) << i;
    EXPECT_EQ(f.fy, g.fy) << i;
    EXPECT_EQ(f.d, g.d) << i;  // floats come back bit for bit
    EXPECT_EQ(f.q, g.q) << i;
    EXPECT_EQ(f.xa, g.xa);
    EXPECT_EQ(f.ya, g.ya);
    EXPECT_EQ(f.da, g.da);
    EXPECT_EQ(f.qa, g.qa);
  }
  EXPECT_EQ(a.rank, b.rank);
  EXPECT_EQ(a.formLines, b.formLines);
}

TEST(ProjectFile, EveryKeyRoundTrips_AndTheSameDataGivesTheSameBytes) {
  for (bool avi : {true, false}) {
    SCOPED_TRACE(avi ? "video" : "stills");
    const ProjectData p = Sample(23, avi);
    const std::string text = project::WriteProjectText(p);
    ExpectSame(p, project::ReadProjectText(text, "t.pxp"));
    EXPECT_EQ(text, project::WriteProjectText(project::ReadProjectText(text, "t.pxp")));
  }
}

TEST(ProjectFile, FullFrameTable_RoundTrips_OneFrameMoreIsRefused) {
  const ProjectData p = Sample(project::kMaxProjectFrames, false);
  const std::string text = project::WriteProjectText(p);
  ExpectSame(p, project::ReadProjectText(text, "big.pxp"));
  std::string more = text;
  more.replace(more.find("sequencelength=5001"), 19, "sequencelength=5002");
  EXPECT_THROW(project::ReadProjectText(more, "big.pxp"), px::PelinoxaError);
}

TEST(ProjectFile, SectionsAndKeysInTheirDocumentedOrder) {
  ProjectData p = Sample(2, true);
  p.formLines = {"Bias_Value=0"};
  p.fineShifts = false;
  const std::string expected =
      "[Input]\nfiletype=AVI\nfiledir=/captures/jupiter night\nfilename=_20260807_231500.avi\n"
      "darkfile=/captures/dark.fit\ndarkfiletype=3\nflatfile=/captures/flat.bmp\nflatfiletype=1\n"
      "sequencelength=2\nprogstatus=4\nactivepage=4\nusedframes=1\nrefframe=1\nstackslider=0\n"
      "stackdifslider=37\nlayer1=10\nlayer2=17\nlayer3=24\nlayer4=31\nlayer5=38\nlayer6=45\ninitial=2\nstep=3\n"
      "scaletype=1\ncontrast=120\nbrightness=-15\nhotx=321\nhoty=243\nstackx=300\nstacky=-4\nresampled=yes\n"
      "resamplevalue=3\nEx0=1\nEx1=0\n\n"
      "[Shifts]\nX0=-7\nY0=3\nX1=-6\nY1=1\n\n"
      "[Info]\nD0=1.0000000116861e-07\nQ0=1\nD1=0.100000098347664\nQ1=0.5\n\n"
      "[IShifts]\nXa0=0\nYa0=0\nXa1=-1\nYa1=1\n\n"
      "[IInfo]\nDa0=0\nQa0=0.428571432828903\nDa1=0.25\nQa1=0.428571432828903\n\n"
      "[Ranking]\nRank0=1\nRank1=0\n\n"
      "[Form]\nBias_Value=0\n\n";
  EXPECT_EQ(project::WriteProjectText(p), expected);
}

TEST(ProjectFile, HandWrittenProject_LoadsWithDefaultsForWhatItLeavesOut) {
  // As a user would type it: CR-LF line ends, odd case, no filetype (BMP frames), no ranking.
  const std::string text =
      "[Input]\r\nfiledir=/data/moon\r\nsequencelength=3\r\nprogstatus=2\r\nrefframe=1\r\nhotx=50\r\nhoty=60\r\n"
      "im0=a.bmp\r\nim1=b.bmp\r\nim2=c.bmp\r\nEx1=1\r\n[shifts]\r\nX0=1\r\nY0=-2\r\nX2=5\r\n"
      "[Info]\r\nQ0=0.5\r\nD0=2.25\r\n";
  ProjectData p = project::ReadProjectText(text, "hand.pxp");
  EXPECT_EQ(p.filetype, "BMP");
  EXPECT_EQ(p.filedir, "/data/moon");
  ASSERT_EQ(p.sequencelength(), 3);
  EXPECT_EQ(p.progstatus, 2);
  EXPECT_EQ(p.activepage, -1);
  EXPECT_EQ(p.usedframes, 1);
  EXPECT_EQ(p.refframe, 1);
  EXPECT_EQ(p.hotx, 50);
  EXPECT_EQ(p.frames[2].im, "c.bmp");
  EXPECT_TRUE(p.frames[1].ex);
  EXPECT_FALSE(p.frames[0].ex);
  EXPECT_EQ(p.frames[0].x, 1);
  EXPECT_EQ(p.frames[0].y, -2);
  EXPECT_EQ(p.frames[2].x, 5);
  EXPECT_EQ(p.frames[0].q, 0.5f);
  EXPECT_EQ(p.frames[0].d, 2.25f);
  EXPECT_FALSE(p.resampled);
  EXPECT_EQ(p.resamplevalue, 1);
  EXPECT_EQ(p.rank, (std::vector<int32_t>{1, 1, 1}));  // the documented default rank
  EXPECT_FALSE(p.interlaced);
  EXPECT_EQ(p.frames[2].fx, 5.0f);  // no sub-pixel section: the whole-pixel shifts
}

// Each broken file is refused with the file's name and what is wrong with it.
TEST(ProjectFile, BrokenOrHostileProjects_RefusedWithTheFileAndTheProblem) {
  const std::string good = project::WriteProjectText(Sample(4, false));
  auto replace = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  struct Case {
    std::string text, problem;
  } cases[] = {
      {"", "no [Input] section"},
      {std::string("\x89PNG\r\n\x1a\n\0\0\0", 11), "binary data"},
      {good.substr(0, good.find("sequencelength")), "no sequencelength"},
      {replace("sequencelength=4", "sequencelength=-3"), "sequencelength=-3 is out of range (0 to 5001)"},
      {replace("sequencelength=4", "sequencelength=1000000000000"), "out of range"},
      {replace("sequencelength=4", "sequencelength=four"), "sequencelength=four is not a whole number"},
      {replace("D1=0.100000098347664", "D1=nan"), "[Info] D1=nan is not a finite number"},
      {replace("Q2=0.333333343267441", "Q2=-inf"), "[Info] Q2=-inf is not a finite number"},
      {replace("Q2=0.333333343267441", "Q2=1e999"), "[Info] Q2=1e999 is not a number"},
      {replace("Q2=0.333333343267441", "Q2=0,5"), "[Info] Q2=0,5 is not a number"},
      {replace("X3=-4", "X3=99999999999"), "[Shifts] X3=99999999999 is out of range"},
      {replace("Rank0=3", "Rank0=4"), "Rank0=4 is out of range"},
      {replace("refframe=3", "refframe=9"), "refframe=9 is out of range"},
      {replace("progstatus=4", "progstatus=7"), "progstatus=7"},
      {replace("im0=frame 0 é.tif", "im0=../../etc/passwd"), "is not a file name"},
      {replace("im0=frame 0 é.tif", "im0="), "im0= is not a file name"},
  };
  for (const auto& c : cases) {
    try {
      project::ReadProjectText(c.text, "/n/broken.pxp");
      ADD_FAILURE() << "accepted: " << c.problem;
    } catch (const px::PelinoxaError& e) {
      const std::string what = e.what();
      EXPECT_EQ(what.rfind("Project /n/broken.pxp: ", 0), 0u) << what;
      EXPECT_NE(what.find(c.problem), std::string::npos) << what;
    }
  }
}

TEST(ProjectFile, TruncatedAnywhere_NeverCrashesAndNeverGivesFramesItDidNotRead) {
  const std::string good = project::WriteProjectText(Sample(40, true));
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    try {
      ProjectData p = project::ReadProjectText(good.substr(0, cut), "cut.pxp");
      EXPECT_EQ(p.sequencelength(), 40);  // the count comes early; later keys take defaults
      EXPECT_EQ(p.rank.size(), 40u);
    } catch (const px::PelinoxaError&) {
    }
  }
}

TEST(ProjectFile, ReadingAFile_RefusesFoldersMissingAndOversizedFiles) {
  pxtest::TempDir dir;
  EXPECT_THROW(project::ReadProjectFile(dir.path()), px::PelinoxaError);
  EXPECT_THROW(project::ReadProjectFile(dir.file("none.pxp")), px::PelinoxaError);
  const std::string big = dir.file("big.pxp");
  {
    FILE* f = std::fopen(big.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fseek(f, static_cast<long>(project::kMaxProjectBytes) + 10, SEEK_SET);
    std::fputc('x', f);
    std::fclose(f);
  }
  try {
    project::ReadProjectFile(big);
    ADD_FAILURE();
  } catch (const px::PelinoxaError& e) {
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
  }
}

TEST(FrameListFile, PathsWithBlanksAndNonAscii_RoundTrip_CrLfAndBlankLinesTolerated) {
  const std::vector<std::string> paths = {"/a b/Jupiter 1.bmp", "/données/mond ☾/f2.fits", "/x/y.jpg"};
  const std::string text = project::WriteFrameListText(paths);
  EXPECT_EQ(text, "/a b/Jupiter 1.bmp\n/données/mond ☾/f2.fits\n/x/y.jpg\n");
  EXPECT_EQ(project::ReadFrameListText(text, "l.pxl", "/list"), paths);
  EXPECT_EQ(project::ReadFrameListText("/a b/Jupiter 1.bmp\r\n\r\nrel/f.bmp\r\n", "l.pxl", "/list"),
            (std::vector<std::string>{"/a b/Jupiter 1.bmp", "/list/rel/f.bmp"}));
  EXPECT_TRUE(project::ReadFrameListText("", "l.pxl", "/").empty());
  try {
    project::ReadFrameListText(std::string("/a.bmp\n\x7f" "ELF\x02\x01\x01\0", 14), "/l/bin.pxl", "/");
    ADD_FAILURE();
  } catch (const px::PelinoxaError& e) {
    EXPECT_EQ(std::string(e.what()), "Frame list /l/bin.pxl: line 2 holds binary data, it is not a frame list");
  }
}

}  // namespace
