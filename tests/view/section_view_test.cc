#include "view/section_view.h"

#include <gtest/gtest.h>

#include <map>

#include "automation/centerline_class.h"
#include "geometry/vec.h"
#include "host/convert.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

using host::Variant;

class SectionViewTest : public ::testing::Test {
 protected:
  std::string View(const Ref<host::LWPolyline>& line, bool original_data) {
    return centerline.ViewSection(river.doc, line, original_data);
  }
  // Frozen state of every layer, by name.
  std::map<std::string, bool> Frozen() const {
    std::map<std::string, bool> out;
    for (const auto& l : river.mem->layers()) out[l->name()] = l->frozen();
    return out;
  }
  void ExpectNear(const Point3& a, const Point3& b) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], 1e-9) << i;
  }

  Drawing river;
  host::RecordingMessageSink sink;
  automation::CenterlineClass centerline{sink};
};

TEST_F(SectionViewTest, CoordinateSystemStandsInTheSectionsVerticalPlane) {
  river.doc->Layers()->Add("Temp");
  const auto line = AddPolyline(river.doc, "7_SectionLine", {100, 200, 100 + 37.5, 200});
  EXPECT_EQ(View(line, false), "");
  const host::memory::MemUCS* ucs = river.mem->active_ucs();
  ASSERT_NE(ucs, nullptr);
  EXPECT_EQ(ucs->name(), "UCS1");
  ExpectNear(ucs->origin, {100, 200, 0});
  // The axis points lie 1 000 000 along X towards the last vertex and straight up.
  ExpectNear(geometry::Add(ucs->origin, geometry::Scale(ucs->x_axis, 1e6)), {1000100, 200, 0});
  ExpectNear(geometry::Add(ucs->origin, geometry::Scale(ucs->y_axis, 1e6)), {100, 200, 1e6});
  ExpectNear(geometry::Cross(ucs->x_axis, ucs->y_axis), {0, -1, 0});
  // UCSFOLLOW brought the plan view of the new system: looking from the south.
  EXPECT_EQ(host::ToDouble(river.doc->GetVariable("UCSFOLLOW")), 1);
  ExpectNear(river.mem->view().direction, {0, -1, 0});
  EXPECT_EQ(river.mem->view().regen_count, 1);
  EXPECT_EQ(river.mem->view().zoom_extents_count, 1);
  EXPECT_EQ(river.mem->view().zoom_scaled_count, 1);
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(SectionViewTest, ElevationNormalAndInnerVerticesDoNotShiftThePlane) {
  river.doc->Layers()->Add("Temp");
  // At elevation 5 the origin still has Z 0.
  const auto raised = AddPolyline(river.doc, "1_SectionLine", {10, 20, 40, 60});
  raised->SetElevation(5);
  View(raised, false);
  ExpectNear(river.mem->active_ucs()->origin, {10, 20, 0});
  ExpectNear(river.mem->active_ucs()->x_axis, {0.6, 0.8, 0});

  // Normal (0,0,-1) mirrors X: OCS (10,20) and (30,20) lie at world (-10,20)
  // and (-30,20), so the section runs west.
  const auto flipped = AddPolyline(river.doc, "2_SectionLine", {10, 20, 30, 20});
  flipped->SetNormal({0, 0, -1});
  flipped->SetElevation(3);
  View(flipped, false);
  ExpectNear(river.mem->active_ucs()->origin, {-10, 20, 0});
  ExpectNear(river.mem->active_ucs()->x_axis, {-1, 0, 0});
  ExpectNear(river.mem->view().direction, {0, 1, 0});

  // A bent line is seen from its first vertex to its last.
  const auto bent = AddPolyline(river.doc, "3_SectionLine", {0, 0, 50, 80, 10, 0});
  View(bent, false);
  ExpectNear(river.mem->active_ucs()->origin, {0, 0, 0});
  ExpectNear(river.mem->active_ucs()->x_axis, {1, 0, 0});
  // One "UCS1", replaced each time: adding an existing name replaces it,
  // which the program's reference leaves unverified.
  EXPECT_EQ(river.mem->ucss().size(), 1u);
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(SectionViewTest, LayerStageOutcomeTable) {
  for (const char* name :
       {"K12_SectionLine", "K12_Survey", "K12_SectionCenter", "K12_3d", "K12_3d_LPSO",
        "K12_3d_LINV", "K7_Survey", "Old_K12_3d_LPSO", "Old_K12_SectionCenter", "Temp"}) {
    river.doc->Layers()->Add(name);
  }
  const auto line = AddPolyline(river.doc, "K12_SectionLine", {0, 0, 10, 0});
  View(line, false);
  const std::map<std::string, bool> expected_false = {{"0", true},
                                                      {"K12_SectionLine", false},
                                                      {"K12_Survey", false},
                                                      {"K12_SectionCenter", true},
                                                      {"K12_3d", true},
                                                      {"K12_3d_LPSO", false},
                                                      {"K12_3d_LINV", false},
                                                      {"K7_Survey", true},
                                                      {"Old_K12_3d_LPSO", false},
                                                      {"Old_K12_SectionCenter", true},
                                                      {"Temp", false}};
  EXPECT_EQ(Frozen(), expected_false);
  EXPECT_EQ(river.doc->ActiveLayer()->Name(), "K12_SectionLine");

  View(line, true);
  std::map<std::string, bool> expected_true = expected_false;
  expected_true["K12_3d"] = false;
  expected_true["Old_K12_3d_LPSO"] = true;
  EXPECT_EQ(Frozen(), expected_true);
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(SectionViewTest, NamesDifferingInCaseDoNotMatch) {
  // The layer table ignores case, so these stand in a drawing of their own.
  for (const char* name : {"K12_3D", "K12_SECTIONCENTER", "k12_Survey", "Temp"}) {
    river.doc->Layers()->Add(name);
  }
  const auto line = AddPolyline(river.doc, "K12_SectionLine", {0, 0, 10, 0});
  View(line, false);
  EXPECT_FALSE(Frozen().at("K12_3D"));             // begins with K12_, holds no K12_3d
  EXPECT_FALSE(Frozen().at("K12_SECTIONCENTER"));  // holds no K12_SectionCenter
  EXPECT_TRUE(Frozen().at("k12_Survey"));          // does not begin with K12_
}

TEST_F(SectionViewTest, LongerLayerNameBecomesCurrentAndTheLineLayerFollowsTheRules) {
  river.doc->Layers()->Add("Temp");
  river.doc->Layers()->Add("K12_SectionLine");
  river.doc->Layers()->Add("K12_SectionLineText");
  const auto line = AddPolyline(river.doc, "K12_SectionLine", {0, 0, 10, 0});
  View(line, false);
  EXPECT_EQ(river.doc->ActiveLayer()->Name(), "K12_SectionLineText");
  EXPECT_FALSE(Frozen().at("K12_SectionLineText"));
  EXPECT_TRUE(Frozen().at("K12_SectionLine"));
  View(line, true);
  EXPECT_FALSE(Frozen().at("K12_SectionLine"));
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(SectionViewTest, LayerWithoutUnderscoreHasAnEmptyPrefix) {
  for (const char* name : {"Banks", "Old3d", "XSectionCenter", "3d_LPSO", "Temp"}) {
    river.doc->Layers()->Add(name);
  }
  const auto line = AddPolyline(river.doc, "Section", {0, 0, 10, 0});
  EXPECT_EQ(view::SectionPrefix("Section"), "");
  View(line, false);
  const std::map<std::string, bool> expected = {
      {"0", false},       {"Banks", false}, {"Old3d", true},   {"XSectionCenter", true},
      {"3d_LPSO", false}, {"Temp", false},  {"Section", false}};
  EXPECT_EQ(Frozen(), expected);
}

TEST_F(SectionViewTest, MissingTempIsCreatedSilentlyAndFrozenTempEndsThawed) {
  const auto line = AddPolyline(river.doc, "7_SectionLine", {0, 0, 10, 0});
  View(line, false);
  EXPECT_TRUE(sink.messages().empty());
  ASSERT_NE(river.mem->FindLayer("Temp"), nullptr);
  EXPECT_FALSE(river.mem->FindLayer("Temp")->frozen());
  EXPECT_EQ(river.mem->view().regen_count, 1);
  EXPECT_EQ(host::ToDouble(river.doc->GetVariable("UCSFOLLOW")), 1);
  EXPECT_NE(river.mem->active_ucs(), nullptr);
  EXPECT_EQ(river.mem->view().zoom_extents_count, 1);
  EXPECT_EQ(river.mem->view().zoom_scaled_count, 1);

  river.mem->FindLayer("Temp")->set_frozen(true);
  View(line, false);
  EXPECT_FALSE(river.mem->FindLayer("Temp")->frozen());
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(SectionViewTest, FailureInTheViewportStepShowsOneMessageAndEnds) {
  river.doc->Layers()->Add("Temp");
  river.doc->Layers()->Add("K7_Survey");
  const auto line = AddPolyline(river.doc, "7_SectionLine", {0, 0, 10, 0});
  const auto before = Frozen();
  const std::string active = river.doc->ActiveLayer()->Name();
  river.app->monitor().FailAt("Viewport.SetUCSIconOn", 1, -2145386420, "Viewport refused");
  EXPECT_EQ(View(line, false), "");
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Viewport refused"});
  EXPECT_EQ(Frozen(), before);
  EXPECT_EQ(river.doc->ActiveLayer()->Name(), active);
  EXPECT_EQ(host::ToDouble(river.doc->GetVariable("UCSFOLLOW")), 0);
  EXPECT_EQ(river.mem->active_ucs(), nullptr);
  EXPECT_EQ(river.mem->view().zoom_extents_count, 0);
  EXPECT_EQ(river.mem->view().regen_count, 0);
  EXPECT_EQ(river.mem->ucss().size(), 1u);  // made before the failure, and kept
}

TEST_F(SectionViewTest, LineWithoutVerticesFailsBeforeChangingAnything) {
  auto* empty = river.mem->NewEntity<host::memory::MemLWPolyline>(river.mem->NextHandle());
  river.mem->model_space()->Append(empty, river.mem->active_layer());
  View(Seen(Ref<host::LWPolyline>(std::static_pointer_cast<host::LWPolyline>(empty->Self()))),
       false);
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Subscript out of range"});
  EXPECT_TRUE(river.mem->ucss().empty());
}

TEST_F(SectionViewTest, HostOperationsRunInTheirOrder) {
  river.doc->Layers()->Add("Temp");
  const auto line = AddPolyline(river.doc, "7_SectionLine", {0, 0, 10, 0});
  auto& monitor = river.app->monitor();
  monitor.StartRecording();
  View(line, true);
  // Layer visits repeat per layer; keep the first of each run of one operation.
  std::vector<std::string> order;
  for (const auto& call : monitor.calls()) {
    if (call.starts_with("Layer.") || call.starts_with("Layers.") ||
        call == "Document.ActiveLayer" || call == "Document.SetActiveLayer") {
      if (order.empty() || order.back() != "layer stage") order.push_back("layer stage");
      continue;
    }
    order.push_back(call);
  }
  const std::vector<std::string> expected = {"LWPolyline.Coordinates",
                                             "LWPolyline.Elevation",
                                             "LWPolyline.Normal",
                                             "Document.Utility",
                                             "Utility.TranslateCoordinates",
                                             "Document.Utility",
                                             "Utility.TranslateCoordinates",
                                             "Document.Utility",
                                             "Utility.AngleFromXAxis",
                                             "Document.Utility",
                                             "Utility.PolarPoint",
                                             "Document.UserCoordinateSystems",
                                             "UCSs.Add",
                                             "Document.ActiveViewport",
                                             "LWPolyline.Normal",
                                             "Viewport.SetDirection",
                                             "Viewport.SetUCSIconOn",
                                             "Viewport.SetUCSIconAtOrigin",
                                             "Document.SetActiveViewport",
                                             "LWPolyline.Layer",
                                             "Document.Layers",
                                             "layer stage",
                                             "Document.Layers",
                                             "layer stage",
                                             "Document.Regen",
                                             "Document.SetVariable",
                                             "Document.SetActiveUCS",
                                             "Document.Application",
                                             "Application.ZoomExtents",
                                             "Document.Application",
                                             "Application.ZoomScaled"};
  EXPECT_EQ(order, expected);
}

}  // namespace
}  // namespace palvane::testing
