#pragma once

// The inverse of point-along: where points lie against a polyline, as the
// distance along it of their nearest places, measured as point-along
// measures it.

#include <optional>
#include <vector>

#include "geometry/polyline.h"
#include "host/host.h"

namespace palvane::along {

// The polyline's vertices, bulges and closed flag in its own coordinates, as
// point-along walks them. Host errors propagate.
geometry::PlanPolyline ReadPlan(host::LWPolyline& polyline);

// For each point, its nearest place on `polyline`: point-along at the
// place's chainage gives back the place's point. Nothing for any point when
// the polyline has no segment.
std::vector<std::optional<geometry::NearestPlace>> Stations(
    host::LWPolyline& polyline, const std::vector<geometry::Point2>& points);

}  // namespace palvane::along
