#pragma once

#include <gtest/gtest.h>

#include "automation/centerline_class.h"
#include "keyplan/options.h"
#include "support/river.h"

namespace palvane::testing {

// A small river for the keyplan exports: a current reach 4200 long along the
// X axis, and three sections on layers 1_, 2_ and 3_SectionLine. Section 2's
// profile has the normal (0,0,-1) and section 3's has three vertices and has
// lost its tag (its centre point keeps it).
struct KeyplanRiver {
  KeyplanRiver() {
    centre = AddPolyline(river.doc, "CL", {0, 0, 2100, 0, 4200, 0});
    TagReach(*centre, "4", true, "photos");
    AddPolyline(river.doc, "Banks", {0, 10, 4200, 10});  // clutter
    AddSection(river.doc, "1", {100, -50, 100, 50}, 100.25, 90, "Left bank", "XS1");
    const Section two = AddSection(river.doc, "2", {-200, -50, -200, 50}, 200.5, 45, "Z", "XS2");
    two.profile->SetNormal({0, 0, -1});  // OCS (-200, y) is world (200, y)
    const Section three =
        AddSection(river.doc, "3", {300, -50, 310, 0, 300, 50}, 300.125, 0, "Weir", "XS3");
    lost_tag = three.profile;
    StripTag(lost_tag);

    for (const auto& f : keyplan::kOptionFields) options.*f.member = "";
    for (auto* flag :
         {&options.SectionNameChkBox, &options.ENChkBox, &options.BearingChkBox,
          &options.ChainageChkBox, &options.Mike11ChainageChkBox, &options.DescriptionChkBox}) {
      *flag = "True";
    }
    options.BearingPrecision = "0";
    options.ChainagePrecision = options.Mike11ChainagePrecision = "2";
    options.SectionLineWidth = "0.5";
    options.TextHeight = "2";
    options.LineLayer = "XS_";
  }

  // Removes the "TEV" data of an entity of the in-memory host.
  static void StripTag(const Ref<host::LWPolyline>& line) {
    auto& xdata = dynamic_cast<host::memory::EntityCore*>(Behind(Ref<host::Entity>(line)).get())
                      ->mutable_xdata();
    xdata.clear();
  }

  // The drawing the last export made.
  host::memory::MemDocument* Keyplan() const {
    return river.app->documents().size() > 1 ? river.app->documents().back().get() : nullptr;
  }

  Drawing river;
  host::RecordingMessageSink sink;
  automation::CenterlineClass centerline{sink};
  keyplan::KeyplanOptions options;
  Ref<host::LWPolyline> centre, lost_tag;
};

class KeyplanFixture : public ::testing::Test, public KeyplanRiver {};

}  // namespace palvane::testing
