#include "tagging/measure.h"

#include <cmath>
#include <numbers>
#include <utility>

#include "along/station.h"
#include "geometry/densify.h"
#include "host/message_sink.h"
#include "host/wildcard.h"
#include "model/lookup.h"
#include "model/river.h"
#include "tagging/edits.h"

namespace palvane::tagging {
namespace {

// For a line that misses the centre line: where the centre line, drawn on
// past an end in its own direction there, would meet it within the line's
// width (a centre line drawn to end just before the last section is a
// common slip), by how much it stops short, as the end of a sentence; else
// nothing.
std::string ShortOfEnd(const geometry::PolylineIndex& centre,
                       const std::vector<geometry::Point2>& path) {
  if (centre.segments().empty() || centre.closed() || path.size() < 2) return "";
  const geometry::PolylineIndex line(
      geometry::PlanPolyline{path, std::vector<double>(path.size(), 0.0), false});
  const double reach = line.Length();
  // The direction of travel leaving a segment's start, and reaching its end.
  auto leaving = [](const geometry::PlanSegment& s) {
    return s.bulge != 0 && s.chord > 0 ? s.start_tangent
                                       : std::atan2(s.end[1] - s.start[1], s.end[0] - s.start[0]);
  };
  auto reaching = [&](const geometry::PlanSegment& s) {
    return s.bulge != 0 && s.chord > 0 ? s.start_tangent + s.turn * s.sweep : leaving(s);
  };
  const geometry::PlanSegment& first = centre.segments().front();
  const geometry::PlanSegment& last = centre.segments().back();
  const struct {
    geometry::Point2 at;
    double direction;
    const char* name;
  } ends[] = {{first.start, leaving(first) + std::numbers::pi, "first"},
              {last.end, reaching(last), "last"}};
  std::optional<std::pair<double, const char*>> shortest;
  for (const auto& end : ends) {
    const geometry::Point2 beyond{end.at[0] + reach * std::cos(end.direction),
                                  end.at[1] + reach * std::sin(end.direction)};
    for (const geometry::Crossing& c : line.Crossings(end.at, beyond)) {
      const double gap = std::hypot(c.point[0] - end.at[0], c.point[1] - end.at[1]);
      if (!shortest || gap < shortest->first) shortest.emplace(gap, end.name);
    }
  }
  if (!shortest) return "";
  return ": the centre line's " + std::string(shortest->second) + " vertex stops " +
         Num(shortest->first) + " short of it; extend the centre line across it";
}

}  // namespace

std::optional<geometry::PlanPolyline> SectionPlan(const host::Ref<host::Document>& drawing,
                                                  const host::Ref<host::LWPolyline>& line,
                                                  const host::Ref<host::Entity>& drawn) {
  if (line) return along::ReadWorldPlan(*line, *drawing->Utility());
  return along::ReadLinePlan(*drawn, *drawing->Utility());
}

std::string HeavyName(const host::Ref<host::Entity>& drawn) {
  return drawn.Is<host::Polyline3D>() ? "3D polyline" : "2D polyline";
}

Measured Measure(const std::optional<geometry::PlanPolyline>& line, const std::string& handle,
                 const geometry::PolylineIndex& centre, const std::string& reach_no,
                 const SectionTagOptions& options) {
  Measured m;
  if (!line || line->vertices.size() < 2 || line->vertices.front() == line->vertices.back()) {
    m.outcome = Outcome::kNotInPlan;
    m.why = "its profile " + handle + " does not lie flat in plan, or has no length";
    return m;
  }
  const auto path = geometry::Densify(line->vertices, line->bulges, line->closed, kPathTolerance);
  const auto crossings = geometry::CrossingsOfPath(centre, path);
  if (crossings.empty()) {
    m.outcome = Outcome::kNoCrossing;
    m.why = "its profile " + handle + " does not cross the centre line of reach " + reach_no +
            ShortOfEnd(centre, path);
    return m;
  }
  if (crossings.size() > 1) {
    m.outcome = Outcome::kSeveralCrossings;
    m.why = "its profile " + handle + " crosses the centre line of reach " + reach_no + " " +
            std::to_string(crossings.size()) + " times, at chainages";
    for (size_t i = 0; i < crossings.size(); ++i) {
      m.why += (i ? ", " : " ") + Num(crossings[i].chainage);
    }
    return m;
  }
  const geometry::Crossing& crossing = crossings.front();
  m.chainage = options.from_end ? centre.Length() - crossing.chainage : crossing.chainage;
  m.at = crossing.point;
  const geometry::Point2& first = line->vertices.front();
  const geometry::Point2& last = line->vertices.back();
  m.bearing = model::BearingOf(model::kConventions[options.convention],
                               std::atan2(last[1] - first[1], last[0] - first[0]));
  return m;
}

std::vector<host::Ref<host::Entity>> PolylinesOn(const host::Ref<host::Document>& drawing,
                                                 const std::string& layer) {
  const model::DeleteSetAfter delete_after(drawing, kSetName);
  return model::SelectAll(
      drawing, kSetName, {0, 8},
      {host::Variant("LWPOLYLINE,POLYLINE"), host::Variant(host::EscapeWildcards(layer))});
}

model::ChainageEnd ChainageEndOfReach(const host::Ref<host::Document>& drawing,
                                      const std::string& reach_no,
                                      const geometry::PolylineIndex& centre, double tolerance) {
  std::vector<std::pair<double, double>> measured;
  host::SilentMessageSink quiet;  // the lookups' messages are the check's business
  model::RiverOptions options;
  options.selection_set = kSetName;
  model::ForEachSection(drawing, quiet, options, [&](model::RiverSection& section) {
    if (!section.Has(4) || section.record.ReachNo != reach_no || section.profiles.empty()) return;
    const auto line = along::ReadWorldPlan(*section.profiles.front(), *drawing->Utility());
    if (!line || line->vertices.size() < 2) return;
    const auto path = geometry::Densify(line->vertices, line->bulges, line->closed, kPathTolerance);
    const auto crossings = geometry::CrossingsOfPath(centre, path);
    if (crossings.size() == 1)
      measured.emplace_back(section.record.Chainage, crossings[0].chainage);
  });
  return model::ChainageEndOf(measured, centre.Length(), tolerance);
}

}  // namespace palvane::tagging
