#include "tagging/tagging.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>

#include "check/survey_check.h"
#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "generator/river_generator.h"
#include "host/convert.h"
#include "model/lookup.h"
#include "model/section.h"
#include "model/tags.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

using host::Variant;
using tagging::Outcome;

// Removes every "TEV" tag from the drawing's model space.
void StripTags(host::memory::MemDocument& doc) {
  for (host::memory::EntityCore* e : doc.model_space()->entities()) e->mutable_xdata().clear();
}

// An entity of the drawing by its handle, as the operations see it.
Ref<host::Entity> Entity(host::memory::MemDocument& doc, const std::string& handle) {
  const auto entity = host::memory::Inspector(doc).EntityOfHandle(std::stoull(handle, nullptr, 16));
  EXPECT_TRUE(entity) << handle;
  return Seen(entity);
}

// What the check finds at a millimetre and a thousandth of a degree, by code.
std::map<std::string, size_t> TightFindings(const Ref<host::Document>& doc) {
  check::CheckOptions tight;
  tight.chainage_tolerance = 0.001;
  tight.bearing_tolerance = 0.001;
  std::map<std::string, size_t> codes;
  for (const auto& f : check::CheckSurvey(doc, tight).findings) ++codes[f.code + " " + f.text];
  return codes;
}

// The section tags of the drawing's profiles, by the number their layer gives.
std::map<std::string, host::XData> SectionTags(host::memory::MemDocument& mem) {
  std::map<std::string, host::XData> tags;
  for (host::memory::EntityCore* e : mem.model_space()->entities()) {
    const std::string layer = e->layer() != nullptr ? e->layer()->name() : "";
    if (!layer.ends_with("_Profile")) continue;
    char handle[32];
    std::snprintf(handle, sizeof handle, "%llX", static_cast<unsigned long long>(e->handle()));
    tags[layer.substr(0, layer.size() - 8)] = Entity(mem, handle)->GetXData(model::kTagApp);
  }
  return tags;
}

// The tags as texts, to compare.
std::map<std::string, std::vector<std::string>> Texts(
    const std::map<std::string, host::XData>& tags) {
  std::map<std::string, std::vector<std::string>> out;
  for (const auto& [number, tag] : tags) {
    auto& texts = out[number];
    for (size_t i = 0; i < tag.values.size(); ++i) {
      texts.push_back(std::to_string(tag.codes[i]) + " " + host::ToText(tag.values[i]));
    }
  }
  return out;
}

// Strips a tagged river of its tags, tags it again from its lines, and
// expects every section tagged with the number of its layers and the check
// to find nothing at a millimetre and a thousandth of a degree.
void RetagFromScratch(host::memory::MemDocument& mem, bool from_end) {
  const Ref<host::Document> doc = Seen(Ref<host::Document>(mem.shared_from_this()));
  const auto before = SectionTags(mem);
  StripTags(mem);
  // The current reach's centre line: the first polyline on "Centreline".
  Ref<host::LWPolyline> line;
  for (host::memory::EntityCore* e : mem.model_space()->entities()) {
    if (line || e->layer() == nullptr || e->layer()->name() != "Centreline") continue;
    char handle[32];
    std::snprintf(handle, sizeof handle, "%llX", static_cast<unsigned long long>(e->handle()));
    line = Entity(mem, handle).As<host::LWPolyline>();
  }
  ASSERT_TRUE(line);
  tagging::TagReach(doc, line, "1", true, "photos", false);
  host::RecordingMessageSink sink;
  tagging::SectionTagOptions options;
  options.from_end = from_end;
  const auto tagged = tagging::TagSections(doc, sink, options, false);
  ASSERT_EQ(tagged.sections.size(), before.size());
  for (const auto& s : tagged.sections) {
    EXPECT_EQ(s.outcome, Outcome::kTagged) << s.number << ": " << s.why;
    ASSERT_EQ(before.count(s.number), 1u) << s.number;
    // The number the original tag gave, which its layers give too.
    const auto tag = SectionTags(mem).at(s.number);
    ASSERT_EQ(tag.values.size(), 10u);
    EXPECT_EQ(host::ToText(tag.values[2]), s.number);
    // A profile that had lost its tag had no number to compare.
    const host::XData& old = before.at(s.number);
    if (old.values.size() > 2) {
      EXPECT_EQ(host::ToText(old.values[2]), s.number);
    }
  }
  const auto findings = TightFindings(doc);
  EXPECT_TRUE(findings.empty()) << findings.begin()->first;
}

TEST(TagSectionsTest, AGeneratedRiverWithArcsIsTaggedAsTheCheckMeasuresIt) {
  for (const bool from_end : {false, true}) {
    Drawing d;
    generator::RiverShape shape;
    shape.sections = 60;
    shape.seed = 9;
    shape.faults = std::vector<std::string>{};  // every tag as it should be
    generator::GenerateRiver(*d.mem, shape);
    RetagFromScratch(*d.mem, from_end);
  }
}

TEST(TagSectionsTest, TheSampleRiverIsTaggedAsTheCheckMeasuresIt) {
  auto app = dxf::NewApplication();
  const auto doc = dxf::LoadDrawing(*app, PALVANE_SOURCE_DIR "/examples/river.dxf");
  auto* mem = dynamic_cast<host::memory::MemDocument*>(doc.get());
  ASSERT_NE(mem, nullptr);
  RetagFromScratch(*mem, false);
}

// What the check measured is written back; every other item stays.
TEST(WriteFixesTest, FixedFindingsAreGoneAndNothingElseChanges) {
  Drawing d;
  generator::RiverShape shape;
  shape.sections = 100;
  shape.seed = 2;
  shape.faults =
      std::vector<std::string>{"chainage-mismatch", "bearing-mismatch", "tag-restorable"};
  generator::GenerateRiver(*d.mem, shape);
  const auto before = SectionTags(*d.mem);
  const auto found = check::CheckSurvey(d.doc, {});
  ASSERT_EQ(found.fixes.size(), 3u);
  host::RecordingMessageSink sink;
  const std::vector<std::string> all{check::code::kChainageMismatch, check::code::kBearingMismatch,
                                     check::code::kTagRestorable};
  // A dry run writes nothing and says what it would.
  const auto dry = tagging::WriteFixes(d.doc, sink, found.fixes, all, true);
  ASSERT_EQ(dry.size(), 3u);
  for (const auto& w : dry) EXPECT_TRUE(w.written) << w.section << ": " << w.why;
  EXPECT_EQ(Texts(SectionTags(*d.mem)), Texts(before));
  // Only the kinds asked for.
  const auto chainage =
      tagging::WriteFixes(d.doc, sink, found.fixes, {check::code::kChainageMismatch}, false);
  ASSERT_EQ(chainage.size(), 1u);
  EXPECT_EQ(chainage[0].code, check::code::kChainageMismatch);
  tagging::WriteFixes(d.doc, sink, found.fixes, all, false);
  for (const auto& f : check::CheckSurvey(d.doc, {}).findings) {
    EXPECT_TRUE(f.code != check::code::kChainageMismatch &&
                f.code != check::code::kBearingMismatch && f.code != check::code::kTagRestorable)
        << f.text;
  }
  const auto after = SectionTags(*d.mem);
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [number, tag] : before) {
    const host::XData& now = after.at(number);
    if (tag.values.empty()) {  // the lost tag, restored as its centre point keeps it
      EXPECT_EQ(now.values.size(), 10u) << number;
      continue;
    }
    ASSERT_EQ(now.values.size(), tag.values.size()) << number;
    for (size_t item = 0; item < tag.values.size(); ++item) {
      if (item == 4 || item == 5) continue;
      EXPECT_EQ(host::ToText(now.values[item]), host::ToText(tag.values[item]))
          << number << " item " << item;
    }
  }
}

// A reach along X from 0 to 100 and sections drawn by hand, untagged.
class HandTagTest : public ::testing::Test {
 protected:
  HandTagTest() {
    centre = AddPolyline(d.doc, "Centreline", {0, 0, 100, 0});
    tagging::TagReach(d.doc, centre, "1", true, "", false);
  }
  Ref<host::LWPolyline> Profile(const std::string& number, const std::vector<double>& coords,
                                bool with_point = true) {
    const auto line = AddPolyline(d.doc, number + "_Profile", coords);
    if (with_point) AddPoint(d.doc, number + "_SectionCenter", {coords[0], 0, 0});
    return line;
  }
  tagging::SectionsTagged Tag(const tagging::SectionTagOptions& options = {},
                              bool dry_run = false) {
    return tagging::TagSections(d.doc, sink, options, dry_run);
  }
  const tagging::TaggedSection& Numbered(const tagging::SectionsTagged& t, const std::string& n) {
    for (const auto& s : t.sections) {
      if (s.number == n) return s;
    }
    ADD_FAILURE() << "no section " << n;
    return t.sections.front();
  }

  Drawing d;
  host::RecordingMessageSink sink;
  Ref<host::LWPolyline> centre;
};

TEST_F(HandTagTest, WhatCannotBeMeasuredIsReportedAndLeftUntagged) {
  const auto one = Profile("1", {20, 10, 20, -10});
  Profile("2", {40, 10, 40, 5});                             // short of the centre line
  Profile("3", {60, 10, 60, -10, 62, -10, 62, 10});          // across and back
  const auto four = Profile("4", {80, -10, 80, 10}, false);  // no centre point
  d.doc->Layers()->Add("5_Profile");                         // an empty layer
  const auto t = Tag();
  EXPECT_EQ(t.reach_no, "1");
  EXPECT_EQ(Numbered(t, "1").outcome, Outcome::kTagged);
  EXPECT_NEAR(Numbered(t, "1").chainage, 20, 1e-9);
  EXPECT_NEAR(Numbered(t, "1").bearing, 180, 1e-9);  // first vertex north of the last
  EXPECT_EQ(Numbered(t, "2").outcome, Outcome::kNoCrossing);
  EXPECT_EQ(Numbered(t, "3").outcome, Outcome::kSeveralCrossings);
  EXPECT_NE(Numbered(t, "3").why.find("2 times, at chainages 60.000, 62.000"), std::string::npos)
      << Numbered(t, "3").why;
  EXPECT_EQ(Numbered(t, "5").outcome, Outcome::kNoProfile);
  // Section 4 got a centre point where it crosses, and its section line layer.
  const auto& s4 = Numbered(t, "4");
  EXPECT_EQ(s4.outcome, Outcome::kTagged);
  EXPECT_NEAR(s4.bearing, 0, 1e-9);
  ASSERT_EQ(s4.made.size(), 3u);
  EXPECT_EQ(s4.made[0], "layer 4_SectionLine");
  EXPECT_EQ(s4.made[1], "layer 4_SectionCenter");
  const auto point = model::FindSectionCenterPoint(sink, d.doc, "4");
  ASSERT_TRUE(point);
  EXPECT_EQ(s4.made[2], "centre point " + point->Handle());
  EXPECT_EQ(point->Coordinates(), (host::Point3{80, 0, 0}));
  // Both carry the same ten items.
  EXPECT_EQ(point->GetXData("TEV").values, four->GetXData("TEV").values);
  model::TEVSection record(sink);
  record.Profile = four;
  record.RetrieveValues(d.doc);
  EXPECT_EQ(record.SectionNo, "4");
  EXPECT_EQ(record.ReachNo, "1");
  EXPECT_EQ(record.SectionName, "4");
  EXPECT_NEAR(record.Chainage, 80, 1e-9);
  // Nothing of the sections not measured was written.
  EXPECT_TRUE(model::FindSectionProfile(sink, d.doc, "2")->GetXData("TEV").empty());
  EXPECT_TRUE(one->GetXData("TEV").values.size() == 10u);
}

TEST_F(HandTagTest, TaggedSectionsAreKeptOrRetaggedKeepingWhatIsNotMeasured) {
  const auto one = Profile("1", {20, 10, 20, -10});
  tagging::SectionTagOptions options;
  options.title = "Weir";
  options.name_pattern = "XS{n}-{n}";
  options.water_date = host::MakeDate(2024, 3, 5);
  options.through = true;
  Tag(options);
  // Moved: kept without --retag, measured anew with it, its other items kept.
  centre->Move({0, 0, 0}, {-5, 0, 0});
  EXPECT_EQ(Numbered(Tag(), "1").outcome, Outcome::kKept);
  EXPECT_NEAR(Numbered(Tag(), "1").chainage, 20, 1e-9);
  tagging::SectionTagOptions retag;
  retag.retag = true;
  retag.convention = 2;  // degrees counter-clockwise from east
  const auto t = Tag(retag);
  EXPECT_EQ(Numbered(t, "1").outcome, Outcome::kRetagged);
  model::TEVSection record(sink);
  record.Profile = one;
  record.RetrieveValues(d.doc);
  EXPECT_NEAR(record.Chainage, 25, 1e-9);
  EXPECT_NEAR(record.Bearing, 270, 1e-9);
  EXPECT_EQ(record.Title, "Weir");
  EXPECT_EQ(record.SectionName, "XS1-1");
  EXPECT_EQ(host::DateToText(record.WaterDate), "2024-03-05");
  EXPECT_TRUE(record.ThroughSection);
  // A tag giving another number than its layers is not retagged.
  SetTagItem(*one, 2, Variant("7"), 1000);
  EXPECT_EQ(Numbered(Tag(retag), "1").outcome, Outcome::kNumberDiffers);
}

// Lines drawn on one layer become sections numbered in chainage order, each
// on its own layers; a line that cannot be a section stays where it was.
TEST_F(HandTagTest, LinesOfOneLayerBecomeSectionsInChainageOrder) {
  const auto c = AddPolyline(d.doc, "XS lines", {70, 10, 70, -10});
  const auto a = AddPolyline(d.doc, "XS lines", {30, 10, 30, -10});
  const auto stray = AddPolyline(d.doc, "XS lines", {50, 10, 50, 5});
  const auto b = AddPolyline(d.doc, "XS lines", {50, -10, 50, 10});
  tagging::SectionTagOptions options;
  options.from_layer = "XS lines";
  options.first = 10;
  options.step = 5;
  const auto dry = Tag(options, true);
  ASSERT_EQ(dry.sections.size(), 4u);
  EXPECT_EQ(a->Layer(), "XS lines");  // nothing moved yet
  const auto t = Tag(options);
  ASSERT_EQ(t.sections.size(), 4u);
  const struct {
    const char* number;
    Ref<host::LWPolyline> line;
    double chainage, bearing;
  } expected[] = {{"10", a, 30, 180}, {"15", b, 50, 0}, {"20", c, 70, 180}};
  for (size_t i = 0; i < 3; ++i) {
    const auto& s = t.sections[i];
    const auto& e = expected[i];
    EXPECT_EQ(s.number, e.number);
    EXPECT_EQ(dry.sections[i].number, e.number);
    EXPECT_EQ(s.outcome, Outcome::kTagged) << s.why;
    EXPECT_NEAR(s.chainage, e.chainage, 1e-9);
    EXPECT_NEAR(s.bearing, e.bearing, 1e-9);
    EXPECT_EQ(s.handle, e.line->Handle());
    EXPECT_EQ(e.line->Layer(), std::string(e.number) + "_Profile");
    EXPECT_EQ(s.done,
              std::vector<std::string>{"moved onto layer " + std::string(e.number) + "_Profile"});
    EXPECT_NO_THROW(d.doc->Layers()->Item(std::string(e.number) + "_SectionLine"));
    EXPECT_TRUE(model::FindSectionCenterPoint(sink, d.doc, e.number));
  }
  EXPECT_EQ(t.sections[3].number, "");
  EXPECT_EQ(t.sections[3].outcome, Outcome::kNoCrossing);
  EXPECT_EQ(stray->Layer(), "XS lines");
  // Numbers taken already are refused before anything moves.
  const auto more = AddPolyline(d.doc, "XS lines", {90, 10, 90, -10});
  options.first = 15;
  EXPECT_THROW(Tag(options), tagging::TagError);
  EXPECT_EQ(more->Layer(), "XS lines");
}

// Lines drawn on one layer take their numbers from the text nearest their
// first vertex; a line with no text near it, or a number another line or
// section has, is reported and stays where it was.
// Sections drawn as 3D polylines on one layer: the one that crosses becomes
// a section, its plan copy the profile and the 3D polyline its survey on
// N_3d; one that misses the centre line, and one standing upright, are
// left as they were, with no copy left behind. A dry run adds nothing, and
// a locked 3d layer refuses before anything is written.
TEST_F(HandTagTest, ThreeDPolylinesOfOneLayerBecomeSectionsWithTheirSurvey) {
  const auto space = d.doc->ModelSpace();
  d.doc->Layers()->Add("Profiles3d");
  const auto crossing = space->Add3DPoly({30, 10, 12, 30, 0, 8, 30, -10, 12});
  const auto short_of = space->Add3DPoly({60, 10, 12, 60, 5, 11});
  const auto single = space->Add3DPoly({70, 10, 12, 70, 10, 15});  // upright: no plan
  for (const auto& p : {crossing, short_of, single}) p->SetLayer("Profiles3d");
  tagging::SectionTagOptions options;
  options.from_layer = "Profiles3d";
  const int32_t before = space->Count();

  const auto dry = Tag(options, /*dry_run=*/true);
  EXPECT_EQ(space->Count(), before);
  ASSERT_EQ(dry.sections.size(), 3u);
  EXPECT_EQ(dry.sections[0].handle, crossing->Handle());

  d.doc->Layers()->Add("1_3d")->SetLock(true);
  EXPECT_THROW(Tag(options), tagging::TagError);
  EXPECT_EQ(crossing->Layer(), "Profiles3d");
  d.doc->Layers()->Item("1_3d")->SetLock(false);

  const auto t = Tag(options);
  ASSERT_EQ(t.sections.size(), 3u);
  const auto& s = t.sections[0];
  EXPECT_EQ(s.outcome, Outcome::kTagged);
  EXPECT_NEAR(s.chainage, 30, 1e-9);
  EXPECT_EQ(crossing->Layer(), "1_3d");
  const auto profiles = EntitiesOf<host::memory::MemLWPolyline>(*d.mem->model_space());
  ASSERT_EQ(profiles.back()->Handle(), s.handle);
  EXPECT_EQ(profiles.back()->Layer(), "1_Profile");
  EXPECT_EQ(t.sections[1].outcome, Outcome::kNoCrossing);
  EXPECT_EQ(t.sections[1].handle, short_of->Handle());
  EXPECT_EQ(t.sections[2].outcome, Outcome::kNotInPlan);
  // The copy and a centre point were added, and nothing else.
  EXPECT_EQ(space->Count(), before + 2);
  EXPECT_EQ(short_of->Layer(), "Profiles3d");
}

// A line the centre line would cross if drawn on past its end says by how
// much the centre line stops short; a line beside it, or one that stops
// short of the centre line's way on, says nothing of the sort.
TEST_F(HandTagTest, ALineTheCentreLineStopsShortOfSaysByHowMuch) {
  const struct {
    std::vector<double> coords;
    const char* said;  // in its reason, or null for no word of it
  } cases[] = {
      {{100.2, 10, 100.2, -10}, "the centre line's last vertex stops 0.200 short of it"},
      {{-0.5, -10, -0.5, 10}, "the centre line's first vertex stops 0.500 short of it"},
      {{90, 0.2, 110, 0.2}, nullptr},               // alongside
      {{105, 10, 105, 0.05}, nullptr},              // stops short of the centre line's way on
      {{115, 10, 115, -10}, "stops 15.000 short"},  // within its own width
      {{130, 10, 130, -10}, nullptr},               // farther: no slip
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.coords[0]);
    Drawing fresh;
    const auto axis = AddPolyline(fresh.doc, "Centreline", {0, 0, 100, 0});
    tagging::TagReach(fresh.doc, axis, "1", true, "", false);
    AddPolyline(fresh.doc, "XS", c.coords);
    tagging::SectionTagOptions options;
    options.from_layer = "XS";
    const auto t = tagging::TagSections(fresh.doc, sink, options, false);
    ASSERT_EQ(t.sections.size(), 1u);
    EXPECT_EQ(t.sections[0].outcome, Outcome::kNoCrossing);
    const bool says = t.sections[0].why.find("short of it") != std::string::npos;
    EXPECT_EQ(says, c.said != nullptr) << t.sections[0].why;
    if (c.said != nullptr) {
      EXPECT_NE(t.sections[0].why.find(c.said), std::string::npos) << t.sections[0].why;
    }
  }
}

TEST_F(HandTagTest, LinesOfOneLayerAreNumberedByTheTextNearestThem) {
  const auto a = AddPolyline(d.doc, "XS lines", {30, 10, 30, -10});
  const auto b = AddPolyline(d.doc, "XS lines", {50, -10, 50, 10});
  const auto c = AddPolyline(d.doc, "XS lines", {60, 10, 60, -10});
  const auto twin = AddPolyline(d.doc, "XS lines", {70, 10, 70, -10});
  const auto taken = AddPolyline(d.doc, "XS lines", {80, 10, 80, -10});
  const auto bad = AddPolyline(d.doc, "XS lines", {90, 10, 90, -10});
  const auto tied = AddPolyline(d.doc, "XS lines", {95, 10, 95, -10});
  auto space = d.doc->ModelSpace();
  space->AddText("8", {94, 10, 0}, 1);
  space->AddText("9", {96, 10, 0}, 1);
  space->AddText(" A12 ", {30.5, 10.5, 0}, 1);
  space->AddText("99", {31.5, 10.5, 0}, 1);  // within the distance, but farther
  space->AddMText({49.5, -10.5, 0}, 0, "{\\fArial|b1;\\H2.5x;7\\P.5\\S1^2;}");
  space->AddText("a12", {70.5, 10, 0}, 1);  // A12 again, in other letters
  // A sheet's text where a line's first vertex lies stands in other units.
  d.doc->Blocks()->Item("*Paper_Space")->AddText("P1", {60, 10, 0}, 1);
  space->AddText("4", {80, 11, 0}, 1);
  space->AddText("1/2", {90, 11, 0}, 1);
  Profile("4", {15, 10, 15, -10});  // a section 4 the drawing has already
  tagging::SectionTagOptions options;
  options.from_layer = "XS lines";
  options.numbers_from_text = 2;
  const auto t = Tag(options);
  EXPECT_EQ(Numbered(t, "A12").handle, a->Handle());
  EXPECT_EQ(a->Layer(), "A12_Profile");
  EXPECT_EQ(Numbered(t, "7 .5").handle, b->Handle());
  EXPECT_EQ(b->Layer(), "7 .5_Profile");
  EXPECT_TRUE(model::FindSectionCenterPoint(sink, d.doc, "A12"));
  std::map<std::string, const tagging::TaggedSection*> left;
  for (const auto& s : t.sections) {
    if (s.outcome == Outcome::kNoNumber) left[s.handle] = &s;
  }
  ASSERT_EQ(left.size(), 5u);
  EXPECT_NE(left.at(c->Handle())->why.find("no TEXT or MTEXT within 2.000"), std::string::npos);
  EXPECT_NE(left.at(twin->Handle())->why.find("line " + a->Handle()), std::string::npos)
      << left.at(twin->Handle())->why;
  EXPECT_NE(left.at(taken->Handle())->why.find("layer 4_Profile"), std::string::npos);
  EXPECT_NE(left.at(bad->Handle())->why.find("\"1/2\""), std::string::npos);
  EXPECT_NE(left.at(tied->Handle())->why.find("equally near"), std::string::npos);
  for (const auto& line : {c, twin, taken, bad, tied}) EXPECT_EQ(line->Layer(), "XS lines");
  EXPECT_TRUE(tagging::IsFailure(Outcome::kNoNumber));
}

// With auto, new sections run the way the tagged ones do.
TEST_F(HandTagTest, AutoKeepsTheDirectionTheTagsAgreeOn) {
  tagging::SectionTagOptions autoish;
  autoish.chainage_auto = true;
  Profile("1", {20, 10, 20, -10});
  EXPECT_THROW(Tag(autoish), tagging::TagError);  // no tag tells yet
  tagging::SectionTagOptions from_end;
  from_end.from_end = true;
  EXPECT_NEAR(Numbered(Tag(from_end), "1").chainage, 80, 1e-9);
  Profile("2", {60, 10, 60, -10});
  const auto t = Tag(autoish);
  EXPECT_TRUE(t.from_end);
  EXPECT_EQ(Numbered(t, "2").outcome, Outcome::kTagged);
  EXPECT_NEAR(Numbered(t, "2").chainage, 40, 1e-9);
}

// Layers renamed after the chainage, and the tags' numbers with them; a
// prefix the drawing refuses, or names that would collide, write nothing.
TEST_F(HandTagTest, LayersAreRenamedAfterTheChainageOrNotAtAll) {
  const auto one = Profile("1", {20, 10, 20, -10});
  const auto two = Profile("2", {60.4, 10, 60.4, -10});
  tagging::SectionTagOptions bad;
  bad.rename_prefix = "C/H";
  EXPECT_THROW(Tag(bad), tagging::TagError);
  EXPECT_TRUE(one->GetXData("TEV").empty());  // nothing written
  const auto clash = Profile("3", {59.8, 10, 59.8, -10});
  tagging::SectionTagOptions rename;
  rename.rename_prefix = "CH";
  try {
    Tag(rename);
    ADD_FAILURE() << "no error";
  } catch (const tagging::TagError& e) {
    EXPECT_NE(std::string(e.what()).find("one name, CH60_"), std::string::npos) << e.what();
  }
  EXPECT_EQ(two->Layer(), "2_Profile");
  clash->Move({0, 0, 0}, {10, 0, 0});  // now at chainage 69.8
  const auto t = Tag(rename);
  EXPECT_EQ(one->Layer(), "CH20_Profile");
  EXPECT_EQ(two->Layer(), "CH60_Profile");
  EXPECT_EQ(clash->Layer(), "CH70_Profile");
  EXPECT_EQ(d.doc->Layers()->Item("CH60_SectionLine")->Name(), "CH60_SectionLine");
  model::TEVSection record(sink);
  record.Profile = two;
  record.RetrieveValues(d.doc);
  EXPECT_EQ(record.SectionNo, "CH60");
  EXPECT_EQ(record.SectionName, "2");  // named from its number when tagged
  const auto point = model::FindSectionCenterPoint(sink, d.doc, "CH60");
  ASSERT_TRUE(point);
  EXPECT_EQ(point->GetXData("TEV").values, two->GetXData("TEV").values);
  for (const auto& f : check::CheckSurvey(d.doc, {}).findings) ADD_FAILURE() << f.text;
}

// Only this reach's sections are its business, and only untagged lines of
// a layer become sections.
TEST_F(HandTagTest, OtherReachesSectionsAndTaggedLinesAreLeftAlone) {
  const auto other = AddPolyline(d.doc, "Centreline", {0, 50, 100, 50});
  tagging::TagReach(d.doc, other, "2", false, "", false);
  const auto mine = Profile("1", {20, 10, 20, -10});
  const auto theirs = Profile("2", {40, 60, 40, 40});  // crosses reach 2 only
  TagSection(*theirs, "2", 40, 180, "t", "n");
  SetTagItem(*theirs, 3, Variant("2"), 1000);
  // It belongs to reach 2: reach 1 leaves it alone, even retagging.
  tagging::SectionTagOptions retag;
  retag.retag = true;
  const auto t = Tag(retag);
  EXPECT_EQ(Numbered(t, "1").outcome, Outcome::kTagged);
  EXPECT_EQ(Numbered(t, "2").outcome, Outcome::kOtherReach);
  EXPECT_FALSE(tagging::IsFailure(Numbered(t, "2").outcome));
  model::TEVSection record(sink);
  record.Profile = theirs;
  record.RetrieveValues(d.doc);
  EXPECT_EQ(record.ReachNo, "2");
  EXPECT_EQ(record.Chainage, 40);
  // Reach 2's line lying on the layer of lines is no section.
  AddPolyline(d.doc, "XS lines", {70, 60, 70, -10});
  other->SetLayer("XS lines");
  tagging::SectionTagOptions lines;
  lines.from_layer = "XS lines";
  lines.first = 5;
  const auto l = Tag(lines);
  ASSERT_EQ(l.sections.size(), 2u);
  EXPECT_EQ(l.sections[0].number, "5");
  EXPECT_EQ(l.sections[1].outcome, Outcome::kLeftAlone);
  EXPECT_EQ(l.sections[1].handle, other->Handle());
  EXPECT_EQ(other->Layer(), "XS lines");
  model::TEVReach reach;
  reach.Profile = other;
  EXPECT_TRUE(reach.RetrieveValues());
  (void)mine;
}

// Numbers whose layers exist are refused; renaming never reaches another
// section's layers; a dry run plans what the run does.
TEST_F(HandTagTest, FromLayerAndRenamingRefuseWhatWouldTouchOtherSections) {
  d.doc->Layers()->Add("1_SectionCenter");  // a stale layer of section 1
  AddPolyline(d.doc, "XS lines", {30, 10, 30, -10});
  tagging::SectionTagOptions lines;
  lines.from_layer = "XS lines";
  EXPECT_THROW(Tag(lines), tagging::TagError);
  lines.first = 2;
  lines.rename_prefix = "C/H";
  EXPECT_THROW(Tag(lines, /*dry_run=*/true), tagging::TagError);
  lines.rename_prefix = "CH";
  const auto dry = Tag(lines, true);
  ASSERT_EQ(dry.sections.size(), 1u);
  EXPECT_EQ(dry.sections[0].done, (std::vector<std::string>{"moved onto layer 2_Profile"}));
  EXPECT_EQ(dry.sections[0].made,
            (std::vector<std::string>{"centre point", "layers renamed to CH30_..."}));
  // Section 1_2 beside section 1: renaming 1's layers would take 1_2's.
  Profile("1", {20, 10, 20, -10});
  const auto beside = Profile("1_2", {25, 10, 25, -10});
  TagSection(*beside, "1_2", 25, 180, "t", "n");
  tagging::SectionTagOptions rename;
  rename.rename_prefix = "CH";
  try {
    Tag(rename);
    ADD_FAILURE() << "no error";
  } catch (const tagging::TagError& e) {
    EXPECT_NE(std::string(e.what()).find("would rename layer 1_2_"), std::string::npos) << e.what();
  }
  EXPECT_EQ(beside->Layer(), "1_2_Profile");
}

TEST_F(HandTagTest, ADryRunWritesNothing) {
  Profile("1", {20, 10, 20, -10}, false);
  d.app->monitor().StartRecording();
  const auto t = Tag({}, true);
  EXPECT_EQ(Numbered(t, "1").outcome, Outcome::kTagged);
  EXPECT_EQ(Numbered(t, "1").made, std::vector<std::string>{"centre point"});
  for (const std::string& call : d.app->monitor().calls()) {
    const bool writes =
        call.find(".Set") != std::string::npos ||
        (call.find(".Add") != std::string::npos && call != "SelectionSets.Add") ||
        (call.find(".Delete") != std::string::npos && call != "SelectionSet.Delete");
    EXPECT_FALSE(writes) << call;
  }
}

TEST_F(HandTagTest, AFailingWriteNamesTheSection) {
  Profile("1", {20, 10, 20, -10});
  d.app->monitor().FailAt("Point.SetXData", 1, 5, "locked");
  try {
    Tag();
    ADD_FAILURE() << "no error";
  } catch (const tagging::TagError& e) {
    EXPECT_NE(std::string(e.what()).find("section 1 (profile "), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("locked"), std::string::npos) << e.what();
  }
}

// A locked layer refuses the whole tagging, naming the entity, before
// anything is written; unlocked, the same tags are written.
TEST_F(HandTagTest, LockedLayersRefuseTaggingBeforeAnythingIsWritten) {
  const auto one = Profile("1", {20, 10, 20, -10});
  const auto two = Profile("2", {60, 10, 60, -10});
  auto expect_refused = [&](const std::function<void()>& tag, const std::string& says) {
    d.app->monitor().ClearCalls();
    d.app->monitor().StartRecording();
    try {
      tag();
      ADD_FAILURE() << "no error";
    } catch (const tagging::TagError& e) {
      EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
    }
    // Nothing of the drawing changed: no member that changes it was called.
    for (const std::string& call : d.app->monitor().calls()) {
      const bool changes = (call.find(".Set") != std::string::npos &&
                            call.find("SelectionSet") == std::string::npos) ||
                           (call.find(".Add") != std::string::npos && call != "SelectionSets.Add");
      EXPECT_FALSE(changes) << call;
    }
    d.app->monitor().StopRecording();
    EXPECT_TRUE(one->GetXData("TEV").empty());
  };
  d.doc->Layers()->Item("2_SectionCenter")->SetLock(true);
  expect_refused([&] { Tag(); }, "section 2: point");
  d.doc->Layers()->Item("2_SectionCenter")->SetLock(false);
  d.doc->Layers()->Item("2_Profile")->SetLock(true);
  expect_refused([&] { Tag(); }, "lies on locked layer 2_Profile");
  d.doc->Layers()->Item("2_Profile")->SetLock(false);
  // A centre point to be made on a locked layer.
  const auto three = Profile("3", {40, 10, 40, -10}, false);
  d.doc->Layers()->Add("3_SectionCenter")->SetLock(true);
  expect_refused([&] { Tag(); }, "layer 3_SectionCenter is locked");
  d.doc->Layers()->Item("3_SectionCenter")->SetLock(false);
  // The reach's own line.
  d.doc->Layers()->Item("Centreline")->SetLock(true);
  try {
    tagging::TagReach(d.doc, centre, "1", true, "", false);
    ADD_FAILURE() << "no error";
  } catch (const tagging::TagError& e) {
    EXPECT_NE(std::string(e.what()).find("lies on locked layer Centreline"), std::string::npos)
        << e.what();
  }
  d.doc->Layers()->Item("Centreline")->SetLock(false);
  EXPECT_EQ(Numbered(Tag(), "2").outcome, Outcome::kTagged);
  EXPECT_EQ(one->GetXData("TEV").values.size(), 10u);
  EXPECT_EQ(two->GetXData("TEV").values.size(), 10u);
  EXPECT_EQ(three->GetXData("TEV").values.size(), 10u);
}

TEST_F(HandTagTest, NoReachToTagAgainst) {
  tagging::SectionTagOptions other;
  other.reach = "2";
  EXPECT_THROW(Tag(other), tagging::TagError);
  TagReach(*centre, "1", false);  // no longer current
  EXPECT_THROW(Tag(), tagging::TagError);
}

// A reach tagged again keeps its photos and its being current, and one
// whose sections carry its number keeps that number.
TEST_F(HandTagTest, ReachesTaggedAgainKeepWhatIsNotGiven) {
  tagging::TagReach(d.doc, centre, "1", true, "photos", false);
  const auto again = tagging::TagReach(d.doc, centre, "1", false, std::nullopt, false);
  EXPECT_TRUE(again.current);
  model::TEVReach record;
  record.Profile = centre;
  ASSERT_TRUE(record.RetrieveValues());
  EXPECT_TRUE(record.Status);
  EXPECT_EQ(record.PhotoDirectory, "photos");
  tagging::TagReach(d.doc, centre, "1", false, "", false);
  ASSERT_TRUE(record.RetrieveValues());
  EXPECT_EQ(record.PhotoDirectory, "");  // given anew: empty
  EXPECT_NO_THROW(tagging::TagReach(d.doc, centre, "3", true, std::nullopt, true));
  Profile("1", {20, 10, 20, -10});
  Tag();
  EXPECT_THROW(tagging::TagReach(d.doc, centre, "3", true, std::nullopt, false), tagging::TagError);
  ASSERT_TRUE(record.RetrieveValues());
  EXPECT_EQ(record.ReachNo, "1");
}

// A faulty section without a centre point is fixed on its profile alone.
// Of two fixes, the second on a locked layer: neither is written.
TEST_F(HandTagTest, AFixOnALockedLayerRefusesEveryFix) {
  std::vector<Ref<host::LWPolyline>> lines;
  for (const double x : {20.0, 40.0, 60.0, 80.0}) {
    const std::string n = std::to_string(static_cast<int>(x));
    const auto line = Profile(n, {x, 10, x, -10});
    // Sections 20 and 80 tagged 3 off; 40 and 60 show the direction.
    const double tagged = x == 20 || x == 80 ? x + 3 : x;
    TagSection(*line, n, tagged, 180, "t", "n");
    TagSection(*model::FindSectionCenterPoint(sink, d.doc, n), n, tagged, 180, "t", "n");
    d.doc->Layers()->Add(n + "_SectionLine");
    lines.push_back(line);
  }
  const auto found = check::CheckSurvey(d.doc, {});
  ASSERT_EQ(found.fixes.size(), 2u);
  d.doc->Layers()->Item("80_SectionCenter")->SetLock(true);
  const host::XData before = lines[0]->GetXData("TEV");
  d.app->monitor().StartRecording();
  try {
    tagging::WriteFixes(d.doc, sink, found.fixes, {check::code::kChainageMismatch}, false);
    ADD_FAILURE() << "no error";
  } catch (const tagging::TagError& e) {
    EXPECT_NE(std::string(e.what()).find("locked layer 80_SectionCenter"), std::string::npos)
        << e.what();
  }
  for (const std::string& call : d.app->monitor().calls()) {
    EXPECT_EQ(call.find("SetXData"), std::string::npos) << call;
  }
  EXPECT_EQ(lines[0]->GetXData("TEV").values, before.values);
}

TEST_F(HandTagTest, AFixNeedsNoCentrePoint) {
  const auto line = Profile("1", {20, 10, 20, -10}, false);
  TagSection(*line, "1", 27, 180, "t", "n");
  // Two sections that show which way chainages run.
  for (const double x : {40.0, 60.0}) {
    const std::string n = std::to_string(static_cast<int>(x));
    const auto other = Profile(n, {x, 10, x, -10});
    TagSection(*other, n, x, 180, "", "");
    TagSection(*model::FindSectionCenterPoint(sink, d.doc, n), n, x, 180, "", "");
  }
  for (const char* n : {"1", "40", "60"}) d.doc->Layers()->Add(std::string(n) + "_SectionLine");
  const auto found = check::CheckSurvey(d.doc, {});
  ASSERT_EQ(found.fixes.size(), 1u);
  const auto written =
      tagging::WriteFixes(d.doc, sink, found.fixes, {check::code::kChainageMismatch}, false);
  ASSERT_EQ(written.size(), 1u);
  EXPECT_TRUE(written[0].written) << written[0].why;
  model::TEVSection record(sink);
  record.Profile = line;
  record.LoadFrom(line->GetXData("TEV"));
  EXPECT_NEAR(record.Chainage, 20, 1e-9);
  EXPECT_EQ(record.Title, "t");
}

TEST_F(HandTagTest, ReachTagsAreWrittenAndOneReachStaysCurrent) {
  const auto second = AddPolyline(d.doc, "Centreline", {0, 50, 100, 50});
  const auto made = tagging::TagReach(d.doc, second, "007", true, "p", false);
  EXPECT_EQ(made.no_longer_current,
            std::vector<std::string>{"1 (polyline " + centre->Handle() + ")"});
  model::TEVReach record;
  record.Profile = second;
  ASSERT_TRUE(record.RetrieveValues());
  EXPECT_EQ(record.ReachNo, "7");
  EXPECT_TRUE(record.Status);
  EXPECT_EQ(record.PhotoDirectory, "p");
  record.Profile = centre;
  ASSERT_TRUE(record.RetrieveValues());
  EXPECT_FALSE(record.Status);
  // Refused: a number another reach has, one that is none, a profile.
  EXPECT_THROW(tagging::TagReach(d.doc, centre, "7", false, "", false), tagging::TagError);
  EXPECT_THROW(tagging::TagReach(d.doc, centre, "x", false, "", false), tagging::TagError);
  EXPECT_THROW(tagging::TagReach(d.doc, centre, "4294967296", false, "", false), tagging::TagError);
  const auto profile = AddPolyline(d.doc, "3_Profile", {20, 10, 20, -10});
  TagSection(*profile, "3", 20, 180, "", "");
  EXPECT_THROW(tagging::TagReach(d.doc, profile, "3", false, "", false), tagging::TagError);
}

}  // namespace
}  // namespace palvane::testing
