#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "base/Error.h"
#include "formats/Jpeg.h"
#include "support/TestSupport.h"

namespace {

using formats::DecodeJpeg;
using formats::EncodeJpeg;
using pxtest::TempDir;

int Sh(const std::string& cmd, std::string* out = nullptr) { return pxtest::Run(cmd, out); }

ui::Bitmap24 Smooth(int w, int h) {
  ui::Bitmap24 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.setPixel(x, y, ui::Color(uint8_t(128 + 100 * std::sin(x / 20.0)), uint8_t(y * 255 / h), uint8_t(60 + (x + y) / 8)));
  return b;
}

int MaxDiff(const ui::Bitmap24& a, const ui::Bitmap24& b) {
  int m = 0;
  for (size_t i = 0; i < a.byteSize(); ++i) m = std::max(m, std::abs(int(a.data()[i]) - int(b.data()[i])));
  return m;
}

std::string DecodeError(const std::vector<uint8_t>& f) {
  try {
    DecodeJpeg(f.data(), f.size());
  } catch (const px::PelinoxaError& e) {
    return e.what();
  }
  return "";
}

TEST(Jpeg, EncodeThenDecode_KeepsSizeAndCloseColours) {
  ui::Bitmap24 src = Smooth(640, 480);
  std::vector<uint8_t> j = EncodeJpeg(src);
  ui::Bitmap24 back = DecodeJpeg(j.data(), j.size());
  ASSERT_EQ(back.width(), 640);
  ASSERT_EQ(back.height(), 480);
  EXPECT_LE(MaxDiff(src, back), 24);
  long sum = 0;
  for (size_t i = 0; i < src.byteSize(); ++i) sum += std::abs(int(src.data()[i]) - int(back.data()[i]));
  EXPECT_LT(double(sum) / double(src.byteSize()), 2.0);
}

TEST(Jpeg, Encoded_IsBaselineThreeComponentQuality90) {
  ui::Bitmap24 src = Smooth(33, 17);
  std::vector<uint8_t> j = EncodeJpeg(src);
  ASSERT_GT(j.size(), 4u);
  EXPECT_EQ(j[0], 0xFF);
  EXPECT_EQ(j[1], 0xD8);
  bool sof0 = false;
  for (size_t i = 2; i + 9 < j.size(); ++i)
    if (j[i] == 0xFF && j[i + 1] == 0xC0) {
      sof0 = true;
      EXPECT_EQ(j[i + 4], 8);    // precision
      EXPECT_EQ(j[i + 9], 3);    // components
      break;
    }
  EXPECT_TRUE(sof0);
  if (!pxtest::HaveProgram("/usr/bin/identify-im6.q16")) return;
  TempDir dir;
  pxtest::WriteBytes(dir.file("q.jpg"), j);
  std::string out;
  Sh("/usr/bin/identify-im6.q16 -format %Q " + dir.file("q.jpg"), &out);
  EXPECT_EQ(out, "90");
}

TEST(Jpeg, ImageMagickJpegs_DecodeLikeImageMagick) {
  const std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  TempDir dir;
  std::string out;
  ASSERT_EQ(Sh(im + " -seed 4 -size 123x77 plasma:fractal " + dir.file("src.ppm"), &out), 0) << out;
  struct Case { const char* name; const char* opts; bool grey; };
  for (const Case& c : {Case{"plain", "-quality 85", false}, Case{"progressive", "-interlace Plane -quality 70", false},
                        Case{"subsampled", "-sampling-factor 2x2 -quality 95", false},
                        Case{"grey", "-colorspace Gray -quality 90", true}}) {
    std::string jpg = dir.file(std::string(c.name) + ".jpg");
    ASSERT_EQ(Sh(im + " " + dir.file("src.ppm") + " " + c.opts + " " + jpg, &out), 0) << out;
    ASSERT_EQ(Sh(im + " " + jpg + " -depth 8 rgb:" + jpg + ".raw", &out), 0) << out;
    std::vector<uint8_t> raw = pxtest::ReadBytes(jpg + ".raw");
    ui::Bitmap24 ours = formats::ReadJpegFile(jpg);
    ASSERT_EQ(ours.width(), 123);
    ASSERT_EQ(ours.height(), 77);
    ASSERT_EQ(raw.size(), size_t(123 * 77 * 3));
    int worst = 0;
    for (int y = 0; y < 77; ++y)
      for (int x = 0; x < 123; ++x) {
        ui::Color p = ours.pixel(x, y);
        const uint8_t* q = raw.data() + (size_t(y) * 123 + x) * 3;
        worst = std::max({worst, std::abs(p.r - q[0]), std::abs(p.g - q[1]), std::abs(p.b - q[2])});
        if (c.grey) {
          ASSERT_TRUE(p.r == p.g && p.g == p.b);
        }
      }
    EXPECT_LE(worst, 3) << c.name;
  }
}

TEST(Jpeg, CmykJpeg_IsRefusedClearly) {
  const std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  TempDir dir;
  std::string out;
  ASSERT_EQ(Sh(im + " -size 16x16 xc:red -colorspace CMYK " + dir.file("c.jpg"), &out), 0) << out;
  EXPECT_NE(DecodeError(pxtest::ReadBytes(dir.file("c.jpg"))).find("CMYK"), std::string::npos);
}

TEST(Jpeg, TruncatedCorruptAndForeignData_AreErrorsNotCrashes) {
  std::vector<uint8_t> j = EncodeJpeg(Smooth(200, 150));
  EXPECT_NE(DecodeError({}), "");
  EXPECT_NE(DecodeError({'B', 'M', 0, 0}), "");
  for (size_t cut : {size_t(2), size_t(20), size_t(300), j.size() / 2, j.size() - 3}) {
    std::vector<uint8_t> t(j.begin(), j.begin() + long(cut));
    EXPECT_NE(DecodeError(t), "") << "cut at " << cut;
  }
  std::vector<uint8_t> bad = j;
  for (size_t i = j.size() / 3; i < j.size() / 3 + 40; ++i) bad[i] = 0xFF;  // markers inside the data
  EXPECT_NE(DecodeError(bad), "");
  std::string e = DecodeError(std::vector<uint8_t>(j.begin(), j.begin() + long(j.size() / 2)));
  EXPECT_EQ(e.rfind("JPEG error: ", 0), 0u) << e;
}

TEST(Jpeg, ProgressiveFileWithThousandsOfScans_IsRefused) {
  const std::string im = pxtest::ImageMagick();
  if (im.empty()) GTEST_SKIP() << "ImageMagick not installed";
  TempDir dir;
  std::string out;
  ASSERT_EQ(Sh(im + " -seed 2 -size 64x64 plasma:fractal -interlace Plane " + dir.file("p.jpg"), &out), 0) << out;
  std::vector<uint8_t> j = pxtest::ReadBytes(dir.file("p.jpg"));
  ASSERT_NO_THROW(DecodeJpeg(j.data(), j.size()));
  // Repeat the first scan (the DC scan, which decodes again without error whatever the
  // picture) 2000 times before EOI.
  size_t sos = 0;
  while (sos + 1 < j.size() && !(j[sos] == 0xFF && j[sos + 1] == 0xDA)) ++sos;
  ASSERT_LT(sos + 1, j.size());
  size_t end = sos + 2;
  auto isMarker = [&](size_t i) { return j[i] == 0xFF && j[i + 1] != 0 && (j[i + 1] < 0xD0 || j[i + 1] > 0xD7); };
  while (end + 1 < j.size() && !isMarker(end)) ++end;
  std::vector<uint8_t> scan(j.begin() + long(sos), j.begin() + long(end)), many(j.begin(), j.end() - 2);
  for (int k = 0; k < 2000; ++k) many.insert(many.end(), scan.begin(), scan.end());
  many.insert(many.end(), {0xFF, 0xD9});
  EXPECT_NE(DecodeError(many).find("too many scans"), std::string::npos) << DecodeError(many);
}

TEST(Jpeg, DecodeInto_ReusesTheStorageForTheSameSize) {
  std::vector<uint8_t> j = EncodeJpeg(Smooth(64, 48));
  ui::Bitmap24 out;
  formats::DecodeJpegInto(j.data(), j.size(), out);
  const uint8_t* storage = out.data();
  ui::Bitmap24 first = out;
  formats::DecodeJpegInto(j.data(), j.size(), out);
  EXPECT_EQ(out.data(), storage);
  EXPECT_EQ(out, first);
}

TEST(Jpeg, SaveFile_WritesAtomicallyAndReportsBadFolders) {
  TempDir dir;
  ui::Bitmap24 src = Smooth(20, 10);
  formats::SaveJpegFile(dir.file("a.jpg"), src);
  EXPECT_EQ(formats::ReadJpegFile(dir.file("a.jpg")).width(), 20);
  EXPECT_THROW(formats::SaveJpegFile("/nonexistent-folder/a.jpg", src), px::PelinoxaError);
  EXPECT_THROW(EncodeJpeg(ui::Bitmap24()), px::PelinoxaError);
}

}  // namespace
