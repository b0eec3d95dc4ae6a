#include "commands/info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "generator/river_generator.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

struct Listing {
  std::string text;
  size_t pieces = 0;
  size_t largest_piece = 0;
  std::vector<std::string> shown;  // what reached the next sink
};

Listing List(const Ref<host::Document>& doc, bool json) {
  Listing out;
  host::RecordingMessageSink next;
  host::CollectingMessageSink sink(next);
  tools::WriteInfo(doc, sink, json, [&](std::string_view piece) {
    out.text += piece;
    ++out.pieces;
    out.largest_piece = std::max(out.largest_piece, piece.size());
  });
  out.shown = next.messages();
  return out;
}

TEST(InfoTest, ListsInPiecesAsTextAndAsOneJsonDocument) {
  Drawing d;
  generator::GenerateRiver(*d.mem, {60, 3, 0, std::nullopt});
  const Listing text = List(d.doc, false);
  const Listing json = List(d.doc, true);
  const auto j = nlohmann::json::parse(json.text);
  ASSERT_EQ(j["reaches"].size(), 2u);
  ASSERT_EQ(j["sections"].size(), 60u);
  EXPECT_TRUE(j["messages"].empty());
  // One text line per reach and per section, in the same order as the JSON.
  EXPECT_EQ(std::count(text.text.begin(), text.text.end(), '\n'), 62);
  std::istringstream lines(text.text);
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);
  std::getline(lines, line);
  EXPECT_EQ(line.rfind("section " + j["sections"][0]["SectionNo"].get<std::string>() + ": ", 0), 0u)
      << line;
  // Neither listing is made whole before it is written.
  EXPECT_GT(text.pieces, 60u);
  EXPECT_GT(json.pieces, 60u);
  EXPECT_LT(json.largest_piece, 1000u);
}

TEST(InfoTest, LookupMessagesGoIntoTheJsonAndOnToTheSink) {
  Drawing d;
  AddSection(d.doc, "7", {0, 0, 10, 0}, 25);
  d.doc->Layers()->Add("8_SectionLine");  // a section with no profile
  const Listing json = List(d.doc, true);
  const auto j = nlohmann::json::parse(json.text);
  EXPECT_TRUE(j["reaches"].empty());
  ASSERT_EQ(j["sections"].size(), 1u);
  EXPECT_EQ(j["sections"][0]["SectionNo"], "7");
  ASSERT_EQ(j["messages"].size(), 1u);
  EXPECT_EQ(j["messages"][0], "Section 8 Has no profile");
  EXPECT_EQ(json.shown, std::vector<std::string>{"Section 8 Has no profile"});
  // Without sections or reaches the document is still whole.
  Drawing empty;
  const auto e = nlohmann::json::parse(List(empty.doc, true).text);
  EXPECT_TRUE(e["reaches"].empty());
  EXPECT_TRUE(e["sections"].empty());
  EXPECT_TRUE(List(empty.doc, false).text.empty());
}

}  // namespace
}  // namespace palvane::testing
