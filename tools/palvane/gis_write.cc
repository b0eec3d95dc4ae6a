#include "gis_write.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "failure.h"
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

// A layer being written: its fields by name, and a feature at a time.
class LayerWriter {
 public:
  LayerWriter(GDALDataset& ds, const char* name, OGRwkbGeometryType type, const Frame& frame,
              const std::string& driver, bool some_without_geometry = false)
      : frame_(frame) {
    char** options = nullptr;
    if (driver == "CSV") {
      options = CSLSetNameValue(options, "GEOMETRY", "AS_WKT");
      options = CSLSetNameValue(options, "CREATE_CSVT", "YES");
    }
    // FlatGeobuf's spatial index leaves out features without geometry.
    if (driver == "FlatGeobuf" && some_without_geometry) {
      options = CSLSetNameValue(options, "SPATIAL_INDEX", "NO");
    }
    // A GeoPackage's R-tree, built when the file closes, takes longer than
    // writing every feature and reading the drawing together; a river's few
    // thousand lines draw quickly without it, and QGIS adds one on request.
    if (driver == "GPKG") options = CSLSetNameValue(options, "SPATIAL_INDEX", "NO");
    layer_ = ds.CreateLayer(name, frame.layer_crs(), type, options);
    CSLDestroy(options);
    if (layer_ == nullptr) Fail(std::string("cannot make the layer ") + name);
  }

  void Field(const char* name, OGRFieldType type, int width = 0) {
    OGRFieldDefn field(name, type);
    if (width > 0) field.SetWidth(width);
    if (layer_->CreateField(&field) != OGRERR_NONE) Fail(std::string("cannot add field ") + name);
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
  const Frame& frame() const { return frame_; }

 private:
  [[noreturn]] static void Fail(const std::string& what) {
    throw Failure{2, what + ": " + LastGdalError("the driver refused")};
  }
  OGRLayer* layer_ = nullptr;
  const Frame& frame_;
  size_t added_ = 0;
};

void SetText(OGRFeature& f, const char* field, const std::string& value) {
  f.SetField(field, value.c_str());
}

void SetOptional(OGRFeature& f, const char* field, const std::optional<double>& value) {
  if (value) {
    f.SetField(field, *value);
  } else {
    f.SetFieldNull(f.GetFieldIndex(field));
  }
}

void SetDate(OGRFeature& f, const char* field, host::Date date) {
  int year = 0, month = 0, day = 0;
  if (std::sscanf(host::DateToText(date).c_str(), "%d-%d-%d", &year, &month, &day) == 3) {
    f.SetField(f.GetFieldIndex(field), year, month, day);
  } else {
    f.SetFieldNull(f.GetFieldIndex(field));
  }
}

// The widest text of a field, at least 1, for formats that fix widths.
template <class T, class F>
int Width(const std::vector<T>& items, F&& text) {
  size_t widest = 1;
  for (const T& item : items) widest = std::max(widest, text(item).size());
  return static_cast<int>(std::min<size_t>(widest, 254));
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "; ") + p;
  return out;
}

size_t WriteReaches(GDALDataset& ds, const GisRiver& river, const Frame& frame,
                    const std::string& driver) {
  LayerWriter layer(ds, "reaches", wkbLineString, frame, driver);
  layer.Field("handle", OFTString, 16);
  layer.Field("reach_no", OFTString,
              Width(river.reaches, [](const GisReach& r) { return r.reach_no; }));
  layer.Field("current", OFTInteger);
  layer.Field("photo_dir", OFTString,
              Width(river.reaches, [](const GisReach& r) { return r.photo_dir; }));
  layer.Field("length", OFTReal);
  for (const GisReach& reach : river.reaches) {
    auto f = layer.New();
    SetText(*f, "handle", reach.handle);
    SetText(*f, "reach_no", reach.reach_no);
    f->SetField("current", reach.current ? 1 : 0);
    SetText(*f, "photo_dir", reach.photo_dir);
    f->SetField("length", reach.length);
    OGRLineString line = Line(reach.line, frame);
    f->SetGeometry(&line);
    layer.Add(*f);
  }
  return layer.added();
}

size_t WriteSections(GDALDataset& ds, const GisRiver& river, const Frame& frame,
                     const std::string& driver) {
  const auto& s = river.sections;
  const bool some_without =
      std::any_of(s.begin(), s.end(), [](const GisSection& x) { return x.line.empty(); });
  LayerWriter layer(ds, "sections", wkbLineString, frame, driver, some_without);
  layer.Field("handle", OFTString, 16);
  layer.Field("sect_no", OFTString, Width(s, [](const GisSection& x) { return x.sect_no; }));
  layer.Field("sect_name", OFTString, Width(s, [](const GisSection& x) { return x.sect_name; }));
  layer.Field("reach_no", OFTString, Width(s, [](const GisSection& x) { return x.reach_no; }));
  layer.Field("chainage", OFTReal);
  layer.Field("mike11_ch", OFTReal);
  layer.Field("bearing", OFTReal);
  layer.Field("descr", OFTString, Width(s, [](const GisSection& x) { return x.descr; }));
  layer.Field("water_date", OFTDate);
  layer.Field("through", OFTInteger);
  layer.Field("easting", OFTReal);
  layer.Field("northing", OFTReal);
  layer.Field("source", OFTString, 12);
  layer.Field("problems", OFTString,
              Width(s, [](const GisSection& x) { return Joined(x.problems); }));
  for (const GisSection& section : s) {
    auto f = layer.New();
    SetText(*f, "handle", section.handle);
    SetText(*f, "sect_no", section.sect_no);
    SetText(*f, "sect_name", section.sect_name);
    SetText(*f, "reach_no", section.reach_no);
    f->SetField("chainage", section.chainage);
    SetOptional(*f, "mike11_ch", section.mike11_ch);
    f->SetField("bearing", section.bearing);
    SetText(*f, "descr", section.descr);
    SetDate(*f, "water_date", section.water_date);
    f->SetField("through", section.through ? 1 : 0);
    SetOptional(*f, "easting", section.easting);
    SetOptional(*f, "northing", section.northing);
    SetText(*f, "source", section.source);
    SetText(*f, "problems", Joined(section.problems));
    // A section without a readable profile keeps its place, without a
    // geometry (not every format holds an empty line).
    if (!section.line.empty()) {
      OGRLineString line = Line(section.line, frame);
      f->SetGeometry(&line);
    }
    layer.Add(*f);
  }
  return layer.added();
}

size_t WriteCentrePoints(GDALDataset& ds, const GisRiver& river, const Frame& frame,
                         const std::string& driver) {
  LayerWriter layer(ds, "centre_points", wkbPoint, frame, driver);
  layer.Field("handle", OFTString, 16);
  layer.Field("sect_no", OFTString,
              Width(river.centre_points, [](const GisCentrePoint& p) { return p.sect_no; }));
  for (const GisCentrePoint& point : river.centre_points) {
    auto f = layer.New();
    SetText(*f, "handle", point.handle);
    SetText(*f, "sect_no", point.sect_no);
    double x = point.at[0], y = point.at[1];
    frame.Place(x, y);
    OGRPoint p(x, y);
    f->SetGeometry(&p);
    layer.Add(*f);
  }
  return layer.added();
}

// Writes one layer; the number of features given to it.
using LayerFunction = size_t (*)(GDALDataset&, const GisRiver&, const Frame&, const std::string&);
struct LayerSpec {
  const char* name;
  LayerFunction write;
};
constexpr LayerSpec kLayers[] = {
    {"reaches", WriteReaches},
    {"sections", WriteSections},
    {"centre_points", WriteCentrePoints},
};

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
  explicit Scratch(const fs::path& beside) {
    const fs::path parent = beside.parent_path().empty() ? fs::path(".") : beside.parent_path();
    for (int attempt = 0;; ++attempt) {
      path_ = parent / ("." + beside.filename().string() + "." + std::to_string(::getpid()) + "-" +
                        std::to_string(attempt) + ".tmp");
      std::error_code ec;
      if (fs::create_directory(path_, ec)) break;
      if (ec || attempt >= 100) {
        throw Failure{2, "cannot write beside " + beside.string() + ": " +
                             (ec ? ec.message() : "too many temporary folders")};
      }
    }
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const fs::path& path() const { return path_; }

 private:
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

std::vector<std::string> OutputFiles(const std::string& path, const std::string& driver) {
  if (!OneLayerPerFile(driver)) return {path};
  const fs::path p(path);
  std::vector<std::string> files;
  for (const LayerSpec& layer : kLayers) {
    files.push_back(
        (p.parent_path() / (p.stem().string() + "_" + layer.name + p.extension().string()))
            .string());
  }
  return files;
}

std::vector<std::string> WriteGis(const GisRiver& river, const GisOutput& output,
                                  std::vector<std::string>* warnings) {
  std::vector<std::string> ignored;
  std::vector<std::string>& said = warnings != nullptr ? *warnings : ignored;
  GDALAllRegister();
  const QuietGdal quiet;
  const std::string driver_name =
      output.driver.empty() ? DriverForPath(output.path) : output.driver;
  if (driver_name.empty()) {
    throw Failure{2, "no GIS format for \"" + output.path +
                         "\": give -f DRIVER or one of .gpkg, "
                         ".geojson, .shp, .tab, .mif, .fgb, "
                         ".csv, .kml"};
  }
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driver_name.c_str());
  if (driver == nullptr || driver->GetMetadataItem(GDAL_DCAP_VECTOR) == nullptr ||
      driver->GetMetadataItem(GDAL_DCAP_CREATE) == nullptr) {
    throw Failure{2, "-f \"" + driver_name + "\" is no GDAL driver that creates vector data"};
  }
  const Frame frame = MakeFrame(output, driver_name);

  const std::vector<std::string> targets = OutputFiles(output.path, driver_name);
  std::error_code ec;
  for (const std::string& target : targets) {
    if (!output.source.empty() && fs::equivalent(target, output.source, ec)) {
      throw Failure{2, target + " is the drawing read; choose another -o"};
    }
    if (!output.overwrite && fs::exists(target, ec)) {
      throw Failure{2, target + ": the file exists; it is replaced only with --overwrite"};
    }
  }

  const Scratch scratch(output.path);
  const std::string extension = fs::path(output.path).extension().string();
  // The features each layer was given, and the file that holds it.
  std::vector<std::pair<size_t, fs::path>> given;
  if (OneLayerPerFile(driver_name)) {
    for (size_t i = 0; i < std::size(kLayers); ++i) {
      const fs::path file = scratch.path() / fs::path(targets[i]).filename();
      Dataset ds = Create(*driver, file, driver_name, extension);
      InTransaction(
          *ds, [&] { given.emplace_back(kLayers[i].write(*ds, river, frame, driver_name), file); });
      ds.reset();
      if (CPLGetLastErrorType() >= CE_Failure) {
        throw Failure{2, "cannot write " + targets[i] + ": " + LastGdalError("write failed")};
      }
    }
  } else {
    const fs::path file = scratch.path() / fs::path(output.path).filename();
    Dataset ds = Create(*driver, file, driver_name, extension);
    InTransaction(*ds, [&] {
      for (const LayerSpec& layer : kLayers) {
        given.emplace_back(layer.write(*ds, river, frame, driver_name), file);
      }
    });
    ds.reset();
    if (CPLGetLastErrorType() >= CE_Failure) {
      throw Failure{2, "cannot write " + output.path + ": " + LastGdalError("write failed")};
    }
  }

  // What the files hold, read back: a format that kept fewer features than
  // it was given (FlatGeobuf keeps none without geometry) is said so, never
  // a silent loss.
  for (size_t i = 0; i < given.size(); ++i) {
    Dataset back(
        GDALDataset::Open(given[i].second.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    OGRLayer* layer = !back                        ? nullptr
                      : back->GetLayerCount() == 1 ? back->GetLayer(0)
                                                   : back->GetLayerByName(kLayers[i].name);
    if (layer == nullptr) {
      throw Failure{2, "cannot read back what was written to " + output.path + ": " +
                           LastGdalError("no such layer")};
    }
    const GIntBig kept = layer->GetFeatureCount(TRUE);
    if (kept >= 0 && static_cast<size_t>(kept) < given[i].first) {
      said.push_back(std::to_string(given[i].first - static_cast<size_t>(kept)) + " of " +
                     std::to_string(given[i].first) + " features of the layer " + kLayers[i].name +
                     " were left out by the format (it keeps no feature without geometry)");
    }
  }

  // Every file is made: they are moved into place, companions too (.shx,
  // .dbf, .prj, ...). A file that came meanwhile is not replaced unasked.
  const fs::path parent = fs::path(output.path).parent_path();
  std::vector<fs::path> made;
  for (const auto& entry : fs::directory_iterator(scratch.path())) made.push_back(entry.path());
  std::sort(made.begin(), made.end());
  for (const fs::path& file : made) {
    if (!output.overwrite && fs::exists(parent / file.filename(), ec)) {
      throw Failure{2, (parent / file.filename()).string() +
                           ": the file exists; it is replaced only with --overwrite"};
    }
  }
  std::vector<std::string> written;
  for (const fs::path& file : made) {
    const fs::path target = parent / file.filename();
    fs::rename(file, target, ec);
    if (ec) {
      // Absent rather than half there: the files already moved go too.
      std::error_code gone;
      for (const std::string& w : written) fs::remove(w, gone);
      throw Failure{2, "cannot write " + target.string() + ": " + ec.message()};
    }
    written.push_back(target.string());
  }
  return written;
}

}  // namespace palvane::tools
