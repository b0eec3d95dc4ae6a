#pragma once

// Writing a river's GIS features through GDAL: GeoPackage, GeoJSON,
// Shapefile, MapInfo, FlatGeobuf, CSV and KML, with a coordinate reference
// system when one is given. The output is complete or absent.

#include <string>
#include <vector>

#include "gis_data.h"

namespace palvane::tools {

struct GisOutput {
  std::string path;    // -o
  std::string driver;  // GDAL's short name; empty: from the extension
  std::string crs;     // anything GDAL takes; empty: none
  bool overwrite = false;
  std::string source;  // the drawing read, which is never an output
};

// The GDAL driver for an output path's extension, or empty.
std::string DriverForPath(const std::string& path);

// The files an output makes: one per layer ("river_reaches.shp",
// "river_sections.shp", "river_centre_points.shp") for formats of one layer
// per file, else the path itself.
std::vector<std::string> OutputFiles(const std::string& path, const std::string& driver);

// Writes the layers "reaches", "sections" and "centre_points". Everything is
// made beside the output under temporary names first and renamed into place
// at the end; on any failure nothing is left. Throws Failure (status 2) with
// a one-line reason naming a bad driver, CRS or path. Returns the files
// written; `warnings`, when given, gets a line for each layer of which the
// format kept fewer features than it was given.
std::vector<std::string> WriteGis(const GisRiver& river, const GisOutput& output,
                                  std::vector<std::string>* warnings = nullptr);

}  // namespace palvane::tools
