#include "host/memory/memory_host.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <numbers>
#include <random>

#include "host/convert.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

using host::Error;
using host::Variant;

TEST(MemoryHostTest, XDataKeepsTypedItemsInOrderPerApplication) {
  Drawing d;
  const auto p = AddPolyline(d.doc, "0", {0, 0, 1, 1});
  EXPECT_TRUE(p->GetXData("TEV").empty());
  p->SetXData({1001, 1000, 1071, 1070, 1040, 1000, 1010},
              {Variant("OTHER"), Variant("x"), Variant("007"), Variant(true), Variant("2.5"),
               Variant(host::MakeDate(2012, 6, 30)), Variant::Point(1, 2, 3)});
  TagReach(*p, "12", true, "C:\\photos");
  const host::XData other = p->GetXData("OTHER");
  ASSERT_EQ(other.codes.size(), 7u);
  EXPECT_EQ(other.values[2], Variant(int32_t{7}));    // text of a whole number
  EXPECT_EQ(other.values[3], Variant(int16_t{-1}));   // Boolean true
  EXPECT_EQ(other.values[4], Variant(2.5));           // text to real
  EXPECT_EQ(other.values[5], Variant("2012-06-30"));  // a date as its text
  EXPECT_EQ(host::ToDate(other.values[5]), host::MakeDate(2012, 6, 30));
  const host::XData tev = p->GetXData("TEV");
  EXPECT_EQ(tev.codes, (std::vector<int16_t>{1001, 1000, 1071, 1070, 1000}));
  EXPECT_EQ(tev.values[2], Variant(int32_t{12}));
  EXPECT_EQ(p->GetXData("").codes.size(), 12u);  // every application
  // Both applications were registered on the way.
  EXPECT_EQ(d.mem->registered_apps(), (std::vector<std::string>{"ACAD", "OTHER", "TEV"}));

  // Replacing one application's data keeps the other's place.
  TagSection(*p, "5", 10, 0, "t", "n");
  EXPECT_EQ(p->GetXData("TEV").codes.size(), 10u);
  EXPECT_EQ(p->GetXData("").values[0], Variant("OTHER"));
}

TEST(MemoryHostTest, XDataRefusesBadValues) {
  Drawing d;
  const auto p = AddPolyline(d.doc, "0", {0, 0, 1, 1});
  auto set = [&](int16_t code, Variant v) { p->SetXData({1001, code}, {Variant("TEV"), v}); };
  EXPECT_ERROR(set(1071, Variant("12.5")), 13);
  EXPECT_ERROR(set(1071, Variant("abc")), 13);
  EXPECT_ERROR(set(1071, Variant("4294967296")), 6);
  EXPECT_ERROR(set(1070, Variant("40000")), 6);
  EXPECT_ERROR(set(1040, Variant("x")), 13);
  EXPECT_ERROR(set(1000, Variant(std::string(256, 'a'))), Error::kInvalidInput);
  EXPECT_ERROR(set(999, Variant("x")), Error::kInvalidInput);
  EXPECT_ERROR(p->SetXData({1000}, {Variant("TEV")}), Error::kInvalidInput);
  EXPECT_ERROR(p->SetXData({1001, 1000}, {Variant("TEV")}), Error::kInvalidInput);
  EXPECT_TRUE(p->GetXData("TEV").empty());  // nothing half-written
}

TEST(MemoryHostTest, LayerRules) {
  Drawing d;
  const auto layers = d.doc->Layers();
  const auto a = layers->Add("K12_Profile");
  EXPECT_EQ(layers->Add("K12_Profile").get(), a.get());
  EXPECT_EQ(layers->Add("k12_profile").get(), a.get());  // table names ignore case
  EXPECT_ERROR(layers->Item("Temp"), Error::kKeyNotFound);
  for (const char* bad : {"a<b", "a>b", "a/b", "a\\b", "a\"b", "a:b", "a;b", "a?b", "a*b", "a|b",
                          "a,b", "a=b", "a`b", "a\tb", "a\x1f", ""}) {
    EXPECT_ERROR(layers->Add(bad), Error::kInvalidInput);
  }
  // The current layer cannot be frozen; a frozen layer cannot be made current.
  d.doc->SetActiveLayer(a);
  EXPECT_ERROR(a->SetFreeze(true), Error::kLayerRefused);
  const auto b = layers->Add("B");
  b->SetFreeze(true);
  EXPECT_ERROR(d.doc->SetActiveLayer(b), Error::kLayerRefused);
  EXPECT_EQ(d.doc->ActiveLayer()->Name(), "K12_Profile");
  EXPECT_ERROR(b->SetName("K12_PROFILE"), Error::kDuplicateKey);
  EXPECT_ERROR(layers->Item("0")->SetName("Zero"), Error::kLayerRefused);
  b->SetName("C");
  EXPECT_EQ(layers->Item("c").get(), b.get());
  EXPECT_ERROR(layers->Item("B"), Error::kKeyNotFound);
  // Layers keep creation order.
  EXPECT_EQ(layers->Item(0)->Name(), "0");
  EXPECT_EQ(layers->Item(2)->Name(), "C");
  // Letters beyond ASCII and other punctuation are allowed.
  EXPECT_EQ(layers->Add("Pr\xC3\xA9 ~!@#$%^&()[]{}'+")->Name(), "Pr\xC3\xA9 ~!@#$%^&()[]{}'+");
}

// Lookups by name find the same layer whether they go along the table, jump
// about, follow a listing, or come after a purge has closed gaps in it.
TEST(MemoryHostTest, LayerLookupsFindTheSameLayerInAnyOrder) {
  Drawing d;
  const auto layers = d.doc->Layers();
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i) {
    names.push_back("L" + std::to_string(i) + (i % 2 ? "_Profile" : "_SectionLine"));
    layers->Add(names.back());
  }
  for (int i = 0; i < 60; i += 3) AddPolyline(d.doc, names[static_cast<size_t>(i)], {0, 0, 1, 1});
  auto expect_all = [&] {
    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
      const auto& l = d.mem->layers()[random() % d.mem->layers().size()];
      ASSERT_EQ(d.mem->FindLayer(l->name()), l.get());
      std::string lower = l->name();
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      ASSERT_EQ(d.mem->FindLayer(lower), l.get());
      const auto listed = static_cast<int32_t>(random() % d.mem->layers().size());
      ASSERT_EQ(layers->Item(listed)->Name(), d.mem->layers()[static_cast<size_t>(listed)]->name());
    }
    for (const auto& l : d.mem->layers()) ASSERT_EQ(d.mem->FindLayer(l->name()), l.get());
    ASSERT_EQ(d.mem->FindLayer("L0_Profile"), nullptr);  // near L0_SectionLine, never made
  };
  expect_all();
  d.doc->PurgeAll();  // only the layers with polylines, and "0", stay
  ASSERT_EQ(d.mem->layers().size(), 21u);
  expect_all();
  EXPECT_EQ(d.mem->FindLayer(names[1]), nullptr);
}

TEST(MemoryHostTest, SelectionFiltersByTypeAndLayer) {
  Drawing d;
  const auto p1 = AddPolyline(d.doc, "12_Profile", {0, 0, 1, 1});
  AddPoint(d.doc, "12_Profile", {0, 0, 0});
  const auto p2 = AddPolyline(d.doc, "13_Profile", {0, 0, 1, 1});
  const auto p3 = AddPolyline(d.doc, "12_Profile", {0, 0, 2, 2});
  const auto sets = d.doc->SelectionSets();
  const auto s = sets->Add("S");
  s->Select(host::kSelectionSetAll, {0, 8}, {Variant("LWPOLYLINE"), Variant("12_Profile")});
  ASSERT_EQ(s->Count(), 2);
  EXPECT_EQ(s->Item(0).get(), static_cast<host::Entity*>(p1.get()));
  EXPECT_EQ(s->Item(1).get(), static_cast<host::Entity*>(p3.get()));
  const auto t = sets->Add("T");
  t->Select(host::kSelectionSetAll, {0, 8}, {Variant("LWPOLYLINE"), Variant("12_PROFILE")});
  EXPECT_EQ(t->Count(), 2);  // letter case aside, as the program matches names
  const auto pattern = sets->Add("Pattern");
  pattern->Select(host::kSelectionSetAll, {0, 8}, {Variant("lwpoly*"), Variant("1#_Profile")});
  EXPECT_EQ(pattern->Count(), 3);  // a pattern of either kind: "#" any digit
  // An entity moved to another layer is found there and no longer here.
  p1->SetLayer("13_Profile");
  const auto u = sets->Add("U");
  u->Select(host::kSelectionSetAll, {8}, {Variant("13_Profile")});
  ASSERT_EQ(u->Count(), 2);
  EXPECT_EQ(u->Item(0).get(), static_cast<host::Entity*>(p2.get()));
  u->RemoveItems({Ref<host::Entity>(p2)});
  EXPECT_EQ(u->Count(), 1);
  EXPECT_ERROR(sets->Add("u"), Error::kDuplicateKey);
  u->Delete();
  EXPECT_ERROR(sets->Item("U"), Error::kKeyNotFound);
  EXPECT_ERROR(u->Count(), Error::kInvalidInput);
  EXPECT_ERROR(s->Select(1, {}, {}), Error::kInvalidInput);

  // Every filter item must hold: one of each kind after the first is
  // checked on the entities themselves, however many there are.
  const auto v = sets->Add("V");
  v->Select(
      host::kSelectionSetAll, {8, 0, 8, 8},
      {Variant("12_Profile"), Variant("LWPOLYLINE"), Variant("12_Profile"), Variant("12_Profile")});
  ASSERT_EQ(v->Count(), 1);  // p1 went to another layer above
  EXPECT_EQ(v->Item(0).get(), static_cast<host::Entity*>(p3.get()));
  const auto w = sets->Add("W");
  w->Select(host::kSelectionSetAll, {0, 0, 0},
            {Variant("LWPOLYLINE"), Variant("LWPOLYLINE"), Variant("POINT")});
  EXPECT_EQ(w->Count(), 0);
  w->Select(host::kSelectionSetAll, {8, 8}, {Variant("12_Profile"), Variant("13_Profile")});
  EXPECT_EQ(w->Count(), 0);
  EXPECT_ERROR(w->Select(host::kSelectionSetAll, {62}, {Variant(int16_t{1})}),
               Error::kInvalidInput);
}

// Removing items in the set's order, in another order, and from a set that
// two selections filled (and so holds entities twice): each removed entity
// leaves the set entirely, the others stay in order.
TEST(MemoryHostTest, RemoveItemsInAnyOrderAndWithRepeats) {
  Drawing d;
  std::vector<Ref<host::LWPolyline>> lines;
  for (int i = 0; i < 5; ++i) lines.push_back(AddPolyline(d.doc, "L", {0, 0, 1.0 + i, 1}));
  auto items = [](const Ref<host::SelectionSet>& set) {
    std::vector<host::Entity*> out;
    for (int32_t i = 0; i < set->Count(); ++i) out.push_back(set->Item(i).get());
    return out;
  };
  auto entity = [&](int i) {
    return static_cast<host::Entity*>(lines[static_cast<size_t>(i)].get());
  };
  const auto s = d.doc->SelectionSets()->Add("S");
  s->Select(host::kSelectionSetAll, {0}, {Variant("LWPOLYLINE")});
  s->RemoveItems({Ref<host::Entity>(lines[1]), Ref<host::Entity>(lines[3])});
  EXPECT_EQ(items(s), (std::vector<host::Entity*>{entity(0), entity(2), entity(4)}));
  s->RemoveItems({Ref<host::Entity>(lines[4]), Ref<host::Entity>(lines[0])});
  EXPECT_EQ(items(s), (std::vector<host::Entity*>{entity(2)}));
  s->Select(host::kSelectionSetAll, {0}, {Variant("LWPOLYLINE")});  // 2 is in twice now
  ASSERT_EQ(s->Count(), 6);
  s->RemoveItems({Ref<host::Entity>(lines[2])});
  EXPECT_EQ(items(s), (std::vector<host::Entity*>{entity(0), entity(1), entity(3), entity(4)}));
}

// A set made again under a deleted one's name is a new, empty set, whether
// or not a caller still holds the deleted one; that one stays deleted.
TEST(MemoryHostTest, SetsMadeAgainAfterDeletionStartEmpty) {
  Drawing d;
  AddPolyline(d.doc, "L", {0, 0, 1, 1});
  AddPolyline(d.doc, "L", {0, 0, 2, 2});
  const auto sets = d.doc->SelectionSets();
  auto first = sets->Add("S");
  first->Select(host::kSelectionSetAll, {0}, {Variant("LWPOLYLINE")});
  first->Select(host::kSelectionSetAll, {0}, {Variant("LWPOLYLINE")});  // each twice
  first->Delete();
  auto second = sets->Add("S");
  EXPECT_NE(second.get(), first.get());
  EXPECT_ERROR(first->Count(), Error::kInvalidInput);
  EXPECT_EQ(second->Count(), 0);
  EXPECT_ERROR(first->Delete(), Error::kInvalidInput);  // deleting twice is refused
  first = {};
  second->Select(host::kSelectionSetAll, {0}, {Variant("LWPOLYLINE")});
  second->Select(host::kSelectionSetAll, {0}, {Variant("LWPOLYLINE")});
  second->Delete();
  second = {};
  const auto third = sets->Add("s2");
  EXPECT_EQ(third->Name(), "s2");
  EXPECT_EQ(third->Count(), 0);
  third->Select(host::kSelectionSetAll, {0}, {Variant("LWPOLYLINE")});
  ASSERT_EQ(third->Count(), 2);
  // It holds each entity once again, so removing goes by the set's order.
  third->RemoveItems({third->Item(1), third->Item(0)});
  EXPECT_EQ(third->Count(), 0);
  EXPECT_EQ(sets->Count(), 1);
}

TEST(MemoryHostTest, TranslateCoordinatesFollowsTheArbitraryAxisRule) {
  Drawing d;
  const auto util = d.doc->Utility();
  // Normal (0,0,-1): the OCS X axis is world -X.
  const Point3 w =
      util->TranslateCoordinates({3, 4, 5}, host::kObjectCs, host::kWorld, false, {0, 0, -1});
  EXPECT_NEAR(w[0], -3, 1e-12);
  EXPECT_NEAR(w[1], 4, 1e-12);
  EXPECT_NEAR(w[2], -5, 1e-12);
  // Normal (1,0,0): Ax = Wz x N = (0,1,0), Ay = N x Ax = (0,0,1).
  const Point3 v =
      util->TranslateCoordinates({3, 4, 5}, host::kObjectCs, host::kWorld, false, {1, 0, 0});
  EXPECT_NEAR(v[0], 5, 1e-12);
  EXPECT_NEAR(v[1], 3, 1e-12);
  EXPECT_NEAR(v[2], 4, 1e-12);
  const Point3 back =
      util->TranslateCoordinates(v, host::kWorld, host::kObjectCs, false, {1, 0, 0});
  EXPECT_NEAR(back[0], 3, 1e-12);
  EXPECT_NEAR(back[1], 4, 1e-12);
  // Going back to the first normal gives the first answer again, exactly.
  EXPECT_EQ(util->TranslateCoordinates({3, 4, 5}, host::kObjectCs, host::kWorld, false, {0, 0, -1}),
            w);
  EXPECT_NEAR(util->AngleFromXAxis({1, 1, 0}, {1, 0, 0}), 3 * std::acos(0.0), 1e-12);
  EXPECT_EQ(util->AngleFromXAxis({1, 1, 0}, {1, 1, 0}), 0.0);
  EXPECT_ERROR(util->TranslateCoordinates({0, 0, 0}, 2, 0, false, {0, 0, 1}), Error::kInvalidInput);
}

TEST(MemoryHostTest, CoordinateSystemsAreOnePerName) {
  Drawing d;
  const auto ucss = d.doc->UserCoordinateSystems();
  const auto u = ucss->Add({1, 1, 0}, {3, 1, 0}, {2, 1, 7}, "UCS1");  // Y made perpendicular
  EXPECT_EQ(u->XVector(), (Point3{1, 0, 0}));
  EXPECT_EQ(u->YVector(), (Point3{0, 0, 1}));
  const auto again = ucss->Add({0, 0, 0}, {0, 2, 0}, {-1, 0, 0}, "ucs1");
  EXPECT_EQ(again.get(), u.get());
  EXPECT_EQ(ucss->Count(), 1);
  EXPECT_EQ(u->Origin(), (Point3{0, 0, 0}));
  EXPECT_ERROR(ucss->Add({0, 0, 0}, {1, 0, 0}, {2, 0, 0}, "Bad"), Error::kInvalidInput);
}

TEST(MemoryHostTest, ViewportSettingsApplyWhenAssignedBack) {
  Drawing d;
  const auto vp = d.doc->ActiveViewport();
  vp->SetDirection({0, -1, 0});
  vp->SetUCSIconOn(false);
  EXPECT_EQ(d.mem->view().direction, (Point3{0, 0, 1}));
  EXPECT_TRUE(d.mem->view().ucs_icon_on);
  d.doc->SetActiveViewport(vp);
  EXPECT_EQ(d.mem->view().direction, (Point3{0, -1, 0}));
  EXPECT_FALSE(d.mem->view().ucs_icon_on);
}

TEST(MemoryHostTest, CopyObjectsBringsPropertiesXDataAndLayer) {
  Drawing d;
  const auto line = AddPolyline(d.doc, "CL", {0, 0, 10, 0, 10, 10}, {0.5});
  d.doc->Layers()->Item("CL")->SetColor(3);
  line->SetWidth(1, 2, 3);
  line->SetElevation(4);
  TagReach(*line, "1", true);
  const auto target = d.doc->Application()->Documents()->Add();
  EXPECT_EQ(target->Name(), "Drawing1.dwg");
  EXPECT_EQ(target->Layers()->Count(), 1);
  const auto copies = d.doc->CopyObjects({Ref<host::Entity>(line)}, target->ModelSpace());
  ASSERT_EQ(copies.size(), 1u);
  const auto copy = copies[0].As<host::LWPolyline>();
  EXPECT_EQ(copy->Coordinates(), line->Coordinates());
  EXPECT_EQ(copy->GetBulge(0), 0.5);
  double s = 0, e = 0;
  copy->GetWidth(1, s, e);
  EXPECT_EQ(s, 2);
  EXPECT_EQ(copy->Elevation(), 4);
  EXPECT_EQ(copy->GetXData("TEV").values, line->GetXData("TEV").values);
  EXPECT_EQ(copy->Layer(), "CL");
  EXPECT_EQ(target->Layers()->Item("CL")->Color(), 3);
  EXPECT_EQ(copy->Document().get(), target.get());
  EXPECT_NE(copy->Handle(), "");
}

TEST(MemoryHostTest, PurgeAllRemovesWhatNothingReferences) {
  Drawing d;
  d.doc->Layers()->Add("Empty");
  d.doc->Layers()->Add("Used");
  d.doc->Layers()->Add("InBlockOnly");
  AddPolyline(d.doc, "Used", {0, 0, 1, 0});
  const auto unused = d.doc->Blocks()->Add({0, 0, 0}, "Unused");
  const auto line = unused->AddLightWeightPolyline({0, 0, 1, 0});
  line->SetLayer("InBlockOnly");
  const auto kept = d.doc->Blocks()->Add({0, 0, 0}, "Kept");
  kept->AddPoint({0, 0, 0});
  d.doc->ModelSpace()->InsertBlock({5, 5, 0}, "Kept", 1, 1, 1, 0);
  d.doc->Layers()->Add("Current");
  d.doc->SetActiveLayer(d.doc->Layers()->Item("Current"));
  d.doc->PurgeAll();
  std::vector<std::string> names;
  for (const auto& l : d.mem->layers()) names.push_back(l->name());
  EXPECT_EQ(names, (std::vector<std::string>{"0", "Used", "Current"}));
  EXPECT_EQ(d.mem->FindBlock("Unused"), nullptr);
  EXPECT_NE(d.mem->FindBlock("Kept"), nullptr);

  // A block used only inside an unused block goes with it, and so does the
  // layer only its entities were on; one used inside a used block stays.
  d.doc->Layers()->Add("Deep");
  const auto inner = d.doc->Blocks()->Add({0, 0, 0}, "Inner");
  inner->AddPoint({0, 0, 0})->SetLayer("Deep");
  d.doc->Blocks()->Add({0, 0, 0}, "Outer")->InsertBlock({0, 0, 0}, "inner", 1, 1, 1, 0);
  const auto nested = d.doc->Blocks()->Add({0, 0, 0}, "Nested");
  nested->AddPoint({1, 1, 0});
  kept->InsertBlock({0, 0, 0}, "Nested", 1, 1, 1, 0);
  d.doc->PurgeAll();
  EXPECT_EQ(d.mem->FindBlock("Outer"), nullptr);
  EXPECT_EQ(d.mem->FindBlock("Inner"), nullptr);
  EXPECT_EQ(d.mem->FindLayer("Deep"), nullptr);
  EXPECT_NE(d.mem->FindBlock("Nested"), nullptr);
  EXPECT_NE(d.mem->FindBlock("Kept"), nullptr);

  // Registered applications stay while some object's data names them, in
  // model space, in a block or on a layer, whatever comes first; others go.
  d.doc->Layers()->Add("Tagged")->SetXData({1001, 1000}, {Variant("ONLAYER"), Variant("x")});
  AddPolyline(d.doc, "Tagged", {0, 0, 1, 1});
  AddPolyline(d.doc, "Used", {0, 0, 2, 0})->SetXData({1001, 1000}, {Variant("LATE"), Variant("y")});
  kept->AddPoint({0, 0, 0})->SetXData({1001, 1000}, {Variant("INBLOCK"), Variant("z")});
  d.mem->RegisterApp("GONE");
  d.doc->PurgeAll();
  EXPECT_EQ(d.mem->registered_apps(),
            (std::vector<std::string>{"ACAD", "ONLAYER", "LATE", "INBLOCK"}));

  // A reference on paper space keeps its block too.
  d.doc->Blocks()->Add({0, 0, 0}, "OnPaper")->AddPoint({2, 2, 0});
  d.mem->FindBlock("*Paper_Space")->InsertBlock({0, 0, 0}, "OnPaper", 1, 1, 1, 0);
  d.doc->PurgeAll();
  EXPECT_NE(d.mem->FindBlock("OnPaper"), nullptr);
}

TEST(MemoryHostTest, BlocksAndAttributes) {
  Drawing d;
  const auto block = d.doc->Blocks()->Add({200, 120, 0}, "XS12");
  EXPECT_EQ(d.doc->Blocks()->Add({0, 0, 0}, "xs12").get(), block.get());  // existing returned
  block->AddAttribute(1.5, 0, "Enter Easting", {250, 98, 0}, "Easting", "200.000");
  EXPECT_ERROR(block->AddAttribute(1.5, 0, "p", {0, 0, 0}, "two words", "v"), Error::kInvalidInput);
  const auto ref = d.doc->ModelSpace()->InsertBlock({210, 100, 0}, "XS12", 1, 1, 1, 0);
  const auto attributes = ref->GetAttributes();
  ASSERT_EQ(attributes.size(), 1u);
  EXPECT_EQ(attributes[0]->TagString(), "Easting");
  EXPECT_EQ(attributes[0]->TextString(), "200.000");
  EXPECT_EQ(attributes[0]->InsertionPoint(), (Point3{260, 78, 0}));
  EXPECT_ERROR(d.doc->ModelSpace()->InsertBlock({0, 0, 0}, "Nope", 1, 1, 1, 0),
               Error::kKeyNotFound);

  // A reference's box holds its block's lines, its constant definitions and
  // the attributes it carries, not the definitions those came from.
  const auto sign = d.doc->Blocks()->Add({0, 0, 0}, "Sign");
  sign->AddLightWeightPolyline({0, 0, 10, 0});
  sign->AddAttribute(1, 0, "p", {0, -5, 0}, "A_VERY_LONG_TAG_THAT_WOULD_REACH_FAR", "v");
  sign->AddAttribute(1, 2, "p", {0, 3, 0}, "FIXED", "c");  // constant: drawn with the block
  Point3 lo, hi;
  d.doc->ModelSpace()->InsertBlock({100, 100, 0}, "Sign", 1, 1, 1, 0)->GetBoundingBox(lo, hi);
  Point3 value_lo, value_hi;
  sign->Item(1)->GetBoundingBox(value_lo, value_hi);  // the definition's own box, far wider
  EXPECT_GT(value_hi[0], 20);  // 36 letters; the reference would reach past 120
  EXPECT_DOUBLE_EQ(lo[0], 100);
  EXPECT_DOUBLE_EQ(hi[0], 110);  // the line; the one-letter attribute and constant are shorter
  EXPECT_DOUBLE_EQ(lo[1], 95);   // the attribute, at the definition's place
  EXPECT_GT(hi[1], 103);         // the constant definition's text

  // The same with the definitions the other way round: the box is the same.
  const auto sign2 = d.doc->Blocks()->Add({0, 0, 0}, "Sign2");
  sign2->AddLightWeightPolyline({0, 0, 10, 0});
  sign2->AddAttribute(1, 2, "p", {0, 3, 0}, "FIXED", "c");
  sign2->AddAttribute(1, 0, "p", {0, -5, 0}, "A_VERY_LONG_TAG_THAT_WOULD_REACH_FAR", "v");
  Point3 lo2, hi2;
  d.doc->ModelSpace()->InsertBlock({100, 100, 0}, "Sign2", 1, 1, 1, 0)->GetBoundingBox(lo2, hi2);
  EXPECT_EQ(lo2, lo);
  EXPECT_EQ(hi2, hi);
}

TEST(MemoryHostTest, MTextBoxComesFromLinesAndHeight) {
  Drawing d;
  const auto t = d.doc->ModelSpace()->AddMText({10, 20, 0}, 0, "ABCDE\\PAB\\P{\\H2;XY}");
  EXPECT_EQ(t->Height(), 2.5);  // the drawing's default
  t->SetHeight(2);
  Point3 lo, hi;
  t->GetBoundingBox(lo, hi);
  EXPECT_DOUBLE_EQ(hi[0] - lo[0], 5 * 0.6 * 2);
  EXPECT_DOUBLE_EQ(hi[1] - lo[1], 2 + 2 * (5.0 / 3.0) * 2);
  EXPECT_EQ(lo[0], 10);
  EXPECT_EQ(hi[1], 20);
  t->Move({0, 0, 0}, {1, 1, 0});
  EXPECT_EQ(t->InsertionPoint(), (Point3{11, 21, 0}));
  EXPECT_ERROR(t->SetHeight(0), Error::kInvalidInput);
  const auto empty = d.doc->ModelSpace()->AddMText({1, 2, 0}, 0, "");
  empty->GetBoundingBox(lo, hi);
  EXPECT_EQ(lo, hi);
}

TEST(MemoryHostTest, PolylineBoxHoldsItsArcsExactly) {
  Drawing d;
  Point3 lo, hi;
  // A half circle below the chord (0,0)-(2,0).
  const auto half = AddPolyline(d.doc, "0", {0, 0, 2, 0});
  half->SetBulge(0, 1);
  half->GetBoundingBox(lo, hi);
  EXPECT_NEAR(lo[1], -1, 1e-12);
  EXPECT_NEAR(hi[1], 0, 1e-12);

  // On the unit circle from angle 0 counter-clockwise to 0.7 pi: the top,
  // (0, 1), lies inside the arc at no simple fraction of its sweep.
  const double end = 0.7 * std::numbers::pi;
  const auto arc = AddPolyline(d.doc, "0", {1, 0, std::cos(end), std::sin(end)});
  arc->SetBulge(0, std::tan(end / 4));
  arc->GetBoundingBox(lo, hi);
  EXPECT_NEAR(lo[0], std::cos(end), 1e-12);
  EXPECT_NEAR(hi[0], 1, 1e-12);
  EXPECT_NEAR(lo[1], 0, 1e-12);
  EXPECT_NEAR(hi[1], 1, 1e-12);

  // Seen from below (normal -Z) the object's X axis is world -X: the same
  // arc lies mirrored, at its elevation measured along the normal.
  arc->SetNormal({0, 0, -1});
  arc->SetElevation(3);
  arc->GetBoundingBox(lo, hi);
  EXPECT_NEAR(lo[0], -1, 1e-12);
  EXPECT_NEAR(hi[0], -std::cos(end), 1e-12);
  EXPECT_NEAR(hi[1], 1, 1e-12);
  EXPECT_NEAR(lo[2], -3, 1e-12);
  EXPECT_NEAR(hi[2], -3, 1e-12);

  // A closed polyline's last vertex bulges back to the first.
  const auto ring = AddPolyline(d.doc, "0", {0, 0, 4, 0});
  ring->SetBulge(0, 1);
  ring->SetBulge(1, 1);
  ring->SetClosed(true);
  ring->GetBoundingBox(lo, hi);
  EXPECT_NEAR(lo[1], -2, 1e-12);
  EXPECT_NEAR(hi[1], 2, 1e-12);
}

TEST(MemoryHostTest, MonitorRecordsCallsAndInjectsFaults) {
  Drawing d;
  auto& monitor = d.app->monitor();
  monitor.StartRecording();
  d.doc->Layers()->Add("A");
  d.doc->Layers()->Item("A")->Name();
  EXPECT_EQ(monitor.calls(),
            (std::vector<std::string>{"Document.Layers", "Layers.Add", "Document.Layers",
                                      "Layers.Item", "Layer.Name"}));
  monitor.FailAt("Layers.Item", 2, 42, "Injected");
  d.doc->Layers()->Item("A");
  try {
    d.doc->Layers()->Item("A");
    ADD_FAILURE() << "no fault";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 42);
    EXPECT_EQ(e.description(), "Injected");
  }
  d.doc->Layers()->Item("A");  // only the planned occurrence fails
  monitor.FailAt("Layer.Name", 1, 43, "Always", /*every=*/true);
  EXPECT_ERROR(d.doc->Layers()->Item("A")->Name(), 43);
  EXPECT_ERROR(d.doc->Layers()->Item("A")->Name(), 43);
}

TEST(MemoryHostTest, ZoomAndRegenChangeTheViewState) {
  Drawing d;
  AddPolyline(d.doc, "0", {0, 0, 30, 10});
  d.doc->Regen(host::kAllViewports);
  d.app->ZoomExtents();
  EXPECT_EQ(d.mem->view().center, (Point3{15, 5, 0}));
  EXPECT_DOUBLE_EQ(d.mem->view().height, 20);  // 30 wide at 1.5 : 1
  d.app->ZoomScaled(0.75, host::kZoomScaledRelative);
  EXPECT_DOUBLE_EQ(d.mem->view().height, 20 / 0.75);
  EXPECT_EQ(d.mem->view().regen_count, 1);
  EXPECT_ERROR(d.app->ZoomScaled(0, 1), Error::kInvalidInput);
  EXPECT_ERROR(d.doc->SetVariable("NOSUCHVAR", Variant(1.0)), Error::kInvalidInput);
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// What tools and tests see of the host beyond its interface: drawings opened
// and closed, the inspector's view of them, and its refusal of other hosts'.
TEST(MemoryHostPublicTest, OpenCloseAndInspect) {
  std::vector<std::string> made;
  const auto app =
      host::memory::CreateApplication([&](host::Document& doc) { made.push_back(doc.Name()); });
  const Ref<host::Document> first = app->Documents()->Add();
  const Ref<host::Document> second = app->Documents()->Add();
  EXPECT_EQ(made.size(), 2u);  // the hook saw every new drawing
  EXPECT_EQ(app->ActiveDocument(), second);

  // Opening an open drawing only makes it active: it is not listed twice.
  host::memory::Open(*first);
  EXPECT_EQ(app->Documents()->Count(), 2);
  EXPECT_EQ(app->ActiveDocument(), first);

  // Closing the active one leaves the last other one active; a reference
  // still held keeps the drawing usable.
  host::memory::Close(*first);
  EXPECT_EQ(app->Documents()->Count(), 1);
  EXPECT_EQ(app->ActiveDocument(), second);
  EXPECT_EQ(first->ModelSpace()->Count(), 0);
  host::memory::Close(*second);
  EXPECT_EQ(app->Documents()->Count(), 0);
  EXPECT_ERROR(app->ActiveDocument(), Error::kInvalidInput);

  const auto line = second->ModelSpace()->AddLightWeightPolyline({0, 0, 1, 1});
  second->ModelSpace()->AddPoint({1, 2, 3});
  const host::memory::Inspector inspector(*second);
  const uint64_t handle = std::stoull(line->Handle(), nullptr, 16);
  const Ref<host::Entity> found = inspector.EntityOfHandle(handle);
  ASSERT_TRUE(found);
  EXPECT_EQ(host::memory::Inspector::KindOf(*found), "LWPOLYLINE");
  EXPECT_FALSE(inspector.EntityOfHandle(handle + 1000));
  EXPECT_EQ(inspector.EntitiesOfKind("POINT").size(), 1u);
  EXPECT_EQ(inspector.EntitiesOfKind("MTEXT").size(), 0u);
  const uint64_t writes = inspector.extended_data_writes();
  TagReach(*line, "1", true);
  EXPECT_EQ(inspector.extended_data_writes(), writes + 1);

  // A document of another host is no business of the inspector's.
  struct Foreign : host::Document {
    std::string Name() override { return "Foreign.dwg"; }
    Ref<host::Application> Application() override { return nullptr; }
    Ref<host::Utility> Utility() override { return nullptr; }
    Ref<host::Block> ModelSpace() override { return nullptr; }
    Ref<host::Blocks> Blocks() override { return nullptr; }
    Ref<host::Layers> Layers() override { return nullptr; }
    Ref<host::UCSs> UserCoordinateSystems() override { return nullptr; }
    Ref<host::SelectionSets> SelectionSets() override { return nullptr; }
    Ref<host::Layer> ActiveLayer() override { return nullptr; }
    void SetActiveLayer(const Ref<host::Layer>&) override {}
    Ref<host::Viewport> ActiveViewport() override { return nullptr; }
    void SetActiveViewport(const Ref<host::Viewport>&) override {}
    Ref<host::UCS> ActiveUCS() override { return nullptr; }
    void SetActiveUCS(const Ref<host::UCS>&) override {}
    std::vector<Ref<host::Entity>> CopyObjects(const std::vector<Ref<host::Entity>>&,
                                               const Ref<host::Block>&) override {
      return {};
    }
    Variant GetVariable(const std::string&) override { return {}; }
    void SetVariable(const std::string&, const Variant&) override {}
    void Regen(int32_t) override {}
    void Activate() override {}
    void PurgeAll() override {}
  } foreign;
  EXPECT_ERROR(host::memory::Inspector{foreign}, 5);
  EXPECT_ERROR(host::memory::Close(foreign), 5);
}

// A polyline of one width throughout reports it for every segment, as the
// file holds it once for the whole line.
TEST(MemoryHostPublicTest, ConstantWidthIsEverySegmentsWidth) {
  Drawing d;
  const auto line = AddPolyline(d.doc, "0", {0, 0, 1, 0, 2, 0});
  auto* mem = dynamic_cast<host::memory::MemLWPolyline*>(line.get());
  if (mem == nullptr) GTEST_SKIP() << "the file's constant width is the in-memory host's own";
  mem->fields().constant_width = 0.75;
  double start = 0, end = 0;
  line->GetWidth(1, start, end);
  EXPECT_EQ(start, 0.75);
  EXPECT_EQ(end, 0.75);
  line->SetWidth(0, 0.25, 0.5);  // a segment of its own width keeps it
  line->GetWidth(0, start, end);
  EXPECT_EQ(start, 0.25);
  EXPECT_EQ(end, 0.5);
}

}  // namespace
}  // namespace palvane::testing
