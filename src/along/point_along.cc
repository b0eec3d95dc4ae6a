#include "along/point_along.h"

#include <cmath>
#include <numbers>

#include "geometry/stable_math.h"
#include "geometry/vec.h"

namespace palvane::along {

using geometry::Atan;
namespace {

double NormalizeAngle(double angle) {
  constexpr double kTurn = 2 * std::numbers::pi;
  angle = std::fmod(angle, kTurn);
  if (angle < 0) angle += kTurn;
  if (angle >= kTurn) angle = 0;
  return angle;
}

}  // namespace

std::optional<PointAlongResult> PointAlong(const host::Ref<host::Document>& doc,
                                           host::LWPolyline& polyline, double length) {
  const int64_t values = static_cast<int64_t>(polyline.Coordinates().size());
  const int64_t last = values / 2 - 1;  // index of the last vertex; -1 when empty

  double total = 0;
  for (int64_t i = 0; i <= last; ++i) {
    int64_t end_index = i + 1;
    if (i == last) {
      if (!polyline.Closed()) return std::nullopt;
      end_index = 0;
    }
    const host::Point2 s = polyline.Coordinate(static_cast<int32_t>(i));
    const host::Point2 e = polyline.Coordinate(static_cast<int32_t>(end_index));
    const double chord = std::sqrt((s[0] - e[0]) * (s[0] - e[0]) + (s[1] - e[1]) * (s[1] - e[1]));

    double bulge = polyline.GetBulge(static_cast<int32_t>(i));
    double theta = 0, radius = 0, segment = chord;
    if (bulge != 0.0) {
      bulge = polyline.GetBulge(static_cast<int32_t>(i));
      theta = 4 * Atan(std::fabs(bulge));
      radius = geometry::ArcRadius(chord, bulge);
      segment = chord == 0 ? 0 : theta * radius;
    }
    total += segment;
    if (!(total >= length)) continue;

    // The point lies on this segment, at distance d from its start.
    const host::Point3 start{s[0], s[1], 0};
    const host::Point3 end{e[0], e[1], 0};
    const double over = total - length;
    const double d = segment - over;
    const double chord_angle = doc->Utility()->AngleFromXAxis(start, end);
    if (bulge == 0.0) {
      const host::Point3 p = doc->Utility()->PolarPoint(start, chord_angle, d);
      return PointAlongResult{p, chord_angle};
    }
    // An arc: a positive bulge turns left. The start tangent lies half the
    // included angle to the right of the chord (to the left for a negative
    // bulge); after sweeping phi the point lies along the chord of that
    // partial arc, and the tangent has turned by phi.
    const double turn = bulge > 0 ? 1.0 : -1.0;
    const double start_tangent = chord_angle - turn * theta / 2;
    if (d <= 0 || radius == 0) {
      const host::Point3 p = doc->Utility()->PolarPoint(start, start_tangent, d);
      return PointAlongResult{p, NormalizeAngle(start_tangent)};
    }
    const double phi = d / radius;
    const double direction = start_tangent + turn * phi / 2;
    const double distance = 2 * radius * std::sin(phi / 2);
    const host::Point3 p = doc->Utility()->PolarPoint(start, direction, distance);
    return PointAlongResult{p, NormalizeAngle(start_tangent + turn * phi)};
  }
  return std::nullopt;
}

}  // namespace palvane::along
