#include "gis_data.h"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>

#include "check/survey_check.h"
#include "info.h"
#include "model/lookup.h"
#include "model/reach.h"
#include "model/section.h"
#include "model/tags.h"

namespace palvane::tools {
namespace {

// A polyline's vertices in world XY, its arcs as chords within `tolerance`:
// densified in its own coordinate system, then each point translated to the
// world as the keyplan translates a section's end vertices.
std::vector<geometry::Point2> WorldLine(const host::Ref<host::Document>& drawing,
                                        host::LWPolyline& line, double tolerance,
                                        bool& tolerance_missed) {
  const std::vector<double> flat = line.Coordinates();
  std::vector<geometry::Point2> vertices;
  std::vector<double> bulges;
  for (size_t i = 0; i + 1 < flat.size(); i += 2) {
    vertices.push_back({flat[i], flat[i + 1]});
    bulges.push_back(line.GetBulge(static_cast<int32_t>(i / 2)));
  }
  const std::vector<geometry::Point2> ocs =
      geometry::Densify(vertices, bulges, line.Closed(), tolerance, &tolerance_missed);
  const double elevation = line.Elevation();
  const host::Point3 normal = line.Normal();
  std::vector<geometry::Point2> world;
  world.reserve(ocs.size());
  const host::Ref<host::Utility> utility = drawing->Utility();
  for (const auto& p : ocs) {
    const host::Point3 w = utility->TranslateCoordinates({p[0], p[1], elevation}, host::kObjectCs,
                                                         host::kWorld, false, normal);
    world.push_back({w[0], w[1]});
  }
  return world;
}

// The code check gives the finding a lookup's message tells of.
const char* LookupCode(const std::string& message) {
  const auto ends = [&](std::string_view end) { return message.ends_with(end); };
  if (ends("Has no profile")) return check::code::kNoProfile;
  if (ends("Has more than one Profile using first found")) return check::code::kSeveralProfiles;
  if (ends("Has no Center Point")) return check::code::kNoCentrePoint;
  if (ends("Has more than one Center Point using first found")) {
    return check::code::kSeveralCentrePoints;
  }
  return check::code::kHostError;
}

std::optional<std::string> SectionNumberOf(const std::string& layer_name) {
  const size_t at = layer_name.find("_SectionLine");
  if (at == std::string::npos) return std::nullopt;
  return layer_name.substr(0, at);
}

}  // namespace

GisRiver ReadGisRiver(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                      double tolerance) {
  GisRiver river;
  std::map<std::string, double> reach_lengths;  // the first reach of each number
  // Every polyline whose tag is a reach's, each read on its own: one whose
  // tag cannot be read is left out with its problem, and the others stay.
  std::vector<host::Ref<host::Entity>> lines;
  try {
    const host::Ref<host::SelectionSet> set = model::NewSelectionSet(drawing, "LWPolys");
    set->Select(host::kSelectionSetAll, {0}, {host::Variant("LWPOLYLINE")});
    const int32_t count = set->Count();
    for (int32_t i = 0; i < count; ++i) lines.push_back(set->Item(i));
  } catch (const host::Error& e) {
    sink.Show(e.description());
  }
  for (const host::Ref<host::Entity>& entity : lines) {
    std::string handle;
    try {
      model::TEVReach record;
      record.Profile = entity.As<host::LWPolyline>();
      handle = record.Profile->Handle();
      if (!record.RetrieveValues()) continue;
      GisReach reach;
      reach.handle = handle;
      reach.reach_no = record.ReachNo;
      reach.current = record.Status;
      reach.photo_dir = record.PhotoDirectory;
      reach.length = record.Profile->Length();
      reach.line = WorldLine(drawing, *record.Profile, tolerance, river.tolerance_missed);
      reach_lengths.emplace(reach.reach_no, reach.length);
      river.reaches.push_back(std::move(reach));
    } catch (const host::Error& e) {
      river.unread_reaches.push_back(handle);
      sink.Show("polyline " + handle + ": its reach tag cannot be read (" + e.description() +
                "); it is left out of the reaches");
    }
  }

  std::set<std::string> restored;       // profiles whose tag came from their centre point
  std::set<std::string> points_listed;  // centre points by handle
  const auto layers = drawing->Layers();
  const int32_t count = layers->Count();
  for (int32_t i = 0; i < count; ++i) {
    const auto number = SectionNumberOf(layers->Item(i)->Name());
    if (!number) continue;
    GisSection section;
    section.sect_no = *number;
    CollectingSink heard(sink);
    model::TEVSection record(heard);
    bool own_tag = false;
    size_t tag_items = 0;
    std::vector<std::pair<std::string, std::string>> problems;  // code, text
    // Each step's failure is this section's problem: what came before it
    // stays, and nothing of another section enters.
    const char* failing = check::code::kHostError;  // what a host error here means
    try {
      record.Profile = model::FindSectionProfile(heard, drawing, *number);
      if (record.Profile) {
        section.handle = record.Profile->Handle();
        section.line = WorldLine(drawing, *record.Profile, tolerance, river.tolerance_missed);
        if (!section.line.empty()) {
          section.easting = section.line.front()[0];
          section.northing = section.line.front()[1];
        }
        // Fewer than two distinct points make no line any format holds.
        if (std::all_of(section.line.begin(), section.line.end(),
                        [&](const auto& p) { return p == section.line.front(); })) {
          section.line.clear();
          problems.push_back({check::code::kProfileTooShort,
                              "profile " + section.handle + " has no length: no geometry"});
        }
        const host::XData own = record.Profile->GetXData(model::kTagApp);
        own_tag = model::IsTagKind(own, model::kSectionKind);
        // Counted before the values are read, so that what was read before
        // an item that fails is kept.
        if (own_tag) tag_items = own.values.size();
        failing = check::code::kTagUnreadable;
        record.RetrieveValues(drawing);
        if (!own_tag) {
          const host::XData restored_tag = record.Profile->GetXData(model::kTagApp);
          if (model::IsTagKind(restored_tag, model::kSectionKind)) {
            tag_items = restored_tag.values.size();
          }
        }
      }
    } catch (const host::Error& e) {
      // A profile without its tag and no centre point to restore it from.
      if (record.Profile && !own_tag && !record.CenterPoint) failing = check::code::kTagLost;
      if (!own_tag && record.CenterPoint && tag_items == 0) {
        // The centre point's tag failed part way: its items before the
        // failing one were read all the same.
        try {
          const host::XData copy = record.CenterPoint->GetXData(model::kTagApp);
          if (model::IsTagKind(copy, model::kSectionKind)) tag_items = copy.values.size();
        } catch (const host::Error&) {
        }
      }
      problems.push_back({failing, e.description()});
      heard.Show(e.description());
    }
    // The record's values are this section's own, as far as they were read
    // from a tag that holds them; the others stay empty.
    const auto read = [&](size_t item) { return record.LoadedThrough(item) && tag_items > item; };
    if (read(2)) {
      if (own_tag && restored.count(section.handle) == 0) {
        section.source = "tag";
      } else {
        section.source = "centre point";
        restored.insert(section.handle);
        problems.push_back({check::code::kTagRestorable,
                            "profile " + section.handle +
                                " has lost its section tag: restored from its centre point"});
      }
    } else if (record.Profile && !own_tag && tag_items == 0) {
      problems.push_back(
          {check::code::kTagLost,
           "profile " + section.handle + " carries no section tag and no centre point has one"});
    }
    if (read(2) && !record.SectionNo.empty()) section.sect_no = record.SectionNo;
    if (read(3)) section.reach_no = record.ReachNo;
    if (read(4)) section.chainage = record.Chainage;
    if (read(5)) section.bearing = record.Bearing;
    if (read(6)) section.descr = record.Title;
    if (read(7)) section.sect_name = record.SectionName;
    if (read(8)) section.water_date = record.WaterDate;
    if (read(9)) section.through = record.ThroughSection;
    if (const auto it = reach_lengths.find(section.reach_no);
        section.chainage && it != reach_lengths.end()) {
      section.mike11_ch = it->second - *section.chainage;
    }
    // A lost tag's restoring looked the centre point up already.
    try {
      const host::Ref<host::PointEntity> point =
          record.Profile && !own_tag ? record.CenterPoint
                                     : model::FindSectionCenterPoint(heard, drawing, *number);
      if (point && points_listed.insert(point->Handle()).second) {
        const host::Point3 at = point->Coordinates();
        river.centre_points.push_back({point->Handle(), section.sect_no, {at[0], at[1]}});
      }
    } catch (const host::Error& e) {
      heard.Show(e.description());
    }
    // The lookups' messages, each under the code check gives its finding.
    for (const std::string& message : heard.messages) {
      const bool counted = std::any_of(problems.begin(), problems.end(),
                                       [&](const auto& p) { return p.second == message; });
      if (!counted) problems.push_back({LookupCode(message), message});
    }
    for (const auto& [code, text] : problems) section.problems.push_back(code + ": " + text);
    river.sections.push_back(std::move(section));
  }
  return river;
}

}  // namespace palvane::tools
