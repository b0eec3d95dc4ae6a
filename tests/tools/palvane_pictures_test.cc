// The command's pictures end to end: sheets of a long river read back by
// poppler, the check's findings on paper, and bad requests refused before
// anything is written.

#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "support/model_readers.h"
#include "support/pdf.h"
#include "tools/command_fixture.h"

namespace palvane::testing {
namespace {

// The whole river on A3 sheets: every page an A3 page with its title block,
// north arrow, scale bar and legend; no two words on any page overlap; and
// every section's label is on some sheet, or named as left out.
TEST_F(PalvaneTest, KeyplanSheetsOfALongRiverNeverOverlapTheirLabels) {
  if (!PicturesDrawn()) GTEST_SKIP() << "this build draws no pictures";
  const std::string river = River(2000, 0);
  const std::string pdf = Path("k.pdf");
  const Outcome r = Palvane("keyplan '" + river + "' -o '" + Path("k.dxf") + "' --pdf '" + pdf +
                            "' --paper A3 --sheets --title 'Long river'");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto pages = ReadPdf(pdf);
  ASSERT_GT(pages.size(), 10u);
  std::set<std::string> labelled;
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1));
    EXPECT_NEAR(pages[i].width, 841.89, 0.01);
    EXPECT_NEAR(pages[i].height, 1190.55, 0.01);
    const std::string text = PageText(pages[i]);
    for (const char* part : {"Long river", "Drawing: river.dxf", "Reach: 1", "Chainage", "Legend",
                             "Centre line", "Section line", "Scale 1:", " N ", "Date:"}) {
      EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text.substr(0, 300);
    }
    for (const PdfWord& w : pages[i].words) {
      if (std::regex_match(w.text, std::regex("XS[0-9]+"))) labelled.insert(w.text);
    }
  }
  const auto overlaps = OverlappingWords(pages);
  EXPECT_TRUE(overlaps.empty()) << overlaps.size() << " overlaps, first " << overlaps.front();
  for (int n = 1; n <= 2000; ++n) {
    const std::string name = "XS" + std::to_string(n);
    if (labelled.count(name) == 0) {
      EXPECT_NE(r.err.find(" " + name + ","), std::string::npos) << name << " is nowhere";
    }
  }
  EXPECT_GT(labelled.size(), 1900u);

  // One window as SVG and PNG.
  const Outcome one =
      Palvane("keyplan '" + river + "' -o '" + Path("k2.dxf") + "' --svg '" + Path("w.svg") +
              "' --png '" + Path("w.png") + "' --paper A3 --landscape --from 1000 --to 2500");
  ASSERT_EQ(one.status, 0) << one.err;
  ExpectGoodPicture(Path("w.svg"));
  EXPECT_NE(Read(Path("w.svg")).find("width=\"420mm\""), std::string::npos);
  EXPECT_EQ(Read(Path("w.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
}

// Sheets as SVG: a file per page, the overview first.
TEST_F(PalvaneTest, SheetsAsSvgAreAFilePerPage) {
  if (!PicturesDrawn()) GTEST_SKIP() << "this build draws no pictures";
  const std::string river = River(300, 0);
  const Outcome r = Palvane("keyplan '" + river + "' -o '" + Path("k.dxf") + "' --svg '" +
                            Path("k.svg") + "' --sheets --scale 2500");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(Path("k.svg")));
  ASSERT_TRUE(fs::exists(Path("k-1.svg")));
  ASSERT_TRUE(fs::exists(Path("k-3.svg")));
  ExpectGoodPicture(Path("k-1.svg"));
  ExpectGoodPicture(Path("k-3.svg"));
}

TEST_F(PalvaneTest, CheckDrawsItsFindingsInRedWithTheirCodes) {
  if (!PicturesDrawn()) GTEST_SKIP() << "this build draws no pictures";
  const std::string faulty = Path("faulty.dxf");
  ASSERT_EQ(Palvane("generate --sections 30 --faults chainage-mismatch,bearing-mismatch -o '" +
                    faulty + "'")
                .status,
            0);
  const Outcome r =
      Palvane("check '" + faulty + "' --pdf '" + Path("c.pdf") + "' --svg '" + Path("c.svg") + "'");
  EXPECT_EQ(r.status, 1) << r.err;
  const auto pages = ReadPdf(Path("c.pdf"));
  ASSERT_EQ(pages.size(), 1u);
  const std::string text = PageText(pages[0]);
  EXPECT_NE(text.find("4 chainage-mismatch"), std::string::npos) << text;
  EXPECT_NE(text.find("8 bearing-mismatch"), std::string::npos) << text;
  EXPECT_NE(text.find("chainage-mismatch (1 section)"), std::string::npos) << text;
  EXPECT_NE(text.find("bearing-mismatch (1 section)"), std::string::npos) << text;
  EXPECT_NE(text.find("Reach: 1"), std::string::npos) << text;
  EXPECT_TRUE(OverlappingWords(pages).empty());
  ExpectGoodPicture(Path("c.svg"));
  // The findings are drawn in red: the SVG holds the red of the findings.
  EXPECT_NE(Read(Path("c.svg")).find("rgb(84%,15%,16%)"), std::string::npos);
}

TEST_F(PalvaneTest, BadPictureRequestsAreRefusedBeforeAnyWork) {
  const std::string river = River(20, 0);
  const std::string out = Path("k.dxf");
  const struct {
    std::string args, reason;
  } cases[] = {
      {"--pdf '" + Path("k.svg") + "'", "must be named *.pdf"},
      {"--sheets", "the sheet's options need a picture"},
      {"--svg '" + Path("a.svg") + "' --png '" + Path("a.svg") + "'", "must be named *.png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = Palvane("keyplan '" + river + "' -o '" + out + "' " + c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
  }
  if (!PicturesDrawn()) return;
  const struct {
    std::string args, reason;
  } drawn_cases[] = {
      {"--paper B5", "--paper \"B5\" is none of A4, A3, A2, A1, A0"},
      {"--sheets --from 10", "--sheets cover the whole reach"},
      {"--from 500 --to 100", "--from must be less than --to"},
      {"--label-height 0", "--label-height must be from 0.5 to 50 millimetres"},
      {"--scale -5", "--scale must be a number above 0"},
      {"--scale 0.5", "--scale must be a number above 0, from 1"},
      {"--from nan", "--from and --to must be numbers"},
      {"--sheets --scale 1", "more than 5000 sheets at 1:1"},
      {"--from 100 --to 99999", "cannot draw the picture: the chainages 100.000 to 99999.000"},
  };
  for (const auto& c : drawn_cases) {
    SCOPED_TRACE(c.args);
    const Outcome r =
        Palvane("keyplan '" + river + "' -o '" + out + "' --pdf '" + Path("k.pdf") + "' " + c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(Path("k.pdf")));
  }
}

}  // namespace
}  // namespace palvane::testing

namespace palvane::testing {
namespace {

// Section plots of the sample river: a page per four sections in chainage
// order, each with its name, chainage, banks and lowest point, and no two
// words overlapping.
TEST_F(PalvaneTest, SectionPlotsOfTheSampleRiver) {
  if (!PicturesDrawn()) GTEST_SKIP() << "this build draws no pictures";
  const std::string river = std::string(PALVANE_TEST_DIR) + "/../examples/river.dxf";
  const Outcome r = Palvane("sections '" + river + "' --plot '" + Path("s.pdf") + "' --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto counts = nlohmann::json::parse(r.out);
  const size_t sections = counts["sections"];
  EXPECT_TRUE(counts["format"].is_null());
  const auto pages = ReadPdf(Path("s.pdf"));
  ASSERT_EQ(pages.size(), (sections + 3) / 4);
  EXPECT_NEAR(pages[0].width, 841.89, 0.01);  // A4 landscape
  EXPECT_NEAR(pages[0].height, 595.28, 0.01);
  const std::string first = PageText(pages[0]);
  const size_t one = first.find("XS1, chainage 50.000, reach 1");
  const size_t two = first.find("XS2, chainage 100.000, reach 1");
  ASSERT_NE(one, std::string::npos) << first;
  ASSERT_NE(two, std::string::npos) << first;
  EXPECT_LT(one, two);
  for (const char* part : {"LB", "RB", "lowest", "vertical exaggeration 5 times", "Date:"}) {
    EXPECT_NE(first.find(part), std::string::npos) << part;
  }
  const auto overlaps = OverlappingWords(pages);
  EXPECT_TRUE(overlaps.empty()) << overlaps.front();

  // Together with the model's file; bad requests before any work.
  const Outcome both = Palvane("sections '" + river + "' -o '" + Path("x.csv") + "' --plot '" +
                               Path("p.png") + "' --per-page 12 --exaggeration 2");
  ASSERT_EQ(both.status, 0) << both.err;
  EXPECT_TRUE(fs::exists(Path("x.csv")));
  EXPECT_EQ(Read(Path("p-1.png")).substr(0, 4), "\x89PNG");
  for (const std::string& bad : {std::string(""), " --plot '" + Path("p.txt") + "'",
                                 " --plot '" + Path("q.pdf") + "' --per-page 0",
                                 " --plot '" + Path("q.pdf") + "' --exaggeration 0"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Palvane("sections '" + river + "'" + bad).status, 2);
    EXPECT_FALSE(fs::exists(Path("q.pdf")));
  }
}

// A drawing whose INSUNITS says feet: the HEC-RAS file says ENGLISH, the
// plots' axes and the sheets' scale bar and chainages say feet, and the
// command says which units it took; --units m says otherwise.
TEST_F(PalvaneTest, AFeetDrawingIsMeasuredInFeetEverywhere) {
  const std::string metres = Path("m.dxf"), feet = Path("ft.dxf");
  ASSERT_EQ(Palvane("generate --sections 8 --survey 9 -o '" + metres + "'").status, 0);
  std::string text = Read(metres);
  const std::string units = "$INSUNITS\n 70\n6\n";
  const size_t at = text.find(units);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, units.size(), "$INSUNITS\n 70\n2\n");
  std::ofstream(feet, std::ios::binary) << text;

  const Outcome sdf = Palvane("sections '" + feet + "' -o '" + Path("f.RASImport.sdf") + "'");
  ASSERT_EQ(sdf.status, 0) << sdf.err;
  EXPECT_NE(sdf.err.find("units: feet (INSUNITS 2 (feet)"), std::string::npos) << sdf.err;
  EXPECT_EQ(ReadHecRas(Read(Path("f.RASImport.sdf"))).header.at("UNITS"), "ENGLISH");
  const Outcome told =
      Palvane("sections '" + feet + "' --units m -o '" + Path("m.RASImport.sdf") + "'");
  ASSERT_EQ(told.status, 0) << told.err;
  EXPECT_EQ(ReadHecRas(Read(Path("m.RASImport.sdf"))).header.at("UNITS"), "METRIC");
  if (!PicturesDrawn()) return;
  ASSERT_EQ(Palvane("sections '" + feet + "' --plot '" + Path("p.pdf") + "'").status, 0);
  const auto plots = ReadPdf(Path("p.pdf"));
  ASSERT_FALSE(plots.empty());
  EXPECT_NE(PageText(plots[0]).find("Station (ft)"), std::string::npos) << PageText(plots[0]);
  for (const auto& [drawing, unit] : {std::pair{feet, " ft"}, std::pair{metres, " m"}}) {
    SCOPED_TRACE(unit);
    const std::string pdf = Path("k" + std::string(unit).substr(1) + ".pdf");
    const Outcome k = Palvane("keyplan '" + drawing + "' -o '" + Path("k.dxf") + "' --pdf '" + pdf +
                              "' --overwrite");
    ASSERT_EQ(k.status, 0) << k.err;
    const auto sheet = ReadPdf(pdf);
    ASSERT_EQ(sheet.size(), 1u);
    const std::string words = PageText(sheet[0]);
    // The scale bar's last number and the chainage range carry the unit.
    EXPECT_NE(words.find(std::string(unit) + " "), std::string::npos) << words;
    EXPECT_EQ(words.find(unit == std::string(" ft") ? " m " : " ft "), std::string::npos) << words;
  }
}

}  // namespace
}  // namespace palvane::testing
