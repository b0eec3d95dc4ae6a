#include "model/tags.h"

#include <gtest/gtest.h>

#include "host/convert.h"
#include "model/reach.h"
#include "model/section.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

using host::Variant;
using model::TEVReach;
using model::TEVSection;

TEST(TagKindTest, KindsAreExactAndUntaggedIsNull) {
  Drawing d;
  const auto p = AddPolyline(d.doc, "0", {0, 0, 1, 0});
  EXPECT_EQ(model::GetTagKind(*p), "Null");
  p->SetXData({1001, 1000}, {Variant("OTHER"), Variant("REACH")});
  EXPECT_EQ(model::GetTagKind(*p), "Null");  // another application's data
  p->SetXData({1001, 1000}, {Variant("TEV"), Variant("Reach")});
  EXPECT_EQ(model::GetTagKind(*p), "Reach");
  TEVReach reach;
  reach.Profile = p;
  EXPECT_FALSE(reach.RetrieveValues());  // lower-case letters are not a reach
  p->SetXData({1001}, {Variant("TEV")});
  EXPECT_ERROR(model::GetTagKind(*p), 9);  // only the application item
  EXPECT_ERROR(model::IsTagKind(p->GetXData("TEV"), "REACH"), 9);

  // The quick test of a kind agrees with the kind's text.
  EXPECT_TRUE(model::IsTagKind(host::XData{}, "Null"));
  EXPECT_FALSE(model::IsTagKind(host::XData{}, "REACH"));
  p->SetXData({1001, 1070}, {Variant("TEV"), Variant(int16_t{5})});
  EXPECT_EQ(model::GetTagKind(*p), "5");
  EXPECT_TRUE(model::IsTagKind(p->GetXData("TEV"), "5"));
  p->SetXData({1001, 1000}, {Variant("TEV"), Variant("SECTION")});
  EXPECT_TRUE(model::IsTagKind(p->GetXData("TEV"), model::kSectionKind));
  EXPECT_FALSE(model::IsTagKind(p->GetXData("TEV"), "SECTIO"));
}

// Every kind of value a tag may hold comes back in its own type, points as
// three Doubles, through either host.
TEST(TagKindTest, ExtendedDataOfEveryValueKindRoundTrips) {
  Drawing d;
  const auto p = AddPolyline(d.doc, "0", {0, 0, 1, 0});
  const Variant point(Variant::Array{Variant(1.5), Variant(-2.0), Variant(3.25)});
  p->SetXData({1001, 1000, 1010, 1040, 1070, 1071},
              {Variant("TEV"), Variant("SECTION"), point, Variant(2.5), Variant(int16_t{7}),
               Variant(int32_t{70000})});
  const host::XData x = p->GetXData("TEV");
  ASSERT_EQ(x.codes, (std::vector<int16_t>{1001, 1000, 1010, 1040, 1070, 1071}));
  ASSERT_EQ(x.values.size(), 6u);
  using Type = Variant::Type;
  EXPECT_EQ(x.values[1].type(), Type::kString);
  EXPECT_EQ(host::ToText(x.values[1]), "SECTION");
  ASSERT_TRUE(x.values[2].IsArray());
  const auto& a = x.values[2].AsArrayUnchecked();
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(host::ToDouble(a[0]), 1.5);
  EXPECT_EQ(host::ToDouble(a[1]), -2.0);
  EXPECT_EQ(host::ToDouble(a[2]), 3.25);
  EXPECT_EQ(x.values[3].type(), Type::kDouble);
  EXPECT_EQ(host::ToDouble(x.values[3]), 2.5);
  EXPECT_EQ(x.values[4].type(), Type::kInteger);
  EXPECT_EQ(host::ToInteger(x.values[4]), 7);
  EXPECT_EQ(x.values[5].type(), Type::kLong);
  EXPECT_EQ(host::ToLong(x.values[5]), 70000);
}

TEST(ReachRecordTest, RoundTripStoresTheReachNumberAsAnInteger) {
  Drawing d;
  const auto p = AddPolyline(d.doc, "CL", {0, 0, 1, 0});
  TEVReach reach;
  reach.Profile = p;
  reach.ReachNo = "007";
  reach.Status = true;
  reach.PhotoDirectory = "D:\\Photos\\Reach 7";
  reach.AssignValues();
  const host::XData tag = p->GetXData("TEV");
  EXPECT_EQ(tag.codes[2], 1071);
  EXPECT_EQ(tag.values[2], Variant(int32_t{7}));
  EXPECT_EQ(tag.values[3], Variant(int16_t{-1}));
  TEVReach back;
  back.Profile = p;
  ASSERT_TRUE(back.RetrieveValues());
  EXPECT_EQ(back.ReachNo, "7");
  EXPECT_TRUE(back.Status);
  EXPECT_EQ(back.PhotoDirectory, "D:\\Photos\\Reach 7");

  reach.ReachNo = "12.5";
  EXPECT_ERROR(reach.AssignValues(), 13);
  reach.ReachNo = "99999999999";
  EXPECT_ERROR(reach.AssignValues(), 6);
  EXPECT_EQ(p->GetXData("TEV").values[2], Variant(int32_t{7}));  // the old tag stands
}

TEST(ReachRecordTest, StatusReadsAnyNonZeroAsCurrent) {
  Drawing d;
  const auto p = AddPolyline(d.doc, "CL", {0, 0, 1, 0});
  TEVReach reach;
  reach.Profile = p;
  for (int16_t flag : {int16_t{-1}, int16_t{1}, int16_t{0}}) {
    p->SetXData({1001, 1000, 1071, 1070, 1000}, {Variant("TEV"), Variant("REACH"),
                                                 Variant(int32_t{3}), Variant(flag), Variant("")});
    ASSERT_TRUE(reach.RetrieveValues());
    EXPECT_EQ(reach.Status, flag != 0) << flag;
  }
  // A short tag fails after loading what came before.
  p->SetXData({1001, 1000, 1071}, {Variant("TEV"), Variant("REACH"), Variant(int32_t{9})});
  EXPECT_ERROR(reach.RetrieveValues(), 9);
  EXPECT_EQ(reach.ReachNo, "9");
  TEVReach unbound;
  EXPECT_ERROR(unbound.RetrieveValues(), 91);
}

class SectionRecordTest : public ::testing::Test {
 protected:
  Drawing d;
  host::RecordingMessageSink sink;
};

TEST_F(SectionRecordTest, ShortTagsLeaveLaterMembersUnchanged) {
  const auto p = AddPolyline(d.doc, "12_Profile", {0, 0, 1, 0});
  for (size_t items : {7u, 8u, 9u, 10u}) {
    TagSection(*p, "12", 1250.5, 87.125, "Weir", "XS12", items);
    TEVSection s(sink);
    s.Profile = p;
    s.SectionName = "old";
    s.WaterDate = host::MakeDate(2001, 1, 1);
    s.ThroughSection = true;
    s.RetrieveValues(d.doc);
    EXPECT_EQ(s.SectionNo, "12");
    EXPECT_EQ(s.ReachNo, "1");
    EXPECT_EQ(s.Chainage, 1250.5);
    EXPECT_EQ(s.Bearing, 87.125);
    EXPECT_EQ(s.Title, "Weir");
    EXPECT_EQ(s.SectionName, items >= 8 ? "XS12" : "old") << items;
    EXPECT_EQ(s.WaterDate, items >= 9 ? host::MakeDate(2012, 6, 30) : host::MakeDate(2001, 1, 1));
    EXPECT_EQ(s.ThroughSection, items >= 10 ? false : true) << items;
  }
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(SectionRecordTest, UnreadableTagsFailAfterLoadingWhatCameBefore) {
  const auto p = AddPolyline(d.doc, "12_Profile", {0, 0, 1, 0});
  TagSection(*p, "12", 5, 6, "t", "n", 6);
  TEVSection s(sink);
  s.Profile = p;
  EXPECT_ERROR(s.RetrieveValues(d.doc), 9);
  EXPECT_EQ(s.Bearing, 6);
  EXPECT_EQ(s.Title, "");

  p->SetXData({1001, 1000, 1000, 1000, 1000, 1040, 1000},
              {Variant("TEV"), Variant("SECTION"), Variant("12"), Variant("3"), Variant("abc"),
               Variant(1.0), Variant("t")});
  TEVSection t(sink);
  t.Profile = p;
  EXPECT_ERROR(t.RetrieveValues(d.doc), 13);
  EXPECT_EQ(t.ReachNo, "3");
  EXPECT_EQ(t.Chainage, 0);
}

TEST_F(SectionRecordTest, LostTagIsRecoveredFromTheCentrePoint) {
  const auto p = AddPolyline(d.doc, "12_Profile", {0, 0, 1, 0});
  const auto c = AddPoint(d.doc, "12_SectionCenter", {0, 0, 0});
  TagSection(*c, "12", 100, 45, "Bridge", "XS12", 7);
  TEVSection s(sink);
  s.Profile = p;
  s.RetrieveValues(d.doc);
  EXPECT_EQ(s.Chainage, 100);
  EXPECT_EQ(s.Title, "Bridge");
  EXPECT_TRUE(SameEntity(s.CenterPoint, c));
  const host::XData copied = p->GetXData("TEV");
  EXPECT_EQ(copied.codes, c->GetXData("TEV").codes);
  EXPECT_EQ(copied.values, c->GetXData("TEV").values);
  EXPECT_EQ(copied.codes.size(), 7u);

  // A profile carrying a reach tag counts as untagged: the section tag replaces it.
  const auto q = AddPolyline(d.doc, "12_Profile", {0, 0, 2, 0});
  TagReach(*q, "1", true);
  TEVSection r(sink);
  r.Profile = q;
  r.RetrieveValues(d.doc);
  EXPECT_EQ(model::GetTagKind(*q), "SECTION");
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(SectionRecordTest, CentrePointWithoutSectionTagChangesOnlyTheCentrePoint) {
  const auto p = AddPolyline(d.doc, "12_Profile", {0, 0, 1, 0});
  const auto c = AddPoint(d.doc, "12_SectionCenter", {0, 0, 0});
  TagReach(*c, "1", true);
  TEVSection s(sink);
  s.Profile = p;
  s.Chainage = 7;
  s.RetrieveValues(d.doc);
  EXPECT_TRUE(SameEntity(s.CenterPoint, c));
  EXPECT_EQ(s.Chainage, 7);
  EXPECT_EQ(model::GetTagKind(*p), "Null");
  c->SetXData({1001, 1000}, {Variant("OTHER"), Variant("x")});
  s.RetrieveValues(d.doc);
  EXPECT_EQ(model::GetTagKind(*p), "Null");
  EXPECT_TRUE(sink.messages().empty());

  // No centre point at all: the lookup's message, then the unset point fails.
  const auto lone = AddPolyline(d.doc, "13_Profile", {0, 0, 1, 0});
  TEVSection t(sink);
  t.Profile = lone;
  EXPECT_ERROR(t.RetrieveValues(d.doc), 91);
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Section 13 Has no Center Point"});
  // A layer name without an underscore has no section number.
  const auto odd = AddPolyline(d.doc, "Profile", {0, 0, 1, 0});
  t.Profile = odd;
  EXPECT_ERROR(t.RetrieveValues(d.doc), 5);
}

TEST_F(SectionRecordTest, AssignThenRetrieveGivesBackEveryTaggedMember) {
  const auto p = AddPolyline(d.doc, "12_Profile", {0, 0, 1, 0});
  const auto c = AddPoint(d.doc, "12_SectionCenter", {0, 0, 0});
  TEVSection s(sink);
  s.Profile = p;
  s.SectionNo = "12";
  s.ReachNo = "4";
  s.Chainage = 1250.5;
  s.Bearing = 87.125;
  s.Title = "Footbridge";
  s.SectionName = "XS12";
  s.WaterDate = host::MakeDate(2012, 6, 30, 14, 5, 9);
  s.ThroughSection = true;
  s.AssignValues(d.doc);
  EXPECT_TRUE(SameEntity(s.CenterPoint, c));
  EXPECT_EQ(p->GetXData("TEV").values, c->GetXData("TEV").values);
  EXPECT_EQ(p->GetXData("TEV").values[8], Variant("2012-06-30 14:05:09"));
  TEVSection back(sink);
  back.Profile = p;
  back.RetrieveValues(d.doc);
  EXPECT_EQ(back.SectionNo, "12");
  EXPECT_EQ(back.ReachNo, "4");
  EXPECT_EQ(back.Chainage, 1250.5);
  EXPECT_EQ(back.Bearing, 87.125);
  EXPECT_EQ(back.Title, "Footbridge");
  EXPECT_EQ(back.SectionName, "XS12");
  EXPECT_EQ(back.WaterDate, s.WaterDate);
  EXPECT_TRUE(back.ThroughSection);
  EXPECT_FALSE(back.CenterPoint);
}

// Through the COM adapter a date goes into a text item in the conversions'
// locale ("30.06.2012"), which a reader taking the month first reads as
// another day: the water date is written as ISO text instead.
TEST_F(SectionRecordTest, WaterDatesAreWrittenAsIsoTextInAnyLocale) {
  if (TestHost() == HostKind::kMemory) {
    GTEST_SKIP() << "the in-memory host keeps dates in the invariant form whatever the locale";
  }
  struct DayFirst : host::Conversions {
    std::string DateToText(host::Date) const override { return "05.06.2012"; }
  } day_first;
  AddPoint(d.doc, "12_SectionCenter", {0, 0, 0});
  TEVSection s(sink);
  s.Profile = AddPolyline(d.doc, "12_Profile", {0, 0, 1, 0});
  s.SectionNo = "12";
  s.WaterDate = host::MakeDate(2012, 6, 5, 0, 0, 0);
  {
    const host::ConversionsScope scope(day_first);
    s.AssignValues(d.doc);
  }
  EXPECT_EQ(s.Profile->GetXData("TEV").values[8], Variant("2012-06-05"));
}

TEST_F(SectionRecordTest, RenameLayersToChainage) {
  for (const char* name : {"12_Profile", "120_Profile", "12", "12_3d", "CH1235_Keep"}) {
    d.doc->Layers()->Add(name);
  }
  TEVSection s(sink);
  s.Profile = AddPolyline(d.doc, "12_Profile", {0, 0, 1, 0});
  s.SectionNo = "12";
  s.Chainage = 1234.5;
  EXPECT_TRUE(s.renameLayerstoChainage("CH").IsEmpty());
  std::vector<std::string> names;
  for (const auto& l : d.mem->layers()) names.push_back(l->name());
  EXPECT_EQ(names, (std::vector<std::string>{"0", "CH1235_Profile", "120_Profile", "12",
                                             "CH1235_3d", "CH1235_Keep"}));
  EXPECT_EQ(s.Profile->Layer(), "CH1235_Profile");

  // A refused name stops the renaming; earlier renames stay.
  d.doc->Layers()->Add("7_Profile");
  d.doc->Layers()->Add("7_Survey");
  d.doc->Layers()->Add("X9_Survey");
  s.SectionNo = "7";
  s.Chainage = 9;
  EXPECT_ERROR(s.renameLayerstoChainage("X"), host::Error::kDuplicateKey);
  EXPECT_NE(d.mem->FindLayer("X9_Profile"), nullptr);
  EXPECT_NE(d.mem->FindLayer("7_Survey"), nullptr);
}

}  // namespace
}  // namespace palvane::testing
