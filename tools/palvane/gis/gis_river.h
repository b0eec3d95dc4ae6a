#pragma once

// A surveyed river as GIS features: its reaches, its cross-sections and
// their centre points, with the values of their tags. What the gis command
// hands the GDAL module.

#include <optional>
#include <string>
#include <vector>

#include "geometry/densify.h"
#include "host/host.h"

namespace palvane::tools {

struct GisReach {
  std::string handle, reach_no, photo_dir;
  bool current = false;
  double length = 0;  // following the arcs
  std::vector<geometry::Point2> line;
};

// A section's values; those its tag does not hold, or that could not be
// read, are empty.
struct GisSection {
  std::string handle, sect_no, sect_name, reach_no, descr;
  std::optional<double> chainage, bearing;
  std::optional<double> mike11_ch;  // none when no reach has its number
  std::optional<host::Date> water_date;
  std::optional<bool> through;
  std::optional<double> easting, northing;  // the first vertex
  std::string source;                       // "tag", "centre point", or empty when none was read
  // What went wrong reading it, each as "code: text" with the code of
  // check's finding (no-profile, tag-restorable, tag-unreadable, ...).
  std::vector<std::string> problems;
  std::vector<geometry::Point2> line;  // empty without a readable profile
};

struct GisCentrePoint {
  std::string handle, sect_no;
  geometry::Point2 at{};
};

// A finding of `palvane check`, on its section's line when it concerns one.
struct GisFinding {
  std::string severity, code, reach, section, handles, text;
  std::vector<geometry::Point2> line;  // empty for the drawing or a reach
};

struct GisRiver {
  std::vector<GisReach> reaches;
  std::vector<GisSection> sections;
  std::vector<GisCentrePoint> centre_points;  // each point once
  std::vector<std::string> unread_reaches;    // polylines whose reach tag cannot be read
  // Whether some arc needed more chords than are ever made of one, so that
  // they stray further than the tolerance.
  bool tolerance_missed = false;
  // When given, the output is the one layer "findings" of these, in place
  // of the river's three.
  std::optional<std::vector<GisFinding>> findings;
};

}  // namespace palvane::tools
