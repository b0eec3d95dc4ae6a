#include "check/survey_check.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "along/station.h"
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

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kNote:
      return "note";
    case Severity::kWarning:
      return "warning";
    case Severity::kError:
      return "error";
  }
  return "error";
}

size_t CheckResult::errors() const {
  return static_cast<size_t>(std::count_if(findings.begin(), findings.end(), [](const Finding& f) {
    return f.severity == Severity::kError;
  }));
}

namespace {

using geometry::Point2;
using host::Ref;
using host::Variant;
using model::BearingError;
using model::BearingOf;
using model::Convention;
using model::kConventions;
using model::LongestRising;
using model::Overlap;

// A number as a reader wants it in a finding: at most three decimals, no
// trailing zeros.
// "1 survey point lies", "2 survey points lie".
std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Num(double value) {
  std::string text = host::FormatFixed(value, 3);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text == "-0" ? "0" : text;
}

const char* ItemName(size_t item) {
  static constexpr const char* kNames[] = {
      "application", "kind",  "section number", "reach number", "chainage",
      "bearing",     "title", "section name",   "water date",   "through-section flag"};
  return item < std::size(kNames) ? kNames[item] : "item";
}

// The first item of a section tag that the record cannot load: one that
// does not convert to its member's type, or the first one missing.
size_t FirstBadItem(const std::vector<Variant>& values) {
  for (size_t item = 2; item < 10; ++item) {
    if (item >= values.size()) return item < 7 ? item : 10;
    try {
      if (item == 4 || item == 5) {
        host::ToDouble(values[item]);
      } else if (item == 8) {
        host::ToDate(values[item]);
      } else if (item == 9) {
        host::ToBoolean(values[item]);
      } else {
        host::ToText(values[item]);
      }
    } catch (const host::Error&) {
      return item;
    }
  }
  return 10;
}

bool IsFinite(const Point2& p) { return std::isfinite(p[0]) && std::isfinite(p[1]); }

// "a and b", or "a, b and c".
std::string ListOf(const std::vector<std::string>& items) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += i + 1 == items.size() ? " and " : ", ";
    out += items[i];
  }
  return out;
}

struct Reach {
  std::string number, handle;
  bool current = false;
  Ref<host::LWPolyline> line;
  std::optional<geometry::PlanPolyline> plan;  // nothing when not flat in plan
};

// The name of the selection set the check makes and deletes for each query.
constexpr const char* kSetName = "PalvaneCheck";

// How far a profile's arcs may stray from the chords they are measured by.
constexpr double kPathTolerance = 1e-4;

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

  CheckResult Run() {
    // Read as the exports read it, through a selection set of the check's
    // own, deleted after each query: the sets the exports and the user keep
    // are left alone. The lookups' messages are findings here.
    model::RiverOptions read = model::RiverOptions::WithCentrePoints();
    read.selection_set = kSetName;
    river_ = model::ReadRiver(drawing_, silent_, read);
    ReadReaches();
    ReadSections();
    for (size_t r = 0; r < reaches_.size(); ++r) CheckGeometry(r);
    CheckSurveyPoints();
    // What concerns the drawing or a reach first, then section by section
    // in the order of their layers.
    auto rank = [&](const Finding& f) -> size_t {
      if (f.section.empty()) return 0;
      const auto at = order_.find(f.section);
      return at == order_.end() ? SIZE_MAX : at->second + 1;
    };
    std::stable_sort(result_.findings.begin(), result_.findings.end(),
                     [&](const Finding& a, const Finding& b) { return rank(a) < rank(b); });
    return std::move(result_);
  }

 private:
  void Add(Severity severity, const char* code, std::string reach, std::string section,
           std::vector<std::string> handles, std::string text) {
    (severity == Severity::kNote ? result_.notes : result_.findings)
        .push_back({severity, code, std::move(reach), std::move(section), std::move(handles),
                    std::move(text)});
  }

  // Each section's survey as a model takes it (the processed survey), in a
  // drawing that has one at all: a drawing of section lines alone is no
  // fault.
  void CheckSurveyPoints() {
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
      survey = sections::ReadSurvey(drawing_, river_, silent_, read);
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

  std::string BankLayers() const {
    std::string out;
    for (const std::string& layer : options_.bank_lines_layers) {
      out += (out.empty() ? "" : ", ") + layer;
    }
    return (options_.bank_lines_layers.size() == 1 ? "layer " : "layers ") + out;
  }

  // A reach whose bed clearly rises the way the exports take it to flow.
  void CheckFlow(const sections::SurveyReach& reach) {
    const sections::BedFall& bed = reach.bed;
    if (!bed.clear()) return;
    const bool falls_forward = bed.fall > 0;
    if (falls_forward == reach.flows_forward) return;
    Add(Severity::kWarning, code::kFlowUphill, reach.number, "", {reach.handle},
        std::string("its bed rises by ") + Num(std::fabs(bed.fall)) +
            " the way the exports take it to flow (" + sections::FlowName(reach.flow) +
            "); give --flow the other way, or check its chainages");
  }

  void CheckSectionSurvey(const sections::CrossSection& x) {
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
              " off its line by up to " + Num(farthest) + ", beyond " +
              Num(options_.survey_within) + ": models leave them out");
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

  void HostFailure(const host::Error& e, const std::string& section, const std::string& what) {
    Add(Severity::kError, code::kHostError, "", section, {},
        what + " failed: error " + std::to_string(e.number()) + ", " + e.description());
  }

  // A polyline's vertices and bulges in world plan, or nothing when it does
  // not lie in a plane parallel to the plan.
  std::optional<geometry::PlanPolyline> WorldPlan(host::LWPolyline& line) {
    return along::ReadWorldPlan(line, *drawing_->Utility());
  }

  // The reaches from what was read: a tag that cannot be read is an error
  // (every export stops at it), a centre line not flat in plan a warning.
  void ReadReaches() {
    for (const model::RiverFailure& failure : river_.failures) {
      if (failure.what != "selecting the polylines") continue;
      HostFailure(failure.error, "", failure.what);
      return;
    }
    size_t tagged = 0;
    for (const model::UnreadReach& unread : river_.unread_reaches) {
      const host::XData& tag = unread.tag;
      if (tag.empty()) {
        HostFailure(unread.error, "", "reading polyline " + unread.handle);
        continue;
      }
      // A tag whose kind cannot be read, or a reach tag cut short: the
      // reach lookup of every export stops at it.
      bool reach_kind = false, kind_readable = tag.values.size() > 1;
      try {
        reach_kind = kind_readable && model::IsTagKind(tag, model::kReachKind);
      } catch (const host::Error&) {
        kind_readable = false;
      }
      if (!reach_kind && kind_readable) continue;
      ++tagged;
      std::string reach_no;
      if (reach_kind && tag.values.size() > 2) {
        try {
          reach_no = host::ToText(tag.values[2]);
        } catch (const host::Error&) {
        }
      }
      Add(Severity::kError, code::kReachTagUnreadable, reach_no, "", {unread.handle},
          std::string(reach_kind ? "the reach tag" : "the \"TEV\" data") + " of polyline " +
              unread.handle + " cannot be read (" + unread.error.description() + ", " +
              std::to_string(tag.values.size()) + " items): every export stops at it");
    }
    for (const model::RiverReach& read : river_.reaches) {
      ++tagged;
      const model::TEVReach& record = read.record;
      Reach reach{record.ReachNo, read.handle, record.Status, record.Profile, std::nullopt};
      try {
        reach.plan = WorldPlan(*record.Profile);
      } catch (const host::Error& e) {
        // The reach stays a reach; only its sections cannot be measured.
        HostFailure(e, "", "reading the centre line of reach " + record.ReachNo);
      }
      reaches_.push_back(std::move(reach));
    }
    if (tagged == 0) {
      Add(Severity::kError, code::kNoReach, "", "", {},
          "the drawing has no reach: no polyline carries a reach tag");
      return;
    }
    std::vector<std::string> current, numbers;
    std::map<std::string, std::vector<std::string>> handles_of;  // reach number -> polylines
    for (const Reach& r : reaches_) {
      result_.reaches.push_back(
          {r.number, r.handle, r.current, r.plan.value_or(geometry::PlanPolyline{}), {}});
      handles_of[r.number].push_back(r.handle);
      if (!r.current) continue;
      current.push_back(r.handle);
      numbers.push_back(r.number);
    }
    if (!reaches_.empty() && current.empty()) {
      Add(Severity::kError, code::kNoCurrentReach, "", "", {},
          "no reach is marked current: the exports make nothing");
    }
    for (const auto& [number, handles] : handles_of) {
      if (handles.size() < 2) continue;
      const Reach* used = ReachNumbered(number);
      Add(Severity::kError, code::kDuplicateReachNumber, number, "", handles,
          "polylines " + ListOf(handles) + " are all reach " + number + ": its sections are " +
              "measured against " + used->handle + (used->current ? ", the current one" : ""));
    }
    if (current.size() > 1) {
      Add(Severity::kError, code::kSeveralCurrentReaches, numbers.front(), "", current,
          std::to_string(current.size()) + " reaches are marked current (" + ListOf(numbers) +
              "): the exports take the first, reach " + numbers.front());
    }
  }

  // The reach of a number: the current one when several have it.
  const Reach* ReachNumbered(const std::string& number) const {
    const Reach* found = nullptr;
    for (const Reach& r : reaches_) {
      if (r.number != number) continue;
      if (r.current) return &r;
      if (found == nullptr) found = &r;
    }
    return found;
  }

  void ReadSections() {
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> layers_of;
    std::map<std::string, const model::RiverSection*> first_of;
    for (const model::RiverSection& section : river_.sections) {
      auto& names = layers_of[section.number];
      if (names.empty()) {
        order_.emplace(section.number, order.size());
        order.push_back(section.number);
        first_of.emplace(section.number, &section);
      }
      names.push_back(section.layer);
    }
    for (const model::RiverFailure& failure : river_.failures) {
      if (failure.what == "reading the layers") HostFailure(failure.error, "", failure.what);
    }
    std::map<std::string, std::vector<std::string>> numbered;  // tag number -> layer numbers
    for (const std::string& number : order) {
      const auto& names = layers_of[number];
      if (names.size() > 1) {
        Add(Severity::kError, code::kDuplicateSectionLayer, "", number, {},
            "layers " + ListOf(names) + " name section " + number + ": the exports draw it " +
                std::to_string(names.size()) + " times");
      }
      try {
        ReadSection(*first_of[number], numbered);
      } catch (const host::Error& e) {
        HostFailure(e, number, "reading section " + number);
      }
    }
    for (const auto& [tag_number, numbers] : numbered) {
      if (numbers.size() < 2) continue;
      Add(Severity::kError, code::kDuplicateSectionNumber, "", numbers.front(), {},
          "the tags of sections " + ListOf(numbers) + " give the same section number " +
              tag_number);
    }
  }

  void ReadSection(const model::RiverSection& read,
                   std::map<std::string, std::vector<std::string>>& numbered) {
    const std::string& number = read.number;
    const auto failed = [&] {
      HostFailure(*read.host_failure, number, "reading section " + number);
    };
    // A failure before both lookups were made leaves nothing to judge.
    if (read.host_failure && !read.centre_points_looked_up) return failed();
    const std::string profile_layer = model::SectionLayer(number, model::kProfileLayer);
    const std::string point_layer = model::SectionLayer(number, model::kSectionCenterLayer);
    std::vector<std::string> profile_handles, point_handles;
    for (const auto& e : read.profiles) profile_handles.push_back(e->Handle());
    for (const auto& e : read.centre_points) point_handles.push_back(e->Handle());
    if (read.profiles.size() > 1) {
      Add(Severity::kWarning, code::kSeveralProfiles, "", number, profile_handles,
          "layer " + profile_layer + " holds " + std::to_string(read.profiles.size()) +
              " polylines: the exports use the first, " + profile_handles.front());
    }
    if (read.centre_points.empty()) {
      Add(Severity::kWarning, code::kNoCentrePoint, "", number, {},
          "layer " + point_layer + " holds no point: a lost tag could not be restored");
    } else if (read.centre_points.size() > 1) {
      Add(Severity::kWarning, code::kSeveralCentrePoints, "", number, point_handles,
          "layer " + point_layer + " holds " + std::to_string(read.centre_points.size()) +
              " points: a lost tag would be restored from the first, " + point_handles.front());
    }
    if (read.profiles.empty()) {
      Add(Severity::kError, code::kNoProfile, "", number, {},
          "layer " + profile_layer + " holds no polyline: the exports leave the section out");
      return;
    }
    if (read.host_failure) return failed();
    const auto& profile = read.record.Profile;
    const std::string& handle = read.handle;
    std::vector<std::string> owners{handle};
    if (!read.own_tag) {
      if (read.tag.empty()) {
        Add(Severity::kError, code::kTagLost, "", number, {handle},
            "profile " + handle +
                " carries no section tag and no centre point has one to "
                "restore: the exports leave the section unlabelled");
        return;
      }
      result_.fixes.push_back({code::kTagRestorable, number, handle, 0, 0});
      Add(Severity::kWarning, code::kTagRestorable, "", number, {handle, point_handles.front()},
          "profile " + handle +
              " has lost its section tag: the exports restore it from centre "
              "point " +
              point_handles.front());
      owners = {point_handles.front()};
    }
    const model::TEVSection& record = read.record;
    const host::XData& tag = read.tag;
    if (read.load_failure) {
      const host::Error& e = *read.load_failure;
      const size_t item = FirstBadItem(tag.values);
      // The water date and the through flag come last: the exports label
      // and draw the section with the items read before them, and so is it
      // measured here.
      const bool late = (item == 8 || item == 9) && record.LoadedThrough(item - 1);
      if (late) {
        Add(Severity::kWarning, code::kTagUnreadable, "", number, owners,
            "item " + std::to_string(item) + " (" + ItemName(item) +
                ") of its section tag cannot be read: " + e.description() +
                "; the exports use the items before it");
      } else if (item == 10) {
        Add(Severity::kError, code::kTagUnreadable, "", number, owners,
            "its section tag cannot be read: " + e.description());
      } else if (item >= tag.values.size()) {
        Add(Severity::kError, code::kTagTooShort, "", number, owners,
            "its section tag has " + std::to_string(tag.values.size()) + " items: item " +
                std::to_string(item) + " (" + ItemName(item) + ") is missing");
      } else {
        Add(Severity::kError, code::kTagUnreadable, "", number, owners,
            "item " + std::to_string(item) + " (" + ItemName(item) +
                ") of its section tag cannot be read: " + e.description());
      }
      if (!late) return;
    }
    // A host may hand over a value that is no finite number; the exports
    // would print it. The section is then not measured.
    bool measurable = true;
    for (const auto& [item, value] :
         {std::pair{4, record.Chainage}, std::pair{5, record.Bearing}}) {
      if (std::isfinite(value)) continue;
      Add(Severity::kError, code::kTagUnreadable, "", number, owners,
          "item " + std::to_string(item) + " (" + ItemName(static_cast<size_t>(item)) +
              ") of its section tag is no finite number");
      measurable = false;
    }
    numbered[record.SectionNo].push_back(number);
    if (record.SectionNo != number) {
      Add(Severity::kWarning, code::kSectionNumberMismatch, "", number, owners,
          "its tag gives the section number \"" + record.SectionNo + "\"");
    }
    Section section;
    section.number = number;
    section.handle = handle;
    section.reach_no = record.ReachNo;
    section.chainage = record.Chainage;
    section.bearing = record.Bearing;
    const auto plan = WorldPlan(*profile);
    if (!plan) {
      Add(Severity::kWarning, code::kNotInPlan, "", number, {handle},
          "profile " + handle + " does not lie flat in plan: its line is not checked");
    } else if (plan->vertices.size() < 2 || plan->vertices.front() == plan->vertices.back() ||
               !IsFinite(plan->vertices.front()) || !IsFinite(plan->vertices.back())) {
      Add(Severity::kError, code::kProfileTooShort, "", number, {handle},
          "profile " + handle +
              " has no measurable length from its first vertex to its last: the exports draw "
              "no section line");
    } else {
      section.has_line = true;
      section.first = plan->vertices.front();
      section.last = plan->vertices.back();
      section.path = geometry::Densify(plan->vertices, plan->bulges, plan->closed, kPathTolerance);
      result_.sections.push_back({number, handle, section.first, section.last});
    }
    const Reach* reach = ReachNumbered(section.reach_no);
    if (reach == nullptr) {
      if (!reaches_.empty()) {
        Add(Severity::kError, code::kUnknownReach, section.reach_no, number, owners,
            "its tag gives reach \"" + section.reach_no + "\", which the drawing does not have");
      }
      return;
    }
    if (!measurable) return;
    sections_[static_cast<size_t>(reach - reaches_.data())].push_back(std::move(section));
  }

  void CheckGeometry(size_t r) {
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

  void CheckChainages(const Reach& reach, const std::vector<Section>& sections, double length) {
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
        result_.fixes.push_back(
            {code::kChainageMismatch, s.number, s.handle, s.chainage, expected});
        Add(Severity::kError, code::kChainageMismatch, rn, s.number, {s.handle},
            "its tag gives chainage " + Num(s.chainage) +
                " but its line crosses the centre line "
                "at chainage " +
                Num(expected) + " (" + Num(s.chainage - expected) + " apart)");
      }
    }
    // Along the reach the chainages must rise (or fall, when measured from
    // the end); the sections outside a longest such run are out of order.
    std::stable_sort(along.begin(), along.end(), [](const Section* a, const Section* b) {
      return *a->measured < *b->measured;
    });
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

  void CheckBearings(const Reach& reach, const std::vector<Section>& sections) {
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
            std::to_string(best_count) + " of " + std::to_string(lines.size()) +
            " sections agree)");
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

  void CheckCrossingSections(const Reach& reach, const std::vector<Section>& sections) {
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

}  // namespace

CheckResult CheckSurvey(const Ref<host::Document>& drawing, const CheckOptions& options) {
  return Checker(drawing, options).Run();
}

}  // namespace palvane::check
