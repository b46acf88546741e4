#pragma once
// Cubic B-spline through (or controlled by) the user's points: the gamma curve and the three
// HSL curves. Points are numbered from 1; control points are rebuilt lazily.
#include <vector>

#include "ui/Canvas.h"

namespace finish {

struct SplinePoint {
  float x = 0, y = 0;
};

class TBSpline {
 public:
  TBSpline();

  void SetCapacity(int n);
  int Count() const { return count_; }
  SplinePoint GetPoint(int k) const;  // k = 1 … Count(); outside: px::PelinoxaError
  void SetPoint(int k, SplinePoint p);
  SplinePoint GetControlPoint(int k);  // k = 0 … N + 1
  void SetControlPoint(int k, SplinePoint p);
  bool GetKnuckle(int k) const;  // false for the first and last point
  void SetKnuckle(int k, bool flag);
  void AddPoint(SplinePoint p);
  void InsertPoint(int k, SplinePoint p);  // becomes number k; k = 1 … Count()
  void DeletePoint(int k);                 // deleting the last remaining point clears the curve
  void Clear();                            // black, points hidden, approximating, 100 fragments

  // The curve at t in 0 … 1; (0, 0) with fewer than 2 points.
  SplinePoint Value(double t);
  void BuildControlPoints();
  int ControlCount();  // N (a knuckle counts 3); 0 when nothing can be built

  bool Interpolated() const { return interpolated_; }
  void SetInterpolated(bool on);
  int Fragments() const { return fragments_; }
  void SetFragments(int n);  // at most 600
  bool ShowPoints() const { return showPoints_; }
  void SetShowPoints(bool on) { showPoints_ = on; }
  ui::Color Colour() const { return colour_; }
  void SetColour(ui::Color c) { colour_ = c; }
  float MinX() const { return minX_; }
  float MaxX() const { return maxX_; }
  float MinY() const { return minY_; }
  float MaxY() const { return maxY_; }

  void Draw(ui::Canvas& cv);

 private:
  void CheckIndex(const char* op, int k) const;
  void FillInterpolationMatrix(std::vector<double>& lower, std::vector<double>& diag, std::vector<double>& upper) const;
  void SolveInterpolation();

  std::vector<SplinePoint> points_;   // index 0 = point 1
  std::vector<unsigned char> knuckle_;
  int count_ = 0;
  std::vector<SplinePoint> control_;  // N + 2
  int n_ = 0;
  bool built_ = false;
  bool interpolated_ = false;
  int fragments_ = 100;
  bool showPoints_ = false;
  ui::Color colour_ = ui::colors::Black;
  float minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
};

}  // namespace finish
