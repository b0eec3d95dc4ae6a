// The check's judging: each section line measured against its reach's
// centre line, chainages, bearings and crossings compared, and the survey
// as the sections command reads it.

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "along/station.h"
#include "check/checker.h"
#include "geometry/densify.h"
#include "host/convert.h"
#include "host/message_sink.h"
#include "host/wildcard.h"
#include "model/layer_names.h"
#include "model/lookup.h"
#include "model/measures.h"
#include "model/reach.h"
#include "model/river.h"
#include "model/section.h"
#include "model/tags.h"
#include "sections/formats.h"
#include "sections/survey.h"

namespace palvane::check {

void Checker::CheckSurveyPoints() {
  const bool shared = !options_.points_layer.empty();
  const bool banks = !options_.bank_lines_layers.empty();
  try {
    const std::string any_survey =
        "*" + std::string(model::kSurveyLpsoLayer) + ",*" + std::string(model::kSurveyLinvLayer);
    model::DeleteSetAfter cleanup(drawing_, kSetName);
    if (!shared && !banks &&
        model::SelectAll(drawing_, kSetName, {8}, {Variant(any_survey)}).empty()) {
      return;
    }
  } catch (const host::Error& e) {
    return HostFailure(e, "", "looking for the survey");
  }
  sections::SurveyOptions read;
  read.within = options_.survey_within;
  read.metres_per_unit = options_.metres_per_unit;
  read.points_layer = options_.points_layer;
  read.bank_lines_layers = options_.bank_lines_layers;
  read.flow = options_.flow;
  sections::Survey survey;
  try {
    survey = sections::ReadSurvey(drawing_, river_, read);
  } catch (const host::Error& e) {
    return HostFailure(e, "", "reading the survey");
  }
  if (banks && survey.bank_lines == 0) {
    Add(Severity::kWarning, code::kBankLineMiss, "", "", {},
        "no polyline on " + BankLayers() + " to give the sections their banks");
    return;
  }
  if (survey.shared_ambiguous > 0) {
    Add(Severity::kWarning, code::kSurveyOffLine, "", "", {},
        std::to_string(survey.shared_ambiguous) + " of the points on " + options_.points_layer +
            " lie equally near two section lines and join neither");
  }
  for (const sections::SurveyReach& reach : survey.reaches) {
    CheckFlow(reach);
    for (const sections::CrossSection& x : reach.sections) CheckSectionSurvey(x);
  }
}

std::string Checker::BankLayers() const {
  std::string out;
  for (const std::string& layer : options_.bank_lines_layers) {
    out += (out.empty() ? "" : ", ") + layer;
  }
  return (options_.bank_lines_layers.size() == 1 ? "layer " : "layers ") + out;
}

void Checker::CheckFlow(const sections::SurveyReach& reach) {
  const sections::BedFall& bed = reach.bed;
  if (!bed.clear()) return;
  const bool falls_forward = bed.fall > 0;
  if (falls_forward == reach.flows_forward) return;
  Add(Severity::kWarning, code::kFlowUphill, reach.number, "", {reach.handle},
      std::string("its bed rises by ") + Num(std::fabs(bed.fall)) +
          " the way the exports take it to flow (" + sections::FlowName(reach.flow) +
          "); give --flow the other way, or check its chainages");
}

void Checker::CheckSectionSurvey(const sections::CrossSection& x) {
  const std::vector<std::string> handles{x.handle};
  if (x.points.empty()) {
    Add(Severity::kWarning, code::kNoSurvey, x.reach, x.number, handles,
        x.off_line.empty()
            ? "no survey points lie on its survey layers (" +
                  model::SectionLayer(x.number, model::kSurveyLpsoLayer) + ", " +
                  model::SectionLayer(x.number, model::kSurveyLinvLayer) + ")" +
                  (options_.points_layer.empty() ? "" : " or near it on " + options_.points_layer)
            : "no survey point lies within " + Num(options_.survey_within) + " of its line");
  } else if (x.points.size() < 2) {
    Add(Severity::kWarning, code::kTooFewPoints, x.reach, x.number, handles,
        "it has 1 survey point; a cross-section needs at least 2, and models leave it out");
  }
  if (!x.off_line.empty()) {
    double farthest = 0;
    for (const auto& p : x.off_line) farthest = std::max(farthest, p.offset);
    Add(Severity::kWarning, code::kSurveyOffLine, x.reach, x.number, handles,
        Count(x.off_line.size(), "survey point lies", "survey points lie") +
            " off its line by up to " + Num(farthest) + ", beyond " + Num(options_.survey_within) +
            ": models leave them out");
  }
  if (x.conflicting > 0) {
    Add(Severity::kWarning, code::kStationConflict, x.reach, x.number, handles,
        std::to_string(x.conflicting) +
            " survey points stand at the station of another at a different elevation");
  }
  if (x.points.size() > sections::kHecRasMostPoints) {
    Add(Severity::kWarning, code::kTooManyPoints, x.reach, x.number, handles,
        "it has " + std::to_string(x.points.size()) + " survey points; HEC-RAS takes at most " +
            std::to_string(sections::kHecRasMostPoints));
  }
  if (!options_.bank_lines_layers.empty() && (!x.left_bank_crossed || !x.right_bank_crossed)) {
    Add(Severity::kWarning, code::kBankLineMiss, x.reach, x.number, handles,
        !x.left_bank_crossed && !x.right_bank_crossed
            ? "no bank line on " + BankLayers() + " crosses it"
            : "a bank line on " + BankLayers() + " crosses it on its " +
                  (x.left_bank_crossed ? "left" : "right") + " side only");
  }
}

void Checker::CheckGeometry(size_t r) {
  Reach& reach = reaches_[r];
  std::vector<Section>& sections = sections_[r];
  if (sections.empty()) return;
  const std::optional<geometry::PlanPolyline>& plan = reach.plan;
  if (!plan) {
    Add(Severity::kWarning, code::kNotInPlan, reach.number, "", {reach.handle},
        "the centre line of reach " + reach.number +
            " does not lie flat in plan: its sections are not measured");
    return;
  }
  const geometry::PolylineIndex centre(*plan);
  const double length = centre.Length();
  const std::string& rn = reach.number;

  for (Section& s : sections) {
    // Beyond by more than the tolerance is an error; by less, as a
    // chainage rounded up at the end of the reach, a warning.
    const double beyond = std::max(s.chainage - length, -s.chainage);
    if (beyond > 0) {
      Add(beyond > options_.chainage_tolerance ? Severity::kError : Severity::kWarning,
          code::kChainageBeyondReach, rn, s.number, {s.handle},
          s.chainage < 0
              ? "its chainage " + Num(s.chainage) + " is negative"
              : "its chainage " + Num(s.chainage) + " lies beyond the length " + Num(length) +
                    " of reach " + rn + ": its chainage from the other end would be negative");
    }
    if (!s.has_line) continue;
    const auto crossings = geometry::CrossingsOfPath(centre, s.path);
    if (crossings.empty()) {
      Add(Severity::kError, code::kNoCrossing, rn, s.number, {s.handle, reach.handle},
          "its section line does not cross the centre line of reach " + rn);
    } else if (crossings.size() > 1) {
      std::string at;
      for (size_t i = 0; i < crossings.size(); ++i)
        at += (i ? ", " : "") + Num(crossings[i].chainage);
      Add(Severity::kError, code::kSeveralCrossings, rn, s.number, {s.handle, reach.handle},
          "its section line crosses the centre line of reach " + rn + " " +
              std::to_string(crossings.size()) + " times, at chainages " + at);
    } else {
      s.measured = crossings.front().chainage;
    }
  }
  CheckChainages(reach, sections, length);
  CheckBearings(reach, sections);
  CheckCrossingSections(reach, sections);
}

void Checker::CheckChainages(const Reach& reach, const std::vector<Section>& sections,
                             double length) {
  const double tolerance = options_.chainage_tolerance;
  std::vector<std::pair<double, double>> pairs;
  for (const Section& s : sections) {
    if (s.measured) pairs.emplace_back(s.chainage, *s.measured);
  }
  const model::ChainageEnd end = model::ChainageEndOf(pairs, length, tolerance);
  const size_t measured = end.measured, agree = end.agree();
  if (measured == 0) return;
  const bool from_end = end.from_end();
  const std::string& rn = reach.number;
  if (!end.known()) {
    Add(Severity::kError, code::kChainageDirectionUnknown, rn, "", {reach.handle},
        "the chainages of reach " + rn + " fit neither end of its centre line (at best " +
            std::to_string(agree) + " of " + std::to_string(measured) +
            " sections): chainages are not compared with the crossings");
    return;
  }
  for (CheckedReach& checked : result_.reaches) {
    if (checked.handle == reach.handle) checked.chainage_from_end = from_end;
  }
  Add(Severity::kNote, code::kChainageDirection, rn, "", {reach.handle},
      "chainages of reach " + rn + " run from the " + (from_end ? "last" : "first") +
          " vertex of its centre line (" + std::to_string(agree) + " of " +
          std::to_string(measured) + " sections agree)");
  std::vector<const Section*> along;
  for (const Section& s : sections) {
    if (!s.measured) continue;
    along.push_back(&s);
    const double expected = from_end ? length - *s.measured : *s.measured;
    if (std::fabs(s.chainage - expected) > tolerance) {
      result_.fixes.push_back({code::kChainageMismatch, s.number, s.handle, s.chainage, expected});
      Add(Severity::kError, code::kChainageMismatch, rn, s.number, {s.handle},
          "its tag gives chainage " + Num(s.chainage) +
              " but its line crosses the centre line "
              "at chainage " +
              Num(expected) + " (" + Num(s.chainage - expected) + " apart)");
    }
  }
  // Along the reach the chainages must rise (or fall, when measured from
  // the end); the sections outside a longest such run are out of order.
  std::stable_sort(along.begin(), along.end(),
                   [](const Section* a, const Section* b) { return *a->measured < *b->measured; });
  std::vector<double> values;
  std::vector<bool> matching;
  for (const Section* s : along) {
    values.push_back(from_end ? -s->chainage : s->chainage);
    const double expected = from_end ? length - *s->measured : *s->measured;
    matching.push_back(std::fabs(s->chainage - expected) <= tolerance);
  }
  const std::vector<bool> in = LongestRising(values, matching);
  for (size_t i = 0; i < along.size(); ++i) {
    if (in[i]) continue;
    const Section& s = *along[i];
    std::string beside;
    if (i > 0) beside += "section " + along[i - 1]->number;
    if (i + 1 < along.size())
      beside += (beside.empty() ? "" : " and ") + std::string("section ") + along[i + 1]->number;
    Add(Severity::kError, code::kChainageOrder, rn, s.number, {s.handle},
        "its chainage " + Num(s.chainage) + " is out of order with " + beside +
            " beside it along reach " + rn);
  }
}

void Checker::CheckBearings(const Reach& reach, const std::vector<Section>& sections) {
  std::vector<std::pair<const Section*, double>> lines;
  for (const Section& s : sections) {
    if (s.has_line)
      lines.push_back({&s, std::atan2(s.last[1] - s.first[1], s.last[0] - s.first[0])});
  }
  if (lines.empty()) return;
  const double tolerance = options_.bearing_tolerance;
  size_t best = 0, best_count = 0;
  for (size_t c = 0; c < std::size(kConventions); ++c) {
    size_t count = 0;
    for (const auto& [s, angle] : lines)
      if (BearingError(kConventions[c], angle, s->bearing) <= tolerance) ++count;
    if (count > best_count) {
      best = c;
      best_count = count;
    }
  }
  const std::string& rn = reach.number;
  if (best_count * 2 < lines.size()) {
    Add(Severity::kWarning, code::kBearingConventionUnknown, rn, "", {reach.handle},
        "no way of writing bearings fits half of the " + std::to_string(lines.size()) +
            " sections of reach " + rn + " (the best fits " + std::to_string(best_count) +
            "): bearings are not checked");
    return;
  }
  const Convention& c = kConventions[best];
  const char* direction =
      c.reversed ? "from its last vertex to its first" : "from its first vertex to its last";
  Add(Severity::kNote, code::kBearingConvention, rn, "", {reach.handle},
      "bearings of reach " + rn + " are " + c.text + " of each section line " + direction + " (" +
          std::to_string(best_count) + " of " + std::to_string(lines.size()) + " sections agree)");
  for (const auto& [s, angle] : lines) {
    const double error = BearingError(c, angle, s->bearing);
    if (error <= tolerance) continue;
    result_.fixes.push_back(
        {code::kBearingMismatch, s->number, s->handle, s->bearing, BearingOf(c, angle)});
    Add(Severity::kWarning, code::kBearingMismatch, rn, s->number, {s->handle},
        "its tag gives bearing " + Num(s->bearing) + ", " + Num(error) +
            " degrees from its section line's direction");
  }
}

void Checker::CheckCrossingSections(const Reach& reach, const std::vector<Section>& sections) {
  std::vector<const Section*> lines;
  std::vector<geometry::BoxGrid::Box> boxes;
  for (const Section& s : sections) {
    if (!s.has_line) continue;
    lines.push_back(&s);
    boxes.push_back(geometry::BoxOf(s.first, s.last));
  }
  const geometry::BoxGrid grid(boxes);
  for (size_t i = 0; i < lines.size(); ++i) {
    for (size_t j : grid.Candidates(boxes[i])) {
      if (j <= i) continue;
      const Section& a = *lines[i];
      const Section& b = *lines[j];
      if (!geometry::PiecesMeet(a.first, a.last, b.first, b.last)) continue;
      // Lines that only share an end (a bank point surveyed once for
      // both) do not cross.
      const bool shared_end =
          a.first == b.first || a.first == b.last || a.last == b.first || a.last == b.last;
      if (shared_end && !Overlap(a.first, a.last, b.first, b.last)) continue;
      Add(Severity::kError, code::kSectionsCross, reach.number, a.number, {a.handle, b.handle},
          "its section line crosses the line of section " + b.number);
    }
  }
}

}  // namespace palvane::check
