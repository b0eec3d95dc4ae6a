#pragma once

// Sheets of paper laid over a plan: the paper's size, the scale, and the
// window of the drawing each sheet shows, turned so that the river runs
// across it. Lengths on paper are in millimetres, x to the right and y
// down from the paper's top left corner; a drawing unit is
// SheetOptions::metres_per_unit metres (1 unless the drawing is in feet).

#include <optional>
#include <string>
#include <vector>

#include "picture/plan.h"

namespace palvane::tools::picture {

struct Paper {
  std::string name;  // "A3"
  double width = 0, height = 0;
};

// A4 to A0 by name (any letter case), portrait or turned to landscape;
// nothing for another name.
std::optional<Paper> PaperNamed(const std::string& name, bool landscape);

struct SheetOptions {
  Paper paper{"A4", 210, 297};
  double scale = 0;  // 1:scale; 0 for the largest standard scale that fits
  double margin = 10;
  double label_height = 2.5;       // of capital letters, on paper
  std::optional<double> from, to;  // a window of chainage along the centre line
  bool sheets = false;             // consecutive windows along the reach
  double overlap = 0.1;            // of a window's length, shared with the next
  // Title block.
  std::string title, drawing_name, reach, date;
  // The drawing's unit: its length in metres, and its symbol on the scale bar.
  double metres_per_unit = 1;
  std::string unit = "m";
};

// The largest standard scale (1:100, 1:200, 1:250, 1:500, 1:1000, 1:1250,
// ...) at which a box of `width` by `height` drawing units fits a frame of
// `frame_width` by `frame_height` millimetres.
double StandardScaleToFit(double width, double height, double frame_width, double frame_height);

// A round length for a scale bar: the longest of 1, 2 or 5 times a power of
// ten that is at most `longest`.
double RoundLength(double longest);

// How drawing coordinates land on one sheet's map frame.
struct View {
  geometry::Point2 centre{};        // of the window, in the drawing
  double angle = 0;                 // the drawing direction that runs to the right, radians
  double scale = 1000;              // 1:scale
  geometry::Point2 frame_centre{};  // on paper
  double metres_per_unit = 1;       // of the drawing's unit

  geometry::Point2 ToPaper(const geometry::Point2& p) const;
  geometry::Point2 ToDrawing(const geometry::Point2& q) const;
  // Millimetres on paper per drawing unit.
  double MmPerUnit() const { return 1000 * metres_per_unit / scale; }
};

struct Box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  double Width() const { return x1 - x0; }
  double Height() const { return y1 - y0; }
  bool Overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
  bool Contains(const Box& o) const { return o.x0 >= x0 && o.x1 <= x1 && o.y0 >= y0 && o.y1 <= y1; }
};

struct Sheet {
  View view;
  Box frame;                       // the map's frame on paper
  std::optional<double> from, to;  // the chainage range shown, when known
  bool overview = false;
  // What the window holds is larger than the frame at the scale asked for,
  // and is cut at its edges.
  bool cropped = false;
  // On the overview: the other sheets' windows, corners in the drawing.
  std::vector<std::array<geometry::Point2, 4>> windows;
};

// The sheets over `plan` that `options` ask for, each with a map frame of
// `frame` (the paper less its margins and title block): one sheet of the
// whole plan; one window from `from` to `to`; or with `sheets`, an overview
// and consecutive windows along the centre line. Throws std::runtime_error
// for a window the plan cannot give (no centre line, a range off it).
std::vector<Sheet> LayOutSheets(const Plan& plan, const SheetOptions& options, const Box& frame);

// Chainage along the centre line at distance `along` from its first vertex,
// and back.
double ChainageOf(const Plan& plan, double along, double length);

}  // namespace palvane::tools::picture
