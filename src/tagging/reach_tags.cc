// The reach tag, and the plan copy a centre line drawn as a heavy polyline
// is tagged through.

#include <charconv>

#include "along/station.h"
#include "model/tags.h"
#include "tagging/edits.h"
#include "tagging/tagging.h"

namespace palvane::tagging {

host::Ref<host::LWPolyline> PlanCopy(const host::Ref<host::Document>& drawing, host::Entity& line) {
  const auto plan = along::ReadLinePlan(line, *drawing->Utility());
  if (!plan) {
    throw TagError("polyline " + line.Handle() + " does not lie flat in plan: no plan copy of it");
  }
  if (plan->vertices.size() < 2) {
    throw TagError("polyline " + line.Handle() + " has fewer than two vertices: no line to tag");
  }
  std::vector<double> flat;
  for (const geometry::Point2& p : plan->vertices) {
    flat.push_back(p[0]);
    flat.push_back(p[1]);
  }
  const auto copy = drawing->ModelSpace()->AddLightWeightPolyline(flat);
  for (size_t i = 0; i < plan->bulges.size(); ++i) {
    if (plan->bulges[i] != 0) copy->SetBulge(static_cast<int32_t>(i), plan->bulges[i]);
  }
  copy->SetLayer(line.Layer());
  copy->SetColor(line.Color());
  if (plan->closed) copy->SetClosed(true);
  return copy;
}

ReachTagged TagReach(const host::Ref<host::Document>& drawing,
                     const host::Ref<host::LWPolyline>& line, const std::string& number,
                     bool current, const std::optional<std::string>& photos, bool dry_run) {
  int32_t value = 0;
  const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
  if (number.empty() || parsed.ec != std::errc() || parsed.ptr != number.data() + number.size()) {
    throw TagError("the reach number \"" + number + "\" is no whole number within 32 bits");
  }
  // As the tag gives it back: "007" is reach 7.
  const std::string reach_no = std::to_string(value);
  const std::string handle = line->Handle();
  if (model::CarriesSectionTag(line->GetXData(model::kTagApp))) {
    throw TagError("polyline " + handle +
                   " carries a section tag: it is a section's profile, not a centre line");
  }
  host::SilentMessageSink silent;
  const model::River river = ReadReaches(drawing, silent);
  if (current && !river.unread_reaches.empty()) {
    throw TagError("the reach tag of polyline " + river.unread_reaches.front().handle +
                   " cannot be read (" + river.unread_reaches.front().error.description() +
                   "): it may be current, and only one reach may be");
  }
  ReachTagged out;
  out.number = reach_no;
  const model::RiverReach* before = nullptr;  // the line's own reach tag
  for (const model::RiverReach& reach : river.reaches) {
    if (reach.handle == handle) {
      before = &reach;
      continue;
    }
    if (reach.record.ReachNo == reach_no) {
      throw TagError("reach " + reach_no + " is polyline " + reach.handle +
                     " already; give another --number");
    }
  }
  if (before != nullptr && before->record.ReachNo != reach_no) {
    // Its sections would be left on no reach.
    host::SilentMessageSink quiet;
    model::RiverOptions all;
    all.selection_set = kSetName;
    size_t sections = 0;
    for (const model::RiverSection& section : model::ReadRiver(drawing, quiet, all).sections) {
      if (section.Has(3) && section.record.ReachNo == before->record.ReachNo) ++sections;
    }
    if (sections > 0) {
      throw TagError("polyline " + handle + " is reach " + before->record.ReachNo + ", and " +
                     std::to_string(sections) +
                     " sections are tagged with that number: renumbering it would leave them "
                     "on no reach");
    }
  }
  try {
    RefuseLocked(drawing, line, "polyline");
    for (const model::RiverReach& reach : river.reaches) {
      if (!current || reach.handle == handle || !reach.record.Status) continue;
      RefuseLocked(drawing, reach.record.Profile, "reach " + reach.record.ReachNo + ", polyline");
    }
    for (const model::RiverReach& reach : river.reaches) {
      if (!current || reach.handle == handle || !reach.record.Status) continue;
      out.no_longer_current.push_back(reach.record.ReachNo + " (polyline " + reach.handle + ")");
      if (dry_run) continue;
      model::TEVReach record = reach.record;
      record.Status = false;
      record.AssignValues();
    }
    // A reach tagged again keeps what is not given anew.
    out.current = current || (before != nullptr && before->record.Status);
    if (!dry_run) {
      model::TEVReach record;
      record.Profile = line;
      record.ReachNo = reach_no;
      record.Status = out.current;
      record.PhotoDirectory =
          photos ? *photos : (before != nullptr ? before->record.PhotoDirectory : "");
      record.AssignValues();
    }
  } catch (const host::Error& e) {
    throw TagError("the reach tags cannot be written: " + e.description());
  }
  return out;
}

}  // namespace palvane::tagging
