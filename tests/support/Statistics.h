#pragma once
// Statistics the scenario tests compare pictures and rankings with.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace pxtest {

inline double Mean(const std::vector<double>& a) { return std::accumulate(a.begin(), a.end(), 0.0) / a.size(); }

inline double StdDev(const std::vector<double>& a) {
  const double m = Mean(a);
  double s = 0;
  for (double v : a) s += (v - m) * (v - m);
  return std::sqrt(s / a.size());
}

// Pearson correlation.
inline double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const double ma = Mean(a), mb = Mean(b);
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

// Spearman rank correlation (ties broken by position).
inline double Spearman(const std::vector<double>& a, const std::vector<double>& b) {
  auto ranks = [](const std::vector<double>& v) {
    std::vector<size_t> idx(v.size());
    std::iota(idx.begin(), idx.end(), 0);
    std::sort(idx.begin(), idx.end(), [&](size_t i, size_t j) { return v[i] < v[j]; });
    std::vector<double> r(v.size());
    for (size_t k = 0; k < idx.size(); ++k) r[idx[k]] = static_cast<double>(k);
    return r;
  };
  std::vector<double> ra = ranks(a), rb = ranks(b);
  const double n = static_cast<double>(a.size());
  double d2 = 0;
  for (size_t i = 0; i < a.size(); ++i) d2 += (ra[i] - rb[i]) * (ra[i] - rb[i]);
  return 1 - 6 * d2 / (n * (n * n - 1));
}

}  // namespace pxtest
