#include "keyplan/label.h"

#include <gtest/gtest.h>

#include "support/river.h"

namespace palvane::keyplan {
namespace {

using trap::AfterError;
using trap::ErrorTrap;

class LabelTest : public ::testing::Test {
 protected:
  LabelTest() {
    section.SectionName = "XS12";
    section.Title = "Weir";
    section.Chainage = 1250.5;
    section.Bearing = 87.125;
    // Every field off, empty affixes, precision 2.
    for (const auto& f : kOptionFields) options.*f.member = "";
    for (auto* flag :
         {&options.SectionNameChkBox, &options.ENChkBox, &options.BearingChkBox,
          &options.ChainageChkBox, &options.Mike11ChainageChkBox, &options.DescriptionChkBox}) {
      *flag = "False";
    }
    options.BearingPrecision = options.ChainagePrecision = options.Mike11ChainagePrecision = "2";
  }
  std::string Label() {
    ErrorTrap step(sink, [](const host::Error&) { return AfterError::kShowAndGoOn; });
    std::string label;
    trap::RunOperation(sink, [&] {
      label = ComposeLabel(step, options, {&section, 312456.784, 745120.1, [] { return 4200.0; }});
    });
    return label;
  }

  host::RecordingMessageSink sink;
  model::TEVSection section{sink};
  KeyplanOptions options;
};

TEST_F(LabelTest, FlagSpellings) {
  for (const char* on : {"true", "TRUE", "1", "-1"}) {
    options.SectionNameChkBox = on;
    EXPECT_EQ(Label(), "XS12") << on;
  }
  for (const char* off : {"False", "false", "0"}) {
    options.SectionNameChkBox = off;
    EXPECT_EQ(Label(), "") << off;
  }
  EXPECT_TRUE(sink.messages().empty());
  for (const char* bad : {"", "maybe"}) {
    options.SectionNameChkBox = bad;
    sink.clear();
    EXPECT_EQ(Label(), "XS12") << bad;  // the field is included
    EXPECT_EQ(sink.messages(), std::vector<std::string>{"Type mismatch"});
  }
}

TEST_F(LabelTest, SeparatorsDependOnlyOnWhatWasBuilt) {
  EXPECT_EQ(Label(), "");
  options.ENChkBox = "True";
  EXPECT_EQ(Label(), "312456.78mE 745120.1mN");  // no leading separator
  options.ENPrefix = "E ";
  options.ENSuffix = " (OSGB)";
  EXPECT_EQ(Label(), "E 312456.78mE 745120.1mN (OSGB)");
  options.ENChkBox = "False";

  // An empty first field gives the next one no separator.
  section.SectionName = "";
  options.SectionNameChkBox = "True";
  options.ChainageChkBox = "True";
  EXPECT_EQ(Label(), "1250.5");
  section.SectionName = "XS12";
  options.BearingChkBox = "True";
  options.Mike11ChainageChkBox = "True";
  options.DescriptionChkBox = "True";
  options.DescriptionPrefix = "[";
  options.DescriptionSuffix = "]";
  EXPECT_EQ(Label(), "XS12\\P87.12\\P1250.5\\P2949.5\\P[Weir]");
  EXPECT_TRUE(sink.messages().empty());
}

TEST_F(LabelTest, NumbersRoundTiesToEvenAndDropTrailingZeros) {
  options.BearingChkBox = "True";
  EXPECT_EQ(Label(), "87.12");
  options.BearingPrecision = "0";
  EXPECT_EQ(Label(), "87");
  options.BearingPrecision = "2.5";  // rounds to 2
  EXPECT_EQ(Label(), "87.12");
  options.BearingChkBox = "False";
  options.ChainageChkBox = "True";
  options.ChainagePrecision = "3";
  EXPECT_EQ(Label(), "1250.5");
  options.ChainageChkBox = "False";
  options.Mike11ChainageChkBox = "True";
  for (const char* p : {"1", "2", "5"}) {
    options.Mike11ChainagePrecision = p;
    EXPECT_EQ(Label(), "2949.5") << p;
  }
  options.Mike11ChainagePrecision = "0";
  EXPECT_EQ(Label(), "2950");  // 2949.5 ties to even
}

TEST_F(LabelTest, UnreadablePrecisionLeavesAnEmptyLine) {
  options.SectionNameChkBox = "True";
  options.ChainageChkBox = "True";
  options.ChainagePrecision = "-1";
  EXPECT_EQ(Label(), "XS12\\P");
  options.DescriptionChkBox = "True";
  EXPECT_EQ(Label(), "XS12\\P\\PWeir");
  EXPECT_EQ(sink.messages(), (std::vector<std::string>{"Invalid procedure call or argument",
                                                       "Invalid procedure call or argument"}));
  sink.clear();
  options.ChainagePrecision = "99999999999";
  EXPECT_EQ(Label(), "XS12\\P\\PWeir");
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Overflow"});
}

TEST_F(LabelTest, TitleZMeansNoDescription) {
  options.SectionNameChkBox = "True";
  options.DescriptionChkBox = "True";
  section.Title = "Z";
  EXPECT_EQ(Label(), "XS12");
  section.Title = "z";
  EXPECT_EQ(Label(), "XS12\\Pz");
  // An unreadable flag skips the "Z" test too.
  section.Title = "Z";
  options.DescriptionChkBox = "maybe";
  EXPECT_EQ(Label(), "XS12\\PZ");
}

TEST(OptionRulesTest, LayerChainageAndPrecision) {
  EXPECT_EQ(LayerChainage("XS_", 1250.5), "XS_1250.500");
  EXPECT_EQ(LayerChainage("", 1250.5), "1250.500");
  EXPECT_EQ(LayerChainage("A", 100.0004), LayerChainage("A", 100.0001));
  EXPECT_EQ(LayerChainage("", -3), "-3.000");
  EXPECT_EQ(ReadPrecision(" 3 "), 3);
  EXPECT_ERROR(ReadPrecision("-1"), 5);
  EXPECT_ERROR(ReadPrecision("x"), 13);
  EXPECT_EQ(ReadMeasure("-0.5"), -0.5);
  EXPECT_ERROR(ReadMeasure(""), 13);
  EXPECT_EQ(kOptionFields.front().name, std::string("SectionNameChkBox"));
  EXPECT_EQ(kOptionFields.back().name, std::string("LineLayer"));
}

// A prefix is judged by the names it makes, as the drawing judges them.
TEST(OptionRulesTest, LineLayerPrefixIsRefusedAsTheDrawingRefusesItsNames) {
  CheckLineLayerPrefix("XS_");
  CheckLineLayerPrefix("");  // the chainage alone names the layer
  CheckLineLayerPrefix("Section lines ");
  for (const char* bad : {"XS<", "a/b", "XS,", "x*", "tab\t"}) {
    EXPECT_ERROR(CheckLineLayerPrefix(bad), host::Error::kInvalidInput);
  }
  // The chainage makes the name longer than the prefix: 250 bytes and
  // "0.000" pass the limit of 255.
  EXPECT_ERROR(CheckLineLayerPrefix(std::string(251, 'x')), host::Error::kInvalidInput);
  CheckLineLayerPrefix(std::string(250, 'x'));
}

}  // namespace
}  // namespace palvane::keyplan
