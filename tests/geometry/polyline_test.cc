#include "geometry/polyline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace palvane::geometry {
namespace {

constexpr double kPi = std::numbers::pi;

struct Shape {
  const char* name;
  PlanPolyline line;
};

// Lines of every kind the survey drawings hold, and the awkward ones.
std::vector<Shape> Shapes() {
  return {
      {"zigzag", {{{0, 0}, {10, 0}, {10, 10}, {25, -5}}, {0, 0, 0, 0}, false}},
      {"half circles", {{{0, 0}, {10, 0}, {20, 0}}, {1, -1, 0}, false}},
      {"major arc", {{{0, 0}, {4, 0}, {4, 6}}, {2.5, 0, 0}, false}},
      {"tiny bulges", {{{0, 0}, {100, 0}, {200, 30}}, {1e-9, -1e-7, 0}, false}},
      {"closed with arcs", {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {0, 0.4, 0, -0.3}, true}},
      {"repeated vertices",
       {{{0, 0}, {0, 0}, {5, 5}, {5, 5}, {9, 1}, {9, 1}}, {0, 0.5, 0, 0, 0, 0}, false}},
      {"far from the origin",
       {{{312000, 745000}, {312090, 745040}, {312200, 745020}, {312310, 745100}},
        {0, 0.15, 0, -0.08},
        false}},
  };
}

PlanPolyline Reversed(const PlanPolyline& line) {
  PlanPolyline r;
  r.closed = line.closed;
  const size_t n = line.vertices.size();
  r.vertices.assign(line.vertices.rbegin(), line.vertices.rend());
  r.bulges.assign(n, 0.0);
  for (size_t i = 0; i + 1 < n; ++i) r.bulges[i] = -line.bulges[n - 2 - i];
  return r;
}

double Size(const PlanPolyline& line) {
  double lo_x = INFINITY, lo_y = INFINITY, hi_x = -INFINITY, hi_y = -INFINITY;
  for (const auto& v : line.vertices) {
    lo_x = std::min(lo_x, v[0]);
    lo_y = std::min(lo_y, v[1]);
    hi_x = std::max(hi_x, v[0]);
    hi_y = std::max(hi_y, v[1]);
  }
  return std::max(hi_x - lo_x, hi_y - lo_y);
}

Point2 PointAtChainage(const PolylineIndex& index, double chainage) {
  for (const PlanSegment& s : index.segments()) {
    if (chainage <= s.from + s.length) return s.PointAt(chainage - s.from);
  }
  const PlanSegment& last = index.segments().back();
  return last.PointAt(last.length);
}

std::vector<Point2> RandomPoints(const PlanPolyline& line, size_t count, uint64_t seed) {
  std::mt19937_64 engine(seed);
  const double size = Size(line);
  std::uniform_real_distribution<double> spread(-0.6 * size, 0.6 * size);
  std::vector<Point2> out;
  for (size_t i = 0; i < count; ++i) {
    const Point2& v = line.vertices[i % line.vertices.size()];
    out.push_back({v[0] + spread(engine), v[1] + spread(engine)});
  }
  return out;
}

TEST(PolylineTest, SegmentLengthsAreThoseOfPointAlong) {
  const PolylineIndex half({{{0, 0}, {10, 0}, {20, 0}}, {1, -1, 0}, false});
  EXPECT_NEAR(half.Length(), 10 * kPi, 1e-12);
  const PolylineIndex tiny({{{0, 0}, {100, 0}}, {1e-12, 0}, false});
  EXPECT_NEAR(tiny.Length(), 100, 1e-9);
  EXPECT_TRUE(tiny.segments()[0].IsArc());  // any non-zero bulge is an arc
  const PolylineIndex closed({{{0, 0}, {3, 0}, {3, 4}}, {0, 0, 0}, true});
  EXPECT_DOUBLE_EQ(closed.Length(), 12);
  EXPECT_EQ(closed.segments().size(), 3u);
  EXPECT_FALSE(PolylineIndex({{{1, 1}}, {0}, false}).Nearest({0, 0}));
}

// The nearest place is on the line, no sampled place of the line is nearer,
// and walking the line to its chainage gives it back.
TEST(PolylineTest, NearestIsOnTheLineAndNoSampleIsNearer) {
  for (const Shape& shape : Shapes()) {
    SCOPED_TRACE(shape.name);
    const PolylineIndex index(shape.line);
    const double scale = std::max(1.0, Size(shape.line));
    std::vector<Point2> samples;
    for (const PlanSegment& s : index.segments())
      for (int k = 0; k <= 400; ++k) samples.push_back(s.PointAt(s.length * k / 400));
    for (const Point2& p : RandomPoints(shape.line, 300, 7)) {
      const auto place = index.Nearest(p);
      ASSERT_TRUE(place);
      EXPECT_NEAR(std::hypot(p[0] - place->point[0], p[1] - place->point[1]), place->distance,
                  1e-9 * scale);
      const Point2 walked = PointAtChainage(index, place->chainage);
      EXPECT_NEAR(walked[0], place->point[0], 1e-9 * scale);
      EXPECT_NEAR(walked[1], place->point[1], 1e-9 * scale);
      double nearest_sample = INFINITY;
      for (const Point2& q : samples)
        nearest_sample = std::min(nearest_sample, std::hypot(p[0] - q[0], p[1] - q[1]));
      EXPECT_LE(place->distance, nearest_sample + 1e-9 * scale);
      EXPECT_GE(place->chainage, 0);
      EXPECT_LE(place->chainage, index.Length() + 1e-9 * scale);
    }
  }
}

TEST(PolylineTest, OffsetSignFlipsAndChainageMirrorsWhenTheLineIsReversed) {
  for (const Shape& shape : Shapes()) {
    if (shape.line.closed) continue;
    SCOPED_TRACE(shape.name);
    const PolylineIndex forward(shape.line), backward(Reversed(shape.line));
    const double scale = std::max(1.0, Size(shape.line));
    ASSERT_NEAR(forward.Length(), backward.Length(), 1e-9 * scale);
    int compared = 0;
    for (const Point2& p : RandomPoints(shape.line, 300, 11)) {
      const auto f = forward.Nearest(p), b = backward.Nearest(p);
      ASSERT_TRUE(f && b);
      // Only where the nearest place is one and the same both ways.
      if (std::hypot(f->point[0] - b->point[0], f->point[1] - b->point[1]) > 1e-9 * scale) continue;
      if (f->distance < 1e-6 * scale) continue;
      ++compared;
      EXPECT_NEAR(f->offset, -b->offset, 1e-9 * scale);
      EXPECT_NEAR(f->chainage, forward.Length() - b->chainage, 1e-9 * scale);
      EXPECT_EQ(f->beyond, -b->beyond);
    }
    EXPECT_GT(compared, 200);
  }
}

TEST(PolylineTest, OffsetIsPositiveOnTheLeftAndEndsAreReportedAsBeyond) {
  const PolylineIndex line({{{0, 0}, {10, 0}}, {0, 0}, false});
  auto left = line.Nearest({4, 3});
  EXPECT_DOUBLE_EQ(left->offset, 3);
  EXPECT_DOUBLE_EQ(left->chainage, 4);
  EXPECT_EQ(left->beyond, 0);
  EXPECT_DOUBLE_EQ(line.Nearest({4, -2})->offset, -2);
  const auto before = line.Nearest({-5, 1});
  EXPECT_EQ(before->beyond, -1);
  EXPECT_DOUBLE_EQ(before->chainage, 0);
  EXPECT_DOUBLE_EQ(before->beyond_by, 5);
  EXPECT_DOUBLE_EQ(before->offset, 1);
  const auto after = line.Nearest({12, -1});
  EXPECT_EQ(after->beyond, 1);
  EXPECT_DOUBLE_EQ(after->chainage, 10);
  EXPECT_DOUBLE_EQ(after->beyond_by, 2);
  EXPECT_DOUBLE_EQ(after->offset, -1);
  // A closed line has no ends.
  const PolylineIndex ring({{{0, 0}, {10, 0}, {10, 10}}, {0, 0, 0}, true});
  EXPECT_EQ(ring.Nearest({-5, -1})->beyond, 0);
  // Vertex 0 of a closed line is a corner like any other: a sharp one here.
  const PolylineIndex triangle({{{0, 0}, {-8.66, 5}, {-10, 0}}, {0, 0, 0}, true});
  const auto outside = triangle.Nearest({0.2, -0.98});
  EXPECT_EQ(outside->chainage, 0);
  EXPECT_LT(outside->offset, 0);  // counter-clockwise: outside is on the right
  EXPECT_GT(triangle.Nearest({-1, 0.2})->offset, 0);
  // The same with a first segment of no length: the corner is found past it.
  const PolylineIndex repeated({{{0, 0}, {0, 0}, {10, 0}, {10, 10}}, {0, 0, 0, 0}, true});
  EXPECT_LT(repeated.Nearest({-1, 0.2})->offset, 0);
  EXPECT_GT(repeated.Nearest({1, 0.5})->offset, 0);
  // Outside the corner of a convex bend, by the mean direction there.
  const PolylineIndex corner({{{0, 0}, {10, 0}, {10, 10}}, {0, 0, 0}, false});
  EXPECT_LT(corner.Nearest({12, -2})->offset, 0);
  EXPECT_GT(corner.Nearest({8, 2})->offset, 0);
}

TEST(PolylineTest, EquallyNearPlacesTakeTheSmallestChainage) {
  // The centre of a half circle is equally near every place on it.
  const PolylineIndex half({{{0, 0}, {10, 0}}, {1, 0}, false});
  EXPECT_NEAR(half.Nearest({5, 0})->chainage, 0, 1e-12);
  // Midway between two parallel runs of a hairpin.
  const PolylineIndex hairpin({{{0, 0}, {10, 0}, {10, 2}, {0, 2}}, {0, 0, 0, 0}, false});
  const auto place = hairpin.Nearest({5, 1});
  EXPECT_DOUBLE_EQ(place->chainage, 5);
  // A vertex belongs to the segment arriving at it.
  const PolylineIndex bend({{{0, 0}, {10, 0}, {10, 10}}, {0, 0, 0}, false});
  const auto at_vertex = bend.Nearest({11, -1});
  EXPECT_DOUBLE_EQ(at_vertex->chainage, 10);
  EXPECT_DOUBLE_EQ(at_vertex->bearing, 0);
}

double DistanceToPiece(const Point2& p, const Point2& a, const Point2& b) {
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  const double t =
      std::clamp(((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy);
}

TEST(PolylineTest, ACrossingLiesOnBothLines) {
  for (const Shape& shape : Shapes()) {
    SCOPED_TRACE(shape.name);
    const PolylineIndex index(shape.line);
    const double scale = std::max(1.0, Size(shape.line));
    const std::vector<Point2> ends = RandomPoints(shape.line, 400, 3);
    size_t crossings = 0;
    for (size_t i = 0; i + 1 < ends.size(); i += 2) {
      for (const Crossing& c : index.Crossings(ends[i], ends[i + 1])) {
        ++crossings;
        EXPECT_LT(DistanceToPiece(c.point, ends[i], ends[i + 1]), 1e-9 * scale);
        EXPECT_LT(index.Nearest(c.point)->distance, 1e-9 * scale);
        const Point2 walked = PointAtChainage(index, c.chainage);
        EXPECT_NEAR(walked[0], c.point[0], 1e-8 * scale);
        EXPECT_NEAR(walked[1], c.point[1], 1e-8 * scale);
        EXPECT_NEAR(ends[i][0] + c.along * (ends[i + 1][0] - ends[i][0]), c.point[0], 1e-8 * scale);
      }
    }
    EXPECT_GT(crossings, 20u);
  }
}

// A short piece across the line at any place of it finds that place: no
// crossing is missed, on arcs however flat or round.
TEST(PolylineTest, APieceAcrossTheLineAlwaysFindsTheCrossing) {
  for (const Shape& shape : Shapes()) {
    SCOPED_TRACE(shape.name);
    const PolylineIndex index(shape.line);
    const double scale = std::max(1.0, Size(shape.line));
    std::mt19937_64 engine(9);
    std::uniform_real_distribution<double> at(0, index.Length());
    for (int i = 0; i < 500; ++i) {
      const double chainage = at(engine);
      const PlanSegment* s = nullptr;
      for (const PlanSegment& seg : index.segments())
        if (seg.length > 0 && chainage >= seg.from && chainage <= seg.from + seg.length) s = &seg;
      ASSERT_NE(s, nullptr);
      double bearing = 0;
      const Point2 p = s->PointAt(chainage - s->from, &bearing);
      const double d = 1e-3 * scale;
      const Point2 a{p[0] - d * std::sin(bearing), p[1] + d * std::cos(bearing)};
      const Point2 b{p[0] + d * std::sin(bearing), p[1] - d * std::cos(bearing)};
      const auto found = index.Crossings(a, b);
      const bool near = std::any_of(found.begin(), found.end(), [&](const Crossing& c) {
        return std::fabs(c.chainage - chainage) < 1e-8 * scale;
      });
      EXPECT_TRUE(near) << "chainage " << chainage << ", " << found.size() << " found";
    }
  }
}

TEST(PolylineTest, CrossingsAreCountedOnceEach) {
  // A half circle of radius 5 about (5, 0), bulging below the chord.
  const PolylineIndex half({{{0, 0}, {10, 0}}, {1, 0}, false});
  const auto twice = half.Crossings({-1, -3}, {11, -3});
  ASSERT_EQ(twice.size(), 2u);
  EXPECT_NEAR(twice[0].point[0], 1, 1e-12);
  EXPECT_NEAR(twice[1].point[0], 9, 1e-12);
  EXPECT_LT(twice[0].chainage, twice[1].chainage);
  EXPECT_TRUE(half.Crossings({-1, 3}, {11, 3}).empty());     // the other half of the circle
  EXPECT_EQ(half.Crossings({-1, -5}, {11, -5}).size(), 1u);  // a touch
  // Through a shared vertex: one crossing, not two.
  const PolylineIndex bend({{{0, 0}, {10, 0}, {10, 10}}, {0, 0, 0}, false});
  EXPECT_EQ(bend.Crossings({5, 5}, {15, -5}).size(), 1u);
  // Along a segment: one crossing, where the overlap begins.
  const auto along = bend.Crossings({2, 0}, {6, 0});
  ASSERT_EQ(along.size(), 1u);
  EXPECT_DOUBLE_EQ(along[0].chainage, 2);
  // The closing segment of a closed line, and its vertex 0 only once.
  const PolylineIndex ring({{{0, 0}, {10, 0}, {10, 10}}, {0, 0, 0}, true});
  EXPECT_EQ(ring.Crossings({2, 4}, {4, -1}).size(), 2u);
  EXPECT_EQ(ring.Crossings({-1, 0.5}, {1, -0.5}).size(), 1u);
  // Through the first vertex of a half circle far from the origin, where the
  // crossing's point differs from the vertex by rounding only: one crossing,
  // at the vertex.
  const PolylineIndex far(
      {{{311990, 745000}, {312000, 745000}, {312010, 745000}}, {0, 1, 0}, false});
  const auto at_vertex = far.Crossings({311995, 745005}, {312003, 744997});
  ASSERT_EQ(at_vertex.size(), 1u);
  EXPECT_NEAR(at_vertex[0].chainage, 10, 1e-9);
  // A bulge so small that the radius dwarfs the drawing still crosses right.
  const PolylineIndex tiny({{{0, 0}, {100, 0}}, {1e-12, 0}, false});
  const auto near_flat = tiny.Crossings({50, -1}, {50, 1});
  ASSERT_EQ(near_flat.size(), 1u);
  EXPECT_NEAR(near_flat[0].chainage, 50, 1e-9);
  EXPECT_NEAR(near_flat[0].point[1], -5e-11, 1e-12);  // the sagitta, b c / 2
}

TEST(PolylineTest, PiecesMeetAndTheGridFindsEveryBoxThatMeets) {
  EXPECT_TRUE(PiecesMeet({0, 0}, {2, 2}, {0, 2}, {2, 0}));
  EXPECT_TRUE(PiecesMeet({0, 0}, {2, 0}, {2, 0}, {3, 5}));  // touching ends
  EXPECT_TRUE(PiecesMeet({0, 0}, {4, 0}, {2, 0}, {6, 0}));  // overlapping on one line
  EXPECT_FALSE(PiecesMeet({0, 0}, {1, 0}, {2, 0}, {3, 0}));
  EXPECT_FALSE(PiecesMeet({0, 0}, {2, 2}, {3, 0}, {2, 1.5}));
  EXPECT_FALSE(PiecesMeet({0, 0}, {2, 2}, {NAN, 0}, {2, 0}));

  std::mt19937_64 engine(5);
  std::uniform_real_distribution<double> at(0, 1000), size(0, 30);
  std::vector<BoxGrid::Box> boxes;
  for (int i = 0; i < 2000; ++i) {
    const double x = at(engine), y = at(engine);
    boxes.push_back({x, y, x + size(engine), y + size(engine)});
  }
  boxes.push_back({-5000, -5000, 5000, 5000});  // one that covers everything
  const BoxGrid grid(boxes);
  for (int q = 0; q < 300; ++q) {
    const double x = at(engine), y = at(engine);
    const BoxGrid::Box query{x, y, x + size(engine), y + size(engine)};
    std::vector<size_t> expected;
    for (size_t i = 0; i < boxes.size(); ++i) {
      const auto& b = boxes[i];
      if (!(b.max_x < query.min_x || b.min_x > query.max_x || b.max_y < query.min_y ||
            b.min_y > query.max_y))
        expected.push_back(i);
    }
    EXPECT_EQ(grid.Candidates(query), expected);
  }
  EXPECT_TRUE(BoxGrid({}).Candidates({0, 0, 1, 1}).empty());
  // Boxes wider than a double can measure, or not finite at all, neither
  // hang the grid nor go missing.
  const BoxGrid huge({{-1e308, -1e308, 1e308, 1e308}, {0, 0, 1, 1}, {NAN, 0, 1, 1}});
  EXPECT_EQ(huge.Candidates({0.5, 0.5, 0.6, 0.6}), (std::vector<size_t>{0, 1, 2}));
  EXPECT_TRUE(grid.Candidates({NAN, 0, 1, 1}).empty());
}

}  // namespace
}  // namespace palvane::geometry
