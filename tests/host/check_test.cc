#include "host/check.h"

#include <gtest/gtest.h>

#include "dxf/raw_tags.h"

namespace palvane {
namespace {

// A broken invariant ends the program at once, saying what failed and where;
// one that holds costs nothing.
TEST(CheckDeathTest, ABrokenInvariantEndsTheProgramSayingWhere) {
  int evaluated = 0;
  PALVANE_CHECK(++evaluated == 1);
  EXPECT_EQ(evaluated, 1);  // the condition is evaluated exactly once
  EXPECT_DEATH(PALVANE_CHECK(evaluated == 2),
               "internal error: evaluated == 2 does not hold .*check_test");
  // A slice of a file in no file form is such a fault.
  const char bytes[] = "  0\nEOF\n";
  EXPECT_DEATH(dxf::RawTags::View(bytes, bytes + 8, dxf::TagForm::kOwned), "internal error");
}

}  // namespace
}  // namespace palvane
