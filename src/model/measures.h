#pragma once

// The measures a survey is judged and tagged by: pure functions of numbers.

#include <cstddef>
#include <utility>
#include <vector>

#include "geometry/polyline.h"

namespace palvane::model {

using geometry::Point2;

// One way of writing a bearing: in degrees or radians, clockwise from grid
// north or counter-clockwise from east, of a section line from its first
// vertex to its last or back.
struct Convention {
  const char* text;
  const char* key;  // its name on the command line
  bool degrees, from_north, reversed;
};
inline constexpr Convention kConventions[] = {
    {"degrees clockwise from grid north", "north-degrees", true, true, false},
    {"degrees clockwise from grid north", "north-degrees-reversed", true, true, true},
    {"degrees counter-clockwise from east", "east-degrees", true, false, false},
    {"degrees counter-clockwise from east", "east-degrees-reversed", true, false, true},
    {"radians counter-clockwise from east", "east-radians", false, false, false},
    {"radians counter-clockwise from east", "east-radians-reversed", false, false, true},
};

// The bearing `c` gives a line of direction `angle` (radians
// counter-clockwise from east): from 0 up to a full turn in its unit.
double BearingOf(const Convention& c, double angle);

// How far a tagged bearing lies from what `c` gives for a line of direction
// `angle` (radians counter-clockwise from east), in degrees.
double BearingError(const Convention& c, double angle, double tagged);

// Which end of a reach's centre line its sections' chainages run from, as
// they agree: each tagged chainage against the distance along the centre
// line, from its first vertex, to where the section's line crosses it.
struct ChainageEnd {
  size_t measured = 0;  // sections whose line crosses once
  size_t forward = 0;   // of them, tagged within the tolerance of the crossing
  size_t backward = 0;  // the same, measured from the last vertex
  bool from_end() const { return backward > forward; }
  size_t agree() const { return from_end() ? backward : forward; }
  // At least half the sections measured agree on one end.
  bool known() const { return measured > 0 && agree() * 2 >= measured; }
};
// `sections` holds (tagged chainage, distance along the centre line to the
// crossing) for each section measured; `length` is the centre line's.
ChainageEnd ChainageEndOf(const std::vector<std::pair<double, double>>& sections, double length,
                          double tolerance);

// Which of `values` to keep so that the kept ones rise strictly and are as
// many as can be; of such choices, the one keeping the most `trusted`
// values.
std::vector<bool> LongestRising(const std::vector<double>& values,
                                const std::vector<bool>& trusted);

// Whether the pieces a0-a1 and b0-b1 lie on one line and share more than a
// point.
bool Overlap(const Point2& a0, const Point2& a1, const Point2& b0, const Point2& b1);

}  // namespace palvane::model
