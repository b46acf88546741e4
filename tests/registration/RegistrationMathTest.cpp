// The arithmetic of registration against values worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "registration/RegistrationMath.h"

namespace registration {
namespace {

TEST(AlignmentFilter, Radius10OnA64Box_KeepsAndZeroesTheDocumentedCoefficients) {
  const float r2 = 100;
  EXPECT_TRUE(FilterKeeps(10, 0, 64, r2));
  EXPECT_FALSE(FilterKeeps(8, 7, 64, r2));  // 113 > 100
  EXPECT_TRUE(FilterKeeps(60, 0, 64, r2));  // distance 4 through the wrap
  EXPECT_FALSE(FilterKeeps(32, 32, 64, r2));
  EXPECT_TRUE(FilterKeeps(0, 54, 64, r2));  // dy = 10

  FftPlane re, im;
  for (int x = 0; x < 64; ++x)
    for (int y = 0; y < 64; ++y) re.at(x, y) = im.at(x, y) = 1;
  ApplyAlignmentFilter(re, im, 64, r2);
  EXPECT_EQ(re.at(10, 0), 1);
  EXPECT_EQ(im.at(8, 7), 0);
  EXPECT_EQ(re.at(60, 0), 1);
  EXPECT_EQ(re.at(32, 32), 0);
  // Every quadrant is filtered alike.
  EXPECT_EQ(re.at(64 - 8, 64 - 7), 0);
  EXPECT_EQ(re.at(64 - 6, 64 - 8), 1);
}

TEST(PeakShift, IndicesAboveHalfAreNegative) {
  EXPECT_EQ(PeakToShift(0, 64), 0);
  EXPECT_EQ(PeakToShift(32, 64), 32);   // px = h gives sx = h
  EXPECT_EQ(PeakToShift(33, 64), -31);  // h + 1 gives h + 1 - N
  EXPECT_EQ(PeakToShift(63, 64), -1);
}

TEST(PeakShift, FirstMaximumInColumnOrderWins) {
  FftPlane s;
  s.at(5, 9) = 3;
  s.at(5, 2) = 3;
  s.at(7, 1) = 3;
  Peak p = FindPeak(s, 16);
  EXPECT_EQ(p.x, 5);
  EXPECT_EQ(p.y, 2);
  EXPECT_EQ(p.value, 3);
}

// A smooth peak c(x, y) = A - 100 (x - x0)^2 - 200 (y - y0)^2 sampled with wrap-around.
void FillParabolic(FftPlane& s, int n, double x0, double y0) {
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      double dx = x - x0, dy = y - y0;
      dx -= n * std::round(dx / n);
      dy -= n * std::round(dy / n);
      s.at(x, y) = static_cast<float>(1e5 - 100 * dx * dx - 200 * dy * dy);
    }
}

TEST(SubPixel, ParabolaVertexFollowsTheTruePeak_AlsoAcrossTheWrap) {
  const int n = 32;
  for (auto [x0, y0] : {std::pair{5.3, 7.0}, std::pair{10.0, 4.4}, std::pair{0.2, 31.7}, std::pair{31.6, 0.3}}) {
    FftPlane s;
    FillParabolic(s, n, x0, y0);
    Peak p = FindPeak(s, n);
    SubPixel sp = ParabolaPeak(s, n, p.x, p.y);
    double fx = p.x + sp.fx, fy = p.y + sp.fy;
    // Back into the same period as the truth.
    fx -= n * std::round((fx - x0) / n);
    fy -= n * std::round((fy - y0) / n);
    EXPECT_NEAR(fx, x0, 1e-6) << x0 << "," << y0;
    EXPECT_NEAR(fy, y0, 1e-6) << x0 << "," << y0;
    EXPECT_LE(std::fabs(sp.fx), 1.0);
    EXPECT_LE(std::fabs(sp.fy), 1.0);
  }
}

// Correlation surfaces of real frames rise by far less than 1 over their neighbours; the fit
// must find the vertex whatever the surface's scale.
TEST(SubPixel, VertexIsFoundAtAnyScaleOfTheSurface) {
  const int n = 64;
  for (double scale : {1e-4, 1e-2, 1.0, 1e4}) {
    FftPlane s;
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        const double dx = x - 20.3, dy = y - 40.8;
        s.at(x, y) = static_cast<float>(scale * (100 - 0.5 * dx * dx - 0.25 * dy * dy));
      }
    const Peak p = FindPeak(s, n);
    const SubPixel sp = ParabolaPeak(s, n, p.x, p.y);
    EXPECT_NEAR(p.x + sp.fx, 20.3, 1e-3) << scale;
    EXPECT_NEAR(p.y + sp.fy, 40.8, 1e-3) << scale;
  }
}

TEST(Taper, ConstantBoxIsZeroAndTheMeanIsTakenUnderTheWindow) {
  const int n = 32;
  const std::vector<float> w = HannWindow(n);
  EXPECT_NEAR(w[0], 0.5 - 0.5 * std::cos(M_PI / n), 1e-6);
  EXPECT_NEAR(w[n / 2], 0.5 - 0.5 * std::cos(2 * M_PI * (n / 2 + 0.5) / n), 1e-6);
  FftPlane lum, out;
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) lum.at(x, y) = 77;
  TaperedMeanFree(lum, w, n, out);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) ASSERT_NEAR(out.at(x, y), 0, 1e-4);
  // A ramp: what is left has no weighted mean, so no constant reaches the spectrum.
  double sum = 0;
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) lum.at(x, y) = static_cast<float>(3 * x + y * y);
  TaperedMeanFree(lum, w, n, out);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) sum += out.at(x, y);
  EXPECT_NEAR(sum, 0, 0.05);
}

TEST(NoisePower, OnlyCoefficientsBeyondHalfTheSamplingFrequencyCount) {
  const int n = 16;
  FftPlane re, im;
  re.at(1, 0) = 100;  // radius 1: signal
  re.at(8, 8) = 2;    // radius 11.3: noise region
  im.at(15, 7) = 4;   // dx 1, dy 7: radius 7.07 < 8, not counted
  im.at(7, 7) = 3;    // radius 9.9: counted
  int count = 0;
  for (int kx = 0; kx < n; ++kx)
    for (int ky = 0; ky < n; ++ky) {
      const int dx = std::min(kx, n - kx), dy = std::min(ky, n - ky);
      count += dx * dx + dy * dy > 64;
    }
  EXPECT_NEAR(CornerNoisePower(re, im, n), (4.0 + 9.0) / count, 1e-12);
}

TEST(Ranking, BestFramesAreTheHighestQualitiesInUse) {
  frames::FrameTable t;
  t.Reset();
  const float q[] = {0.1f, 0.9f, 0.5f, 0.9f, 0.7f, 0.95f, 0.2f, 0.3f, 0.4f, 0.6f};
  for (int i = 0; i < 10; ++i) t[i].Quality = q[i];
  t[5].Excluded = 1;  // the best of all, but not in use
  EXPECT_EQ(BestFrames(t, 9, 0.1, 3), (std::vector<int>{1, 3, 4}));  // ties in frame order; at least 3
  EXPECT_EQ(BestFrames(t, 9, 0.5, 1), (std::vector<int>{1, 3, 4, 9}));  // half of 9, rounded to even
}

TEST(SubPixel, FlatNeighbourhoodGivesNoOffset) {
  FftPlane s;
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 8; ++y) s.at(x, y) = 5;
  SubPixel sp = ParabolaPeak(s, 8, 3, 3);
  EXPECT_EQ(sp.fx, 0);
  EXPECT_EQ(sp.fy, 0);
}

frames::FrameTable& Table() {
  static frames::FrameTable t;
  t.Reset();
  return t;
}

void SetQualities(frames::FrameTable& t, std::initializer_list<float> q) {
  int p = 0;
  for (float v : q) {
    t.ranks[p].FrameIndex = p;
    t.ranks[p].RankQuality = v;
    ++p;
  }
}

TEST(Ranking, SortIsDescendingAndStableForTies) {
  auto& t = Table();
  SetQualities(t, {0.2f, 0.5f, 0.2f, 0.9f, 0.5f});
  SortRankList(t, 4);
  const int order[] = {3, 1, 4, 0, 2};
  for (int p = 0; p < 5; ++p) EXPECT_EQ(t.ranks[p].FrameIndex, order[p]) << p;
  EXPECT_FLOAT_EQ(t.ranks[0].RankQuality, 0.9f);
  EXPECT_FLOAT_EQ(t.ranks[5].RankQuality, 0.0f);
}

TEST(Ranking, SortOfTheFullTableStaysInsideIt) {
  auto& t = Table();
  for (int p = 0; p < frames::MaxFrames; ++p) {
    t.ranks[p].FrameIndex = p;
    t.ranks[p].RankQuality = static_cast<float>(p % 7);
  }
  SortRankList(t, frames::MaxFrames - 1);
  for (int p = 1; p < frames::MaxFrames; ++p) ASSERT_GE(t.ranks[p - 1].RankQuality, t.ranks[p].RankQuality);
}

TEST(Ranking, AutomaticCutExamples) {
  auto& t = Table();
  SetQualities(t, {1.0f, 0.9f, 0.85f, 0.7f, 0.6f, 0.5f});
  EXPECT_EQ(AutoStackCut(t, 5, 80), 2);
  SetQualities(t, {1.0f, 0.9f, 0.85f, 0.7f});
  EXPECT_EQ(AutoStackCut(t, 3, 80), 3);  // the search reaches the maximum
  SetQualities(t, {1.0f, 0.7f, 0.6f, 0.5f, 0.4f});
  EXPECT_EQ(AutoStackCut(t, 4, 80), 1);  // a drop at p = 1 alone does not stop it
  EXPECT_EQ(AutoStackCut(t, 0, 80), 0);
}

// Windows of side n + 2c + 1 holding a pattern; the frame window displaced by (da, db).
void FillWindows(FftPlane& ref, FftPlane& frm, int n, int c, int da, int db) {
  const int side = n + 2 * c + 1;
  auto v = [](int x, int y) { return static_cast<float>((x * 7 + y * 13) % 17 + (x * y) % 5); };
  for (int x = 0; x < side; ++x)
    for (int y = 0; y < side; ++y) {
      ref.at(x, y) = v(x, y);
      frm.at(x, y) = v(x - da, y - db);
    }
}

TEST(OptimizerSearchTest, FindsTheDisplacementAndItsGain) {
  FftPlane ref, frm;
  FillWindows(ref, frm, 16, 2, 1, -2);
  SearchOptions o;
  o.n = 16;
  o.c = 2;
  SearchResult r = OptimizerSearch(ref, frm, o, 1.5e38);
  ASSERT_TRUE(r.improved);
  EXPECT_EQ(r.a, 1);
  EXPECT_EQ(r.b, -2);
  EXPECT_DOUBLE_EQ(r.sum, 0);
}

TEST(OptimizerSearchTest, NothingAtOrBelowTheStoredDifferenceChangesNothing) {
  FftPlane ref, frm;
  FillWindows(ref, frm, 16, 2, 1, 0);
  SearchOptions o;
  o.n = 16;
  o.c = 2;
  o.meanF = 1000;  // every candidate is far off
  SearchResult r = OptimizerSearch(ref, frm, o, 10.0);
  EXPECT_FALSE(r.improved);
  EXPECT_EQ(r.sum, 10.0);
}

TEST(OptimizerSearchTest, TiesGoToTheLastOffsetOrTheFirstWhenInterlaced) {
  FftPlane ref, frm;  // both all zero: every candidate sums 0
  SearchOptions o;
  o.n = 8;
  o.c = 1;
  SearchResult later = OptimizerSearch(ref, frm, o, 0.0);
  ASSERT_TRUE(later.improved);
  EXPECT_EQ(later.a, 1);
  EXPECT_EQ(later.b, 1);
  EXPECT_FLOAT_EQ(later.gain, 100.0f);
  o.laterWinsTies = false;
  SearchResult first = OptimizerSearch(ref, frm, o, 1.0);
  ASSERT_TRUE(first.improved);
  EXPECT_EQ(first.a, -1);
  EXPECT_EQ(first.b, -1);
  // 100 - 0 / (1 + 1) * 100
  EXPECT_FLOAT_EQ(first.gain, 100.0f);
}

TEST(OptimizerSearchTest, LargerOffsetsSumFewerTerms) {
  FftPlane ref, frm;
  const int n = 4, c = 1;
  for (int x = 0; x < n + 2 * c + 1; ++x)
    for (int y = 0; y < n + 2 * c + 1; ++y) ref.at(x, y) = 1;  // frame all 0: each term is 1
  SearchOptions o;
  o.n = n;
  o.c = c;
  o.laterWinsTies = false;
  // Offsets (-1,-1): 4 x 4 terms; (1,1): j, k < n - c - 1 = 2, so 2 x 2 = 4 terms; the last
  // candidate has the fewest terms and so wins.
  SearchResult r = OptimizerSearch(ref, frm, o, 1e30);
  EXPECT_EQ(r.a, 1);
  EXPECT_EQ(r.b, 1);
  EXPECT_DOUBLE_EQ(r.sum, 4.0);
  o.noSquare = true;
  o.relative = true;  // |1 / (1 + 0.01)| per term
  r = OptimizerSearch(ref, frm, o, 1e30);
  EXPECT_NEAR(r.sum, 4.0 / 1.01, 1e-5);
}

// The search as first written: per column eight running double sums of the squared float
// difference (lane l takes rows l, l + 8, ..., lane 0 also the tail), paired in a fixed order.
SearchResult PlainSquaredSearch(const FftPlane& ref, const FftPlane& frame, const SearchOptions& o, double best) {
  SearchResult r;
  r.sum = best;
  const int n = o.n, c = o.c;
  for (int a = -c; a <= c; ++a)
    for (int b = -c; b <= c; ++b) {
      const int jEnd = std::min(n, n - c - a), kEnd = std::min(n, n - c - b);
      double sum = 0;
      for (int j = 0; j < jEnd; ++j) {
        const float* rc = ref.column(c + j) + c;
        const float* fc = frame.column(c + j + a) + c + b;
        double acc[8] = {};
        int k = 0;
        for (; k + 8 <= kEnd; k += 8)
          for (int l = 0; l < 8; ++l) {
            const float u = (rc[k + l] - o.meanR) - (fc[k + l] - o.meanF);
            acc[l] += static_cast<double>(u) * u;
          }
        for (; k < kEnd; ++k) {
          const float u = (rc[k] - o.meanR) - (fc[k] - o.meanF);
          acc[0] += static_cast<double>(u) * u;
        }
        sum += ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
      }
      if (o.laterWinsTies ? sum <= r.sum : sum < r.sum) {
        r.gain = static_cast<float>(100.0 - sum / (r.sum + 1) * 100.0);
        r.sum = sum;
        r.a = a;
        r.b = b;
        r.improved = true;
      }
    }
  return r;
}

// Noisy windows with sizes whose columns end in a partial group of eight, awkward means and
// values where float rounding of the differences matters: the search gives the same sums,
// offset and gain to the last bit, with AVX and with SSE2 alone.
TEST(OptimizerSearchTest, SquaredSumsAreBitIdenticalToThePlainColumnLoop) {
  struct Restore {
    ~Restore() { UseAvxForSearch(true); }
  } restore;
  for (bool avx : {true, false}) {
    SCOPED_TRACE(avx ? "AVX" : "SSE2");
    if (!UseAvxForSearch(avx) && avx) continue;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(0.0f, 255.0f), jitter(-3.0f, 3.0f);
    int checked = 0;
    for (int n : {8, 16, 21, 64, 256})
      for (int c : {0, 1, 2, 3, 10}) {
        if (2 * (n / 2) + 2 * c + 1 > kPlaneStride) continue;
        FftPlane ref, frm;
        const int side = n + 2 * c + 1;
        for (int x = 0; x < side; ++x)
          for (int y = 0; y < side; ++y) {
            ref.at(x, y) = value(rng) / 3.0f;
            frm.at(x, y) = ref.at(x, y) * 1.01f + jitter(rng);
          }
        SearchOptions o;
        o.n = n;
        o.c = c;
        o.meanR = 42.123456f;
        o.meanF = 43.98765f;
        for (bool later : {true, false})
          for (double start : {1.5e38, 1e9}) {
            o.laterWinsTies = later;
            const SearchResult want = PlainSquaredSearch(ref, frm, o, start);
            const SearchResult got = OptimizerSearch(ref, frm, o, start);
            EXPECT_EQ(got.improved, want.improved) << n << " " << c;
            EXPECT_EQ(got.a, want.a) << n << " " << c;
            EXPECT_EQ(got.b, want.b) << n << " " << c;
            EXPECT_EQ(std::memcmp(&got.sum, &want.sum, sizeof got.sum), 0)
                << n << " " << c << " " << got.sum << " " << want.sum;
            EXPECT_EQ(std::memcmp(&got.gain, &want.gain, sizeof got.gain), 0) << n << " " << c;
            ++checked;
          }
      }
    EXPECT_EQ(checked, 100);
  }
}

}  // namespace
}  // namespace registration
