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

}  // namespace
}  // namespace palvane::testing
