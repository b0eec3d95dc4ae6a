#pragma once

// Writing a river's GIS features through GDAL: GeoPackage, GeoJSON,
// Shapefile, MapInfo, FlatGeobuf, CSV and KML, with a coordinate reference
// system when one is given. The output is complete or absent.

#include <map>
#include <string>
#include <vector>

#include "gis/gis_river.h"

namespace palvane::tools {

struct GisOutput {
  std::string path;    // -o
  std::string driver;  // GDAL's short name; empty: from the extension
  std::string crs;     // anything GDAL takes; empty: none
  bool overwrite = false;
  std::string source;  // the drawing read, which is never an output
  // Where the temporary folder is registered, to be removed if the command
  // is interrupted, and let go (both may be empty).
  int (*register_temporary)(const std::string& path, bool folder) = nullptr;
  void (*release_temporary)(int slot) = nullptr;
};

// The GDAL driver for an output path's extension, or empty.
std::string DriverForPath(const std::string& path);

// The files an output makes: one per layer ("river_reaches.shp",
// "river_sections.shp", "river_centre_points.shp") for formats of one layer
// per file, else the path itself.
// With `findings`, the one file of the findings layer ("check_findings.shp").
std::vector<std::string> OutputFiles(const std::string& path, const std::string& driver,
                                     bool findings = false);

// What was written: the files, the features of each layer, and a line for
// each thing the user must know (text cut to a format's width, arcs whose
// chords stray further than the tolerance).
struct GisWritten {
  std::vector<std::string> files;
  std::map<std::string, size_t> features;
  std::vector<std::string> warnings;
};

// Writes the layers "reaches", "sections" and "centre_points" (or, for a
// river of findings, the layer "findings"). Everything is
// made beside the output under temporary names first, read back, and moved
// into place at the end, replacing what an earlier run left under the same
// names only with `overwrite`; on any failure nothing is left. Throws
// Failure (status 2) with a one-line reason naming a bad driver, CRS or
// path, or a format that could not keep every feature.
GisWritten WriteGis(const GisRiver& river, const GisOutput& output);

}  // namespace palvane::tools
