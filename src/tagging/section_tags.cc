// The section tags: each profile (or each line of one layer) measured
// against its reach's centre line, what is to be written planned and refused
// as a whole, then written.

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "along/station.h"
#include "host/convert.h"
#include "host/fold.h"
#include "host/symbol_name.h"
#include "model/layer_names.h"
#include "model/lookup.h"
#include "model/river.h"
#include "model/tags.h"
#include "tagging/edits.h"
#include "tagging/layer_lines.h"
#include "tagging/measure.h"
#include "tagging/tagging.h"

namespace palvane::tagging {
namespace {

std::string Replaced(std::string pattern, const std::string& number) {
  for (size_t at = pattern.find("{n}"); at != std::string::npos;
       at = pattern.find("{n}", at + number.size())) {
    pattern.replace(at, 3, number);
  }
  return pattern;
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kTagged:
      return "tagged";
    case Outcome::kRetagged:
      return "retagged";
    case Outcome::kKept:
      return "kept";
    case Outcome::kNoProfile:
      return "no-profile";
    case Outcome::kNotInPlan:
      return "not-in-plan";
    case Outcome::kNoCrossing:
      return "no-crossing";
    case Outcome::kSeveralCrossings:
      return "several-crossings";
    case Outcome::kNumberDiffers:
      return "section-number-mismatch";
    case Outcome::kOtherReach:
      return "other-reach";
    case Outcome::kLeftAlone:
      return "left-alone";
    case Outcome::kNoNumber:
      return "no-number";
  }
  return "tagged";
}

namespace {

// A section measured and to be written.
struct Pending {
  size_t section;  // in SectionsTagged::sections
  model::TEVSection record;
  host::Ref<host::LWPolyline> move;  // a line to move onto its profile layer
  bool make_point;                   // it has no centre point
  geometry::Point2 at;
  std::string renamed;            // the number its layers are renamed to, if they are
  host::Ref<host::Entity> drawn;  // a heavy polyline to make the section line of
};

// A layer name's key as the drawing compares names: letter case aside.
std::string NameKey(const std::string& name) {
  std::string key = host::HasNonAscii(name) ? host::FoldedText(name) : name;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

// The section a layer named N + a section suffix belongs to, or nothing.
std::optional<std::string> OwnerOf(const std::string& name) {
  for (const std::string_view suffix :
       {model::kProfileLayer, model::kSectionLineLayer, model::kSectionCenterLayer,
        model::kSurveyLayer, model::kSurveyLpsoLayer, model::kSurveyLinvLayer}) {
    if (name.size() >= suffix.size() &&
        NameKey(name.substr(name.size() - suffix.size())) == NameKey(std::string(suffix))) {
      return name.substr(0, name.size() - suffix.size());
    }
  }
  return std::nullopt;
}

// The names the pending sections' layers get from `prefix` and their
// chainages (as renameLayerstoChainage names them), refused as a whole when
// the drawing would refuse one, when one would rename another section's
// layer, or when two would collide.
void PlanRenames(const host::Ref<host::Document>& drawing, const std::string& prefix,
                 const SectionsTagged& out, std::vector<Pending>& pending) {
  std::vector<std::string> names;
  {
    const host::Ref<host::Layers> layers = drawing->Layers();
    const int32_t count = layers->Count();
    for (int32_t i = 0; i < count; ++i) names.push_back(layers->Item(i)->Name());
  }
  // The layers writing makes count as well.
  for (const Pending& p : pending) {
    const std::string& number = out.sections[p.section].number;
    for (const std::string_view suffix :
         {model::kProfileLayer, model::kSectionLineLayer, model::kSectionCenterLayer}) {
      const std::string name = model::SectionLayer(number, suffix);
      const bool there = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
        return NameKey(n) == NameKey(name);
      });
      if (!there) names.push_back(name);
    }
  }
  std::map<std::string, std::string> renamed;  // old name -> new name
  for (Pending& p : pending) {
    const std::string& number = out.sections[p.section].number;
    if (number.find('_') != std::string::npos) {
      throw TagError("section " + number +
                     ": a number holding \"_\" names no layers of its own to rename");
    }
    p.renamed = prefix + host::FormatFixed(p.record.Chainage, 0);
    for (const std::string& name : names) {
      const size_t underscore = name.find('_');
      if (underscore == std::string::npos || name.compare(0, underscore, number) != 0 ||
          underscore != number.size()) {
        continue;
      }
      if (const auto owner = OwnerOf(name); owner && *owner != number) {
        throw TagError("renaming the layers of section " + number + " would rename layer " + name +
                       " of section " + *owner + " as well: rename them by hand");
      }
      const std::string to = p.renamed + name.substr(underscore);
      try {
        host::CheckSymbolName(to, "layer");
      } catch (const host::Error& e) {
        throw TagError("--rename-layers \"" + prefix +
                       "\" makes layer names the drawing refuses: " + e.description());
      }
      renamed.emplace(name, to);
    }
  }
  // No two layers may end with one name, nor a renamed one take the name of
  // one that stays.
  std::map<std::string, std::string> taken;  // key -> the layer that will have it
  for (const std::string& name : names) {
    const auto it = renamed.find(name);
    const std::string final_name = it == renamed.end() ? name : it->second;
    const auto [at, fresh] = taken.emplace(NameKey(final_name), name);
    if (!fresh) {
      throw TagError("--rename-layers would give layers " + at->second + " and " + name +
                     " one name, " + final_name +
                     ": sections whose chainages round to one whole number, or a layer of "
                     "that name already");
    }
  }
}

}  // namespace

SectionsTagged TagSections(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                           const SectionTagOptions& options, bool dry_run) {
  const model::River river = ReadReaches(drawing, sink);
  const model::RiverReach* reach = nullptr;
  if (options.reach.empty()) {
    reach = model::CurrentReach(river);
    if (reach == nullptr) {
      throw TagError(
          "the drawing has no current reach: tag its centre line first (palvane tag reach "
          "--current), or give --reach");
    }
  } else {
    for (const model::RiverReach& r : river.reaches) {
      if (r.record.ReachNo != options.reach) continue;
      if (reach == nullptr || r.record.Status) reach = &r;
    }
    if (reach == nullptr) throw TagError("the drawing has no reach " + options.reach);
  }
  const std::string& reach_no = reach->record.ReachNo;
  const auto plan = along::ReadWorldPlan(*reach->record.Profile, *drawing->Utility());
  if (!plan || plan->vertices.size() < 2) {
    throw TagError("the centre line of reach " + reach_no + " (polyline " + reach->handle +
                   ") does not lie flat in plan");
  }
  const geometry::PolylineIndex centre(*plan);
  SectionTagOptions measured_as = options;
  if (options.chainage_auto) {
    const model::ChainageEnd end =
        ChainageEndOfReach(drawing, reach_no, centre, options.chainage_tolerance);
    if (!end.known()) {
      throw TagError("no tagged section of reach " + reach_no +
                     " tells which end of its centre line its chainages run from: give "
                     "--chainage-from start or end");
    }
    measured_as.from_end = end.from_end();
  }

  SectionsTagged out{reach_no, reach->handle, measured_as.from_end, {}};
  std::vector<Candidate> candidates;
  std::vector<TaggedSection> left;  // lines of the layer not made sections
  if (!options.from_layer.empty()) {
    candidates = LayerLines(drawing, measured_as, centre, reach_no, left);
  } else {
    const host::Ref<host::Layers> layers = drawing->Layers();
    const int32_t count = layers->Count();
    for (int32_t i = 0; i < count; ++i) {
      if (auto number = model::SectionNumberOfProfileLayer(layers->Item(i)->Name())) {
        candidates.push_back({std::move(*number), nullptr, nullptr});
      }
    }
  }
  std::vector<Pending> pending;  // what is to be written, once all is measured
  for (const Candidate& candidate : candidates) {
    const std::string& number = candidate.number;
    TaggedSection& s = out.sections.emplace_back();
    s.number = number;
    host::Ref<host::LWPolyline> profile = candidate.line;
    if (!profile && !candidate.drawn) {
      const auto profiles = SelectPart(drawing, model::SectionPart::kProfile, number);
      if (profiles.empty()) {
        s.outcome = Outcome::kNoProfile;
        s.why = "layer " + model::SectionLayer(number, model::kProfileLayer) + " holds no polyline";
        continue;
      }
      profile = profiles.front().As<host::LWPolyline>();
    }
    // A heavy polyline's plan copy is made only once everything is measured
    // and allowed, when the tags are written: until then it is named.
    s.handle = profile ? profile->Handle() : candidate.drawn->Handle();
    // A line of the layer has a fresh number: no centre point yet.
    const auto points = candidate.line
                            ? std::vector<host::Ref<host::Entity>>{}
                            : SelectPart(drawing, model::SectionPart::kCenterPoint, number);
    // Its tag: its own, or the copy its centre point keeps.
    host::XData tag = profile ? profile->GetXData(model::kTagApp) : host::XData{};
    if (!model::CarriesSectionTag(tag)) {
      tag = points.empty() ? host::XData{} : points.front()->GetXData(model::kTagApp);
      if (!model::CarriesSectionTag(tag)) tag = {};
    }
    model::TEVSection record(sink);
    record.Profile = profile;
    bool loaded = false;
    if (!tag.empty()) {
      try {
        record.LoadFrom(tag);
        loaded = true;
      } catch (const host::Error&) {
        // Retagged, its unreadable items are written anew.
      }
      // The tags of another reach's sections are that reach's business.
      if (record.LoadedThrough(3) && record.ReachNo != reach_no) {
        s.outcome = Outcome::kOtherReach;
        s.chainage = record.Chainage;
        s.bearing = record.Bearing;
        s.why = "a section of reach " + record.ReachNo + ": left alone";
        continue;
      }
    }
    if (!tag.empty() && !options.retag) {
      s.outcome = Outcome::kKept;
      s.chainage = record.Chainage;
      s.bearing = record.Bearing;
      continue;
    }
    if (loaded && record.SectionNo != number) {
      s.outcome = Outcome::kNumberDiffers;
      s.why = "its tag gives the section number \"" + record.SectionNo +
              "\", which its layers do not: retag it by hand";
      continue;
    }
    const Measured m = Measure(SectionPlan(drawing, profile, candidate.drawn), s.handle, centre,
                               reach_no, measured_as);
    if (m.outcome != Outcome::kTagged) {
      s.outcome = m.outcome;
      s.why = m.why;
      continue;
    }
    s.chainage = m.chainage;
    s.bearing = m.bearing;
    s.outcome = tag.empty() ? Outcome::kTagged : Outcome::kRetagged;
    if (tag.empty()) {
      record.SectionNo = number;
      record.Title = options.title.value_or("");
      record.SectionName = Replaced(options.name_pattern.value_or("{n}"), number);
      if (options.water_date) record.WaterDate = *options.water_date;
      record.ThroughSection = options.through.value_or(false);
    } else {
      if (!loaded) record.SectionNo = number;
      if (options.title) record.Title = *options.title;
      if (options.name_pattern) record.SectionName = Replaced(*options.name_pattern, number);
      if (options.water_date) record.WaterDate = *options.water_date;
      if (options.through) record.ThroughSection = *options.through;
    }
    record.ReachNo = reach_no;
    record.Chainage = s.chainage;
    record.Bearing = s.bearing;
    // Nothing is written when any of it would reach a locked layer.
    if (profile) RefuseLocked(drawing, profile, "section " + number + ": profile");
    // The plan copy is made on the heavy polyline's layer, and a 3D one
    // moves: neither may be locked.
    if (candidate.drawn) {
      RefuseLocked(drawing, candidate.drawn,
                   "section " + number + ": " + HeavyName(candidate.drawn));
    }
    if (candidate.drawn.Is<host::Polyline3D>()) {
      const std::string layer = model::SectionLayer(number, model::kSurveyLayer);
      if (IsLocked(drawing, layer)) {
        throw TagError("section " + number + ": layer " + layer +
                       " is locked: nothing can be put on it; unlock the layer first");
      }
    }
    for (const auto& point : points) RefuseLocked(drawing, point, "section " + number + ": point");
    for (const auto suffix : {model::kProfileLayer, model::kSectionCenterLayer}) {
      const std::string layer = model::SectionLayer(number, suffix);
      const bool used =
          suffix == model::kProfileLayer ? candidate.line || candidate.drawn : points.empty();
      if (used && IsLocked(drawing, layer)) {
        throw TagError("section " + number + ": layer " + layer +
                       " is locked: nothing can be put on it; unlock the layer first");
      }
    }
    pending.push_back({out.sections.size() - 1, std::move(record), candidate.line, points.empty(),
                       m.at, "", candidate.drawn});
  }
  // Renamed layers are judged before anything is written.
  if (!options.rename_prefix.empty()) PlanRenames(drawing, options.rename_prefix, out, pending);
  for (Pending& p : pending) {
    TaggedSection& s = out.sections[p.section];
    const std::string& number = s.number;
    const std::string profile_layer = model::SectionLayer(number, model::kProfileLayer);
    const std::string line_layer = model::SectionLayer(number, model::kSectionLineLayer);
    const std::string centre_layer = model::SectionLayer(number, model::kSectionCenterLayer);
    const std::string survey_layer = model::SectionLayer(number, model::kSurveyLayer);
    const bool survey = p.drawn.Is<host::Polyline3D>();
    if (dry_run) {
      if (p.move || p.drawn) s.done.push_back("moved onto layer " + profile_layer);
      if (survey) s.done.push_back("3D polyline moved onto layer " + survey_layer);
      if (p.make_point) s.made.push_back("centre point");
      if (!p.renamed.empty()) s.made.push_back("layers renamed to " + p.renamed + "_...");
      continue;
    }
    try {
      if (p.drawn) {
        // The section line is the heavy polyline's plan copy, tagged.
        p.move = PlanCopy(drawing, *p.drawn);
        p.record.Profile = p.move;
        s.done.push_back("plan copy " + p.move->Handle() + " made of " + HeavyName(p.drawn) + " " +
                         s.handle);
        s.handle = p.move->Handle();
      }
      if (p.move) {
        EnsureLayer(drawing, profile_layer);
        p.move->SetLayer(profile_layer);
        s.done.push_back("moved onto layer " + profile_layer);
      }
      if (survey) {
        if (EnsureLayer(drawing, survey_layer)) s.made.push_back("layer " + survey_layer);
        p.drawn->SetLayer(survey_layer);
        s.done.push_back("3D polyline moved onto layer " + survey_layer);
      }
      if (EnsureLayer(drawing, line_layer)) s.made.push_back("layer " + line_layer);
      if (p.make_point) {
        if (EnsureLayer(drawing, centre_layer)) s.made.push_back("layer " + centre_layer);
        const auto point = drawing->ModelSpace()->AddPoint({p.at[0], p.at[1], 0});
        point->SetLayer(centre_layer);
        s.made.push_back("centre point " + point->Handle());
      }
      p.record.AssignValues(drawing);
      if (!p.renamed.empty()) {
        // Its layers, and the number its tag gives, become the chainage's.
        p.record.renameLayerstoChainage(options.rename_prefix);
        p.record.SectionNo = p.renamed;
        p.record.AssignValues(drawing);
        s.made.push_back("layers renamed to " + p.renamed + "_...");
      }
    } catch (const host::Error& e) {
      throw TagError("section " + number + " (profile " + s.handle +
                     "): its tag cannot be written: " + e.description());
    }
    s.renamed = p.renamed;
  }
  out.sections.insert(out.sections.end(), left.begin(), left.end());
  return out;
}

}  // namespace palvane::tagging
