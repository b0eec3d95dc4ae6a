#include "geometry/polyline.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "geometry/stable_math.h"
#include "geometry/vec.h"

namespace palvane::geometry {
namespace {

constexpr double kPi = std::numbers::pi;
// Relative slack of the floating-point tests below: far above rounding,
// far below any distance a survey cares about.
constexpr double kSlack = 1e-12;

double Cross(const Point2& a, const Point2& b) { return a[0] * b[1] - a[1] * b[0]; }
double Dot(const Point2& a, const Point2& b) { return a[0] * b[0] + a[1] * b[1]; }
Point2 Minus(const Point2& a, const Point2& b) { return {a[0] - b[0], a[1] - b[1]}; }
double Distance(const Point2& a, const Point2& b) { return std::hypot(a[0] - b[0], a[1] - b[1]); }
Point2 Direction(double angle) { return {std::cos(angle), std::sin(angle)}; }

// The tangent leaving a segment's start and the one arriving at its end.
double StartTangent(const PlanSegment& s) {
  return s.IsArc() ? s.start_tangent : std::atan2(s.end[1] - s.start[1], s.end[0] - s.start[0]);
}
double EndTangent(const PlanSegment& s) {
  return s.IsArc() ? s.start_tangent + s.turn * s.sweep : StartTangent(s);
}

// The nearest place to `p` on one segment, as the distance along it.
double NearestWithin(const PlanSegment& s, const Point2& p) {
  if (s.chord == 0) return 0;
  const Point2 u = Minus(p, s.start);
  if (!s.IsArc()) {
    const Point2 along{(s.end[0] - s.start[0]) / s.chord, (s.end[1] - s.start[1]) / s.chord};
    return std::clamp(Dot(u, along), 0.0, s.chord);
  }
  // The angle at the arc's centre from its start to `p`, in the sense of
  // travel, worked out from the start so that a huge radius (a tiny bulge)
  // loses nothing: n points from the start to the centre.
  const Point2 n = Direction(s.start_tangent + s.turn * kPi / 2);
  const double ccw = std::atan2(-Cross(n, u), s.radius - Dot(n, u));
  const double swept = NormalAngle(s.turn * ccw);
  if (swept <= s.sweep) return s.radius * swept;
  return Distance(p, s.start) <= Distance(p, s.end) ? 0.0 : s.length;
}

void AddStraightCrossings(const PlanSegment& s, const Point2& a, const Point2& b,
                          std::vector<Crossing>& out) {
  const Point2 r = Minus(b, a), d = Minus(s.end, s.start), q = Minus(s.start, a);
  const double denom = Cross(r, d);
  const double scale = std::hypot(r[0], r[1]) * s.chord;
  if (std::fabs(denom) > kSlack * scale) {
    const double t = Cross(q, d) / denom, u = Cross(q, r) / denom;
    if (t < -kSlack || t > 1 + kSlack || u < -kSlack || u > 1 + kSlack) return;
    const double tu = std::clamp(u, 0.0, 1.0);
    out.push_back({s.from + tu * s.chord,
                   std::clamp(t, 0.0, 1.0),
                   {s.start[0] + tu * d[0], s.start[1] + tu * d[1]}});
    return;
  }
  // Parallel: they meet only when they lie on one line and overlap, and then
  // first where the segment enters the piece.
  if (std::fabs(Cross(q, r)) > kSlack * std::hypot(q[0], q[1]) * std::hypot(r[0], r[1])) return;
  const double dd = Dot(d, d);
  if (dd == 0) return;
  const double ua = Dot(Minus(a, s.start), d) / dd, ub = Dot(Minus(b, s.start), d) / dd;
  const double lo = std::max(0.0, std::min(ua, ub)), hi = std::min(1.0, std::max(ua, ub));
  if (lo > hi) return;
  const Point2 at{s.start[0] + lo * d[0], s.start[1] + lo * d[1]};
  const double rr = Dot(r, r);
  out.push_back({s.from + lo * s.chord, rr == 0 ? 0.0 : Dot(Minus(at, a), r) / rr, at});
}

void AddArcCrossings(const PlanSegment& s, const Point2& a, const Point2& b,
                     std::vector<Crossing>& out) {
  // In the frame of the chord (origin at its middle, x towards the end) the
  // arc's circle is 2b (x^2 + y^2 - c^2/4) = c (1 - b^2) y: no radius or
  // centre enters, so that a tiny bulge stays exact. The arc is the part of
  // that circle on the side of the chord it bulges to (b y <= 0).
  const double c = s.chord, bulge = s.bulge;
  const Point2 ex{(s.end[0] - s.start[0]) / c, (s.end[1] - s.start[1]) / c};
  const Point2 ey{-ex[1], ex[0]};
  const Point2 mid{(s.start[0] + s.end[0]) / 2, (s.start[1] + s.end[1]) / 2};
  const Point2 r = Minus(b, a), am = Minus(a, mid);
  const Point2 p0{Dot(am, ex), Dot(am, ey)}, dir{Dot(r, ex), Dot(r, ey)};
  const double k = c * (1 - bulge * bulge);
  const double a2 = 2 * bulge * Dot(dir, dir);
  const double a1 = 4 * bulge * Dot(p0, dir) - k * dir[1];
  const double a0 = 2 * bulge * (Dot(p0, p0) - c * c / 4) - k * p0[1];
  double roots[2];
  int count = 0;
  if (a2 == 0) {
    if (a1 == 0) return;
    roots[count++] = -a0 / a1;
  } else {
    double disc = a1 * a1 - 4 * a2 * a0;
    if (disc < 0) {
      if (disc < -kSlack * (a1 * a1 + std::fabs(4 * a2 * a0))) return;
      disc = 0;  // a touch
    }
    const double q = -0.5 * (a1 + std::copysign(std::sqrt(disc), a1));
    roots[count++] = q / a2;
    if (disc > 0 && q != 0) roots[count++] = a0 / q;
  }
  for (int i = 0; i < count; ++i) {
    const double t = roots[i];
    if (!(t >= -kSlack && t <= 1 + kSlack)) continue;
    const Point2 local{p0[0] + t * dir[0], p0[1] + t * dir[1]};
    // On the rest of the circle? The arc is the part on the side it bulges
    // to; a minor arc also lies between the chord's ends, which stays a sharp
    // test where the circle meets the chord's line, however flat the arc.
    const bool on_arc = bulge * local[1] <= kSlack * c &&
                        (std::fabs(bulge) > 1 || std::fabs(local[0]) <= c / 2 + kSlack * c);
    if (!on_arc) continue;
    const Point2 at{a[0] + t * r[0], a[1] + t * r[1]};
    double swept = 0;
    if (std::fabs(bulge) <= 1 && std::fabs(local[0]) <= 0.7 * s.radius) {
      // Seen from the centre, a point of a minor arc lies asin(x / r) past
      // its middle: sharp however flat the arc, as x is. (Towards x = r, as
      // at the ends of a half circle, the sine flattens; the angle of the
      // chord below serves there, the arc being far from flat.)
      swept = s.sweep / 2 + std::asin(local[0] / s.radius);
    } else {
      // Elsewhere the arc is far from flat: the angle about its centre is
      // sharp, even for a point a rounding away from the start. A point
      // just behind the start shows as almost a full turn.
      const Point2 n = Direction(s.start_tangent + s.turn * kPi / 2);
      const Point2 centre{s.start[0] + s.radius * n[0], s.start[1] + s.radius * n[1]};
      const double from = std::atan2(s.start[1] - centre[1], s.start[0] - centre[0]);
      swept = NormalAngle(s.turn * (std::atan2(at[1] - centre[1], at[0] - centre[0]) - from));
      if (swept > s.sweep + (2 * kPi - s.sweep) / 2) swept = 0;
    }
    swept = std::clamp(swept, 0.0, s.sweep);
    out.push_back({s.from + s.radius * swept, std::clamp(t, 0.0, 1.0), at});
  }
}

}  // namespace

double NormalAngle(double angle) {
  constexpr double kTurn = 2 * kPi;
  angle = std::fmod(angle, kTurn);
  if (angle < 0) angle += kTurn;
  if (angle >= kTurn) angle = 0;
  return angle;
}

Point2 PlanSegment::PointAt(double d, double* bearing) const {
  if (!IsArc()) {
    const double angle = std::atan2(end[1] - start[1], end[0] - start[0]);
    if (bearing != nullptr) *bearing = NormalAngle(angle);
    return {start[0] + d * std::cos(angle), start[1] + d * std::sin(angle)};
  }
  if (d <= 0) {
    if (bearing != nullptr) *bearing = NormalAngle(start_tangent);
    return {start[0] + d * std::cos(start_tangent), start[1] + d * std::sin(start_tangent)};
  }
  const double swept = d / radius;
  const double direction = start_tangent + turn * swept / 2;
  const double distance = 2 * radius * std::sin(swept / 2);
  if (bearing != nullptr) *bearing = NormalAngle(start_tangent + turn * swept);
  return {start[0] + distance * std::cos(direction), start[1] + distance * std::sin(direction)};
}

std::vector<PlanSegment> SegmentsOf(const PlanPolyline& line) {
  std::vector<PlanSegment> out;
  const size_t n = line.vertices.size();
  if (n < 2 && !(line.closed && n == 1)) return out;
  const size_t count = line.closed ? n : n - 1;
  out.reserve(count);
  double total = 0;
  for (size_t i = 0; i < count; ++i) {
    PlanSegment s;
    s.start = line.vertices[i];
    s.end = line.vertices[(i + 1) % n];
    s.bulge = i < line.bulges.size() ? line.bulges[i] : 0.0;
    const double dx = s.start[0] - s.end[0], dy = s.start[1] - s.end[1];
    s.chord = std::sqrt(dx * dx + dy * dy);
    s.length = s.chord;
    if (s.bulge != 0.0 && s.chord != 0.0) {
      s.sweep = 4 * Atan(std::fabs(s.bulge));
      s.radius = ArcRadius(s.chord, s.bulge);
      s.length = s.sweep * s.radius;
      s.turn = s.bulge > 0 ? 1.0 : -1.0;
      s.start_tangent =
          std::atan2(s.end[1] - s.start[1], s.end[0] - s.start[0]) - s.turn * s.sweep / 2;
    }
    s.from = total;
    total += s.length;
    out.push_back(s);
  }
  return out;
}

// ------------------------------------------------------------------ BoxGrid

namespace {
bool IsFinite(const BoxGrid::Box& b) {
  return std::isfinite(b.min_x) && std::isfinite(b.min_y) && std::isfinite(b.max_x) &&
         std::isfinite(b.max_y);
}
}  // namespace

BoxGrid::BoxGrid(std::vector<Box> boxes) : boxes_(std::move(boxes)) {
  double min_x = std::numeric_limits<double>::infinity(), min_y = min_x;
  double max_x = -min_x, max_y = -min_x, sizes = 0;
  size_t finite = 0;
  for (size_t i = 0; i < boxes_.size(); ++i) {
    const Box& b = boxes_[i];
    if (!IsFinite(b)) {
      // Nowhere in particular: a candidate for every question, which the
      // caller's exact test then answers.
      everywhere_.push_back(i);
      continue;
    }
    min_x = std::min(min_x, b.min_x);
    min_y = std::min(min_y, b.min_y);
    max_x = std::max(max_x, b.max_x);
    max_y = std::max(max_y, b.max_y);
    sizes += std::max(b.max_x - b.min_x, b.max_y - b.min_y);
    ++finite;
  }
  if (finite == 0) return;
  origin_x_ = min_x;
  origin_y_ = min_y;
  const double extent = std::max({max_x - min_x, max_y - min_y, 1e-300});
  // Cells about as big as a box, but never many more cells than boxes; one
  // cell for boxes spread wider than a double can measure.
  cell_ = std::max(sizes / static_cast<double>(finite), extent * 1e-6);
  columns_ = rows_ = 1;
  const double most = 4.0 * static_cast<double>(finite) + 16;
  while (std::isfinite(extent) && std::isfinite(cell_)) {
    const double columns = std::floor((max_x - min_x) / cell_) + 1;
    const double rows = std::floor((max_y - min_y) / cell_) + 1;
    if (columns * rows <= most) {
      columns_ = static_cast<size_t>(columns);
      rows_ = static_cast<size_t>(rows);
      break;
    }
    cell_ *= 2;
  }
  if (columns_ * rows_ == 1) cell_ = std::numeric_limits<double>::infinity();
  cells_.resize(columns_ * rows_);
  for (size_t i = 0; i < boxes_.size(); ++i) {
    const Box& b = boxes_[i];
    if (!IsFinite(b)) continue;
    const size_t x0 = CellOf(b.min_x, origin_x_, columns_),
                 x1 = CellOf(b.max_x, origin_x_, columns_);
    const size_t y0 = CellOf(b.min_y, origin_y_, rows_), y1 = CellOf(b.max_y, origin_y_, rows_);
    for (size_t y = y0; y <= y1; ++y)
      for (size_t x = x0; x <= x1; ++x) cells_[y * columns_ + x].push_back(i);
  }
}

size_t BoxGrid::CellOf(double v, double origin, size_t count) const {
  const double cell = std::floor((v - origin) / cell_);
  if (!(cell > 0)) return 0;
  return std::min(count - 1, static_cast<size_t>(std::min(cell, 1e18)));
}

std::vector<size_t> BoxGrid::Candidates(const Box& box) const {
  std::vector<size_t> out;
  if (std::isnan(box.min_x) || std::isnan(box.min_y) || std::isnan(box.max_x) ||
      std::isnan(box.max_y))
    return out;
  out = everywhere_;
  if (!cells_.empty()) {
    const size_t x0 = CellOf(box.min_x, origin_x_, columns_),
                 x1 = CellOf(box.max_x, origin_x_, columns_);
    const size_t y0 = CellOf(box.min_y, origin_y_, rows_), y1 = CellOf(box.max_y, origin_y_, rows_);
    for (size_t y = y0; y <= y1; ++y) {
      for (size_t x = x0; x <= x1; ++x) {
        for (size_t i : cells_[y * columns_ + x]) {
          const Box& b = boxes_[i];
          if (b.max_x < box.min_x || b.min_x > box.max_x || b.max_y < box.min_y ||
              b.min_y > box.max_y)
            continue;
          out.push_back(i);
        }
      }
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

BoxGrid::Box BoxOf(const Point2& a, const Point2& b) {
  return {std::min(a[0], b[0]), std::min(a[1], b[1]), std::max(a[0], b[0]), std::max(a[1], b[1])};
}

BoxGrid::Box BoxOf(const PlanSegment& s) {
  BoxGrid::Box box = BoxOf(s.start, s.end);
  if (!s.IsArc()) return box;
  // An arc of at most half a turn stays within its chord's box widened by
  // its sagitta; a longer one within its circle's box.
  // Widened a little more, for the rounding of the cosine.
  double grow = s.radius * (1 - std::cos(s.sweep / 2)) * (1 + 1e-9) + kSlack * s.chord;
  if (s.sweep > kPi) grow = 2 * s.radius;
  return {box.min_x - grow, box.min_y - grow, box.max_x + grow, box.max_y + grow};
}

bool PiecesMeet(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
  for (const Point2* p : {&a, &b, &c, &d}) {
    if (!std::isfinite((*p)[0]) || !std::isfinite((*p)[1])) return false;
  }
  const double o1 = Cross(Minus(b, a), Minus(c, a)), o2 = Cross(Minus(b, a), Minus(d, a));
  const double o3 = Cross(Minus(d, c), Minus(a, c)), o4 = Cross(Minus(d, c), Minus(b, c));
  if (((o1 > 0 && o2 > 0) || (o1 < 0 && o2 < 0)) || ((o3 > 0 && o4 > 0) || (o3 < 0 && o4 < 0)))
    return false;
  if (o1 != 0 || o2 != 0 || o3 != 0 || o4 != 0) return true;
  // On one line: they meet when their extents overlap.
  const BoxGrid::Box p = BoxOf(a, b), q = BoxOf(c, d);
  return !(p.max_x < q.min_x || q.max_x < p.min_x || p.max_y < q.min_y || q.max_y < p.min_y);
}

// ------------------------------------------------------------------ PolylineIndex

namespace {
std::vector<BoxGrid::Box> BoxesOf(const std::vector<PlanSegment>& segments) {
  std::vector<BoxGrid::Box> boxes;
  boxes.reserve(segments.size());
  for (const PlanSegment& s : segments) boxes.push_back(BoxOf(s));
  return boxes;
}
}  // namespace

PolylineIndex::PolylineIndex(const PlanPolyline& line)
    : segments_(SegmentsOf(line)), closed_(line.closed), grid_(BoxesOf(segments_)) {}

double PolylineIndex::Length() const {
  return segments_.empty() ? 0.0 : segments_.back().from + segments_.back().length;
}

std::optional<NearestPlace> PolylineIndex::Nearest(const Point2& p) const {
  if (segments_.empty()) return std::nullopt;
  size_t best = 0;
  double best_within = 0, best_distance = std::numeric_limits<double>::infinity();
  for (size_t k = 0; k < segments_.size(); ++k) {
    const double within = NearestWithin(segments_[k], p);
    const double distance = Distance(p, segments_[k].PointAt(within));
    // Only a clearly nearer place replaces one found earlier, so that of
    // places equally near up to rounding the first along the line wins.
    if (distance < best_distance * (1 - kSlack)) {
      best = k;
      best_within = within;
      best_distance = distance;
    }
  }
  // A place on a vertex belongs to the segment arriving at it, as in
  // point-along; zero-length segments are passed over for the same reason.
  while (best > 0 && best_within == 0) best_within = segments_[--best].length;

  const PlanSegment& s = segments_[best];
  NearestPlace place;
  place.chainage = s.from + best_within;
  place.point = s.PointAt(best_within, &place.bearing);
  place.distance = best_distance;
  const Point2 to_p = Minus(p, place.point);
  // Segments of no length have no direction: the ends' directions, and the
  // one leaving a vertex, come from the nearest segments that have one.
  auto real_after = [&](size_t k) -> const PlanSegment* {
    for (size_t step = 1; step <= segments_.size(); ++step) {
      const size_t i = k + step;
      if (i >= segments_.size() && !closed_) return nullptr;
      const PlanSegment& next = segments_[i % segments_.size()];
      if (next.length > 0) return &next;
    }
    return nullptr;
  };
  const double length = Length();
  if (!closed_ && length > 0 && (place.chainage == 0 || place.chainage == length)) {
    const bool at_start = place.chainage == 0;
    const PlanSegment* end = &s;
    if (at_start && s.length == 0) end = real_after(best);
    if (!at_start) {
      for (size_t k = segments_.size(); k-- > 0;) {
        if (segments_[k].length > 0) {
          end = &segments_[k];
          break;
        }
      }
    }
    const Point2 t = Direction(at_start ? StartTangent(*end) : EndTangent(*end));
    const double ahead = Dot(t, to_p);
    if ((at_start && ahead < 0) || (!at_start && ahead > 0)) {
      place.beyond = at_start ? -1 : 1;
      place.beyond_by = std::fabs(ahead);
      place.offset = Cross(t, to_p);
      return place;
    }
  }
  // Left or right: against the direction of travel, or at a vertex against
  // the mean of the directions arriving and leaving.
  Point2 t = Direction(place.bearing);
  // The nearest segment with a length at or before k, going round a closed
  // line.
  auto real_at_or_before = [&](size_t k) -> const PlanSegment* {
    for (size_t step = 0; step < segments_.size(); ++step) {
      if (step > k && !closed_) return nullptr;
      const PlanSegment& seg =
          segments_[(k + segments_.size() - step % segments_.size()) % segments_.size()];
      if (seg.length > 0) return &seg;
    }
    return nullptr;
  };
  const PlanSegment* arriving = nullptr;
  const PlanSegment* leaving = nullptr;
  if (best_within == s.length) {
    arriving = real_at_or_before(best);
    leaving = real_after(best);
  } else if (closed_ && place.chainage == 0) {
    // Vertex 0 of a closed line: the closing segments arrive there.
    arriving = real_at_or_before(segments_.size() - 1);
    leaving = &s;
  }
  if (arriving != nullptr && leaving != nullptr) {
    const Point2 out = Direction(StartTangent(*leaving)), in = Direction(EndTangent(*arriving));
    const Point2 mean{in[0] + out[0], in[1] + out[1]};
    if (Dot(mean, mean) > kSlack) t = mean;
  }
  place.offset = Cross(t, to_p) >= 0 ? best_distance : -best_distance;
  return place;
}

std::vector<Crossing> PolylineIndex::Crossings(const Point2& a, const Point2& b) const {
  std::vector<Crossing> found;
  for (size_t k : grid_.Candidates(BoxOf(a, b))) {
    const PlanSegment& s = segments_[k];
    if (s.chord == 0) continue;
    if (s.IsArc()) {
      AddArcCrossings(s, a, b, found);
    } else {
      AddStraightCrossings(s, a, b, found);
    }
  }
  std::sort(found.begin(), found.end(),
            [](const Crossing& x, const Crossing& y) { return x.chainage < y.chainage; });
  // A shared vertex is reached through both of its segments: keep it once.
  const double length = Length();
  const double same = 1e-9 * std::max(1.0, length);
  std::vector<Crossing> out;
  for (const Crossing& c : found) {
    if (!out.empty() && c.chainage - out.back().chainage <= same) continue;
    out.push_back(c);
  }
  if (closed_ && out.size() > 1 && length - out.back().chainage <= same &&
      out.front().chainage <= same)
    out.pop_back();
  return out;
}

std::vector<Crossing> CrossingsOfPath(const PolylineIndex& line, const std::vector<Point2>& path) {
  std::vector<Crossing> all;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    if (path[i] == path[i + 1]) continue;
    for (const Crossing& c : line.Crossings(path[i], path[i + 1])) all.push_back(c);
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const auto& a, const auto& b) { return a.chainage < b.chainage; });
  const double same = 1e-9 * std::max(1.0, line.Length());
  std::vector<Crossing> out;
  for (const Crossing& c : all) {
    if (out.empty() || c.chainage - out.back().chainage > same ||
        std::hypot(c.point[0] - out.back().point[0], c.point[1] - out.back().point[1]) > same) {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace palvane::geometry
