#pragma once

// What a plan picture shows, in drawing coordinates: lines with their
// roles, and labels that belong to lines. A keyplan drawing or a check's
// result is turned into a Plan; sheets are laid out over it and drawn.

#include <optional>
#include <string>
#include <vector>

#include "geometry/polyline.h"
#include "host/host.h"

namespace palvane::tools::picture {

struct Rgb {
  double r = 0, g = 0, b = 0;
};

inline constexpr Rgb kBlack{0.13, 0.13, 0.13};
inline constexpr Rgb kCentreBlue{0.12, 0.31, 0.84};
inline constexpr Rgb kFindingRed{0.84, 0.15, 0.16};
inline constexpr Rgb kGrey{0.55, 0.55, 0.55};

enum class Role { kCentreLine, kSection, kOther };

struct PlanLine {
  geometry::PlanPolyline line;
  Role role = Role::kOther;
  Rgb colour = kBlack;
  double width = 0;                // in drawing units; 0 for the thinnest pen
  std::optional<double> chainage;  // a section's, as tagged
  bool flagged = false;            // drawn as a finding
};

// A label of one line: drawn beyond the line's first vertex, where the
// keyplan puts it, or moved where it collides with nothing.
struct PlanLabel {
  std::vector<std::string> lines;
  size_t line = 0;  // index into Plan::lines
  Rgb colour = kBlack;
};

struct LegendEntry {
  std::string text;
  Rgb colour = kBlack;
  bool thick = false;
};

struct Plan {
  std::vector<PlanLine> lines;
  std::vector<PlanLabel> labels;
  std::optional<size_t> centre_line;  // index into lines
  // Chainage runs from the centre line's last vertex to its first.
  bool chainage_from_end = false;
  std::vector<LegendEntry> legend;
};

// The plan of a keyplan drawing: its lines, the centre line on
// kCentreLineLayer, and each label (a multi-line text, or the attribute
// values of a block reference) with the section line it was made for.
// Section chainages are read from the line layers' names after `prefix`.
Plan PlanOfKeyplan(host::Document& keyplan, const std::string& line_layer_prefix);

}  // namespace palvane::tools::picture
