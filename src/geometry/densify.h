#pragma once

// Polylines with arcs as chains of straight pieces, for formats that know no
// arcs: each arc segment becomes chords none of which strays further than a
// tolerance from the arc, its end points exact.

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "geometry/vec.h"

namespace palvane::geometry {

using Point2 = std::array<double, 2>;

// Pieces enough that no chord of an arc of `radius` spanning `sweep`
// radians lies further than `tolerance` (> 0) from it: its sagitta
// r (1 - cos(a / 2)) for a piece of angle a stays within the tolerance.
// Bounded, so that a tolerance far below the arc's size cannot exhaust memory.
inline constexpr size_t kMostArcPieces = 100000;
inline size_t ArcPieces(double radius, double sweep, double tolerance) {
  constexpr double kMostPieces = static_cast<double>(kMostArcPieces);
  if (!(radius > tolerance)) return sweep > std::numbers::pi ? 2 : 1;
  const double half_angle = std::acos(1.0 - tolerance / radius);
  const double pieces = std::ceil(std::fabs(sweep) / (2.0 * half_angle));
  return static_cast<size_t>(std::clamp(pieces, 1.0, kMostPieces));
}

// Appends the points of one polyline segment from `start` to `end` with
// `bulge`: the start, then the points between (none for a straight segment).
// The end is left to the next segment.
inline void AppendSegment(const Point2& start, const Point2& end, double bulge, double tolerance,
                          std::vector<Point2>& out, bool* missed = nullptr) {
  out.push_back(start);
  const double chord = std::hypot(end[0] - start[0], end[1] - start[1]);
  if (bulge == 0.0 || chord == 0.0) return;
  const double sweep = 4.0 * std::atan(std::fabs(bulge));
  const double radius = chord / (2.0 * std::sin(sweep / 2.0));
  const double length = SegmentLength(chord, bulge);
  const size_t n = ArcPieces(radius, sweep, tolerance);
  if (missed != nullptr && n == kMostArcPieces) *missed = true;
  for (size_t k = 1; k < n; ++k) {
    const SegmentPoint p = PointOnSegment(start[0], start[1], end[0], end[1], bulge,
                                          length * static_cast<double>(k) / static_cast<double>(n));
    out.push_back({p.x, p.y});
  }
}

// A polyline's vertices (x, y) and bulges as a chain of points; a closed
// polyline ends where it began.
// `missed`, when given, is set when some arc needed more than
// kMostArcPieces chords.
inline std::vector<Point2> Densify(const std::vector<Point2>& vertices,
                                   const std::vector<double>& bulges, bool closed, double tolerance,
                                   bool* missed = nullptr) {
  std::vector<Point2> out;
  const size_t n = vertices.size();
  if (n == 0) return out;
  const size_t segments = closed ? n : n - 1;
  for (size_t i = 0; i < segments; ++i) {
    const double bulge = i < bulges.size() ? bulges[i] : 0.0;
    AppendSegment(vertices[i], vertices[(i + 1) % n], bulge, tolerance, out, missed);
  }
  out.push_back(closed ? vertices[0] : vertices[n - 1]);
  return out;
}

}  // namespace palvane::geometry
