// The check's reading: the river read as the exports read it, each reach
// and section line in world plan.

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

void Checker::HostFailure(const host::Error& e, const std::string& section,
                          const std::string& what) {
  Add(Severity::kError, code::kHostError, "", section, {},
      what + " failed: error " + std::to_string(e.number()) + ", " + e.description());
}

std::optional<geometry::PlanPolyline> Checker::WorldPlan(host::LWPolyline& line) {
  return along::ReadWorldPlan(line, *drawing_->Utility());
}

void Checker::ReadReaches() {
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

const Reach* Checker::ReachNumbered(const std::string& number) const {
  const Reach* found = nullptr;
  for (const Reach& r : reaches_) {
    if (r.number != number) continue;
    if (r.current) return &r;
    if (found == nullptr) found = &r;
  }
  return found;
}

void Checker::ReadSections() {
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
        "the tags of sections " + ListOf(numbers) + " give the same section number " + tag_number);
  }
}

void Checker::ReadSection(const model::RiverSection& read,
                          std::map<std::string, std::vector<std::string>>& numbered) {
  const std::string& number = read.number;
  const auto failed = [&] { HostFailure(*read.host_failure, number, "reading section " + number); };
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
  for (const auto& [item, value] : {std::pair{4, record.Chainage}, std::pair{5, record.Bearing}}) {
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

}  // namespace palvane::check
