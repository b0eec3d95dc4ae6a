#include "sections/survey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

#include "generator/river_generator.h"
#include "host/message_sink.h"
#include "sections/formats.h"
#include "support/model_readers.h"
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
  options.bank_lines_layers = {generator::kBankLinesLayer};
  options.flow = Flow::kWithChainage;
  const Survey survey = river.Read(options);
  const auto read = ByNumber(survey);
  for (const auto& g : river.generated) {
    SCOPED_TRACE(g.number);
    const CrossSection& x = *read.at(g.number);
    // Each bank is a point: one surveyed within a centimetre, or one put in.
    const auto inserted = std::count_if(x.points.begin(), x.points.end(), [](const auto& p) {
      return (p.markers & sections::kInserted) != 0;
    });
    ASSERT_EQ(x.points.size() - static_cast<size_t>(inserted), g.original.size());
    EXPECT_NEAR(x.left_bank, g.left_bank, 0.01);
    EXPECT_NEAR(x.right_bank, g.right_bank, 0.01);
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

// A shared point that misses its nearest section by less than --within
// again (a thalweg shot a little off the line) is left out and reported;
// points between the sections, farther off, are not.
TEST(SurveyTest, SharedPointsJustOffTheLineAreReported) {
  Drawing d;
  TagReach(*AddPolyline(d.doc, "Centreline", {0, 0, 100, 0}), "1", true);
  AddSection(d.doc, "1", {50, -10, 50, 10}, 50, 0, "t", "XS1");
  d.doc->Layers()->Add("Survey");
  const Ref<host::Block> space = d.doc->ModelSpace();
  for (const double y : {-10.0, 10.0}) space->AddPoint({50, y, 12})->SetLayer("Survey");
  space->AddPoint({50.3, 0, 9})->SetLayer("Survey");    // within: joins
  space->AddPoint({50.7, 2, 8.5})->SetLayer("Survey");  // just beyond: reported
  space->AddPoint({53, 4, 8})->SetLayer("Survey");      // between sections: neither
  SurveyOptions options;
  options.points_layer = "Survey";
  host::RecordingMessageSink sink;
  const Survey survey = sections::ReadSurvey(d.doc, sink, options);
  const CrossSection& x = survey.reaches.at(0).sections.at(0);
  EXPECT_EQ(x.points.size(), 3u);
  ASSERT_EQ(x.off_line.size(), 1u);
  EXPECT_NEAR(x.off_line[0].offset, 0.7, 1e-12);
  EXPECT_EQ(x.off_line[0].layer, "Survey");
  // Taken in with a wider --within.
  options.within = 1;
  const Survey wider = sections::ReadSurvey(d.doc, sink, options);
  EXPECT_EQ(wider.reaches.at(0).sections.at(0).points.size(), 4u);
  EXPECT_TRUE(wider.reaches.at(0).sections.at(0).off_line.empty());
}

// A bed flat from bank to bank (a weir's crest) is marked lowest in its
// middle, not at a bank, so that a model's bank and bed marks stay apart;
// a bank that is lowest keeps both marks.
TEST(SurveyTest, AFlatBedIsLowestInItsMiddle) {
  const struct {
    std::vector<double> elevations;  // at stations 0, 5, 10, 15, 20
    size_t lowest;
  } cases[] = {{{830, 830, 830, 830, 830}, 2},
               {{830, 831, 831, 830.5, 831}, 0},
               {{832, 830, 830, 831, 832}, 2}};
  for (const auto& c : cases) {
    Drawing d;
    TagReach(*AddPolyline(d.doc, "Centreline", {0, 0, 100, 0}), "1", true);
    AddSection(d.doc, "1", {50, -10, 50, 10}, 50, 0, "t", "XS1");
    d.doc->Layers()->Add("1_3d_LPSO");
    std::vector<double> coordinates;
    for (size_t i = 0; i < c.elevations.size(); ++i) {
      coordinates.insert(coordinates.end(),
                         {50, -10 + 5 * static_cast<double>(i), c.elevations[i]});
    }
    d.doc->ModelSpace()->Add3DPoly(coordinates)->SetLayer("1_3d_LPSO");
    host::RecordingMessageSink sink;
    const Survey survey = sections::ReadSurvey(d.doc, sink, {});
    const auto& points = survey.reaches.at(0).sections.at(0).points;
    ASSERT_EQ(points.size(), 5u);
    for (size_t i = 0; i < points.size(); ++i) {
      EXPECT_EQ((points[i].markers & sections::kLowest) != 0, i == c.lowest) << i;
    }
  }
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
  options.bank_lines_layers = {"Banks3d"};
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

// Sections closer than --within (across a weir): each shared survey point
// joins the one line nearest it, and a point equally near two joins neither
// and is counted; one nearest another reach's section joins none here.
TEST(SurveyTest, SharedPointsJoinTheNearestSectionOnly) {
  Drawing d;
  TagReach(*AddPolyline(d.doc, "Centreline", {0, 0, 100, 0}), "1", true);
  AddSection(d.doc, "1", {50, -10, 50, 10}, 50, 0, "t", "XS1");
  AddSection(d.doc, "2", {50.3, -10, 50.3, 10}, 50.3, 0, "t", "XS2");
  // Another reach's section, not read here, still takes the points nearest it.
  const Section other = AddSection(d.doc, "3", {50.6, -10, 50.6, 10}, 50.6, 0, "t", "XS3");
  SetTagItem(*other.profile, 3, host::Variant("9"), 1000);
  SetTagItem(*other.center, 3, host::Variant("9"), 1000);
  struct {
    double x, y, z;
  } const points[] = {{50.05, -5, 10}, {50.1, 5, 11}, {50.25, -5, 12},
                      {50.3, 5, 13},   {50.15, 0, 9}, {50.55, 3, 14}};
  for (const auto& p : points) AddPoint(d.doc, "Survey_Points", {p.x, p.y, p.z});
  SurveyOptions options;
  options.points_layer = "Survey_Points";
  options.within = 0.5;
  options.flow = Flow::kWithChainage;
  host::RecordingMessageSink sink;
  const Survey survey = sections::ReadSurvey(d.doc, sink, options);
  const auto read = ByNumber(survey);
  const auto elevations = [&](const std::string& number) {
    std::vector<double> z;
    for (const auto& p : read.at(number)->points) z.push_back(p.elevation);
    return z;
  };
  // Flowing east, north is left: the lines drawn from the south are turned.
  EXPECT_EQ(elevations("1"), (std::vector<double>{11, 10}));
  EXPECT_EQ(elevations("2"), (std::vector<double>{13, 12}));
  EXPECT_EQ(survey.shared_ambiguous, 1u);
  ASSERT_FALSE(survey.notes.empty());
  EXPECT_NE(survey.notes.back().find("1 point of Survey_Points is equally near two"),
            std::string::npos);
}

// Banks from bank lines on two layers, one ending exactly on the first
// section line: found at the drawing's origin and at national-grid
// coordinates alike, and the bank is a survey point (one put in between
// two surveyed points where none stands within a centimetre).
TEST(SurveyTest, BankLinesOnTwoLayersEndingOnASectionCrossIt) {
  for (const double shift_x : {0.0, 1e6}) {
    const double shift_y = shift_x * 6;
    SCOPED_TRACE(shift_x);
    Drawing d;
    auto at = [&](std::vector<double> xy) {
      for (size_t i = 0; i < xy.size(); ++i) xy[i] += i % 2 == 0 ? shift_x : shift_y;
      return xy;
    };
    TagReach(*AddPolyline(d.doc, "Centreline", at({0, 0, 100, 0})), "1", true);
    AddSection(d.doc, "1", at({20, -10, 20, 10}), 20, 0, "t", "XS1");
    AddSection(d.doc, "2", at({70, -10, 70, 10}), 70, 0, "t", "XS2");
    for (const char* n : {"1", "2"}) {
      const double x = n[0] == '1' ? 20 : 70;
      d.doc->Layers()->Add(std::string(n) + "_3d_LPSO");
      d.doc->ModelSpace()
          ->Add3DPoly({x + shift_x, -10 + shift_y, 12, x + shift_x, -3.995 + shift_y, 10,
                       x + shift_x, 0 + shift_y, 8, x + shift_x, 10 + shift_y, 12})
          ->SetLayer(std::string(n) + "_3d_LPSO");
    }
    // The south bank line starts on section 1's line; the north one on
    // another layer runs past both.
    AddPolyline(d.doc, "Bank_South", at({20, -4, 100, -4}));
    AddPolyline(d.doc, "Bank_North", at({0, 6, 100, 6}));
    SurveyOptions options;
    options.bank_lines_layers = {"Bank_South", "Bank_North"};
    options.flow = Flow::kWithChainage;  // flowing east: north is left
    host::RecordingMessageSink sink;
    const Survey survey = sections::ReadSurvey(d.doc, sink, options);
    EXPECT_EQ(survey.bank_lines, 2u);
    for (const auto& x : survey.reaches.at(0).sections) {
      SCOPED_TRACE(x.number);
      EXPECT_TRUE(x.left_bank_crossed && x.right_bank_crossed);
      // Turned (drawn from the south): station 0 is the north end. The
      // north bank (4 from it) falls between points and is put in; the
      // south one (14) is the point at 13.995.
      EXPECT_TRUE(x.turned);
      size_t inserted = 0;
      for (const auto& p : x.points) {
        if (p.markers & sections::kLeftBank) {
          EXPECT_EQ(p.station, x.left_bank);
        }
        if (p.markers & sections::kRightBank) {
          EXPECT_EQ(p.station, x.right_bank);
        }
        inserted += (p.markers & sections::kInserted) ? 1 : 0;
      }
      EXPECT_EQ(inserted, 1u);
      EXPECT_NEAR(x.left_bank, 4, 1e-6);
      EXPECT_NEAR(x.right_bank, 13.995, 1e-6);
    }
  }
}

// The way a reach flows: for auto, the way its sections' lowest levels
// fall when they fall clearly, else against chainage with a note; an
// explicit way that makes the bed rise is taken, with a warning.
TEST(SurveyTest, FlowFollowsTheBedUnlessToldOtherwise) {
  struct Case {
    const char* name;
    std::vector<double> lowest;  // of sections at chainage 10, 40, 70
    Flow asked, taken;
    const char* note;
  } const cases[] = {
      {"falls with chainage", {9, 8, 7}, Flow::kAuto, Flow::kWithChainage, "the way its bed falls"},
      {"falls against chainage", {7, 8, 9}, Flow::kAuto, Flow::kAgainstChainage, "falls"},
      {"a weir, falling overall", {9, 12, 6}, Flow::kAuto, Flow::kWithChainage, "falls"},
      {"flat", {8, 8, 8}, Flow::kAuto, Flow::kAgainstChainage, "does not tell"},
      {"two sections, a few millimetres apart",
       {8.004, 8},
       Flow::kAuto,
       Flow::kAgainstChainage,
       "does not tell"},
      {"told uphill", {9, 8, 7}, Flow::kAgainstChainage, Flow::kAgainstChainage, "warning"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Drawing d;
    TagReach(*AddPolyline(d.doc, "Centreline", {0, 0, 100, 0}), "1", true);
    for (size_t i = 0; i < c.lowest.size(); ++i) {
      const std::string n = std::to_string(i + 1);
      const double x = 10 + 30.0 * static_cast<double>(i);
      AddSection(d.doc, n, {x, -10, x, 10}, x, 0, "t", "XS" + n);
      d.doc->Layers()->Add(n + "_3d_LPSO");
      d.doc->ModelSpace()
          ->Add3DPoly({x, -10, 15, x, 0, c.lowest[i], x, 10, 15})
          ->SetLayer(n + "_3d_LPSO");
    }
    SurveyOptions options;
    options.flow = c.asked;
    host::RecordingMessageSink sink;
    const Survey survey = sections::ReadSurvey(d.doc, sink, options);
    const sections::SurveyReach& reach = survey.reaches.at(0);
    EXPECT_EQ(reach.flow, c.taken);
    ASSERT_EQ(survey.notes.size(), 1u);
    EXPECT_NE(survey.notes[0].find(c.note), std::string::npos) << survey.notes[0];
    // Downstream first, whichever way that is.
    const bool with = c.taken == Flow::kWithChainage;
    EXPECT_EQ(reach.sections.front().number, with ? "1" : std::to_string(c.lowest.size()));
  }
}

// A survey made by hand: one reach of sections named `names`, each of three
// points across a line 20 long, at the chainages given.
Survey HandMadeSurvey(const std::vector<std::string>& names, const std::vector<double>& chainages) {
  Survey survey;
  sections::SurveyReach& reach = survey.reaches.emplace_back();
  reach.number = "1";
  reach.centre = {{0, 0}, {100, 0}};
  reach.length = 100;
  for (size_t i = 0; i < names.size(); ++i) {
    CrossSection& x = reach.sections.emplace_back();
    x.reach = "1";
    x.number = std::to_string(i + 1);
    x.name = names[i];
    x.chainage = chainages[i];
    x.cut = {{chainages[i], 10}, {chainages[i], -10}};
    x.length = 20;
    x.right_bank = 20;
    for (const double station : {0.0, 10.0, 20.0}) {
      sections::SurveyPoint& p = x.points.emplace_back();
      p.station = station;
      p.elevation = station == 10 ? 8 : 12;
      p.at = {chainages[i], 10 - station};
    }
    x.points.front().markers = sections::kLeftBank;
    x.points[1].markers = sections::kLowest;
    x.points.back().markers = sections::kRightBank;
  }
  return survey;
}

sections::FormatOptions Named() {
  sections::FormatOptions options;
  options.river = "River";
  return options;
}

const sections::Format kFormats[] = {sections::Format::kCsv, sections::Format::kHecRas,
                                     sections::Format::kFloodModeller, sections::Format::kMike11};

// The header in the order HEC-RAS's own export writes it, which the strict
// reader holds it to; in feet, UNITS: ENGLISH.
TEST(FormatsTest, HecRasHeaderComesInHecRasOrder) {
  sections::FormatOptions options;
  options.river = "Weir";
  const auto file = ReadHecRas(
      sections::Write(sections::Format::kHecRas, HandMadeSurvey({"A", "B"}, {10, 60}), options)
          .text);
  EXPECT_EQ(
      file.header_order,
      (std::vector<std::string>{"UNITS", "DTM TYPE", "DTM", "STREAM LAYER", "CROSS-SECTION LAYER",
                                "MAP PROJECTION", "PROJECTION ZONE", "DATUM", "VERTICAL DATUM",
                                "NUMBER OF REACHES", "NUMBER OF CROSS-SECTIONS"}));
  EXPECT_EQ(file.header.at("PROJECTION ZONE"), "-1");
  EXPECT_EQ(file.header.at("NUMBER OF CROSS-SECTIONS"), "2");
  EXPECT_EQ(file.header.at("UNITS"), "METRIC");
  options.metric = false;
  const auto feet = ReadHecRas(
      sections::Write(sections::Format::kHecRas, HandMadeSurvey({"A"}, {10}), options).text);
  EXPECT_EQ(feet.header.at("UNITS"), "ENGLISH");
}

// A label that is a Flood Modeller unit's keyword, in any letter case, is
// written with a "_" after it and said; the file reads back whole.
TEST(FormatsTest, FloodModellerLabelsNeverReadAsAUnit) {
  const Survey survey = HandMadeSurvey({"WEIR", "Bridge", "RIVER", "WEIR_"}, {10, 40, 70, 90});
  const sections::Written written = sections::Write(sections::Format::kFloodModeller, survey, {});
  const auto file = ReadFloodModeller(written.text);
  std::vector<std::string> labels;
  for (const auto& x : file.sections) labels.push_back(x.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"WEIR_", "Bridge_", "RIVER_", "WEIR_~2"}));
  EXPECT_EQ(file.initial_condition_labels, labels);
  ASSERT_EQ(written.notes.size(), 3u);
  EXPECT_NE(written.notes[0].find("WEIR is a Flood Modeller unit keyword"), std::string::npos);
}

// Two sections at one chainage are one place in a model: refused in every
// format, naming both.
TEST(FormatsTest, TwoSectionsAtOneChainageAreRefusedInEveryFormat) {
  const Survey survey = HandMadeSurvey({"XS3", "XS4", "XS4b"}, {10, 40, 40.0001});
  for (const auto format : kFormats) {
    SCOPED_TRACE(sections::FormatName(format));
    try {
      sections::Write(format, survey, {});
      ADD_FAILURE() << "written";
    } catch (const sections::FormatError& e) {
      EXPECT_STREQ(e.what(), "reach 1: sections 2 and 3 are both at chainage 40.000");
    }
  }
  // 0.1 apart, as across a weir, they are two places.
  EXPECT_NO_THROW(
      sections::Write(sections::Format::kMike11, HandMadeSurvey({"A", "B"}, {40, 40.1}), {}));
}

// Banks from bank lines: each format puts them at the same station, within
// a millimetre, read back by the formats' own readers.
TEST(FormatsTest, EveryFormatPutsTheBanksInOnePlace) {
  GeneratedRiver river(6, 11);
  SurveyOptions options;
  options.bank_lines_layers = {generator::kBankLinesLayer};
  const Survey survey = river.Read(options);
  std::map<std::string, std::array<double, 2>> want;  // by name: left, right
  for (const auto& x : survey.reaches.at(0).sections) want[x.name] = {x.left_bank, x.right_bank};
  ASSERT_FALSE(want.empty());
  const auto check = [&](const std::string& name, double left, double right, const char* how) {
    SCOPED_TRACE(std::string(how) + " " + name);
    ASSERT_TRUE(want.count(name));
    EXPECT_NEAR(left, want[name][0], 1e-3);
    EXPECT_NEAR(right, want[name][1], 1e-3);
  };
  const auto hec = ReadHecRas(sections::Write(sections::Format::kHecRas, survey, Named()).text);
  for (const auto& x : hec.sections) {
    double length = 0;
    for (size_t i = 1; i < x.cut_line.size(); ++i) {
      length +=
          std::hypot(x.cut_line[i].x - x.cut_line[i - 1].x, x.cut_line[i].y - x.cut_line[i - 1].y);
    }
    ASSERT_TRUE(x.bank_positions);
    check(x.node_name, (*x.bank_positions)[0] * length, (*x.bank_positions)[1] * length, "hecras");
  }
  const auto fm =
      ReadFloodModeller(sections::Write(sections::Format::kFloodModeller, survey, Named()).text);
  for (const auto& x : fm.sections) {
    double left = -1, right = -1;
    for (const auto& r : x.rows) {
      if (r.marker == "LEFT") left = r.offset;
      if (r.marker == "RIGHT") right = r.offset;
    }
    check(x.label, left, right, "floodmodeller");
  }
  const auto mike = ReadMike11(sections::Write(sections::Format::kMike11, survey, Named()).text);
  for (const auto& x : mike.sections) {
    double left = -1, right = -1;
    for (const auto& p : x.profile) {
      if (p.marker & 1) left = p.x;
      if (p.marker & 4) right = p.x;
    }
    check(x.section_id, left, right, "mike11");
  }
  const auto csv = ReadCsv(sections::Write(sections::Format::kCsv, survey, {}).text);
  std::map<std::string, std::array<double, 2>> csv_banks;
  for (const auto& row : csv.rows) {
    if (row[12].find("left-bank") != std::string::npos) csv_banks[row[2]][0] = std::stod(row[6]);
    if (row[12].find("right-bank") != std::string::npos) csv_banks[row[2]][1] = std::stod(row[6]);
  }
  for (const auto& [name, banks] : csv_banks) check(name, banks[0], banks[1], "csv");
  EXPECT_EQ(csv_banks.size(), want.size());
}

// The stream network follows arcs: on a half circle 10 km round, the
// centre line's stations run from 0 to its length within a millimetre.
TEST(FormatsTest, HecRasCentreLineFollowsArcs) {
  Drawing d;
  const double radius = 10000 / std::numbers::pi;
  TagReach(*AddPolyline(d.doc, "Centreline", {0, 0, 2 * radius, 0}, {1, 0}), "1", true);
  // Bulge 1 from west to east: the half circle below its chord.
  AddSection(d.doc, "1", {radius, -radius - 10, radius, -radius + 10}, 5000, 0, "t", "XS1");
  AddSection(d.doc, "2", {-10, -20, 30, -20}, 20, 0, "t", "XS2");
  for (const char* n : {"1", "2"}) d.doc->Layers()->Add(std::string(n) + "_3d_LPSO");
  d.doc->ModelSpace()
      ->Add3DPoly({radius, -radius - 10, 9, radius, -radius + 10, 9})
      ->SetLayer("1_3d_LPSO");
  d.doc->ModelSpace()->Add3DPoly({-10, -20, 8, 30, -20, 8})->SetLayer("2_3d_LPSO");
  host::RecordingMessageSink sink;
  const Survey survey = sections::ReadSurvey(d.doc, sink, {});
  const auto file = ReadHecRas(sections::Write(sections::Format::kHecRas, survey, Named()).text);
  ASSERT_EQ(file.reaches.size(), 1u);
  const auto& line = file.reaches[0].centerline;
  ASSERT_GT(line.size(), 100u);
  double low = 1e300, high = -1e300;
  for (const auto& p : line) {
    ASSERT_TRUE(p.station);
    low = std::min(low, *p.station);
    high = std::max(high, *p.station);
    // Every point lies on the arc within a millimetre.
    EXPECT_NEAR(std::hypot(p.x - radius, p.y), radius, 1e-3);
  }
  EXPECT_NEAR(low, 0, 1e-3);
  EXPECT_NEAR(high, 10000, 1e-3);
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
