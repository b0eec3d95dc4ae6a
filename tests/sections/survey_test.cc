#include "sections/survey.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "generator/river_generator.h"
#include "host/message_sink.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

using sections::CrossSection;
using sections::Flow;
using sections::Survey;
using sections::SurveyOptions;

std::map<std::string, const CrossSection*> ByNumber(const Survey& survey) {
  std::map<std::string, const CrossSection*> out;
  for (const auto& reach : survey.reaches) {
    for (const auto& x : reach.sections) out[x.number] = &x;
  }
  return out;
}

struct GeneratedRiver {
  explicit GeneratedRiver(int32_t sections, int32_t points = 15) {
    generator::RiverShape shape;
    shape.sections = sections;
    shape.survey = points;
    shape.faults = std::vector<std::string>{};
    generator::GenerateRiver(*d.doc, shape, &generated);
  }
  Survey Read(SurveyOptions options = {}) {
    host::RecordingMessageSink sink;
    return sections::ReadSurvey(d.doc, sink, options);
  }
  Drawing d;
  std::vector<generator::GeneratedSection> generated;
};

// Stations and elevations read back as generated, within a millimetre:
// by default the river flows towards falling chainage, so every section,
// drawn with the rising chainage's left bank first, is read turned.
TEST(SurveyTest, GeneratedSurveyReadsBackEitherWayRound) {
  GeneratedRiver river(12);
  for (const Flow flow : {Flow::kAgainstChainage, Flow::kWithChainage}) {
    SurveyOptions options;
    options.flow = flow;
    const Survey survey = river.Read(options);
    const auto read = ByNumber(survey);
    ASSERT_EQ(read.size(), river.generated.size());
    const bool turned = flow == Flow::kAgainstChainage;
    EXPECT_EQ(survey.turned, turned ? river.generated.size() : 0u);
    for (const auto& g : river.generated) {
      SCOPED_TRACE(g.number);
      const CrossSection& x = *read.at(g.number);
      EXPECT_EQ(x.turned, turned);
      EXPECT_NEAR(x.length, g.length, 1e-6);
      ASSERT_EQ(x.points.size(), g.processed.size());
      for (size_t i = 0; i < g.processed.size(); ++i) {
        const auto& want = g.processed[turned ? g.processed.size() - 1 - i : i];
        EXPECT_NEAR(x.points[i].station, turned ? g.length - want[0] : want[0], 1e-3);
        EXPECT_NEAR(x.points[i].elevation, want[1], 1e-3);
        EXPECT_LT(x.points[i].offset, 1e-6);
      }
      EXPECT_TRUE(x.points.front().markers & sections::kLeftBank);
      EXPECT_TRUE(x.points.back().markers & sections::kRightBank);
      EXPECT_TRUE(x.off_line.empty());
    }
    // In order downstream: the chainage falls against the flow's way.
    const auto& ordered = survey.reaches[0].sections;
    ASSERT_GE(ordered.size(), 2u);
    EXPECT_EQ(ordered.front().chainage > ordered.back().chainage, turned);
  }
}

TEST(SurveyTest, OriginalDataAndBankLinesGiveTheirPointsAndBanks) {
  GeneratedRiver river(8, 9);
  SurveyOptions options;
  options.original_data = true;
  options.bank_lines_layer = generator::kBankLinesLayer;
  options.flow = Flow::kWithChainage;
  const Survey survey = river.Read(options);
  const auto read = ByNumber(survey);
  for (const auto& g : river.generated) {
    SCOPED_TRACE(g.number);
    const CrossSection& x = *read.at(g.number);
    ASSERT_EQ(x.points.size(), g.original.size());
    EXPECT_NEAR(x.left_bank, g.left_bank, 1e-6);
    EXPECT_NEAR(x.right_bank, g.right_bank, 1e-6);
    EXPECT_TRUE(x.left_bank_crossed && x.right_bank_crossed);
    // The lowest point lies between the banks and nothing there is lower.
    size_t lowest = 0;
    for (size_t i = 0; i < x.points.size(); ++i) {
      if (x.points[i].markers & sections::kLowest) lowest = i;
    }
    EXPECT_GE(x.points[lowest].station, x.left_bank - 1);
    EXPECT_LE(x.points[lowest].station, x.right_bank + 1);
  }
  // Sections stand 50 apart along the centre line (their lines' jitter
  // moves a crossing by a little); the last downstream has no next one.
  // Bank lines join the sections' banks with straight pieces.
  const auto& ordered = survey.reaches[0].sections;
  for (size_t i = 0; i + 1 < ordered.size(); ++i) {
    EXPECT_NEAR(ordered[i].reach_lengths[1], 50, 0.5);
    EXPECT_GT(ordered[i].reach_lengths[0], 20);
    EXPECT_LT(ordered[i].reach_lengths[0], 80);
    EXPECT_NE(ordered[i].reach_lengths[0], ordered[i].reach_lengths[1]);
  }
  EXPECT_EQ(ordered.back().reach_lengths, (std::array<double, 3>{0, 0, 0}));
}

// Every kind of survey entity, on the processed layers and a shared layer;
// a point off the line is left out and reported.
TEST(SurveyTest, EveryKindOfSurveyEntityCounts) {
  Drawing d;
  TagReach(*AddPolyline(d.doc, "Centreline", {0, 0, 100, 0}), "1", true);
  AddSection(d.doc, "1", {50, 10, 50, -10}, 50, 180, "t", "XS1");
  const Ref<host::Block> space = d.doc->ModelSpace();
  d.doc->Layers()->Add("1_3d_LPSO");
  d.doc->Layers()->Add("1_3d_LINV");
  d.doc->Layers()->Add("Survey_Points");
  d.doc->Layers()->Add("1_3d");
  space->AddPoint({50, 5, 11})->SetLayer("1_3d_LPSO");
  space->AddLine({50, 8, 12}, {50, -8, 12.5})->SetLayer("1_3d_LPSO");
  const auto flat = AddPolyline(d.doc, "1_3d_LINV", {50, 2, 50, -2});
  flat->SetElevation(9);
  space->AddPoint({52, 0, 3})->SetLayer("1_3d_LINV");             // 2 off the line
  space->AddPoint({50.3, 0, 8.5})->SetLayer("Survey_Points");     // near enough
  space->AddPoint({60, 0, 1})->SetLayer("Survey_Points");         // another section's
  space->Add3DPoly({50, 9, 13, 50, -9, 13.5})->SetLayer("1_3d");  // the original survey

  SurveyOptions options;
  options.points_layer = "Survey_Points";
  host::RecordingMessageSink sink;
  const Survey survey = sections::ReadSurvey(d.doc, sink, options);
  ASSERT_EQ(survey.reaches.size(), 1u);
  ASSERT_EQ(survey.reaches[0].sections.size(), 1u);
  const CrossSection& x = survey.reaches[0].sections[0];
  // Flowing towards chainage 0 (west), the left bank is south: the line,
  // drawn from the north, is read turned.
  EXPECT_TRUE(x.turned);
  EXPECT_EQ(x.cut.front(), (sections::Point2{50, -10}));
  std::vector<std::pair<double, double>> got;
  for (const auto& p : x.points) got.emplace_back(p.station, p.elevation);
  EXPECT_EQ(got, (std::vector<std::pair<double, double>>{
                     {2, 12.5}, {8, 9}, {10, 8.5}, {12, 9}, {15, 11}, {18, 12}}));
  EXPECT_EQ(x.points[2].layer, "Survey_Points");
  EXPECT_NEAR(x.points[2].offset, 0.3, 1e-12);
  ASSERT_EQ(x.off_line.size(), 1u);
  EXPECT_EQ(x.off_line[0].layer, "1_3d_LINV");
  EXPECT_NEAR(x.off_line[0].offset, 2, 1e-12);
  EXPECT_TRUE(x.points[2].markers & sections::kLowest);
  EXPECT_EQ(x.name, "XS1");

  options.original_data = true;
  options.points_layer.clear();
  const Survey original = sections::ReadSurvey(d.doc, sink, options);
  ASSERT_EQ(original.reaches[0].sections[0].points.size(), 2u);
  EXPECT_EQ(original.reaches[0].sections[0].points[0].elevation, 13.5);
}

// Two points at one station: a repeat is dropped, another elevation kept
// after the first, and both are counted.
TEST(SurveyTest, PointsAtOneStationAreCountedAndRepeatsDropped) {
  Drawing d;
  TagReach(*AddPolyline(d.doc, "Centreline", {0, 0, 100, 0}), "1", true);
  AddSection(d.doc, "1", {50, -10, 50, 10}, 50, 0, "t", "XS1");
  d.doc->Layers()->Add("1_3d_LPSO");
  d.doc->ModelSpace()
      ->Add3DPoly({50, -10, 12, 50, 0, 9, 50, 0, 9, 50, 0, 9.5, 50, 10, 12})
      ->SetLayer("1_3d_LPSO");
  host::RecordingMessageSink sink;
  const Survey survey = sections::ReadSurvey(d.doc, sink, {});
  const CrossSection& x = survey.reaches[0].sections[0];
  EXPECT_FALSE(x.turned);
  ASSERT_EQ(x.points.size(), 4u);
  EXPECT_EQ(x.points[1].elevation, 9);
  EXPECT_EQ(x.points[2].elevation, 9.5);
  EXPECT_EQ(x.same_station, 2u);
  EXPECT_EQ(x.conflicting, 1u);
}

// A wall drawn top then bottom from the right bank reads bottom then top
// from the left bank, as the ground runs.
TEST(SurveyTest, AWallInATurnedSectionKeepsItsShape) {
  Drawing d;
  TagReach(*AddPolyline(d.doc, "Centreline", {0, 0, 100, 0}), "1", true);
  AddSection(d.doc, "1", {50, 10, 50, -10}, 50, 180, "t", "XS1");
  d.doc->Layers()->Add("1_3d_LPSO");
  d.doc->ModelSpace()->Add3DPoly({50, 8, 12, 50, 5, 12, 50, 5, 9, 50, 0, 9})->SetLayer("1_3d_LPSO");
  host::RecordingMessageSink sink;
  const Survey survey = sections::ReadSurvey(d.doc, sink, {});
  const CrossSection& x = survey.reaches[0].sections[0];
  ASSERT_TRUE(x.turned);
  std::vector<std::pair<double, double>> got;
  for (const auto& p : x.points) got.emplace_back(p.station, p.elevation);
  EXPECT_EQ(got, (std::vector<std::pair<double, double>>{{10, 9}, {15, 9}, {15, 12}, {18, 12}}));
}

// Chainage counted from the centre line's last vertex: the river flows
// towards that end, the lines drawn from the north are read as drawn (north
// is left, looking east), and the sections come in that order.
TEST(SurveyTest, ChainageFromTheLastVertexTurnsTheRiverAround) {
  Drawing d;
  TagReach(*AddPolyline(d.doc, "Centreline", {0, 0, 100, 0}), "1", true);
  AddSection(d.doc, "1", {30, 10, 30, -10}, 70, 180, "t", "XS1");
  AddSection(d.doc, "2", {80, 10, 80, -10}, 20, 180, "t", "XS2");
  d.doc->Layers()->Add("1_3d_LPSO");
  d.doc->Layers()->Add("2_3d_LPSO");
  d.doc->Layers()->Add("Banks3d");
  d.doc->ModelSpace()->Add3DPoly({30, 10, 12, 30, 0, 9, 30, -10, 11})->SetLayer("1_3d_LPSO");
  d.doc->ModelSpace()->Add3DPoly({80, 10, 11, 80, 0, 8, 80, -10, 10})->SetLayer("2_3d_LPSO");
  // Bank lines as 3D break lines, the north one bent between the sections.
  d.doc->ModelSpace()->Add3DPoly({0, 6, 12, 55, 8, 12, 100, 6, 12})->SetLayer("Banks3d");
  d.doc->ModelSpace()->Add3DPoly({0, -4, 11, 100, -4, 11})->SetLayer("Banks3d");
  SurveyOptions options;
  options.bank_lines_layer = "Banks3d";
  host::RecordingMessageSink sink;
  const Survey survey = sections::ReadSurvey(d.doc, sink, options);
  EXPECT_EQ(survey.bank_lines, 2u);
  const sections::SurveyReach& reach = survey.reaches[0];
  EXPECT_TRUE(reach.chainage_from_end);
  EXPECT_TRUE(reach.flows_forward);
  ASSERT_EQ(reach.sections.size(), 2u);
  EXPECT_EQ(reach.sections[0].number, "1");
  EXPECT_FALSE(reach.sections[0].turned);
  EXPECT_EQ(survey.turned, 0u);
  EXPECT_EQ(sections::RiverStation(survey, reach, reach.sections[0].chainage), 70);
  EXPECT_EQ(sections::RiverStation(survey, reach, reach.sections[1].chainage), 20);
  // Banks where the break lines cross: north (left) and south (right).
  const CrossSection& first = reach.sections[0];
  EXPECT_NEAR(first.left_bank, 10 - (6 + 2 * 30.0 / 55), 1e-9);
  EXPECT_NEAR(first.right_bank, 14, 1e-9);
  // Reach lengths: the channel along the centre line, the left overbank
  // along the bent bank line, the right along the straight one.
  EXPECT_NEAR(first.reach_lengths[1], 50, 1e-9);
  EXPECT_NEAR(first.reach_lengths[0], std::hypot(25, 2 * 25.0 / 55) + std::hypot(25, 2 * 25.0 / 45),
              1e-9);
  EXPECT_NEAR(first.reach_lengths[2], 50, 1e-9);
  EXPECT_EQ(reach.sections[1].reach_lengths, (std::array<double, 3>{0, 0, 0}));
}

TEST(SurveyTest, ThinningKeepsEndsMarksAndShape) {
  std::vector<sections::SurveyPoint> points;
  for (int i = 0; i < 600; ++i) {
    sections::SurveyPoint p;
    p.station = i;
    // A V with a step at 300: the straight runs go first.
    p.elevation = std::abs(i - 300) * 0.01 + (i == 450 ? 2 : 0);
    if (i == 100) p.markers = sections::kLeftBank;
    points.push_back(p);
  }
  EXPECT_EQ(sections::Thin(points, 500), 100u);
  ASSERT_EQ(points.size(), 500u);
  EXPECT_EQ(points.front().station, 0);
  EXPECT_EQ(points.back().station, 599);
  auto has = [&](double station) {
    return std::any_of(points.begin(), points.end(),
                       [&](const auto& p) { return p.station == station; });
  };
  EXPECT_TRUE(has(100));  // marked
  EXPECT_TRUE(has(300));  // the bottom of the V
  EXPECT_TRUE(has(450));  // the step
  // Only marked points and ends left: no more can go.
  std::vector<sections::SurveyPoint> marked(3);
  for (auto& p : marked) p.markers = sections::kLowest;
  EXPECT_EQ(sections::Thin(marked, 2), 0u);
}

TEST(SurveyTest, RiverStationsFitEightCharacters) {
  EXPECT_EQ(sections::StationText(150), "150.000");
  EXPECT_EQ(sections::StationText(12345.678), "12345.68");
  EXPECT_EQ(sections::StationText(-12.5), "-12.500");
  EXPECT_EQ(sections::StationText(12345678.4), "12345678");
  EXPECT_EQ(sections::StationText(123456789), std::nullopt);
}

}  // namespace
}  // namespace palvane::testing
