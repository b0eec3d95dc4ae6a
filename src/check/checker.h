#pragma once

// The survey check's own parts: the checker that reads the river as the
// exports read it (reading.cc) and judges what it read (judging.cc), and
// what they share. Only the check's sources include this.

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "check/survey_check.h"
#include "geometry/polyline.h"
#include "host/message_sink.h"
#include "model/measures.h"
#include "model/river.h"
#include "sections/survey.h"

namespace palvane::check {

using geometry::Point2;
using host::Ref;
using host::Variant;
using model::BearingError;
using model::BearingOf;
using model::Convention;
using model::kConventions;
using model::LongestRising;
using model::Overlap;

// "1 survey point lies", "2 survey points lie".
std::string Count(size_t n, const char* one, const char* many);

// A number as a reader wants it in a finding: at most three decimals, no
// trailing zeros.
std::string Num(double value);

// The name of a section tag's item, for findings.
const char* ItemName(size_t item);

// The first item of a section tag that the record cannot load: one that
// does not convert to its member's type, or the first one missing.
size_t FirstBadItem(const std::vector<Variant>& values);

inline bool IsFinite(const Point2& p) { return std::isfinite(p[0]) && std::isfinite(p[1]); }

// "a and b", or "a, b and c".
std::string ListOf(const std::vector<std::string>& items);

struct Reach {
  std::string number, handle;
  bool current = false;
  Ref<host::LWPolyline> line;
  std::optional<geometry::PlanPolyline> plan;  // nothing when not flat in plan
};

// The name of the selection set the check makes and deletes for each query.
inline constexpr const char* kSetName = "PalvaneCheck";

// How far a profile's arcs may stray from the chords they are measured by.
inline constexpr double kPathTolerance = 1e-4;

struct Section {
  std::string number, handle, reach_no;
  double chainage = 0, bearing = 0;
  bool has_line = false;
  Point2 first{}, last{};
  std::vector<Point2> path;        // the profile in world plan, arcs as short chords
  std::optional<double> measured;  // distance along the reach to the crossing
};

class Checker {
 public:
  Checker(const Ref<host::Document>& drawing, const CheckOptions& options)
      : drawing_(drawing), options_(options) {}
  CheckResult Run();

 private:
  void Add(Severity severity, const char* code, std::string reach, std::string section,
           std::vector<std::string> handles, std::string text);

  void HostFailure(const host::Error& e, const std::string& section, const std::string& what);

  // A polyline's vertices and bulges in world plan, or nothing when it does
  // not lie in a plane parallel to the plan.
  std::optional<geometry::PlanPolyline> WorldPlan(host::LWPolyline& line);

  // The reaches from what was read: a tag that cannot be read is an error
  // (every export stops at it), a centre line not flat in plan a warning.
  void ReadReaches();

  // The reach of a number: the current one when several have it.
  const Reach* ReachNumbered(const std::string& number) const;

  void ReadSections();

  void ReadSection(const model::RiverSection& read,
                   std::map<std::string, std::vector<std::string>>& numbered);

  // Each section's survey as a model takes it (the processed survey), in a
  // drawing that has one at all: a drawing of section lines alone is no
  // fault.
  void CheckSurveyPoints();

  std::string BankLayers() const;

  // A reach whose bed clearly rises the way the exports take it to flow.
  void CheckFlow(const sections::SurveyReach& reach);

  void CheckSectionSurvey(const sections::CrossSection& x);

  void CheckGeometry(size_t r);

  void CheckChainages(const Reach& reach, const std::vector<Section>& sections, double length);

  void CheckBearings(const Reach& reach, const std::vector<Section>& sections);

  void CheckCrossingSections(const Reach& reach, const std::vector<Section>& sections);

  const Ref<host::Document>& drawing_;
  const CheckOptions& options_;
  // The lookups' messages are the check's own findings here; the records
  // read keep this sink.
  host::SilentMessageSink silent_;
  model::River river_;
  CheckResult result_;
  std::vector<Reach> reaches_;
  std::map<size_t, std::vector<Section>> sections_;  // by reach index
  std::map<std::string, size_t> order_;              // of the sections' layers
};

}  // namespace palvane::check
