// End-to-end tests of palvane tag: from a river drawn without tags to one
// the check, the keyplan and the section view take.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "dxf/drawing.h"
#include "dxf/file_io.h"
#include "tools/command_fixture.h"

namespace palvane::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(PalvaneTest, AnUntaggedRiverIsTaggedAndThenChecksClean) {
  const std::string bare = Path("bare.dxf"), reach = Path("reach.dxf"), tagged = Path("tagged.dxf");
  ASSERT_EQ(Palvane("generate --sections 40 --untagged -o '" + bare + "'").status, 0);
  // Nothing to list yet, and the way in is named.
  const Outcome info = Palvane("info '" + bare + "'");
  EXPECT_EQ(info.status, 1);
  EXPECT_NE(info.err.find("40 sections have their layers but no section tag; palvane tag sections"),
            std::string::npos)
      << info.err;
  // Sections need their reach first.
  const Outcome early = Palvane("tag sections '" + bare + "' -o '" + tagged + "'");
  EXPECT_EQ(early.status, 2);
  EXPECT_NE(early.err.find("tag its centre line first (palvane tag reach --current)"),
            std::string::npos)
      << early.err;
  EXPECT_FALSE(fs::exists(tagged));

  const Outcome r =
      Palvane("tag reach '" + bare + "' --polyline 31 --number 1 --current -o '" + reach + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "polyline 31: reach 1 (current)\n");
  const Outcome s = Palvane("tag sections '" + reach + "' -o '" + tagged + "'");
  ASSERT_EQ(s.status, 0) << s.err;
  EXPECT_EQ(s.out.rfind("section 1: chainage ", 0), 0u) << s.out;
  EXPECT_NE(s.out.find("section 40: chainage "), std::string::npos) << s.out;
  ExpectAuditClean(tagged);

  const Outcome check = Palvane("check '" + tagged + "' --chainage-tolerance 0.001");
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_EQ(check.out, "");
  const Outcome keyplan = Palvane("keyplan '" + tagged + "' -o '" + Path("k.dxf") + "'");
  EXPECT_EQ(keyplan.status, 0) << keyplan.err;
  EXPECT_EQ(keyplan.err, "");
  const Outcome view =
      Palvane("view-section '" + tagged + "' --polyline 34 -o '" + Path("v.dxf") + "'");
  EXPECT_EQ(view.status, 0) << view.err;
  // Tagged again: kept, and said so.
  const Outcome again = Palvane("tag sections '" + tagged + "' --json --dry-run");
  ASSERT_EQ(again.status, 0) << again.err;
  const auto json = nlohmann::json::parse(again.out);
  ASSERT_EQ(json.size(), 40u);
  EXPECT_EQ(json[0]["outcome"], "kept");
}

TEST_F(PalvaneTest, TaggingInPlaceKeepsABackupAndADryRunWritesNothing) {
  const std::string drawing = Path("d.dxf");
  ASSERT_EQ(Palvane("generate --sections 5 --untagged -o '" + drawing + "'").status, 0);
  const std::string original = Read(drawing);
  const Outcome dry =
      Palvane("tag reach '" + drawing + "' --polyline 31 --number 3 --current --dry-run");
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, "polyline 31: reach 3 (current), not written (dry run)\n");
  EXPECT_EQ(Read(drawing), original);
  EXPECT_FALSE(fs::exists(drawing + ".bak"));

  const Outcome r =
      Palvane("tag reach '" + drawing + "' --polyline 31 --number 3 --current --in-place");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read(drawing + ".bak"), original);
  EXPECT_NE(Read(drawing), original);
  // A backup is never replaced unasked.
  const Outcome refused = Palvane("tag sections '" + drawing + "' --in-place");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find(".bak exists; give --overwrite"), std::string::npos) << refused.err;
  const Outcome s = Palvane("tag sections '" + drawing + "' --in-place --no-backup --reach 3");
  ASSERT_EQ(s.status, 0) << s.err;
  EXPECT_EQ(Read(drawing + ".bak"), original);
  EXPECT_EQ(Palvane("check '" + drawing + "'").status, 0);
}

// Section lines drawn on one layer, as many surveys come.
TEST_F(PalvaneTest, SectionLinesOnOneLayerAreTaggedAndTheExportsFindThem) {
  std::string centre;
  {
    auto app = dxf::NewApplication();
    const auto doc = app->Documents()->Add();
    const auto line = doc->ModelSpace()->AddLightWeightPolyline({0, 0, 100, 0, 200, 40});
    line->SetLayer("0");
    centre = line->Handle();
    doc->Layers()->Add("Cross sections");
    for (const double x : {150.0, 30.0, 90.0}) {
      doc->ModelSpace()->AddLightWeightPolyline({x, -20, x, 60})->SetLayer("Cross sections");
    }
    dxf::SaveDrawing(*doc, Path("survey.dxf"), false);
  }
  const std::string survey = Path("survey.dxf"), tagged = Path("tagged.dxf");
  ASSERT_EQ(Palvane("tag reach '" + survey + "' --polyline " + centre +
                    " --number 2 --current --in-place --no-backup")
                .status,
            0);
  const Outcome s = Palvane("tag sections '" + survey +
                            "' --from-layer 'Cross sections' --first 100 --step 10 "
                            "--section-name 'XS{n}' -o '" +
                            tagged + "'");
  ASSERT_EQ(s.status, 0) << s.err;
  EXPECT_EQ(s.out.rfind("section 100: chainage 30.000, bearing 0.0000, tagged; moved onto layer "
                        "100_Profile; made layer 100_SectionLine, layer 100_SectionCenter, "
                        "centre point ",
                        0),
            0u)
      << s.out;
  EXPECT_NE(s.out.find("section 110: chainage 90.000"), std::string::npos) << s.out;
  EXPECT_NE(s.out.find("section 120: chainage "), std::string::npos) << s.out;
  EXPECT_EQ(Palvane("check '" + tagged + "'").status, 0);
  const Outcome keyplan =
      Palvane("keyplan '" + tagged + "' --attributes -o '" + Path("k.dxf") + "'");
  EXPECT_EQ(keyplan.status, 0) << keyplan.err;
  EXPECT_EQ(keyplan.err, "");
  const Outcome info = Palvane("info '" + tagged + "' --json");
  ASSERT_EQ(info.status, 0);
  const auto json = nlohmann::json::parse(info.out);
  ASSERT_EQ(json["sections"].size(), 3u);
  EXPECT_EQ(json["sections"][0]["SectionName"], "XS100");
  const std::string profile = json["sections"][1]["handle"];
  const Outcome view = Palvane("view-section '" + tagged + "' --polyline " + profile + " -o '" +
                               Path("v.dxf") + "'");
  EXPECT_EQ(view.status, 0) << view.err;
  EXPECT_EQ(view.err, "");
}

TEST_F(PalvaneTest, CheckFixWritesWhatItMeasuredInPlaceKeepingABackup) {
  const std::string drawing = Path("f.dxf");
  ASSERT_EQ(Palvane("generate --sections 100 --seed 2 --faults chainage-mismatch,bearing-mismatch "
                    "-o '" +
                    drawing + "'")
                .status,
            0);
  const std::string original = Read(drawing);
  const Outcome dry = Palvane("check '" + drawing + "' --fix chainage,bearing --dry-run");
  EXPECT_EQ(dry.status, 1);
  EXPECT_NE(dry.out.find("would fix section 4: chainage 237.500 -> 200.132\n"), std::string::npos)
      << dry.out;
  EXPECT_EQ(Read(drawing), original);
  const Outcome fixed = Palvane("check '" + drawing + "' --fix chainage,bearing --in-place");
  EXPECT_EQ(fixed.status, 0) << fixed.err;
  EXPECT_NE(fixed.out.find("fixed section 4: chainage 237.500 -> 200.132\n"), std::string::npos)
      << fixed.out;
  EXPECT_NE(fixed.out.find("fixed section 8: bearing "), std::string::npos) << fixed.out;
  EXPECT_EQ(Read(drawing + ".bak"), original);
  const Outcome again = Palvane("check '" + drawing + "'");
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(Palvane("check '" + drawing + "' --fix colour -o '" + Path("o.dxf") + "'").status, 2);
  EXPECT_EQ(Palvane("check '" + drawing + "' -o '" + Path("o.dxf") + "'").status, 2);
  EXPECT_EQ(Palvane("check '" + drawing + "' --fix tags").status, 2);
  EXPECT_FALSE(fs::exists(Path("o.dxf")));
}

TEST_F(PalvaneTest, SectionLinesAreNumberedByTheTextBesideThem) {
  std::string centre;
  {
    auto app = dxf::NewApplication();
    const auto doc = app->Documents()->Add();
    const auto line = doc->ModelSpace()->AddLightWeightPolyline({0, 0, 200, 0});
    centre = line->Handle();
    doc->Layers()->Add("Cross sections");
    for (const double x : {150.0, 30.0, 90.0}) {
      doc->ModelSpace()->AddLightWeightPolyline({x, -20, x, 60})->SetLayer("Cross sections");
      if (x != 90) doc->ModelSpace()->AddText("K" + std::to_string(int(x)), {x + 1, -21, 0}, 2);
    }
    dxf::SaveDrawing(*doc, Path("survey.dxf"), false);
  }
  const std::string survey = Path("survey.dxf");
  ASSERT_EQ(Palvane("tag reach '" + survey + "' --polyline " + centre +
                    " --number 1 --current --in-place --no-backup")
                .status,
            0);
  const Outcome s = Palvane("tag sections '" + survey +
                            "' --from-layer 'Cross sections' --numbers-from-text 2.5 --json "
                            "--in-place --no-backup");
  // One line has no number: it is reported, and the others are tagged.
  EXPECT_EQ(s.status, 1) << s.err;
  const auto json = nlohmann::json::parse(s.out);
  ASSERT_EQ(json.size(), 3u) << s.out;
  EXPECT_EQ(json[0]["section"], "K30");
  EXPECT_EQ(json[1]["section"], "K150");
  EXPECT_EQ(json[2]["outcome"], "no-number");
  const Outcome info = Palvane("info '" + survey + "'");
  EXPECT_NE(info.out.find("section K150: K150 at chainage 150.000"), std::string::npos) << info.out;
}

TEST_F(PalvaneTest, TagRefusesBadValuesBeforeAnyWork) {
  const std::string drawing = Path("d.dxf");
  ASSERT_EQ(Palvane("generate --sections 5 --untagged -o '" + drawing + "'").status, 0);
  const std::string out = " -o '" + Path("o.dxf") + "'";
  for (const std::string& args :
       {"tag sections '" + drawing + "' --bearing sideways" + out,
        "tag sections '" + drawing + "' --water-date 2024-13-01" + out,
        "tag sections '" + drawing + "' --water-date 5/3/2024" + out,
        "tag sections '" + drawing + "' --chainage-from middle" + out,
        "tag sections '" + drawing + "' --no-backup" + out, "tag sections '" + drawing + "'",
        "tag reach '" + drawing + "' --polyline 31 --number x" + out,
        "tag reach '" + drawing + "' --polyline FFFFFF --number 1" + out,
        "tag sections '" + drawing + "' --first 3" + out,
        "tag sections '" + drawing + "' --from-layer Nothing --in-place",
        "tag sections '" + drawing + "' --numbers-from-text 2" + out,
        "tag sections '" + drawing + "' --from-layer L --numbers-from-text 0" + out,
        "tag sections '" + drawing + "' --from-layer L --numbers-from-text 2 --first 3" + out,
        "generate --sections 80 --untagged --faults all -o '" + Path("g.dxf") + "'"}) {
    const Outcome o = Palvane(args);
    EXPECT_EQ(o.status, 2) << args << "\n" << o.err;
    EXPECT_FALSE(fs::exists(Path("o.dxf"))) << args;
    EXPECT_FALSE(fs::exists(drawing + ".bak")) << args;
  }
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// A drawing whose section lies on a locked layer: tagging fails with one
// line naming the entity and the layer, and writes nothing.
TEST_F(PalvaneTest, ALockedLayerFailsTheTaggingAndWritesNothing) {
  const std::string bare = Path("bare.dxf"), reach = Path("reach.dxf"), out = Path("out.dxf");
  ASSERT_EQ(Palvane("generate --sections 5 --untagged -o '" + bare + "'").status, 0);
  ASSERT_EQ(
      Palvane("tag reach '" + bare + "' --polyline 31 --number 1 --current -o '" + reach + "'")
          .status,
      0);
  std::string text = Read(reach);
  const std::string unlocked = "  2\n3_Profile\n 70\n0\n";
  const size_t at = text.find(unlocked);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, unlocked.size(), "  2\n3_Profile\n 70\n4\n");
  std::ofstream(reach, std::ios::binary) << text;
  const Outcome o = Palvane("tag sections '" + reach + "' -o '" + out + "'");
  EXPECT_NE(o.status, 0);
  EXPECT_NE(o.err.find("lies on locked layer 3_Profile"), std::string::npos) << o.err;
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace palvane::testing
