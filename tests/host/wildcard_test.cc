#include "host/wildcard.h"

#include <gtest/gtest.h>

#include "host/fold.h"
#include "host/memory/memory_host.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

struct Case {
  const char* pattern;
  const char* name;
  bool matches;
};

TEST(WildcardTest, NamesMatchAsTheProgramMatchesThem) {
  const Case cases[] = {
      // Letter case is ignored; a plain name matches itself alone.
      {"12_Profile", "12_profile", true},
      {"12_Profile", "12_Profile2", false},
      {"", "", true},
      {"", "0", false},
      // # digit, @ letter, . neither, ? anything.
      {"#_Profile", "7_Profile", true},
      {"#_Profile", "X_Profile", false},
      {"@1", "a1", true},
      {"@1", "Ä1", true},
      {"@1", "71", false},
      {"@1", "×1", false},
      {".1", "×1", true},
      {"\xc4"
       "1",
       "\xe4"
       "1",
       false},  // bytes of no valid UTF-8 match themselves alone
      {"\xc4"
       "1",
       "\xc4"
       "1",
       true},
      {"12.5_Profile", "12-5_Profile", true},
      {"12.5_Profile", "1205_Profile", false},
      {"?", "é", true},
      {"?", "ab", false},
      // * any run.
      {"*_Profile", "_Profile", true},
      {"*_Profile", "12_3d_Profile", true},
      {"1*2*3", "1x2y3", true},
      {"1*2*3", "1x2y", false},
      {"**", "anything", true},
      // Brackets, ranges and their negation.
      {"[abc]1", "B1", true},
      {"[a-c]1", "d1", false},
      {"[~a-c]1", "d1", true},
      {"[~a-c]1", "a1", false},
      {"[]]", "]", true},
      {"[ab", "a", false},
      // ~ negates a whole pattern; commas give alternatives.
      {"~1_Profile", "2_Profile", true},
      {"~1_Profile", "1_profile", false},
      {"1_Profile,2_Profile", "2_PROFILE", true},
      {"1_Profile,2_Profile", "3_Profile", false},
      {"[,]", ",", true},
      {"[],a]", ",", true},
      {"[],a]", "]", true},
      {"[~],a]", "b", true},
      // ` escapes the next character.
      {"12`.5", "12.5", true},
      {"12`.5", "12-5", false},
      {"`~1", "~1", true},
      {"`~1", "2", false},
      {"1`#", "1#", true},
      {"1`#", "10", false},
      {"a`,b", "a,b", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(host::WildcardMatch(c.pattern, c.name), c.matches)
        << "\"" << c.pattern << "\" against \"" << c.name << "\"";
  }
}

// Escaped, any text matches itself alone: a section number full of
// wild-card characters finds its own layer only.
TEST(WildcardTest, AnEscapedNameMatchesItselfAlone) {
  const char* names[] = {"12.5", "12-5", "1#", "10",  "~1", "[a-c]",
                         "a,b",  "*",    "`",  "x`y", "@",  "?"};
  for (const char* name : names) {
    const std::string pattern = host::EscapeWildcards(name);
    for (const char* other : names) {
      EXPECT_EQ(host::WildcardMatch(pattern, other), std::string(name) == other)
          << pattern << " against " << other;
    }
    ASSERT_TRUE(host::PatternLiteral(pattern).has_value()) << pattern;
    EXPECT_EQ(*host::PatternLiteral(pattern), name);
  }
  EXPECT_FALSE(host::PatternLiteral("1#").has_value());
  EXPECT_FALSE(host::PatternLiteral("a,b").has_value());
  EXPECT_EQ(host::PatternLiteral("12_Profile"), "12_Profile");
}

// Letter case is ignored in any script the names use, as the program
// ignores it: Latin-1, Latin Extended-A (paired either way), Greek and
// Cyrillic; what has no other case stays.
TEST(FoldTest, LettersFoldInEveryScriptNamesUse) {
  const std::pair<char32_t, char32_t> pairs[] = {
      {U'A', U'a'}, {U'Ä', U'ä'}, {U'Þ', U'þ'}, {U'Ā', U'ā'}, {U'Ł', U'ł'}, {U'Ž', U'ž'},
      {U'Ÿ', U'ÿ'}, {U'Σ', U'σ'}, {U'Ω', U'ω'}, {U'Ж', U'ж'}, {U'Ё', U'ё'}, {U'Я', U'я'}};
  for (const auto& [upper, lower] : pairs) {
    EXPECT_EQ(host::FoldLetter(upper), lower) << static_cast<uint32_t>(upper);
    EXPECT_EQ(host::FoldLetter(lower), lower) << static_cast<uint32_t>(lower);
  }
  for (const char32_t same : {U'×', U'ß', U'ı', U'ſ', U'1', U'_'}) {
    EXPECT_EQ(host::FoldLetter(same), same) << static_cast<uint32_t>(same);
  }
  EXPECT_EQ(host::FoldedText("ÄPFEL_Σ\xff"), "äpfel_σ\xff");
  EXPECT_TRUE(host::WildcardMatch("ä*", "ÄPFEL"));
  EXPECT_FALSE(host::WildcardMatch("ö*", "ÄPFEL"));
}

TEST(FoldTest, TheInMemoryHostKnowsANameInEitherCase) {
  Drawing d;
  d.doc->Layers()->Add("Äpfel_Profile");
  EXPECT_EQ(d.doc->Layers()->Item("äPFEL_profile")->Name(), "Äpfel_Profile");
  EXPECT_ERROR(d.doc->Layers()->Item("Öpfel_Profile"), host::Error::kKeyNotFound);
  const int32_t count = d.doc->Layers()->Count();
  d.doc->Layers()->Add("ÄPFEL_PROFILE");  // the existing layer
  EXPECT_EQ(d.doc->Layers()->Count(), count);
}

}  // namespace
}  // namespace palvane::testing
