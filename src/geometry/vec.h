#pragma once

// Small, dependency-free vector and polyline math shared by the in-memory
// host and the geometry operations. Conventions: angles in radians,
// counter-clockwise from +X; a positive bulge turns left (counter-clockwise)
// from a segment's start vertex to its end vertex, its included angle being
// 4 atan(|bulge|).

#include <array>
#include <cmath>
#include <numbers>

#include "geometry/stable_math.h"

namespace palvane::geometry {

using Vec3 = std::array<double, 3>;

inline Vec3 Add(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline Vec3 Sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline Vec3 Scale(const Vec3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
inline double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double Norm(const Vec3& a) { return std::sqrt(Dot(a, a)); }
// The unit vector of `a`, or the zero vector when `a` has no length.
inline Vec3 Normalized(const Vec3& a) {
  const double n = Norm(a);
  return n > 0 ? Scale(a, 1.0 / n) : Vec3{0, 0, 0};
}

// The axes of an object coordinate system, by the arbitrary-axis rule of the
// drawing exchange format: the X axis is world Y (or world Z, when the normal
// lies close to the world Z axis) crossed with the normal.
struct OcsAxes {
  Vec3 x, y, z;
};
inline OcsAxes ArbitraryAxes(const Vec3& normal) {
  const Vec3 az = Normalized(normal);
  constexpr double kLimit = 1.0 / 64.0;
  const Vec3 world_y{0, 1, 0}, world_z{0, 0, 1};
  const Vec3 ax = (std::fabs(az[0]) < kLimit && std::fabs(az[1]) < kLimit)
                      ? Normalized(Cross(world_y, az))
                      : Normalized(Cross(world_z, az));
  const Vec3 ay = Normalized(Cross(az, ax));
  return {ax, ay, az};
}
inline Vec3 OcsToWorld(const Vec3& p, const OcsAxes& a) {
  return Add(Add(Scale(a.x, p[0]), Scale(a.y, p[1])), Scale(a.z, p[2]));
}
inline Vec3 WorldToOcs(const Vec3& p, const OcsAxes& a) {
  return {Dot(p, a.x), Dot(p, a.y), Dot(p, a.z)};
}
inline Vec3 OcsToWorld(const Vec3& p, const Vec3& normal) {
  return OcsToWorld(p, ArbitraryAxes(normal));
}
inline Vec3 WorldToOcs(const Vec3& p, const Vec3& normal) {
  return WorldToOcs(p, ArbitraryAxes(normal));
}

// The distance in plan between two points; Z is ignored.
inline double PlanDistance(const Vec3& p, const Vec3& q) {
  return PlanLength(q[0] - p[0], q[1] - p[1]);
}

// The angle of the direction from `a` to `b` in plan, from 0 up to 2 pi.
inline double PlanAngle(double ax, double ay, double bx, double by) {
  double angle = std::atan2(by - ay, bx - ax);
  if (angle < 0) angle += 2 * std::numbers::pi;
  if (angle >= 2 * std::numbers::pi) angle = 0;
  return angle;
}

// Radius of the arc of chord length `chord` and bulge `bulge` (not zero):
// chord / (2 sin(theta / 2)) with sin(theta / 2) written in the bulge
// itself, 2b / (1 + b^2), so that a tiny bulge loses no digits to a sine of
// a tiny angle.
inline double ArcRadius(double chord, double bulge) {
  const double b = std::fabs(bulge);
  return chord * (b + 1.0 / b) / 4.0;
}

// Length of a polyline segment of chord length `chord` and bulge `bulge`;
// exactly the chord when the bulge is exactly zero.
// The radius is chord / (2 sin(theta / 2)) with sin(theta / 2) written in the
// bulge itself, 2b / (1 + b^2), so that no library sine enters and a length
// has the same bits on every platform.
inline double SegmentLength(double chord, double bulge) {
  if (bulge == 0.0 || chord == 0.0) return chord;
  const double theta = 4.0 * Atan(std::fabs(bulge));
  return theta * ArcRadius(chord, bulge);
}

// The point at distance `d` (0 <= d <= the segment's length) along one
// polyline segment from (sx, sy) to (ex, ey) with `bulge`, and the direction
// of travel there.
struct SegmentPoint {
  double x, y, bearing;
};
inline SegmentPoint PointOnSegment(double sx, double sy, double ex, double ey, double bulge,
                                   double d) {
  const double chord = std::hypot(ex - sx, ey - sy);
  const double chord_angle = std::atan2(ey - sy, ex - sx);
  if (bulge == 0.0 || chord == 0.0) {
    const double t = chord == 0.0 ? 0.0 : d / chord;
    return {sx + t * (ex - sx), sy + t * (ey - sy), chord_angle};
  }
  const double theta = 4.0 * std::atan(std::fabs(bulge));
  const double radius = chord / (2.0 * std::sin(theta / 2.0));
  const double turn = bulge > 0 ? 1.0 : -1.0;
  const double start_tangent = chord_angle - turn * theta / 2.0;
  const double phi = d / radius;
  const double direction = start_tangent + turn * phi / 2.0;
  const double distance = 2.0 * radius * std::sin(phi / 2.0);
  return {sx + distance * std::cos(direction), sy + distance * std::sin(direction),
          start_tangent + turn * phi};
}

}  // namespace palvane::geometry
