#include "gis/gis_write.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <system_error>

#include "failure.h"
#include "gis/qgis_styles.h"
#include "host/convert.h"

namespace palvane::tools {
namespace {

namespace fs = std::filesystem;

struct Format {
  const char* extension;
  const char* driver;
};
constexpr Format kFormats[] = {
    {".gpkg", "GPKG"},          {".geojson", "GeoJSON"},  {".json", "GeoJSON"},
    {".shp", "ESRI Shapefile"}, {".tab", "MapInfo File"}, {".mif", "MapInfo File"},
    {".fgb", "FlatGeobuf"},     {".csv", "CSV"},          {".kml", "KML"},
};

// Formats that hold one layer per file: each layer gets a file of its own,
// named after the output with the layer's name appended.
bool OneLayerPerFile(const std::string& driver) {
  static const std::set<std::string> kOne{"ESRI Shapefile", "MapInfo File", "CSV",
                                          "GeoJSON",        "FlatGeobuf",   "GeoJSONSeq"};
  return kOne.count(driver) != 0;
}

// The files that go with a format's main file under its name, made now or
// left from an earlier run (an old .prj or index would describe the new
// data wrongly).
const std::set<std::string>& Companions(const std::string& driver) {
  static const std::map<std::string, std::set<std::string>> kCompanions{
      {"ESRI Shapefile", {".shp", ".shx", ".dbf", ".prj", ".cpg", ".qix", ".sbn", ".sbx"}},
      {"MapInfo File", {".tab", ".dat", ".map", ".id", ".ind", ".mif", ".mid"}},
      {"CSV", {".csv", ".csvt", ".prj"}},
  };
  static const std::set<std::string> kNone;
  const auto it = kCompanions.find(driver);
  return it == kCompanions.end() ? kNone : it->second;
}

// A whole number in decimal digits, with a minus sign or none, within 64 bits.
std::optional<int64_t> WholeNumber(const std::string& text) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, value);
  if (text.empty() || r.ec != std::errc() || r.ptr != end) return std::nullopt;
  return value;
}

// Formats whose text fields have a fixed width of at most 254 bytes.
bool FixedWidthText(const std::string& driver) {
  return driver == "ESRI Shapefile" || driver == "MapInfo File";
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// GDAL's last error, on one line.
std::string LastGdalError(const std::string& fallback) {
  std::string message = CPLGetLastErrorMsg();
  for (char& c : message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return message.empty() ? fallback : message;
}

// Keeps GDAL's own messages off standard error while it lives: failures are
// reported in one line by the caller, from GDAL's last error.
class QuietGdal {
 public:
  QuietGdal() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietGdal() { CPLPopErrorHandler(); }
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;
};

struct DatasetCloser {
  void operator()(GDALDataset* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

struct FeatureDeleter {
  void operator()(OGRFeature* f) const { OGRFeature::DestroyFeature(f); }
};

// Where the features are written: the CRS given, and for KML, which holds
// only WGS 84 longitudes and latitudes, the transformation to it.
struct Frame {
  std::unique_ptr<OGRSpatialReference> crs;
  std::unique_ptr<OGRSpatialReference> wgs84;
  std::unique_ptr<OGRCoordinateTransformation> to_wgs84;
  OGRSpatialReference* layer_crs() const { return wgs84 ? wgs84.get() : crs.get(); }
  void Place(double& x, double& y) const {
    if (to_wgs84 && !to_wgs84->Transform(1, &x, &y)) {
      throw Failure{2, "cannot transform a point to WGS 84 for KML: " +
                           LastGdalError("outside the CRS's area")};
    }
  }
};

Frame MakeFrame(const GisOutput& output, const std::string& driver) {
  Frame frame;
  if (!output.crs.empty()) {
    frame.crs = std::make_unique<OGRSpatialReference>();
    if (frame.crs->SetFromUserInput(output.crs.c_str()) != OGRERR_NONE) {
      throw Failure{2, "--crs \"" + output.crs + "\" is no coordinate reference system GDAL knows"};
    }
    frame.crs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  }
  if (driver == "KML" || driver == "LIBKML") {
    if (!frame.crs) throw Failure{2, "KML holds WGS 84 coordinates: give the drawing's --crs"};
    frame.wgs84 = std::make_unique<OGRSpatialReference>();
    frame.wgs84->SetWellKnownGeogCS("WGS84");
    frame.wgs84->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    frame.to_wgs84.reset(OGRCreateCoordinateTransformation(frame.crs.get(), frame.wgs84.get()));
    if (!frame.to_wgs84) {
      throw Failure{2, "--crs \"" + output.crs + "\" cannot be transformed to WGS 84: " +
                           LastGdalError("no transformation")};
    }
  }
  return frame;
}

OGRLineString Line(const std::vector<geometry::Point2>& points, const Frame& frame) {
  OGRLineString line;
  for (const auto& p : points) {
    double x = p[0], y = p[1];
    frame.Place(x, y);
    line.addPoint(x, y);
  }
  return line;
}

// What every layer is written with.
struct Context {
  const GisRiver& river;
  const Frame& frame;
  std::string driver;
  std::string bounds;  // MapInfo's: the extent, so that no precision is lost
  std::vector<std::string>& warnings;
};

// A layer being written: its fields by name, and a feature at a time.
class LayerWriter {
 public:
  LayerWriter(GDALDataset& ds, const char* name, OGRwkbGeometryType type, const Context& c)
      : c_(c), name_(name) {
    char** options = nullptr;
    if (c.driver == "CSV") {
      options = CSLSetNameValue(options, "GEOMETRY", "AS_WKT");
      options = CSLSetNameValue(options, "CREATE_CSVT", "YES");
    }
    // A GeoPackage's R-tree, built when the file closes, takes longer than
    // writing every feature and reading the drawing together; a river's few
    // thousand lines draw quickly without it, and QGIS adds one on request.
    if (c.driver == "GPKG") options = CSLSetNameValue(options, "SPATIAL_INDEX", "NO");
    if (c.driver == "MapInfo File" && !c.bounds.empty()) {
      options = CSLSetNameValue(options, "BOUNDS", c.bounds.c_str());
    }
    layer_ = ds.CreateLayer(name, c.frame.layer_crs(), type, options);
    CSLDestroy(options);
    if (layer_ == nullptr) Fail(std::string("cannot make the layer ") + name);
  }

  void Field(const char* name, OGRFieldType type) {
    OGRFieldDefn field(name, type);
    if (layer_->CreateField(&field) != OGRERR_NONE) Fail(std::string("cannot add field ") + name);
  }
  // A text field wide enough to be edited: the 254 bytes formats of fixed
  // widths hold at most, where a longer text is cut and a line says so, and
  // of no set width elsewhere.
  template <class T, class F>
  void TextField(const char* name, const std::vector<T>& items, F&& text) {
    size_t cut = 0;
    for (const T& item : items) cut += text(item).size() > 254 ? 1 : 0;
    if (cut > 0 && FixedWidthText(c_.driver)) {
      c_.warnings.push_back(std::to_string(cut) + " values of the field " + name +
                            " of the layer " + name_ + " were cut to the format's 254 bytes");
    }
    OGRFieldDefn field(name, OFTString);
    field.SetWidth(FixedWidthText(c_.driver) ? 254 : 0);
    if (layer_->CreateField(&field) != OGRERR_NONE) Fail(std::string("cannot add field ") + name);
  }
  // A section number field: whole numbers where every value is one, so that
  // a GIS sorts and joins them as numbers; else text.
  template <class T, class F>
  void NumberField(const char* name, const std::vector<T>& items, F&& text) {
    bool whole = true, wide = false;
    for (const T& item : items) {
      const std::optional<int64_t> n = WholeNumber(text(item));
      whole = whole && n.has_value();
      wide = wide || (n && (*n < INT32_MIN || *n > INT32_MAX));
    }
    if (!whole) return TextField(name, items, text);
    whole_.insert(name);
    Field(name, wide ? OFTInteger64 : OFTInteger);
  }
  // Sets a field NumberField made, as a number or as text.
  void SetNumberText(OGRFeature& f, const char* name, const std::string& value) const {
    if (whole_.count(name) != 0) {
      f.SetField(name, static_cast<GIntBig>(*WholeNumber(value)));
    } else {
      f.SetField(name, value.c_str());
    }
  }

  // A new feature, to be filled and then added.
  std::unique_ptr<OGRFeature, FeatureDeleter> New() const {
    return std::unique_ptr<OGRFeature, FeatureDeleter>(
        OGRFeature::CreateFeature(layer_->GetLayerDefn()));
  }
  void Add(OGRFeature& feature) {
    if (layer_->CreateFeature(&feature) != OGRERR_NONE) Fail("cannot write a feature");
    ++added_;
  }
  size_t added() const { return added_; }

 private:
  [[noreturn]] static void Fail(const std::string& what) {
    throw Failure{2, what + ": " + LastGdalError("the driver refused")};
  }
  const Context& c_;
  std::string name_;
  OGRLayer* layer_ = nullptr;
  size_t added_ = 0;
  std::set<std::string> whole_;  // fields of whole numbers
};

void SetText(OGRFeature& f, const char* field, const std::string& value) {
  f.SetField(field, value.c_str());
}

template <class T>
void SetOptional(OGRFeature& f, const char* field, const std::optional<T>& value) {
  if (value) {
    f.SetField(field, *value);
  } else {
    f.SetFieldNull(f.GetFieldIndex(field));
  }
}

void SetDate(OGRFeature& f, const char* field, const std::optional<host::Date>& date) {
  int year = 0, month = 0, day = 0;
  if (date && std::sscanf(host::DateToText(*date).c_str(), "%d-%d-%d", &year, &month, &day) == 3) {
    f.SetField(f.GetFieldIndex(field), year, month, day);
  } else {
    f.SetFieldNull(f.GetFieldIndex(field));
  }
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "; ") + p;
  return out;
}

size_t WriteReaches(GDALDataset& ds, const Context& c) {
  const auto& reaches = c.river.reaches;
  LayerWriter layer(ds, "reaches", wkbLineString, c);
  layer.TextField("handle", reaches, [](const GisReach& r) { return r.handle; });
  layer.TextField("reach_no", reaches, [](const GisReach& r) { return r.reach_no; });
  layer.Field("current", OFTInteger);
  layer.TextField("photo_dir", reaches, [](const GisReach& r) { return r.photo_dir; });
  layer.Field("length", OFTReal);
  for (const GisReach& reach : reaches) {
    auto f = layer.New();
    SetText(*f, "handle", reach.handle);
    SetText(*f, "reach_no", reach.reach_no);
    f->SetField("current", reach.current ? 1 : 0);
    SetText(*f, "photo_dir", reach.photo_dir);
    f->SetField("length", reach.length);
    OGRLineString line = Line(reach.line, c.frame);
    f->SetGeometry(&line);
    layer.Add(*f);
  }
  return layer.added();
}

size_t WriteSections(GDALDataset& ds, const Context& c) {
  const auto& s = c.river.sections;
  LayerWriter layer(ds, "sections", wkbLineString, c);
  layer.TextField("handle", s, [](const GisSection& x) { return x.handle; });
  layer.NumberField("sect_no", s, [](const GisSection& x) { return x.sect_no; });
  layer.TextField("sect_name", s, [](const GisSection& x) { return x.sect_name; });
  layer.TextField("reach_no", s, [](const GisSection& x) { return x.reach_no; });
  layer.Field("chainage", OFTReal);
  layer.Field("mike11_ch", OFTReal);
  layer.Field("bearing", OFTReal);
  layer.TextField("descr", s, [](const GisSection& x) { return x.descr; });
  layer.Field("water_date", OFTDate);
  layer.Field("through", OFTInteger);
  layer.Field("easting", OFTReal);
  layer.Field("northing", OFTReal);
  layer.TextField("source", s, [](const GisSection& x) { return x.source; });
  layer.TextField("problems", s, [](const GisSection& x) { return Joined(x.problems); });
  for (const GisSection& section : s) {
    auto f = layer.New();
    SetText(*f, "handle", section.handle);
    layer.SetNumberText(*f, "sect_no", section.sect_no);
    SetText(*f, "sect_name", section.sect_name);
    SetText(*f, "reach_no", section.reach_no);
    SetOptional(*f, "chainage", section.chainage);
    SetOptional(*f, "mike11_ch", section.mike11_ch);
    SetOptional(*f, "bearing", section.bearing);
    SetText(*f, "descr", section.descr);
    SetDate(*f, "water_date", section.water_date);
    SetOptional(*f, "through",
                section.through ? std::optional<int>(*section.through ? 1 : 0) : std::nullopt);
    SetOptional(*f, "easting", section.easting);
    SetOptional(*f, "northing", section.northing);
    SetText(*f, "source", section.source);
    SetText(*f, "problems", Joined(section.problems));
    // A section without a readable profile keeps its place, without a
    // geometry (not every format holds an empty line).
    if (!section.line.empty()) {
      OGRLineString line = Line(section.line, c.frame);
      f->SetGeometry(&line);
    }
    layer.Add(*f);
  }
  return layer.added();
}

size_t WriteCentrePoints(GDALDataset& ds, const Context& c) {
  const auto& points = c.river.centre_points;
  LayerWriter layer(ds, "centre_points", wkbPoint, c);
  layer.TextField("handle", points, [](const GisCentrePoint& p) { return p.handle; });
  layer.NumberField("sect_no", points, [](const GisCentrePoint& p) { return p.sect_no; });
  for (const GisCentrePoint& point : points) {
    auto f = layer.New();
    SetText(*f, "handle", point.handle);
    layer.SetNumberText(*f, "sect_no", point.sect_no);
    double x = point.at[0], y = point.at[1];
    c.frame.Place(x, y);
    OGRPoint p(x, y);
    f->SetGeometry(&p);
    layer.Add(*f);
  }
  return layer.added();
}

size_t WriteFindings(GDALDataset& ds, const Context& c) {
  const auto& findings = *c.river.findings;
  LayerWriter layer(ds, "findings", wkbLineString, c);
  layer.Field("severity", OFTString);
  layer.Field("code", OFTString);
  layer.TextField("reach", findings, [](const GisFinding& f) { return f.reach; });
  layer.TextField("section", findings, [](const GisFinding& f) { return f.section; });
  layer.TextField("handles", findings, [](const GisFinding& f) { return f.handles; });
  layer.TextField("text", findings, [](const GisFinding& f) { return f.text; });
  for (const GisFinding& finding : findings) {
    auto f = layer.New();
    SetText(*f, "severity", finding.severity);
    SetText(*f, "code", finding.code);
    SetText(*f, "reach", finding.reach);
    SetText(*f, "section", finding.section);
    SetText(*f, "handles", finding.handles);
    SetText(*f, "text", finding.text);
    if (!finding.line.empty()) {
      OGRLineString line = Line(finding.line, c.frame);
      f->SetGeometry(&line);
    }
    layer.Add(*f);
  }
  return layer.added();
}

// Writes one layer; the number of features given to it.
using LayerFunction = size_t (*)(GDALDataset&, const Context&);
struct LayerSpec {
  const char* name;
  LayerFunction write;
};
constexpr LayerSpec kRiverLayers[] = {
    {"reaches", WriteReaches},
    {"sections", WriteSections},
    {"centre_points", WriteCentrePoints},
};
constexpr LayerSpec kFindingLayers[] = {{"findings", WriteFindings}};

std::span<const LayerSpec> LayersOf(bool findings) {
  if (findings) return kFindingLayers;
  return kRiverLayers;
}

// The layers' QGIS styles in the table QGIS reads a layer's default style
// from, with the columns QGIS itself writes there: a GeoPackage opens in
// QGIS styled.
void WriteQgisStyles(GDALDataset& ds, std::span<const LayerSpec> layers) {
  OGRLayer* table = ds.CreateLayer("layer_styles", nullptr, wkbNone, nullptr);
  if (table == nullptr) throw Failure{2, "cannot add the QGIS styles: " + LastGdalError("")};
  for (const char* name : {"f_table_catalog", "f_table_schema", "f_table_name", "f_geometry_column",
                           "styleName", "styleQML", "styleSLD", "description", "owner", "ui"}) {
    OGRFieldDefn field(name, OFTString);
    table->CreateField(&field);
  }
  OGRFieldDefn use("useAsDefault", OFTInteger);
  use.SetSubType(OFSTBoolean);
  table->CreateField(&use);
  OGRFieldDefn time("update_time", OFTDateTime);
  table->CreateField(&time);
  for (const LayerSpec& layer : layers) {
    OGRLayer* written = ds.GetLayerByName(layer.name);
    if (written == nullptr) continue;
    std::unique_ptr<OGRFeature> f(OGRFeature::CreateFeature(table->GetLayerDefn()));
    f->SetField("f_table_catalog", "");
    f->SetField("f_table_schema", "");
    f->SetField("f_table_name", layer.name);
    f->SetField("f_geometry_column", written->GetGeometryColumn());
    f->SetField("styleName", layer.name);
    f->SetField("styleQML", std::string(QgisStyleOf(layer.name)).c_str());
    f->SetField("styleSLD", "");
    f->SetField("useAsDefault", 1);
    f->SetField("description", "Palvane");
    f->SetField("owner", "");
    f->SetField("ui", "");
    if (table->CreateFeature(f.get()) != OGRERR_NONE) {
      throw Failure{2, "cannot add the QGIS styles: " + LastGdalError("")};
    }
  }
}

// The extent of every point written, a tenth wider on each side, as
// MapInfo's BOUNDS: it keeps coordinates on a grid of the extent over 2^31,
// so without them a projection's whole area would cost precision.
std::string MapInfoBounds(const GisRiver& river, const Frame& frame) {
  double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
  auto grow = [&](const geometry::Point2& p) {
    double x = p[0], y = p[1];
    frame.Place(x, y);
    lo[0] = std::min(lo[0], x), lo[1] = std::min(lo[1], y);
    hi[0] = std::max(hi[0], x), hi[1] = std::max(hi[1], y);
  };
  for (const auto& r : river.reaches) std::for_each(r.line.begin(), r.line.end(), grow);
  for (const auto& s : river.sections) std::for_each(s.line.begin(), s.line.end(), grow);
  for (const auto& p : river.centre_points) grow(p.at);
  if (river.findings) {
    for (const auto& f : *river.findings) std::for_each(f.line.begin(), f.line.end(), grow);
  }
  if (lo[0] > hi[0]) return "";
  const double margin = std::max({hi[0] - lo[0], hi[1] - lo[1], 1.0}) / 10;
  char buf[160];
  std::snprintf(buf, sizeof buf, "%.17g,%.17g,%.17g,%.17g", lo[0] - margin, lo[1] - margin,
                hi[0] + margin, hi[1] + margin);
  return buf;
}

// Writes the layers into `ds` in one transaction where the format has them
// (GeoPackage): committing each feature on its own is many times slower.
template <class F>
void InTransaction(GDALDataset& ds, F&& write) {
  const bool transaction =
      ds.TestCapability(ODsCTransactions) && ds.StartTransaction() == OGRERR_NONE;
  write();
  if (transaction && ds.CommitTransaction() != OGRERR_NONE) {
    throw Failure{2, "cannot write: " + LastGdalError("the transaction was refused")};
  }
}

Dataset Create(GDALDriver& driver, const fs::path& file, const std::string& name,
               const std::string& extension) {
  char** options = nullptr;
  if (name == "MapInfo File" && Lower(extension) == ".mif") {
    options = CSLSetNameValue(options, "FORMAT", "MIF");
  }
  Dataset ds(driver.Create(file.string().c_str(), 0, 0, 0, GDT_Unknown, options));
  CSLDestroy(options);
  if (!ds) throw Failure{2, "cannot write " + file.string() + ": " + LastGdalError("refused")};
  return ds;
}

// A folder of its own beside the output, removed with what it holds unless
// its files were moved out.
class Scratch {
 public:
  Scratch(const fs::path& beside, const GisOutput& output) : output_(output) {
    const fs::path parent = beside.parent_path().empty() ? fs::path(".") : beside.parent_path();
    for (int attempt = 0;; ++attempt) {
      path_ = parent / ("." + beside.filename().string() + "." + std::to_string(::getpid()) + "-" +
                        std::to_string(attempt) + ".tmp");
      // Registered before it is made: an interruption between the two
      // would leave it behind. The name holds this process's number, so
      // that no other process's folder is named.
      if (output_.register_temporary != nullptr) {
        slot_ = output_.register_temporary(path_.string(), true);
      }
      std::error_code ec;
      if (fs::create_directory(path_, ec)) break;
      if (output_.release_temporary != nullptr) output_.release_temporary(slot_);
      slot_ = -1;
      if (ec || attempt >= 100) {
        throw Failure{2, "cannot write beside " + beside.string() + ": " +
                             (ec ? ec.message() : "too many temporary folders")};
      }
    }
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path_, ec);
    if (output_.release_temporary != nullptr) output_.release_temporary(slot_);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const fs::path& path() const { return path_; }

 private:
  const GisOutput& output_;
  int slot_ = -1;
  fs::path path_;
};

}  // namespace

std::string DriverForPath(const std::string& path) {
  const std::string extension = Lower(fs::path(path).extension().string());
  for (const Format& f : kFormats) {
    if (extension == f.extension) return f.driver;
  }
  return "";
}

std::vector<std::string> OutputFiles(const std::string& path, const std::string& driver,
                                     bool findings) {
  if (!OneLayerPerFile(driver)) return {path};
  const fs::path p(path);
  std::vector<std::string> files;
  for (const LayerSpec& layer : LayersOf(findings)) {
    files.push_back(
        (p.parent_path() / (p.stem().string() + "_" + layer.name + p.extension().string()))
            .string());
  }
  return files;
}

GisWritten WriteGis(const GisRiver& river, const GisOutput& output) {
  GDALAllRegister();
  const QuietGdal quiet;
  const std::string asked = output.driver.empty() ? DriverForPath(output.path) : output.driver;
  if (asked.empty()) {
    throw Failure{2, "no GIS format for \"" + output.path +
                         "\": give -f DRIVER or one of .gpkg, .geojson, .shp, .tab, .mif, .fgb, "
                         ".csv, .kml"};
  }
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(asked.c_str());
  if (driver == nullptr || driver->GetMetadataItem(GDAL_DCAP_VECTOR) == nullptr ||
      driver->GetMetadataItem(GDAL_DCAP_CREATE) == nullptr) {
    throw Failure{2, "-f \"" + asked + "\" is no GDAL driver that creates vector data"};
  }
  // GDAL takes a driver's name in any letter case; its own spelling decides.
  const std::string driver_name = driver->GetDescription();
  if (driver_name == "XLSX" || driver_name == "ODS") {
    throw Failure{2, driver_name +
                         " is a spreadsheet, which holds no geometry: write .csv for a table "
                         "(its geometry as WKT), or .gpkg"};
  }
  const Frame frame = MakeFrame(output, driver_name);
  GisWritten result;
  const Context context{river, frame, driver_name,
                        driver_name == "MapInfo File" ? MapInfoBounds(river, frame) : "",
                        result.warnings};
  if (river.tolerance_missed) {
    result.warnings.push_back("some arcs needed more than " +
                              std::to_string(geometry::kMostArcPieces) +
                              " chords each: theirs stray further than --arc-tolerance");
  }

  const std::span<const LayerSpec> layers = LayersOf(river.findings.has_value());
  const std::vector<std::string> targets =
      OutputFiles(output.path, driver_name, river.findings.has_value());
  const fs::path parent = fs::path(output.path).parent_path();
  std::error_code ec;
  for (const std::string& target : targets) {
    if (!output.source.empty() && fs::equivalent(target, output.source, ec)) {
      throw Failure{2, target + " is the drawing read; choose another -o"};
    }
  }
  // A file of the output's, or left beside it by an earlier run under one
  // of its names, is replaced only when asked.
  std::vector<fs::path> stale;
  for (const std::string& target : targets) {
    const fs::path t(target);
    std::set<std::string> names{t.extension().string()};
    names.insert(Companions(driver_name).begin(), Companions(driver_name).end());
    for (const std::string& extension : names) {
      const fs::path file = t.parent_path() / (t.stem().string() + extension);
      if (fs::exists(file, ec)) stale.push_back(file);
    }
  }
  if (!stale.empty() && !output.overwrite) {
    throw Failure{
        2, stale.front().string() + ": the file exists; it is replaced only with --overwrite"};
  }

  const Scratch scratch(output.path, output);
  // A message names the output, never the temporary folder it is made in.
  try {
    const std::string extension = fs::path(output.path).extension().string();
    // The features each layer was given, and the file that holds it.
    std::vector<std::pair<size_t, fs::path>> given;
    if (OneLayerPerFile(driver_name)) {
      for (size_t i = 0; i < layers.size(); ++i) {
        const fs::path file = scratch.path() / fs::path(targets[i]).filename();
        Dataset ds = Create(*driver, file, driver_name, extension);
        InTransaction(*ds, [&] { given.emplace_back(layers[i].write(*ds, context), file); });
        ds.reset();
        if (CPLGetLastErrorType() >= CE_Failure) {
          throw Failure{2, "cannot write " + targets[i] + ": " + LastGdalError("write failed")};
        }
      }
    } else {
      const fs::path file = scratch.path() / fs::path(output.path).filename();
      Dataset ds = Create(*driver, file, driver_name, extension);
      InTransaction(*ds, [&] {
        for (const LayerSpec& layer : layers) given.emplace_back(layer.write(*ds, context), file);
        if (driver_name == "GPKG") WriteQgisStyles(*ds, layers);
      });
      ds.reset();
      if (CPLGetLastErrorType() >= CE_Failure) {
        throw Failure{2, "cannot write " + output.path + ": " + LastGdalError("write failed")};
      }
    }

    // What the files hold, read back: a format that kept fewer features than
    // it was given (FlatGeobuf keeps none without geometry) fails the whole
    // output, which is then absent.
    for (size_t i = 0; i < given.size(); ++i) {
      Dataset back(
          GDALDataset::Open(given[i].second.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
      OGRLayer* layer = !back                        ? nullptr
                        : back->GetLayerCount() == 1 ? back->GetLayer(0)
                                                     : back->GetLayerByName(layers[i].name);
      if (layer == nullptr) {
        throw Failure{2, "cannot read back what was written to " + output.path + ": " +
                             LastGdalError("no such layer")};
      }
      const GIntBig kept = layer->GetFeatureCount(TRUE);
      if (kept < 0 || static_cast<size_t>(kept) != given[i].first) {
        throw Failure{2, driver_name + " kept " + std::to_string(kept) + " of the " +
                             std::to_string(given[i].first) + " features of the layer " +
                             layers[i].name +
                             (driver_name == "FlatGeobuf"
                                  ? " (it keeps no feature without geometry): choose another format"
                                  : "")};
      }
      result.features[layers[i].name] = given[i].first;
    }

    // Every file is made: the stale ones go, and the new ones, companions
    // too, are moved into place.
    for (const fs::path& file : stale) fs::remove(file, ec);
    std::vector<fs::path> made;
    for (const auto& entry : fs::directory_iterator(scratch.path())) made.push_back(entry.path());
    std::sort(made.begin(), made.end());
    for (const fs::path& file : made) {
      const fs::path target = parent / file.filename();
      fs::rename(file, target, ec);
      if (ec) {
        // Absent rather than half there: the files already moved go too.
        std::error_code gone;
        for (const std::string& w : result.files) fs::remove(w, gone);
        throw Failure{2, "cannot write " + target.string() + ": " + ec.message()};
      }
      result.files.push_back(target.string());
    }
  } catch (Failure& f) {
    const std::string temporary = scratch.path().string();
    const std::string instead = parent.empty() ? "." : parent.string();
    for (size_t at = f.reason.find(temporary); at != std::string::npos;
         at = f.reason.find(temporary, at + instead.size())) {
      f.reason.replace(at, temporary.size(), instead);
    }
    throw;
  }
  return result;
}

}  // namespace palvane::tools
