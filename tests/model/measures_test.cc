#include "model/measures.h"

#include <gtest/gtest.h>

#include <numbers>

namespace palvane::model {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(MeasuresTest, LongestRisingKeepsTheMostAndPrefersTrustedValues) {
  EXPECT_EQ(LongestRising({1, 5, 2, 3}, {true, true, true, true}),
            (std::vector<bool>{true, false, true, true}));
  // Two runs of three: the one keeping the trusted value wins.
  EXPECT_EQ(LongestRising({10, 30, 20, 40}, {true, false, true, true}),
            (std::vector<bool>{true, false, true, true}));
  EXPECT_EQ(LongestRising({10, 30, 20, 40}, {true, true, false, true}),
            (std::vector<bool>{true, true, false, true}));
  // Equal values do not rise: only one of them stays.
  const auto equal = LongestRising({7, 7, 8}, {true, true, true});
  EXPECT_EQ(equal[0] + equal[1], 1);
  EXPECT_TRUE(equal[2]);
  EXPECT_TRUE(LongestRising({}, {}).empty());
}

TEST(MeasuresTest, BearingErrorInEachConventionAcrossTheWrap) {
  const double north = kPi / 2;  // a line pointing to grid north
  EXPECT_NEAR(BearingError(kConventions[0], north, 359.5), 0.5, 1e-12);
  EXPECT_NEAR(BearingError(kConventions[1], north, 180.25), 0.25, 1e-12);  // taken back
  EXPECT_NEAR(BearingError(kConventions[2], north, 90), 0, 1e-12);
  EXPECT_NEAR(BearingError(kConventions[3], north, 270), 0, 1e-12);
  EXPECT_NEAR(BearingError(kConventions[4], north, kPi / 2 + 0.01), 0.01 * 180 / kPi, 1e-9);
  EXPECT_NEAR(BearingError(kConventions[5], north, -kPi / 2), 0, 1e-12);
  EXPECT_NEAR(BearingError(kConventions[0], north, 180), 180, 1e-12);  // the largest error
}

TEST(MeasuresTest, OverlapNeedsOneLineAndMoreThanAPoint) {
  EXPECT_TRUE(Overlap({0, 0}, {10, 0}, {5, 0}, {15, 0}));
  EXPECT_TRUE(Overlap({0, 0}, {10, 0}, {12, 0}, {-2, 0}));   // covering it, reversed
  EXPECT_FALSE(Overlap({0, 0}, {10, 0}, {10, 0}, {15, 0}));  // end to end
  EXPECT_FALSE(Overlap({0, 0}, {10, 0}, {0, 1}, {10, 1}));   // parallel
  EXPECT_FALSE(Overlap({0, 0}, {10, 0}, {0, 0}, {10, 10}));  // a shared end only
}

}  // namespace
}  // namespace palvane::model
