#pragma once

#include <functional>
#include <string>

#include "keyplan/options.h"
#include "model/section.h"
#include "trap/error_trap.h"

namespace palvane::keyplan {

// What one section's label shows.
struct LabelValues {
  const model::TEVSection* section;
  double easting = 0, northing = 0;
  std::function<double()> reach_length;  // read afresh for the MIKE 11 chainage
};

// The section label: the enabled fields in fixed order (name, easting and
// northing, bearing, chainage, MIKE 11 chainage, description), "\P" between
// fields whenever the label built so far is not empty. Each test and append
// runs as its own statement under `step`: a flag that cannot be read counts
// as on, a field whose value or precision cannot be read is left out (its
// separator stays).
std::string ComposeLabel(trap::ErrorTrap& step, const KeyplanOptions& options,
                         const LabelValues& values);

}  // namespace palvane::keyplan
