#include "dxf/raw_tags.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "dxf/tags.h"

namespace palvane::dxf {
namespace {

using Tags = std::vector<std::pair<int, std::string>>;

Tags AllOf(const RawTags& raw) {
  Tags out;
  for (const auto [code, value] : raw) out.emplace_back(code, std::string(value));
  return out;
}

// What the checked reader reads from `bytes`, and the same bytes decoded as
// a slice in the form the reader reports: the two must agree tag for tag.
void ExpectSliceReadsAsTheReader(const std::string& bytes, TagForm form) {
  TagReader reader(bytes);
  EXPECT_EQ(reader.form(), form);
  Tags expected;
  Tag tag;
  size_t first = std::string::npos;
  while (reader.Next(tag)) {
    if (first == std::string::npos) first = reader.TagBegin();
    expected.emplace_back(tag.code, std::string(tag.value));
  }
  ASSERT_FALSE(expected.empty());
  const RawTags slice =
      RawTags::View(bytes.data() + first, bytes.data() + bytes.size(), reader.form());
  EXPECT_EQ(slice.form(), form);
  EXPECT_EQ(AllOf(slice), expected);
}

TEST(RawTagsTest, OwnedTagsCopyDeeplyAndMoveAway) {
  RawTags a;
  EXPECT_TRUE(a.empty());
  a.push_back(1, "one");
  a.push_back(40, "2.5");
  RawTags b = a;
  b.push_back(8, "Layer");
  EXPECT_EQ(AllOf(a).size(), 2u);
  EXPECT_EQ(AllOf(b).size(), 3u);
  RawTags c = std::move(b);
  EXPECT_TRUE(b.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(AllOf(c).size(), 3u);
  c = c;  // NOLINT: self-assignment keeps the tags
  EXPECT_EQ(AllOf(c).size(), 3u);
  a = std::move(c);
  EXPECT_EQ(AllOf(a), (Tags{{1, "one"}, {40, "2.5"}, {8, "Layer"}}));
  EXPECT_EQ(a.form(), TagForm::kOwned);
}

TEST(RawTagsTest, SlicesShareTheBytesAndBecomeOwnedWhenTheyGrow) {
  const std::string bytes = "  1\nabc\n  8\n0\n";
  const RawTags slice = RawTags::View(bytes.data(), bytes.data() + bytes.size(), TagForm::kAscii);
  EXPECT_EQ(slice.slice(), bytes);
  RawTags copy = slice;
  EXPECT_EQ(copy.slice().data(), bytes.data());
  copy.push_back(62, "1");
  EXPECT_EQ(copy.form(), TagForm::kOwned);
  EXPECT_EQ(AllOf(copy), (Tags{{1, "abc"}, {8, "0"}, {62, "1"}}));
  EXPECT_EQ(AllOf(slice), (Tags{{1, "abc"}, {8, "0"}}));  // the original is untouched
}

// Group codes stand right-aligned in three columns, as printf's %3d puts
// them and every DXF reader expects.
TEST(RawTagsTest, AsciiGroupCodesAreRightAlignedInThreeColumns) {
  for (const int code : {0, 5, 10, 99, 100, 330, 1071, -1, -5, -100, -32768}) {
    TagWriter w(/*binary=*/false);
    w.Write(code, "x");
    char expected[32];
    std::snprintf(expected, sizeof expected, "%3d\nx\n", code);
    EXPECT_EQ(w.bytes(), expected) << code;
  }
}

// Every form a file is read in decodes its slices as the reader read them:
// ASCII with the odd line ends and padding other programs write, binary
// with two-byte and with one-byte group codes, numbers of every width.
TEST(RawTagsTest, EveryFileFormDecodesAsTheReaderReads) {
  ExpectSliceReadsAsTheReader("  0\nSECTION\n  2\nENTITIES\n  0\nPOINT\n 10\n1.5\n 70\n3\n",
                              TagForm::kAscii);
  ExpectSliceReadsAsTheReader("0\r\nPOINT\r\n   8\r\nLayer \r\n-5\r\n7\r\n", TagForm::kAscii);

  TagWriter w(/*binary=*/true);
  w.Write(0, "SECTION");
  w.Write(2, "ENTITIES");
  w.Write(0, "POINT");
  w.Write(8, "Banks");
  w.Write(10, 312000.125);
  w.Write(70, int64_t{3});
  w.Write(90, int64_t{70000});
  w.Write(160, int64_t{1} << 40);
  w.Write(290, int64_t{1});
  w.Write(310, "0AFF");
  w.Write(1000, "TEV");
  w.Write(1071, int64_t{-12});
  ExpectSliceReadsAsTheReader(w.bytes(), TagForm::kBinary);

  // An R12 binary file: one byte per code, 255 and two bytes for a larger one.
  std::string r12(kBinarySentinel);
  auto text = [&](int code, const std::string& value) {
    r12 += static_cast<char>(code);
    r12 += value;
    r12 += '\0';
  };
  text(0, "SECTION");
  text(2, "ENTITIES");
  text(0, "POINT");
  r12 += '\x0a';  // 10: a double
  const double x = 2.5;
  r12.append(reinterpret_cast<const char*>(&x), sizeof x);
  r12 += '\x46';  // 70: a 16-bit integer
  const int16_t flags = 6;
  r12.append(reinterpret_cast<const char*>(&flags), sizeof flags);
  r12 += '\xff';  // 1000, in two bytes
  const int16_t code = 1000;
  r12.append(reinterpret_cast<const char*>(&code), sizeof code);
  r12 += "note";
  r12 += '\0';
  ExpectSliceReadsAsTheReader(r12, TagForm::kBinaryShortCodes);
}

}  // namespace
}  // namespace palvane::dxf
