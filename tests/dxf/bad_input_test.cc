// Drawings that cannot be read: each fault is named with its line or byte
// offset, and nothing is left behind.

#include <gtest/gtest.h>

#include <string>

#include "dxf/drawing.h"
#include "dxf/tags.h"
#include "dxf/template.h"
#include "support/dxf_compare.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

TEST(DxfBadInputTest, EachFaultGetsAClearError) {
  const std::string good(dxf::TemplateDrawing());
  const struct {
    std::string bytes;
    const char* expected;
  } cases[] = {
      {"", "line 1: the file is empty"},
      {good.substr(0, good.size() / 2), "the file ends"},
      {"  0\nSECTION\n  x\nHEADER\n", "line 3: expected a group code"},
      {"  0\nSECTION\n5045596030\nHEADER\n", "line 3: expected a group code"},
      {"  0\nSECTION\n  2\nENTITIES\n  0\nPOINT\n 10\nabc\n",
       "line 8: group code 10 expects a number"},
      {"  0\nSECTION\n  2\nFOO\n  0\nENDSEC\n  0\nEOF\n", "unknown section \"FOO\""},
      {"  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nR2000\n  0\nENDSEC\n  0\nEOF\n",
       "line 7: $ACADVER \"R2000\" is no drawing version"},
      {"  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n",
       "line 9: a second ENTITIES section"},
      {good.substr(0, good.rfind("  0\nEOF")), "without 0 EOF"},
      {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR", "line 1: expected a group code"},
      {std::string("AutoCAD Binary DXF\r\n\x1a\0", 22) + std::string("\0\0SECT", 6),
       "byte offset 22"},
      {"AutoCAD Binary DXF garbage", "byte offset 0"},
      {std::string(dxf::kBinarySentinel) +
           std::string("\0\0SECTION\0\2\0ENTITIES\0\0\0POINT\0", 29) +
           std::string("\x0a\0\0\0\0\0\0\0\xf8\x7f", 10),
       "byte offset 51: group code 10 holds a number that is not finite"},
      {"  0\nSECTION\n  2\nENTITIES\n 10\n1.0\n", "line 5: expected 0 and an entity"},
      {std::string("  0\nSECTION\n  2\nENTITIES\n  0\nPOINT\0\0\n  0\nENDSEC\n", 48),
       "line 5: an entity type must be a name"},
      {"  0\nSECTION\n  2\nENTITIES\n  0\n\n  0\nENDSEC\n  0\nEOF\n",
       "line 5: an entity type must be a name"},
      {"  0\nSECTION\n  2\nENTITIES\n  0\nPOINT\n  5\nXYZ\n", "expected a handle"},
      {"  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n  0\nLAYER\n  2\nRoad\n"
       "  0\nLAYER\n  2\nROAD\n  0\nENDTAB\n  0\nENDSEC\n  0\nEOF\n",
       "line 13: a second layer named \"Road\""},
      {"  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nVPORT\n  0\nLAYER\n  2\n*Active\n"
       "  0\nENDTAB\n  0\nENDSEC\n  0\nEOF\n",
       "line 9: a LAYER entry in the VPORT table"},
      {"  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n  0\nENDTAB\n"
       "  0\nTABLE\n  2\nLAYER\n  0\nENDTAB\n  0\nENDSEC\n  0\nEOF\n",
       "line 11: a second LAYER table"},
      {"  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n  0\nLAYER\n 70\n0\n"
       "  0\nENDTAB\n  0\nENDSEC\n  0\nEOF\n",
       "line 9: LAYER entry without a name"},
      {"  0\nSECTION\n  2\nENTITIES\n  0\nPOINT\n 62\n70000\n  0\nENDSEC\n  0\nEOF\n",
       "line 7: colour number 70000 out of the 16-bit range"},
  };
  for (const auto& c : cases) {
    auto app = host::memory::NewMemApplication();
    try {
      ReadMem(*app, c.bytes, "bad.dxf");
      ADD_FAILURE() << "no error for: " << c.expected;
    } catch (const dxf::DxfError& e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos)
          << e.what() << " / expected " << c.expected;
    }
    EXPECT_TRUE(app->documents().empty());
  }
}

}  // namespace
}  // namespace palvane::testing
