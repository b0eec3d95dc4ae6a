#pragma once

// Whether a text is well-formed XML, as libxml2 reads it: every picture the
// tests write goes through it.

#include <gtest/gtest.h>

#include <string>

#if PALVANE_HAVE_XML
namespace palvane::testing {

// Success, or the parser's first error with its line.
::testing::AssertionResult WellFormedXml(const std::string& text);

}  // namespace palvane::testing
#endif
