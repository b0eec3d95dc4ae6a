#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"

namespace palvane::tools {

struct RiverShape {
  int32_t sections = 20;  // cross-sections along the current reach
  uint64_t seed = 1;      // the same seed gives the same drawing
  int32_t clutter = 0;    // unrelated entities per cross-section
};

// Draws a synthetic surveyed river into `doc`: a current reach whose centre
// line meanders with arcs, a second (tributary) reach, and per cross-section
// a tagged profile polyline across the river, a tagged centre point, and the
// section's SectionLine, 3d and 3d_LPSO layers. The fifth section's profile
// has lost its tag (its centre point keeps it). Survey points, bank lines and
// notes on other layers stand for the rest of a real drawing.
void GenerateRiver(host::Document& doc, const RiverShape& shape);

// The same river in a new drawing from the template, as the bytes of its file.
std::string RiverFile(const RiverShape& shape);

}  // namespace palvane::tools
