#pragma once

// Nearest places on, and crossings with, a polyline of straight and arc
// segments in plan. Distances along the line are measured exactly as
// point-along measures them: segment lengths summed in vertex order, an arc
// segment counting its arc length, the closing segment of a closed line
// last.

#include <array>
#include <optional>
#include <vector>

namespace palvane::geometry {

using Point2 = std::array<double, 2>;

struct PlanPolyline {
  std::vector<Point2> vertices;
  std::vector<double> bulges;  // one per vertex: the bulge of the segment leaving it
  bool closed = false;
};

// One segment, with what its arc needs worked out once.
struct PlanSegment {
  Point2 start, end;
  double bulge = 0;
  double chord = 0;
  double length = 0;  // the arc's length for an arc, the chord otherwise
  double from = 0;    // distance along the line at the segment's start
  // For an arc (bulge non-zero and chord non-zero):
  double sweep = 0;          // included angle, 4 atan |bulge|
  double radius = 0;         // chord / (2 sin(sweep / 2))
  double turn = 0;           // +1 counter-clockwise (bulge > 0), -1 clockwise
  double start_tangent = 0;  // direction of travel leaving `start`, radians

  bool IsArc() const { return radius > 0; }
  // The point `d` along the segment from its start (0 <= d <= length) and
  // the direction of travel there, as point-along places it.
  Point2 PointAt(double d, double* bearing = nullptr) const;
};

// The segments of `line` in walking order, with their running distances.
// Needs no vertex and bulge counts to agree: a missing bulge is 0.
std::vector<PlanSegment> SegmentsOf(const PlanPolyline& line);

// Where a point lies against a line.
struct NearestPlace {
  double chainage = 0;   // distance along the line to `point`
  Point2 point{};        // the nearest place on the line
  double distance = 0;   // from the given point to `point`
  double offset = 0;     // signed: positive to the left of the direction of travel
  double bearing = 0;    // direction of travel at `point`, radians from 0 up to 2 pi
  int beyond = 0;        // -1 behind the first vertex, +1 past the last (open lines only)
  double beyond_by = 0;  // how far behind or past, along the end's direction
};

// Crossing of a straight piece with a line.
struct Crossing {
  double chainage = 0;  // along the line
  double along = 0;     // along the piece, 0 at its start and 1 at its end
  Point2 point{};
};

// A uniform grid of boxes, for finding which of many boxes a box meets
// without trying them all.
class BoxGrid {
 public:
  struct Box {
    double min_x, min_y, max_x, max_y;
  };
  explicit BoxGrid(std::vector<Box> boxes);
  // The indices of the boxes that may meet `box`, ascending, each once.
  std::vector<size_t> Candidates(const Box& box) const;

 private:
  size_t CellOf(double v, double origin, size_t count) const;
  std::vector<Box> boxes_;
  std::vector<size_t> everywhere_;  // boxes with a coordinate that is not finite
  double origin_x_ = 0, origin_y_ = 0, cell_ = 1;
  size_t columns_ = 0, rows_ = 0;
  std::vector<std::vector<size_t>> cells_;
};

// A line prepared for many questions.
class PolylineIndex {
 public:
  explicit PolylineIndex(const PlanPolyline& line);
  const std::vector<PlanSegment>& segments() const { return segments_; }
  double Length() const;
  bool closed() const { return closed_; }

  // The nearest place on the line to `p`. Of equally near places the one of
  // the smallest chainage. Nothing for a line with no segment.
  std::optional<NearestPlace> Nearest(const Point2& p) const;

  // Where the straight piece from `a` to `b` meets the line, in order of
  // chainage. A touch counts as a crossing; the same place reached through
  // two segments (a shared vertex) counts once.
  std::vector<Crossing> Crossings(const Point2& a, const Point2& b) const;

 private:
  std::vector<PlanSegment> segments_;
  bool closed_ = false;
  BoxGrid grid_;
};

// Where a path, given as a chain of points (a profile with its arcs as
// chords), meets `line`, in order of chainage: its own pieces, not the
// line from its first point to its last. A crossing at a point the path's
// pieces share counts once.
std::vector<Crossing> CrossingsOfPath(const PolylineIndex& line, const std::vector<Point2>& path);

// The box a segment's straight piece or arc stays within.
BoxGrid::Box BoxOf(const PlanSegment& segment);
BoxGrid::Box BoxOf(const Point2& a, const Point2& b);

// Whether the straight pieces a-b and c-d meet (touching counts).
bool PiecesMeet(const Point2& a, const Point2& b, const Point2& c, const Point2& d);

// An angle brought into [0, 2 pi).
double NormalAngle(double angle);

}  // namespace palvane::geometry
