#include "picture/section_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "host/convert.h"

namespace palvane::tools::picture {
namespace {

constexpr double kMargin = 10;
constexpr Font kText{2.0};
constexpr Font kSmall{1.6};
constexpr Font kHeading{2.4, true};
constexpr Rgb kGridGrey{0.82, 0.82, 0.82};
constexpr Rgb kBankGreen{0.1, 0.5, 0.2};
constexpr int kMostGridLines = 200;

std::string Round(double value, double step) {
  // As many decimals as the step needs.
  int decimals = 0;
  for (double s = step; decimals < 6 && std::fabs(s - std::round(s)) > 1e-9; s *= 10) ++decimals;
  return host::FormatFixedWithPoint(value, decimals);
}

class Plotter {
 public:
  Plotter(Canvas& canvas, const PlotOptions& options) : c_(canvas), o_(options) {}

  // The page's heading: what is plotted on the left, wrapped beside the
  // date and page number on the right. Returns its height.
  double Header(size_t page, size_t pages, bool draw = true) {
    const std::string left = "Cross-sections of " + o_.drawing_name + ", vertical exaggeration " +
                             host::DoubleToText(o_.exaggeration) + " times";
    const std::string right =
        "Date: " + o_.date + ", page " + std::to_string(page) + " of " + std::to_string(pages);
    const Box r = c_.Measure(right, kText);
    const Font wrapped{kText.height, false,
                       std::max(20.0, c_.paper().width - 2 * kMargin - r.Width() - 5)};
    if (draw) {
      c_.Text(left, kMargin, kMargin, wrapped, kBlack);
      c_.Text(right, c_.paper().width - kMargin - r.Width(), kMargin, kText, kBlack);
    }
    return std::max(c_.Measure(left, wrapped).Height(), r.Height());
  }

  // One section in `panel`; false when the panel leaves no room for its
  // plot beside its title, or it has fewer than two points.
  bool Section(const sections::CrossSection& x, const Box& panel) {
    c_.Rectangle(panel, 0.25, kBlack);
    std::string title = x.name.empty() ? "Section " + x.number : x.name;
    title += ", chainage " + host::FormatFixedWithPoint(x.chainage, 3) + ", reach " + x.reach;
    if (!x.water_date.empty()) title += ", surveyed " + x.water_date;
    const Font heading{kHeading.height, true, panel.Width() - 4};
    const double top = panel.y0 + 1.5 + c_.Measure(title, heading).Height() + 3;
    // The plot's box, leaving room for the axes' numbers.
    const Box plot{panel.x0 + 16, top + 4, panel.x1 - 4, panel.y1 - 9};
    if (plot.Width() < 10 || plot.Height() < 10 || x.points.size() < 2) return false;
    c_.Text(title, panel.x0 + 2, panel.y0 + 1.5, heading, kBlack);
    double s0 = x.points.front().station, s1 = x.points.back().station;
    double z0 = std::numeric_limits<double>::infinity(), z1 = -z0;
    for (const auto& p : x.points) {
      z0 = std::min(z0, p.elevation);
      z1 = std::max(z1, p.elevation);
      s0 = std::min(s0, p.station);
      s1 = std::max(s1, p.station);
    }
    // The banks stand within the plot.
    s0 = std::min({s0, x.left_bank, x.right_bank});
    s1 = std::max({s1, x.left_bank, x.right_bank});
    // A range too small to tell from its values' rounding is widened.
    const double least_s = std::max(1e-3, 1e-9 * std::max(std::fabs(s0), std::fabs(s1)));
    const double least_z = std::max(1e-3, 1e-9 * std::max(std::fabs(z0), std::fabs(z1)));
    if (!(s1 - s0 >= least_s)) s1 = s0 + least_s;
    if (!(z1 - z0 >= least_z)) z1 = z0 + least_z;
    // One horizontal scale, the vertical that times the exaggeration; the
    // section fits the box and stands centred in it.
    const double mm =
        std::min(plot.Width() / (s1 - s0), plot.Height() / ((z1 - z0) * o_.exaggeration));
    const double w = (s1 - s0) * mm, h = (z1 - z0) * mm * o_.exaggeration;
    const double x0 = plot.x0 + (plot.Width() - w) / 2, y0 = plot.y1 - (plot.Height() - h) / 2;
    const auto X = [&](double s) { return x0 + (s - s0) * mm; };
    const auto Y = [&](double z) { return y0 - (z - z0) * mm * o_.exaggeration; };
    // Grid of round values, numbered along the axes.
    const double sx = GridStep(s1 - s0, std::max(2, static_cast<int>(w / 15)));
    const double sz = GridStep(z1 - z0, std::max(2, static_cast<int>(h / 8)));
    double last_right = -1e9;
    const double first_s = std::ceil(s0 / sx) * sx;
    for (int i = 0; i <= kMostGridLines; ++i) {
      const double s = first_s + i * sx;
      if (s > s1 + 1e-9 * sx) break;
      c_.Stroke({{X(s), y0}, {X(s), y0 - h}}, 0.1, kGridGrey);
      const std::string t = Round(s, sx);
      const Box b = c_.Measure(t, kSmall);
      if (X(s) - b.Width() / 2 > last_right + 1) {
        c_.Text(t, X(s) - b.Width() / 2, y0 + 1, kSmall, kBlack);
        last_right = X(s) + b.Width() / 2;
      }
    }
    double last_top = 1e9;
    const double first_z = std::ceil(z0 / sz) * sz;
    for (int i = 0; i <= kMostGridLines; ++i) {
      const double z = first_z + i * sz;
      if (z > z1 + 1e-9 * sz) break;
      c_.Stroke({{x0, Y(z)}, {x0 + w, Y(z)}}, 0.1, kGridGrey);
      const std::string t = Round(z, sz);
      const Box b = c_.Measure(t, kSmall);
      if (Y(z) + b.Height() / 2 < last_top - 0.5) {
        c_.Text(t, x0 - 1.5 - b.Width(), Y(z) - b.Height() / 2, kSmall, kBlack);
        last_top = Y(z) - b.Height() / 2;
      }
    }
    const std::string axis =
        "Station (" + o_.unit + ") from the left bank's end; elevation (" + o_.unit + ")";
    c_.Text(axis, panel.x0 + 2, panel.y1 - 1 - c_.Measure(axis, kSmall).Height(), kSmall, kGrey);
    // The banks, and the lowest point between them.
    std::optional<Box> left_mark;
    for (const auto& [station, name] : {std::pair{x.left_bank, "LB"}, {x.right_bank, "RB"}}) {
      c_.Stroke({{X(station), y0}, {X(station), y0 - h}}, 0.25, kBankGreen);
      const Box b = c_.Measure(name, kSmall);
      const double at =
          std::clamp(X(station) - b.Width() / 2, panel.x0 + 1, panel.x1 - 1 - b.Width());
      Box mark{at, y0 - h - 1 - b.Height(), at + b.Width(), y0 - h - 1};
      // Banks close together: the right one's mark a row higher.
      if (left_mark && mark.x0 < left_mark->x1 + 0.5) {
        mark.y0 -= b.Height() + 0.3;
        mark.y1 -= b.Height() + 0.3;
      }
      if (!left_mark) left_mark = mark;
      c_.Text(name, mark.x0, mark.y0, kSmall, kBankGreen);
    }
    std::vector<geometry::Point2> line;
    for (const auto& p : x.points) line.push_back({X(p.station), Y(p.elevation)});
    c_.Stroke(line, 0.35, kBlack);
    for (const auto& p : x.points) {
      if ((p.markers & sections::kLowest) == 0) continue;
      const double px = X(p.station), py = Y(p.elevation);
      // A triangle pointing down at it, the elevation beside, both above
      // the station numbers.
      c_.Stroke({{px - 1.2, py - 2}, {px + 1.2, py - 2}, {px, py}}, 0.25, kCentreBlue, true);
      const std::string t = "lowest " + host::FormatFixedWithPoint(p.elevation, 2);
      const Box b = c_.Measure(t, kSmall);
      c_.Text(t, std::min(px + 2, panel.x1 - 1 - b.Width()), py - 2 - b.Height(), kSmall,
              kCentreBlue);
    }
    return true;
  }

 private:
  Canvas& c_;
  const PlotOptions& o_;
};

}  // namespace

double GridStep(double range, int count) {
  if (!(range > 0) || count < 1) return 1;
  const double rough = range / count;
  const double decade = std::pow(10, std::floor(std::log10(rough)));
  for (double step : {1.0, 2.0, 5.0, 10.0}) {
    if (step * decade >= rough) return step * decade;
  }
  return 10 * decade;
}

SectionPlots DrawSectionPlots(const sections::Survey& survey, const PlotOptions& options,
                              PictureFormat format) {
  std::vector<const sections::CrossSection*> all;
  for (const auto& reach : survey.reaches) {
    for (const auto& x : reach.sections) all.push_back(&x);
  }
  std::stable_sort(all.begin(), all.end(), [](const auto* a, const auto* b) {
    return a->reach != b->reach ? a->reach < b->reach : a->chainage < b->chainage;
  });
  if (all.empty()) return {};
  SectionPlots plots;
  const size_t per_page = std::clamp<size_t>(options.per_page, 1, 12);
  const size_t columns = per_page == 1 ? 1 : per_page <= 4 ? 2 : 3;
  const size_t rows = (per_page + columns - 1) / columns;
  const size_t pages = (all.size() + per_page - 1) / per_page;
  Canvas canvas(format, options.paper, "Cross-sections of " + options.drawing_name);
  Plotter plotter(canvas, options);
  const double top = kMargin + plotter.Header(pages, pages, false) + 3, gap = 4;
  const double cell_w = (options.paper.width - 2 * kMargin - gap * (columns - 1)) / columns;
  const double cell_h = (options.paper.height - top - kMargin - gap * (rows - 1)) / rows;
  for (size_t page = 0; page < pages; ++page) {
    if (page > 0) canvas.NextPage();
    plotter.Header(page + 1, pages);
    for (size_t k = 0; k < per_page && page * per_page + k < all.size(); ++k) {
      const size_t column = k % columns, row = k / columns;
      const double x = kMargin + column * (cell_w + gap), y = top + row * (cell_h + gap);
      const sections::CrossSection& section = *all[page * per_page + k];
      if (!plotter.Section(section, {x, y, x + cell_w, y + cell_h})) {
        plots.skipped.push_back(section.number);
      }
    }
  }
  plots.files = canvas.Finish();
  return plots;
}

}  // namespace palvane::tools::picture
