#include "picture/labels.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace palvane::tools::picture {
namespace {

using geometry::Point2;

constexpr double kLinePad = 0.3;  // between a label and a line
// Places tried around a vertex: rings further and further out, and
// directions on each.
constexpr int kRings = 16;
constexpr int kDirections = 24;

Box Grown(const Box& b, double by) { return {b.x0 - by, b.y0 - by, b.x1 + by, b.y1 + by}; }

Box BoxAround(const Point2& centre, double width, double height) {
  return {centre[0] - width / 2, centre[1] - height / 2, centre[0] + width / 2,
          centre[1] + height / 2};
}

// How far a box of `width` by `height` reaches from its centre in direction
// `u` (a unit vector).
double Reach(const Point2& u, double width, double height) {
  return std::fabs(u[0]) * width / 2 + std::fabs(u[1]) * height / 2;
}

// The point of `box` nearest to `p`.
Point2 NearestOn(const Box& box, const Point2& p) {
  return {std::clamp(p[0], box.x0, box.x1), std::clamp(p[1], box.y0, box.y1)};
}

}  // namespace

bool PieceMeetsBox(const Point2& a, const Point2& b, const Box& box) {
  // Liang-Barsky: clip the piece against the box's four sides.
  double t0 = 0, t1 = 1;
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a[0] - box.x0, box.x1 - a[0], a[1] - box.y0, box.y1 - a[1]};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  return true;
}

LabelPlacer::LabelPlacer(const Box& area, double cell) : area_(area), cell_(std::max(cell, 0.5)) {
  columns_ = static_cast<size_t>(std::ceil(std::max(area.Width(), cell_) / cell_));
  rows_ = static_cast<size_t>(std::ceil(std::max(area.Height(), cell_) / cell_));
  piece_cells_.resize(columns_ * rows_);
  box_cells_.resize(columns_ * rows_);
  vertex_cells_.resize(columns_ * rows_);
}

LabelPlacer::CellRange LabelPlacer::Cells(const Box& box) const {
  const auto column = [&](double x) {
    return static_cast<size_t>(
        std::clamp(std::floor((x - area_.x0) / cell_), 0.0, static_cast<double>(columns_ - 1)));
  };
  const auto row = [&](double y) {
    return static_cast<size_t>(
        std::clamp(std::floor((y - area_.y0) / cell_), 0.0, static_cast<double>(rows_ - 1)));
  };
  return {column(box.x0), column(box.x1), row(box.y0), row(box.y1)};
}

void LabelPlacer::AddLine(const Point2& a, const Point2& b, double width) {
  const double room = kLinePad + std::max(width, 0.0) / 2;
  const Box bounds = Grown(
      {std::min(a[0], b[0]), std::min(a[1], b[1]), std::max(a[0], b[0]), std::max(a[1], b[1])},
      room);
  if (!bounds.Overlaps(Grown(area_, 1)) && !Grown(area_, 1).Contains(bounds)) return;
  pieces_.push_back({a, b, bounds, room});
  max_room_ = std::max(max_room_, room);
  const size_t index = pieces_.size() - 1;
  const CellRange range = Cells(bounds);
  for (size_t r = range.r0; r <= range.r1; ++r) {
    for (size_t c = range.c0; c <= range.c1; ++c) {
      const Box rect{area_.x0 + static_cast<double>(c) * cell_,
                     area_.y0 + static_cast<double>(r) * cell_,
                     area_.x0 + static_cast<double>(c + 1) * cell_,
                     area_.y0 + static_cast<double>(r + 1) * cell_};
      // A cell at the grid's edge holds what lies beyond it too.
      const bool edge = c == 0 || r == 0 || c + 1 == columns_ || r + 1 == rows_;
      if (edge || PieceMeetsBox(a, b, Grown(rect, room))) {
        piece_cells_[r * columns_ + c].push_back(index);
      }
    }
  }
}

void LabelPlacer::AddBlocked(const Box& box) {
  boxes_.push_back(box);
  const CellRange range = Cells(box);
  for (size_t r = range.r0; r <= range.r1; ++r) {
    for (size_t c = range.c0; c <= range.c1; ++c) {
      box_cells_[r * columns_ + c].push_back(boxes_.size() - 1);
    }
  }
}

bool LabelPlacer::Free(const Box& box) const {
  if (!area_.Contains(box)) return false;
  const Box near_boxes = Grown(box, kClearance);
  const CellRange range = Cells(Grown(box, std::max(kClearance, max_room_)));
  // Labels first: one box is quicker to try than the many pieces of a cell.
  for (size_t r = range.r0; r <= range.r1; ++r) {
    for (size_t c = range.c0; c <= range.c1; ++c) {
      for (size_t i : box_cells_[r * columns_ + c]) {
        if (boxes_[i].Overlaps(near_boxes)) return false;
      }
    }
  }
  for (size_t r = range.r0; r <= range.r1; ++r) {
    for (size_t c = range.c0; c <= range.c1; ++c) {
      for (size_t i : piece_cells_[r * columns_ + c]) {
        const Piece& p = pieces_[i];
        if (p.bounds.Overlaps(box) && PieceMeetsBox(p.a, p.b, Grown(box, p.room))) return false;
      }
    }
  }
  return true;
}

bool LabelPlacer::LeaderFree(const Point2& a, const Point2& b, bool clear_of_lines) const {
  const Box bounds{std::min(a[0], b[0]), std::min(a[1], b[1]), std::max(a[0], b[0]),
                   std::max(a[1], b[1])};
  const CellRange range = Cells(Grown(bounds, kClearance));
  for (size_t r = range.r0; r <= range.r1; ++r) {
    for (size_t c = range.c0; c <= range.c1; ++c) {
      for (size_t i : box_cells_[r * columns_ + c]) {
        if (PieceMeetsBox(a, b, Grown(boxes_[i], kClearance / 2))) return false;
      }
    }
  }
  if (!clear_of_lines) return true;
  // From a little off the vertex, where the label's own line meets it.
  const double length = std::hypot(b[0] - a[0], b[1] - a[1]);
  if (length <= kLinePad) return true;
  const double t = kLinePad / length;
  const Point2 from{a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t};
  for (size_t r = range.r0; r <= range.r1; ++r) {
    for (size_t c = range.c0; c <= range.c1; ++c) {
      for (size_t i : piece_cells_[r * columns_ + c]) {
        const Piece& p = pieces_[i];
        if (p.bounds.Overlaps(Grown(bounds, kLinePad)) && geometry::PiecesMeet(from, b, p.a, p.b)) {
          return false;
        }
      }
    }
  }
  return true;
}

void LabelPlacer::AddTried(const Point2& vertex) {
  vertices_.push_back(vertex);
  const CellRange at = Cells({vertex[0], vertex[1], vertex[0], vertex[1]});
  vertex_cells_[at.r0 * columns_ + at.c0].push_back(vertices_.size() - 1);
}

bool LabelPlacer::NearTriedVertex(const Point2& p, double distance) const {
  const CellRange range =
      Cells({p[0] - distance, p[1] - distance, p[0] + distance, p[1] + distance});
  for (size_t r = range.r0; r <= range.r1; ++r) {
    for (size_t c = range.c0; c <= range.c1; ++c) {
      for (size_t i : vertex_cells_[r * columns_ + c]) {
        if (std::hypot(vertices_[i][0] - p[0], vertices_[i][1] - p[1]) < distance) return true;
      }
    }
  }
  return false;
}

std::optional<PlacedLabel> LabelPlacer::Place(const LabelToPlace& label) {
  const double w = label.width, h = label.height;
  const double gap = std::max(h / 4, kClearance);
  Point2 u{label.first[0] - label.last[0], label.first[1] - label.last[1]};
  const double line_length = std::hypot(u[0], u[1]);
  if (line_length > 0) {
    u = {u[0] / line_length, u[1] / line_length};
  } else {
    u = {1, 0};
  }
  // A box that is free, with a leader when it stands off the vertex: one
  // that crosses no label, and with `clear_of_lines` no line either.
  const auto accept = [&](const Box& box, bool leader,
                          bool clear_of_lines = true) -> std::optional<PlacedLabel> {
    PlacedLabel placed{box, std::nullopt};
    if (leader) {
      const Point2 to = NearestOn(box, label.first);
      if (!LeaderFree(label.first, to, clear_of_lines)) return std::nullopt;
      placed.leader = std::array<Point2, 2>{label.first, to};
    }
    AddBlocked(box);
    if (placed.leader) AddLine((*placed.leader)[0], (*placed.leader)[1]);
    AddTried(label.first);
    return placed;
  };
  // Beyond the first vertex, on the line's extension, then a little further.
  const double out = gap + Reach(u, w, h);
  for (int k = 0; k < 4; ++k) {
    const double d = out + k * h;
    const Box box = BoxAround({label.first[0] + u[0] * d, label.first[1] + u[1] * d}, w, h);
    if (!Free(box)) continue;
    if (auto placed = accept(box, k > 1)) return placed;
  }
  // Beside the line, on either side, from its first vertex inwards.
  const Point2 n{-u[1], u[0]};
  for (double t : {0.0, 0.15, 0.3, 0.45, 0.6, 0.75, 0.9}) {
    const Point2 at{label.first[0] - u[0] * t * line_length,
                    label.first[1] - u[1] * t * line_length};
    for (double side : {1.0, -1.0}) {
      const Point2 normal{n[0] * side, n[1] * side};
      const double d = gap + Reach(normal, w, h);
      const Box box = BoxAround({at[0] + normal[0] * d, at[1] + normal[1] * d}, w, h);
      if (!Free(box)) continue;
      if (auto placed = accept(box, t > 0.2)) return placed;
    }
  }
  // Around the first vertex, further and further out, with a leader that
  // crosses no line; then with one that crosses lines but no label.
  const double heading = std::atan2(u[1], u[0]);
  for (const bool clear_of_lines : {true, false}) {
    for (int ring = 1; ring <= kRings; ++ring) {
      for (int k = 0; k < kDirections; ++k) {
        const double turn =
            (k % 2 == 0 ? 1 : -1) * ((k + 1) / 2) * 2 * std::numbers::pi / kDirections;
        const Point2 dir{std::cos(heading + turn), std::sin(heading + turn)};
        const double d = gap + Reach(dir, w, h) + ring * 1.5 * h;
        const Box box = BoxAround({label.first[0] + dir[0] * d, label.first[1] + dir[1] * d}, w, h);
        if (!Free(box)) continue;
        if (auto placed = accept(box, true, clear_of_lines)) return placed;
      }
    }
  }
  AddTried(label.first);
  return std::nullopt;
}

}  // namespace palvane::tools::picture
