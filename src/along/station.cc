#include "along/station.h"

namespace palvane::along {

geometry::PlanPolyline ReadPlan(host::LWPolyline& polyline) {
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

std::vector<std::optional<geometry::NearestPlace>> Stations(
    host::LWPolyline& polyline, const std::vector<geometry::Point2>& points) {
  const geometry::PolylineIndex index(ReadPlan(polyline));
  std::vector<std::optional<geometry::NearestPlace>> out;
  out.reserve(points.size());
  for (const geometry::Point2& p : points) out.push_back(index.Nearest(p));
  return out;
}

}  // namespace palvane::along
