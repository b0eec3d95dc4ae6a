#include "platform/code_page.h"

#include <gtest/gtest.h>

namespace palvane::testing {
namespace {

TEST(CodePageTest, WesternEuropeanBothWays) {
  const platform::CodePage page("CP1252");
  EXPECT_EQ(page.ToUtf8("Caf\xE9 \x80"), "Caf\xC3\xA9 \xE2\x82\xAC");  // é and the euro sign
  std::string out = "x";
  EXPECT_TRUE(page.AppendFromUtf8("\xC3\xA9", out));
  EXPECT_EQ(out, "x\xE9");
  // Greek omega is not in the page, nor is a byte that is no UTF-8.
  EXPECT_FALSE(page.AppendFromUtf8("\xCE\xA9", out));
  EXPECT_FALSE(page.AppendFromUtf8("\xFF", out));
  EXPECT_EQ(out, "x\xE9");
}

TEST(CodePageTest, APageTheSystemLacksReadsAsWesternEuropean) {
  const platform::CodePage page("CP99999");
  EXPECT_EQ(page.ToUtf8("\xE9"), "\xC3\xA9");
}

}  // namespace
}  // namespace palvane::testing
