#include <gtest/gtest.h>

#include "support/keyplan_fixture.h"

namespace palvane::testing {
namespace {

using host::memory::MemAttributeDefinition;
using host::memory::MemBlockReference;
using host::memory::MemLWPolyline;

class AttributeExportTest : public KeyplanFixture {
 protected:
  // The worked example: section XS12 from (200,120) to (250,100), chainage
  // 1250.5, text height 1.5, chainage precisions 2 and 1.
  void UseWorkedExample() {
    river = Drawing();
    centre = AddPolyline(river.doc, "CL", {0, 0, 4200, 0});
    TagReach(*centre, "1", true);
    AddSection(river.doc, "XS12", {200, 120, 250, 100}, 1250.5, 12, "Footbridge", "XS12");
    options.TextHeight = "1.5";
    options.ChainagePrecision = "2";
    options.Mike11ChainagePrecision = "1";
  }
};

TEST_F(AttributeExportTest, WorkedExample) {
  UseWorkedExample();
  EXPECT_EQ(centerline.ExportKeyplanAsAttributes(river.doc, options), "");
  EXPECT_TRUE(sink.messages().empty());
  const auto* keyplan = Keyplan();
  ASSERT_NE(keyplan, nullptr);
  const host::memory::MemBlock* block = keyplan->FindBlock("XS12");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->origin(), (Point3{200, 120, 0}));

  const auto lines = EntitiesOf<MemLWPolyline>(*block);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->fields().vertices[0].x, 200);
  EXPECT_EQ(lines[0]->fields().vertices[0].y, 120);
  EXPECT_EQ(lines[0]->fields().vertices[1].x, 250);
  EXPECT_EQ(lines[0]->fields().vertices[1].y, 100);
  EXPECT_EQ(lines[0]->layer()->name(), "XS_1250.500");

  const auto defs = EntitiesOf<MemAttributeDefinition>(*block);
  ASSERT_EQ(defs.size(), 6u);
  const struct {
    const char* tag;
    const char* prompt;
    const char* value;
    double y;
  } expected[] = {{"XS_ID", "Enter Cross-Section Identifier Code", "XS12", 98},
                  {"Easting", "Enter Easting", "200.000", 96},
                  {"Northing", "Enter Northing", "120.000", 94},
                  {"XS_TYPE", "Enter Name of Structure", "Footbridge", 92},
                  {"ISIS_CHAIN", "Enter ISIS Chainage", "1250.5", 90},
                  {"MIKE11_CHAIN", "Enter MIKE 11 Chainage", "2949.5", 88}};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(defs[i]->tag(), expected[i].tag);
    EXPECT_EQ(defs[i]->prompt(), expected[i].prompt);
    EXPECT_EQ(defs[i]->fields().value, expected[i].value);
    EXPECT_EQ(defs[i]->fields().insertion[0], 250);
    EXPECT_NEAR(defs[i]->fields().insertion[1], expected[i].y, 1e-12) << expected[i].tag;
    EXPECT_EQ(defs[i]->fields().insertion[2], 0);
    EXPECT_EQ(defs[i]->fields().height, 1.5);
    EXPECT_EQ(defs[i]->fields().mode, 0);
    EXPECT_EQ(defs[i]->layer()->name(), "XS_1250.500");
  }

  const auto refs = EntitiesOf<MemBlockReference>(*keyplan->model_space());
  ASSERT_EQ(refs.size(), 1u);
  EXPECT_EQ(refs[0]->block_name(), "XS12");
  EXPECT_EQ(refs[0]->fields().insertion, (Point3{200, 120, 0}));
  EXPECT_EQ(refs[0]->fields().scale, (Point3{1, 1, 1}));
  EXPECT_EQ(refs[0]->fields().rotation, 0);
  EXPECT_EQ(refs[0]->layer()->name(), "XS_1250.500");
  ASSERT_EQ(refs[0]->attributes.size(), 6u);
  EXPECT_EQ(refs[0]->attributes[5]->fields().value, "2949.5");
  EXPECT_EQ(refs[0]->attributes[5]->fields().insertion[1], 88);
  // Both fixed text layers were made; nothing used them, so they were purged.
  EXPECT_EQ(keyplan->FindLayer("SECTION_LINE"), nullptr);
  EXPECT_EQ(keyplan->FindLayer("SECTION_LINE_TEXT"), nullptr);
  EXPECT_NE(keyplan->FindLayer("CENTRE_LINE"), nullptr);
}

TEST_F(AttributeExportTest, AffixesFlagsAndShortTags) {
  UseWorkedExample();
  options.ChainagePrefix = "CH-";
  options.ChainageSuffix = "m";
  options.ChainagePrecision = "3";
  for (const auto& f : keyplan::kOptionFields) {
    const std::string name = f.name;
    if (name.ends_with("ChkBox")) options.*f.member = name.size() % 2 ? "" : "maybe";
  }
  // A tag of seven items: no name item.
  const auto set = river.doc->SelectionSets()->Add("p");
  set->Select(host::kSelectionSetAll, {8}, {host::Variant("XS12_Profile")});
  TagSection(*set->Item(0), "XS12", 1250.5, 12, "Footbridge", "XS12", 7);
  centerline.ExportKeyplanAsAttributes(river.doc, options);
  EXPECT_TRUE(sink.messages().empty());  // flags are never read here
  const auto defs = EntitiesOf<MemAttributeDefinition>(*Keyplan()->FindBlock("XS12"));
  ASSERT_EQ(defs.size(), 6u);
  EXPECT_EQ(defs[0]->fields().value, "");
  EXPECT_EQ(defs[4]->fields().value, "CH-1250.5m");
}

// Relies on an attribute definition of height 0 being taken, which the
// program's reference leaves unverified.
TEST_F(AttributeExportTest, UnreadableTextHeightStacksAttributesAtTheLineEnd) {
  UseWorkedExample();
  options.TextHeight = "big";
  centerline.ExportKeyplanAsAttributes(river.doc, options);
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Type mismatch"});
  for (const auto* def : EntitiesOf<MemAttributeDefinition>(*Keyplan()->FindBlock("XS12"))) {
    EXPECT_EQ(def->fields().insertion, (Point3{250, 100, 0}));
    EXPECT_EQ(def->fields().height, 0);
  }
}

TEST_F(AttributeExportTest, UnreadablePrecisionWritesNoOtherValue) {
  UseWorkedExample();
  options.Mike11ChainagePrecision = "-2";
  centerline.ExportKeyplanAsAttributes(river.doc, options);
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Invalid procedure call or argument"});
  const auto defs = EntitiesOf<MemAttributeDefinition>(*Keyplan()->FindBlock("XS12"));
  ASSERT_EQ(defs.size(), 6u);
  EXPECT_EQ(defs[5]->fields().value, "");  // not the ISIS text left from the step before
}

// Relies on Blocks.Add returning the existing block for a name that exists,
// which the program's reference leaves unverified.
TEST_F(AttributeExportTest, OneSectionOnTwoLayersFillsItsBlockOnce) {
  river.doc->Layers()->Add("1_SectionLine2");
  centerline.ExportKeyplanAsAttributes(river.doc, options);
  EXPECT_TRUE(sink.messages().empty());
  const auto* block = Keyplan()->FindBlock("1");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->entities().size(), 7u);  // one line, six definitions
  EXPECT_EQ(EntitiesOf<MemBlockReference>(*Keyplan()->model_space()).size(), 4u);
}

// Section numbers differing only in the case of a letter beyond ASCII name
// one block, as the program folds letter case in any script: it is filled
// once.
TEST_F(AttributeExportTest, SectionNumbersDifferingInCaseFillOneBlockOnce) {
  AddSection(river.doc, "Ä1", {500, -50, 500, 50}, 500, 0, "", "XSÄ1");
  river.doc->Layers()->Add("ä1_SectionLine2");
  centerline.ExportKeyplanAsAttributes(river.doc, options);
  EXPECT_TRUE(sink.messages().empty()) << sink.messages().front();
  const auto* block = Keyplan()->FindBlock("ä1");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->name(), "Ä1");
  EXPECT_EQ(block->entities().size(), 7u);  // one line, six definitions
}

// Inside the CAD program every Blocks.Add hands out a new object: the block
// filled already is known by its name, not by the object's address, on a
// river long enough that freed objects' addresses come round again.
TEST_F(AttributeExportTest, FiftySectionsOneNamedTwiceEachBlockFilledOnce) {
  river = Drawing();
  centre = AddPolyline(river.doc, "CL", {0, 0, 5000, 0});
  TagReach(*centre, "1", true);
  for (int i = 1; i <= 50; ++i) {
    const double x = 100.0 * i;
    AddSection(river.doc, "S" + std::to_string(i), {x, -40, x + 5, 40}, x, 90, "T", "XS");
  }
  river.doc->Layers()->Add("S7_SectionLine2");
  centerline.ExportKeyplanAsAttributes(river.doc, options);
  EXPECT_TRUE(sink.messages().empty()) << ::testing::PrintToString(sink.messages());
  for (int i = 1; i <= 50; ++i) {
    const auto* block = Keyplan()->FindBlock("S" + std::to_string(i));
    ASSERT_NE(block, nullptr) << i;
    EXPECT_EQ(EntitiesOf<MemLWPolyline>(*block).size(), 1u) << "block S" << i;
    EXPECT_EQ(EntitiesOf<MemAttributeDefinition>(*block).size(), 6u) << "block S" << i;
  }
  // One reference per section layer, the twice-named section's two alike.
  const auto references = EntitiesOf<MemBlockReference>(*Keyplan()->model_space());
  ASSERT_EQ(references.size(), 51u);
  EXPECT_EQ(references[50]->attributes.size(), 6u);
}

TEST_F(AttributeExportTest, MissingProfileAndInvalidLayerPrefix) {
  const auto set = river.doc->SelectionSets()->Add("find");
  set->Select(host::kSelectionSetAll, {8}, {host::Variant("2_Profile")});
  set->Item(0)->SetLayer("Banks");
  options.LineLayer = "bad|";
  centerline.ExportKeyplanAsAttributes(river.doc, options);
  const std::string not_set = "Object variable or With block variable not set";
  // Sections 1 and 3: their layer refused in the first pass, then the line,
  // six definitions and the reference refused it again. Section 2: the lookup
  // and every step that needs its polyline.
  std::vector<std::string> messages = sink.messages();
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "Key not found"), 16);
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "Section 2 Has no profile"), 2);
  EXPECT_EQ(std::count(messages.begin(), messages.end(), not_set), 4);
  EXPECT_EQ(messages.size(), 2u + 16u + 2u + 4u);
  EXPECT_EQ(Keyplan()->FindBlock("2"), nullptr);
  EXPECT_NE(Keyplan()->FindBlock("3"), nullptr);
}

}  // namespace
}  // namespace palvane::testing
