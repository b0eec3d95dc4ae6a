#include "geometry/stable_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "geometry/vec.h"

namespace palvane::geometry {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Units in the last place between two finite doubles of one sign.
double UlpsApart(double a, double b) {
  if (a == b) return 0;
  return std::fabs(a - b) / (std::nextafter(std::fabs(b), kInf) - std::fabs(b));
}

TEST(StableMathTest, AtanStaysWithinOneUlpOfTheLibraryAcrossEveryReductionBand) {
  std::vector<double> xs;
  // Each band edge, either side of it, and a logarithmic sweep of 12 decades.
  for (double edge : {0x1p-27, 0.4375, 0.6875, 1.1875, 2.4375, 0x1p66}) {
    xs.insert(xs.end(), {std::nextafter(edge, 0.0), edge, std::nextafter(edge, kInf)});
  }
  for (double x = 1e-9; x < 1e12; x *= 1.0137) xs.push_back(x);
  int exact = 0;
  for (double x : xs) {
    for (double v : {x, -x}) {
      const double mine = Atan(v), library = std::atan(v);
      ASSERT_LE(UlpsApart(mine, library), 1.0) << "atan(" << v << ")";
      EXPECT_EQ(std::signbit(mine), std::signbit(v));
      exact += mine == library;
    }
  }
  // Nearly every value is the correctly rounded one.
  EXPECT_GT(exact, static_cast<int>(xs.size() * 2 * 95 / 100));
}

TEST(StableMathTest, AtanSpecialValues) {
  EXPECT_EQ(Atan(0.0), 0.0);
  EXPECT_TRUE(std::signbit(Atan(-0.0)));
  EXPECT_EQ(Atan(1.0), std::numbers::pi / 4);
  EXPECT_EQ(Atan(kInf), std::numbers::pi / 2);
  EXPECT_EQ(Atan(-kInf), -std::numbers::pi / 2);
  EXPECT_TRUE(std::isnan(Atan(std::nan(""))));
  EXPECT_EQ(Atan(1e-300), 1e-300);
}

TEST(StableMathTest, PlanLengthNeitherOverflowsNorUnderflows) {
  EXPECT_EQ(PlanLength(3, -4), 5);
  EXPECT_EQ(PlanLength(0, 0), 0);
  EXPECT_EQ(PlanLength(-7, 0), 7);
  EXPECT_DOUBLE_EQ(PlanLength(3e300, 4e300), 5e300);
  EXPECT_DOUBLE_EQ(PlanLength(3e-300, 4e-300), 5e-300);
  EXPECT_EQ(PlanLength(kInf, std::nan("")), kInf);
  EXPECT_TRUE(std::isnan(PlanLength(1, std::nan(""))));
  for (double x = 0.001; x < 1e6; x *= 3.7) {
    EXPECT_LE(UlpsApart(PlanLength(x, x / 3), std::hypot(x, x / 3)), 1.0) << x;
  }
}

TEST(StableMathTest, PlanDistanceIgnoresZ) {
  EXPECT_EQ(PlanDistance({1, 2, 100}, {4, 6, -7}), 5.0);
}

TEST(StableMathTest, ArcLengthFollowsTheArcForEveryBulge) {
  // A half circle on a chord of 2, and a quarter circle (bulge tan(pi/8)).
  EXPECT_DOUBLE_EQ(SegmentLength(2, 1), std::numbers::pi);
  EXPECT_DOUBLE_EQ(SegmentLength(2, -1), std::numbers::pi);
  EXPECT_NEAR(SegmentLength(std::sqrt(2.0), std::tan(std::numbers::pi / 8)), std::numbers::pi / 2,
              1e-15);
  // A vanishing bulge is the chord; a huge one nearly a whole circle of
  // huge radius, still finite.
  EXPECT_DOUBLE_EQ(SegmentLength(5, 1e-300), 5);
  const double almost_circle = SegmentLength(1e-3, 1e200);
  EXPECT_TRUE(std::isfinite(almost_circle));
  EXPECT_GT(almost_circle, 1e190);
  EXPECT_EQ(SegmentLength(5, 0), 5);
  EXPECT_EQ(SegmentLength(0, 0.5), 0);
}

}  // namespace
}  // namespace palvane::geometry
