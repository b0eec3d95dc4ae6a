#include "gis_data.h"

#include <map>
#include <set>

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
  host::Ref<host::SelectionSet> set;
  int32_t reaches = 0;
  try {
    set = model::GetReachPolylines(drawing);
    reaches = set->Count();
  } catch (const host::Error& e) {
    sink.Show(e.description());
  }
  // A reach that cannot be read is reported and left out; the others stay.
  for (int32_t i = 0; i < reaches; ++i) {
    try {
      model::TEVReach record;
      record.Profile = set->Item(i).As<host::LWPolyline>();
      record.RetrieveValues();
      GisReach reach;
      reach.handle = record.Profile->Handle();
      reach.reach_no = record.ReachNo;
      reach.current = record.Status;
      reach.photo_dir = record.PhotoDirectory;
      reach.length = record.Profile->Length();
      reach.line = WorldLine(drawing, *record.Profile, tolerance, river.tolerance_missed);
      reach_lengths.emplace(reach.reach_no, reach.length);
      river.reaches.push_back(std::move(reach));
    } catch (const host::Error& e) {
      sink.Show(e.description());
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
    // Each step's failure is this section's problem: what came before it
    // stays, and nothing of another section enters.
    try {
      record.Profile = model::FindSectionProfile(heard, drawing, *number);
      if (record.Profile) {
        section.handle = record.Profile->Handle();
        section.line = WorldLine(drawing, *record.Profile, tolerance, river.tolerance_missed);
        if (!section.line.empty()) {
          section.easting = section.line.front()[0];
          section.northing = section.line.front()[1];
        }
        own_tag = model::IsTagKind(record.Profile->GetXData(model::kTagApp), model::kSectionKind);
        record.RetrieveValues(drawing);
        const host::XData tag = record.Profile->GetXData(model::kTagApp);
        if (model::IsTagKind(tag, model::kSectionKind)) tag_items = tag.values.size();
      }
    } catch (const host::Error& e) {
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
      }
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
    section.problems = std::move(heard.messages);
    river.sections.push_back(std::move(section));
  }
  return river;
}

}  // namespace palvane::tools
