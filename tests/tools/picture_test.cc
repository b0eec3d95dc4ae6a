// Pictures on paper: where labels go, how sheets are laid along a river,
// what a keyplan's plan holds, and the files drawn, read back by
// independent readers.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>

#include "generator/river_generator.h"
#include "host/convert.h"
#include "host/message_sink.h"
#include "keyplan/export.h"
#include "picture/labels.h"
#include "picture/plan.h"
#include "picture/sheet.h"
#include "support/river.h"
#ifdef PALVANE_PICTURES
#include "picture/draw_plan.h"
#include "picture/section_plot.h"
#include "support/pdf.h"
#include "support/xml.h"
#endif

namespace palvane::testing {
namespace {

using geometry::Point2;
using tools::picture::Box;
using tools::picture::LabelPlacer;
using tools::picture::Plan;
using tools::picture::PlanLine;
using tools::picture::Role;
using tools::picture::SheetOptions;

// ---------------------------------------------------------------- labels

TEST(PieceMeetsBoxTest, CrossingInsideTouchingAndMissing) {
  const Box box{0, 0, 10, 10};
  EXPECT_TRUE(tools::picture::PieceMeetsBox({-5, 5}, {15, 5}, box));    // across
  EXPECT_TRUE(tools::picture::PieceMeetsBox({2, 2}, {3, 3}, box));      // inside
  EXPECT_TRUE(tools::picture::PieceMeetsBox({10, -5}, {10, 15}, box));  // along an edge
  EXPECT_TRUE(tools::picture::PieceMeetsBox({5, 5}, {5, 5}, box));      // a point inside
  EXPECT_FALSE(tools::picture::PieceMeetsBox({11, -5}, {11, 15}, box));
  EXPECT_FALSE(tools::picture::PieceMeetsBox({-5, 12}, {12, 20}, box));  // past a corner
  EXPECT_FALSE(tools::picture::PieceMeetsBox({20, 20}, {20, 20}, box));
}

TEST(LabelPlacerTest, TheFirstChoiceIsBeyondTheLinesFirstVertex) {
  LabelPlacer placer({0, 0, 200, 200}, 5);
  placer.AddLine({100, 100}, {100, 140});
  // The line runs down the page from its first vertex: the label goes above.
  const auto placed = placer.Place({12, 4, {100, 100}, {100, 140}});
  ASSERT_TRUE(placed);
  EXPECT_FALSE(placed->leader);
  EXPECT_NEAR((placed->box.x0 + placed->box.x1) / 2, 100, 1e-9);
  EXPECT_LT(placed->box.y1, 100);
  EXPECT_GT(placed->box.y1, 98);  // close to the vertex, not far off
  // Lines beside a labelled one are known as such.
  EXPECT_TRUE(placer.NearTriedVertex({100.5, 100}, 1));
  EXPECT_FALSE(placer.NearTriedVertex({102, 100}, 1));
}

// However crowded the sheet, no two placed labels overlap, none covers a
// line, and every leader starts at its label's vertex; what cannot be
// placed is refused, not piled up.
TEST(LabelPlacerTest, CrowdedLabelsNeverOverlapLinesOrEachOther) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> where(10, 190), turn(0, 2 * std::numbers::pi);
  const Box area{0, 0, 200, 200};
  LabelPlacer placer(area, 5);
  struct Piece {
    Point2 a, b;
  };
  std::vector<Piece> lines;
  for (int i = 0; i < 400; ++i) {
    const Point2 a{where(random), where(random)};
    const double t = turn(random);
    const Point2 b{a[0] + 15 * std::cos(t), a[1] + 15 * std::sin(t)};
    lines.push_back({a, b});
    placer.AddLine(a, b);
  }
  std::vector<Box> boxes;
  size_t refused = 0;
  for (const Piece& l : lines) {
    const auto placed = placer.Place({14, 3.5, l.a, l.b});
    if (!placed) {
      ++refused;
      continue;
    }
    const Box& b = placed->box;
    EXPECT_TRUE(area.Contains(b));
    for (const Box& other : boxes) ASSERT_FALSE(b.Overlaps(other));
    for (const Piece& p : lines) ASSERT_FALSE(tools::picture::PieceMeetsBox(p.a, p.b, b));
    if (placed->leader) {
      EXPECT_EQ((*placed->leader)[0], l.a);
    }
    boxes.push_back(b);
  }
  EXPECT_GT(boxes.size(), 100u);
  EXPECT_GT(refused, 0u);  // 400 labels cannot all fit
}

TEST(LabelPlacerTest, ALabelLargerThanTheAreaOrOnBlockedGroundIsRefused) {
  LabelPlacer placer({0, 0, 50, 50}, 5);
  EXPECT_FALSE(placer.Place({60, 3, {25, 25}, {25, 30}}));
  placer.AddBlocked({0, 0, 50, 50});
  EXPECT_FALSE(placer.Place({5, 3, {25, 25}, {25, 30}}));
}

// ---------------------------------------------------------------- sheets

TEST(SheetTest, PapersAndStandardScales) {
  const auto a3 = tools::picture::PaperNamed("a3", true);
  ASSERT_TRUE(a3);
  EXPECT_EQ(a3->width, 420);
  EXPECT_EQ(a3->height, 297);
  EXPECT_EQ(tools::picture::PaperNamed("A0", false)->height, 1189);
  EXPECT_FALSE(tools::picture::PaperNamed("Letter", false));
  // 1 000 m into 277 mm: 1:2 500 would need 400 mm.
  EXPECT_EQ(tools::picture::StandardScaleToFit(1000, 10, 277, 100), 5000);
  EXPECT_EQ(tools::picture::StandardScaleToFit(300, 10, 250, 100), 1250);
  EXPECT_EQ(tools::picture::StandardScaleToFit(0, 0, 100, 100), 100);
  EXPECT_EQ(tools::picture::RoundLength(0.37), 0.2);
  EXPECT_EQ(tools::picture::RoundLength(100), 100);
  EXPECT_EQ(tools::picture::RoundLength(730), 500);
}

TEST(SheetTest, AViewTurnsAndScalesBothWays) {
  tools::picture::View v;
  v.centre = {1000, 2000};
  v.angle = std::numbers::pi / 2;  // north runs to the right
  v.scale = 500;
  v.frame_centre = {100, 150};
  const Point2 north = v.ToPaper({1000, 2010});
  EXPECT_NEAR(north[0], 120, 1e-9);  // 10 m at 1:500 is 20 mm
  EXPECT_NEAR(north[1], 150, 1e-9);
  const Point2 back = v.ToDrawing(v.ToPaper({1234.5, 1876.25}));
  EXPECT_NEAR(back[0], 1234.5, 1e-9);
  EXPECT_NEAR(back[1], 1876.25, 1e-9);
}

// A river running east, then north, with sections across it every 50 m.
Plan BentRiver(bool chainage_from_end) {
  Plan plan;
  PlanLine centre;
  centre.line.vertices = {{0, 0}, {3000, 0}, {3000, 3000}};
  centre.line.bulges = {0, 0, 0};
  centre.role = Role::kCentreLine;
  plan.centre_line = 0;
  plan.chainage_from_end = chainage_from_end;
  plan.lines.push_back(centre);
  for (double d = 25; d < 6000; d += 50) {
    PlanLine s;
    const Point2 at = d < 3000 ? Point2{d, 0} : Point2{3000, d - 3000};
    const Point2 across = d < 3000 ? Point2{0, 20} : Point2{20, 0};
    s.line.vertices = {{at[0] - across[0], at[1] - across[1]},
                       {at[0] + across[0], at[1] + across[1]}};
    s.line.bulges = {0, 0};
    s.role = Role::kSection;
    s.chainage = chainage_from_end ? 6000 - d : d;
    plan.labels.push_back({{"S" + std::to_string(plan.lines.size())}, plan.lines.size()});
    plan.lines.push_back(s);
  }
  return plan;
}

TEST(SheetTest, OneSheetShowsTheWholePlanNorthUp) {
  SheetOptions options;
  const Box frame{10, 10, 200, 250};
  const auto sheets = tools::picture::LayOutSheets(BentRiver(false), options, frame);
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].view.angle, 0);
  EXPECT_EQ(sheets[0].view.scale, 20000);  // 3 020 m into 190 mm
  EXPECT_EQ(*sheets[0].from, 0);
  EXPECT_EQ(*sheets[0].to, 6000);
  EXPECT_FALSE(sheets[0].cropped);
  // A scale asked for at which the plan does not fit is kept, and said.
  options.scale = 5000;
  const auto cut = tools::picture::LayOutSheets(BentRiver(false), options, frame);
  EXPECT_EQ(cut[0].view.scale, 5000);
  EXPECT_TRUE(cut[0].cropped);
}

TEST(SheetTest, AWindowRunsAcrossTheSheetAndKeepsItsRange) {
  SheetOptions options;
  options.from = 3200;
  options.to = 4000;
  const Box frame{10, 10, 287, 190};
  const Plan plan = BentRiver(false);
  const auto sheets = tools::picture::LayOutSheets(plan, options, frame);
  ASSERT_EQ(sheets.size(), 1u);
  // The river runs north there: north is turned to the right.
  EXPECT_NEAR(sheets[0].view.angle, std::numbers::pi / 2, 1e-9);
  const Point2 a = sheets[0].view.ToPaper({3000, 200}), b = sheets[0].view.ToPaper({3000, 1000});
  EXPECT_LT(a[0], b[0]);
  for (const Point2& p : {a, b}) {
    EXPECT_GE(p[0], frame.x0);
    EXPECT_LE(p[0], frame.x1);
  }
  EXPECT_EQ(*sheets[0].from, 3200);
  options.to = 7000;
  EXPECT_THROW(tools::picture::LayOutSheets(plan, options, frame), std::runtime_error);
  Plan no_centre = plan;
  no_centre.centre_line.reset();
  options.to = 4000;
  EXPECT_THROW(tools::picture::LayOutSheets(no_centre, options, frame), std::runtime_error);
}

// Consecutive windows cover the river from end to end, each overlapping the
// next, every point of the centre line in a window's range on its sheet;
// the overview comes first, with every window on it.
TEST(SheetTest, SheetsCoverTheReachWithOverlapsAfterAnOverview) {
  for (const bool from_end : {false, true}) {
    SCOPED_TRACE(from_end);
    SheetOptions options;
    options.sheets = true;
    options.scale = 2500;
    const Box frame{10, 10, 287, 190};
    const Plan plan = BentRiver(from_end);
    const auto sheets = tools::picture::LayOutSheets(plan, options, frame);
    ASSERT_GT(sheets.size(), 3u);
    EXPECT_TRUE(sheets[0].overview);
    EXPECT_EQ(sheets[0].windows.size(), sheets.size() - 1);
    double low = 1e9, high = -1e9;
    for (size_t i = 1; i < sheets.size(); ++i) {
      const auto& s = sheets[i];
      EXPECT_EQ(s.view.scale, 2500);
      low = std::min(low, *s.from);
      high = std::max(high, *s.to);
      // Every centre-line point of the range lands inside the frame.
      for (double ch = *s.from; ch <= *s.to; ch += 5) {
        const double d = from_end ? 6000 - ch : ch;
        const Point2 p = d < 3000 ? Point2{d, 0} : Point2{3000, d - 3000};
        const Point2 q = s.view.ToPaper(p);
        EXPECT_TRUE(q[0] >= frame.x0 - 1e-6 && q[0] <= frame.x1 + 1e-6 && q[1] >= frame.y0 - 1e-6 &&
                    q[1] <= frame.y1 + 1e-6)
            << "sheet " << i << " chainage " << ch;
      }
    }
    EXPECT_NEAR(low, 0, 1e-6);
    EXPECT_NEAR(high, 6000, 1e-6);
    // In chainage order, chainage running left to right on each sheet; the
    // overview holds every window whole.
    const auto at = [&](double ch) {
      const double d = from_end ? 6000 - ch : ch;
      return d < 3000 ? Point2{d, 0} : Point2{3000, d - 3000};
    };
    for (size_t i = 1; i < sheets.size(); ++i) {
      if (i > 1) {
        EXPECT_LT(*sheets[i - 1].from, *sheets[i].from);
      }
      EXPECT_LT(sheets[i].view.ToPaper(at(*sheets[i].from))[0],
                sheets[i].view.ToPaper(at(*sheets[i].to))[0]);
    }
    for (const auto& window : sheets[0].windows) {
      for (const Point2& corner : window) {
        const Point2 q = sheets[0].view.ToPaper(corner);
        EXPECT_TRUE(q[0] >= frame.x0 && q[0] <= frame.x1 && q[1] >= frame.y0 && q[1] <= frame.y1);
      }
    }
    // Neighbours share some of the river.
    for (size_t i = 2; i < sheets.size(); ++i) {
      const auto& a = sheets[i - 1];
      const auto& b = sheets[i];
      EXPECT_LT(std::max(*a.from, *b.from), std::min(*a.to, *b.to)) << i;
    }
  }
}

// ---------------------------------------------------------------- plans

class KeyplanPlanTest : public ::testing::Test {
 protected:
  Plan PlanOf(keyplan::KeyplanKind kind) {
    generator::GenerateRiver(*river.mem, {12, 3, 0, std::vector<std::string>{}});
    keyplan::KeyplanOptions options;
    options.SectionNameChkBox = options.ChainageChkBox = "True";
    options.ENChkBox = options.BearingChkBox = options.Mike11ChainageChkBox =
        options.DescriptionChkBox = "False";
    options.BearingPrecision = "0";
    options.ChainagePrecision = options.Mike11ChainagePrecision = "2";
    options.SectionLineWidth = "0.5";
    options.TextHeight = "2";
    options.LineLayer = "XS_";
    host::SilentMessageSink sink;
    const auto made = keyplan::ExportKeyplan(sink, [&] { return river.doc->Application(); },
                                             river.doc, options, kind, {});
    EXPECT_TRUE(made.drawing);
    return tools::picture::PlanOfKeyplan(*made.drawing, "XS_");
  }
  Drawing river;
};

TEST_F(KeyplanPlanTest, EachLabelBelongsToItsOwnSectionLine) {
  for (const auto kind : {keyplan::KeyplanKind::kLabels, keyplan::KeyplanKind::kAttributes}) {
    SCOPED_TRACE(static_cast<int>(kind));
    river = Drawing();
    const Plan plan = PlanOf(kind);
    ASSERT_TRUE(plan.centre_line);
    EXPECT_EQ(plan.lines[*plan.centre_line].role, Role::kCentreLine);
    EXPECT_FALSE(plan.chainage_from_end);
    ASSERT_EQ(plan.labels.size(), 12u);
    for (const auto& label : plan.labels) {
      const PlanLine& line = plan.lines[label.line];
      ASSERT_EQ(line.role, Role::kSection);
      ASSERT_TRUE(line.chainage);
      // The label's texts hold the chainage its line's layer carries.
      std::string all;
      for (const auto& l : label.lines) all += l + "|";
      EXPECT_NE(all.find("|" + host::DoubleToText(*line.chainage) + "|"), std::string::npos) << all;
    }
  }
}

#ifdef PALVANE_PICTURES
// ---------------------------------------------------------------- files

std::string WriteTemp(const std::string& name, const std::string& bytes) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("palvane_picture_" + std::to_string(::getpid()) + "_" + name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

TEST(DrawPlanTest, PdfSvgAndPngOfSheetsReadBack) {
  SheetOptions options;
  options.paper = *tools::picture::PaperNamed("A3", false);
  options.sheets = true;
  options.scale = 5000;
  options.title = "Bent <river> & co";
  options.date = "2026-12-09";
  const Plan plan = BentRiver(false);
  const auto pdf = tools::picture::DrawPlan(plan, options, tools::picture::PictureFormat::kPdf);
  ASSERT_EQ(pdf.files.size(), 1u);
  const std::string path = WriteTemp("sheets.pdf", pdf.files[0]);
  const auto pages = ReadPdf(path);
  std::filesystem::remove(path);
  ASSERT_EQ(pages.size(), pdf.pages);
  ASSERT_GT(pages.size(), 2u);
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(pages[i].width, 841.89, 0.01);
    EXPECT_NEAR(pages[i].height, 1190.55, 0.01);
    const std::string text = PageText(pages[i]);
    EXPECT_NE(text.find("Bent <river> & co"), std::string::npos) << text;
    EXPECT_NE(text.find("sheet " + std::to_string(i + 1) + " of " + std::to_string(pages.size())),
              std::string::npos);
    EXPECT_NE(text.find("Legend"), std::string::npos);
    EXPECT_NE(text.find("2026-12-09"), std::string::npos);
  }
  EXPECT_TRUE(OverlappingWords(pages).empty()) << OverlappingWords(pages).front();

  const auto svg = tools::picture::DrawPlan(plan, options, tools::picture::PictureFormat::kSvg);
  ASSERT_EQ(svg.files.size(), pdf.pages);
#if PALVANE_HAVE_XML
  for (const std::string& file : svg.files) EXPECT_TRUE(WellFormedXml(file));
#endif
  EXPECT_NE(svg.files[0].find("width=\"297mm\""), std::string::npos) << svg.files[0].substr(0, 400);

  options.sheets = false;
  const auto png = tools::picture::DrawPlan(plan, options, tools::picture::PictureFormat::kPng);
  ASSERT_EQ(png.files.size(), 1u);
  const std::string& bytes = png.files[0];
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
  const auto be32 = [&](size_t at) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
  };
  EXPECT_EQ(be32(16), 1754u);  // 297 mm at 150 dpi
  EXPECT_EQ(be32(20), 2481u);
}

TEST(DrawPlanTest, LabelsThatFitNowhereAreNamedNotDrawn) {
  SheetOptions options;
  options.label_height = 20;  // far too large for a sheet of 120 sections
  options.date = "2026-12-09";
  const auto drawn =
      tools::picture::DrawPlan(BentRiver(false), options, tools::picture::PictureFormat::kPdf);
  ASSERT_EQ(drawn.left_out.size(), 1u);
  EXPECT_EQ(drawn.left_out[0].rfind("sheet 1: ", 0), 0u) << drawn.left_out[0];
  const std::string path = WriteTemp("crowded.pdf", drawn.files[0]);
  const auto pages = ReadPdf(path);
  std::filesystem::remove(path);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(OverlappingWords(pages).empty()) << OverlappingWords(pages).front();
  // Paper too small for its margins and title block.
  options.paper = *tools::picture::PaperNamed("A4", false);
  options.margin = 100;
  options.label_height = 2.5;
  EXPECT_THROW(
      tools::picture::DrawPlan(BentRiver(false), options, tools::picture::PictureFormat::kPdf),
      std::runtime_error);
}
// Section plots in chainage order; a section whose title leaves its panel
// no room is named, not drawn over; banks close together keep their marks
// apart; flat and tiny ranges end their grids.
TEST(SectionPlotTest, PanelsInChainageOrderAndNothingOverlaps) {
  sections::Survey survey;
  survey.reaches.emplace_back();
  auto& reach = survey.reaches.back();
  reach.number = "1";
  const auto section = [&](const std::string& number, double chainage, double left, double right,
                           double z_step) {
    sections::CrossSection x;
    x.reach = "1";
    x.number = number;
    x.name = "XS" + number;
    x.chainage = chainage;
    x.left_bank = left;
    x.right_bank = right;
    for (int i = 0; i <= 10; ++i) {
      sections::SurveyPoint p;
      p.station = i * 3.0;
      p.elevation = 100 + std::abs(i - 5) * z_step;
      if (i == 5) p.markers = sections::kLowest;
      x.points.push_back(p);
    }
    return x;
  };
  reach.sections.push_back(section("2", 200, 3, 27, 0.5));
  reach.sections.push_back(section("1", 100, 14.9, 15.1, 0.5));  // banks all but together
  reach.sections.push_back(section("3", 300, 0, 30, 1e-14));     // flat to rounding
  auto wordy = section("4", 400, 0, 30, 0.5);
  wordy.name = std::string(3000, 'W');
  reach.sections.push_back(wordy);
  tools::picture::PlotOptions options;
  options.drawing_name = "river.dxf";
  options.date = "2026-12-09";
  const auto plots =
      tools::picture::DrawSectionPlots(survey, options, tools::picture::PictureFormat::kPdf);
  EXPECT_EQ(plots.skipped, std::vector<std::string>{"4"});
  ASSERT_EQ(plots.files.size(), 1u);
  const std::string path = WriteTemp("plots.pdf", plots.files[0]);
  const auto pages = ReadPdf(path);
  std::filesystem::remove(path);
  ASSERT_EQ(pages.size(), 1u);
  const std::string text = PageText(pages[0]);
  EXPECT_EQ(text.find("WWWW"), std::string::npos);  // not drawn at all
  for (const auto& w : pages[0].words) {
    EXPECT_TRUE(w.x0 >= 0 && w.y0 >= 0 && w.x1 <= pages[0].width && w.y1 <= pages[0].height)
        << w.text;
  }
  EXPECT_LT(text.find("XS1,"), text.find("XS2,")) << text;
  EXPECT_LT(text.find("XS2,"), text.find("XS3,")) << text;
  const auto overlaps = OverlappingWords(pages);
  EXPECT_TRUE(overlaps.empty()) << overlaps.front();
}
#endif

}  // namespace
}  // namespace palvane::testing
