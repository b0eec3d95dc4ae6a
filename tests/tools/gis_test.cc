// The GIS export: a small river with every kind of fault, and the bundled
// example, written in each format and read back through GDAL's own API.

#include "commands/gis.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "failure.h"
#include "gis/gis_write.h"
#include "model/lookup.h"
#include "model/section.h"
#include "support/keyplan_fixture.h"
#include "support/scratch.h"
#include "support/xml.h"

namespace palvane::testing {
namespace {

namespace fs = std::filesystem;
using tools::GisOutput;
using tools::GisRiver;

constexpr double kTolerance = 0.01;

// How near a coordinate must come back: within 1e-9 of itself or of the
// faulty river's extent (4 400 units), whichever is larger. MapInfo keeps
// coordinates on a grid of 2^32 steps across the data; the other formats
// keep every bit.
double Near(double v) { return 1e-9 * std::max(std::fabs(v), 4400.0); }

// A layer's features, in the order read.
std::vector<std::unique_ptr<OGRFeature>> Features(OGRLayer& layer) {
  std::vector<std::unique_ptr<OGRFeature>> out;
  layer.ResetReading();
  while (OGRFeature* f = layer.GetNextFeature()) out.emplace_back(f);
  return out;
}

// The first feature left whose `field` holds `value`, taken out of `features`.
std::unique_ptr<OGRFeature> Take(std::vector<std::unique_ptr<OGRFeature>>& features,
                                 const char* field, const std::string& value) {
  for (auto& f : features) {
    if (f && value == f->GetFieldAsString(field)) return std::move(f);
  }
  return nullptr;
}

struct GdalCloser {
  void operator()(GDALDataset* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<GDALDataset, GdalCloser>;

Dataset Open(const std::string& path) {
  return Dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
}

// What one section feature must hold, as the fixture made it.
struct ExpectedSection {
  std::string sect_no, sect_name, descr, source;
  std::optional<double> chainage, bearing;
  std::optional<double> easting, northing, mike11_ch;
  std::vector<std::string> problems;
  // The profile's world vertices, and its bulges.
  std::vector<std::array<double, 2>> vertices;
  std::vector<double> bulges;
};

// The distance from `p` to a polyline segment from `a` to `b` with `bulge`:
// to the chord, or to the arc's circle, whose centre lies off the chord's
// midpoint by chord (1 - b^2) / (4 b) to the left.
double DistanceToSegment(const std::array<double, 2>& p, const std::array<double, 2>& a,
                         const std::array<double, 2>& b, double bulge) {
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  const double chord = std::hypot(dx, dy);
  if (bulge == 0) {
    const double t =
        std::clamp(((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / (chord * chord), 0.0, 1.0);
    return std::hypot(p[0] - (a[0] + t * dx), p[1] - (a[1] + t * dy));
  }
  const double off = (1 - bulge * bulge) / (4 * bulge);
  const double cx = (a[0] + b[0]) / 2 - dy * off, cy = (a[1] + b[1]) / 2 + dx * off;
  const double radius = std::hypot(a[0] - cx, a[1] - cy);
  return std::fabs(std::hypot(p[0] - cx, p[1] - cy) - radius);
}

// The line holds the polyline's vertices in order, exactly, and every other
// point lies within the tolerance of the segment it stands on.
void ExpectLineFollows(const OGRLineString& line, const ExpectedSection& e) {
  size_t next_vertex = 0;
  for (int i = 0; i < line.getNumPoints(); ++i) {
    const std::array<double, 2> p{line.getX(i), line.getY(i)};
    // Each chord's midpoint, where it strays furthest from an arc, lies
    // within the tolerance of the segment it stands on.
    if (i > 0 && next_vertex > 0 && next_vertex < e.vertices.size()) {
      const size_t s = next_vertex - 1;
      const std::array<double, 2> mid{(p[0] + line.getX(i - 1)) / 2, (p[1] + line.getY(i - 1)) / 2};
      EXPECT_LE(DistanceToSegment(mid, e.vertices[s], e.vertices[s + 1], e.bulges[s]), kTolerance)
          << "the chord ending at point " << i;
    }
    if (next_vertex < e.vertices.size()) {
      const auto& v = e.vertices[next_vertex];
      if (std::fabs(p[0] - v[0]) <= Near(v[0]) && std::fabs(p[1] - v[1]) <= Near(v[1])) {
        ++next_vertex;
        continue;
      }
    }
    ASSERT_GT(next_vertex, 0u) << "the line does not begin at the first vertex";
    const size_t s = next_vertex - 1;
    ASSERT_LT(s + 1, e.vertices.size()) << "a point beyond the last vertex";
    EXPECT_LE(DistanceToSegment(p, e.vertices[s], e.vertices[s + 1], e.bulges[s]), kTolerance)
        << "point " << i;
  }
  EXPECT_EQ(next_vertex, e.vertices.size()) << "not every vertex is on the line";
}

void ExpectNumber(const OGRFeature& f, const char* field, const std::optional<double>& expected,
                  bool holds_null) {
  const int i = f.GetFieldIndex(field);
  ASSERT_GE(i, 0) << field;
  EXPECT_EQ(f.GetFieldDefnRef(i)->GetType(), OFTReal) << field;
  if (!expected) {
    // A format without nulls for numbers (MapInfo) holds 0.
    if (holds_null) {
      EXPECT_TRUE(f.IsFieldNull(i)) << field;
    } else {
      EXPECT_TRUE(f.IsFieldNull(i) || f.GetFieldAsDouble(i) == 0) << field;
    }
    return;
  }
  ASSERT_FALSE(f.IsFieldNull(i)) << field;
  EXPECT_NEAR(f.GetFieldAsDouble(i), *expected, 1e-9 * std::max(1.0, std::fabs(*expected)))
      << field;
}

void ExpectInteger(const OGRFeature& f, const char* field, int expected);

void ExpectText(const OGRFeature& f, const char* field, const std::string& expected) {
  const int i = f.GetFieldIndex(field);
  ASSERT_GE(i, 0) << field;
  EXPECT_EQ(f.GetFieldDefnRef(i)->GetType(), OFTString) << field;
  EXPECT_EQ(std::string(f.GetFieldAsString(i)), expected) << field;
}

void ExpectInteger(const OGRFeature& f, const char* field, int expected) {
  const int i = f.GetFieldIndex(field);
  ASSERT_GE(i, 0) << field;
  EXPECT_TRUE(f.GetFieldDefnRef(i)->GetType() == OFTInteger ||
              f.GetFieldDefnRef(i)->GetType() == OFTInteger64)
      << field;
  EXPECT_EQ(f.GetFieldAsInteger(i), expected) << field;
}

// Whether a format holds a missing number apart from 0 (MapInfo does not,
// and GDAL reads an empty CSV number as 0), and features without geometry
// (FlatGeobuf keeps none, and the writer says so).
struct Format {
  const char* extension;
  bool holds_null_numbers;
  bool holds_no_geometry = true;
};
const Format kFormats[] = {{".gpkg", true}, {".geojson", true},    {".shp", true},
                           {".tab", false}, {".fgb", true, false}, {".csv", false}};

class GisTest : public ScratchFolderTest {
 protected:
  void SetUp() override {
    GDALAllRegister();
    ScratchFolderTest::SetUp();
  }

  // Writes `river` as `name` + extension, and opens the layer `layer`.
  std::pair<Dataset, OGRLayer*> WriteAndOpen(const GisRiver& river, const std::string& name,
                                             const Format& format, const char* layer) {
    GisOutput out;
    out.path = (dir_ / (name + format.extension)).string();
    out.crs = "EPSG:27700";
    out.overwrite = true;
    const tools::GisWritten written = tools::WriteGis(river, out);
    warnings = written.warnings;
    EXPECT_FALSE(written.files.empty());
    const std::string driver = tools::DriverForPath(out.path);
    std::string path = out.path;
    for (const std::string& f : tools::OutputFiles(out.path, driver)) {
      if (f.find(std::string("_") + layer + ".") != std::string::npos) path = f;
    }
    Dataset ds = Open(path);
    if (!ds) {
      ADD_FAILURE() << "GDAL cannot open " << path;
      return {nullptr, nullptr};
    }
    OGRLayer* l = ds->GetLayerByName(layer);
    if (l == nullptr && ds->GetLayerCount() == 1) l = ds->GetLayer(0);
    return {std::move(ds), l};
  }

  std::vector<std::string> warnings;  // of the last write
};

// The keyplan river (a current reach 4200 long; section 2 mirrored by its
// normal; section 3 bent and without its tag) with more faults: section 3's
// first segment an arc, a second reach that is a half circle, a section
// layer without a profile, and a second layer naming section 1.
struct FaultyRiver : KeyplanRiver {
  FaultyRiver() {
    TagReach(*centre, "1", true, "photos");  // the reach the sections name
    lost_tag->SetBulge(0, 0.5);
    const auto other = AddPolyline(river.doc, "CL2", {0, 100, 100, 100}, {1});
    TagReach(*other, "2", false, "elsewhere");
    river.doc->Layers()->Add("4_SectionLine");
    river.doc->Layers()->Add("1_SectionLineOld");
  }

  std::vector<ExpectedSection> Expected() const {
    const std::vector<std::string> none;
    ExpectedSection one{"1",
                        "XS1",
                        "Left bank",
                        "tag",
                        100.25,
                        90,
                        100,
                        -50,
                        4200 - 100.25,
                        none,
                        {{100, -50}, {100, 50}},
                        {0, 0}};
    ExpectedSection two{
        "2",   "XS2", "Z", "tag", 200.5, 45, 200, -50, 4200 - 200.5, none, {{200, -50}, {200, 50}},
        {0, 0}};
    ExpectedSection three{"3",
                          "XS3",
                          "Weir",
                          "centre point",
                          300.125,
                          0,
                          300,
                          -50,
                          4200 - 300.125,
                          {"tag-restorable: profile " + lost_tag->Handle() +
                           " has lost its section tag: restored from its centre point"},
                          {{300, -50}, {310, 0}, {300, 50}},
                          {0.5, 0, 0}};
    ExpectedSection four{
        "4",
        "",
        "",
        "",
        std::nullopt,
        std::nullopt,
        std::nullopt,
        std::nullopt,
        std::nullopt,
        {"no-profile: Section 4 Has no profile", "no-centre-point: Section 4 Has no Center Point"},
        {},
        {}};
    return {one, two, three, four, one};
  }
};

TEST_F(GisTest, EveryFormatReadsBackWithTheRecordsOfEverySection) {
  FaultyRiver r;
  host::RecordingMessageSink sink;
  const GisRiver river = tools::ReadGisRiver(r.river.doc, sink, kTolerance);
  const auto expected = r.Expected();
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.extension);
    if (!format.holds_no_geometry) {
      // Section 4 cannot go in: the whole output is refused, and absent.
      const GisOutput out{(dir_ / (std::string("faulty") + format.extension)).string(), "",
                          "EPSG:27700", true, ""};
      try {
        tools::WriteGis(river, out);
        ADD_FAILURE() << "a section was left out without a word";
      } catch (const tools::Failure& f) {
        EXPECT_NE(f.reason.find("kept 4 of the 5 features of the layer sections"),
                  std::string::npos)
            << f.reason;
      }
      for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().string().find(".fgb"), std::string::npos) << entry.path();
      }
      continue;
    }
    auto [ds, sections] = WriteAndOpen(river, "faulty", format, "sections");
    ASSERT_NE(sections, nullptr);
    EXPECT_TRUE(warnings.empty());
    ASSERT_EQ(sections->GetFeatureCount(), static_cast<GIntBig>(expected.size()));
    const OGRSpatialReference* crs = sections->GetSpatialRef();
    ASSERT_NE(crs, nullptr);
    OGRSpatialReference bng;
    bng.importFromEPSG(27700);
    EXPECT_TRUE(crs->IsSame(&bng) ||
                std::string(crs->GetName() != nullptr ? crs->GetName() : "").find("British") !=
                    std::string::npos)
        << crs->GetName();
    // Features in the drawing's order, but for a spatial index's own.
    auto features = Features(*sections);
    for (const ExpectedSection& e : expected) {
      if (e.vertices.empty() && !format.holds_no_geometry) continue;
      SCOPED_TRACE("section " + e.sect_no);
      std::unique_ptr<OGRFeature> f = Take(features, "sect_no", e.sect_no);
      ASSERT_NE(f, nullptr);
      // Every section number is whole: the field holds numbers.
      ExpectInteger(*f, "sect_no", std::stoi(e.sect_no));
      ExpectText(*f, "sect_name", e.sect_name);
      ExpectText(*f, "reach_no", e.sect_name.empty() ? "" : "1");
      ExpectText(*f, "descr", e.descr);
      ExpectText(*f, "source", e.source);
      std::string problems;
      for (const auto& p : e.problems) problems += (problems.empty() ? "" : "; ") + p;
      ExpectText(*f, "problems", problems);
      ExpectNumber(*f, "chainage", e.chainage, format.holds_null_numbers);
      ExpectNumber(*f, "bearing", e.bearing, format.holds_null_numbers);
      ExpectNumber(*f, "mike11_ch", e.mike11_ch, format.holds_null_numbers);
      ExpectNumber(*f, "easting", e.easting, format.holds_null_numbers);
      ExpectNumber(*f, "northing", e.northing, format.holds_null_numbers);
      if (e.sect_name.empty()) {
        EXPECT_TRUE(f->IsFieldNull(f->GetFieldIndex("through")) ||
                    (!format.holds_null_numbers && f->GetFieldAsInteger("through") == 0));
      } else {
        ExpectInteger(*f, "through", 0);
      }
      const int date = f->GetFieldIndex("water_date");
      ASSERT_GE(date, 0);
      const OGRFieldType date_type = f->GetFieldDefnRef(date)->GetType();
      EXPECT_TRUE(date_type == OFTDate || date_type == OFTDateTime);
      if (!e.sect_name.empty()) {
        int y = 0, m = 0, d = 0, h = 0, mi = 0, tz = 0;
        float s = 0;
        ASSERT_TRUE(f->GetFieldAsDateTime(date, &y, &m, &d, &h, &mi, &s, &tz));
        EXPECT_EQ(y * 10000 + m * 100 + d, 20120630);
      }
      const OGRGeometry* g = f->GetGeometryRef();
      if (e.vertices.empty()) {
        EXPECT_TRUE(g == nullptr || g->IsEmpty());
        continue;
      }
      ASSERT_NE(g, nullptr);
      ASSERT_EQ(wkbFlatten(g->getGeometryType()), wkbLineString);
      ExpectLineFollows(*g->toLineString(), e);
    }

    auto [rds, reaches] = WriteAndOpen(river, "faulty", format, "reaches");
    ASSERT_NE(reaches, nullptr);
    ASSERT_EQ(reaches->GetFeatureCount(), 2);
    auto reach_features = Features(*reaches);
    std::unique_ptr<OGRFeature> first = Take(reach_features, "reach_no", "1");
    std::unique_ptr<OGRFeature> second = Take(reach_features, "reach_no", "2");
    ASSERT_TRUE(first && second);
    ExpectText(*first, "reach_no", "1");
    ExpectInteger(*first, "current", 1);
    ExpectText(*first, "photo_dir", "photos");
    ExpectNumber(*first, "length", 4200.0, true);
    ExpectText(*second, "reach_no", "2");
    ExpectInteger(*second, "current", 0);
    ExpectNumber(*second, "length", 50 * std::numbers::pi, true);
    // The half circle as chords within the tolerance, its ends exact.
    const ExpectedSection arc{"", "", "", "", {}, {}, {}, {}, {}, {}, {{0, 100}, {100, 100}}, {1}};
    ExpectLineFollows(*second->GetGeometryRef()->toLineString(), arc);
    EXPECT_GT(second->GetGeometryRef()->toLineString()->getNumPoints(), 20);

    // Each centre point once, section 1's though two layers name it.
    auto [pds, points] = WriteAndOpen(river, "faulty", format, "centre_points");
    ASSERT_NE(points, nullptr);
    EXPECT_EQ(points->GetFeatureCount(), 3);
    auto point_features = Features(*points);
    for (const auto& [no, x] : {std::pair{"1", 100.0}, {"2", -200.0}, {"3", 300.0}}) {
      std::unique_ptr<OGRFeature> p = Take(point_features, "sect_no", no);
      ASSERT_NE(p, nullptr) << no;
      const OGRPoint* at = p->GetGeometryRef()->toPoint();
      EXPECT_NEAR(at->getX(), x, Near(x)) << no;
      EXPECT_NEAR(at->getY(), -50, Near(-50)) << no;
      EXPECT_FALSE(std::string(p->GetFieldAsString("handle")).empty());
    }
  }
}

// The bundled example: one feature per section layer, each with its own
// record's values.
TEST_F(GisTest, ExampleRiverHasEverySectionWithItsRecord) {
  auto app = host::memory::NewMemApplication();
  const auto doc = dxf::LoadDrawing(*app, std::string(PALVANE_SOURCE_DIR) + "/examples/river.dxf");
  host::RecordingMessageSink sink;
  const GisRiver river = tools::ReadGisRiver(doc, sink, kTolerance);
  ASSERT_FALSE(river.sections.empty());
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.extension);
    auto [ds, sections] = WriteAndOpen(river, "example", format, "sections");
    ASSERT_NE(sections, nullptr);
    ASSERT_EQ(sections->GetFeatureCount(), static_cast<GIntBig>(river.sections.size()));
    auto features = Features(*sections);
    for (const auto& s : river.sections) {
      std::unique_ptr<OGRFeature> f = Take(features, "sect_no", s.sect_no);
      ASSERT_NE(f, nullptr);
      host::RecordingMessageSink quiet;
      model::TEVSection record(quiet);
      record.Profile = model::FindSectionProfile(quiet, doc, s.sect_no);
      ASSERT_TRUE(record.Profile);
      record.RetrieveValues(doc);
      ExpectText(*f, "sect_name", record.SectionName);
      ExpectNumber(*f, "chainage", record.Chainage, true);
      ExpectText(*f, "handle", record.Profile->Handle());
      const OGRLineString* line = f->GetGeometryRef()->toLineString();
      EXPECT_EQ(line->getNumPoints(), static_cast<int>(record.Profile->Coordinates().size() / 2));
      // Coordinates of some 300 000 units keep their precision in every
      // format (MapInfo's grid is set to the data's extent).
      const std::vector<double> c = record.Profile->Coordinates();
      const host::Point3 w = doc->Utility()->TranslateCoordinates(
          {c[0], c[1], record.Profile->Elevation()}, host::kObjectCs, host::kWorld, false,
          record.Profile->Normal());
      EXPECT_NEAR(line->getX(0), w[0], 1e-9 * std::fabs(w[0]));
      EXPECT_NEAR(line->getY(0), w[1], 1e-9 * std::fabs(w[1]));
      ExpectNumber(*f, "easting", w[0], true);
      ExpectNumber(*f, "northing", w[1], true);
      // Section 5 of the example lost its tag; its centre point keeps it.
      ExpectText(*f, "source", s.sect_no == "5" ? "centre point" : "tag");
    }
  }
}

// KML holds WGS 84 longitudes and latitudes: the drawing's points are
// transformed from the CRS given.
TEST_F(GisTest, KmlIsTransformedToWgs84) {
  FaultyRiver r;
  host::RecordingMessageSink sink;
  const GisRiver river = tools::ReadGisRiver(r.river.doc, sink, kTolerance);
  auto [ds, reaches] = WriteAndOpen(river, "faulty", {".kml", true}, "reaches");
  ASSERT_NE(reaches, nullptr);
  auto features = Features(*reaches);
  std::unique_ptr<OGRFeature> first = Take(features, "reach_no", "1");
  ASSERT_NE(first, nullptr);
  const OGRLineString* line = first->GetGeometryRef()->toLineString();
  OGRSpatialReference bng, wgs84;
  bng.importFromEPSG(27700);
  wgs84.SetWellKnownGeogCS("WGS84");
  bng.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRCoordinateTransformation> to(OGRCreateCoordinateTransformation(&bng, &wgs84));
  ASSERT_NE(to, nullptr);
  double x[] = {0, 4200}, y[] = {0, 0};
  ASSERT_TRUE(to->Transform(2, x, y));
  ASSERT_EQ(line->getNumPoints(), 3);
  EXPECT_NEAR(line->getX(0), x[0], 1e-9);  // about 7.56 degrees west, 49.77 north
  EXPECT_NEAR(line->getY(0), y[0], 1e-9);
  EXPECT_NEAR(line->getX(2), x[1], 1e-9);
  EXPECT_NEAR(line->getY(2), y[1], 1e-9);
  EXPECT_LT(x[0], -7);
}

// Output files are replaced only when asked, and bad values name themselves.
TEST_F(GisTest, RefusalsNameTheirValueAndWriteNothing) {
  FaultyRiver r;
  host::RecordingMessageSink sink;
  const GisRiver river = tools::ReadGisRiver(r.river.doc, sink, kTolerance);
  auto refusal = [&](GisOutput out) {
    try {
      tools::WriteGis(river, out);
    } catch (const tools::Failure& f) {
      EXPECT_EQ(f.status, 2);
      return f.reason;
    }
    return std::string("no refusal");
  };
  const std::string path = (dir_ / "r.shp").string();
  EXPECT_NE(refusal({path, "", "EPSG:99999999", false, ""}).find("\"EPSG:99999999\""),
            std::string::npos);
  EXPECT_NE(refusal({path, "NoSuchDriver", "", false, ""}).find("\"NoSuchDriver\""),
            std::string::npos);
  EXPECT_NE(refusal({(dir_ / "r.xyz").string(), "", "", false, ""}).find("r.xyz"),
            std::string::npos);
  EXPECT_NE(refusal({(dir_ / "r.kml").string(), "", "", false, ""}).find("--crs"),
            std::string::npos);
  EXPECT_TRUE(fs::is_empty(dir_));

  tools::WriteGis(river, {path, "", "", false, ""});
  const auto before = fs::last_write_time(dir_ / "r_sections.shp");
  EXPECT_NE(refusal({path, "", "", false, ""}).find("--overwrite"), std::string::npos);
  EXPECT_EQ(fs::last_write_time(dir_ / "r_sections.shp"), before);
  const std::string source = (dir_ / "r_reaches.shp").string();
  EXPECT_NE(refusal({path, "", "", true, source}).find("the drawing read"), std::string::npos);
  // Nothing is left of the refused writes: the shapefiles' own files only.
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().rfind("r_", 0), 0u) << entry.path();
  }
}

// Faults that used to cost other features their values: each reach is
// read on its own, an item failing late keeps those before it, a profile
// of one vertex is no line, and every problem carries its code.
TEST_F(GisTest, OneFaultCostsOnlyItsOwnFeature) {
  FaultyRiver r;
  // A reach tag whose number item holds a text that is no number.
  const auto broken = AddPolyline(r.river.doc, "CL3", {0, 200, 100, 200});
  broken->SetXData({1001, 1000, 1000, 1000, 1000},
                   {host::Variant("TEV"), host::Variant("REACH"), host::Variant("3"),
                    host::Variant("not a flag"), host::Variant("")});
  // Section 1's water date cannot be read; section 5's profile is one point.
  const auto one = model::FindSectionProfile(r.sink, r.river.doc, "1");
  SetTagItem(*one, 8, host::Variant("not a date"), 1000);
  AddSection(r.river.doc, "5", {600, -50, 600, -50}, 600.5);
  host::RecordingMessageSink sink;
  const GisRiver river = tools::ReadGisRiver(r.river.doc, sink, kTolerance);

  ASSERT_EQ(river.reaches.size(), 2u);
  EXPECT_EQ(river.unread_reaches, std::vector<std::string>{broken->Handle()});
  const tools::GisSection& first = river.sections[0];
  ASSERT_EQ(first.sect_no, "1");
  EXPECT_EQ(first.sect_name, "XS1");
  EXPECT_EQ(first.reach_no, "1");
  EXPECT_EQ(first.chainage, 100.25);
  EXPECT_EQ(first.mike11_ch, 4200 - 100.25);
  EXPECT_EQ(first.descr, "Left bank");
  EXPECT_FALSE(first.water_date.has_value());
  EXPECT_FALSE(first.through.has_value());
  ASSERT_EQ(first.problems.size(), 1u);
  EXPECT_EQ(first.problems[0].rfind("tag-unreadable: ", 0), 0u) << first.problems[0];
  const auto five = std::find_if(river.sections.begin(), river.sections.end(),
                                 [](const auto& x) { return x.sect_no == "5"; });
  ASSERT_NE(five, river.sections.end());
  const tools::GisSection& second = *five;
  EXPECT_TRUE(second.line.empty());
  EXPECT_EQ(second.chainage, 600.5);
  ASSERT_EQ(second.problems.size(), 1u);
  EXPECT_EQ(second.problems[0].rfind("profile-too-short: ", 0), 0u) << second.problems[0];

  // Written, the one-vertex profile has no geometry, and text fields can
  // take a longer value when edited.
  auto [ds, sections] = WriteAndOpen(river, "faults", kFormats[2], "sections");
  ASSERT_NE(sections, nullptr);
  auto features = Features(*sections);
  std::unique_ptr<OGRFeature> f = Take(features, "sect_no", "5");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->GetGeometryRef() == nullptr || f->GetGeometryRef()->IsEmpty());
  const OGRFeatureDefn* defn = sections->GetLayerDefn();
  EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex("sect_name"))->GetWidth(), 254);
}

// A section numbered 12.5 keeps the number as text, in every section.
TEST_F(GisTest, SectionNumbersThatAreNotWholeStayText) {
  FaultyRiver r;
  AddSection(r.river.doc, "12.5", {500, -50, 500, 50}, 500, 0, "", "XS12.5");
  host::RecordingMessageSink sink;
  const GisRiver river = tools::ReadGisRiver(r.river.doc, sink, kTolerance);
  auto [ds, sections] = WriteAndOpen(river, "text", kFormats[0], "sections");
  ASSERT_NE(sections, nullptr);
  auto features = Features(*sections);
  for (const char* number : {"12.5", "1"}) {
    std::unique_ptr<OGRFeature> f = Take(features, "sect_no", number);
    ASSERT_NE(f, nullptr) << number;
    ExpectText(*f, "sect_no", number);
  }
}

// Spreadsheets hold no geometry: refused before anything is made, and no
// message ever names a temporary file.
TEST_F(GisTest, SpreadsheetsAreRefusedUpFront) {
  FaultyRiver r;
  host::RecordingMessageSink sink;
  const GisRiver river = tools::ReadGisRiver(r.river.doc, sink, kTolerance);
  for (const char* driver : {"XLSX", "ODS", "xlsx"}) {
    SCOPED_TRACE(driver);
    try {
      tools::WriteGis(river, {(dir_ / "r.xlsx").string(), driver, "", true, ""});
      ADD_FAILURE() << "written";
    } catch (const tools::Failure& f) {
      EXPECT_NE(f.reason.find("spreadsheet"), std::string::npos) << f.reason;
      EXPECT_EQ(f.reason.find(".tmp"), std::string::npos) << f.reason;
    }
  }
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// A GeoPackage holds each layer's QGIS style in layer_styles, the table
// QGIS reads a default style from, as the style of its own layer and
// geometry column; other formats hold no such table.
TEST_F(GisTest, AGeoPackageCarriesTheLayersQgisStyles) {
  auto app = host::memory::NewMemApplication();
  const auto doc = dxf::LoadDrawing(*app, std::string(PALVANE_SOURCE_DIR) + "/examples/river.dxf");
  host::RecordingMessageSink sink;
  const GisRiver river = tools::ReadGisRiver(doc, sink, kTolerance);
  auto [ds, sections] = WriteAndOpen(river, "styled", kFormats[0], "sections");
  ASSERT_NE(sections, nullptr);
  OGRLayer* styles = ds->GetLayerByName("layer_styles");
  ASSERT_NE(styles, nullptr);
  std::set<std::string> styled;
  for (auto& f : *styles) {
    const std::string table = f->GetFieldAsString("f_table_name");
    styled.insert(table);
    OGRLayer* layer = ds->GetLayerByName(table.c_str());
    ASSERT_NE(layer, nullptr) << table;
    EXPECT_STREQ(f->GetFieldAsString("f_geometry_column"), layer->GetGeometryColumn());
    EXPECT_EQ(f->GetFieldAsInteger("useAsDefault"), 1);
    const std::string qml = f->GetFieldAsString("styleQML");
    EXPECT_NE(qml.find("<renderer-v2"), std::string::npos) << table;
#if PALVANE_HAVE_XML
    EXPECT_TRUE(WellFormedXml(qml)) << table;
#endif
  }
  EXPECT_EQ(styled, (std::set<std::string>{"reaches", "sections", "centre_points"}));
  auto [geojson, layer] = WriteAndOpen(river, "plain", kFormats[1], "sections");
  ASSERT_NE(layer, nullptr);
  EXPECT_EQ(geojson->GetLayerByName("layer_styles"), nullptr);
}

}  // namespace
}  // namespace palvane::testing
