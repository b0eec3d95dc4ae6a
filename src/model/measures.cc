#include "model/measures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>

namespace palvane::model {

namespace {
constexpr double kPi = std::numbers::pi;
}  // namespace

bool Overlap(const Point2& a0, const Point2& a1, const Point2& b0, const Point2& b1) {
  const Point2 d{a1[0] - a0[0], a1[1] - a0[1]};
  auto across = [&](const Point2& p) { return d[0] * (p[1] - a0[1]) - d[1] * (p[0] - a0[0]); };
  if (across(b0) != 0 || across(b1) != 0) return false;
  auto along = [&](const Point2& p) { return d[0] * (p[0] - a0[0]) + d[1] * (p[1] - a0[1]); };
  const double lo = std::min(along(b0), along(b1)), hi = std::max(along(b0), along(b1));
  return std::min(hi, d[0] * d[0] + d[1] * d[1]) > std::max(lo, 0.0);
}

double BearingOf(const Convention& c, double angle) {
  if (c.reversed) angle += kPi;
  double bearing = c.from_north ? kPi / 2 - angle : angle;
  double period = 2 * kPi;
  if (c.degrees) {
    bearing *= 180 / kPi;
    period = 360;
  }
  bearing = std::fmod(bearing, period);
  if (bearing < 0) bearing += period;
  return bearing == period ? 0 : bearing;
}

double BearingError(const Convention& c, double angle, double tagged) {
  if (c.reversed) angle += kPi;
  double expected = c.from_north ? kPi / 2 - angle : angle;
  double period = 2 * kPi;
  if (c.degrees) {
    expected *= 180 / kPi;
    period = 360;
  }
  double d = std::fmod(std::fabs(tagged - expected), period);
  d = std::min(d, period - d);
  return c.degrees ? d : d * 180 / kPi;
}

// A Fenwick tree over the values' ranks finds, for each value, the best
// choice ending below it.
std::vector<bool> LongestRising(const std::vector<double>& values,
                                const std::vector<bool>& trusted) {
  const size_t n = values.size();
  std::vector<double> sorted(values);
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  // Scores count kept values first and trusted ones second.
  const int64_t weight = static_cast<int64_t>(n) + 1;
  std::vector<std::pair<int64_t, size_t>> tree(sorted.size() + 1, {0, SIZE_MAX});
  std::vector<int64_t> score(n);
  std::vector<size_t> before(n, SIZE_MAX);
  for (size_t i = 0; i < n; ++i) {
    const size_t rank = static_cast<size_t>(
        std::lower_bound(sorted.begin(), sorted.end(), values[i]) - sorted.begin());
    std::pair<int64_t, size_t> best{0, SIZE_MAX};
    for (size_t k = rank; k > 0; k -= k & (~k + 1)) best = std::max(best, tree[k]);
    score[i] = best.first + weight + (trusted[i] ? 1 : 0);
    before[i] = best.second;
    for (size_t k = rank + 1; k < tree.size(); k += k & (~k + 1))
      tree[k] = std::max(tree[k], std::pair<int64_t, size_t>{score[i], i});
  }
  std::vector<bool> kept(n, false);
  if (n == 0) return kept;
  size_t last = static_cast<size_t>(std::max_element(score.begin(), score.end()) - score.begin());
  for (size_t k = last; k != SIZE_MAX; k = before[k]) kept[k] = true;
  return kept;
}

ChainageEnd ChainageEndOf(const std::vector<std::pair<double, double>>& sections, double length,
                          double tolerance) {
  ChainageEnd end;
  for (const auto& [tagged, along] : sections) {
    ++end.measured;
    if (std::fabs(tagged - along) <= tolerance) ++end.forward;
    if (std::fabs(tagged - (length - along)) <= tolerance) ++end.backward;
  }
  return end;
}

}  // namespace palvane::model
