#include "picture/draw_plan.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <tuple>

#include "geometry/densify.h"
#include "host/convert.h"
#include "picture/labels.h"

namespace palvane::tools::picture {
namespace {

using geometry::Point2;

constexpr double kBandGap = 3;  // between the map's frame and the title block
constexpr double kPad = 2;      // inside the title block's cells
constexpr double kFramePen = 0.35;
constexpr double kLeaderPen = 0.13;

double Pen(const PlanLine& l) {
  if (l.flagged) return 0.35;
  switch (l.role) {
    case Role::kCentreLine:
      return 0.5;
    case Role::kSection:
      return 0.25;
    case Role::kOther:
      break;
  }
  return 0.18;
}

std::string Number(double value, int decimals) {
  return host::FormatFixedWithPoint(value, decimals);
}

// Names separated by commas.
std::string Listed(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += (out.empty() ? "" : "\n") + l;
  return out;
}

// A line's chords, fine enough at the finest scale it is drawn at, with
// their box in the drawing.
struct Chords {
  std::vector<Point2> points;
  Box box;
};

Chords ChordsOf(const PlanLine& l, double tolerance) {
  Chords c;
  c.points = geometry::Densify(l.line.vertices, l.line.bulges, l.line.closed, tolerance);
  c.box = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
           -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
  for (const Point2& p : c.points) {
    c.box.x0 = std::min(c.box.x0, p[0]);
    c.box.y0 = std::min(c.box.y0, p[1]);
    c.box.x1 = std::max(c.box.x1, p[0]);
    c.box.y1 = std::max(c.box.y1, p[1]);
  }
  return c;
}

// The lines one pen draws.
struct PenLines {
  Rgb colour;
  double width;
  std::vector<std::vector<Point2>> lines;
};

// The title block's cells, left to right: legend, texts, north arrow, scale
// bar.
struct Band {
  Box box, legend, texts, north, scale;
};

Band BandOf(const Paper& paper, double margin, double height) {
  Band b;
  const double x0 = margin, x1 = paper.width - margin;
  const double y1 = paper.height - margin, y0 = y1 - height;
  const double inner = x1 - x0;
  const double north = 20, scale = std::clamp(inner * 0.25, 40.0, 90.0),
               legend = std::clamp(inner * 0.3, 45.0, 100.0);
  b.box = {x0, y0, x1, y1};
  b.legend = {x0, y0, x0 + legend, y1};
  b.texts = {b.legend.x1, y0, x1 - north - scale, y1};
  b.north = {b.texts.x1, y0, b.texts.x1 + north, y1};
  b.scale = {b.north.x1, y0, x1, y1};
  return b;
}

std::vector<std::string> TitleTexts(const SheetOptions& o, const Sheet& sheet, size_t page,
                                    size_t pages) {
  std::vector<std::string> out;
  out.push_back(sheet.overview ? o.title + " (overview)" : o.title);
  if (!o.drawing_name.empty()) out.push_back("Drawing: " + o.drawing_name);
  if (!o.reach.empty()) out.push_back("Reach: " + o.reach);
  if (sheet.from && sheet.to) {
    out.push_back("Chainage " + Number(*sheet.from, 3) + " to " + Number(*sheet.to, 3) + " " +
                  o.unit);
  }
  out.push_back("Scale 1:" + host::DoubleToText(sheet.view.scale) + " on " + o.paper.name +
                ", sheet " + std::to_string(page) + " of " + std::to_string(pages));
  if (!o.date.empty()) out.push_back("Date: " + o.date);
  return out;
}

class SheetDrawer {
 public:
  SheetDrawer(Canvas& canvas, const Plan& plan, const SheetOptions& options)
      : c_(canvas), plan_(plan), o_(options) {
    label_font_ = {o_.label_height};
    text_font_ = {2.5};
    title_font_ = {text_font_.height * 1.4, true};
  }

  // The title block's height for these sheets: the most its cells need.
  double BandHeight(const std::vector<Sheet>& sheets, size_t pages) {
    const Band cells = BandOf(c_.paper(), o_.margin, 0);
    double texts = 0;
    for (Sheet widest : sheets) {
      // Chainages of as many digits as any drawing's.
      if (widest.from) widest.from = widest.to = -1e6;
      texts =
          std::max(texts, TextsHeight(TitleTexts(o_, widest, pages, pages), cells.texts.Width()));
    }
    return std::max({LegendHeight(cells.legend.Width()), texts, 20.0, 16.0}) + 2 * kPad;
  }

  void Draw(const Sheet& sheet, const Band& band, size_t page, size_t pages,
            std::vector<std::string>& left_out) {
    DrawMap(sheet, page, left_out);
    DrawBand(sheet, band, page, pages);
  }

  // The labels whose vertex lay on no sheet drawn so far, named.
  std::vector<std::string> NeverShown() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < plan_.labels.size(); ++i) {
      if (shown_[i]) continue;
      out.push_back(plan_.labels[i].lines.empty() ? "(empty)" : plan_.labels[i].lines.front());
    }
    return out;
  }

  void PrepareChords(double finest_scale) {
    const double tolerance = 0.05 * finest_scale / 1000 / o_.metres_per_unit;
    chords_.reserve(plan_.lines.size());
    for (const PlanLine& l : plan_.lines) chords_.push_back(ChordsOf(l, tolerance));
  }

 private:
  // What a sheet's legend lists: the plan's, and on the overview the
  // sheets' windows.
  std::vector<LegendEntry> LegendOf(bool overview) const {
    std::vector<LegendEntry> legend = plan_.legend;
    if (overview) legend.push_back({"Sheet, by its page", kFindingRed, false});
    return legend;
  }

  double LegendHeight(double width) {
    double h = c_.Measure("Legend", {text_font_.height, true}).Height() + 1;
    for (const LegendEntry& e : LegendOf(o_.sheets)) {
      h += c_.Measure(e.text, {text_font_.height, false, width - 2 * kPad - 10}).Height() + 1;
    }
    return h;
  }

  double TextsHeight(const std::vector<std::string>& texts, double width) {
    double h = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
      Font f = i == 0 ? title_font_ : text_font_;
      f.wrap = width - 2 * kPad;
      h += c_.Measure(texts[i], f).Height() + 1;
    }
    return h;
  }

  void DrawMap(const Sheet& sheet, size_t page, std::vector<std::string>& left_out) {
    const View& v = sheet.view;
    const Box& frame = sheet.frame;
    Box window{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
               -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (const Point2& q : {Point2{frame.x0, frame.y0}, Point2{frame.x1, frame.y0},
                            Point2{frame.x1, frame.y1}, Point2{frame.x0, frame.y1}}) {
      const Point2 p = v.ToDrawing(q);
      window = {std::min(window.x0, p[0]), std::min(window.y0, p[1]), std::max(window.x1, p[0]),
                std::max(window.y1, p[1])};
    }
    cairo_t* cr = c_.cr();
    cairo_save(cr);
    cairo_rectangle(cr, frame.x0, frame.y0, frame.Width(), frame.Height());
    cairo_clip(cr);
    LabelPlacer placer({frame.x0 + 1, frame.y0 + 1, frame.x1 - 1, frame.y1 - 1},
                       std::max(2.0, o_.label_height * 2));
    // Lines of one pen are stroked together, as one path: a page of tens of
    // thousands of strokes is slow to write and to read.
    std::map<std::tuple<double, double, double, double>, size_t> pen_of;
    std::vector<PenLines> pens;
    for (size_t i = 0; i < plan_.lines.size(); ++i) {
      const Chords& ch = chords_[i];
      if (ch.points.size() < 2 || !ch.box.Overlaps(window)) continue;
      const PlanLine& l = plan_.lines[i];
      std::vector<Point2> paper;
      paper.reserve(ch.points.size());
      for (const Point2& p : ch.points) paper.push_back(v.ToPaper(p));
      const double pen = sheet.overview && l.role == Role::kSection ? 0.13 : Pen(l);
      const double width = std::max(pen, l.width * v.MmPerUnit());
      const Rgb colour =
          sheet.overview && !l.flagged && l.role == Role::kSection ? kGrey : l.colour;
      for (size_t k = 1; k < paper.size(); ++k) placer.AddLine(paper[k - 1], paper[k], width);
      const auto key = std::make_tuple(colour.r, colour.g, colour.b, width);
      const auto [it, added] = pen_of.emplace(key, pens.size());
      if (added) pens.push_back({colour, width, {}});
      pens[it->second].lines.push_back(std::move(paper));
    }
    for (const PenLines& pen : pens) c_.StrokeMany(pen.lines, pen.width, pen.colour);
    if (sheet.overview) {
      DrawWindows(sheet, placer, left_out, page);
    } else {
      DrawLabels(sheet, placer, left_out, page);
    }
    cairo_restore(cr);
    c_.Rectangle(frame, kFramePen, kBlack);
  }

  void DrawLabels(const Sheet& sheet, LabelPlacer& placer, std::vector<std::string>& left_out,
                  size_t page) {
    const View& v = sheet.view;
    std::vector<size_t> order(plan_.labels.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      const auto& ca = plan_.lines[plan_.labels[a].line].chainage;
      const auto& cb = plan_.lines[plan_.labels[b].line].chainage;
      return ca.value_or(0) < cb.value_or(0);
    });
    std::vector<std::string> missed;
    for (size_t index : order) {
      const PlanLabel& label = plan_.labels[index];
      const PlanLine& line = plan_.lines[label.line];
      const Point2 first = v.ToPaper(line.line.vertices.front());
      const Point2 last = v.ToPaper(line.line.vertices.back());
      if (first[0] < sheet.frame.x0 || first[0] > sheet.frame.x1 || first[1] < sheet.frame.y0 ||
          first[1] > sheet.frame.y1) {
        continue;
      }
      shown_[index] = true;
      const std::string name = label.lines.empty() ? "(empty)" : label.lines.front();
      // A line closer than half a label's height to one labelled or tried.
      if (placer.NearTriedVertex(first, o_.label_height / 2)) {
        missed.push_back(name);
        continue;
      }
      if (!PlaceAndDraw(placer, Joined(label.lines), first, last, label.colour)) {
        missed.push_back(name);
      }
    }
    if (!missed.empty()) {
      const std::string names = Listed(missed);
      left_out.push_back("sheet " + std::to_string(page) + ": " + std::to_string(missed.size()) +
                         " label" + (missed.size() == 1 ? "" : "s") + " found no free place and " +
                         (missed.size() == 1 ? "is" : "are") + " left out: " + names);
    }
  }

  // Places `text` for the line from `first` to `last` and draws it, with
  // its leader; false when it has no place.
  bool PlaceAndDraw(LabelPlacer& placer, const std::string& text, const Point2& first,
                    const Point2& last, const Rgb& colour) {
    const Box size = c_.Measure(text, label_font_);
    const auto placed = placer.Place({size.Width(), size.Height(), first, last});
    if (!placed) return false;
    if (placed->leader) {
      c_.Stroke({(*placed->leader)[0], (*placed->leader)[1]}, kLeaderPen, kGrey);
    }
    c_.Text(text, placed->box.x0, placed->box.y0, label_font_, colour);
    return true;
  }

  void DrawWindows(const Sheet& sheet, LabelPlacer& placer, std::vector<std::string>& left_out,
                   size_t page) {
    std::vector<std::string> missed;
    for (size_t k = 0; k < sheet.windows.size(); ++k) {
      std::vector<Point2> corners;
      for (const Point2& p : sheet.windows[k]) corners.push_back(sheet.view.ToPaper(p));
      c_.Stroke(corners, 0.3, kFindingRed, true);
      for (size_t i = 0; i < 4; ++i) placer.AddLine(corners[i], corners[(i + 1) % 4]);
    }
    for (size_t k = 0; k < sheet.windows.size(); ++k) {
      const std::string text = std::to_string(k + 2);  // the overview is the first page
      const Point2 first = sheet.view.ToPaper(sheet.windows[k][0]);
      const Point2 last = sheet.view.ToPaper(sheet.windows[k][2]);
      if (!PlaceAndDraw(placer, text, first, last, kFindingRed)) missed.push_back(text);
    }
    if (!missed.empty()) {
      const std::string names = Listed(missed);
      left_out.push_back("sheet " + std::to_string(page) + ": the numbers of sheets " + names +
                         " found no free place and are left out");
    }
  }

  void DrawBand(const Sheet& sheet, const Band& band, size_t page, size_t pages) {
    c_.Rectangle(band.box, kFramePen, kBlack);
    for (const Box* cell : {&band.texts, &band.north, &band.scale}) {
      c_.Stroke({{cell->x0, cell->y0}, {cell->x0, cell->y1}}, 0.18, kBlack);
    }
    // Legend.
    double y = band.legend.y0 + kPad;
    const Font heading{text_font_.height, true};
    c_.Text("Legend", band.legend.x0 + kPad, y, heading, kBlack);
    y += c_.Measure("Legend", heading).Height() + 1;
    for (const LegendEntry& e : LegendOf(sheet.overview)) {
      const Font f{text_font_.height, false, band.legend.Width() - 2 * kPad - 10};
      const Box size = c_.Measure(e.text, f);
      const double mid = y + std::min(size.Height(), c_.Measure("X", f).Height()) / 2;
      c_.Stroke({{band.legend.x0 + kPad, mid}, {band.legend.x0 + kPad + 8, mid}},
                e.thick ? 0.5 : 0.25, e.colour);
      c_.Text(e.text, band.legend.x0 + kPad + 10, y, f, e.colour);
      y += size.Height() + 1;
    }
    // Texts.
    y = band.texts.y0 + kPad;
    const std::vector<std::string> texts = TitleTexts(o_, sheet, page, pages);
    for (size_t i = 0; i < texts.size(); ++i) {
      Font f = i == 0 ? title_font_ : text_font_;
      f.wrap = band.texts.Width() - 2 * kPad;
      c_.Text(texts[i], band.texts.x0 + kPad, y, f, kBlack);
      y += c_.Measure(texts[i], f).Height() + 1;
    }
    DrawNorthArrow(sheet.view, band.north);
    DrawScaleBar(sheet.view, band.scale);
  }

  // Grid north: the drawing's +y, as the sheet turns it.
  void DrawNorthArrow(const View& v, const Box& cell) {
    const Point2 o = v.ToPaper(v.centre), n = v.ToPaper({v.centre[0], v.centre[1] + 1});
    double dx = n[0] - o[0], dy = n[1] - o[1];
    const double len = std::hypot(dx, dy);
    dx /= len;
    dy /= len;
    const Font f{text_font_.height, true};
    const Box letter = c_.Measure("N", f);
    const double room = std::min(cell.Width(), cell.Height()) / 2 - kPad;
    const double arm = std::max(3.0, room - std::max(letter.Width(), letter.Height()) - 0.5);
    const Point2 centre{(cell.x0 + cell.x1) / 2, (cell.y0 + cell.y1) / 2};
    const Point2 tip{centre[0] + dx * arm, centre[1] + dy * arm};
    const Point2 tail{centre[0] - dx * arm, centre[1] - dy * arm};
    const Point2 left{tail[0] - dy * arm / 2.5, tail[1] + dx * arm / 2.5};
    const Point2 right{tail[0] + dy * arm / 2.5, tail[1] - dx * arm / 2.5};
    cairo_t* cr = c_.cr();
    cairo_move_to(cr, tip[0], tip[1]);
    cairo_line_to(cr, left[0], left[1]);
    cairo_line_to(cr, centre[0], centre[1]);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, kBlack.r, kBlack.g, kBlack.b);
    cairo_fill(cr);
    c_.Stroke({tip, left, centre, right, tip}, 0.18, kBlack);
    const double reach = arm + 0.5 + std::hypot(letter.Width(), letter.Height()) / 2;
    c_.Text("N", centre[0] + dx * reach - letter.Width() / 2,
            centre[1] + dy * reach - letter.Height() / 2, f, kBlack);
  }

  void DrawScaleBar(const View& v, const Box& cell) {
    const double room = cell.Width() - 2 * kPad - 8;
    const double length = RoundLength(room / v.MmPerUnit());
    const double bar = length * v.MmPerUnit();
    const double lead = length / std::pow(10, std::floor(std::log10(length)));
    const int parts = std::lround(lead) == 5 ? 5 : 4;
    const Font f{text_font_.height * 0.9};
    const std::string caption = "Scale 1:" + host::DoubleToText(v.scale);
    double y = cell.y0 + kPad;
    c_.Text(caption, cell.x0 + kPad, y, f, kBlack);
    y += c_.Measure(caption, f).Height() + 1.5;
    const double x0 = cell.x0 + kPad + 2;
    for (int i = 0; i < parts; ++i) {
      const Box piece{x0 + bar * i / parts, y, x0 + bar * (i + 1) / parts, y + 1.5};
      c_.Rectangle(piece, 0.15, kBlack, i % 2 == 0 ? kBlack : Rgb{1, 1, 1});
    }
    y += 2.5;
    const auto tick_text = [](double value) {
      return std::fabs(value - std::round(value)) < 1e-9 ? host::DoubleToText(std::round(value))
                                                         : host::DoubleToText(value);
    };
    const std::string zero = "0", end = tick_text(length) + " " + o_.unit,
                      half = tick_text(length / 2);
    const Box zb = c_.Measure(zero, f), eb = c_.Measure(end, f), hb = c_.Measure(half, f);
    c_.Text(zero, x0 - zb.Width() / 2, y, f, kBlack);
    c_.Text(end, std::min(x0 + bar - eb.Width() / 2, cell.x1 - kPad - eb.Width()), y, f, kBlack);
    // The middle tick's number, when there is room between the others.
    const double mid = x0 + bar / 2;
    if (mid - hb.Width() / 2 > x0 + zb.Width() / 2 + 1 &&
        mid + hb.Width() / 2 <
            std::min(x0 + bar - eb.Width() / 2, cell.x1 - kPad - eb.Width()) - 1) {
      c_.Text(half, mid - hb.Width() / 2, y, f, kBlack);
    }
  }

  Canvas& c_;
  const Plan& plan_;
  const SheetOptions& o_;
  Font label_font_, text_font_, title_font_;
  std::vector<Chords> chords_;
  std::vector<bool> shown_ = std::vector<bool>(plan_.labels.size(), false);
};

}  // namespace

DrawnPlan DrawPlan(const Plan& plan, const SheetOptions& options, PictureFormat format) {
  Canvas canvas(format, options.paper, options.title);
  SheetDrawer drawer(canvas, plan, options);
  // The title block's height is found from a first layout of the sheets'
  // number, then the sheets are laid out in the frame it leaves.
  const Paper& paper = options.paper;
  const auto frame_for = [&](double band) {
    return Box{options.margin, options.margin, paper.width - options.margin,
               paper.height - options.margin - band - kBandGap};
  };
  double band = 30;
  std::vector<Sheet> sheets = LayOutSheets(plan, options, frame_for(band));
  band = drawer.BandHeight(sheets, std::max<size_t>(sheets.size() * 2, 10));
  const Box frame = frame_for(band);
  const Band cells = BandOf(paper, options.margin, band);
  if (frame.Height() < 20 || frame.Width() < 20 || cells.texts.Width() < 40) {
    throw std::runtime_error(
        "the paper leaves no room for the map and the title block beside its margins");
  }
  sheets = LayOutSheets(plan, options, frame);
  double finest = std::numeric_limits<double>::infinity();
  for (const Sheet& s : sheets) finest = std::min(finest, s.view.scale);
  drawer.PrepareChords(finest);
  DrawnPlan drawn;
  drawn.pages = sheets.size();
  for (size_t i = 0; i < sheets.size(); ++i) {
    if (sheets[i].cropped) {
      drawn.left_out.push_back("sheet " + std::to_string(i + 1) +
                               ": at 1:" + host::DoubleToText(sheets[i].view.scale) +
                               " the drawing is larger than the frame and is cut at its edges");
    }
    if (i > 0) canvas.NextPage();
    drawer.Draw(sheets[i], cells, i + 1, sheets.size(), drawn.left_out);
  }
  if (options.sheets) {
    const std::vector<std::string> never = drawer.NeverShown();
    if (!never.empty()) {
      const std::string names = Listed(never);
      drawn.left_out.push_back(
          std::to_string(never.size()) +
          " labels belong to lines whose first vertex lies on no sheet: " + names);
    }
  }
  drawn.files = canvas.Finish();
  return drawn;
}

}  // namespace palvane::tools::picture
