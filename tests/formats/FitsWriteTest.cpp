// Writing FITS files: names, header cards, value formulas, overwrite handling, and files
// checked by fitsverify and astropy; astropy's files read by us.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <ctime>
#include <sstream>

#include "base/Error.h"
#include "base/Files.h"
#include "formats/FitsHeader.h"
#include "formats/FitsReader.h"
#include "formats/FitsWriter.h"
#include "formats/TiffBitmap.h"
#include "support/TestSupport.h"

namespace {

using namespace formats;
using pxtest::TempDir;

int Sh(const std::string& cmd, std::string* out = nullptr) { return pxtest::Run(cmd, out); }

struct Planes {
  int w, h;
  std::vector<float> data[3];
  Planes(int w_, int h_) : w(w_), h(h_) {
    for (auto& d : data) d.assign(size_t(w + 10) * (h + 10), 0.0f);
  }
  float& at(int c, int x, int y) { return data[c][size_t(y) * (w + 10) + x]; }
  FitsWriteRequest request(const std::string& path, int mode, int bitpix, bool colour) {
    FitsWriteRequest r;
    r.path = path;
    r.width = w;
    r.height = h;
    r.mode = mode;
    r.bitpix = bitpix;
    r.colour = colour;
    for (int c = 0; c < 3; ++c) r.planes[c] = ConstPlaneRef(data[c].data(), w + 10);
    return r;
  }
};

// The stored integers of a file, image rows from the top, BZERO added.
std::vector<int64_t> Values(const std::string& path, FitsHeader* header = nullptr) {
  std::vector<uint8_t> f = pxtest::ReadBytes(path);
  FitsHeader h = ReadFitsHeader(f.data(), f.size());
  if (header) *header = h;
  std::vector<int64_t> v;
  const size_t bytes = size_t(h.bitpix / 8);
  for (int64_t y = h.naxis2 - 1; y >= 0; --y)
    for (int64_t x = 0; x < h.naxis1; ++x) {
      const uint8_t* p = f.data() + h.dataOffset + (size_t(y) * size_t(h.naxis1) + size_t(x)) * bytes;
      int64_t s = bytes == 2 ? int64_t(int16_t(p[0] << 8 | p[1]))
                             : int64_t(int32_t(uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]));
      v.push_back(s + h.bzero);
    }
  return v;
}

std::string CardAt(const std::string& path, int i) {
  std::vector<uint8_t> f = pxtest::ReadBytes(path);
  return std::string(f.begin() + 80 * i, f.begin() + 80 * (i + 1));
}

TEST(FitsWrite, Mode0Sixteen_SpansZeroTo59578AfterBzero) {
  TempDir dir;
  Planes p(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) p.at(1, x, y) = 5.0f + float(x * 10 + y);  // 5 .. 37
  FitsWriteResult r = WriteFits(p.request(dir.file("s.bmp"), FitsScaledPlanes, 16, false));
  ASSERT_EQ(r.written, std::vector<std::string>{dir.file("s.fit")});
  std::vector<int64_t> v = Values(dir.file("s.fit"));
  EXPECT_EQ(v[0], 0);
  EXPECT_EQ(v[11], 59578);  // Round((1 / 1.1 - 0.5) * 65535) + 32768
  // A middle value by the formula: v = 17 at (1, 2) -> row 2, column 1.
  double expect = std::nearbyint(((17.0 - 5.0) / (32.0 * 1.1) - 0.5) * 65535) + 32768;
  EXPECT_EQ(v[2 * 4 + 1], int64_t(expect));
}

TEST(FitsWrite, Mode0ThirtyTwo_UsesTheFullRangeAndCommonMinMaxOverColours) {
  TempDir dir;
  Planes p(2, 1);
  p.at(0, 0, 0) = -4, p.at(0, 1, 0) = 0;
  p.at(1, 0, 0) = 1, p.at(1, 1, 0) = 2;
  p.at(2, 0, 0) = 3, p.at(2, 1, 0) = 6;  // mn = -4, mx = 6, range = 11
  FitsWriteResult r = WriteFits(p.request(dir.file("c.fit"), FitsScaledPlanes, 32, true));
  ASSERT_EQ(r.written.size(), 3u);
  EXPECT_EQ(Values(dir.file("c_R.fit"))[0], -2147483647 + 32768);
  double top = std::nearbyint((10.0 / 11.0 - 0.5) * 4294967294.0) + 32768;
  EXPECT_EQ(Values(dir.file("c_B.fit"))[1], int64_t(top));
  double g = std::nearbyint((5.0 / 11.0 - 0.5) * 4294967294.0) + 32768;
  EXPECT_EQ(Values(dir.file("c_G.fit"))[0], int64_t(g));
}

TEST(FitsWrite, Fitx_StoresLevelTimes128_AndReadsBackAsADarkframe) {
  TempDir dir;
  Planes p(3, 2);
  p.at(1, 0, 0) = 10.25f;
  p.at(1, 1, 0) = 0.00390625f;  // x 128 = 0.5 -> 0 (half to even)
  p.at(1, 2, 0) = 0.01171875f;  // x 128 = 1.5 -> 2
  p.at(1, 0, 1) = 1000.0f;      // beyond 16 bits: limited to 32767
  FitsWriteResult r = WriteFits(p.request(dir.file("dark.fit"), FitsLevel128, 16, false));
  ASSERT_EQ(r.written, std::vector<std::string>{dir.file("dark.fitx")});
  FitsHeader h;
  std::vector<int64_t> v = Values(dir.file("dark.fitx"), &h);
  EXPECT_EQ(h.bzero, 0);
  EXPECT_EQ(v[0], 1312);
  EXPECT_EQ(v[1], 0);
  EXPECT_EQ(v[2], 2);
  EXPECT_EQ(v[3], 32767);
  std::vector<uint8_t> f = pxtest::ReadBytes(dir.file("dark.fitx"));
  std::vector<float> plane(13 * 12);
  ReadFitsValues(f.data(), f.size(), h, PlaneRef{plane.data(), 13}, 3, 2);
  EXPECT_EQ(plane[0], 1312.0f);
}

TEST(FitsWrite, ColourModeNames_AreRGBFitEvenForFitx) {
  EXPECT_EQ(FitsOutputNames("/a/b.fitx", FitsLevel128, true),
            (std::vector<std::string>{"/a/b_R.fit", "/a/b_G.fit", "/a/b_B.fit"}));
  EXPECT_EQ(FitsOutputNames("/a/b.c/stack", FitsScaledPlanes, false), std::vector<std::string>{"/a/b.c/stack.fit"});
  EXPECT_EQ(FitsOutputNames("/a/b.FIT", FitsLevel128, false), std::vector<std::string>{"/a/b.fitx"});
}

TEST(FitsWrite, Size100x100Sixteen_Is23040BytesWithA2880ByteHeader) {
  TempDir dir;
  Planes p(100, 100);
  WriteFits(p.request(dir.file("x.fit"), FitsScaledPlanes, 16, false));
  std::vector<uint8_t> f = pxtest::ReadBytes(dir.file("x.fit"));
  EXPECT_EQ(f.size(), 23040u);
  EXPECT_EQ(ReadFitsHeader(f.data(), f.size()).dataOffset, 2880u);
  for (size_t i = 2880 + 20000; i < f.size(); ++i) ASSERT_EQ(f[i], 0);
}

TEST(FitsWrite, HeaderCards_AreStandardAndInOrder) {
  TempDir dir;
  Planes p(2, 2);
  std::tm t{};
  t.tm_year = 124, t.tm_mon = 2, t.tm_mday = 7, t.tm_hour = 21, t.tm_min = 5, t.tm_sec = 9, t.tm_isdst = -1;
  FitsWriteRequest r = p.request(dir.file("h.fit"), FitsScaledPlanes, 16, false);
  r.when = std::mktime(&t);
  WriteFits(r);
  auto card = [&](int i) { return CardAt(dir.file("h.fit"), i); };
  EXPECT_EQ(card(0).substr(0, 30), "SIMPLE  =                    T");
  EXPECT_EQ(card(1).substr(0, 30), "BITPIX  =                   16");
  EXPECT_EQ(card(2).substr(0, 30), "NAXIS   =                    2");
  EXPECT_EQ(card(3).substr(0, 30), "NAXIS1  =                    2");
  EXPECT_EQ(card(5).substr(0, 30), "BSCALE  =                    1");
  EXPECT_EQ(card(6), std::string("BZERO   =                32768") + std::string(50, ' '));
  EXPECT_EQ(card(7).substr(0, 21), "DATE-OBS= '07/03/24' ");
  EXPECT_EQ(card(8).substr(0, 21), "TIME-OBS= '21:05:09' ");
  EXPECT_EQ(card(9).substr(0, 13), "OBJECT  = '' ");
  EXPECT_EQ(card(12).substr(0, 13), "OBSERVER= '' ");
  EXPECT_EQ(card(13).substr(0, 24), "COMMENT   PELINOXA V2.0 ");
  EXPECT_EQ(card(14), "COMMENT" + std::string(73, ' '));
  EXPECT_EQ(card(15), "END" + std::string(77, ' '));
  EXPECT_EQ(card(35), std::string(80, ' '));
}

TEST(FitsWrite, Mode1_WritesBitmapSamplesMinus32767WithoutWrapping) {
  TempDir dir;
  TTIFFBitMap bm;
  bm.Allocate48(2, 1);
  uint16_t s[6] = {0, 100, 200, 65535, 65534, 32767};
  std::copy(s, s + 6, bm.row16(0));
  FitsWriteRequest r;
  r.path = dir.file("res.tif");
  r.width = 2, r.height = 1, r.mode = FitsBitmap16, r.bitpix = 16, r.colour = true, r.bitmap48 = &bm;
  ASSERT_EQ(WriteFits(r).written.size(), 3u);
  EXPECT_EQ(Values(dir.file("res_R.fit")), (std::vector<int64_t>{1, 65535}));  // 65535 - 32767 limited to 32767
  EXPECT_EQ(Values(dir.file("res_G.fit")), (std::vector<int64_t>{101, 65535}));
  EXPECT_EQ(Values(dir.file("res_B.fit")), (std::vector<int64_t>{201, 32768}));
  r.colour = false;
  WriteFits(r);
  EXPECT_EQ(Values(dir.file("res.fit")), (std::vector<int64_t>{101, 65535}));
}

TEST(FitsWrite, ExistingFiles_AreReplacedOnlyWhenConfirmed) {
  TempDir dir;
  Planes p(2, 2);
  pxtest::WriteText(dir.file("o_R.fit"), "keep me");
  pxtest::WriteText(dir.file("o_G.fit"), "replace me");
  std::vector<std::string> asked;
  FitsWriteRequest r = p.request(dir.file("o"), FitsScaledPlanes, 16, true);
  r.confirmOverwrite = [&](const std::string& name) {
    asked.push_back(name);
    return name == dir.file("o_G.fit");
  };
  FitsWriteResult res = WriteFits(r);
  EXPECT_EQ(asked, (std::vector<std::string>{dir.file("o_R.fit"), dir.file("o_G.fit")}));
  EXPECT_EQ(res.skipped, std::vector<std::string>{dir.file("o_R.fit")});
  EXPECT_EQ(res.written, (std::vector<std::string>{dir.file("o_G.fit"), dir.file("o_B.fit")}));
  EXPECT_EQ(pxtest::ReadBytes(dir.file("o_R.fit")).size(), 7u);
  EXPECT_EQ(pxtest::ReadBytes(dir.file("o_G.fit")).size(), 5760u);
  EXPECT_EQ(px::OverwriteQuestion("/x/o_R.fit"), " Overwrite existing file ( /x/o_R.fit ) ?");
}

std::string WriteError(const FitsWriteRequest& r) {
  try {
    WriteFits(r);
  } catch (const px::PelinoxaError& e) {
    return e.what();
  }
  return "";
}

TEST(FitsWrite, UnwritablePlaces_AreReportedWithTheFileAndTheReason) {
  TempDir dir;
  Planes p(2, 2);
  pxtest::WriteText(dir.file("plain"), "x");
  px::ForceDirectories(dir.file("d_G.fit"));
  struct Case {
    std::string path, named;
    int err;
  } cases[] = {{"/nonexistent-folder/o.fit", "/nonexistent-folder/o_R.fit", ENOENT},
               {dir.file("plain/o.fit"), dir.file("plain/o_R.fit"), ENOTDIR},
               {dir.file("d.fit"), dir.file("d_G.fit"), EISDIR}};
  for (const auto& c : cases) {
    const std::string e = WriteError(p.request(c.path, FitsScaledPlanes, 16, true));
    EXPECT_NE(e.find("\"" + c.named + "\""), std::string::npos) << e;
    EXPECT_NE(e.find(std::strerror(c.err)), std::string::npos) << e;
  }
  EXPECT_FALSE(px::FileExists(dir.file("d_R.fit")));  // all or nothing
}

// A full disk while the green file is written: red and blue keep their old content.
TEST(FitsWrite, FailedChannel_KeepsEveryOldFile) {
  TempDir dir;
  Planes p(64, 64);
  pxtest::WriteText(dir.file("s_R.fit"), "old red");
  pxtest::WriteText(dir.file("s_B.fit"), "old blue");
  std::filesystem::create_symlink("/dev/full", dir.file("s_G.fit"));
  FitsWriteRequest r = p.request(dir.file("s.fit"), FitsScaledPlanes, 32, true);
  int asked = 0;
  r.confirmOverwrite = [&](const std::string&) { return ++asked > 0; };
  const std::string e = WriteError(r);
  EXPECT_NE(e.find(dir.file("s_G.fit")), std::string::npos) << e;
  EXPECT_NE(e.find(std::strerror(ENOSPC)), std::string::npos) << e;
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(px::ReadFileText(dir.file("s_R.fit")), "old red");
  EXPECT_EQ(px::ReadFileText(dir.file("s_B.fit")), "old blue");
  size_t entries = 0;
  for ([[maybe_unused]] const auto& f : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 3u);  // no temporary left behind
}

TEST(FitsWrite, ConvenienceWriter_StoresValueMinusBzeroBottomRowFirst) {
  TempDir dir;
  WriteFitsImage16(dir.file("a.fit"), 2, 2, {0, 1, 65534, 65535}, 32768);
  EXPECT_EQ(Values(dir.file("a.fit")), (std::vector<int64_t>{0, 1, 65534, 65535}));
  std::vector<uint8_t> f = pxtest::ReadBytes(dir.file("a.fit"));
  EXPECT_EQ(f[2880], 0x7F);  // first stored value: bottom-left 65534 - 32768 = 32766
  WriteFitsImage32(dir.file("b.fit"), 1, 2, {5, 4000000000LL}, 2147483648LL);
  EXPECT_EQ(Values(dir.file("b.fit")), (std::vector<int64_t>{5, 4000000000LL}));
  EXPECT_THROW(WriteFitsImage16(dir.file("c.fit"), 1, 1, {70000}, 0), px::PelinoxaError);
  EXPECT_THROW(WriteFitsImage32(dir.file("c.fit"), 1, 1, {-5}, 2147483648LL), px::PelinoxaError);
}

// ---- independent programs ----

TEST(FitsInterop, OurFiles_PassFitsverifyWithoutWarnings) {
  PX_REQUIRE_PROGRAM("fitsverify");
  TempDir dir;
  Planes p(37, 21);
  for (int c = 0; c < 3; ++c)
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 37; ++x) p.at(c, x, y) = float(x * y + c);
  WriteFits(p.request(dir.file("a16"), FitsScaledPlanes, 16, true));
  WriteFits(p.request(dir.file("a32"), FitsScaledPlanes, 32, false));
  WriteFits(p.request(dir.file("dark"), FitsLevel128, 16, false));
  for (const char* f : {"a16_R.fit", "a16_G.fit", "a16_B.fit", "a32.fit", "dark.fitx"}) {
    std::string out;
    EXPECT_EQ(Sh("fitsverify " + dir.file(f), &out), 0) << out;
    EXPECT_NE(out.find("0 warning(s) and 0 error(s)"), std::string::npos) << f << "\n" << out;
  }
}

TEST(FitsInterop, AstropyReadsOurValuesByTheFormula) {
  std::string py = pxtest::PythonWithAstropy();
  if (py.empty()) GTEST_SKIP() << "astropy not installed";
  TempDir dir;
  Planes p(5, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) p.at(1, x, y) = float(x * 3 + y * 7) + 0.25f;
  WriteFits(p.request(dir.file("s16"), FitsScaledPlanes, 16, false));
  WriteFits(p.request(dir.file("s32"), FitsScaledPlanes, 32, false));
  WriteFits(p.request(dir.file("d"), FitsLevel128, 16, false));
  for (const char* f : {"s16.fit", "s32.fit", "d.fitx"}) {
    std::string out;
    // astropy's row 0 is the first row in the file, the bottom image row: flip it.
    std::string cmd = py + " -c \"from astropy.io import fits; import numpy as np; d = fits.getdata('" + dir.file(f) +
                      "'); print(' '.join(str(int(v)) for v in np.flipud(d).astype(np.int64).ravel()))\"";
    ASSERT_EQ(Sh(cmd, &out), 0) << out;
    std::istringstream in(out);
    std::vector<int64_t> got;
    for (int64_t v; in >> v;) got.push_back(v);
    EXPECT_EQ(got, Values(dir.file(f))) << f;
  }
  // And the formula itself for one value of the 16-bit file: v = 3 * 3 + 1 * 7 + 0.25 = 16.25.
  double mn = 0.25, range = (4 * 3 + 2 * 7) * 1.1;
  EXPECT_EQ(Values(dir.file("s16.fit"))[1 * 5 + 3], int64_t(std::nearbyint(((16.25 - mn) / range - 0.5) * 65535)) + 32768);
  EXPECT_EQ(Values(dir.file("d.fitx"))[1 * 5 + 3], 2080);  // 16.25 * 128
}

TEST(FitsInterop, AstropyFiles_AreReadByUs) {
  std::string py = pxtest::PythonWithAstropy();
  if (py.empty()) GTEST_SKIP() << "astropy not installed";
  TempDir dir;
  std::string script = R"(
import numpy as np, sys
from astropy.io import fits
d = sys.argv[1]
def img(h, w): 
    y, x = np.mgrid[0:h, 0:w]
    return (x * 7 + y * 13) % 60000
fits.PrimaryHDU(img(4, 6).astype(np.uint16)).writeto(d + '/u16.fits')
fits.PrimaryHDU((img(4, 6) - 30000).astype(np.int16)).writeto(d + '/i16.fits')
fits.PrimaryHDU((img(4, 6) * 70000 - 2000000000).astype(np.int32)).writeto(d + '/i32.fits')
fits.PrimaryHDU((img(4, 6) * 70000).astype(np.uint32)).writeto(d + '/u32.fits')
h = fits.Header()
for i in range(40): h.add_history('line %d' % i)
fits.PrimaryHDU(img(4, 6).astype(np.int16), header=h).writeto(d + '/long.fits')
fits.PrimaryHDU(img(3, 5000).astype(np.int16)).writeto(d + '/wide.fits')
)";
  pxtest::WriteText(dir.file("make.py"), script);
  std::string out;
  ASSERT_EQ(Sh(py + " " + dir.file("make.py") + " " + dir.path(), &out), 0) << out;
  struct Expect {
    const char* name;
    int64_t scale, offset;
    int w, h;
    size_t dataOffset;
  };
  for (const Expect& e : {Expect{"u16.fits", 1, 0, 6, 4, 2880}, Expect{"i16.fits", 1, -30000, 6, 4, 2880},
                          Expect{"i32.fits", 70000, -2000000000, 6, 4, 2880}, Expect{"u32.fits", 70000, 0, 6, 4, 2880},
                          Expect{"long.fits", 1, 0, 6, 4, 5760}, Expect{"wide.fits", 1, 0, 5000, 3, 2880}}) {
    std::vector<uint8_t> f = pxtest::ReadBytes(dir.file(e.name));
    FitsHeader h = ReadFitsHeader(f.data(), f.size());
    EXPECT_EQ(h.dataOffset, e.dataOffset) << e.name;
    ASSERT_EQ(h.naxis1, e.w) << e.name;
    ASSERT_EQ(h.naxis2, e.h) << e.name;
    const int kw = std::min(e.w, MaxFitsSide);
    std::vector<float> plane(size_t(kw + 10) * (e.h + 10));
    ReadFitsValues(f.data(), f.size(), h, PlaneRef{plane.data(), kw + 10}, kw, e.h);
    for (int y = 0; y < e.h; ++y)
      for (int x = 0; x < kw; ++x) {
        int fileRow = e.h - 1 - y;  // astropy's row index
        int64_t want = ((x * 7 + fileRow * 13) % 60000) * e.scale + e.offset;
        ASSERT_EQ(plane[size_t(y) * (kw + 10) + x], float(want)) << e.name << " " << x << "," << y;
      }
  }
  // The frame reader on the wide file keeps 4096 columns.
  std::vector<uint8_t> f = pxtest::ReadBytes(dir.file("wide.fits"));
  std::vector<float> plane;
  ui::Bitmap24 preview;
  FitsFrameInfo info = ReadFitsFrame(f.data(), f.size(), "wide.fits", true, [&](int w, int h) {
    plane.assign(size_t(w + 10) * (h + 10), 0);
    return PlaneRef{plane.data(), w + 10};
  }, preview);
  EXPECT_EQ(info.width, 4096);
  EXPECT_EQ(info.height, 3);
  EXPECT_EQ(info.maxValue, 4095 * 7 + 2 * 13);
}

}  // namespace
