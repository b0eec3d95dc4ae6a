#pragma once

// The point and bearing at a distance along a polyline, the operation behind
// LWPolyPntAlong.

#include <optional>

#include "host/host.h"

namespace palvane::along {

struct PointAlongResult {
  host::Point3 point;  // Z is 0
  double bearing;      // direction of travel, radians from 0 up to 2 pi
};

// The point at distance `length` along `polyline`, measured from its first
// vertex along its segments in vertex order (the closing segment too, when the
// polyline is closed), and the direction of travel there.
//
// Segments are walked by reading each vertex afresh from the host. The point
// lies on the segment whose running total first reaches `length`: a vertex
// shared by two segments belongs to the one arriving at it. On a straight
// segment the point and bearing come from the host's AngleFromXAxis and
// PolarPoint; on an arc segment the point lies on the arc at arc length d
// from the segment's start and the bearing is the arc's tangent there. A
// negative `length` gives a point behind the first vertex, on the first
// segment's line (or its start tangent, for an arc).
//
// Returns nothing, without using the drawing at all, when no segment reaches
// `length`: an empty or one-vertex polyline, or a length beyond the end. The
// drawing is needed only once a point is found, so an empty `doc` fails only
// then. Host errors propagate.
std::optional<PointAlongResult> PointAlong(const host::Ref<host::Document>& doc,
                                           host::LWPolyline& polyline, double length);

}  // namespace palvane::along
