// End-to-end tests of the palvane command, command by command: the built
// binary run on drawings the tests write, its outputs, messages and exit
// statuses; and every drawing it writes checked by an independent reader.
// How it writes files and refuses bad input: palvane_outputs_test.cc.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "host/convert.h"
#include "support/dxf_compare.h"
#include "support/river.h"
#include "tools/command_fixture.h"

namespace palvane::testing {
namespace {

TEST_F(PalvaneTest, InfoListsReachesAndSections) {
  const std::string river = River();
  const Outcome text = Palvane("info '" + river + "'");
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("reach 1 (current)"), std::string::npos) << text.out;
  const Outcome json = Palvane("info '" + river + "' --json");
  ASSERT_EQ(json.status, 0) << json.err;
  const auto j = nlohmann::json::parse(json.out);
  ASSERT_EQ(j["reaches"].size(), 2u);
  EXPECT_EQ(j["reaches"][0]["ReachNo"], "1");
  EXPECT_EQ(j["reaches"][0]["Status"], true);
  EXPECT_EQ(j["reaches"][1]["Status"], false);
  ASSERT_EQ(j["sections"].size(), 12u);
  EXPECT_EQ(j["sections"][0]["SectionName"], "XS1");
  EXPECT_EQ(j["sections"][0]["Chainage"], 50.0);
  EXPECT_EQ(j["sections"][0]["WaterDate"], "2012-06-02");
  EXPECT_EQ(j["sections"][4]["SectionNo"], "5");  // recovered from its centre point
  EXPECT_TRUE(j["messages"].empty());
}

TEST_F(PalvaneTest, GenerateIsReproducible) {
  for (const char* name : {"a.dxf", "b.dxf"}) {
    ASSERT_EQ(Palvane("generate --sections 30 --seed 9 --clutter 4 -o '" + Path(name) + "'").status,
              0);
  }
  EXPECT_EQ(Read(Path("a.dxf")), Read(Path("b.dxf")));
  ASSERT_EQ(Palvane("generate --sections 30 --seed 10 -o '" + Path("c.dxf") + "'").status, 0);
  EXPECT_NE(Read(Path("a.dxf")), Read(Path("c.dxf")));
  EXPECT_EQ(Palvane("generate --sections -3 -o '" + Path("d.dxf") + "'").status, 2);
}

TEST_F(PalvaneTest, PointAlongPrintsOneLinePerDistance) {
  const std::string river = River(3, 0);
  const auto j = nlohmann::json::parse(Palvane("info '" + river + "' --json").out);
  const std::string handle = j["reaches"][0]["handle"];
  const double length = j["reaches"][0]["length"];
  const Outcome r = Palvane("point-along '" + river + "' --polyline " + handle +
                            " --distance 0 --distance -5 --distance 1e9");
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string first, second, third;
  std::getline(lines, first);
  std::getline(lines, second);
  std::getline(lines, third);
  // Labelled values to the millimetre, the bearing clockwise from north.
  EXPECT_EQ(first.rfind("distance 0.000: x 312000.000, y ", 0), 0u) << first;
  EXPECT_NE(first.find(" degrees from grid north"), std::string::npos) << first;
  EXPECT_EQ(second.rfind("distance -5.000: x ", 0), 0u) << second;
  EXPECT_EQ(third, "distance 1000000000.000: no point (beyond the polyline)");
  const Outcome js = Palvane("point-along '" + river + "' --polyline " + handle + " --distance " +
                             std::to_string(length + 1) + " --distance 10 --json");
  const auto a = nlohmann::json::parse(js.out);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_TRUE(a[0]["point"].is_null());
  EXPECT_EQ(a[1]["point"].size(), 3u);
  EXPECT_TRUE(a[1]["bearing"].is_number());
  // The same bearing in both conventions.
  const double radians = a[1]["bearing"], degrees = a[1]["bearing_deg"];
  EXPECT_NEAR(std::fmod(90 - radians * 180 / 3.14159265358979323846 + 720, 360), degrees, 1e-9);
}

TEST_F(PalvaneTest, CheckExitsByWhatItFindsAndDrawsThePicture) {
  const std::string clean = Path("clean.dxf"), faulty = Path("faulty.dxf");
  const Outcome none = Palvane("generate --sections 30 --faults none -o '" + clean + "'");
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(nlohmann::json::parse(none.out), nlohmann::json::array());
  const Outcome ok = Palvane("check '" + clean + "'");
  EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
  EXPECT_EQ(ok.out, "");  // nothing on a clean river
  EXPECT_EQ(Palvane("check --json '" + clean + "'").out, "[]\n");

  const Outcome made = Palvane(
      "generate --sections 30 --faults chainage-mismatch,bearing-mismatch -o '" + faulty + "'");
  ASSERT_EQ(made.status, 0) << made.err;
  const auto injected = nlohmann::json::parse(made.out);
  ASSERT_EQ(injected.size(), 2u);
  EXPECT_EQ(injected[0]["kind"], "chainage-mismatch");
  EXPECT_EQ(injected[0]["sections"][0], "4");
  const std::string svg = Path("check.svg");
  const bool pictures = PicturesDrawn();
  const Outcome bad =
      Palvane("check '" + faulty + "' --json" + (pictures ? " --svg '" + svg + "'" : ""));
  EXPECT_EQ(bad.status, 1) << bad.err;
  const auto findings = nlohmann::json::parse(bad.out);
  std::map<std::string, std::string> section_of;
  for (const auto& f : findings) {
    ASSERT_TRUE(f["severity"] == "error" || f["severity"] == "warning");
    ASSERT_TRUE(f["handles"].is_array());
    section_of[f["code"]] = f["section"];
  }
  // What was inferred goes to standard error.
  EXPECT_NE(bad.err.find("palvane: note: chainages of reach 1 run from the first vertex"),
            std::string::npos)
      << bad.err;
  EXPECT_EQ(section_of["chainage-mismatch"], "4");
  EXPECT_EQ(section_of["bearing-mismatch"], "8");
  if (pictures) ExpectGoodPicture(svg);
  // Warnings alone leave the status at 0; a looser tolerance takes the typo.
  const Outcome loose =
      Palvane("check '" + faulty + "' --chainage-tolerance 40 --bearing-tolerance 30");
  EXPECT_EQ(loose.status, 0) << loose.out;
  EXPECT_EQ(Palvane("check '" + faulty + "' --chainage-tolerance -1").status, 2);
  EXPECT_EQ(Palvane("check '" + Path("missing.dxf") + "'").status, 2);
  EXPECT_EQ(Palvane("check '" + faulty + "' --svg '" + faulty + "'").status, 2);
  EXPECT_EQ(Palvane("generate --sections 5 --faults all -o '" + faulty + "'").status, 2);
  const Outcome unknown = Palvane("generate --sections 50 --faults typo -o '" + faulty + "'");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("\"typo\" is not a kind of fault"), std::string::npos) << unknown.err;
}

TEST_F(PalvaneTest, StationIsTheInverseOfPointAlong) {
  const std::string river = River(3, 0);
  const auto j = nlohmann::json::parse(Palvane("info '" + river + "' --json").out);
  const std::string handle = j["reaches"][0]["handle"];
  const auto along = nlohmann::json::parse(
      Palvane("point-along '" + river + "' --polyline " + handle + " --distance 77.25 --json").out);
  const double x = along[0]["point"][0], y = along[0]["point"][1];
  const Outcome r = Palvane("station '" + river + "' --json --point " + host::FormatFixed(x, 9) +
                            "," + host::FormatFixed(y, 9) + " --point 311000,745000");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto s = nlohmann::json::parse(r.out);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_NEAR(s[0]["chainage"].get<double>(), 77.25, 1e-6);
  EXPECT_NEAR(s[0]["offset"].get<double>(), 0, 1e-6);
  EXPECT_TRUE(s[0]["beyond"].is_null());
  EXPECT_EQ(s[1]["beyond"], "start");
  EXPECT_EQ(s[1]["chainage"], 0);
  // The same polyline by its handle, as text.
  const Outcome text =
      Palvane("station '" + river + "' --polyline " + handle + " --point 312000,745010");
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out.rfind("point 312000.000,745010.000: chainage 1.037, offset 9.946, ", 0), 0u)
      << text.out;
  EXPECT_NE(text.out.find(" degrees from grid north"), std::string::npos) << text.out;
  EXPECT_EQ(Palvane("station '" + river + "' --point '1;2'").status, 2);
  EXPECT_EQ(Palvane("station '" + river + "' --point 1,nan").status, 2);
  EXPECT_EQ(Palvane("station '" + river + "' --point 1,2 --polyline ZZ").status, 2);
  // Reach tags that cannot be read are named as the cause.
  const std::string faulty = Path("faulty.dxf");
  ASSERT_EQ(
      Palvane("generate --sections 60 --faults reach-tag-unreadable -o '" + faulty + "'").status,
      0);
  const Outcome unreadable = Palvane("station '" + faulty + "' --point 1,2");
  EXPECT_EQ(unreadable.status, 2);
  EXPECT_NE(unreadable.err.find("the reaches' tags cannot be read"), std::string::npos)
      << unreadable.err;
}

TEST_F(PalvaneTest, BadUsageMissingFilesAndWrongHandles) {
  const std::string river = River(3, 0);
  EXPECT_EQ(Palvane("").status, 2);
  EXPECT_EQ(Palvane("frobnicate").status, 2);
  EXPECT_EQ(Palvane("point-along '" + river + "' --distance 1").status, 2);
  EXPECT_EQ(Palvane("keyplan '" + river + "' -o x.dxf --fields name,colour").status, 2);
  EXPECT_EQ(Palvane("keyplan '" + river + "' -o x.dxf --option NoSuchOption=1").status, 2);
  // A seed out of range is refused, not clamped or wrapped.
  for (const char* seed : {"-1", "18446744073709551616", "1.5", "x"}) {
    SCOPED_TRACE(seed);
    EXPECT_EQ(
        Palvane(std::string("generate --sections 3 --seed ") + seed + " -o '" + Path("s.dxf") + "'")
            .status,
        2);
    EXPECT_FALSE(fs::exists(Path("s.dxf")));
  }
  EXPECT_EQ(Palvane("generate --sections 3 --seed 18446744073709551615 -o '" + Path("s.dxf") + "'")
                .status,
            0);
  // Read in decimal, a leading zero too.
  ASSERT_EQ(Palvane("generate --sections 3 --seed 010 -o '" + Path("s010.dxf") + "'").status, 0);
  ASSERT_EQ(Palvane("generate --sections 3 --seed 10 -o '" + Path("s10.dxf") + "'").status, 0);
  EXPECT_EQ(Read(Path("s010.dxf")), Read(Path("s10.dxf")));
  const Outcome missing = Palvane("info '" + Path("nowhere.dxf") + "'");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot read the drawing"), std::string::npos) << missing.err;
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
  const Outcome unknown = Palvane("point-along '" + river + "' --polyline FFFFFF --distance 1");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("no entity with handle FFFFFF"), std::string::npos);
  const auto j = nlohmann::json::parse(Palvane("info '" + river + "' --json").out);
  // A centre point is no polyline.
  auto app = host::memory::NewMemApplication();
  auto doc = LoadMem(*app, river);
  const auto points = EntitiesOf<host::memory::MemPoint>(*doc->model_space());
  ASSERT_FALSE(points.empty());
  char hex[32];
  std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(points[0]->handle()));
  const Outcome point = Palvane("point-along '" + river + "' --polyline " + hex + " --distance 1");
  EXPECT_EQ(point.status, 2);
  EXPECT_NE(point.err.find("not a lightweight polyline"), std::string::npos) << point.err;
  EXPECT_EQ(Palvane("--help").status, 0);
  EXPECT_EQ(Palvane("keyplan --help").status, 0);
  EXPECT_EQ(Palvane("--version").out, "0.1.0\n");
  const Outcome bad = Palvane("info '" + Path("bad.dxf") + "'");
  EXPECT_EQ(bad.status, 2);
}

TEST_F(PalvaneTest, ViewSectionWritesTheResultAndNeverTheInputUnlessAsked) {
  const std::string river = River(4, 0);
  const std::string before = Read(river);
  auto app = host::memory::NewMemApplication();
  auto doc = LoadMem(*app, river);
  const auto set = Ref<host::Document>(doc)->SelectionSets()->Add("p");
  set->Select(host::kSelectionSetAll, {8}, {host::Variant("2_Profile")});
  const std::string handle = set->Item(0)->Handle();
  const std::string out = Path("view.dxf");
  const Outcome r =
      Palvane("view-section '" + river + "' --polyline " + handle + " -o '" + out + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read(river), before);
  auto viewed = LoadMem(*app, out);
  ASSERT_FALSE(viewed->ucss().empty());
  EXPECT_EQ(viewed->ucss()[0]->name(), "UCS1");
  EXPECT_TRUE(viewed->FindLayer("1_Profile")->frozen());
  EXPECT_FALSE(viewed->FindLayer("2_3d_LPSO")->frozen());
  EXPECT_EQ(viewed->active_layer()->name(), "2_Profile");
  if (Checker()) {
    ExpectAuditClean(out);
  }

  EXPECT_EQ(
      Palvane("view-section '" + river + "' --polyline " + handle + " -o '" + river + "'").status,
      2);
  EXPECT_EQ(Read(river), before);
  EXPECT_EQ(Palvane("view-section '" + river + "' --polyline " + handle).status, 2);
  ASSERT_EQ(Palvane("view-section '" + river + "' --polyline " + handle + " --in-place").status, 0);
  EXPECT_NE(Read(river), before);
}

TEST_F(PalvaneTest, KeyplanWritesDrawingAndPicture) {
  const std::string river = River(12, 2);
  const std::string before = Read(river);
  const bool pictures = PicturesDrawn();
  const Outcome r = Palvane("keyplan '" + river + "' -o '" + Path("keyplan.dxf") + "'" +
                            (pictures ? " --svg '" + Path("keyplan.svg") + "'" : "") +
                            " --fields name,en,chainage --chainage-suffix m");
  ASSERT_EQ(r.status, 0) << r.err;
  // Section 5 lost its tag: restored in memory, said so, source untouched.
  EXPECT_NE(r.err.find("use --update-source"), std::string::npos) << r.err;
  EXPECT_EQ(Read(river), before);
  auto app = host::memory::NewMemApplication();
  auto keyplan = LoadMem(*app, Path("keyplan.dxf"));
  const auto labels = EntitiesOf<host::memory::MemMText>(*keyplan->model_space());
  ASSERT_EQ(labels.size(), 12u);
  EXPECT_EQ(labels[0]->fields().text.substr(0, 5), "XS1\\P");
  EXPECT_NE(labels[0]->fields().text.find("50m"), std::string::npos);
  if (pictures) ExpectGoodPicture(Path("keyplan.svg"));
  if (Checker()) {
    ExpectAuditClean(Path("keyplan.dxf"));
  }

  // --option wins over a friendly flag; the attribute keyplan; saving the source.
  const Outcome a = Palvane("keyplan '" + river + "' -o '" + Path("attributes.dxf") +
                            "' --attributes --chainage-precision 0 --option ChainagePrecision=3 "
                            "--update-source");
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_NE(Read(river), before);
  auto blocks = LoadMem(*app, Path("attributes.dxf"));
  ASSERT_NE(blocks->FindBlock("7"), nullptr);
  if (Checker()) {
    ExpectAuditClean(Path("attributes.dxf"));
  }
  auto source = LoadMem(*app, river);
  const auto set = Ref<host::Document>(source)->SelectionSets()->Add("p");
  set->Select(host::kSelectionSetAll, {8}, {host::Variant("5_Profile")});
  EXPECT_FALSE(set->Item(0)->GetXData("TEV").empty());
}

TEST_F(PalvaneTest, KeyplanWithoutCurrentReachWritesNothing) {
  auto app = host::memory::NewMemApplication();
  auto doc = app->NewDetachedDocument("none.dxf");
  dxf::ApplyTemplate(*doc);
  app->Open(doc);
  AddPolyline(Ref<host::Document>(doc), "CL", {0, 0, 10, 0});
  dxf::SaveDrawing(*doc, Path("none.dxf"), false);
  const Outcome r = Palvane("keyplan '" + Path("none.dxf") + "' -o '" + Path("k.dxf") + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("message: You must first create a Reach\n"
                       "message: You need to make a reach current first\n"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(Path("k.dxf")));
}

// An option value the export cannot use is refused once, before any work,
// naming the option string, its flag and the rule.
TEST_F(PalvaneTest, KeyplanRefusesOptionValuesItCannotUse) {
  const std::string river = River(3, 0);
  const std::string out = Path("k.dxf");
  const struct {
    std::string args, message;
  } cases[] = {
      {"--text-height abc", "TextHeight (--text-height) must be a height above 0, not \"abc\""},
      {"--text-height 0", "TextHeight (--text-height) must be a height above 0, not \"0\""},
      {"--text-height 1e400", "TextHeight (--text-height) must be a height above 0"},
      {"--line-width -1", "SectionLineWidth (--line-width) must be a width of 0 or more"},
      {"--chainage-precision -3",
       "ChainagePrecision (--chainage-precision) must be a whole number of decimals, 0 or more"},
      {"--bearing-precision two", "BearingPrecision (--bearing-precision) must be"},
      {"--line-layer 'XS<'", "LineLayer (--line-layer) \"XS<\" makes layer names the drawing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = Palvane("keyplan '" + river + "' -o '" + out + "' " + c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
  }
  // What the export can use passes: a width of 0, flags as numbers.
  const Outcome fine = Palvane("keyplan '" + river + "' -o '" + out +
                               "' --line-width 0 --option ENChkBox=1 --bearing-precision 0");
  EXPECT_EQ(fine.status, 0) << fine.err;
  EXPECT_EQ(fine.err, "");
  // --option passes its value as the automation would, for the export to
  // meet: a flag's check does not stand in its way.
  const Outcome raw = Palvane("keyplan '" + river + "' -o '" + Path("raw.dxf") +
                              "' --text-height abc --option TextHeight=abc");
  EXPECT_EQ(raw.status, 0) << raw.err;
  EXPECT_NE(raw.err.find("Type mismatch"), std::string::npos) << raw.err;
}

// `palvane gis` in every format, each output listed by GDAL's own ogrinfo
// with its three layers and their feature counts; and its refusals, each a
// status 2 and one line naming the value, with nothing written.
TEST_F(PalvaneTest, GisWritesEveryFormatThatOgrinfoLists) {
  if (std::system("ogrinfo --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ogrinfo";
  if (Command() != PALVANE_BINARY) GTEST_SKIP() << "gis is in the Linux build only";
  const std::string river = River(6, 1);
  const auto j = nlohmann::json::parse(Palvane("info '" + river + "' --json").out);
  const size_t sections = j["sections"].size(), reaches = j["reaches"].size();
  for (const char* extension :
       {".gpkg", ".geojson", ".shp", ".tab", ".mif", ".fgb", ".csv", ".kml"}) {
    SCOPED_TRACE(extension);
    // Files of one name share companions (.prj): one name per format.
    const std::string out = Path(std::string("river") + (extension + 1) + extension);
    const Outcome r = Palvane("gis '" + river + "' -o '" + out + "' --crs EPSG:27700 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto counts = nlohmann::json::parse(r.out);
    EXPECT_EQ(counts["sections"], sections);
    EXPECT_EQ(counts["reaches"], reaches);
    std::string listing;
    for (const std::string file : counts["files"]) {
      if (file.ends_with(".gpkg") || file.ends_with(".geojson") || file.ends_with(".shp") ||
          file.ends_with(".tab") || file.ends_with(".mif") || file.ends_with(".fgb") ||
          file.ends_with(".csv") || file.ends_with(".kml")) {
        FILE* p = ::popen(("ogrinfo -ro -al -so '" + file + "' 2>&1").c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[4096];
        while (size_t n = std::fread(buf, 1, sizeof buf, p)) listing.append(buf, n);
        EXPECT_EQ(::pclose(p), 0) << file;
      }
    }
    // Each layer's own block of the listing, from its "Layer name:" line.
    std::map<std::string, std::string> counts_listed;
    for (size_t at = listing.find("Layer name: "); at != std::string::npos;) {
      const size_t next = listing.find("Layer name: ", at + 1);
      const std::string block = listing.substr(at, next - at);
      const std::string name = block.substr(12, block.find('\n') - 12);
      const size_t count = block.find("Feature Count: ");
      if (count != std::string::npos) {
        counts_listed[name] = block.substr(count + 15, block.find('\n', count) - count - 15);
      }
      at = next;
    }
    auto listed = [&](const std::string& layer) {
      for (const auto& [name, count] : counts_listed) {
        if (name.ends_with(layer) && !(layer == "sections" && name.ends_with("_points"))) {
          return count;
        }
      }
      return std::string("not listed");
    };
    EXPECT_EQ(listed("reaches"), std::to_string(reaches)) << listing;
    EXPECT_EQ(listed("sections"), std::to_string(sections)) << listing;
    EXPECT_EQ(listed("centre_points"), std::to_string(counts["centre_points"].get<size_t>()))
        << listing;
  }

  auto expect_refused = [&](const std::string& args, const std::string& named) {
    SCOPED_TRACE(args);
    const Outcome r = Palvane("gis '" + river + "' " + args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
  };
  const std::string fresh = Path("fresh.gpkg");
  expect_refused("-o '" + fresh + "' --crs NOT_A_CRS", "\"NOT_A_CRS\"");
  expect_refused("-o '" + fresh + "' -f NoSuchDriver", "\"NoSuchDriver\"");
  expect_refused("-o '" + Path("fresh.kml") + "'", "--crs");
  expect_refused("-o '" + fresh + "' --arc-tolerance 0", "--arc-tolerance");
  EXPECT_FALSE(fs::exists(fresh));
  expect_refused("-o '" + Path("rivergpkg.gpkg") + "'", "--overwrite");
  EXPECT_EQ(Palvane("gis '" + river + "' -o '" + Path("rivergpkg.gpkg") + "' --overwrite").status,
            0);
  expect_refused("-o '" + river + "' -f GPKG --overwrite", "the drawing read");
}

TEST_F(PalvaneTest, IndependentReaderSeesTheSameTags) {
  if (!Checker()) GTEST_SKIP() << "python3-ezdxf is not installed";
  const std::string river = River(6, 1);
  ExpectAuditClean(river);
  const std::string command =
      std::string("/usr/bin/python3 ") + PALVANE_TEST_DIR + "/dxf/tev_tags.py '" + river + "'";
  FILE* p = ::popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string output;
  char buf[4096];
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) output.append(buf, n);
  ASSERT_EQ(::pclose(p), 0);
  const auto seen = nlohmann::json::parse(output);
  auto app = host::memory::NewMemApplication();
  auto doc = LoadMem(*app, river);
  size_t tagged = 0;
  for (const auto& e : doc->model_space()->entities()) {
    const host::XData tag = e->Self()->GetXData("TEV");
    if (tag.empty()) continue;
    ++tagged;
    const std::string handle = e->Self()->Handle();
    ASSERT_TRUE(seen.contains(handle)) << handle;
    const auto& items = seen[handle];
    ASSERT_EQ(items.size() + 1, tag.values.size()) << handle;
    for (size_t i = 1; i < tag.values.size(); ++i) {
      EXPECT_EQ(items[i - 1][0], tag.codes[i]);
      const host::Variant& v = tag.values[i];
      if (v.type() == host::Variant::Type::kString) {
        EXPECT_EQ(items[i - 1][1], v.AsStringUnchecked());
      } else {
        EXPECT_EQ(items[i - 1][1].get<double>(), host::ToDouble(v));
      }
    }
  }
  EXPECT_EQ(tagged, seen.size());
  EXPECT_EQ(tagged, 2u + 2 * 6 - 1);  // two reaches, profiles (one lost) and centre points
}

}  // namespace
}  // namespace palvane::testing
