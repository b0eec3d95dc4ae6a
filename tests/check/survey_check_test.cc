#include "check/survey_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "along/station.h"
#include "commands/check.h"
#include "generator/river_generator.h"
#include "geometry/polyline.h"
#include "host/convert.h"
#include "host/message_sink.h"
#include "model/river.h"
#include "support/river.h"
#include "support/xml.h"

namespace palvane::testing {
namespace {

using check::Severity;

struct Checked {
  std::vector<generator::InjectedFault> injected;
  check::CheckResult result;
};

// The check is given the generator's bank lines, where it drew them.
check::CheckOptions WithBankLines() {
  check::CheckOptions options;
  options.bank_lines_layers = {generator::kBankLinesLayer};
  return options;
}

Checked GenerateAndCheck(std::optional<std::vector<std::string>> faults, int32_t sections = 100,
                         check::CheckOptions options = WithBankLines()) {
  Drawing d;
  generator::RiverShape shape{sections, 3, 2, std::nullopt};
  shape.faults = std::move(faults);
  Checked out;
  out.injected = generator::GenerateRiver(*d.mem, shape);
  // A river generated without a survey has no bank lines to give.
  bool banks = false;
  for (int32_t i = 0; i < d.doc->Layers()->Count(); ++i) {
    banks = banks || d.doc->Layers()->Item(i)->Name() == generator::kBankLinesLayer;
  }
  if (!banks) options.bank_lines_layers.clear();
  out.result = check::CheckSurvey(d.doc, options);
  return out;
}

std::vector<const check::Finding*> Problems(const check::CheckResult& r) {
  std::vector<const check::Finding*> out;
  for (const auto& f : r.findings) {
    EXPECT_NE(f.severity, Severity::kNote);
    out.push_back(&f);
  }
  return out;
}

std::string Describe(const check::CheckResult& r) {
  std::string notes;
  for (const auto& n : r.notes) notes += "note: " + n.text + "\n";
  return notes + tools::FindingsText(r);
}

// Whether a finding of the fault's kind names one of its sections (or, for
// a fault of the reaches, exists at all).
bool Reported(const generator::InjectedFault& fault, const check::CheckResult& r) {
  for (const auto& f : r.findings) {
    if (f.code != fault.kind) continue;
    if (fault.sections.empty()) return true;
    if (std::find(fault.sections.begin(), fault.sections.end(), f.section) != fault.sections.end())
      return true;
  }
  return false;
}

TEST(CheckTest, ACleanRiverHasNoFindingButTheConventionsInferred) {
  const Checked c = GenerateAndCheck(std::vector<std::string>{});
  EXPECT_TRUE(c.injected.empty());
  EXPECT_TRUE(c.result.findings.empty()) << Describe(c.result);
  std::vector<std::string> notes;
  for (const auto& f : c.result.notes) notes.push_back(f.code);
  ASSERT_EQ(notes, (std::vector<std::string>{check::code::kChainageDirection,
                                             check::code::kBearingConvention}));
  EXPECT_NE(c.result.notes[0].text.find("first vertex"), std::string::npos);
  EXPECT_NE(c.result.notes[1].text.find("clockwise from grid north"), std::string::npos);
  EXPECT_EQ(c.result.errors(), 0u);
  EXPECT_EQ(c.result.sections.size(), 100u);
}

// A surveyed river whose survey models take as it is: no finding, with the
// bank lines checked too; without them, the same.
TEST(CheckTest, ACleanSurveyedRiverHasNoFinding) {
  Drawing d;
  generator::RiverShape shape{40, 5, 0, std::vector<std::string>{}};
  shape.survey = 30;
  generator::GenerateRiver(*d.mem, shape);
  for (const check::CheckOptions& options : {WithBankLines(), check::CheckOptions{}}) {
    const check::CheckResult result = check::CheckSurvey(d.doc, options);
    EXPECT_TRUE(result.findings.empty()) << Describe(result);
  }
}

// The check reads the river once, its survey included: each tag as often
// as one reading of the river reads it.
TEST(CheckTest, TheRiverIsReadOnce) {
  Drawing d;
  generator::RiverShape shape{12, 5, 0, std::vector<std::string>{}};
  shape.survey = 10;
  generator::GenerateRiver(*d.mem, shape);
  auto& monitor = d.app->monitor();
  auto tag_reads = [&] {
    int reads = 0;
    for (const std::string& call : monitor.calls()) reads += call.ends_with(".GetXData") ? 1 : 0;
    monitor.ClearCalls();
    return reads;
  };
  monitor.StartRecording();
  host::SilentMessageSink quiet;
  model::ReadRiver(d.doc, quiet, model::RiverOptions::WithCentrePoints());
  const int once = tag_reads();
  ASSERT_GT(once, 12);
  check::CheckSurvey(d.doc, WithBankLines());
  EXPECT_EQ(tag_reads(), once);
}

// Bank lines asked for on a layer that holds none: one finding for the
// drawing, not one per section.
TEST(CheckTest, BankLinesOnAnEmptyLayerAreOneFinding) {
  Drawing d;
  generator::RiverShape shape{10, 5, 0, std::vector<std::string>{}};
  shape.survey = 10;
  generator::GenerateRiver(*d.mem, shape);
  check::CheckOptions options;
  options.bank_lines_layers = {"Nowhere"};
  const check::CheckResult result = check::CheckSurvey(d.doc, options);
  ASSERT_EQ(result.findings.size(), 1u) << Describe(result);
  EXPECT_EQ(result.findings[0].code, check::code::kBankLineMiss);
  EXPECT_TRUE(result.findings[0].section.empty());
}

// The check reads the survey as the sections command does: a shared layer
// of points and bank lines on two layers, with no processed survey at all;
// a section of one point, one whose points all lie off its line, one that
// no bank line reaches; and a bed that rises the way it is told to flow.
TEST(CheckTest, TheSurveyIsReadAsTheSectionsCommandReadsIt) {
  Drawing d;
  TagReach(*AddPolyline(d.doc, "Centreline", {0, 0, 200, 0}), "1", true);
  const double xs[] = {20, 70, 120, 170};
  for (size_t i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i + 1);
    AddSection(d.doc, n, {xs[i], -10, xs[i], 10}, xs[i], 0, "t", "XS" + n);
  }
  // Section 1: three points; 2: one; 3: three on its own layer, all off its
  // line; 4: three, beyond the bank lines' ends. The bed falls with chainage.
  const struct {
    double x, y, z;
  } points[] = {{20, -8, 12},  {20, 0, 9},  {20, 8, 12}, {70, 0, 8},
                {170, -8, 12}, {170, 0, 6}, {170, 8, 12}};
  for (const auto& p : points) AddPoint(d.doc, "Survey_Points", {p.x, p.y, p.z});
  for (const double y : {-8.0, 0.0, 8.0}) AddPoint(d.doc, "3_3d_LPSO", {123, y, 7});
  AddPolyline(d.doc, "Bank_Left", {0, 5, 150, 5});
  AddPolyline(d.doc, "Bank_Right", {0, -5, 150, -5});
  check::CheckOptions options;
  options.points_layer = "Survey_Points";
  options.bank_lines_layers = {"Bank_Left", "Bank_Right"};
  options.flow = sections::Flow::kAgainstChainage;
  const check::CheckResult result = check::CheckSurvey(d.doc, options);
  std::vector<std::string> got;
  for (const auto& f : result.findings) got.push_back(f.code + " " + f.section);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"bank-line-miss 4", "flow-uphill ", "no-survey 3",
                                           "survey-off-line 3", "too-few-points 2"}))
      << Describe(result);
  for (const auto& f : result.findings) {
    if (f.code == check::code::kNoSurvey) {
      EXPECT_EQ(f.text, "no survey point lies within 0.5 of its line");
    }
  }
  // Told nothing, the flow follows the bed: no finding of it.
  options.flow = sections::Flow::kAuto;
  for (const auto& f : check::CheckSurvey(d.doc, options).findings) {
    EXPECT_NE(f.code, check::code::kFlowUphill) << f.text;
  }
}

TEST(CheckTest, TheUsualRiverShowsItsLostTag) {
  const Checked c = GenerateAndCheck(std::nullopt, 20);
  const auto problems = Problems(c.result);
  ASSERT_EQ(problems.size(), 1u) << Describe(c.result);
  EXPECT_EQ(problems[0]->code, check::code::kTagRestorable);
  EXPECT_EQ(problems[0]->section, "5");
  EXPECT_EQ(problems[0]->severity, Severity::kWarning);
}

// Every kind of fault, put into a river alone, is found where it was put.
class FaultTest : public ::testing::TestWithParam<std::string> {};

TEST_P(FaultTest, IsReportedWhereItWasInjected) {
  const Checked c = GenerateAndCheck(std::vector<std::string>{GetParam()}, 24);
  ASSERT_EQ(c.injected.size(), 1u);
  EXPECT_EQ(c.injected[0].kind, GetParam());
  EXPECT_FALSE(c.injected[0].handles.empty() && GetParam() != "no-profile" &&
               GetParam() != "no-centre-point");
  EXPECT_TRUE(Reported(c.injected[0], c.result)) << Describe(c.result);
  // Nothing else: findings on the sections the fault was put into (and
  // the neighbour it leans on), the crossings a stray line makes with other
  // sections, and about the reaches only the reach's own fault.
  const auto& named = c.injected[0].sections;
  for (const check::Finding* f : Problems(c.result)) {
    if (f->section.empty()) {
      EXPECT_TRUE(named.empty() && f->code == GetParam()) << Describe(c.result);
      continue;
    }
    const bool own = std::find(named.begin(), named.end(), f->section) != named.end();
    const auto& handles = c.injected[0].handles;
    const bool stray_line =
        f->code == check::code::kSectionsCross && !handles.empty() &&
        std::find(f->handles.begin(), f->handles.end(), handles.front()) != f->handles.end();
    EXPECT_TRUE(own || stray_line) << Describe(c.result);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FaultTest, ::testing::ValuesIn(generator::kFaultKinds),
                         [](const ::testing::TestParamInfo<std::string>& kind) {
                           std::string name = kind.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST(CheckTest, EveryFaultAtOnceIsReported) {
  const std::vector<std::string> all = generator::FaultsNamed("all");
  const Checked c = GenerateAndCheck(all, generator::SectionsNeeded(all));
  EXPECT_EQ(c.injected.size(), all.size());
  for (const auto& fault : c.injected) EXPECT_TRUE(Reported(fault, c.result)) << fault.kind;
  EXPECT_GT(c.result.errors(), 0u);
  EXPECT_THROW(generator::SectionsNeeded({"no-such-fault"}), std::invalid_argument);
}

// A river drawn by hand: a straight centre line along X, of length 100.
struct HandRiver {
  // With `decoy`, a reach of the same number, not current, comes first.
  explicit HandRiver(bool decoy = false) {
    if (decoy) TagReach(*AddPolyline(d.doc, "Centreline", {0, 50, 30, 50}), "1", false);
    const auto centre = AddPolyline(d.doc, "Centreline", {0, 0, 100, 0});
    TagReach(*centre, "1", true);
  }
  Ref<host::LWPolyline> Section(const std::string& number, double x, double chainage,
                                double bearing, double tilt = 0) {
    const auto line = AddPolyline(d.doc, number + "_Profile", {x - tilt, 10, x + tilt, -10});
    TagSection(*line, number, chainage, bearing, "t", "n");
    const auto point = AddPoint(d.doc, number + "_SectionCenter", {x, 0, 0});
    TagSection(*point, number, chainage, bearing, "t", "n");
    d.doc->Layers()->Add(number + "_SectionLine");
    return line;
  }
  check::CheckResult Check(check::CheckOptions options = {}) {
    return check::CheckSurvey(d.doc, options);
  }
  Drawing d;
};

size_t CountOf(const check::CheckResult& r, const char* code) {
  return static_cast<size_t>(std::count_if(r.findings.begin(), r.findings.end(),
                                           [&](const auto& f) { return f.code == code; }));
}

TEST(CheckTest, ChainagesMeasuredFromTheEndAreInferredAndOutliersFlagged) {
  HandRiver river;
  // Measured from the far end, lines from north to south: bearing 180
  // degrees clockwise from north.
  for (int i = 1; i <= 5; ++i) river.Section(std::to_string(i), 15.0 * i, 100 - 15.0 * i, 180);
  river.Section("6", 90, 10.4, 180);  // within the tolerance
  river.Section("7", 95, 12, 180);    // 7 off, and out of order
  const auto r = river.Check();
  ASSERT_GE(r.findings.size(), 1u);
  EXPECT_NE(Describe(r).find("run from the last vertex"), std::string::npos) << Describe(r);
  EXPECT_EQ(CountOf(r, check::code::kChainageMismatch), 1u) << Describe(r);
  EXPECT_EQ(CountOf(r, check::code::kChainageOrder), 1u) << Describe(r);
  for (const auto& f : r.findings) {
    if (f.code == check::code::kChainageMismatch || f.code == check::code::kChainageOrder) {
      EXPECT_EQ(f.section, "7");
    }
  }
  // A wider tolerance takes section 7 as it is; it stays out of order.
  check::CheckOptions wider;
  wider.chainage_tolerance = 8;
  wider.bearing_tolerance = 1;
  const auto wide = river.Check(wider);
  EXPECT_EQ(CountOf(wide, check::code::kChainageMismatch), 0u);
  EXPECT_EQ(CountOf(wide, check::code::kChainageOrder), 1u);
}

TEST(CheckTest, BearingConventionsAreInferredOrReportedOnceAsUnknown) {
  constexpr double kPi = std::numbers::pi;
  {
    // Radians counter-clockwise from east of the line from its last vertex
    // to its first: the lines run south, so read north, pi / 2.
    HandRiver river;
    for (int i = 1; i <= 4; ++i) river.Section(std::to_string(i), 20.0 * i, 20.0 * i, kPi / 2);
    river.Section("5", 90, 90, kPi / 2 + 0.1);  // 5.7 degrees off
    const auto r = river.Check();
    EXPECT_NE(Describe(r).find("radians counter-clockwise from east of each section line from "
                               "its last vertex to its first"),
              std::string::npos)
        << Describe(r);
    ASSERT_EQ(CountOf(r, check::code::kBearingMismatch), 1u);
    EXPECT_EQ(Problems(r).size(), 1u) << Describe(r);
  }
  {
    HandRiver river;
    const double bearings[] = {10, 77, 140, 260, 300};
    for (int i = 1; i <= 5; ++i)
      river.Section(std::to_string(i), 15.0 * i, 15.0 * i, bearings[i - 1]);
    const auto r = river.Check();
    EXPECT_EQ(CountOf(r, check::code::kBearingConventionUnknown), 1u) << Describe(r);
    EXPECT_EQ(CountOf(r, check::code::kBearingMismatch), 0u);
    EXPECT_EQ(CountOf(r, check::code::kBearingConvention), 0u);
  }
}

TEST(CheckTest, CrossingSectionsAndLinesThatMissTheCentreLine) {
  HandRiver river;
  river.Section("1", 20, 20, 180);
  river.Section("2", 24, 24, 180, 5);  // leans over section 1 and crosses it
  river.Section("3", 60, 60, 180);
  const auto miss = AddPolyline(river.d.doc, "4_Profile", {70, 5, 70, 30});
  TagSection(*miss, "4", 70, 180, "t", "n");
  river.d.doc->Layers()->Add("4_SectionLine");
  AddPoint(river.d.doc, "4_SectionCenter", {70, 0, 0});
  const auto r = river.Check();
  ASSERT_EQ(CountOf(r, check::code::kSectionsCross), 1u) << Describe(r);
  const auto cross = std::find_if(r.findings.begin(), r.findings.end(), [](const auto& f) {
    return f.code == check::code::kSectionsCross;
  });
  EXPECT_EQ(cross->handles.size(), 2u);
  EXPECT_EQ(CountOf(r, check::code::kNoCrossing), 1u);
  // The point on 4_SectionCenter carries no tag: only the profile's counts.
  EXPECT_EQ(CountOf(r, check::code::kTagRestorable), 0u);
  EXPECT_EQ(r.sections.size(), 4u);
}

TEST(CheckTest, ChainagesThatFitNeitherEndAreReportedOnce) {
  HandRiver river;
  const double chainages[] = {3, 71, 40, 12, 96};
  for (int i = 1; i <= 5; ++i) river.Section(std::to_string(i), 15.0 * i, chainages[i - 1], 180);
  const auto r = river.Check();
  EXPECT_EQ(CountOf(r, check::code::kChainageDirectionUnknown), 1u) << Describe(r);
  EXPECT_EQ(CountOf(r, check::code::kChainageMismatch), 0u);
  EXPECT_EQ(CountOf(r, check::code::kChainageOrder), 0u);
  ASSERT_EQ(r.notes.size(), 1u);
  EXPECT_EQ(r.notes[0].code, check::code::kBearingConvention);
}

TEST(CheckTest, ReachesOfOneNumberAndChainagesBeyondTheEnd) {
  HandRiver river(/*decoy=*/true);
  river.Section("1", 20, 20, 180);
  river.Section("2", 99.8, 100.3, 180);  // rounded up past the end: a warning
  river.Section("3", 60, 160, 180);      // far past it: an error
  const auto r = river.Check();
  ASSERT_EQ(CountOf(r, check::code::kDuplicateReachNumber), 1u) << Describe(r);
  EXPECT_EQ(CountOf(r, check::code::kNoCrossing), 0u);  // measured on the current reach 1
  for (const auto& f : r.findings) {
    if (f.code != check::code::kChainageBeyondReach) continue;
    EXPECT_EQ(f.severity, f.section == "2" ? Severity::kWarning : Severity::kError) << f.text;
  }
  EXPECT_EQ(CountOf(r, check::code::kChainageBeyondReach), 2u);
}

TEST(CheckTest, UnreadableValuesAreNamedAndTheDrawingIsOnlyRead) {
  HandRiver river;
  river.Section("1", 20, 20, 180);
  // Section 2's profile lost its tag; a number that is none in section 3.
  const auto profile2 = river.Section("2", 40, 40, 180);
  profile2->SetXData({1001}, {host::Variant("TEV")});
  const auto line3 = river.Section("3", 60, 60, 180);
  TagSection(*line3, "3", std::nan(""), 180, "t", "n");
  // The user's own sets of the names the exports use keep their contents.
  for (const char* name : {"Section", "LWPolys"}) {
    river.d.doc->SelectionSets()->Add(name)->Select(host::kSelectionSetAll, {8},
                                                    {host::Variant("1_Profile")});
  }
  const int32_t sets = river.d.doc->SelectionSets()->Count();
  river.d.app->monitor().StartRecording();
  const auto r = river.Check();
  for (const std::string& call : river.d.app->monitor().calls()) {
    const bool writes =
        call.find(".Set") != std::string::npos ||
        (call.find(".Add") != std::string::npos && call != "SelectionSets.Add") ||
        (call.find(".Delete") != std::string::npos && call != "SelectionSet.Delete");
    EXPECT_FALSE(writes) << call;
  }
  EXPECT_EQ(river.d.doc->SelectionSets()->Count(), sets);
  for (const char* name : {"Section", "LWPolys"}) {
    EXPECT_EQ(river.d.doc->SelectionSets()->Item(name)->Count(), 1) << name;
  }
  // A query that fails leaves no set of the check's own behind.
  river.d.app->monitor().FailAt("SelectionSet.Select", 3, 5, "refused");
  const auto failed = river.Check();
  EXPECT_EQ(CountOf(failed, check::code::kHostError), 1u) << Describe(failed);
  EXPECT_EQ(river.d.doc->SelectionSets()->Count(), sets);
  EXPECT_LE(profile2->GetXData("TEV").values.size(), 1u);  // not restored
  EXPECT_EQ(CountOf(r, check::code::kTagRestorable), 1u) << Describe(r);
  ASSERT_EQ(CountOf(r, check::code::kTagUnreadable), 1u) << Describe(r);
  EXPECT_NE(Describe(r).find("item 4 (chainage)"), std::string::npos) << Describe(r);
}

TEST(CheckTest, LinesSharingOnlyAnEndDoNotCrossButOverlappingOnesDo) {
  HandRiver river;
  river.Section("1", 20, 20, 180);  // from (20, 10) to (20, -10)
  const auto fan = AddPolyline(river.d.doc, "2_Profile", {20, 10, 30, -10});
  TagSection(*fan, "2", 25, 180, "t", "n");
  river.d.doc->Layers()->Add("2_SectionLine");
  const auto along = AddPolyline(river.d.doc, "3_Profile", {20, 5, 20, -15});
  TagSection(*along, "3", 20, 180, "t", "n");
  river.d.doc->Layers()->Add("3_SectionLine");
  const auto r = river.Check();
  ASSERT_EQ(CountOf(r, check::code::kSectionsCross), 1u) << Describe(r);
  for (const auto& f : r.findings) {
    if (f.code == check::code::kSectionsCross) {
      EXPECT_NE(f.text.find("section 3"), std::string::npos);
    }
  }
}

TEST(CheckTest, ADrawingWithoutReachesOrSectionsSaysSo) {
  Drawing d;
  const auto r = check::CheckSurvey(d.doc, {});
  ASSERT_EQ(r.findings.size(), 1u);
  EXPECT_EQ(r.findings[0].code, check::code::kNoReach);
  EXPECT_EQ(r.errors(), 1u);
}

TEST(CheckTest, ThePictureDrawsFlaggedSectionsInRed) {
  Drawing d;
  generator::RiverShape shape{30, 3, 0, std::nullopt};
  shape.faults = std::vector<std::string>{"chainage-mismatch"};
  generator::GenerateRiver(*d.mem, shape);
  const auto r = check::CheckSurvey(d.doc, {});
  const tools::picture::Plan plan = tools::CheckPlan(r);
  // The one flagged section is red, and its label gives the code.
  size_t red = 0;
  for (const auto& label : plan.labels) {
    const auto& line = plan.lines[label.line];
    if (!line.flagged) continue;
    ++red;
    EXPECT_EQ(label.lines, std::vector<std::string>{"4 chainage-mismatch"});
    EXPECT_EQ(line.colour.r, tools::picture::kFindingRed.r);
  }
  EXPECT_EQ(red, 1u);
  ASSERT_TRUE(plan.centre_line);
  // The legend names the code with its count; sections are placed along
  // the current reach by where they cross it.
  EXPECT_EQ(plan.legend.back().text, "chainage-mismatch (1 section)");
  for (const auto& line : plan.lines) {
    if (line.role == tools::picture::Role::kSection) {
      EXPECT_TRUE(line.chainage.has_value());
    }
  }
}

// A profile whose middle segment crosses an arc of the centre line: the
// chainage measured is that of the point where the profile crosses, as
// station gives it, on arcs of either turn, flat or deep, near the origin
// or far from it; never that of the line from the profile's first vertex
// to its last, which crosses elsewhere.
TEST(CheckTest, AProfileCrossingAnArcMeasuresTheChainageStationGivesItsCrossing) {
  std::mt19937_64 engine(7);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int i = 0; i < 200; ++i) {
    SCOPED_TRACE("round " + std::to_string(i));
    const double magnitude = i % 3 == 0 ? std::pow(10, -6 + 5 * unit(engine)) : 0.5 * unit(engine);
    const double bulge = i % 2 == 0 ? magnitude : -magnitude;
    const geometry::Point2 o =
        i % 4 < 2 ? geometry::Point2{0, 0} : geometry::Point2{417420.342, 287332.052};
    const double angle = 2 * std::numbers::pi * unit(engine);
    const geometry::Point2 end{o[0] + 200 * std::cos(angle), o[1] + 200 * std::sin(angle)};
    const geometry::PolylineIndex centre({{o, end}, {bulge, 0}, false});
    double travel = 0;
    const double along = (0.2 + 0.6 * unit(engine)) * centre.Length();
    const geometry::Point2 p = centre.segments()[0].PointAt(along, &travel);
    const geometry::Point2 t{std::cos(travel), std::sin(travel)}, n{-t[1], t[0]};
    // First vertex 20 to the left and 3 ahead; the middle one just across,
    // on the line through the crossing (or, every fifth round, off it, the
    // first segment then an arc through the crossing); the last far to the
    // right.
    const bool arc = i % 5 == 4;
    const geometry::Point2 v0{p[0] + 20 * n[0] + 3 * t[0], p[1] + 20 * n[1] + 3 * t[1]};
    const geometry::Point2 v1 =
        arc ? geometry::Point2{p[0] - 2 * n[0] + t[0], p[1] - 2 * n[1] + t[1]}
            : geometry::Point2{p[0] + 0.1 * (p[0] - v0[0]), p[1] + 0.1 * (p[1] - v0[1])};
    const geometry::Point2 v2{v1[0] - 20 * n[0] + 5 * t[0], v1[1] - 20 * n[1] + 5 * t[1]};
    // The bulge of the arc from v0 to v1 through p: in the chord's frame the
    // circle is c y b^2 + 2 (x^2 + y^2 - c^2 / 4) b - c y = 0, and the arc
    // lies on the side where b y < 0.
    double profile_bulge = 0;
    if (arc) {
      const double c = std::hypot(v1[0] - v0[0], v1[1] - v0[1]);
      const geometry::Point2 ex{(v1[0] - v0[0]) / c, (v1[1] - v0[1]) / c};
      const geometry::Point2 m{(v0[0] + v1[0]) / 2, (v0[1] + v1[1]) / 2};
      const double x = (p[0] - m[0]) * ex[0] + (p[1] - m[1]) * ex[1];
      const double y = -(p[0] - m[0]) * ex[1] + (p[1] - m[1]) * ex[0];
      const double qa = c * y, qb = 2 * (x * x + y * y - c * c / 4);
      const double root = (-qb + std::sqrt(qb * qb + 4 * qa * qa)) / (2 * qa);
      profile_bulge = root * y < 0 ? root : -1 / root;
    }
    const double chainage = centre.Nearest(p)->chainage;
    const double bearing = along::BearingFromNorth(std::atan2(v2[1] - v0[1], v2[0] - v0[0]));

    Drawing d;
    TagReach(*AddPolyline(d.doc, "River", {o[0], o[1], end[0], end[1]}, {bulge, 0}), "1", true);
    const auto section =
        AddSection(d.doc, "1", {v0[0], v0[1], v1[0], v1[1], v2[0], v2[1]}, chainage, bearing);
    section.profile->SetBulge(0, profile_bulge);
    check::CheckOptions options;
    // A profile's arc is measured by chords within 1e-4 of it.
    options.chainage_tolerance = (arc ? 1e-3 : 1e-6) * std::max(1.0, std::hypot(o[0], o[1]) / 1e5);
    const auto r = check::CheckSurvey(d.doc, options);
    EXPECT_TRUE(r.findings.empty()) << "bulge " << bulge << "\n" << Describe(r);
  }
}

// An unreadable water date or through flag comes after every item the
// exports label with: a warning, and the section is measured all the same.
TEST(CheckTest, ATagFailingLateIsAWarningAndTheSectionIsMeasured) {
  for (const size_t item : {size_t{8}, size_t{9}}) {
    SCOPED_TRACE("item " + std::to_string(item));
    Drawing d;
    generator::RiverShape shape{20, 3, 0, std::nullopt};
    shape.faults = std::vector<std::string>{};
    generator::GenerateRiver(*d.mem, shape);
    const auto set = d.doc->SelectionSets()->Add("Find");
    set->Select(host::kSelectionSetAll, {0, 8},
                {host::Variant("LWPOLYLINE"), host::Variant("6_Profile")});
    ASSERT_EQ(set->Count(), 1);
    // Shifted off its tagged chainage too, so that a measured section shows.
    const auto profile = set->Item(0).As<host::LWPolyline>();
    SetTagItem(*profile, item, host::Variant("not a value"), 1000);
    const double tagged = host::ToDouble(profile->GetXData("TEV").values[4]);
    SetTagItem(*profile, 4, host::Variant(tagged + 3), 1040);
    const auto r = check::CheckSurvey(d.doc, {});
    std::vector<std::string> codes;
    for (const auto& f : r.findings) {
      EXPECT_EQ(f.section, "6") << Describe(r);
      codes.push_back(f.code + (f.severity == Severity::kError ? " error" : " warning"));
    }
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes,
              (std::vector<std::string>{"chainage-mismatch error", "tag-unreadable warning"}))
        << Describe(r);
    EXPECT_EQ(r.errors(), 1u);
  }
}

TEST(CheckTest, ThePlanOfALargeRiverHoldsEverySection) {
  if (TestHost() != HostKind::kMemory) GTEST_SKIP() << "the picture reads the drawing in memory";
  Drawing d;
  generator::RiverShape shape{20000, 5, 0, std::nullopt};
  shape.faults = std::vector<std::string>{"chainage-mismatch", "tag-lost"};
  generator::GenerateRiver(*d.mem, shape);
  const auto r = check::CheckSurvey(d.doc, {});
  const tools::picture::Plan plan = tools::CheckPlan(r);
  EXPECT_EQ(plan.labels.size(), r.sections.size());
  EXPECT_GT(plan.labels.size(), 19990u);
  // The reach keeps every vertex.
  EXPECT_EQ(plan.lines[*plan.centre_line].line.vertices.size(),
            r.reaches.front().line.vertices.size());
}

}  // namespace
}  // namespace palvane::testing
