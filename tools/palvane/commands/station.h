#pragma once

#include <optional>
#include <string>
#include <vector>

#include "geometry/polyline.h"

namespace palvane::tools {

// A point given as "X,Y": two finite numbers and nothing else; nothing
// when the text is not one.
std::optional<geometry::Point2> ParsePoint(const std::string& text);

// The stations of `points`, one line each ("point X,Y: chainage C, offset
// O, nearest X,Y, bearing B degrees from grid north", and ", beyond the
// start|end by D" past an end), or as a JSON array of objects with "point",
// "chainage", "offset", "nearest", "bearing" (radians counter-clockwise
// from east), "bearing_deg" (degrees clockwise from grid north), "beyond"
// and "beyond_by". REQUIRES: every place is there.
std::string StationsReport(const std::vector<geometry::Point2>& points,
                           const std::vector<std::optional<geometry::NearestPlace>>& places,
                           bool json);

}  // namespace palvane::tools
