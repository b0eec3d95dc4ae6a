#pragma once

// A survey drawing's problems, found before it goes into a river model: the
// reach and section records read as the exports read them, and the section
// lines measured against their reach's centre line. Reads the drawing only.

#include <optional>
#include <string>
#include <vector>

#include "geometry/polyline.h"
#include "host/host.h"
#include "model/fix.h"
#include "model/problem_codes.h"
#include "sections/survey.h"

namespace palvane::check {

enum class Severity { kNote, kWarning, kError };
const char* SeverityName(Severity severity);  // "note", "warning", "error"

struct Finding {
  Severity severity = Severity::kError;
  std::string code;                  // fixed, one per kind of problem
  std::string reach;                 // the reach number it concerns, if any
  std::string section;               // the section number; empty for a reach or the drawing
  std::vector<std::string> handles;  // the entities concerned
  std::string text;
};

struct CheckOptions {
  double chainage_tolerance = 0.5;  // drawing units
  double bearing_tolerance = 1.0;   // degrees
  // The survey as the sections command reads it: how far from its line a
  // section's point may lie, a shared layer of survey points, the layers of
  // bank lines that should cross each section (none checked when empty),
  // and the way the river flows.
  double survey_within = 0.5;
  std::string points_layer;
  // The drawing's unit in metres, for the survey's own small distances.
  double metres_per_unit = 1;
  std::vector<std::string> bank_lines_layers;
  sections::Flow flow = sections::Flow::kAuto;
};

// What a picture of the check needs, in world plan coordinates.
struct CheckedReach {
  std::string number, handle;
  bool current = false;
  geometry::PlanPolyline line;
  // Whether its tags' chainages run from the last vertex of its centre line
  // (true) or its first, when its sections tell.
  std::optional<bool> chainage_from_end;
};
struct CheckedSection {
  std::string number, handle;
  geometry::Point2 first{}, last{};  // the section line, as the keyplan draws it
};

// What fixing a finding writes, as tagging writes it.
using Fix = model::Fix;

struct CheckResult {
  std::vector<Finding> findings;  // errors and warnings
  // What the check inferred (the chainage direction and bearing convention
  // of each reach), apart from the findings: they are no problem.
  std::vector<Finding> notes;
  std::vector<CheckedReach> reaches;
  std::vector<CheckedSection> sections;
  std::vector<Fix> fixes;
  size_t errors() const;
};

// The fixed codes of the findings, for callers that act on one kind.
namespace code = model::code;

// Checks the drawing. Host failures become findings of their own (code
// "host-error") and the check goes on with what it can still read.
CheckResult CheckSurvey(const host::Ref<host::Document>& drawing, const CheckOptions& options);

}  // namespace palvane::check
