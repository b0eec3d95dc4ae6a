#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <stdexcept>

#include "geometry/vec.h"
#include "model/tags.h"
#include "support/keyplan_fixture.h"

namespace palvane::testing {
namespace {

using host::memory::MemLWPolyline;
using host::memory::MemMText;

class ExportKeyplanTest : public KeyplanFixture {
 protected:
  std::vector<std::string> LayerNames(const host::memory::MemDocument& doc) const {
    std::vector<std::string> names;
    for (const auto& l : doc.layers()) names.push_back(l->name());
    return names;
  }
};

// The labels are texts of width 0, which the program's reference leaves
// unverified (taken as no wrapping).
TEST_F(ExportKeyplanTest, WholeRunOnThreeSections) {
  const size_t source_entities = river.mem->model_space()->entities().size();
  const auto source_layers = LayerNames(*river.mem);
  EXPECT_EQ(centerline.ExportKeyplan(river.doc, options), "");
  EXPECT_TRUE(sink.messages().empty()) << sink.messages().front();

  const auto* keyplan = Keyplan();
  ASSERT_NE(keyplan, nullptr);
  EXPECT_EQ(river.app->active(), keyplan);
  EXPECT_EQ(keyplan->view().zoom_extents_count, 1);
  // "SECTION_LINE" held nothing and was purged.
  EXPECT_EQ(LayerNames(*keyplan),
            (std::vector<std::string>{"0", "CENTRE_LINE", "SECTION_LINE_TEXT", "XS_100.250",
                                      "XS_200.500", "XS_300.125"}));
  EXPECT_EQ(keyplan->FindLayer("CENTRE_LINE")->color(), 5);
  EXPECT_EQ(keyplan->FindLayer("XS_200.500")->color(), 7);

  const auto lines = EntitiesOf<MemLWPolyline>(*keyplan->model_space());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0]->layer()->name(), "CENTRE_LINE");
  EXPECT_EQ(lines[0]->PathLength(), 4200);
  EXPECT_EQ(lines[0]->GetXData("TEV").values, centre->GetXData("TEV").values);
  const struct {
    double sx, sy, ex, ey;
    const char* layer;
  } expected_lines[] = {{100, -50, 100, 50, "XS_100.250"},
                        {200, -50, 200, 50, "XS_200.500"},
                        {300, -50, 300, 50, "XS_300.125"}};
  for (size_t i = 0; i < 3; ++i) {
    const auto& e = expected_lines[i];
    const MemLWPolyline& line = *lines[i + 1];
    ASSERT_EQ(line.fields().vertices.size(), 2u);
    EXPECT_NEAR(line.fields().vertices[0].x, e.sx, 1e-9) << i;
    EXPECT_NEAR(line.fields().vertices[0].y, e.sy, 1e-9) << i;
    EXPECT_NEAR(line.fields().vertices[1].x, e.ex, 1e-9) << i;
    EXPECT_NEAR(line.fields().vertices[1].y, e.ey, 1e-9) << i;
    EXPECT_EQ(line.fields().vertices[0].start_width, 0.5);
    EXPECT_EQ(line.fields().vertices[0].end_width, 0.5);
    EXPECT_EQ(line.layer()->name(), e.layer);
  }

  const auto labels = EntitiesOf<MemMText>(*keyplan->model_space());
  ASSERT_EQ(labels.size(), 3u);
  EXPECT_EQ(labels[0]->fields().text, "XS1\\P100mE -50mN\\P90\\P100.25\\P4099.75\\PLeft bank");
  EXPECT_EQ(labels[1]->fields().text, "XS2\\P200mE -50mN\\P45\\P200.5\\P3999.5");  // title "Z"
  EXPECT_EQ(labels[2]->fields().text, "XS3\\P300mE -50mN\\P0\\P300.12\\P3899.88\\PWeir");
  for (size_t i = 0; i < 3; ++i) {
    const MemMText& label = *labels[i];
    EXPECT_EQ(label.layer()->name(), "SECTION_LINE_TEXT");
    EXPECT_EQ(label.fields().height, 2);
    // The box centre lies on the line's extension beyond its first vertex
    // (south of it), half the text height plus half the box diagonal away.
    Point3 lo, hi;
    ASSERT_TRUE(label.Extents(lo, hi));
    const double cx = (lo[0] + hi[0]) / 2, cy = (lo[1] + hi[1]) / 2;
    const double r = std::hypot(hi[0] - lo[0], hi[1] - lo[1]) / 2;
    EXPECT_NEAR(cx, expected_lines[i].sx, 1e-9) << i;
    EXPECT_NEAR(cy, -50 - (1 + r), 1e-9) << i;
  }

  // The source is unchanged but for the restored tag.
  EXPECT_EQ(river.mem->model_space()->entities().size(), source_entities);
  EXPECT_EQ(LayerNames(*river.mem), source_layers);
  EXPECT_EQ(model::GetTagKind(*lost_tag), "SECTION");
}

TEST_F(ExportKeyplanTest, NoReachAtAllAndNoCurrentReach) {
  TagReach(*centre, "4", false);
  centerline.ExportKeyplan(river.doc, options);
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"You need to make a reach current first"});
  EXPECT_EQ(Keyplan(), nullptr);

  sink.clear();
  centre->SetXData({1001, 1000}, {host::Variant("TEV"), host::Variant("GONE")});
  centerline.ExportKeyplan(river.doc, options);
  EXPECT_EQ(sink.messages(), (std::vector<std::string>{"You must first create a Reach",
                                                       "You need to make a reach current first"}));
  EXPECT_EQ(Keyplan(), nullptr);
}

// The export hands back what it made: the drawing (the last one added), the
// reach it was made of, and whether a lost tag was written back onto its
// profile in the source.
TEST_F(ExportKeyplanTest, SaysWhatItMadeAndWhetherItRestoredTags) {
  keyplan::KeyplanMade made;
  EXPECT_EQ(centerline.ExportKeyplanAsAttributes(river.doc, options, &made), "");
  ASSERT_TRUE(made.drawing);
  EXPECT_EQ(made.drawing->Name(), Keyplan()->Name());
  EXPECT_TRUE(made.tags_restored);  // section 3's
  EXPECT_EQ(made.reach, "4");
  // Restored now: a second export restores nothing.
  EXPECT_EQ(centerline.ExportKeyplan(river.doc, options, &made), "");
  ASSERT_TRUE(made.drawing);
  EXPECT_EQ(made.drawing->Name(), Keyplan()->Name());
  EXPECT_FALSE(made.tags_restored);
  // No current reach: nothing made.
  TagReach(*centre, "4", false);
  centerline.ExportKeyplan(river.doc, options, &made);
  EXPECT_FALSE(made.drawing);
  EXPECT_FALSE(made.tags_restored);
}

TEST_F(ExportKeyplanTest, UnreadableTextHeightLeavesLabelsAtTheFirstVertex) {
  options.TextHeight = "tall";
  centerline.ExportKeyplan(river.doc, options);
  // Setting the height, computing the target and the move fail per section.
  EXPECT_EQ(sink.messages().size(), 9u);
  EXPECT_EQ(sink.messages()[0], "Type mismatch");
  for (const MemMText* label : EntitiesOf<MemMText>(*Keyplan()->model_space())) {
    EXPECT_EQ(label->fields().height, 2.5);  // the drawing's default
    EXPECT_EQ(label->fields().insertion[1], -50);
  }
}

TEST_F(ExportKeyplanTest, UnreadableWidthAndInvalidLayerPrefix) {
  options.SectionLineWidth = "";
  centerline.ExportKeyplan(river.doc, options);
  EXPECT_EQ(sink.messages(), std::vector<std::string>(3, "Type mismatch"));
  for (const MemLWPolyline* line : EntitiesOf<MemLWPolyline>(*Keyplan()->model_space())) {
    EXPECT_EQ(line->fields().vertices[0].start_width, 0);
  }

  sink.clear();
  options.SectionLineWidth = "1";
  options.LineLayer = "XS<";
  centerline.ExportKeyplan(river.doc, options);
  // The layer cannot be made (once per section) and the line cannot go on it.
  ASSERT_EQ(sink.messages().size(), 6u);
  EXPECT_EQ(sink.messages()[3], "Key not found");
  const auto lines = EntitiesOf<MemLWPolyline>(*Keyplan()->model_space());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1]->layer()->name(), "0");
}

TEST_F(ExportKeyplanTest, MissingProfileShowsItsMessagesAndDrawsNothingForIt) {
  // Move the profile off its layer, so the lookup finds none.
  const auto set = river.doc->SelectionSets()->Add("find");
  set->Select(host::kSelectionSetAll, {8}, {host::Variant("2_Profile")});
  set->Item(0)->SetLayer("Banks");

  centerline.ExportKeyplan(river.doc, options);
  const std::string not_set = "Object variable or With block variable not set";
  EXPECT_EQ(sink.messages(),
            (std::vector<std::string>{"Section 2 Has no profile", not_set,
                                      "Section 2 Has no profile", not_set, not_set, not_set}));
  EXPECT_EQ(EntitiesOf<MemLWPolyline>(*Keyplan()->model_space()).size(), 3u);
  EXPECT_EQ(EntitiesOf<MemMText>(*Keyplan()->model_space()).size(), 2u);
  EXPECT_EQ(Keyplan()->FindLayer("XS_0.000"), nullptr);
}

TEST_F(ExportKeyplanTest, HostFailureInOneSectionLeavesTheOthersComplete) {
  river.app->monitor().FailAt("LWPolyline.SetWidth", 2, -2145386420, "Width refused");
  centerline.ExportKeyplan(river.doc, options);
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Width refused"});
  const auto lines = EntitiesOf<MemLWPolyline>(*Keyplan()->model_space());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1]->fields().vertices[0].start_width, 0.5);
  EXPECT_EQ(lines[2]->fields().vertices[0].start_width, 0);
  EXPECT_EQ(lines[3]->fields().vertices[0].start_width, 0.5);
  const auto labels = EntitiesOf<MemMText>(*Keyplan()->model_space());
  ASSERT_EQ(labels.size(), 3u);
  for (const MemMText* label : labels) EXPECT_EQ(label->layer()->name(), "SECTION_LINE_TEXT");
}

// A tag that fails after the items the export uses is this section's own
// record all the same: drawn, after the message. One that fails before them
// holds nothing of this section and is not drawn.
TEST_F(ExportKeyplanTest, TagFailingLateIsDrawnAndEarlyIsNot) {
  const Section late = AddSection(river.doc, "4", {400, -50, 400, 50}, 400.5, 0, "Late", "XS4");
  std::vector<host::Variant> values = late.profile->GetXData("TEV").values;
  values[8] = host::Variant("not a date");
  late.profile->SetXData(late.profile->GetXData("TEV").codes, values);
  const Section early = AddSection(river.doc, "5", {500, -50, 500, 50}, 500.5, 0, "Early", "XS5");
  // Readers go by position: a text where the chainage should be.
  std::vector<int16_t> codes = early.profile->GetXData("TEV").codes;
  values = early.profile->GetXData("TEV").values;
  codes[4] = 1000;
  values[4] = host::Variant("not a number");
  early.profile->SetXData(codes, values);

  centerline.ExportKeyplan(river.doc, options);
  // Each pass reads each record once: two messages for each bad tag.
  EXPECT_EQ(sink.messages(), std::vector<std::string>(4, "Type mismatch"));
  EXPECT_NE(Keyplan()->FindLayer("XS_400.500"), nullptr);
  bool late_label = false, early_label = false;
  for (const MemMText* label : EntitiesOf<MemMText>(*Keyplan()->model_space())) {
    late_label |= label->fields().text.rfind("XS4", 0) == 0;
    early_label |= label->fields().text.rfind("XS5", 0) == 0;
  }
  EXPECT_TRUE(late_label);
  EXPECT_FALSE(early_label);
  EXPECT_EQ(EntitiesOf<MemLWPolyline>(*Keyplan()->model_space()).size(), 5u);  // 1 + 3 + 1
}

// Running out of memory in the middle ends the export with one message and
// nothing leaves the call; on either host.
TEST_F(ExportKeyplanTest, OutOfMemoryEndsTheExportWithOneMessage) {
  river.app->monitor().FailWith("LWPolyline.SetWidth", 2,
                                std::make_exception_ptr(std::bad_alloc()));
  EXPECT_EQ(centerline.ExportKeyplan(river.doc, options), "");
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Out of memory"});
  // The first section was drawn; the run ended at the second one's width.
  EXPECT_EQ(EntitiesOf<MemMText>(*Keyplan()->model_space()).size(), 1u);
}

// A fault of the library's own (any other exception) is one message too.
// Inside the CAD program the program reports its faults as automation
// errors, so this holds for the in-memory host only.
TEST_F(ExportKeyplanTest, InternalFaultEndsTheExportWithOneMessage) {
  if (TestHost() == HostKind::kAutomation) GTEST_SKIP() << "the program raises automation errors";
  river.app->monitor().FailWith("LWPolyline.SetWidth", 1,
                                std::make_exception_ptr(std::runtime_error("width table lost")));
  EXPECT_EQ(centerline.ExportKeyplanAsAttributes(river.doc, options), "");
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Internal error: width table lost"});
}

TEST_F(ExportKeyplanTest, TwoLayersNamingOneSectionDrawItTwice) {
  river.doc->Layers()->Add("1_SectionLine2");
  centerline.ExportKeyplan(river.doc, options);
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_EQ(EntitiesOf<MemMText>(*Keyplan()->model_space()).size(), 4u);
  EXPECT_EQ(EntitiesOf<MemLWPolyline>(*Keyplan()->model_space())[4]->layer()->name(), "XS_100.250");
}

TEST_F(ExportKeyplanTest, NoSectionLayersGiveOnlyTheCentreLine) {
  for (const char* name : {"1_SectionLine", "2_SectionLine", "3_SectionLine"}) {
    river.mem->FindLayer(name)->SetName(std::string(name).replace(2, 11, "sectionline"));
  }
  centerline.ExportKeyplan(river.doc, options);
  EXPECT_TRUE(sink.messages().empty());
  ASSERT_EQ(Keyplan()->model_space()->entities().size(), 1u);
  EXPECT_EQ(Keyplan()->view().zoom_extents_count, 1);
}

// Section numbers holding wild-card characters: each section is labelled
// from its own profile, on both hosts.
TEST_F(ExportKeyplanTest, SectionNumbersWithWildcardCharactersLabelTheirOwnSections) {
  const char* numbers[] = {"12.5", "12-5", "1#", "10", "11"};
  double x = 1000;
  for (const char* n : numbers) {
    AddSection(river.doc, n, {x, -50, x, 50}, x, 0, "", std::string("XS") + n);
    x += 100;
  }
  centerline.ExportKeyplan(river.doc, options);
  EXPECT_TRUE(sink.messages().empty()) << sink.messages().front();
  std::vector<std::string> names;
  for (const MemMText* label : EntitiesOf<MemMText>(*Keyplan()->model_space())) {
    const std::string& text = label->fields().text;
    names.push_back(text.substr(0, text.find("\\P")));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"XS1", "XS2", "XS3", "XS12.5", "XS12-5", "XS1#",
                                             "XS10", "XS11"}));
}

// In a locale with a decimal comma, labels carry the comma but layer names
// keep the point: the program refuses a layer name holding a comma.
TEST_F(ExportKeyplanTest, LayerNamesKeepThePointInALocaleWithADecimalComma) {
  struct CommaConversions : host::Conversions {
    std::string DecimalSeparator() const override { return ","; }
  } comma;
  automation::CenterlineClass german(sink, comma);
  german.ExportKeyplan(river.doc, options);
  EXPECT_TRUE(sink.messages().empty()) << sink.messages().front();
  const auto* keyplan = Keyplan();
  ASSERT_NE(keyplan, nullptr);
  EXPECT_NE(keyplan->FindLayer("XS_100.250"), nullptr);
  for (const auto& layer : keyplan->layers()) {
    EXPECT_EQ(layer->name().find(','), std::string::npos) << layer->name();
  }
}

}  // namespace
}  // namespace palvane::testing
