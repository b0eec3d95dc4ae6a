#include "model/lookup.h"

#include <gtest/gtest.h>

#include <map>

#include "support/river.h"

namespace palvane::testing {
namespace {

using host::Variant;

class LookupTest : public ::testing::Test {
 protected:
  Drawing d;
  host::RecordingMessageSink sink;
};

TEST_F(LookupTest, CurrentReachIsTheFirstCurrentOne) {
  bool found = true;
  EXPECT_FALSE(model::GetCurrentReach(sink, d.doc, found));
  EXPECT_FALSE(found);
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"You must first create a Reach"});
  sink.clear();

  const auto section = AddPolyline(d.doc, "1_Profile", {0, 0, 1, 0});
  TagSection(*section, "1", 0, 0, "", "");
  AddPolyline(d.doc, "Clutter", {0, 0, 1, 0});
  const auto other = AddPolyline(d.doc, "CL", {0, 0, 5, 0});
  TagReach(*other, "1", false);
  EXPECT_FALSE(model::GetCurrentReach(sink, d.doc, found));
  EXPECT_FALSE(found);
  EXPECT_TRUE(sink.messages().empty());  // reaches, but none current: no message here

  const auto first = AddPolyline(d.doc, "CL", {0, 0, 6, 0});
  TagReach(*first, "2", true);
  const auto second = AddPolyline(d.doc, "CL", {0, 0, 7, 0});
  TagReach(*second, "3", true);
  const auto reach = model::GetCurrentReach(sink, d.doc, found);
  ASSERT_TRUE(reach);
  EXPECT_TRUE(found);
  EXPECT_EQ(reach->ReachNo, "2");
  EXPECT_TRUE(SameEntity(reach->Profile, first));
  // "LWPolys" holds the reaches only.
  const auto set = d.doc->SelectionSets()->Item("LWPolys");
  EXPECT_EQ(set->Count(), 3);
}

TEST_F(LookupTest, SectionProfileWithNoneOneAndTwoMatches) {
  EXPECT_FALSE(model::FindSectionProfile(sink, d.doc, "12"));
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Section 12 Has no profile"});
  sink.clear();
  const auto a = AddPolyline(d.doc, "12_Profile", {0, 0, 1, 0});
  AddPoint(d.doc, "12_Profile", {0, 0, 0});  // not a polyline
  EXPECT_TRUE(SameEntity(model::FindSectionProfile(sink, d.doc, "12"), a));
  EXPECT_TRUE(sink.messages().empty());
  AddPolyline(d.doc, "12_Profile", {0, 0, 2, 0});
  EXPECT_TRUE(SameEntity(model::FindSectionProfile(sink, d.doc, "12"), a));
  EXPECT_EQ(sink.messages(),
            std::vector<std::string>{"Section 12 Has more than one Profile using first found"});
}

TEST_F(LookupTest, CentrePointWithNoneOneAndTwoMatches) {
  EXPECT_FALSE(model::FindSectionCenterPoint(sink, d.doc, "K1"));
  const auto a = AddPoint(d.doc, "K1_SectionCenter", {0, 0, 0});
  EXPECT_TRUE(SameEntity(model::FindSectionCenterPoint(sink, d.doc, "K1"), a));
  AddPoint(d.doc, "K1_SectionCenter", {1, 0, 0});
  EXPECT_TRUE(SameEntity(model::FindSectionCenterPoint(sink, d.doc, "K1"), a));
  EXPECT_EQ(sink.messages(), (std::vector<std::string>{
                                 "Section K1 Has no Center Point",
                                 "Section K1 Has more than one Center Point using first found"}));
}

TEST_F(LookupTest, ExistingSelectionSetIsReplaced) {
  const auto old = d.doc->SelectionSets()->Add("Section");
  old->Select(host::kSelectionSetAll, {}, {});
  d.doc->SelectionSets()->Add("Keep");
  const auto fresh = model::NewSelectionSet(d.doc, "Section");
  EXPECT_EQ(fresh->Count(), 0);
  EXPECT_ERROR(old->Count(), host::Error::kInvalidInput);  // deleted
  EXPECT_EQ(d.doc->SelectionSets()->Count(), 2);
  // The set of that name is the fresh one: what it selects shows there.
  AddPolyline(d.doc, "0", {0, 0, 1, 0});
  fresh->Select(host::kSelectionSetAll, {}, {});
  EXPECT_GT(fresh->Count(), 0);
  EXPECT_EQ(d.doc->SelectionSets()->Item("Section")->Count(), fresh->Count());
  // A set of another case is another name to the walk, but the same to the host.
  EXPECT_ERROR(model::NewSelectionSet(d.doc, "SECTION"), host::Error::kDuplicateKey);
}

// Filters are wild-card patterns on the program's side: section numbers
// holding wild-card characters still find their own layers only, and a
// letter case of their own finds the same layer.
TEST_F(LookupTest, SectionNumbersWithWildcardCharactersFindTheirOwnLayers) {
  const char* numbers[] = {"12.5", "12-5", "1205", "1#", "10", "11", "~1", "[1]", "1"};
  std::map<std::string, Ref<host::LWPolyline>> profiles;
  for (const char* n : numbers) {
    profiles[n] = AddSection(d.doc, n, {0, 0, 1, 0}, 0).profile;
  }
  for (const char* n : numbers) {
    SCOPED_TRACE(n);
    const auto profile = model::FindSectionProfile(sink, Seen(d.doc), n);
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->Handle(), profiles[n]->Handle());
    const auto point = model::FindSectionCenterPoint(sink, Seen(d.doc), n);
    ASSERT_TRUE(point);
  }
  EXPECT_TRUE(sink.messages().empty()) << sink.messages()[0];
}

// "All" takes every layout: a profile copied onto a paper space sheet is a
// second profile of its section.
TEST_F(LookupTest, SelectingAllCoversPaperSpace) {
  AddSection(d.doc, "7", {0, 0, 1, 0}, 0);
  const auto sheet = d.doc->Blocks()->Item("*Paper_Space");
  const auto copy = sheet->AddLightWeightPolyline({0, 0, 2, 0});
  copy->SetLayer("7_profile");
  const auto profile = model::FindSectionProfile(sink, Seen(d.doc), "7");
  ASSERT_TRUE(profile);
  EXPECT_EQ(sink.messages(),
            std::vector<std::string>{"Section 7 Has more than one Profile using first found"});
}

}  // namespace
}  // namespace palvane::testing
