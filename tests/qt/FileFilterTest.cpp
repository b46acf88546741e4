#include <gtest/gtest.h>

#include <QtCore/qnamespace.h>

#include "ui/qt/FileFilter.h"
#include "ui/qt/KeyCodes.h"

using namespace ui::qt;

TEST(FileFilter, LabelsAndPatterns_SplitIntoPairs) {
  auto f = ParseFilterString("AVI files|*.avi|Bitmaps|*.bmp;*.BMP|All|*.*");
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].label, "AVI files");
  EXPECT_EQ(f[0].patterns, std::vector<std::string>{"*.avi"});
  EXPECT_EQ(f[1].patterns, (std::vector<std::string>{"*.bmp", "*.BMP"}));
  EXPECT_EQ(f[2].patterns, std::vector<std::string>{"*"});  // "*.*" also matches names without a dot
}

TEST(FileFilter, BlanksAfterSemicolonAndTrailingSemicolon_AreDropped) {
  auto f = ParseFilterString("Images|*.bmp; *.jpg ;*.fits;|FITS (*.fit)|*.fit; *.fts;  ");
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].patterns, (std::vector<std::string>{"*.bmp", "*.jpg", "*.fits"}));
  EXPECT_EQ(f[1].label, "FITS (*.fit)");
  EXPECT_EQ(f[1].patterns, (std::vector<std::string>{"*.fit", "*.fts"}));
}

TEST(FileFilter, OddAndEmptyParts_StayUsable) {
  EXPECT_TRUE(ParseFilterString("").empty());
  EXPECT_TRUE(ParseFilterString("   ").empty());
  auto lonely = ParseFilterString("Everything");
  ASSERT_EQ(lonely.size(), 1u);
  EXPECT_EQ(lonely[0].patterns, std::vector<std::string>{"*"});
  auto trailing = ParseFilterString("BMP|*.bmp|");
  ASSERT_EQ(trailing.size(), 1u);
  auto noLabel = ParseFilterString("|*.pxp");
  ASSERT_EQ(noLabel.size(), 1u);
  EXPECT_EQ(noLabel[0].label, "*.pxp");
}

TEST(FileFilter, QtNameFilters_CarryLabelAndPatterns) {
  auto q = QtNameFilters(ParseFilterString("Bitmaps|*.bmp;*.dib|FITS (*.fit)|*.fit"));
  ASSERT_EQ(q.size(), 2);
  EXPECT_EQ(q[0].toStdString(), "Bitmaps (*.bmp *.dib)");
  // A label that already names its patterns keeps them; Qt takes the last parentheses.
  EXPECT_EQ(q[1].toStdString(), "FITS (*.fit) (*.fit)");
}

TEST(FileFilter, DefaultExtension_AppendedOnlyWithoutExtension) {
  NameFilter jpeg{"JPEG", {"*.jpg", "*.jpeg"}};
  NameFilter all{"All", {"*"}};
  EXPECT_EQ(WithDefaultExtension("/d/saturn", "bmp", nullptr), "/d/saturn.bmp");
  EXPECT_EQ(WithDefaultExtension("/d/saturn", "bmp", &all), "/d/saturn.bmp");
  EXPECT_EQ(WithDefaultExtension("/d/saturn", "bmp", &jpeg), "/d/saturn.jpg");  // the chosen filter wins
  EXPECT_EQ(WithDefaultExtension("/d/saturn.tif", "bmp", &jpeg), "/d/saturn.tif");
  EXPECT_EQ(WithDefaultExtension("/d/saturn.", "bmp", nullptr), "/d/saturn.bmp");
  EXPECT_EQ(WithDefaultExtension("/d.dir/saturn", "bmp", nullptr), "/d.dir/saturn.bmp");  // dot in folder only
  EXPECT_EQ(WithDefaultExtension("/d/saturn", "", &jpeg), "/d/saturn");  // no default: nothing added
  EXPECT_EQ(WithDefaultExtension("/d/saturn", ".pxp", nullptr), "/d/saturn.pxp");
}

TEST(FileFilter, WildcardFilter_HasNoConcreteExtension) {
  EXPECT_EQ(FilterExtension(NameFilter{"x", {"*.fit*"}}), "");
  EXPECT_EQ(FilterExtension(NameFilter{"x", {"frame*.bmp"}}), "");
  EXPECT_EQ(FilterExtension(NameFilter{"x", {"*.pxl"}}), "pxl");
}

TEST(FileFilter, FocusedFile_MovesToFrontKeepingOrder) {
  std::vector<std::string> files{"a", "b", "c", "d"};
  EXPECT_EQ(FocusedFirst(files, "c"), (std::vector<std::string>{"c", "a", "b", "d"}));
  EXPECT_EQ(FocusedFirst(files, "a"), files);
  EXPECT_EQ(FocusedFirst(files, "zz"), files);  // focus elsewhere: unchanged
  EXPECT_EQ(FocusedFirst(files, ""), files);
}

TEST(KeyCodes, ClassicCodes_ForKeysHandlersTest) {
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Space, false), 32);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Left, false), 37);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Up, false), 38);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Right, false), 39);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Down, false), 40);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_A, false), 'A');
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_5, false), '5');
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_5, true), 101);  // keypad 5
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F1, false), 112);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Return, false), 13);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Shift, false), 0);
}
