#pragma once

// Section lines measured against a reach's centre line, as the check
// measures them: where a line crosses, at what chainage and bearing, or why
// it cannot be a section.

#include <optional>
#include <string>
#include <vector>

#include "geometry/polyline.h"
#include "host/host.h"
#include "model/measures.h"
#include "tagging/tagging.h"

namespace palvane::tagging {

// How far a profile's arcs may stray from the chords they are measured by,
// as the check measures them.
inline constexpr double kPathTolerance = 1e-4;

// A profile measured against the centre line: where it crosses, at what
// chainage, and its bearing; or why it cannot be.
struct Measured {
  Outcome outcome = Outcome::kTagged;
  double chainage = 0, bearing = 0;
  geometry::Point2 at{};
  std::string why;
};

// A section line's plan: a lightweight polyline's in the world, or a heavy
// polyline's (`drawn`) when there is no lightweight one yet.
std::optional<geometry::PlanPolyline> SectionPlan(const host::Ref<host::Document>& drawing,
                                                  const host::Ref<host::LWPolyline>& line,
                                                  const host::Ref<host::Entity>& drawn);

// What a heavy polyline is called in what tagging says of it.
std::string HeavyName(const host::Ref<host::Entity>& drawn);

// `line` (profile `handle`) measured against `centre`, the centre line of
// reach `reach_no`, its chainage from the end `options` says.
Measured Measure(const std::optional<geometry::PlanPolyline>& line, const std::string& handle,
                 const geometry::PolylineIndex& centre, const std::string& reach_no,
                 const SectionTagOptions& options);

// The polylines of a layer, in drawing order.
std::vector<host::Ref<host::Entity>> PolylinesOn(const host::Ref<host::Document>& drawing,
                                                 const std::string& layer);

// Which end of the centre line `centre` the chainages of reach `reach_no`'s
// tagged sections run from, as they agree: each section whose line crosses
// the centre line once is measured there, as the check measures it.
model::ChainageEnd ChainageEndOfReach(const host::Ref<host::Document>& drawing,
                                      const std::string& reach_no,
                                      const geometry::PolylineIndex& centre, double tolerance);

}  // namespace palvane::tagging
