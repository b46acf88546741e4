#include "finish/BSpline.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/Error.h"
#include "base/Numbers.h"

namespace finish {

TBSpline::TBSpline() { SetCapacity(25); }

void TBSpline::SetCapacity(int n) {
  n = std::max(n, count_);
  points_.resize(n);
  knuckle_.resize(n);
}

void TBSpline::CheckIndex(const char* op, int k) const {
  if (k < 1 || k > count_) throw px::PelinoxaError(std::string("TBSpline.") + op + ": index " + std::to_string(k) + " out of range");
}

SplinePoint TBSpline::GetPoint(int k) const {
  CheckIndex("GetPoint", k);
  return points_[k - 1];
}

void TBSpline::SetPoint(int k, SplinePoint p) {
  CheckIndex("SetPoint", k);
  points_[k - 1] = p;
  built_ = false;
}

SplinePoint TBSpline::GetControlPoint(int k) {
  if (!built_) BuildControlPoints();
  if (k < 0 || k > n_ + 1 || k >= static_cast<int>(control_.size()))
    throw px::PelinoxaError("TBSpline.GetControlPoint: index " + std::to_string(k) + " out of range");
  return control_[k];
}

void TBSpline::SetControlPoint(int k, SplinePoint p) {
  if (k < 0 || k >= static_cast<int>(control_.size()))
    throw px::PelinoxaError("TBSpline.SetControlPoint: index " + std::to_string(k) + " out of range");
  control_[k] = p;
}

bool TBSpline::GetKnuckle(int k) const {
  CheckIndex("GetKnuckle", k);
  if (k == 1 || k == count_) return false;
  return knuckle_[k - 1] != 0;
}

void TBSpline::SetKnuckle(int k, bool flag) {
  CheckIndex("SetKnuckle", k);
  knuckle_[k - 1] = flag;
  built_ = false;
}

void TBSpline::AddPoint(SplinePoint p) {
  if (count_ == static_cast<int>(points_.size())) SetCapacity(count_ + 25);
  points_[count_] = p;
  knuckle_[count_] = 0;
  ++count_;
  built_ = false;
}

void TBSpline::InsertPoint(int k, SplinePoint p) {
  if (k < 1 || k > count_) throw px::PelinoxaError("Index out of range");
  if (count_ == static_cast<int>(points_.size())) SetCapacity(count_ + 25);
  points_.insert(points_.begin() + (k - 1), p);
  points_.pop_back();
  knuckle_.insert(knuckle_.begin() + (k - 1), 0);
  knuckle_.pop_back();
  ++count_;
  built_ = false;
}

void TBSpline::DeletePoint(int k) {
  CheckIndex("DeletePoint", k);
  if (count_ == 1) {
    Clear();
    return;
  }
  points_.erase(points_.begin() + (k - 1));
  points_.push_back({});
  knuckle_.erase(knuckle_.begin() + (k - 1));
  knuckle_.push_back(0);
  --count_;
  built_ = false;
}

void TBSpline::Clear() {
  count_ = 0;
  n_ = 0;
  control_.clear();
  built_ = false;
  colour_ = ui::colors::Black;
  showPoints_ = false;
  interpolated_ = false;
  fragments_ = 100;
}

void TBSpline::SetInterpolated(bool on) {
  if (on != interpolated_) built_ = false;
  interpolated_ = on;
}

void TBSpline::SetFragments(int n) { fragments_ = std::clamp(n, 1, 600); }

int TBSpline::ControlCount() {
  if (!built_) BuildControlPoints();
  return built_ ? n_ : 0;
}

// Row k of the system (C(k-1) + 4 Ck + C(k+1)) / 6 = Pk; the ends and the three copies of a
// knuckle point are fixed (identity rows), which keeps the corner sharp.
void TBSpline::FillInterpolationMatrix(std::vector<double>& lower, std::vector<double>& diag,
                                       std::vector<double>& upper) const {
  const int N = n_;
  lower.assign(N + 2, 0);
  diag.assign(N + 2, 1);
  upper.assign(N + 2, 0);
  std::vector<bool> fixed(N + 2, false);
  fixed[1] = fixed[N] = true;
  auto same = [&](int a, int b) {
    return std::fabs(control_[a].x - control_[b].x) < 0.00001f && std::fabs(control_[a].y - control_[b].y) < 0.00001f;
  };
  for (int k = 2; k < N; ++k)
    if (same(k - 1, k) && same(k, k + 1)) fixed[k - 1] = fixed[k] = fixed[k + 1] = true;
  for (int k = 2; k < N; ++k) {
    if (fixed[k]) continue;
    lower[k] = 1.0 / 6;
    diag[k] = 4.0 / 6;
    upper[k] = 1.0 / 6;
  }
}

// Forward elimination without pivoting and back substitution along the band.
void TBSpline::SolveInterpolation() {
  const int N = n_;
  std::vector<double> a, b, c;
  FillInterpolationMatrix(a, b, c);
  std::vector<double> rx(N + 2), ry(N + 2);
  for (int k = 1; k <= N; ++k) {
    rx[k] = control_[k].x;
    ry[k] = control_[k].y;
  }
  for (int k = 2; k <= N; ++k) {
    if (a[k] == 0) continue;
    const double m = a[k] / b[k - 1];
    b[k] -= m * c[k - 1];
    rx[k] -= m * rx[k - 1];
    ry[k] -= m * ry[k - 1];
  }
  double nx = rx[N] / b[N], ny = ry[N] / b[N];
  control_[N] = {static_cast<float>(nx), static_cast<float>(ny)};
  for (int k = N - 1; k >= 1; --k) {
    nx = (rx[k] - c[k] * nx) / b[k];
    ny = (ry[k] - c[k] * ny) / b[k];
    control_[k] = {static_cast<float>(nx), static_cast<float>(ny)};
  }
}

void TBSpline::BuildControlPoints() {
  if (count_ < 2) return;
  control_.assign(1, {});
  minX_ = maxX_ = points_[0].x;
  minY_ = maxY_ = points_[0].y;
  for (int k = 1; k <= count_; ++k) {
    const SplinePoint p = points_[k - 1];
    const int copies = GetKnuckle(k) ? 3 : 1;
    for (int i = 0; i < copies; ++i) control_.push_back(p);
    minX_ = std::min(minX_, p.x);
    maxX_ = std::max(maxX_, p.x);
    minY_ = std::min(minY_, p.y);
    maxY_ = std::max(maxY_, p.y);
  }
  n_ = static_cast<int>(control_.size()) - 1;
  control_.push_back({});
  if (interpolated_ && n_ >= 3 && n_ < 250) SolveInterpolation();
  const int N = n_;
  control_[0] = {2 * control_[1].x - control_[2].x, 2 * control_[1].y - control_[2].y};
  control_[N + 1] = {2 * control_[N].x - control_[N - 1].x, 2 * control_[N].y - control_[N - 1].y};
  built_ = true;
}

SplinePoint TBSpline::Value(double t) {
  if (count_ < 2) return {};
  if (!built_) BuildControlPoints();
  const int N = n_;
  const double u = t * (N - 1) + 1;
  const int e = std::max(0, static_cast<int>(std::trunc(u - 1)));
  double sx = 0, sy = 0;
  for (int i = std::min(e, N + 1); i <= std::min(e + 3, N + 1); ++i) {
    const double f = std::fabs(i - u);
    double w = 0;
    if (f < 1) w = 2.0 / 3 - f * f + f * f * f / 2;
    else if (f < 2) w = (2 - f) * (2 - f) * (2 - f) / 6;
    sx += w * control_[i].x;
    sy += w * control_[i].y;
  }
  return {static_cast<float>(sx), static_cast<float>(sy)};
}

void TBSpline::Draw(ui::Canvas& cv) {
  if (count_ < 2) return;
  cv.pen.color = colour_;
  cv.pen.mode = ui::PenMode::Copy;
  for (int i = 0; i <= fragments_; ++i) {
    const SplinePoint p = Value(static_cast<double>(i) / fragments_);
    const int x = px::Round(p.x), y = px::Round(p.y);
    if (i == 0) cv.moveTo(x, y);
    else cv.lineTo(x, y);
  }
  // The last point itself (lines leave out their end).
  cv.lineTo(cv.penX() + 1, cv.penY());
  if (!showPoints_) return;
  cv.pen.color = ui::colors::Red;
  const ui::BrushStyle keep = cv.brush.style;
  cv.brush.style = ui::BrushStyle::Clear;
  for (int k = 0; k < count_; ++k) {
    const int x = px::Round(points_[k].x), y = px::Round(points_[k].y);
    cv.ellipse(x - 2, y - 2, x + 3, y + 3);
  }
  cv.brush.style = keep;
}

}  // namespace finish
