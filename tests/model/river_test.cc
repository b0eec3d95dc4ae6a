#include "model/river.h"

#include <gtest/gtest.h>

#include "model/layer_names.h"
#include "model/problem_codes.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

using host::Variant;

// The problem codes of a section, in order.
std::vector<std::string> Codes(const model::RiverSection& section) {
  std::vector<std::string> codes;
  for (const model::Problem& p : section.problems) codes.push_back(p.code);
  return codes;
}

TEST(LayerNamesTest, SectionNumbersComeFromTheFirstSectionLineInTheName) {
  EXPECT_EQ(model::SectionNumberOf("12_SectionLine"), "12");
  EXPECT_EQ(model::SectionNumberOf("12_SectionLine_old"), "12");
  EXPECT_EQ(model::SectionNumberOf("_SectionLine"), "");
  EXPECT_EQ(model::SectionNumberOf("a_SectionLine_b_SectionLine"), "a");
  EXPECT_FALSE(model::SectionNumberOf("12_Sectionline"));  // the name's own case
  EXPECT_FALSE(model::SectionNumberOf("12_Profile"));
  EXPECT_EQ(model::SectionLayer("12.5", model::kProfileLayer), "12.5_Profile");
  EXPECT_EQ("12_" + std::string(model::AfterUnderscore(model::kSurveyLpsoLayer)), "12_3d_LPSO");
}

class RiverReadTest : public ::testing::Test {
 protected:
  RiverReadTest() {
    current = AddPolyline(d.doc, "CL", {0, 0, 100, 0});
    TagReach(*current, "1", true, "photos");
    other = AddPolyline(d.doc, "CL", {0, 10, 50, 10});
    TagReach(*other, "2", false);
    AddPolyline(d.doc, "Banks", {0, 20, 100, 20});  // no tag: no reach
    one = AddSection(d.doc, "1", {10, -5, 10, 5}, 10, 90, "Weir", "XS1");
    two = AddSection(d.doc, "2", {20, -5, 20, 5}, 20, 90, "", "XS2");
    three = AddSection(d.doc, "3", {30, -5, 30, 5}, 30, 90, "", "XS3");
  }
  const model::RiverSection& SectionNumbered(const model::River& river, const std::string& n) {
    for (const auto& s : river.sections) {
      if (s.number == n) return s;
    }
    ADD_FAILURE() << "no section " << n;
    return river.sections.front();
  }

  Drawing d;
  host::RecordingMessageSink sink;
  Ref<host::LWPolyline> current, other;
  Section one, two, three;
};

TEST_F(RiverReadTest, ReachesAndSectionsWithTheirValuesAndWhereTheyCameFrom) {
  // Section 2 lost its tag (its centre point keeps it); section 4 has a
  // section line but no profile; section 5's tag is lost everywhere.
  dynamic_cast<host::memory::EntityCore*>(Behind(Ref<host::Entity>(two.profile)).get())
      ->mutable_xdata()
      .clear();
  d.doc->Layers()->Add("4_SectionLine");
  const Section five = AddSection(d.doc, "5", {50, -5, 50, 5}, 50);
  for (const auto& object : {Ref<host::Entity>(five.profile), Ref<host::Entity>(five.center)}) {
    dynamic_cast<host::memory::EntityCore*>(Behind(object).get())->mutable_xdata().clear();
  }
  const model::River river = model::ReadRiver(d.doc, sink);
  ASSERT_EQ(river.reaches.size(), 2u);
  EXPECT_TRUE(river.unread_reaches.empty());
  const model::RiverReach* reach = model::CurrentReach(river);
  ASSERT_NE(reach, nullptr);
  EXPECT_EQ(reach->handle, current->Handle());
  EXPECT_EQ(reach->record.PhotoDirectory, "photos");
  ASSERT_EQ(river.sections.size(), 5u);

  const auto& s1 = SectionNumbered(river, "1");
  EXPECT_EQ(s1.layer, "1_SectionLine");
  EXPECT_EQ(s1.handle, one.profile->Handle());
  EXPECT_EQ(s1.source, "tag");
  EXPECT_TRUE(s1.complete);
  EXPECT_TRUE(s1.problems.empty());
  EXPECT_EQ(s1.record.Title, "Weir");
  EXPECT_EQ(s1.record.Chainage, 10);
  EXPECT_FALSE(s1.centre_points_looked_up);  // not asked for

  const auto& s2 = SectionNumbered(river, "2");
  EXPECT_EQ(s2.source, "centre point");
  EXPECT_TRUE(s2.Has(7));
  EXPECT_EQ(s2.record.SectionName, "XS2");
  EXPECT_EQ(Codes(s2), std::vector<std::string>{model::code::kTagRestorable});
  ASSERT_EQ(s2.centre_points.size(), 1u);  // looked up for the tag
  EXPECT_EQ(s2.centre_points.front()->Handle(), two.center->Handle());
  EXPECT_FALSE(s2.own_tag);
  // Read, not restored: the drawing is only read.
  EXPECT_TRUE(two.profile->GetXData("TEV").empty());

  const auto& s4 = SectionNumbered(river, "4");
  EXPECT_FALSE(s4.record.Profile);
  EXPECT_FALSE(s4.Has(2));
  EXPECT_EQ(Codes(s4), std::vector<std::string>{model::code::kNoProfile});
  // A tag lost everywhere is one problem.
  const auto& s5 = SectionNumbered(river, "5");
  EXPECT_TRUE(s5.complete);
  EXPECT_EQ(s5.source, "");
  EXPECT_EQ(Codes(s5), std::vector<std::string>{model::code::kTagLost});
  // The lookups' messages went to the sink as they came.
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Section 4 Has no profile"});
}

TEST_F(RiverReadTest, OnlyTheReachesWhenAsked) {
  const model::River river = model::ReadRiver(d.doc, sink, model::RiverOptions::ReachesOnly());
  EXPECT_EQ(river.reaches.size(), 2u);
  EXPECT_TRUE(river.sections.empty());
}

// One reach or section that cannot be read is kept with its problem; the
// others keep their own values and never take its.
TEST_F(RiverReadTest, WhatCannotBeReadStaysWithItsOwnerAlone) {
  SetTagItem(*other, 3, Variant("perhaps"), 1000);        // no flag
  SetTagItem(*two.profile, 8, Variant("someday"), 1000);  // no date: fails late
  SetTagItem(*three.profile, 4, Variant("ten"), 1000);    // no chainage: fails early
  const model::River river = model::ReadRiver(d.doc, sink, model::RiverOptions::WithCentrePoints());
  ASSERT_EQ(river.reaches.size(), 1u);
  ASSERT_EQ(river.unread_reaches.size(), 1u);
  EXPECT_EQ(river.unread_reaches.front().handle, other->Handle());
  EXPECT_EQ(river.unread_reaches.front().tag.values.size(), 5u);

  const auto& s1 = SectionNumbered(river, "1");
  EXPECT_TRUE(s1.complete);
  ASSERT_EQ(s1.centre_points.size(), 1u);
  EXPECT_EQ(s1.centre_points.front()->Handle(), one.center->Handle());

  const auto& s2 = SectionNumbered(river, "2");
  EXPECT_FALSE(s2.complete);
  EXPECT_TRUE(s2.Has(7));
  EXPECT_FALSE(s2.Has(8));
  EXPECT_EQ(s2.record.SectionName, "XS2");
  EXPECT_EQ(Codes(s2), std::vector<std::string>{model::code::kTagUnreadable});

  const auto& s3 = SectionNumbered(river, "3");
  // The number, reach and chainage are read together: none of them.
  EXPECT_FALSE(s3.complete);
  EXPECT_FALSE(s3.Has(2));
  EXPECT_EQ(s3.record.Title, "");  // never read, and not section 2's
  EXPECT_EQ(Codes(s3), std::vector<std::string>{model::code::kTagUnreadable});
}

TEST_F(RiverReadTest, AHostFailureInOneSectionLeavesTheOthers) {
  // Selections: the polylines, then each section's profile in turn.
  d.app->monitor().FailAt("SelectionSet.Select", 3, 5, "refused");
  const model::River river = model::ReadRiver(d.doc, sink);
  ASSERT_EQ(river.sections.size(), 3u);
  EXPECT_TRUE(SectionNumbered(river, "1").complete);
  const auto& s2 = SectionNumbered(river, "2");
  EXPECT_FALSE(s2.complete);
  EXPECT_FALSE(s2.record.Profile);
  EXPECT_EQ(Codes(s2), std::vector<std::string>{model::code::kHostError});
  EXPECT_EQ(s2.problems.front().text, "refused");
  ASSERT_TRUE(s2.host_failure);
  EXPECT_EQ(s2.host_failure->number(), 5);
  EXPECT_TRUE(SectionNumbered(river, "3").complete);
  EXPECT_EQ(SectionNumbered(river, "3").record.Chainage, 30);
}

}  // namespace
}  // namespace palvane::testing
