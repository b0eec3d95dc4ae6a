// palvane gis: the reaches, sections and centre points written to a GIS
// format through the GDAL module.

#include "commands/gis.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "command.h"
#include "console.h"
#include "drawing_files.h"
#include "failure.h"
#include "model/problem_codes.h"
#include "model/river.h"
#ifdef PALVANE_GIS
#include "gis/gis_module.h"
#include "platform/files.h"
#endif

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

}  // namespace

GisRiver ReadGisRiver(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                      double tolerance) {
  const model::River read = model::ReadRiver(drawing, sink, model::RiverOptions::ReachesOnly());
  GisRiver river;
  for (const model::UnreadReach& unread : read.unread_reaches) {
    river.unread_reaches.push_back(unread.handle);
  }
  std::map<std::string, double> reach_lengths;  // the first reach of each number
  for (const model::RiverReach& r : read.reaches) {
    try {
      GisReach reach;
      reach.handle = r.handle;
      reach.reach_no = r.record.ReachNo;
      reach.current = r.record.Status;
      reach.photo_dir = r.record.PhotoDirectory;
      reach.length = r.record.Profile->Length();
      reach.line = WorldLine(drawing, *r.record.Profile, tolerance, river.tolerance_missed);
      reach_lengths.emplace(reach.reach_no, reach.length);
      river.reaches.push_back(std::move(reach));
    } catch (const host::Error& e) {
      river.unread_reaches.push_back(r.handle);
      sink.Show("polyline " + r.handle + ": its centre line cannot be read (" + e.description() +
                "); it is left out of the reaches");
    }
  }
  std::set<std::string> points_listed;  // centre points by handle
  // The sections as they are read: each is kept only as its feature.
  model::ForEachSection(
      drawing, sink, model::RiverOptions::WithCentrePoints(), [&](const model::RiverSection& s) {
        GisSection section;
        section.sect_no = s.number;
        section.handle = s.handle;
        section.source = s.source;
        std::vector<model::Problem> problems;
        if (s.record.Profile) {
          try {
            section.line = WorldLine(drawing, *s.record.Profile, tolerance, river.tolerance_missed);
            if (!section.line.empty()) {
              section.easting = section.line.front()[0];
              section.northing = section.line.front()[1];
            }
            // Fewer than two distinct points make no line any format holds.
            if (std::all_of(section.line.begin(), section.line.end(),
                            [&](const auto& p) { return p == section.line.front(); })) {
              section.line.clear();
              problems.push_back({model::code::kProfileTooShort,
                                  "profile " + section.handle + " has no length: no geometry"});
            }
          } catch (const host::Error& e) {
            section.line.clear();
            problems.push_back({model::code::kHostError, e.description()});
            sink.Show(e.description());
          }
        }
        problems.insert(problems.end(), s.problems.begin(), s.problems.end());
        const model::TEVSection& record = s.record;
        if (s.Has(2) && !record.SectionNo.empty()) section.sect_no = record.SectionNo;
        if (s.Has(3)) section.reach_no = record.ReachNo;
        if (s.Has(4)) section.chainage = record.Chainage;
        if (s.Has(5)) section.bearing = record.Bearing;
        if (s.Has(6)) section.descr = record.Title;
        if (s.Has(7)) section.sect_name = record.SectionName;
        if (s.Has(8)) section.water_date = record.WaterDate;
        if (s.Has(9)) section.through = record.ThroughSection;
        if (const auto it = reach_lengths.find(section.reach_no);
            section.chainage && it != reach_lengths.end()) {
          section.mike11_ch = it->second - *section.chainage;
        }
        if (!s.centre_points.empty()) {
          const host::Ref<host::PointEntity>& point = s.centre_points.front();
          try {
            const std::string handle = point->Handle();
            if (points_listed.insert(handle).second) {
              const host::Point3 at = point->Coordinates();
              river.centre_points.push_back({handle, section.sect_no, {at[0], at[1]}});
            }
          } catch (const host::Error& e) {
            sink.Show(e.description());
          }
        }
        for (const model::Problem& p : problems) section.problems.push_back(p.code + ": " + p.text);
        river.sections.push_back(std::move(section));
      });
  return river;
}

// ------------------------------------------------------------------ the command

namespace {

struct Args {
  std::string drawing, out, driver, crs;
  double arc_tolerance = 0.01;
  bool overwrite = false, json = false;
};

#ifdef PALVANE_GIS
int Run(const Args& a) {
  if (!(a.arc_tolerance > 0) || !std::isfinite(a.arc_tolerance)) {
    throw Failure{2, "--arc-tolerance must be a distance above 0"};
  }
  OpenedDrawing drawing(a.drawing);
  Progress& progress = drawing.progress();
  host::StderrMessageSink sink;
  progress.Phase("reading the reaches and sections");
  const GisRiver river = ReadGisRiver(drawing.Seen(), sink, a.arc_tolerance);
  if (river.reaches.empty() && river.unread_reaches.empty() && river.sections.empty()) {
    throw Failure{1, NoRiverMessage()};
  }
  // The drawing is only read: a tag restored in memory is never saved.
  drawing.Close();
  progress.Phase("writing " + a.out);
  const GisOutput output{a.out,
                         a.driver,
                         a.crs,
                         a.overwrite,
                         a.drawing,
                         platform::RegisterTemporary,
                         platform::ReleaseTemporary};
  const GisWritten written = WriteGisThroughModule(river, output);
  for (const std::string& warning : written.warnings) Say(warning);
  if (a.crs.empty()) Say("no --crs: " + a.out + " has no coordinate reference system");
  if (a.json) {
    nlohmann::json counts(written.features);
    counts["files"] = written.files;
    Print(counts.dump(2) + "\n", "the counts");
  }
  return 0;
}
#else
int Run(const Args&) { throw Failure{2, "gis exists only in the Linux build, which has GDAL"}; }
#endif

}  // namespace

Command AddGis(CLI::App& cli) {
  auto a = std::make_shared<Args>();
  CLI::App* app = cli.add_subcommand(
      "gis", "Write the reaches, sections and centre points to a GIS format through GDAL");
  app->add_option("DRAWING", a->drawing, "The drawing (DXF)")->required();
  app->add_option("-o", a->out,
                  "The output: .gpkg, .geojson, .shp, .tab, .mif, .fgb, .csv or .kml "
                  "(formats of one layer per file get OUT_reaches, OUT_sections and "
                  "OUT_centre_points)")
      ->required();
  app->add_option("-f", a->driver, "GDAL driver, when the extension does not say");
  app->add_option("--crs", a->crs, "The drawing's coordinate reference system (EPSG:27700, ...)");
  app->add_option("--arc-tolerance", a->arc_tolerance,
                  "Largest distance of a chord from the arc it stands for")
      ->capture_default_str();
  app->add_flag("--overwrite", a->overwrite, "Replace existing output files");
  app->add_flag("--json", a->json, "Print the counts per layer");
  return {app, [a] { return Run(*a); }};
}

}  // namespace palvane::tools
