// palvane sections end to end: a generated surveyed river written in every
// format, each read back by a reader written from the format's description
// alone, and compared with what was generated.

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "dxf/drawing.h"
#include "generator/river_generator.h"
#include "support/model_readers.h"
#include "tools/command_fixture.h"

namespace palvane::testing {
namespace {

constexpr double kMillimetre = 1e-3;

// The distance along a cut line to the place on it nearest `p`.
double AlongCutLine(const std::vector<HecRasPoint>& cut, const HecRasPoint& p) {
  double walked = 0, best = INFINITY, at = 0;
  for (size_t i = 0; i + 1 < cut.size(); ++i) {
    const double dx = cut[i + 1].x - cut[i].x, dy = cut[i + 1].y - cut[i].y;
    const double piece = std::hypot(dx, dy);
    const double t =
        piece > 0 ? std::clamp(((p.x - cut[i].x) * dx + (p.y - cut[i].y) * dy) / (piece * piece),
                               0.0, 1.0)
                  : 0;
    const double off = std::hypot(cut[i].x + t * dx - p.x, cut[i].y + t * dy - p.y);
    if (off < best) best = off, at = walked + t * piece;
    walked += piece;
  }
  return at;
}

class SectionsTest : public PalvaneTest {
 protected:
  // A river of `sections` sections, each with a survey of `points`, and
  // what was generated for it: the command and the generator in this
  // process draw the same river from the same shape.
  void Generate(int32_t sections, int32_t points, const std::string& faults = "") {
    std::string args = "generate --sections " + std::to_string(sections) + " --seed 7 --survey " +
                       std::to_string(points) + " -o '" + Path("g.dxf") + "'";
    if (!faults.empty()) args += " --faults " + faults;
    ASSERT_EQ(Palvane(args).status, 0);
    const auto app = dxf::NewApplication();
    const host::Ref<host::Document> doc = app->Documents()->Add();
    generator::RiverShape shape;
    shape.sections = sections;
    shape.seed = 7;
    shape.survey = points;
    if (!faults.empty()) shape.faults = std::vector<std::string>{faults};
    generator::GenerateRiver(*doc, shape, &generated_);
    for (const auto& g : generated_) by_number_[g.number] = &g;
  }

  std::string Sections(const std::string& out, const std::string& more = "") {
    // Flowing against the chainage, as Expected reads the sections.
    const Outcome o = Palvane("sections '" + Path("g.dxf") + "' -o '" + Path(out) +
                              "' --bank-lines Bank_Lines --flow against-chainage " + more);
    EXPECT_EQ(o.status, 0) << o.err;
    return Read(Path(out));
  }

  // The generated processed survey as the command reads it: every section
  // turned (drawn with the other bank first), stations from the left bank,
  // and a point put in at each bank that no surveyed point stands within a
  // centimetre of, its elevation interpolated.
  std::vector<std::array<double, 2>> Expected(const std::string& number) const {
    const generator::GeneratedSection& g = *by_number_.at(number);
    std::vector<std::array<double, 2>> out;
    for (auto it = g.processed.rbegin(); it != g.processed.rend(); ++it) {
      out.push_back({g.length - (*it)[0], (*it)[1]});
    }
    for (const double bank : {g.length - g.right_bank, g.length - g.left_bank}) {
      const size_t at = Nearest(out, bank);
      if (std::fabs(out[at][0] - bank) <= 0.01) continue;
      const size_t after = out[at][0] > bank ? at : at + 1;
      const auto& a = out[after - 1];
      const auto& b = out[after];
      const double t = (bank - a[0]) / (b[0] - a[0]);
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(after),
                 {bank, a[1] + t * (b[1] - a[1])});
    }
    return out;
  }

  // The index of the point nearest a station.
  static size_t Nearest(const std::vector<std::array<double, 2>>& points, double station) {
    size_t best = 0;
    for (size_t i = 1; i < points.size(); ++i) {
      if (std::fabs(points[i][0] - station) < std::fabs(points[best][0] - station)) best = i;
    }
    return best;
  }

  std::vector<generator::GeneratedSection> generated_;
  std::map<std::string, const generator::GeneratedSection*> by_number_;
};

TEST_F(SectionsTest, CsvHoldsEveryPointAsGenerated) {
  Generate(30, 25);
  const CsvTable table = ReadCsv(Sections("x.csv"));
  ASSERT_EQ(table.header, (std::vector<std::string>{
                              "reach", "section", "name", "chainage", "river_station", "point",
                              "station", "elevation", "x", "y", "offset", "layer", "marker"}));
  std::map<std::string, std::vector<const std::vector<std::string>*>> rows;
  for (const auto& row : table.rows) rows[row[1]].push_back(&row);
  ASSERT_EQ(rows.size(), generated_.size());
  for (const auto& [number, section] : rows) {
    SCOPED_TRACE(number);
    const auto expected = Expected(number);
    ASSERT_EQ(section.size(), expected.size());
    for (size_t i = 0; i < section.size(); ++i) {
      const auto& row = *section[i];
      EXPECT_EQ(row[0], "1");
      EXPECT_EQ(row[2], "XS" + number);
      EXPECT_EQ(row[5], std::to_string(i + 1));
      EXPECT_NEAR(std::stod(row[6]), expected[i][0], kMillimetre);
      EXPECT_NEAR(std::stod(row[7]), expected[i][1], kMillimetre);
      EXPECT_LT(std::stod(row[10]), kMillimetre);
      EXPECT_EQ(row[11], number + "_3d_LPSO");
      // A bank put in is said so; every other point was surveyed.
      const double station = expected[i][0], length = by_number_.at(number)->length;
      const bool bank =
          std::fabs(station - length / 4) < 0.02 || std::fabs(station - 3 * length / 4) < 0.02;
      if (row[12].find("inserted") != std::string::npos) {
        EXPECT_TRUE(bank) << station;
      }
    }
    // The bank lines cross each section at a quarter and three quarters of
    // its line: the points nearest are its banks.
    const double length = by_number_.at(number)->length;
    EXPECT_NE(section[Nearest(expected, length / 4)]->at(12).find("left-bank"), std::string::npos);
    EXPECT_NE(section[Nearest(expected, 3 * length / 4)]->at(12).find("right-bank"),
              std::string::npos);
  }
}

TEST_F(SectionsTest, HecRasImportFileReadsBackAsGenerated) {
  Generate(30, 25);
  const HecRasFile file = ReadHecRas(Sections("x.RASImport.sdf"));
  EXPECT_TRUE(file.crlf);
  EXPECT_EQ(file.header.at("UNITS"), "METRIC");
  ASSERT_EQ(file.sections.size(), generated_.size());
  ASSERT_EQ(file.reaches.size(), 1u);  // the tributary, with no section, is left out
  std::set<std::pair<std::string, std::string>> reaches;
  for (const auto& r : file.reaches) EXPECT_TRUE(reaches.insert({r.stream_id, r.reach_id}).second);
  double previous = INFINITY;
  for (size_t k = 0; k < file.sections.size(); ++k) {
    const HecRasSection& s = file.sections[k];
    const std::string number = s.node_name.substr(2);
    SCOPED_TRACE(number);
    EXPECT_EQ(s.stream_id, "g");
    EXPECT_EQ(s.reach_id, "1");
    EXPECT_LE(s.station_text.size(), 8u);
    EXPECT_LT(s.station, previous);  // river stations fall downstream
    previous = s.station;
    // The banks: where the bank lines cross, at a quarter and three
    // quarters of the line, or the surveyed point within a centimetre.
    ASSERT_TRUE(s.bank_positions);
    const double length = by_number_.at(number)->length;
    EXPECT_NEAR((*s.bank_positions)[0] * length, length / 4, 0.01);
    EXPECT_NEAR((*s.bank_positions)[1] * length, 3 * length / 4, 0.01);
    ASSERT_TRUE(s.reach_lengths);
    if (k + 1 == file.sections.size()) {
      EXPECT_EQ(*s.reach_lengths, (std::array<double, 3>{0, 0, 0}));
    } else {
      EXPECT_NEAR((*s.reach_lengths)[1], 50, 0.5);
      EXPECT_GT((*s.reach_lengths)[0], 0);
      EXPECT_GT((*s.reach_lengths)[2], 0);
    }
    // The surface line lies on the cut line: its points' distance along it
    // from the cut line's first point is the station.
    const auto expected = Expected(number);
    ASSERT_EQ(s.surface_line.size(), expected.size());
    EXPECT_LE(s.surface_line.size(), 500u);
    for (size_t i = 0; i < expected.size(); ++i) {
      const HecRasPoint& p = s.surface_line[i];
      EXPECT_NEAR(AlongCutLine(s.cut_line, p), expected[i][0], kMillimetre);
      ASSERT_TRUE(p.z);
      EXPECT_NEAR(*p.z, expected[i][1], kMillimetre);
    }
  }
}

TEST_F(SectionsTest, FloodModellerDataFileReadsBackAsGenerated) {
  Generate(30, 25);
  const FloodModellerFile file = ReadFloodModeller(Sections("x.dat", "--manning 0.04"));
  EXPECT_EQ(file.label_width, 12);
  EXPECT_EQ(file.node_count, static_cast<int>(generated_.size()));
  ASSERT_EQ(file.sections.size(), generated_.size());
  std::set<std::string> labels;
  for (size_t k = 0; k < file.sections.size(); ++k) {
    const FloodModellerSection& s = file.sections[k];
    SCOPED_TRACE(s.label);
    EXPECT_TRUE(labels.insert(s.label).second);
    EXPECT_LE(s.label.size(), 12u);
    const std::string number = s.label.substr(2);
    const auto expected = Expected(number);
    ASSERT_EQ(s.rows.size(), expected.size());
    size_t beds = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_NEAR(s.rows[i].offset, expected[i][0], kMillimetre);
      EXPECT_NEAR(s.rows[i].level, expected[i][1], kMillimetre);
      EXPECT_EQ(s.rows[i].manning, 0.04);
      beds += s.rows[i].marker == "BED";
    }
    const double length = by_number_.at(number)->length;
    EXPECT_EQ(s.rows[Nearest(expected, length / 4)].marker, "LEFT");
    EXPECT_EQ(s.rows[Nearest(expected, 3 * length / 4)].marker, "RIGHT");
    EXPECT_EQ(beds, 1u);
    if (k + 1 == file.sections.size()) {
      EXPECT_EQ(s.distance_to_next, 0);
    } else {
      EXPECT_NEAR(s.distance_to_next, 50, 0.5);
    }
  }
  EXPECT_EQ(file.initial_condition_labels.size(), labels.size());
}

TEST_F(SectionsTest, Mike11RawDataReadsBackAsGenerated) {
  Generate(30, 25);
  const Mike11File file = ReadMike11(Sections("x.txt", "--river Palvane"));
  ASSERT_EQ(file.sections.size(), generated_.size());
  double previous = -INFINITY;
  for (const Mike11Section& s : file.sections) {
    SCOPED_TRACE(s.section_id);
    EXPECT_EQ(s.branch, "Palvane");
    EXPECT_EQ(s.topo_id, "2012");     // the water date's year
    EXPECT_GT(s.chainage, previous);  // MIKE 11 counts chainage downstream
    previous = s.chainage;
    EXPECT_EQ(s.coordinates.size(), 4u);
    const std::string number = s.section_id.substr(2);
    const auto expected = Expected(number);
    ASSERT_EQ(s.profile.size(), expected.size());
    int lowest = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_NEAR(s.profile[i].x, expected[i][0], kMillimetre);
      EXPECT_NEAR(s.profile[i].z, expected[i][1], kMillimetre);
      lowest += (s.profile[i].marker & 2) != 0;
    }
    const double length = by_number_.at(number)->length;
    EXPECT_EQ(s.profile[Nearest(expected, length / 4)].marker & 1, 1);
    EXPECT_EQ(s.profile[Nearest(expected, 3 * length / 4)].marker & 4, 4);
    EXPECT_EQ(lowest, 1);
  }
}

// The bundled sample river, its survey drawn by scripts/add-sample-survey.py:
// 20 sections of 13 processed points each, in every format.
TEST_F(SectionsTest, TheSampleRiverWritesEveryFormat) {
  const std::string sample = std::string(PALVANE_TEST_DIR) + "/../examples/river.dxf";
  auto run = [&](const std::string& out) {
    const Outcome o = Palvane("sections '" + sample + "' -o '" + Path(out) +
                              "' --bank-lines Bank_Lines --river Sample");
    EXPECT_EQ(o.status, 0) << o.err;
    return Read(Path(out));
  };
  // Each section's 13 surveyed points, and the banks put in where no point
  // stands: the same number of points in every format.
  const CsvTable csv = ReadCsv(run("s.csv"));
  std::map<std::string, size_t> points;
  size_t surveyed = 0;
  for (const auto& row : csv.rows) {
    ++points[row[2]];
    surveyed += row[12].find("inserted") == std::string::npos;
  }
  EXPECT_EQ(surveyed, 20u * 13u);
  ASSERT_EQ(points.size(), 20u);
  const HecRasFile ras = ReadHecRas(run("s.RASImport.sdf"));
  ASSERT_EQ(ras.sections.size(), 20u);
  for (const auto& s : ras.sections) EXPECT_EQ(s.surface_line.size(), points[s.node_name]);
  const FloodModellerFile fm = ReadFloodModeller(run("s.dat"));
  ASSERT_EQ(fm.sections.size(), 20u);
  for (const auto& s : fm.sections) EXPECT_EQ(s.rows.size(), points[s.label]) << s.label;
  const Mike11File mike = ReadMike11(run("s.txt"));
  ASSERT_EQ(mike.sections.size(), 20u);
  for (const auto& s : mike.sections) EXPECT_EQ(s.profile.size(), points[s.section_id]);
}

// A section of too many points for HEC-RAS is thinned and said so, or with
// --no-thin refused, nothing written.
TEST_F(SectionsTest, HecRasSectionsOfTooManyPointsAreThinnedOrRefused) {
  Generate(24, 20, "too-many-points");
  const Outcome thinned = Palvane("sections '" + Path("g.dxf") + "' -o '" + Path("t.sdf") + "'");
  ASSERT_EQ(thinned.status, 0) << thinned.err;
  EXPECT_NE(thinned.err.find("thinned from 520 to 500 points"), std::string::npos) << thinned.err;
  size_t largest = 0;
  for (const auto& s : ReadHecRas(Read(Path("t.sdf"))).sections) {
    largest = std::max(largest, s.surface_line.size());
  }
  EXPECT_EQ(largest, 500u);

  const Outcome refused =
      Palvane("sections '" + Path("g.dxf") + "' -o '" + Path("r.sdf") + "' --no-thin");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("HEC-RAS takes at most 500"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(Path("r.sdf")));
}

// A section without survey points is left out, said so and the exit status
// says it; the section upstream of it reaches to the next one kept.
TEST_F(SectionsTest, ASectionWithoutSurveyIsLeftOutBetweenItsNeighbours) {
  Generate(24, 20, "no-survey");
  const Outcome o = Palvane("sections '" + Path("g.dxf") + "' -o '" + Path("n.sdf") + "'");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("section 4 of reach 1 is left out: it has 0 survey points"),
            std::string::npos)
      << o.err;
  const HecRasFile file = ReadHecRas(Read(Path("n.sdf")));
  ASSERT_EQ(file.sections.size(), 23u);
  for (const HecRasSection& s : file.sections) {
    EXPECT_NE(s.node_name, "XS4");
    if (s.node_name == "XS5") {
      EXPECT_NEAR((*s.reach_lengths)[1], 100, 1);
    }
  }
}

TEST_F(SectionsTest, BadRequestsAreRefusedWithoutWriting) {
  Generate(6, 5);
  const std::string in = "'" + Path("g.dxf") + "'";
  EXPECT_EQ(Palvane("sections " + in + " -o '" + Path("a.xyz") + "'").status, 2);
  EXPECT_EQ(Palvane("sections " + in + " -o '" + Path("a.csv") + "' -f hec").status, 2);
  EXPECT_EQ(Palvane("sections " + in + " -o '" + Path("a.csv") + "' --within -1").status, 2);
  EXPECT_EQ(Palvane("sections " + in + " -o '" + Path("a.csv") + "' --reach 9").status, 1);
  EXPECT_FALSE(fs::exists(Path("a.csv")));
  // Bank lines on a layer that holds none; a reach without sections.
  const Outcome banks =
      Palvane("sections " + in + " -o '" + Path("a.csv") + "' --bank-lines Nowhere");
  EXPECT_EQ(banks.status, 1);
  EXPECT_NE(banks.err.find("--bank-lines Nowhere: no polyline on the layer"), std::string::npos)
      << banks.err;
  EXPECT_EQ(Palvane("sections " + in + " -o '" + Path("a.csv") + "' --reach 2").status, 1);
  EXPECT_FALSE(fs::exists(Path("a.csv")));
  // An existing output is kept unless --overwrite.
  Sections("b.csv");
  EXPECT_EQ(Palvane("sections " + in + " -o '" + Path("b.csv") + "'").status, 2);
}

}  // namespace
}  // namespace palvane::testing
