#include "along/station.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "along/point_along.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

struct Shape {
  const char* name;
  std::vector<double> coords, bulges;
  bool closed = false;
};

std::vector<Shape> Shapes() {
  return {
      {"straight runs", {0, 0, 10, 0, 10, 10, 25, -5}, {}},
      {"half circles both ways", {0, 0, 10, 0, 20, 0}, {1, -1}},
      {"major arc", {0, 0, 4, 0, 4, 6}, {2.5}},
      {"tiny bulges", {0, 0, 100, 0, 200, 30}, {1e-9, -1e-7}},
      {"closed with arcs", {0, 0, 10, 0, 10, 10, 0, 10}, {0, 0.4, 0, -0.3}, true},
      {"repeated vertices", {0, 0, 0, 0, 5, 5, 5, 5, 9, 1, 9, 1}, {0, 0.5}},
      {"meander far from the origin",
       {312000, 745000, 312090, 745040, 312200, 745020, 312310, 745100, 312400, 745060},
       {0, 0.15, 0, -0.08}},
  };
}

// Ten thousand points per shape, on either host.
constexpr size_t kPointsPerShape = 10000;

TEST(StationTest, PointAlongAtTheStationGivesBackTheNearestPlace) {
  for (const Shape& shape : Shapes()) {
    SCOPED_TRACE(shape.name);
    Drawing river;
    const auto line = AddPolyline(river.doc, "0", shape.coords, shape.bulges, shape.closed);
    double lo_x = INFINITY, hi_x = -INFINITY, lo_y = INFINITY, hi_y = -INFINITY;
    for (size_t i = 0; i < shape.coords.size(); i += 2) {
      lo_x = std::min(lo_x, shape.coords[i]);
      hi_x = std::max(hi_x, shape.coords[i]);
      lo_y = std::min(lo_y, shape.coords[i + 1]);
      hi_y = std::max(hi_y, shape.coords[i + 1]);
    }
    const double size = std::max(hi_x - lo_x, hi_y - lo_y);
    std::mt19937_64 engine(42);
    std::uniform_real_distribution<double> x(lo_x - size / 2, hi_x + size / 2),
        y(lo_y - size / 2, hi_y + size / 2);
    std::vector<geometry::Point2> points(kPointsPerShape);
    for (auto& p : points) p = {x(engine), y(engine)};

    const auto places = along::Stations(*line, points);
    ASSERT_EQ(places.size(), points.size());
    size_t beyond = 0;
    for (size_t i = 0; i < points.size(); ++i) {
      ASSERT_TRUE(places[i]);
      const auto& place = *places[i];
      const auto back = along::PointAlong(river.doc, *line, place.chainage);
      ASSERT_TRUE(back) << "chainage " << place.chainage;
      // Relative to the size of the line, as a drawing's coordinates are.
      EXPECT_NEAR(back->point[0], place.point[0], 1e-9 * size) << i;
      EXPECT_NEAR(back->point[1], place.point[1], 1e-9 * size) << i;
      // Beside the line the offset is the whole distance; beyond an end it
      // is the part across the end's direction.
      EXPECT_NEAR(std::hypot(place.offset, place.beyond_by), place.distance, 1e-9 * size);
      if (place.beyond != 0) ++beyond;
    }
    if (!shape.closed) {
      EXPECT_GT(beyond, 0u);
    } else {
      EXPECT_EQ(beyond, 0u);
    }
  }
}

TEST(StationTest, ReadsThePolylineAsPointAlongWalksIt) {
  Drawing river;
  const auto line = AddPolyline(river.doc, "0", {0, 0, 4, 0, 4, 3}, {0.5, 0}, true);
  const geometry::PlanPolyline plan = along::ReadPlan(*line);
  ASSERT_EQ(plan.vertices.size(), 3u);
  EXPECT_EQ(plan.vertices[2], (geometry::Point2{4, 3}));
  EXPECT_EQ(plan.bulges, (std::vector<double>{0.5, 0, 0}));
  EXPECT_TRUE(plan.closed);
  // Two equal vertices make one segment of no length: every point's
  // station is its start.
  const auto dot = AddPolyline(river.doc, "0", {0, 0, 0, 0});
  const auto places = along::Stations(*dot, {{1, 1}});
  ASSERT_EQ(places.size(), 1u);
  ASSERT_TRUE(places[0]);
  EXPECT_EQ(places[0]->chainage, 0);
  EXPECT_NEAR(places[0]->distance, std::sqrt(2.0), 1e-15);
}

// A line whose normal points down (a mirrored line) lies in the world at
// (-x, y) of its own coordinates, its arcs turned the other way: measured
// in world plan, a world point on it has the chainage along it, where its
// own coordinates would put the point far off the line.
TEST(StationTest, AMirroredLineIsMeasuredWhereItLiesInTheWorld) {
  Drawing river;
  const auto line = AddPolyline(river.doc, "CL", {-100, 0, -200, 0, -300, 50}, {0.3, 0});
  line->SetNormal({0, 0, -1});
  const auto plan = along::ReadWorldPlan(*Seen(line), *river.doc->Utility());
  ASSERT_TRUE(plan.has_value());
  EXPECT_EQ(plan->vertices.front(), (geometry::Point2{100, 0}));
  EXPECT_EQ(plan->bulges.front(), -0.3);
  // The point 180 along the line, walked in its own coordinates, lies in
  // the world at (-x, y).
  const geometry::PolylineIndex own(along::ReadPlan(*Seen(line)));
  const geometry::Point2 p = own.segments()[1].PointAt(180 - own.segments()[0].length);
  const auto places = along::Stations(*plan, {{-p[0], p[1]}});
  ASSERT_TRUE(places[0].has_value());
  EXPECT_NEAR(places[0]->chainage, 180, 1e-9);
  EXPECT_NEAR(places[0]->distance, 0, 1e-9);
  // Not flat in plan: nothing.
  line->SetNormal({0, 1, 0});
  EXPECT_FALSE(along::ReadWorldPlan(*Seen(line), *river.doc->Utility()).has_value());
}

TEST(StationTest, BearingsFromNorthRunClockwiseInAHalfOpenRange) {
  constexpr double kPi = 3.14159265358979323846;
  EXPECT_DOUBLE_EQ(along::BearingFromNorth(kPi / 2), 0);  // north
  EXPECT_DOUBLE_EQ(along::BearingFromNorth(0), 90);       // east
  EXPECT_DOUBLE_EQ(along::BearingFromNorth(-kPi / 2), 180);
  EXPECT_DOUBLE_EQ(along::BearingFromNorth(kPi), 270);
  EXPECT_DOUBLE_EQ(along::BearingFromNorth(kPi / 2 + 2 * kPi), 0);
  const double just_east_of_north = along::BearingFromNorth(kPi / 2 - 1e-12);
  EXPECT_GE(just_east_of_north, 0);
  EXPECT_LT(just_east_of_north, 1e-9);
  const double just_west_of_north = along::BearingFromNorth(kPi / 2 + 1e-17);
  EXPECT_GE(just_west_of_north, 0);
  EXPECT_LT(just_west_of_north, 360);
}

}  // namespace
}  // namespace palvane::testing
