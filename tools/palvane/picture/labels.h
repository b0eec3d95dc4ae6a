#pragma once

// Labels placed on paper so that none covers another label, a line, or the
// sheet's furniture. Each label first tries the place beyond its line's
// first vertex, then places along its line, then places around that vertex
// with a leader back to it; a label that fits nowhere is not placed.

#include <optional>
#include <vector>

#include "geometry/polyline.h"
#include "picture/sheet.h"

namespace palvane::tools::picture {

struct LabelToPlace {
  double width = 0, height = 0;      // of the text's box, on paper
  geometry::Point2 first{}, last{};  // the line's ends on paper; the label belongs to `first`
};

struct PlacedLabel {
  Box box;
  // From the line's first vertex to the box, when the box stands off it.
  std::optional<std::array<geometry::Point2, 2>> leader;
};

class LabelPlacer {
 public:
  // Labels stay inside `area`. `cell` is the side of the cells obstacles are
  // filed in, about a label's height.
  explicit LabelPlacer(const Box& area, double cell = 5);

  // A straight piece of a line drawn on the sheet, `width` wide, that no
  // label may cover.
  void AddLine(const geometry::Point2& a, const geometry::Point2& b, double width = 0);
  // A part of the sheet no label may cover.
  void AddBlocked(const Box& box);

  // The first free place for `label`, which then blocks what it covers;
  // nothing when there is none.
  std::optional<PlacedLabel> Place(const LabelToPlace& label);

  // Whether a label was placed, or tried in vain, for a vertex within
  // `distance` of `p`. Where lines stand closer than a label is high, most
  // of their labels can have no place (and room only shrinks as labels are
  // placed): they are left out without trying every place for each.
  bool NearTriedVertex(const geometry::Point2& p, double distance) const;

  // Clearance kept around a label's box, on paper.
  static constexpr double kClearance = 0.5;

 private:
  struct Piece {
    geometry::Point2 a, b;
    Box bounds;       // with the room kept around it
    double room = 0;  // half its width and the room kept beside a line
  };
  // The cells a box covers: columns c0 to c1 and rows r0 to r1.
  struct CellRange {
    size_t c0, c1, r0, r1;
  };
  bool Free(const Box& box) const;
  bool LeaderFree(const geometry::Point2& a, const geometry::Point2& b, bool clear_of_lines) const;
  CellRange Cells(const Box& box) const;

  Box area_;
  double cell_;
  size_t columns_, rows_;
  std::vector<Piece> pieces_;
  double max_room_ = 0;
  std::vector<Box> boxes_;
  std::vector<geometry::Point2> vertices_;  // of the labels tried
  void AddTried(const geometry::Point2& vertex);
  std::vector<std::vector<size_t>> piece_cells_, box_cells_, vertex_cells_;
};

// Whether the straight piece from `a` to `b` meets `box` (touching counts).
bool PieceMeetsBox(const geometry::Point2& a, const geometry::Point2& b, const Box& box);

}  // namespace palvane::tools::picture
