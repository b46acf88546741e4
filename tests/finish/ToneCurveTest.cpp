// The spline, the levels arithmetic and the gamma tone table against hand-computed values.
#include <gtest/gtest.h>

#include <cmath>

#include "base/Error.h"
#include "finish/BSpline.h"
#include "finish/GammaCurve.h"
#include "finish/Levels.h"

using namespace finish;

namespace {

TBSpline Interpolating(std::initializer_list<SplinePoint> pts) {
  TBSpline s;
  for (auto p : pts) s.AddPoint(p);
  s.SetInterpolated(true);
  return s;
}

}  // namespace

TEST(BSplineTest, InterpolatingCurvePassesThroughEveryPoint) {
  TBSpline s = Interpolating({{0, 255}, {40, 200}, {128, 100}, {200, 60}, {255, 0}});
  const int N = s.ControlCount();
  ASSERT_EQ(N, 5);
  for (int k = 1; k <= 5; ++k) {
    const SplinePoint v = s.Value(static_cast<double>(k - 1) / (N - 1));
    EXPECT_NEAR(v.x, s.GetPoint(k).x, 1e-3) << k;
    EXPECT_NEAR(v.y, s.GetPoint(k).y, 1e-3) << k;
  }
}

TEST(BSplineTest, ApproximatingCurveUsesPointsAsControlPoints) {
  TBSpline s;
  for (SplinePoint p : {SplinePoint{0, 0}, SplinePoint{6, 6}, SplinePoint{12, 0}}) s.AddPoint(p);
  // Middle at u = 2: (C1 + 4 C2 + C3) / 6 = (0 + 24 + 0) / 6 = 4 in y.
  EXPECT_NEAR(s.Value(0.5).y, 4.0, 1e-5);
  EXPECT_NEAR(s.Value(0.5).x, 6.0, 1e-5);
  // Phantom end C0 = 2 C1 - C2 makes the curve start at the first point.
  EXPECT_NEAR(s.Value(0).y, 0.0, 1e-5);
  EXPECT_NEAR(s.GetControlPoint(0).x, -6.0, 1e-5);
}

TEST(BSplineTest, KnuckleKeepsACornerAndMoreThan249ControlPointsStopInterpolating) {
  TBSpline s = Interpolating({{0, 0}, {50, 100}, {100, 0}});
  s.SetKnuckle(2, true);
  EXPECT_EQ(s.ControlCount(), 5);
  // The corner point is met exactly (u = 3 of 5).
  EXPECT_NEAR(s.Value(0.5).y, 100.0, 1e-3);
  EXPECT_FALSE(s.GetKnuckle(1));
  TBSpline many;
  many.SetInterpolated(true);
  for (int i = 0; i < 260; ++i) many.AddPoint({static_cast<float>(i), i % 2 ? 10.0f : 0.0f});
  // As control points alternating 0/10 the curve stays strictly between them.
  const SplinePoint v = many.Value(100.0 / 259);
  EXPECT_GT(v.y, 0.5);
  EXPECT_LT(v.y, 9.5);
}

TEST(BSplineTest, EditingOperations) {
  TBSpline s;
  EXPECT_EQ(s.Value(0.3).x, 0);  // fewer than 2 points
  for (int i = 0; i < 30; ++i) s.AddPoint({static_cast<float>(i), 0});  // grows past 25
  EXPECT_EQ(s.Count(), 30);
  s.InsertPoint(2, {0.5f, 7});
  EXPECT_EQ(s.GetPoint(2).y, 7);
  EXPECT_EQ(s.GetPoint(3).x, 1);
  s.DeletePoint(2);
  EXPECT_EQ(s.GetPoint(2).x, 1);
  EXPECT_THROW(s.GetPoint(0), px::PelinoxaError);
  EXPECT_THROW(s.InsertPoint(31, {}), px::PelinoxaError);
  s.SetFragments(5000);
  EXPECT_EQ(s.Fragments(), 600);
  TBSpline one;
  one.AddPoint({1, 1});
  one.SetInterpolated(true);
  one.DeletePoint(1);
  EXPECT_EQ(one.Count(), 0);
  EXPECT_FALSE(one.Interpolated());
  EXPECT_EQ(one.Fragments(), 100);
}

TEST(GammaCurveTest, DefaultCurveTableEndsAndMiddle) {
  TBSpline s;
  SetDefaultGammaCurve(s);
  ToneTable t{};
  CurveToToneTable(s, t);
  // Each entry keeps the last sample rounding onto it: the ends are within a sample step.
  EXPECT_NEAR(t[0], 0.0, 1e-3);
  EXPECT_NEAR(t[1000], 1.0, 1e-3);
  // Input level 128 (entry 502) maps to 127/255.
  EXPECT_NEAR(t[502], 127.0 / 255, 0.003);
  for (int i = 1; i <= 1000; ++i) EXPECT_GE(t[i], t[i - 1] - 1e-9) << i;  // monotone
}

TEST(GammaCurveTest, TypedGamma) {
  ToneTable t{};
  ASSERT_TRUE(GammaToneTable(2.0, t));
  EXPECT_NEAR(t[250], std::sqrt(0.250001), 1e-12);
  ASSERT_TRUE(GammaToneTable(1.0, t));
  EXPECT_DOUBLE_EQ(t[0], 0.000001);
  EXPECT_DOUBLE_EQ(t[1000], 1.000001);
  EXPECT_DOUBLE_EQ(t[500], 0.500001);
  const ToneTable before = t;
  EXPECT_FALSE(GammaToneTable(0, t));
  EXPECT_FALSE(GammaToneTable(NAN, t));
  EXPECT_EQ(t, before);
}

TEST(GammaCurveTest, PointEditingRules) {
  TBSpline s;
  SetDefaultGammaCurve(s);
  // End points stay on their edges; drags near neighbours are refused.
  EXPECT_FALSE(DragGammaPoint(s, 5, 240));  // 15 below the first point: not within reach
  EXPECT_TRUE(DragGammaPoint(s, 5, 245));
  EXPECT_EQ(s.GetPoint(1).x, 0);
  EXPECT_EQ(s.GetPoint(1).y, 245);
  EXPECT_TRUE(DragGammaPoint(s, 120, 128));
  EXPECT_EQ(s.GetPoint(2).x, 120);
  EXPECT_FALSE(DragGammaPoint(s, 240, 10));  // the last point: not past its neighbour + 15
  EXPECT_TRUE(DragGammaPoint(s, 250, 10));
  EXPECT_EQ(s.GetPoint(3).x, 255);
  EXPECT_EQ(s.GetPoint(2).x, 120);
  EXPECT_TRUE(InsertPointBetween(s, 200, 60));
  EXPECT_EQ(s.Count(), 4);
  EXPECT_FALSE(DeleteInteriorPoint(s, 0, 240));   // first point
  EXPECT_FALSE(DeleteInteriorPoint(s, 255, 0));   // last point
  EXPECT_TRUE(DeleteInteriorPoint(s, 201, 61));
  EXPECT_EQ(s.Count(), 3);
}

TEST(LevelsTest, StretchFromMarkers) {
  ToneState t;
  StretchLevels(t);  // untouched markers
  EXPECT_FLOAT_EQ(t.LevelLow, 1);
  EXPECT_FLOAT_EQ(t.LevelHigh, 256);
  ResetLevels(t);
  t.LowMarker = 65;
  t.HighMarker = 219;
  StretchLevels(t);
  EXPECT_FLOAT_EQ(t.LevelLow, 51);
  EXPECT_FLOAT_EQ(t.LevelHigh, 205);
  EXPECT_EQ(t.LowMarker, 15);
  t.LowMarker = 15;
  t.HighMarker = 142;
  StretchLevels(t);
  EXPECT_NEAR(t.LevelLow, 51 + 154.0 / 255, 1e-4);   // ≈ 51.6
  EXPECT_NEAR(t.LevelHigh, 51 + 128 * 154.0 / 255, 1e-3);  // ≈ 128.3
}

TEST(LevelsTest, DragKeepsMarkersApart) {
  ToneState t;
  ASSERT_TRUE(DragMarker(t, 250, 220));
  EXPECT_EQ(t.HighMarker, 257);
  EXPECT_FLOAT_EQ(t.LevelHigh, 243);
  EXPECT_FALSE(DragMarker(t, 263, 220));  // outside the graph
  EXPECT_FALSE(DragMarker(t, 6, 220));
  // Low marker dragged up to the high one: never within 16.
  for (int x = 10; x <= 262; x += 3) DragMarker(t, x, 220);
  EXPECT_GE(t.HighMarker - t.LowMarker, 15);
  ToneState u;
  DragMarker(u, 20, 100);  // too high on the graph: nothing moves
  EXPECT_EQ(u.LowMarker, 15);
  EXPECT_EQ(u.HighMarker, 270);
}

TEST(LevelsTest, GraphScaleAndCurves) {
  ToneHistograms h{};
  for (int c = 0; c < 3; ++c) h[c][100] = 300;  // three-bin sum 300 over three channels → peak 100
  ui::Bitmap24 g;
  HistogramGraphOptions o;
  EXPECT_EQ(DrawHistogramGraph(g, h, o), 50);
  EXPECT_EQ(g.width(), 281);
  EXPECT_EQ(g.height(), 260);
  o.showPeak = true;
  EXPECT_EQ(DrawHistogramGraph(g, h, o), 100);
  // The blue curve is drawn last (mono: three identical curves, blue on top); 300 / 100 x 250
  // leaves the graph above the top, bin 50 (zero) is at y 250.
  EXPECT_EQ(g.pixel(50 + 9, 250), ui::colors::Blue);
  ToneHistograms zero{};
  o.showPeak = false;
  EXPECT_EQ(DrawHistogramGraph(g, zero, o), 1);
  EXPECT_EQ(LevelText("  hi: ", 128.26), "  hi: 128.3");
}
