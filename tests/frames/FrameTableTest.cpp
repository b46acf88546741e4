// The frame table, the planes with their margins, the processing area and the memory report.
#include <gtest/gtest.h>

#include <regex>

#include "frames/FrameTable.h"
#include "frames/ImagePlanes.h"
#include "frames/MemoryReport.h"
#include "frames/Single2dArray.h"

namespace {

TEST(Single2dArrayTest, HasATenPixelMarginInBothDirections) {
  frames::Single2dArray p(100, 80);
  EXPECT_EQ(p.stride(), 110);
  EXPECT_EQ(p.rows(), 90);
  p.Set(109, 89, 3.5f);  // the last value of the storage
  p.Set(0, 0, -1.0f);
  EXPECT_EQ(p.Get(109, 89), 3.5f);
  EXPECT_EQ(p.Get(0, 0), -1.0f);
  EXPECT_EQ(&p.At(0, 1) - &p.At(0, 0), 110);
}

TEST(Single2dArrayTest, FillClipsToTheStorage) {
  frames::Single2dArray p(4, 3);
  p.Fill(7.0f, 1000, 1000);
  EXPECT_EQ(p.Get(13, 12), 7.0f);
  p.Fill(0.0f, 2, 2);
  EXPECT_EQ(p.Get(1, 1), 0.0f);
  EXPECT_EQ(p.Get(2, 1), 7.0f);
}

TEST(FrameTableTest, ResetGivesTheStartValuesToEverySlot) {
  auto t = std::make_unique<frames::FrameTable>();
  t->frames[5000].ShiftX = 9;
  t->frames[3].Dropped = 1;
  t->frames[3].Excluded = 1;
  t->frames[3].OptimizeGain = 4;
  t->ranks[17] = {3, 1.5f, 2.0f};
  t->Reset();
  EXPECT_EQ(t->frames[5000].ShiftX, 0);
  EXPECT_EQ(t->frames[3].Dropped, 0);
  EXPECT_EQ(t->frames[3].Excluded, 0);
  EXPECT_EQ(t->frames[3].OptimizeGain, 100.0f);
  EXPECT_EQ(t->ranks[17].FrameIndex, 0);
  EXPECT_EQ(t->ranks[17].RankQuality, 0.0f);
  EXPECT_EQ(t->CountSelected(10), 10);
  t->frames[2].Excluded = 1;
  EXPECT_EQ(t->CountSelected(10), 9);
}

TEST(ProcessAreaTest, SmallImagesGetTheirOwnSizeLargeOnesACentredArea) {
  frames::ProcessArea a;
  a.limit = 512;
  frames::PlaceProcessArea(a, 100, 80);
  EXPECT_EQ(a.left, 0);
  EXPECT_EQ(a.top, 0);
  EXPECT_EQ(a.width, 100);
  EXPECT_EQ(a.height, 80);
  frames::PlaceProcessArea(a, 1000, 512);
  EXPECT_EQ(a.width, 512);
  EXPECT_EQ(a.left, 244);
  EXPECT_EQ(a.height, 512);
  EXPECT_EQ(a.top, 0);
}

TEST(ImagePlanesTest, AllocationCreatesEveryImagePlaneWithItsMargin) {
  frames::ImagePlanes p;
  frames::AllocatePlanes(p, 640, 480);
  for (auto* plane : {&p.StackPlanes[0], &p.StackPlanes[3], &p.ColourPlanes[2], &p.CoveragePlane, &p.WaveletWorkPlane}) {
    EXPECT_EQ(plane->stride(), 660);  // nominal 650 + 10
    EXPECT_EQ(plane->rows(), 500);
  }
  EXPECT_EQ(p.OutputBitmap48.width48(), 641);
  EXPECT_EQ(p.OutputBitmap48.height48(), 481);
  EXPECT_EQ(p.OutputBitmap48.rowBytes48(), 641u * 6);
  EXPECT_EQ(p.OutputBitmap48.row16(480)[640 * 3 + 2], 0);  // zero-filled
  p.CreateLayerPlanes(256);
  ASSERT_EQ(p.LayerPlanes.size(), 21u);
  EXPECT_EQ(p.Layer(6, 2).stride(), 266);
}

TEST(MemoryReportTest, FiveLinesInTheReportFormat) {
  frames::MemoryStatus s;
  s.loadPercent = 37;
  s.totalPhysical = 24ull << 30;
  s.freePhysical = 22ull << 30;
  s.totalPaging = 12ull << 30;
  s.freePaging = 11ull << 30;
  s.totalVirtual = 1ull << 40;
  s.freeVirtual = (1ull << 40) - (1536ull << 20);
  auto lines = frames::MemoryReportLines(s);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Current memory load: 37%");
  EXPECT_EQ(lines[1], "Free physical memory: 22,528.0 Mbytes");
  EXPECT_EQ(lines[2], "Used physical memory: 2,048.0 Mbytes");
  EXPECT_EQ(lines[3], "Used paging file memory: 1,024.0 Mbytes");
  EXPECT_EQ(lines[4], "Used virtual memory: 1,536.0 Mbytes");
  s.freePhysical = s.totalPhysical - (512ull << 20);  // narrower than six characters: padded
  EXPECT_EQ(frames::MemoryReportLines(s)[2], "Used physical memory:  512.0 Mbytes");
  auto live = frames::MemoryReportLines(frames::ReadMemoryStatus());
  EXPECT_TRUE(std::regex_match(live[1], std::regex("Free physical memory: [ 0-9,]+\\.[0-9] Mbytes")));
}

}  // namespace
