#include "along/station.h"

#include <cmath>
#include <numbers>

namespace palvane::along {

namespace {

// A polyline in a plane, of either form, in its own coordinates: both give
// their vertices two numbers each and a bulge per vertex.
template <class PlanePolyline>
geometry::PlanPolyline ReadPlanePlan(PlanePolyline& polyline) {
  geometry::PlanPolyline plan;
  const std::vector<double> flat = polyline.Coordinates();
  const size_t count = flat.size() / 2;
  plan.vertices.reserve(count);
  plan.bulges.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    plan.vertices.push_back({flat[2 * i], flat[2 * i + 1]});
    plan.bulges.push_back(polyline.GetBulge(static_cast<int32_t>(i)));
  }
  plan.closed = polyline.Closed();
  return plan;
}

}  // namespace

geometry::PlanPolyline ReadPlan(host::LWPolyline& polyline) { return ReadPlanePlan(polyline); }

geometry::PlanPolyline ReadPlan(host::Polyline3D& polyline) {
  geometry::PlanPolyline plan;
  const std::vector<double> c = polyline.Coordinates();
  for (size_t i = 0; i + 2 < c.size(); i += 3) plan.vertices.push_back({c[i], c[i + 1]});
  plan.bulges.assign(plan.vertices.size(), 0.0);
  plan.closed = polyline.Closed();
  return plan;
}

namespace {

// `plan`, read in the coordinates of a polyline whose plane has `normal`
// and lies at `elevation`, in the world's plan.
std::optional<geometry::PlanPolyline> InWorld(geometry::PlanPolyline plan,
                                              const host::Point3& normal, double elevation,
                                              host::Utility& utility) {
  if (normal[0] == 0 && normal[1] == 0 && normal[2] > 0) return plan;
  const double length = std::hypot(normal[0], normal[1], normal[2]);
  if (!(std::fabs(normal[2]) >= length * (1 - 1e-9))) return std::nullopt;
  for (geometry::Point2& v : plan.vertices) {
    const host::Point3 w = utility.TranslateCoordinates({v[0], v[1], elevation}, host::kObjectCs,
                                                        host::kWorld, false, normal);
    v = {w[0], w[1]};
  }
  // Seen from below, an arc turns the other way.
  if (normal[2] < 0)
    for (double& b : plan.bulges) b = -b;
  return plan;
}

}  // namespace

std::optional<geometry::PlanPolyline> ReadWorldPlan(host::LWPolyline& polyline,
                                                    host::Utility& utility) {
  return InWorld(ReadPlan(polyline), polyline.Normal(), polyline.Elevation(), utility);
}

std::optional<geometry::PlanPolyline> ReadLinePlan(host::Entity& line, host::Utility& utility) {
  if (auto* lw = dynamic_cast<host::LWPolyline*>(&line)) return ReadWorldPlan(*lw, utility);
  if (auto* heavy = dynamic_cast<host::Polyline2D*>(&line)) {
    return InWorld(ReadPlanePlan(*heavy), heavy->Normal(), heavy->Elevation(), utility);
  }
  if (auto* spatial = dynamic_cast<host::Polyline3D*>(&line)) return ReadPlan(*spatial);
  return std::nullopt;
}

double BearingFromNorth(double radians_from_east) {
  double degrees = 90 - radians_from_east * 180 / std::numbers::pi;
  degrees = std::fmod(degrees, 360.0);
  if (degrees < 0) degrees += 360;
  // A rounding just below 0 lands on 360: keep the range half open.
  return degrees >= 360 ? 0 : degrees;
}

std::vector<std::optional<geometry::NearestPlace>> Stations(
    host::LWPolyline& polyline, const std::vector<geometry::Point2>& points) {
  return Stations(ReadPlan(polyline), points);
}

std::vector<std::optional<geometry::NearestPlace>> Stations(
    geometry::PlanPolyline plan, const std::vector<geometry::Point2>& points) {
  const geometry::PolylineIndex index(std::move(plan));
  std::vector<std::optional<geometry::NearestPlace>> out;
  out.reserve(points.size());
  for (const geometry::Point2& p : points) out.push_back(index.Nearest(p));
  return out;
}

}  // namespace palvane::along
