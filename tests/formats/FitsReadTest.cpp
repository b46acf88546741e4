// FITS header parsing, channel names and frame reading, on hand-built files.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/Error.h"
#include "formats/FitsHeader.h"
#include "formats/FitsReader.h"

namespace {

using namespace formats;

std::string Card(const std::string& text) {
  std::string c = text;
  c.resize(80, ' ');
  return c;
}

// A FITS file from cards (END appended) and big-endian values, file order (bottom row first).
std::vector<uint8_t> Fits(std::vector<std::string> cards, int bitpix, const std::vector<int64_t>& values) {
  std::string h;
  for (auto& c : cards) h += Card(c);
  h += Card("END");
  while (h.size() % 2880) h += ' ';
  std::vector<uint8_t> f(h.begin(), h.end());
  for (int64_t v : values) {
    if (bitpix == 16) f.insert(f.end(), {uint8_t(uint16_t(v) >> 8), uint8_t(v)});
    else f.insert(f.end(), {uint8_t(uint32_t(v) >> 24), uint8_t(uint32_t(v) >> 16), uint8_t(uint32_t(v) >> 8), uint8_t(v)});
  }
  while (f.size() % 2880) f.push_back(0);
  return f;
}

std::vector<std::string> Std(int bitpix, int w, int h, const std::string& bzero = "0") {
  auto val = [](std::string k, std::string v) {
    k.resize(8, ' ');
    std::string c = k + "=";
    c.append(30 - c.size() - v.size(), ' ');
    return c + v;
  };
  return {val("SIMPLE", "T"), val("BITPIX", std::to_string(bitpix)), val("NAXIS", "2"),
          val("NAXIS1", std::to_string(w)), val("NAXIS2", std::to_string(h)), val("BZERO", bzero)};
}

FitsHeader Header(const std::vector<uint8_t>& f) { return ReadFitsHeader(f.data(), f.size()); }

std::string HeaderError(const std::vector<std::string>& cards) {
  auto f = Fits(cards, 16, {});
  try {
    ReadFitsHeader(f.data(), f.size());
  } catch (const px::PelinoxaError& e) {
    return e.what();
  }
  return "";
}

// A plane backed by a vector, with the working planes' margin.
struct TestPlane {
  std::vector<float> data;
  int stride = 0;
  int allocations = 0;
  FitsPlaneAllocator allocator() {
    return [this](int w, int h) {
      ++allocations;
      stride = w + 10;
      data.assign(size_t(stride) * (h + 10), -1.0f);
      return PlaneRef{data.data(), stride};
    };
  }
  float at(int x, int y) const { return data[size_t(y) * stride + x]; }
};

TEST(FitsHeader, FixedFormatCards_GiveTheValuesAndDataOffset) {
  FitsHeader h = Header(Fits(Std(16, 100, 50, "32768"), 16, {}));
  EXPECT_EQ(h.naxis1, 100);
  EXPECT_EQ(h.naxis2, 50);
  EXPECT_EQ(h.bitpix, 16);
  EXPECT_EQ(h.bzero, 32768);
  EXPECT_EQ(h.dataOffset, 2880u);
}

TEST(FitsHeader, BzeroWithEqualsInColumnEight_IsReadToo) {
  FitsHeader h = Header(Fits({"BITPIX  =                   16", "BZERO  =                 32768"}, 16, {}));
  EXPECT_EQ(h.bzero, 32768);
}

TEST(FitsHeader, BzeroIsRoundedHalfToEven_AndAcceptsExponents) {
  EXPECT_EQ(Header(Fits({"BZERO   =              32768.5"}, 16, {})).bzero, 32768);
  EXPECT_EQ(Header(Fits({"BZERO   =              32769.5"}, 16, {})).bzero, 32770);
  EXPECT_EQ(Header(Fits({"BZERO   =               -2.5"}, 16, {})).bzero, -2);
  EXPECT_EQ(Header(Fits({"BZERO   =             3.2768D4"}, 16, {})).bzero, 32768);
  EXPECT_EQ(Header(Fits({"BZERO   =           2.147483648E9"}, 16, {})).bzero, 2147483648LL);
}

TEST(FitsHeader, FreeFormatValuesAndComments_AreRead) {
  FitsHeader h = Header(Fits({"NAXIS1  = 640 / width in pixels", "NAXIS2= 480", "BITPIX  =  32",
                              "BZERO   =                 1000 / offset"},
                             16, {}));
  EXPECT_EQ(h.naxis1, 640);
  EXPECT_EQ(h.naxis2, 480);
  EXPECT_EQ(h.bitpix, 32);
  EXPECT_EQ(h.bzero, 1000);
  // A value running past column 30 is read whole.
  EXPECT_EQ(Header(Fits({"BZERO   =                          123456"}, 16, {})).bzero, 123456);
  // Text after column 30 without a '/' falls back to the fixed field.
  EXPECT_EQ(Header(Fits({"NAXIS1  =                   77 pixels wide"}, 16, {})).naxis1, 77);
}

TEST(FitsHeader, LastOccurrenceWins_AndOtherCardsAreIgnored) {
  FitsHeader h = Header(Fits({"NAXIS1  =                   10", "BSCALE  =                    2",
                              "NAXIS1  =                   20", "NAXIS3  =                    3"},
                             16, {}));
  EXPECT_EQ(h.naxis1, 20);
}

TEST(FitsHeader, EndInTheSecondBlock_PutsDataAt5760) {
  std::vector<std::string> cards = Std(16, 2, 2);
  while (cards.size() < 36) cards.push_back("COMMENT   filler");
  FitsHeader h = Header(Fits(cards, 16, {1, 2, 3, 4}));  // END is the 37th card
  EXPECT_EQ(h.dataOffset, 5760u);
  cards.pop_back();  // END is the 36th card
  EXPECT_EQ(Header(Fits(cards, 16, {})).dataOffset, 2880u);
}

TEST(FitsHeader, KeywordStartingWithEnd_DoesNotEndTheHeader) {
  FitsHeader h = Header(Fits({"ENDTIME = '12:00:00'", "NAXIS1  =                    9"}, 16, {}));
  EXPECT_EQ(h.naxis1, 9);
}

TEST(FitsHeader, NonNumericValues_AreClearErrors) {
  std::string e = HeaderError({"NAXIS1  =                  abc"});
  EXPECT_NE(e.find("NAXIS1"), std::string::npos) << e;
  EXPECT_NE(e.find("abc"), std::string::npos) << e;
  EXPECT_NE(HeaderError({"BZERO   =              'text'"}), "");
  EXPECT_NE(HeaderError({"BITPIX  =                     "}), "");
  EXPECT_NE(HeaderError({"BZERO   =                1E400"}), "");
  EXPECT_NE(HeaderError({"NAXIS2"}), "");
}

TEST(FitsHeader, MissingEndCard_IsAnError) {
  std::string h = Card("SIMPLE  =                    T");
  std::vector<uint8_t> f(h.begin(), h.end());
  EXPECT_THROW(ReadFitsHeader(f.data(), f.size()), px::PelinoxaError);
  EXPECT_THROW(ReadFitsHeader(nullptr, 0), px::PelinoxaError);
}

TEST(FitsChannel, NamesGiveChannels) {
  EXPECT_EQ(FitsChannelFromName("/data/jupiter_R.fit"), FitsRed);
  EXPECT_EQ(FitsChannelFromName("/data/jupiter_g.fits"), FitsGreen);
  EXPECT_EQ(FitsChannelFromName("/data/jupiter_B.fts"), FitsBlue);
  EXPECT_EQ(FitsChannelFromName("/data/jupiter_l.fit"), FitsLuminance);
  EXPECT_EQ(FitsChannelFromName("/data/mars.RED.0001.fit"), FitsRed);
  EXPECT_EQ(FitsChannelFromName("/data/mars.Blue_R.fit"), FitsBlue);  // the colour word wins
  EXPECT_EQ(FitsChannelFromName("/data/saturn.luminance.fit"), FitsLuminance);
  EXPECT_EQ(FitsChannelFromName("/data/saturn.fit"), FitsGreen);
  EXPECT_EQ(FitsChannelFromName("/data/x.red/saturn.fit"), FitsGreen);  // folders do not count
}

TEST(FitsFrame, WithoutStretch_SixteenBitValuesUseTheFixedRange) {
  // 3 x 1 frame: 0, 500, 1000.
  auto f = Fits(Std(16, 3, 1), 16, {0, 500, 1000});
  TestPlane plane;
  ui::Bitmap24 preview;
  FitsFrameInfo info = ReadFitsFrame(f.data(), f.size(), "m_R.fit", false, plane.allocator(), preview);
  EXPECT_EQ(info.width, 3);
  EXPECT_EQ(info.height, 1);
  EXPECT_EQ(info.channel, FitsRed);
  EXPECT_EQ(info.minValue, 0);
  EXPECT_EQ(info.maxValue, 1000);
  EXPECT_EQ(info.lo, 0);
  EXPECT_EQ(info.hi, 65536);
  EXPECT_EQ(preview.pixel(2, 0), ui::Color(4, 4, 4));  // Round(1000 / 65537 * 255) = Round(3.89)
  EXPECT_FLOAT_EQ(plane.at(2, 0), float(1000.0 / 65537.0 * 65536.0));
  EXPECT_FLOAT_EQ(plane.at(1, 0), float(500.0 / 65537.0 * 65536.0));
}

TEST(FitsFrame, WithStretch_TheDataRangeFillsTheBytes) {
  auto f = Fits(Std(16, 3, 1), 16, {0, 500, 1000});
  TestPlane plane;
  ui::Bitmap24 preview;
  ReadFitsFrame(f.data(), f.size(), "m.fit", true, plane.allocator(), preview);
  EXPECT_EQ(preview.pixel(0, 0).r, 0);
  EXPECT_EQ(preview.pixel(1, 0).r, 127);  // Round(500 / 1001 * 255) = Round(127.37)
  EXPECT_EQ(preview.pixel(2, 0).r, 255);  // Round(254.75)
  EXPECT_FLOAT_EQ(plane.at(2, 0), float(1000.0 / 1001.0 * 65536.0));
}

TEST(FitsFrame, FirstFileRowIsTheBottomRow_AndBzeroIsAdded) {
  auto f = Fits(Std(16, 2, 3, "32768"), 16, {-32768, -32768, 0, 0, 32767, 32767});
  TestPlane plane;
  ui::Bitmap24 preview;
  FitsFrameInfo info = ReadFitsFrame(f.data(), f.size(), "m.fit", false, plane.allocator(), preview);
  EXPECT_EQ(info.minValue, 0);
  EXPECT_EQ(info.maxValue, 65535);
  EXPECT_EQ(preview.pixel(0, 2).r, 0);    // first file row at the bottom
  EXPECT_EQ(preview.pixel(0, 1).r, 127);  // Round(32768 / 65537 * 255) = Round(127.498)
  EXPECT_EQ(preview.pixel(1, 0).r, 255);
}

TEST(FitsFrame, NegativeValues_SelectTheSignedRange) {
  auto f16 = Fits(Std(16, 2, 1), 16, {-32768, 32767});
  TestPlane plane;
  ui::Bitmap24 preview;
  FitsFrameInfo i16 = ReadFitsFrame(f16.data(), f16.size(), "m.fit", false, plane.allocator(), preview);
  EXPECT_EQ(i16.lo, -32768);
  EXPECT_EQ(i16.hi, 32768);
  EXPECT_EQ(preview.pixel(0, 0).r, 0);
  EXPECT_FLOAT_EQ(plane.at(1, 0), float(65535.0 / 65537.0 * 65536.0));

  auto f32 = Fits(Std(32, 2, 1), 32, {-5, 2000000000});
  FitsFrameInfo i32 = ReadFitsFrame(f32.data(), f32.size(), "m.fit", false, plane.allocator(), preview);
  EXPECT_EQ(i32.lo, -2147483647);
  EXPECT_EQ(i32.hi, 2147483647);
  EXPECT_FLOAT_EQ(plane.at(1, 0), float((2000000000.0 + 2147483647.0) / 4294967295.0 * 2147483647.0));
  auto p32 = Fits(Std(32, 2, 1, "2147483648"), 32, {-2147483648LL, 100});
  FitsFrameInfo u32 = ReadFitsFrame(p32.data(), p32.size(), "m.fit", false, plane.allocator(), preview);
  EXPECT_EQ(u32.minValue, 0);
  EXPECT_EQ(u32.maxValue, 2147483748LL);
  EXPECT_EQ(u32.hi, 2147483646);
  EXPECT_EQ(preview.pixel(1, 0).r, 255);  // beyond the range: clamped
}

TEST(FitsFrame, WideFrames_KeepTheFirst4096ColumnsAndReadRowsWhole) {
  const int w = 5000, h = 3;
  std::vector<int64_t> v(size_t(w) * h);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) v[size_t(r) * w + x] = (r + 1) * 10000 + x % 4096;
  auto f = Fits(Std(16, w, h, "32768"), 16, [&] {
    std::vector<int64_t> s = v;
    for (auto& e : s) e -= 32768;
    return s;
  }());
  TestPlane plane;
  ui::Bitmap24 preview;
  FitsFrameInfo info = ReadFitsFrame(f.data(), f.size(), "m.fit", false, plane.allocator(), preview);
  EXPECT_EQ(info.width, 4096);
  EXPECT_EQ(info.height, 3);
  EXPECT_EQ(preview.width(), 4096);
  // Image row 0 is file row 2, which starts at 30000.
  EXPECT_FLOAT_EQ(plane.at(0, 0), float(30000.0 / 65537.0 * 65536.0));
  EXPECT_FLOAT_EQ(plane.at(4095, 2), float(14095.0 / 65537.0 * 65536.0));
  EXPECT_FLOAT_EQ(plane.at(7, 1), float(20007.0 / 65537.0 * 65536.0));
}

TEST(FitsFrame, TallFrames_KeepTheTop4096Rows) {
  const int h = 4100;
  std::vector<int64_t> v(h);
  for (int r = 0; r < h; ++r) v[size_t(r)] = r;  // file row r = image row h - 1 - r
  auto f = Fits(Std(16, 1, h), 16, v);
  TestPlane plane;
  ui::Bitmap24 preview;
  FitsFrameInfo info = ReadFitsFrame(f.data(), f.size(), "m.fit", true, plane.allocator(), preview);
  EXPECT_EQ(info.height, 4096);
  EXPECT_EQ(info.minValue, 4);
  EXPECT_EQ(info.maxValue, 4099);
}

TEST(FitsFrame, UnsupportedBitpix_ChangesNothing) {
  auto f = Fits(Std(-32, 2, 2), 32, {0, 0, 0, 0});
  TestPlane plane;
  ui::Bitmap24 preview(5, 5);
  preview.fill(ui::Color(1, 2, 3));
  try {
    ReadFitsFrame(f.data(), f.size(), "m.fit", false, plane.allocator(), preview);
    FAIL();
  } catch (const px::PelinoxaError& e) {
    EXPECT_STREQ(e.what(), "unsupported fits format");
  }
  EXPECT_EQ(plane.allocations, 0);
  EXPECT_EQ(preview.width(), 5);
  EXPECT_EQ(preview.pixel(4, 4), ui::Color(1, 2, 3));
}

TEST(FitsFrame, TruncatedOrEmptyData_AreErrors) {
  auto f = Fits(Std(16, 100, 100), 16, std::vector<int64_t>(100, 0));
  TestPlane plane;
  ui::Bitmap24 preview;
  try {
    ReadFitsFrame(f.data(), f.size(), "m.fit", false, plane.allocator(), preview);
    FAIL();
  } catch (const px::PelinoxaError& e) {
    EXPECT_STREQ(e.what(), "FITS file is truncated");
  }
  auto huge = Fits(Std(32, 2000000000, 2000000000), 32, {});
  EXPECT_THROW(ReadFitsFrame(huge.data(), huge.size(), "m.fit", false, plane.allocator(), preview), px::PelinoxaError);
  auto none = Fits({"SIMPLE  =                    T", "BITPIX  =                   16", "NAXIS   =                    0"}, 16, {});
  EXPECT_THROW(ReadFitsFrame(none.data(), none.size(), "m.fit", false, plane.allocator(), preview), px::PelinoxaError);
  EXPECT_EQ(plane.allocations, 0);
}

TEST(FitsValues, CalibrationReading_AddsBzeroAndScales) {
  auto f = Fits(Std(16, 2, 2, "32768"), 16, {-32768 + 10, -32768 + 20, -32768 + 30, -32768 + 40});
  FitsHeader h = Header(f);
  std::vector<float> store(12 * 12);
  ReadFitsValues(f.data(), f.size(), h, PlaneRef{store.data(), 12}, 2, 2, 128.0);
  EXPECT_EQ(store[0], 30 * 128.0f);   // top-left = first value of the last file row
  EXPECT_EQ(store[12 + 1], 20 * 128.0f);
}

}  // namespace
