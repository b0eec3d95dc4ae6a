#pragma once

// The measures the survey check judges by: pure functions of numbers.

#include <vector>

#include "geometry/polyline.h"

namespace palvane::check {

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

// Which of `values` to keep so that the kept ones rise strictly and are as
// many as can be; of such choices, the one keeping the most `trusted`
// values.
std::vector<bool> LongestRising(const std::vector<double>& values,
                                const std::vector<bool>& trusted);

// Whether the pieces a0-a1 and b0-b1 lie on one line and share more than a
// point.
bool Overlap(const Point2& a0, const Point2& a1, const Point2& b0, const Point2& b1);

}  // namespace palvane::check
