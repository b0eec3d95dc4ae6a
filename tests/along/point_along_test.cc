#include "along/point_along.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "automation/centerline_class.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

using host::Variant;
constexpr double kPi = std::numbers::pi;
constexpr double kUntouched = 123.0;

class PointAlongTest : public ::testing::Test {
 protected:
  // Calls the operation; `bearing` starts at kUntouched.
  Variant Along(const Ref<host::LWPolyline>& line, double length) {
    bearing = kUntouched;
    return centerline.LWPolyPntAlong(river.doc, line, length, bearing);
  }
  static Point3 P(const Variant& v) {
    const auto& a = v.AsArrayUnchecked();
    return {a[0].AsDoubleUnchecked(), a[1].AsDoubleUnchecked(), a[2].AsDoubleUnchecked()};
  }
  void ExpectPoint(const Variant& v, double x, double y, double b) {
    ASSERT_TRUE(v.IsArray());
    const Point3 p = P(v);
    EXPECT_NEAR(p[0], x, 1e-9);
    EXPECT_NEAR(p[1], y, 1e-9);
    EXPECT_EQ(p[2], 0.0);
    EXPECT_NEAR(bearing, b, 1e-9);
  }
  // A polyline without the two-vertex minimum of AddLightWeightPolyline.
  Ref<host::LWPolyline> RawPolyline(std::vector<host::memory::LWVertex> vertices) {
    auto* p = river.mem->NewEntity<host::memory::MemLWPolyline>(river.mem->NextHandle());
    p->fields().vertices = std::move(vertices);
    river.mem->model_space()->Append(p, river.mem->active_layer());
    return Seen(Ref<host::LWPolyline>(std::static_pointer_cast<host::LWPolyline>(p->Self())));
  }

  Drawing river;
  host::RecordingMessageSink sink;
  automation::CenterlineClass centerline{sink};
  double bearing = kUntouched;
};

TEST_F(PointAlongTest, StraightSegments) {
  const auto line = AddPolyline(river.doc, "0", {0, 0, 3, 4, 3, 10});
  ExpectPoint(Along(line, 2), 1.2, 1.6, std::atan2(4, 3));
  ExpectPoint(Along(line, 0), 0, 0, std::atan2(4, 3));  // first vertex, first direction
  // Exactly at the inner vertex: the segment arriving there.
  ExpectPoint(Along(line, 5), 3, 4, std::atan2(4, 3));
  ExpectPoint(Along(line, 5.5), 3, 4.5, kPi / 2);
  ExpectPoint(Along(line, 11), 3, 10, kPi / 2);  // end of the open polyline
  // Behind the first vertex, on the first segment's line.
  ExpectPoint(Along(line, -5), -3, -4, std::atan2(4, 3));
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(PointAlongTest, BeyondTheEndLeavesBearingAndUsesNoUtility) {
  const auto line = AddPolyline(river.doc, "0", {0, 0, 3, 4});
  river.app->monitor().StartRecording();
  EXPECT_TRUE(Along(line, 5.000001).IsEmpty());
  EXPECT_EQ(bearing, kUntouched);
  EXPECT_EQ(river.app->monitor().CountOf("Document.Utility"), 0);
  EXPECT_EQ(river.app->monitor().CountOf("Closed"), 0);
  EXPECT_EQ(river.app->monitor().CountOf("LWPolyline.Closed"), 1);

  EXPECT_TRUE(Along(RawPolyline({}), 0).IsEmpty());
  EXPECT_TRUE(Along(RawPolyline({{5, 5}}), 0).IsEmpty());
  EXPECT_EQ(bearing, kUntouched);
  EXPECT_EQ(river.app->monitor().CountOf("Document.Utility"), 0);
  EXPECT_TRUE(sink.messages().empty());
}

// The drawing is used only once a point is found: without one, a length
// beyond the end is simply no point, and a point found is the usual error.
TEST_F(PointAlongTest, NoDrawingFailsOnlyWhenAPointIsFound) {
  const auto line = AddPolyline(river.doc, "0", {0, 0, 3, 4});
  bearing = kUntouched;
  EXPECT_TRUE(centerline.LWPolyPntAlong(nullptr, line, 6, bearing).IsEmpty());
  EXPECT_TRUE(sink.messages().empty());
  EXPECT_TRUE(centerline.LWPolyPntAlong(nullptr, line, 2, bearing).IsEmpty());
  EXPECT_EQ(bearing, kUntouched);
  EXPECT_EQ(sink.messages(),
            std::vector<std::string>{"Object variable or With block variable not set"});
}

TEST_F(PointAlongTest, ClosedPolylineWalksTheClosingSegment) {
  // A 4 x 3 rectangle: open length 4 + 3 + 4 = 11, perimeter 14.
  const auto line = AddPolyline(river.doc, "0", {0, 0, 4, 0, 4, 3, 0, 3}, {}, true);
  ExpectPoint(Along(line, 12.5), 0, 1.5, 3 * kPi / 2);
  ExpectPoint(Along(line, 14), 0, 0, 3 * kPi / 2);
  EXPECT_TRUE(Along(line, 14.000001).IsEmpty());
  // The same polyline open ends at its last vertex, whatever its last bulge.
  line->SetClosed(false);
  line->SetBulge(3, 1.0);
  EXPECT_TRUE(Along(line, 12.5).IsEmpty());
}

TEST_F(PointAlongTest, ArcSegmentsAreFollowed) {
  // Bulge 1: a half circle over the chord (0,0)-(10,0), turning left, so it
  // passes below the chord through (5,-5).
  const auto left = AddPolyline(river.doc, "0", {0, 0, 10, 0, 20, 0}, {1.0});
  const double half = 5 * kPi;
  ExpectPoint(Along(left, half / 2), 5, -5, 0);
  ExpectPoint(Along(left, 0), 0, 0, 3 * kPi / 2);
  ExpectPoint(Along(left, half), 10, 0, kPi / 2);
  ExpectPoint(Along(left, half + 4), 14, 0, 0);
  // Bulge -1 has the same length, on the other side.
  const auto right = AddPolyline(river.doc, "0", {0, 0, 10, 0}, {-1.0});
  ExpectPoint(Along(right, half / 2), 5, 5, 0);
  EXPECT_NEAR(right->Length(), half, 1e-12);
  // A negative length goes back along the start tangent.
  ExpectPoint(Along(right, -2), 0, -2, kPi / 2);
}

TEST_F(PointAlongTest, FlatArcsKeepTheirLength) {
  // An arc is never shorter than its chord, however flat: a radius worked
  // out through the cosine of an angle near a right angle lost a hundredth
  // of a percent of this one, and its end could not be reached.
  const auto line = AddPolyline(river.doc, "0", {0, 0, 100, 0}, {1e-9});
  ExpectPoint(Along(line, 100 - 1e-6), 100 - 1e-6, 0, 2e-9);
  const auto flatter = AddPolyline(river.doc, "0", {0, 0, 100, 0}, {-1e-12});
  ExpectPoint(Along(flatter, 100 - 1e-6), 100 - 1e-6, 0, 2 * std::numbers::pi - 2e-12);
}

TEST_F(PointAlongTest, TinyBulgeTakesTheArcFormula) {
  const auto line = AddPolyline(river.doc, "0", {0, 0, 10, 0}, {1e-9});
  river.app->monitor().StartRecording();
  ExpectPoint(Along(line, 5), 5, -5e-9, 0);  // sagitta b * c / 2
  // The bulge is read again for an arc segment.
  EXPECT_EQ(river.app->monitor().CountOf("LWPolyline.GetBulge"), 2);
  const auto straight = AddPolyline(river.doc, "0", {0, 0, 10, 0}, {0.0});
  river.app->monitor().ClearCalls();
  ExpectPoint(Along(straight, 5), 5, 0, 0);
  EXPECT_EQ(river.app->monitor().CountOf("LWPolyline.GetBulge"), 1);
}

TEST_F(PointAlongTest, PointOnArcMatchesCircleGeometry) {
  // An arc from S to E with bulge 0.5, checked against its circle worked out
  // from the centre.
  const double sx = 1, sy = 2, ex = 7, ey = 5, b = 0.5;
  const auto line = AddPolyline(river.doc, "0", {sx, sy, ex, ey}, {b});
  const double theta = 4 * std::atan(b);
  const double c = std::hypot(ex - sx, ey - sy);
  const double r = c / (2 * std::sin(theta / 2));
  const double mx = (sx + ex) / 2, my = (sy + ey) / 2;
  const double apothem = std::sqrt(r * r - c * c / 4);
  const double cx = mx - (ey - sy) / c * apothem, cy = my + (ex - sx) / c * apothem;
  const double a0 = std::atan2(sy - cy, sx - cx);
  for (double d : {0.5, 2.0, 4.0, theta * r - 0.1}) {
    const double a = a0 + d / r;
    double tangent = std::fmod(a + kPi / 2 + 4 * kPi, 2 * kPi);
    ExpectPoint(Along(line, d), cx + r * std::cos(a), cy + r * std::sin(a), tangent);
  }
}

TEST_F(PointAlongTest, RepeatedVertexAddsNothing) {
  const auto line = AddPolyline(river.doc, "0", {0, 0, 2, 0, 2, 0, 2, 3});
  ExpectPoint(Along(line, 3), 2, 1, kPi / 2);
}

TEST_F(PointAlongTest, LongPolylinesHaveNoVertexLimit) {
  std::vector<double> coords;
  for (int i = 0; i < 20000; ++i) {
    coords.push_back(i);
    coords.push_back(0);
  }
  const auto line = AddPolyline(river.doc, "0", coords);
  ExpectPoint(Along(line, 19998.5), 19998.5, 0, 0);
  ExpectPoint(Along(line, 19999), 19999, 0, 0);
  EXPECT_TRUE(Along(line, 19999.5).IsEmpty());
}

TEST_F(PointAlongTest, HostFailureShowsOneMessageAndLeavesAnEmptyResult) {
  const auto line = AddPolyline(river.doc, "0", {0, 0, 1, 0, 2, 0, 3, 0});
  river.app->monitor().FailAt("LWPolyline.Coordinate", 3, -2147467259, "Unspecified error");
  EXPECT_TRUE(Along(line, 2.5).IsEmpty());
  EXPECT_EQ(bearing, kUntouched);
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Unspecified error"});

  river.app->monitor().FailAt("Utility.PolarPoint", 1, 7, "Out of memory");
  sink.clear();
  EXPECT_TRUE(Along(line, 2.5).IsEmpty());
  EXPECT_EQ(bearing, kUntouched);
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Out of memory"});
}

TEST_F(PointAlongTest, EmptyArgumentsFailThroughTheTrap) {
  EXPECT_TRUE(Along(Ref<host::LWPolyline>(), 1).IsEmpty());
  EXPECT_EQ(sink.messages(),
            std::vector<std::string>{"Object variable or With block variable not set"});
}

}  // namespace
}  // namespace palvane::testing
