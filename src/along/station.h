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

// The same in world plan coordinates (X and Y of the world), through
// `utility`: a polyline whose normal points down (a mirrored line) has its
// vertices translated and its arcs turned the other way. Nothing when the
// polyline does not lie in a plane parallel to the plan.
std::optional<geometry::PlanPolyline> ReadWorldPlan(host::LWPolyline& polyline,
                                                    host::Utility& utility);

// A 3D polyline in plan: its vertices' X and Y, straight between.
geometry::PlanPolyline ReadPlan(host::Polyline3D& polyline);

// The world plan of a line of any form a drawing holds one in: a
// lightweight or heavy polyline in a plane parallel to the plan, or a 3D
// polyline. Nothing for an entity of another kind or a polyline in a
// tilted plane.
std::optional<geometry::PlanPolyline> ReadLinePlan(host::Entity& line, host::Utility& utility);

// Bearing of a direction given in radians counter-clockwise from east, as
// degrees clockwise from grid north in [0, 360): how tags and surveyors give
// bearings.
double BearingFromNorth(double radians_from_east);

// For each point, its nearest place on `polyline`: point-along at the
// place's chainage gives back the place's point. Nothing for any point when
// the polyline has no segment.
std::vector<std::optional<geometry::NearestPlace>> Stations(
    host::LWPolyline& polyline, const std::vector<geometry::Point2>& points);
// The same against a plan already read.
std::vector<std::optional<geometry::NearestPlace>> Stations(
    geometry::PlanPolyline plan, const std::vector<geometry::Point2>& points);

}  // namespace palvane::along
