#include "picture/sheet.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>

#include "geometry/densify.h"
#include "host/convert.h"

namespace palvane::tools::picture {
namespace {

using geometry::Point2;

// A chord is off its arc by at most this on paper.
constexpr double kChordMm = 0.1;
// More sheets than a report holds, or memory allows for their windows.
constexpr int kMostSheets = 5000;

std::vector<Point2> PointsOf(const PlanLine& l, double tolerance) {
  return geometry::Densify(l.line.vertices, l.line.bulges, l.line.closed, tolerance);
}

// The box of `points` turned by -angle about the origin.
struct Extent {
  double x0 = std::numeric_limits<double>::infinity(), y0 = x0, x1 = -x0, y1 = -x0;
  void Add(const Point2& p, double c, double s) {
    const double x = p[0] * c + p[1] * s, y = -p[0] * s + p[1] * c;
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
  }
  bool Empty() const { return x0 > x1; }
  double Width() const { return Empty() ? 0 : x1 - x0; }
  double Height() const { return Empty() ? 0 : y1 - y0; }
  // The box's centre turned back into the drawing.
  Point2 Centre(double c, double s) const {
    if (Empty()) return {0, 0};
    const double x = (x0 + x1) / 2, y = (y0 + y1) / 2;
    return {x * c - y * s, x * s + y * c};
  }
};

// The centre line as a chain of points with their distances from its first
// vertex, scaled so that the last is the line's length along its arcs.
struct Chain {
  std::vector<Point2> points;
  std::vector<double> along;
  double length = 0;
};

Chain ChainOf(const Plan& plan, double tolerance, double longest_piece) {
  Chain chain;
  const PlanLine& centre = plan.lines[*plan.centre_line];
  // Long straight pieces are cut, so that a window can end within them.
  for (const Point2& p : PointsOf(centre, tolerance)) {
    if (!chain.points.empty()) {
      const Point2 q = chain.points.back();
      const double d = std::hypot(p[0] - q[0], p[1] - q[1]);
      const int pieces = static_cast<int>(std::min(std::ceil(d / longest_piece), 1e6));
      for (int k = 1; k < pieces; ++k) {
        const double t = static_cast<double>(k) / pieces;
        chain.points.push_back({q[0] + t * (p[0] - q[0]), q[1] + t * (p[1] - q[1])});
      }
    }
    chain.points.push_back(p);
  }
  double run = 0;
  for (size_t i = 0; i < chain.points.size(); ++i) {
    if (i > 0) {
      run += std::hypot(chain.points[i][0] - chain.points[i - 1][0],
                        chain.points[i][1] - chain.points[i - 1][1]);
    }
    chain.along.push_back(run);
  }
  const geometry::PolylineIndex index(centre.line);
  chain.length = index.Length();
  if (run > 0) {
    for (double& a : chain.along) a *= chain.length / run;
  }
  return chain;
}

// The point of the chain at distance `d`.
Point2 PointAt(const Chain& chain, double d) {
  const auto it = std::lower_bound(chain.along.begin(), chain.along.end(), d);
  if (it == chain.along.begin()) return chain.points.front();
  if (it == chain.along.end()) return chain.points.back();
  const size_t j = static_cast<size_t>(it - chain.along.begin()), i = j - 1;
  const double span = chain.along[j] - chain.along[i];
  const double t = span > 0 ? (d - chain.along[i]) / span : 0;
  return {chain.points[i][0] + t * (chain.points[j][0] - chain.points[i][0]),
          chain.points[i][1] + t * (chain.points[j][1] - chain.points[i][1])};
}

// A section line's distance along the centre line, from its chainage.
std::optional<double> AlongOf(const Plan& plan, const PlanLine& l, double length) {
  if (!l.chainage) return std::nullopt;
  return plan.chainage_from_end ? length - *l.chainage : *l.chainage;
}

struct SectionSpan {
  double along;
  Point2 first, last;
};

std::vector<SectionSpan> SectionsAlong(const Plan& plan, double length) {
  std::vector<SectionSpan> out;
  for (const PlanLine& l : plan.lines) {
    if (l.role != Role::kSection || l.line.vertices.empty()) continue;
    if (const auto along = AlongOf(plan, l, length)) {
      out.push_back({*along, l.line.vertices.front(), l.line.vertices.back()});
    }
  }
  std::sort(out.begin(), out.end(),
            [](const SectionSpan& a, const SectionSpan& b) { return a.along < b.along; });
  return out;
}

View ViewOf(const Extent& e, double angle, double scale, const Box& frame) {
  View v;
  v.angle = angle;
  v.centre = e.Centre(std::cos(angle), std::sin(angle));
  v.scale = scale;
  v.frame_centre = {(frame.x0 + frame.x1) / 2, (frame.y0 + frame.y1) / 2};
  return v;
}

// The extent of the chain from point i to j and of the sections between,
// turned by -angle.
Extent WindowExtent(const Chain& chain, size_t i, size_t j, const std::vector<SectionSpan>& spans,
                    double angle, bool with_sections) {
  Extent e;
  const double c = std::cos(angle), s = std::sin(angle);
  for (size_t k = i; k <= j; ++k) e.Add(chain.points[k], c, s);
  if (with_sections) {
    const auto lo =
        std::lower_bound(spans.begin(), spans.end(), chain.along[i],
                         [](const SectionSpan& span, double d) { return span.along < d; });
    for (auto it = lo; it != spans.end() && it->along <= chain.along[j]; ++it) {
      e.Add(it->first, c, s);
      e.Add(it->last, c, s);
    }
  }
  return e;
}

double ChordAngle(const Point2& a, const Point2& b) {
  if (a == b) return 0;
  return std::atan2(b[1] - a[1], b[0] - a[0]);
}

void SetRange(const Plan& plan, Sheet& sheet, double a, double b, double length) {
  const double ca = ChainageOf(plan, a, length), cb = ChainageOf(plan, b, length);
  sheet.from = std::min(ca, cb);
  sheet.to = std::max(ca, cb);
}

// Whether an extent fits a frame of `fw` by `fh` millimetres at 1:scale.
bool Fits(const Extent& e, double scale, double fw, double fh) {
  const double slack = 1 + 1e-9;
  return e.Width() * 1000 / scale <= fw * slack && e.Height() * 1000 / scale <= fh * slack;
}

// 1:100, 1:200, 1:250, 1:500, 1:1000, 1:1250, 1:2000, ... up to 1:10^11.
const std::vector<double>& StandardScales() {
  static const std::vector<double> scales = [] {
    std::vector<double> out;
    for (double decade = 100; decade < 1e12; decade *= 10) {
      for (double step : {1.0, 1.25, 2.0, 2.5, 5.0}) {
        if (step == 1.25 && decade != 1000) continue;  // only 1:1250 is in use
        out.push_back(step * decade);
      }
    }
    return out;
  }();
  return scales;
}

// The longest section line's length in plan.
double LongestSpan(const std::vector<SectionSpan>& spans) {
  double longest = 0;
  for (const SectionSpan& s : spans) {
    longest = std::max(longest, std::hypot(s.last[0] - s.first[0], s.last[1] - s.first[1]));
  }
  return longest;
}

// The scale of consecutive sheets when none is given: the smallest standard
// scale at which sections stand, as a rule, four label heights apart on
// paper, and at which the longest section line still fits two thirds of
// the frame's height.
double SheetScale(const std::vector<SectionSpan>& spans, const SheetOptions& options, double fw,
                  double fh) {
  const double longest = LongestSpan(spans);
  std::vector<double> gaps;
  for (size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].along > spans[i - 1].along) gaps.push_back(spans[i].along - spans[i - 1].along);
  }
  const double fits = longest > 0 ? StandardScaleToFit(0, longest, fw, fh * 2 / 3) : 100;
  if (gaps.empty()) return fits;
  std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2),
                   gaps.end());
  const double gap = gaps[gaps.size() / 2];
  // The smallest scale is the largest N: try them from small to large N and
  // keep the last at which the gap stays wide enough.
  double readable = StandardScales().front();
  for (double n : StandardScales()) {
    if (gap * options.metres_per_unit * 1000 / n < 4 * options.label_height) break;
    readable = n;
  }
  return std::max(fits, readable);
}

}  // namespace

std::optional<Paper> PaperNamed(const std::string& name, bool landscape) {
  static const Paper kPapers[] = {
      {"A0", 841, 1189}, {"A1", 594, 841}, {"A2", 420, 594}, {"A3", 297, 420}, {"A4", 210, 297}};
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const Paper& p : kPapers) {
    if (p.name != upper) continue;
    Paper out = p;
    if (landscape) std::swap(out.width, out.height);
    return out;
  }
  return std::nullopt;
}

double StandardScaleToFit(double width, double height, double frame_width, double frame_height) {
  for (double n : StandardScales()) {
    if (width * 1000 / n <= frame_width && height * 1000 / n <= frame_height) return n;
  }
  return StandardScales().back();
}

Point2 View::ToPaper(const Point2& p) const {
  const double c = std::cos(angle), s = std::sin(angle);
  const double dx = p[0] - centre[0], dy = p[1] - centre[1];
  const double x = dx * c + dy * s, y = -dx * s + dy * c;
  return {frame_centre[0] + x * MmPerUnit(), frame_centre[1] - y * MmPerUnit()};
}

Point2 View::ToDrawing(const Point2& q) const {
  const double c = std::cos(angle), s = std::sin(angle);
  const double x = (q[0] - frame_centre[0]) / MmPerUnit(),
               y = -(q[1] - frame_centre[1]) / MmPerUnit();
  return {centre[0] + x * c - y * s, centre[1] + x * s + y * c};
}

double RoundLength(double longest) {
  if (!(longest > 0) || !std::isfinite(longest)) return 1;
  const double decade = std::pow(10, std::floor(std::log10(longest)));
  for (double step : {5.0, 2.0, 1.0}) {
    if (step * decade <= longest * (1 + 1e-12)) return step * decade;
  }
  return decade;
}

double ChainageOf(const Plan& plan, double along, double length) {
  return plan.chainage_from_end ? length - along : along;
}

namespace {

// The sheets as if the drawing's unit were a metre, on a frame shrunk by
// the unit's length in metres instead: a unit of m metres covers as much
// paper at 1:N as a metre does on a frame 1/m as large.
std::vector<Sheet> LayOutInMetres(const Plan& plan, const SheetOptions& options, const Box& frame) {
  const double fw = frame.Width() / options.metres_per_unit;
  const double fh = frame.Height() / options.metres_per_unit;

  // The whole plan, north up: its vertices' extent first, then its arcs'
  // chords within a thousandth of that.
  Extent vertices;
  for (const PlanLine& l : plan.lines) {
    for (const Point2& p : l.line.vertices) vertices.Add(p, 1, 0);
  }
  const double chord_off = std::max(vertices.Width(), vertices.Height()) / 1000;
  Extent all;
  for (const PlanLine& l : plan.lines) {
    for (const Point2& p : PointsOf(l, chord_off > 0 ? chord_off : 1)) all.Add(p, 1, 0);
  }
  // The overview fits the paper whatever the sheets' scale.
  const double fit = StandardScaleToFit(all.Width(), all.Height(), fw, fh);
  Sheet whole;
  whole.view = ViewOf(all, 0, options.scale > 0 && !options.sheets ? options.scale : fit, frame);
  whole.frame = frame;
  if (!options.sheets && !options.from && !options.to) {
    whole.cropped = !Fits(all, whole.view.scale, fw, fh);
    if (plan.centre_line) {
      const double length = geometry::PolylineIndex(plan.lines[*plan.centre_line].line).Length();
      SetRange(plan, whole, 0, length, length);
    }
    return {whole};
  }
  if (!plan.centre_line) {
    throw std::runtime_error(
        "a window along the river needs its centre line, and the plan has none");
  }
  const double length = geometry::PolylineIndex(plan.lines[*plan.centre_line].line).Length();
  if (!(length > 0)) throw std::runtime_error("the centre line has no length to lay windows along");
  const std::vector<SectionSpan> spans = SectionsAlong(plan, length);
  const double scale = options.scale > 0 ? options.scale
                       : options.sheets  ? SheetScale(spans, options, fw, fh)
                                         : 0;
  // Chords of the centre line fine enough at the scale of the sheets, or
  // of the finest scale a window may take.
  if (scale > 0 && length / (fw * scale / 1000) > kMostSheets) {
    throw std::runtime_error("the reach would take more than " + std::to_string(kMostSheets) +
                             " sheets at 1:" + host::DoubleToText(scale) +
                             "; give a smaller scale (a larger --scale)");
  }
  const double piece = scale > 0 ? fw * scale / 1000 / 20 : length / 500;
  const Chain chain = ChainOf(plan, kChordMm * (scale > 0 ? scale : 100) / 1000, piece);
  if (chain.points.size() < 2) {
    throw std::runtime_error("the centre line has no length to lay windows along");
  }

  if (!options.sheets) {
    // One window between two chainages.
    const double lo_ch = ChainageOf(plan, 0, length), hi_ch = ChainageOf(plan, length, length);
    const double ch_min = std::min(lo_ch, hi_ch), ch_max = std::max(lo_ch, hi_ch);
    const double from = options.from.value_or(ch_min), to = options.to.value_or(ch_max);
    const double slack = 1e-9 * std::max(1.0, length);
    if (from >= to || from < ch_min - slack || to > ch_max + slack) {
      throw std::runtime_error("the chainages " + host::FormatFixed(from, 3) + " to " +
                               host::FormatFixed(to, 3) + " are no window of the centre line (" +
                               host::FormatFixed(ch_min, 3) + " to " +
                               host::FormatFixed(ch_max, 3) + ")");
    }
    double a = plan.chainage_from_end ? length - to : from;
    double b = plan.chainage_from_end ? length - from : to;
    a = std::clamp(a, 0.0, length);
    b = std::clamp(b, 0.0, length);
    const auto first = static_cast<size_t>(
        std::upper_bound(chain.along.begin(), chain.along.end(), a) - chain.along.begin());
    const auto last = static_cast<size_t>(
        std::lower_bound(chain.along.begin(), chain.along.end(), b) - chain.along.begin());
    // Chainage runs left to right.
    const double angle = ChordAngle(PointAt(chain, a), PointAt(chain, b)) +
                         (plan.chainage_from_end ? std::numbers::pi : 0);
    Extent e = WindowExtent(chain, first > 0 ? first - 1 : 0,
                            std::min(last, chain.points.size() - 1), spans, angle, true);
    const double c = std::cos(angle), s = std::sin(angle);
    e.Add(PointAt(chain, a), c, s);
    e.Add(PointAt(chain, b), c, s);
    Sheet sheet;
    sheet.view = ViewOf(
        e, angle,
        options.scale > 0 ? options.scale : StandardScaleToFit(e.Width(), e.Height(), fw, fh),
        frame);
    sheet.frame = frame;
    sheet.from = from;
    sheet.to = to;
    sheet.cropped = !Fits(e, sheet.view.scale, fw, fh);
    return {sheet};
  }

  // Consecutive windows.
  const double longest = LongestSpan(spans);
  const double world_w = fw * scale / 1000, world_h = fh * scale / 1000;

  // Sections longer than the frame is high are cut at its edge; they cannot
  // decide where a window ends.
  const bool with_sections = longest <= world_h;
  std::vector<Sheet> sheets;
  size_t i = 0;
  const size_t n = chain.points.size();
  while (true) {
    size_t j = i + 1;
    double angle = ChordAngle(chain.points[i], chain.points[j]);
    while (j + 1 < n) {
      const double next = ChordAngle(chain.points[i], chain.points[j + 1]);
      const Extent e = WindowExtent(chain, i, j + 1, spans, next, with_sections);
      if (e.Width() > world_w || e.Height() > world_h) break;
      ++j;
      angle = next;
    }
    Sheet sheet;
    sheet.view =
        ViewOf(WindowExtent(chain, i, j, spans, angle, with_sections), angle, scale, frame);
    sheet.frame = frame;
    SetRange(plan, sheet, chain.along[i], chain.along[j], length);
    sheets.push_back(sheet);
    if (j + 1 >= n) break;
    // The next window starts a share of this one's length back.
    const double back = chain.along[j] - options.overlap * (chain.along[j] - chain.along[i]);
    size_t next = static_cast<size_t>(
        std::lower_bound(chain.along.begin(), chain.along.end(), back) - chain.along.begin());
    i = std::clamp(next, i + 1, j);
  }
  // Chainage that runs from the centre line's end runs the other way on
  // paper too: the sheets are turned half round and put in chainage order.
  if (plan.chainage_from_end) {
    for (Sheet& sheet : sheets) sheet.view.angle += std::numbers::pi;
    std::reverse(sheets.begin(), sheets.end());
  }
  // The overview: the whole plan, each window's frame on it.
  whole.overview = true;
  SetRange(plan, whole, 0, length, length);
  for (const Sheet& s : sheets) {
    whole.windows.push_back(
        {s.view.ToDrawing({frame.x0, frame.y0}), s.view.ToDrawing({frame.x1, frame.y0}),
         s.view.ToDrawing({frame.x1, frame.y1}), s.view.ToDrawing({frame.x0, frame.y1})});
    for (const Point2& corner : whole.windows.back()) all.Add(corner, 1, 0);
  }
  // Every window's frame lies whole on the overview.
  whole.view = ViewOf(all, 0, StandardScaleToFit(all.Width(), all.Height(), fw, fh), frame);
  sheets.insert(sheets.begin(), whole);
  return sheets;
}

}  // namespace

std::vector<Sheet> LayOutSheets(const Plan& plan, const SheetOptions& options, const Box& frame) {
  std::vector<Sheet> sheets = LayOutInMetres(plan, options, frame);
  for (Sheet& sheet : sheets) sheet.view.metres_per_unit = options.metres_per_unit;
  return sheets;
}

}  // namespace palvane::tools::picture
