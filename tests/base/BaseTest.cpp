// Rounding, number texts, path helpers, atomic file replacement and JSON.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "base/Error.h"
#include "base/Files.h"
#include "base/FlagScope.h"
#include "base/Json.h"
#include "base/Numbers.h"
#include "support/TestSupport.h"

namespace {

TEST(NumbersTest, RoundGoesHalfToEven) {
  EXPECT_EQ(px::Round(0.5), 0);
  EXPECT_EQ(px::Round(1.5), 2);
  EXPECT_EQ(px::Round(2.5), 2);
  EXPECT_EQ(px::Round(-2.5), -2);
  EXPECT_EQ(px::Round(-0.6), -1);
  EXPECT_EQ(px::Trunc(-1.7), -1);
}

TEST(NumbersTest, FloatToStrIsTheShortestFifteenDigitText) {
  EXPECT_EQ(px::FloatToStr(px::Round(1.55 * 10) * 0.1), "1.6");
  EXPECT_EQ(px::FloatToStr(15 * 0.1), "1.5");
  EXPECT_EQ(px::FloatToStr(10.0), "10");
  EXPECT_EQ(px::FloatToStr(0.001), "0.001");
  EXPECT_EQ(px::FloatToStr(-0.0), "0");
  EXPECT_EQ(px::FormatFixed(0.1234567, 5), "0.12346");
}

TEST(NumbersTest, ThousandsFormatPadsToItsWidth) {
  EXPECT_EQ(px::FormatThousands(1234567.25, 6, 1), "1,234,567.2");
  EXPECT_EQ(px::FormatThousands(12.0, 6, 1), "  12.0");
  EXPECT_EQ(px::FormatThousands(999.95, 6, 1), "1,000.0");
}

TEST(NumbersTest, ParsingAcceptsHexAndRejectsJunk) {
  long long v = 0;
  EXPECT_TRUE(px::TryParseInt("0x1F", v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(px::TryParseInt(" -12 ", v));
  EXPECT_EQ(v, -12);
  EXPECT_FALSE(px::TryParseInt("12a", v));
  EXPECT_FALSE(px::TryParseInt("", v));
  double d = 0;
  EXPECT_TRUE(px::TryParseDouble("2.5", d));
  EXPECT_EQ(d, 2.5);
  EXPECT_FALSE(px::TryParseDouble("2,5", d));
  EXPECT_THROW(px::StrToFloat("x"), px::PelinoxaError);
}

TEST(FilesTest, PathHelpers) {
  EXPECT_EQ(px::ExtractFileDir("/a/b/c.avi"), "/a/b");
  EXPECT_EQ(px::ExtractFileName("/a/b/c.avi"), "c.avi");
  EXPECT_EQ(px::ExtractFileExt("/a.b/c"), "");
  EXPECT_EQ(px::ExtractFileExt("/a/c.tar.gz"), ".gz");
  EXPECT_EQ(px::ChangeFileExt("/a.b/c", ".fit"), "/a.b/c.fit");
  EXPECT_EQ(px::ChangeFileExt("/a/c.jpg", ".tif"), "/a/c.tif");
  EXPECT_EQ(px::JoinPath("/a/", "b"), "/a/b");
  EXPECT_LT(px::CompareNoCase("frame_a", "frame_B"), 0);
  EXPECT_TRUE(px::EndsWithNoCase("X.FITS", "fits"));
}

TEST(FilesTest, AtomicWriteReplacesAndLeavesNoTemporaryFiles) {
  pxtest::TempDir dir;
  std::string f = dir.file("out.txt");
  px::WriteFileAtomic(f, std::string_view("first"));
  px::WriteFileAtomic(f, std::string_view("second"));
  EXPECT_EQ(px::ReadFileText(f), "second");
  std::string listing;
  pxtest::Run("ls -A " + dir.path(), &listing);
  EXPECT_EQ(listing, "out.txt\n");
  // A folder that does not exist: an error, nothing written.
  EXPECT_THROW(px::WriteFileAtomic(dir.file("no/such/out.txt"), std::string_view("x")), px::PelinoxaError);
  EXPECT_THROW(px::ReadFileBytes(dir.file("missing")), px::PelinoxaError);
}

TEST(FilesTest, MappedFileKnowsItsIdentity) {
  pxtest::TempDir dir;
  std::string f = dir.file("a.bin");
  px::WriteFileAtomic(f, std::string_view("abc"));
  px::MappedFile m(f);
  EXPECT_EQ(m.size(), 3u);
  EXPECT_EQ(m.data()[1], 'b');
  EXPECT_TRUE(m.sameFileAs(f));
  px::WriteFileAtomic(f, std::string_view("abcd"));  // replaced: a new file
  EXPECT_FALSE(m.sameFileAs(f));
  px::MappedFile empty;
  EXPECT_FALSE(empty.open(dir.file("missing")));
}

TEST(JsonTest, DumpAndParseRoundTrip) {
  px::Json j = px::Json::object();
  j["name"] = "a \"quoted\"\nline";
  j["n"] = 1.5;
  j["list"] = px::Json(px::Json::Array{1, 2, 3});
  px::Json back = px::Json::parse(j.dump());
  EXPECT_EQ(back["name"].asString(), "a \"quoted\"\nline");
  EXPECT_EQ(back["n"].asNumber(), 1.5);
  EXPECT_EQ(back["list"].size(), 3u);
  EXPECT_THROW(px::Json::parse("{\"a\": }"), px::PelinoxaError);
  EXPECT_THROW(px::Json::parse("[1, 2"), px::PelinoxaError);
}

}  // namespace

TEST(FlagScopeTest, TheFlagIsDownAgainAfterAReturnOrAnException) {
  bool busy = false;
  {
    px::FlagScope scope(busy);
    EXPECT_TRUE(busy);
  }
  EXPECT_FALSE(busy);
  try {
    px::FlagScope scope(busy);
    throw std::runtime_error("frame unreadable");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(busy);
}
