// End-to-end tests on drawings that surveyors delivered (tests/data/real-
// drawings): each goes through tag reach, tag sections, check and sections
// in every format without being edited first, and the answers are checked
// against what the drawing says, measured here on its own.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "support/model_readers.h"
#include "tools/command_fixture.h"

namespace palvane::testing {
namespace {

using Plan = std::vector<std::array<double, 2>>;

// The plan vertices of the entities on `layer` (lightweight or 3D
// polylines), read from the file, by handle.
std::map<std::string, Plan> PlanLines(const std::string& path, const std::string& layer) {
  auto app = dxf::NewApplication();
  const auto doc = dxf::LoadDrawing(*app, path);
  std::map<std::string, Plan> out;
  const auto space = doc->ModelSpace();
  for (int32_t i = 0; i < space->Count(); ++i) {
    const auto e = space->Item(i);
    if (e->Layer() != layer) continue;
    Plan plan;
    if (e.Is<host::LWPolyline>()) {
      const auto c = e.As<host::LWPolyline>()->Coordinates();
      for (size_t k = 0; k + 1 < c.size(); k += 2) plan.push_back({c[k], c[k + 1]});
    } else if (e.Is<host::Polyline3D>()) {
      const auto c = e.As<host::Polyline3D>()->Coordinates();
      for (size_t k = 0; k + 2 < c.size(); k += 3) plan.push_back({c[k], c[k + 1]});
    }
    out[e->Handle()] = plan;
  }
  return out;
}

// Where a section line first crosses the axis, as the distance along the
// axis from its first vertex: straight pieces, plain arithmetic.
std::optional<double> ChainageOn(const Plan& axis, const Plan& section) {
  double along = 0;
  for (size_t i = 0; i + 1 < axis.size(); ++i) {
    const auto& a = axis[i];
    const auto& b = axis[i + 1];
    const double ax = b[0] - a[0], ay = b[1] - a[1];
    for (size_t j = 0; j + 1 < section.size(); ++j) {
      const auto& c = section[j];
      const auto& d = section[j + 1];
      const double cx = d[0] - c[0], cy = d[1] - c[1];
      const double den = ax * cy - ay * cx;
      if (den == 0) continue;
      const double t = ((c[0] - a[0]) * cy - (c[1] - a[1]) * cx) / den;
      const double u = ((c[0] - a[0]) * ay - (c[1] - a[1]) * ax) / den;
      if (t >= 0 && t <= 1 && u >= 0 && u <= 1) return along + t * std::hypot(ax, ay);
    }
    along += std::hypot(ax, ay);
  }
  return std::nullopt;
}

class RealDrawingTest : public PalvaneTest {
 protected:
  // The first line of the independent checker's verdict after the file's
  // name: "No errors found." or "35 issues fixed.".
  static std::string AuditSummary(const std::string& path) {
    const std::string command = "/usr/bin/python3 -m ezdxf audit '" + path + "' 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return "the checker did not start";
    std::string output;
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) output.append(buf, n);
    if (::pclose(p) != 0) return "the checker failed: " + output;
    const size_t line = output.find('\n');
    return output.substr(line + 1, output.find('\n', line + 1) - line - 1);
  }
  static std::string Drawing(const std::string& name) {
    return std::string(PALVANE_TEST_DIR) + "/data/real-drawings/" + name;
  }
  // Tags the reach and the sections of `layer`; returns the tagged drawing
  // and the sections command's JSON of the tagged sections.
  std::pair<std::string, nlohmann::json> Tag(const std::string& source, const std::string& axis,
                                             const std::string& layer, int untagged) {
    const std::string reach = Path("reach.dxf"), tagged = Path("tagged.dxf");
    const Outcome r = Palvane("tag reach '" + source + "' --polyline " + axis +
                              " --number 1 --current -o '" + reach + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    const Outcome s = Palvane("tag sections '" + reach + "' --from-layer " + layer +
                              " --section-name 'XS{n}' --json -o '" + tagged + "'");
    EXPECT_EQ(s.status, untagged > 0 ? 1 : 0) << s.err;
    return {tagged, nlohmann::json::parse(s.out)};
  }
};

// The weir: sections drawn as 3D polylines 0.1 to 0.5 m apart, boundaries
// as 3D polylines, a drawing whose unit code says millimetres.
TEST_F(RealDrawingTest, TheWeirReachGoesThroughEveryCommand) {
  const std::string source = Drawing("weir-reach.dxf");
  const auto axis = PlanLines(source, "AXIS");
  const auto profiles = PlanLines(source, "PROFILES");
  ASSERT_EQ(axis.size(), 1u);
  ASSERT_EQ(profiles.size(), 17u);
  const auto [tagged, json] = Tag(source, axis.begin()->first, "PROFILES", 0);
  ASSERT_EQ(json.size(), 17u);
  // Each section's chainage is where its 3D polyline crosses the axis, and
  // the 3D polyline became its survey.
  std::vector<double> want;
  for (const auto& [handle, plan] : profiles) {
    const auto c = ChainageOn(axis.begin()->second, plan);
    ASSERT_TRUE(c) << handle;
    want.push_back(*c);
  }
  std::sort(want.begin(), want.end());
  for (size_t i = 0; i < json.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(json[i]["outcome"], "tagged");
    EXPECT_NEAR(json[i]["chainage"].get<double>(), want[i], 1e-3);
    EXPECT_NE(json[i]["done"].dump().find("3D polyline moved onto layer"), std::string::npos);
  }
  ExpectAuditClean(tagged);

  const std::string banks = " --bank-lines LEFT_BOUNDARY --bank-lines RIGHT_BOUNDARY";
  const Outcome check = Palvane("check '" + tagged + "' --json" + banks);
  const auto findings = nlohmann::json::parse(check.out);
  for (const auto& f : findings) {
    EXPECT_NE(f["code"], "bank-line-miss") << f.dump();
    EXPECT_NE(f["code"], "flow-uphill") << f.dump();
  }

  // Every format, from the sections' own 3D polylines.
  size_t vertices = 0;
  for (const auto& [handle, plan] : profiles) vertices += plan.size();
  const Outcome csv = Palvane("sections '" + tagged + "' --original-data" + banks + " -o '" +
                              Path("weir.csv") + "'");
  ASSERT_EQ(csv.status, 0) << csv.err;
  // Read in metres whatever the unit code says, and flowing the way the
  // bed falls: with the chainage.
  EXPECT_NE(csv.err.find("flow with-chainage, the way its bed falls"), std::string::npos)
      << csv.err;
  EXPECT_NE(csv.err.find("units: metres"), std::string::npos) << csv.err;
  const CsvTable table = ReadCsv(Read(Path("weir.csv")));
  std::map<std::string, size_t> per_section;
  size_t inserted = 0;
  for (const auto& row : table.rows) {
    ++per_section[row[1]];
    inserted += row[12].find("inserted") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(per_section.size(), 17u);
  EXPECT_EQ(table.rows.size() - inserted, vertices);
  for (const auto& [name, ext] : std::map<std::string, std::string>{
           {"hecras", ".RASImport.sdf"}, {"floodmodeller", ".dat"}, {"mike11", ".txt"}}) {
    const std::string out = Path("weir" + ext);
    const Outcome r =
        Palvane("sections '" + tagged + "' --original-data" + banks + " -o '" + out + "'");
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    if (name == "hecras") {
      const auto file = ReadHecRas(Read(out));
      EXPECT_EQ(file.header.at("UNITS"), "METRIC");
      EXPECT_EQ(file.sections.size(), 17u);
    } else if (name == "floodmodeller") {
      EXPECT_EQ(ReadFloodModeller(Read(out)).sections.size(), 17u);
    } else {
      const auto mike = ReadMike11(Read(out));
      EXPECT_EQ(mike.sections.size(), 17u);
      // The weir's crests are flat from bank to bank: its bed is marked
      // apart from its banks, one mark to a point, as readers take them.
      for (const auto& x : mike.sections) {
        EXPECT_EQ(x.topo_id, "SURVEY");
        std::vector<int> marks;
        for (const auto& p : x.profile) {
          if (p.marker != 0) marks.push_back(p.marker);
        }
        EXPECT_EQ(marks, (std::vector<int>{1, 2, 4})) << x.section_id;
      }
    }
  }
}

// The Austrian reach: its axis a 3D polyline, one section line short of
// it, no survey at all, and a unit code of inches.
TEST_F(RealDrawingTest, TheAustrianReachIsTaggedFromA3DAxis) {
  const std::string source = Drawing("austrian-reach.dxf");
  const auto axis = PlanLines(source, "0");
  const auto lines = PlanLines(source, "W_Profile");
  ASSERT_EQ(axis.size(), 1u);
  ASSERT_EQ(lines.size(), 20u);
  const Outcome r = Palvane("tag reach '" + source + "' --polyline " + axis.begin()->first +
                            " --number 1 --current -o '" + Path("reach-alone.dxf") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("is a 3D polyline: its plan copy"), std::string::npos) << r.err;
  const auto [tagged, json] = Tag(source, axis.begin()->first, "W_Profile", 1);
  std::vector<double> want;
  for (const auto& [handle, plan] : lines) {
    if (const auto c = ChainageOn(axis.begin()->second, plan)) want.push_back(*c);
  }
  std::sort(want.begin(), want.end());
  ASSERT_EQ(want.size(), 19u);
  size_t k = 0;
  for (const auto& s : json) {
    if (s["outcome"] != "tagged") {
      // The axis ends 0.229 m off the last line, 0.325 m short of it on
      // its own way, and says so.
      EXPECT_EQ(s["outcome"], "no-crossing");
      EXPECT_NE(s["text"].get<std::string>().find("vertex stops 0.325 short of it"),
                std::string::npos)
          << s.dump();
      continue;
    }
    ASSERT_LT(k, want.size());
    EXPECT_NEAR(s["chainage"].get<double>(), want[k++], 1e-3);
  }
  EXPECT_EQ(k, 19u);
  // The drawing came with 35 faults of its own (dictionary entries naming
  // no object): the independent checker finds those and no more.
  EXPECT_EQ(AuditSummary(source), "35 issues fixed.");
  EXPECT_EQ(AuditSummary(tagged), AuditSummary(source));
  const Outcome check = Palvane("check '" + tagged + "'");
  EXPECT_NE(check.status, 2) << check.err;
  const Outcome sections = Palvane("sections '" + tagged + "' -o '" + Path("a.csv") + "'");
  EXPECT_EQ(sections.status, 1);
  EXPECT_NE(sections.err.find("no section has a survey to write"), std::string::npos)
      << sections.err;
  EXPECT_NE(sections.err.find("units: metres"), std::string::npos) << sections.err;
}

// A drawing of the older, heavy 2D polylines throughout: the centre line
// (with an arc), section lines (one drawn mirrored, its normal pointing
// down) and bank lines; the survey as points with Z on one layer.
// `insunits` is the drawing's unit code, and `extra` survey points are added.
std::string HeavyPolylineDrawing(int insunits = 6,
                                 const std::vector<std::array<double, 3>>& extra = {}) {
  std::string out = "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1027\n  9\n$INSUNITS\n 70\n" +
                    std::to_string(insunits) +
                    "\n  0\nENDSEC\n"
                    "  0\nSECTION\n  2\nENTITIES\n";
  int handle = 0x100;
  auto next = [&] {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", handle++);
    return std::string(hex);
  };
  // Vertices as X, Y, bulge in the polyline's own coordinates.
  auto polyline = [&](const std::string& layer, const std::vector<std::array<double, 3>>& vertices,
                      bool mirrored) {
    const std::string own = next();
    out += "  0\nPOLYLINE\n  5\n" + own + "\n330\n1F\n100\nAcDbEntity\n  8\n" + layer +
           "\n100\nAcDb2dPolyline\n 66\n1\n 10\n0\n 20\n0\n 30\n0\n 70\n0\n";
    if (mirrored) out += "210\n0\n220\n0\n230\n-1\n";
    for (const auto& [x, y, bulge] : vertices) {
      out += "  0\nVERTEX\n  5\n" + next() + "\n330\n" + own + "\n100\nAcDbEntity\n  8\n" + layer +
             "\n100\nAcDbVertex\n100\nAcDb2dVertex\n 10\n" + std::to_string(x) + "\n 20\n" +
             std::to_string(y) + "\n 30\n0\n 42\n" + std::to_string(bulge) + "\n 70\n0\n";
    }
    out +=
        "  0\nSEQEND\n  5\n" + next() + "\n330\n" + own + "\n100\nAcDbEntity\n  8\n" + layer + "\n";
  };
  polyline("Axis", {{0, 0, 0}, {80, 0, 0.25}, {100, 0, 0}}, false);  // handle 100
  polyline("XS", {{20, 10, 0}, {20, -10, 0}}, false);
  polyline("XS", {{40, 10, 0}, {40, -10, 0}}, false);
  polyline("XS", {{-60, 10, 0}, {-60, -10, 0}}, true);  // world X 60
  polyline("Banks", {{0, 4, 0}, {100, 4, 0}}, false);
  polyline("Banks", {{0, -4, 0}, {100, -4, 0}}, false);
  auto point = [&](double x, double y, double z) {
    out += "  0\nPOINT\n  5\n" + next() + "\n330\n1F\n100\nAcDbEntity\n  8\nSurvey\n" +
           "100\nAcDbPoint\n 10\n" + std::to_string(x) + "\n 20\n" + std::to_string(y) + "\n 30\n" +
           std::to_string(z) + "\n";
  };
  for (const double x : {20, 40, 60}) {
    for (const double y : {-10, -5, 0, 5, 10}) point(x, y, 9 + std::fabs(y) / 5 - x / 100);
  }
  for (const auto& [x, y, z] : extra) point(x, y, z);
  return out + "  0\nENDSEC\n  0\nEOF\n";
}

// Heavy 2D polylines are read wherever a line is: the centre line and the
// section lines are tagged through their plan copies (arcs kept, originals
// kept), a second run finds its sections tagged already, and the bank lines
// give each section its banks.
TEST_F(RealDrawingTest, HeavyPolylinesAreReadWhereverALineIs) {
  const std::string source = Path("heavy.dxf");
  { std::ofstream(source, std::ios::binary) << HeavyPolylineDrawing(); }
  const Outcome candidates = Palvane("info '" + source + "'");
  EXPECT_NE(candidates.err.find("100 on layer Axis ("), std::string::npos) << candidates.err;
  const Outcome r = Palvane("tag reach '" + source + "' --polyline 100 --number 1 --current -o '" +
                            Path("first.dxf") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("polyline 100 is a 2D polyline: its plan copy"), std::string::npos) << r.err;
  const auto [tagged, json] = Tag(source, "100", "XS", 0);
  ASSERT_EQ(json.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(json[i]["outcome"], "tagged");
    EXPECT_NEAR(json[i]["chainage"].get<double>(), 20.0 * static_cast<double>(i + 1), 1e-9);
    EXPECT_NE(json[i]["done"].dump().find("made of 2D polyline"), std::string::npos);
  }
  ExpectAuditClean(tagged);
  // The same drawing saved as R12, which holds no lightweight polyline, is
  // refused before anything is done, and nothing is written.
  std::string r12 = HeavyPolylineDrawing();
  r12.replace(r12.find("AC1027"), 6, "AC1009");
  { std::ofstream(Path("r12.dxf"), std::ios::binary) << r12; }
  const Outcome old =
      Palvane("tag reach '" + Path("r12.dxf") + "' --polyline 100 --number 1 --current -o '" +
              Path("r12t.dxf") + "'");
  EXPECT_EQ(old.status, 2);
  EXPECT_NE(old.err.find("is a DXF R12 (AC1009) drawing, which cannot hold the lightweight"),
            std::string::npos)
      << old.err;
  EXPECT_FALSE(std::filesystem::exists(Path("r12t.dxf")));
  // Lines that cannot be copied into plan are refused with a reason, not a
  // crash; a locked layer refuses before anything is written.
  std::string stub = HeavyPolylineDrawing();
  stub.insert(stub.rfind("  0\nENDSEC"),
              "  0\nPOLYLINE\n  5\n90\n330\n1F\n100\nAcDbEntity\n  8\nStub\n100\n"
              "AcDb3dPolyline\n 66\n1\n 10\n0\n 20\n0\n 30\n0\n 70\n8\n  0\nVERTEX\n  5\n91\n"
              "330\n90\n100\nAcDbEntity\n  8\nStub\n100\nAcDbVertex\n100\nAcDb3dPolylineVertex\n"
              " 10\n1\n 20\n2\n 30\n3\n 70\n32\n  0\nSEQEND\n  5\n92\n330\n90\n100\nAcDbEntity\n"
              "  8\nStub\n");
  std::string locked = stub;
  locked.insert(locked.find("  0\nSECTION\n  2\nENTITIES"),
                "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n 70\n1\n  0\nLAYER\n"
                "  2\nXS\n 70\n4\n 62\n7\n  6\nCONTINUOUS\n  0\nENDTAB\n  0\nENDSEC\n");
  {
    std::ofstream(Path("stub.dxf"), std::ios::binary) << stub;
    std::ofstream(Path("locked.dxf"), std::ios::binary) << locked;
  }
  const Outcome one = Palvane("tag reach '" + Path("stub.dxf") +
                              "' --polyline 90 --number 1 --current -o '" + Path("one.dxf") + "'");
  EXPECT_EQ(one.status, 2);
  EXPECT_NE(one.err.find("polyline 90 has fewer than two vertices"), std::string::npos) << one.err;
  const Outcome lock = Palvane("tag reach '" + Path("locked.dxf") +
                               "' --polyline 100 --number 1 --current -o '" + Path("lr.dxf") + "'");
  ASSERT_EQ(lock.status, 0) << lock.err;
  const Outcome refused =
      Palvane("tag sections '" + Path("lr.dxf") + "' --from-layer XS -o '" + Path("ls.dxf") + "'");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("2D polyline 105 lies on locked layer XS"), std::string::npos)
      << refused.err;
  EXPECT_FALSE(std::filesystem::exists(Path("ls.dxf")));
  // The centre line's copy keeps its arc: longer than its chords.
  const Outcome station = Palvane("station '" + tagged + "' --point 100,0 --json");
  ASSERT_EQ(station.status, 0) << station.err;
  EXPECT_GT(nlohmann::json::parse(station.out)[0]["chainage"].get<double>(), 100.5);
  // The originals stay on their layer; tagged again, each is the section it
  // was copied to, not a new one.
  const Outcome again = Palvane("tag sections '" + tagged + "' --from-layer XS --json --dry-run");
  ASSERT_EQ(again.status, 0) << again.err;
  const auto twice = nlohmann::json::parse(again.out);
  ASSERT_EQ(twice.size(), 3u);
  for (const auto& s : twice) {
    EXPECT_EQ(s["outcome"], "left-alone") << s.dump();
    EXPECT_NE(s["text"].get<std::string>().find("is tagged already"), std::string::npos);
  }
  // The bank lines, heavy too, cross each section 6 m from either end of
  // its line, where no survey point is: a point is put there.
  const Outcome csv = Palvane("sections '" + tagged + "' --points-layer Survey --bank-lines Banks" +
                              " -o '" + Path("heavy.csv") + "'");
  ASSERT_EQ(csv.status, 0) << csv.err;
  const CsvTable table = ReadCsv(Read(Path("heavy.csv")));
  std::map<std::string, std::vector<double>> banks;
  for (const auto& row : table.rows) {
    if (row[12].find("bank") != std::string::npos) banks[row[1]].push_back(std::stod(row[6]));
  }
  ASSERT_EQ(banks.size(), 3u);
  for (const auto& [section, stations] : banks) {
    EXPECT_EQ(stations.size(), 2u) << section;
    for (const double s : stations)
      EXPECT_TRUE(std::fabs(s - 6) < 1e-3 || std::fabs(s - 14) < 1e-3) << s;
  }
}

// A drawing in feet reads its survey with metric defaults held in feet: a
// point 1.2 units off its line lies within half a metre in feet, not in
// metres.
TEST_F(RealDrawingTest, DistancesDefaultToMetresInTheDrawingsUnits) {
  const std::string source = Path("feet.dxf");
  { std::ofstream(source, std::ios::binary) << HeavyPolylineDrawing(2, {{41.2, 2, 9.4}}); }
  const auto [tagged, json] = Tag(source, "100", "XS", 0);
  ASSERT_EQ(json.size(), 3u);
  for (const auto& [units, points] :
       std::vector<std::pair<std::string, size_t>>{{"", 6}, {" --units m", 5}}) {
    SCOPED_TRACE(units);
    const std::string csv = Path("feet" + std::to_string(points) + ".csv");
    const Outcome r =
        Palvane("sections '" + tagged + "' --points-layer Survey" + units + " -o '" + csv + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    size_t second = 0;
    for (const auto& row : ReadCsv(Read(csv)).rows) second += row[1] == "2" ? 1 : 0;
    EXPECT_EQ(second, points);
    const Outcome check = Palvane("check '" + tagged + "' --points-layer Survey" + units);
    EXPECT_NE(check.err.find(units.empty() ? "units: feet" : "units: metres"), std::string::npos)
        << check.err;
  }
}

}  // namespace
}  // namespace palvane::testing
