#include "host/message_sink.h"

#include <gtest/gtest.h>

namespace palvane::testing {
namespace {

using host::PrintableText;

TEST(PrintableTextTest, PrintableUtf8StaysAsItIs) {
  for (const char* text : {"", "plain ASCII ~!", "Straße 水路 \xF0\x9F\x8C\x8A", "a\\xb"}) {
    EXPECT_EQ(PrintableText(text), text);
  }
}

// Whatever could move the cursor, ring, reorder or break the line, or is
// not UTF-8 at all, becomes \xNN, byte by byte.
TEST(PrintableTextTest, EverythingElseIsEscapedByteByByte) {
  const struct {
    std::string text, printable;
  } cases[] = {
      {"line\nend\r", "line\\x0Aend\\x0D"},
      {"\x1b[2J\x07\x7f", "\\x1B[2J\\x07\\x7F"},
      {std::string("nul\0in", 6), "nul\\x00in"},
      {"\xff\xfe", "\\xFF\\xFE"},
      {"\xc3", "\\xC3"},                                // cut short
      {"\xc0\xaf", "\\xC0\\xAF"},                       // overlong "/"
      {"\xe0\x80\xaf", "\\xE0\\x80\\xAF"},              // overlong, three bytes
      {"\xed\xa0\x80", "\\xED\\xA0\\x80"},              // a surrogate
      {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},     // past U+10FFFF
      {"\xc2\x85", "\\xC2\\x85"},                       // C1 next line
      {"abc\xe2\x80\xaexyz", "abc\\xE2\\x80\\xAExyz"},  // right-to-left override
      {"\xe2\x80\xa8", "\\xE2\\x80\\xA8"},              // line separator
      {"\xe2\x81\xa6", "\\xE2\\x81\\xA6"},              // left-to-right isolate
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableText(c.text), c.printable);
}

}  // namespace
}  // namespace palvane::testing
