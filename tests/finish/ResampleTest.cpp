#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/Error.h"
#include "finish/Resample.h"

// Every product and sum is rounded on its own; results are compared bit for bit.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

using finish::ResampleContributors;
using finish::ResampleFilters;
using finish::ResampleImage;
using ui::Bitmap24;
using ui::Color;

namespace {

// The resize written out the plain way: contributor lists per column and row, a 24-bit
// intermediate picture, one channel sum at a time.
struct RefContributor {
  int pixel;
  float weight;
};

std::vector<std::vector<RefContributor>> RefContributors(int w, int W, finish::ResampleKernel f, float support) {
  float xs;
  if (w == 1 || W == 1)
    xs = static_cast<float>(W) / static_cast<float>(w);
  else
    xs = static_cast<float>(W - 1) / static_cast<float>(w - 1);
  std::vector<std::vector<RefContributor>> list(W);
  for (int i = 0; i < W; ++i) {
    const float c = static_cast<float>(i) / xs;
    if (xs >= 1) {
      for (int j = static_cast<int>(std::floor(c - support)); j <= static_cast<int>(std::ceil(c + support)); ++j) {
        const float weight = f(c - static_cast<float>(j));
        if (weight == 0) continue;
        int n = j;
        while (n < 0 || n >= w) n = n < 0 ? -n : 2 * w - 1 - n;
        list[i].push_back({n, weight});
      }
    } else {
      const float width = support / xs;
      for (int j = static_cast<int>(std::floor(c - width)); j <= static_cast<int>(std::ceil(c + width)); ++j) {
        const float weight = f((c - static_cast<float>(j)) * xs) * xs;
        if (weight == 0) continue;
        int n = j;
        while (n < 0 || n >= w) n = n < 0 ? -n : 2 * w - 1 - n;
        list[i].push_back({n, weight});
      }
    }
  }
  return list;
}

uint8_t RefByte(float sum) {
  if (sum > 255) return 255;
  if (sum < 0) return 0;
  return static_cast<uint8_t>(std::nearbyint(sum));
}

Bitmap24 RefResample(const Bitmap24& src, int W, int H, finish::ResampleKernel f, float support) {
  const int w = src.width(), h = src.height();
  Bitmap24 mid(W, h), dst(W, H);
  const auto cx = RefContributors(w, W, f, support);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < W; ++i)
      for (int ch = 0; ch < 3; ++ch) {
        float sum = 0;
        for (const RefContributor& c : cx[i]) sum += c.weight * src.row(y)[3 * c.pixel + ch];
        mid.row(y)[3 * i + ch] = RefByte(sum);
      }
  const auto cy = RefContributors(h, H, f, support);
  for (int x = 0; x < W; ++x)
    for (int j = 0; j < H; ++j)
      for (int ch = 0; ch < 3; ++ch) {
        float sum = 0;
        for (const RefContributor& c : cy[j]) sum += c.weight * mid.row(c.pixel)[3 * x + ch];
        dst.row(j)[3 * x + ch] = RefByte(sum);
      }
  return dst;
}

// A picture with structure at all scales: a smooth gradient, sharp edges, seeded noise.
Bitmap24 TestPicture(int w, int h, uint32_t seed) {
  Bitmap24 b(w, h);
  uint32_t s = seed;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      s = s * 1664525u + 1013904223u;
      const uint8_t noise = static_cast<uint8_t>(s >> 24);
      const uint8_t edge = ((x / 7 + y / 5) % 2) ? 255 : 0;
      b.setPixel(x, y, Color(static_cast<uint8_t>((x * 255) / std::max(1, w - 1)), edge, noise));
    }
  return b;
}

Bitmap24 Resampled(const Bitmap24& src, int W, int H, int filter) {
  Bitmap24 dst(W, H);
  ResampleImage(src, dst, filter);
  return dst;
}

}  // namespace

TEST(ResampleFilters, TableOrderNamesAndSupports) {
  const auto& t = ResampleFilters();
  const char* names[] = {"Box", "Triangle", "Hermite", "Bell", "B-Spline", "Lanczos3", "Mitchell"};
  const float supports[] = {0.5f, 1.0f, 1.0f, 1.5f, 2.0f, 3.0f, 2.0f};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(std::string(t[i].name), names[i]);
    EXPECT_EQ(t[i].support, supports[i]);
    EXPECT_EQ(t[i].kernel(supports[i] + 0.01f), 0.0f) << names[i];  // nothing beyond the support
  }
}

TEST(ResampleFilters, KernelValuesByHand) {
  EXPECT_EQ(finish::BoxFilter(0.5f), 1.0f);
  EXPECT_EQ(finish::BoxFilter(-0.5f), 0.0f);  // half-open interval
  EXPECT_FLOAT_EQ(finish::TriangleFilter(-0.25f), 0.75f);
  EXPECT_FLOAT_EQ(finish::HermiteFilter(0.5f), 0.5f);  // (1 - 3) / 4 + 1
  EXPECT_FLOAT_EQ(finish::BellFilter(0.0f), 0.75f);
  EXPECT_FLOAT_EQ(finish::BellFilter(1.0f), 0.125f);
  EXPECT_FLOAT_EQ(finish::BSplineFilter(0.0f), 2.0f / 3.0f);
  EXPECT_FLOAT_EQ(finish::BSplineFilter(1.0f), 1.0f / 6.0f);
  EXPECT_FLOAT_EQ(finish::Lanczos3Filter(0.0f), 1.0f);
  EXPECT_NEAR(finish::Lanczos3Filter(0.5f), 0.63662 * 0.95493, 1e-5);  // sinc(1/2) sinc(1/6)
  EXPECT_NEAR(finish::Lanczos3Filter(1.5f), -0.21221 * 0.63662, 1e-5);
  EXPECT_NEAR(finish::Lanczos3Filter(1.0f), 0.0f, 1e-6);
  EXPECT_FLOAT_EQ(finish::MitchellFilter(0.0f), 16.0f / 18.0f);
  EXPECT_NEAR(finish::MitchellFilter(1.0f), 1.0 / 18.0, 1e-6);  // float cancellation
  EXPECT_NEAR(finish::MitchellFilter(1.5f), (-7.0 / 3 * 3.375 + 12 * 2.25 - 30 + 32.0 / 3) / 6, 1e-6);
}

TEST(ResampleFilters, UserListItems_MapToBellOnwards) {
  EXPECT_EQ(finish::ResampleFilterIndexForItem(0), finish::kBell);
  EXPECT_EQ(finish::ResampleFilterIndexForItem(1), finish::kBSpline);
  EXPECT_EQ(finish::ResampleFilterIndexForItem(2), finish::kLanczos3);
  EXPECT_EQ(finish::ResampleFilterIndexForItem(3), finish::kMitchell);
  EXPECT_EQ(finish::ResampleFilterIndexForItem(-1), finish::kBell);
  EXPECT_EQ(finish::ResampleFilterIndexForItem(4), finish::kBell);
}

TEST(ResampleContributorsTest, Reducing100To50Triangle_MixesFourOrFiveColumns) {
  const ResampleContributors c = finish::BuildResampleContributors(100, 50, finish::TriangleFilter, 1.0f);
  EXPECT_FLOAT_EQ(finish::ResampleScale(100, 50), 49.0f / 99.0f);
  // Column 2: centre 2 * 99/49, weights (1 - |2 - j 49/99|) * 49/99 for j = 3 … 6.
  ASSERT_EQ(c.first[3] - c.first[2], 4);
  const int k = c.first[2];
  const int sources[] = {3, 4, 5, 6};
  const double weights[] = {2352.0 / 9801, 4753.0 / 9801, 2548.0 / 9801, 147.0 / 9801};
  for (int n = 0; n < 4; ++n) {
    EXPECT_EQ(c.source[k + n], sources[n]);
    EXPECT_NEAR(c.weight[k + n], weights[n], 2e-6);
  }
  for (int i = 1; i < 49; ++i) {
    const int count = c.first[i + 1] - c.first[i];
    EXPECT_TRUE(count == 4 || count == 5) << i << ": " << count;
  }
}

TEST(ResampleContributorsTest, Mirroring_MinusOneReadsPixelOne_WReadsLastPixel) {
  // 10 -> 19 with Bell: scale 2; output 0 centres on 0, output 18 on 9.
  const ResampleContributors c = finish::BuildResampleContributors(10, 19, finish::BellFilter, 1.5f);
  ASSERT_EQ(c.first[1] - c.first[0], 3);
  EXPECT_EQ(c.source[0], 1);  // position -1
  EXPECT_EQ(c.source[1], 0);
  EXPECT_EQ(c.source[2], 1);
  EXPECT_FLOAT_EQ(c.weight[0], 0.125f);
  EXPECT_FLOAT_EQ(c.weight[1], 0.75f);
  const int k = c.first[18];
  ASSERT_EQ(c.first[19] - k, 3);
  EXPECT_EQ(c.source[k + 0], 8);
  EXPECT_EQ(c.source[k + 1], 9);
  EXPECT_EQ(c.source[k + 2], 9);  // position 10
}

TEST(ResampleContributorsTest, TinySourcesWithWideKernels_StayInsideTheSource) {
  for (int w : {1, 2, 3}) {
    for (int W : {1, 2, 5, 17}) {
      for (const auto& f : ResampleFilters()) {
        const ResampleContributors c = finish::BuildResampleContributors(w, W, f.kernel, f.support);
        for (int s : c.source) ASSERT_TRUE(s >= 0 && s < w) << f.name << " " << w << "->" << W << ": " << s;
      }
    }
  }
}

TEST(ResampleImageTest, OnePixelToThreeByThreeBox_CopiesThePixelEverywhere) {
  Bitmap24 src(1, 1);
  src.setPixel(0, 0, Color(200, 100, 7));
  const Bitmap24 dst = Resampled(src, 3, 3, finish::kBox);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(dst.pixel(x, y), Color(200, 100, 7)) << x << "," << y;
}

TEST(ResampleImageTest, SameSizeTriangle_IsIdentity) {
  const Bitmap24 src = TestPicture(23, 17, 3);
  EXPECT_EQ(Resampled(src, 23, 17, finish::kTriangle), src);
  EXPECT_EQ(Resampled(src, 23, 17, finish::kBox), src);
}

TEST(ResampleImageTest, BorderReadsMirroredPixel) {
  // 10 -> 19 wide with Bell: output column 0 = 0.125 p1 + 0.75 p0 + 0.125 p1.
  Bitmap24 src(10, 1);
  src.fill(Color(0, 0, 0));
  src.setPixel(0, 0, Color(80, 80, 80));
  src.setPixel(1, 0, Color(160, 0, 8));
  const Bitmap24 dst = Resampled(src, 19, 1, finish::kBell);
  EXPECT_EQ(dst.pixel(0, 0), Color(100, 60, 62));  // 60 + 40, 60 + 0, 60 + 2
}

TEST(ResampleImageTest, LanczosAndMitchellOvershoot_IsClamped) {
  // A step 0 | 255 enlarged 8 -> 15: column 9 (centre 4.5) sums above 255, column 5
  // (centre 2.5) below 0; unclamped bytes would wrap.
  Bitmap24 src(8, 1);
  for (int x = 0; x < 8; ++x) src.setPixel(x, 0, x < 4 ? Color(0, 0, 0) : Color(255, 255, 255));
  for (int filter : {finish::kLanczos3, finish::kMitchell}) {
    const auto& f = ResampleFilters()[filter];
    const ResampleContributors c = finish::BuildResampleContributors(8, 15, f.kernel, f.support);
    auto rawSum = [&](int i) {
      float sum = 0;
      for (int k = c.first[i]; k < c.first[i + 1]; ++k) sum += c.weight[k] * (c.source[k] < 4 ? 0.0f : 255.0f);
      return sum;
    };
    ASSERT_GT(rawSum(9), 255.0f) << f.name;
    ASSERT_LT(rawSum(5), 0.0f) << f.name;
    const Bitmap24 dst = Resampled(src, 15, 1, filter);
    EXPECT_EQ(dst.pixel(9, 0), Color(255, 255, 255)) << f.name;
    EXPECT_EQ(dst.pixel(5, 0), Color(0, 0, 0)) << f.name;
  }
}

TEST(ResampleImageTest, FastPath_MatchesReferenceBitForBit) {
  struct Case {
    int w, h, W, H;
  };
  const Case cases[] = {{37, 23, 80, 50}, {64, 48, 20, 15}, {1, 1, 5, 4},   {2, 3, 1, 1},
                        {2, 2, 9, 9},     {5, 1, 3, 7},     {100, 3, 50, 6}, {17, 29, 17, 29}};
  for (const Case& cs : cases) {
    const Bitmap24 src = TestPicture(cs.w, cs.h, 11u * cs.w + cs.h);
    for (int filter = 0; filter < finish::kResampleFilterCount; ++filter) {
      const auto& f = ResampleFilters()[filter];
      const Bitmap24 want = RefResample(src, cs.W, cs.H, f.kernel, f.support);
      EXPECT_TRUE(Resampled(src, cs.W, cs.H, filter) == want)
          << f.name << " " << cs.w << "x" << cs.h << " -> " << cs.W << "x" << cs.H;
    }
  }
}

TEST(ResampleImageTest, StackingEnlargement_MatchesReferenceBitForBit) {
  // The resampled-stacking case: a 640 x 480 frame doubled with "Bell".
  const Bitmap24 src = TestPicture(640, 480, 2024u);
  const auto& bell = ResampleFilters()[finish::kBell];
  EXPECT_TRUE(Resampled(src, 1279, 959, finish::kBell) == RefResample(src, 1279, 959, bell.kernel, bell.support));
}

TEST(ResampleImageTest, LargeReduction_MatchesReferenceBitForBit) {
  // Rows far apart feed one output row: the intermediate rows must not evict each other.
  const Bitmap24 src = TestPicture(300, 400, 7u);
  for (int filter : {finish::kBox, finish::kLanczos3}) {
    const auto& f = ResampleFilters()[filter];
    EXPECT_TRUE(Resampled(src, 7, 3, filter) == RefResample(src, 7, 3, f.kernel, f.support)) << f.name;
  }
}

TEST(ResampleImageTest, EmptySource_ThrowsSourceBitmapTooSmall) {
  Bitmap24 empty, dst(4, 4);
  try {
    ResampleImage(empty, dst, finish::kBell);
    FAIL() << "no error";
  } catch (const px::PelinoxaError& e) {
    EXPECT_STREQ(e.what(), "Source bitmap too small");
  }
  EXPECT_THROW(ResampleImage(TestPicture(2, 2, 1), dst, 7), px::PelinoxaError);
  EXPECT_THROW(ResampleImage(TestPicture(2, 2, 1), dst, -1), px::PelinoxaError);
  EXPECT_THROW(ResampleImage(TestPicture(2, 2, 1), dst, finish::BellFilter, INFINITY), px::PelinoxaError);
  EXPECT_THROW(ResampleImage(TestPicture(2, 2, 1), dst, nullptr, 1.0f), px::PelinoxaError);
}

TEST(ResampleImageTest, EmptyTargetOrSamePicture_IsHandled) {
  const Bitmap24 src = TestPicture(6, 6, 5);
  Bitmap24 none;
  ResampleImage(src, none, finish::kMitchell);
  EXPECT_TRUE(none.empty());
  Bitmap24 same = src;
  ResampleImage(same, same, finish::kMitchell);
  EXPECT_EQ(same, Resampled(src, 6, 6, finish::kMitchell));
}

TEST(ResampleImageTest, ReusedResampler_MatchesOneOffResizesAcrossPicturesAndSizes) {
  finish::Resampler r;
  for (int seed : {1, 2, 3}) {
    const Bitmap24 src = TestPicture(17, 11, seed);
    Bitmap24 dst(33, 21);
    r.Run(src, dst, finish::kBell);
    EXPECT_EQ(dst, Resampled(src, 33, 21, finish::kBell)) << seed;
  }
  const Bitmap24 other = TestPicture(9, 9, 4);
  Bitmap24 dst(20, 15);
  r.Run(other, dst, finish::kLanczos3);
  EXPECT_EQ(dst, Resampled(other, 20, 15, finish::kLanczos3));
}
