// The conversions of the COM server in two user locales: a point-decimal,
// month-first one (English, United States) and a comma-decimal, day-first
// one (German, Germany). Windows only, under Wine.

#include <gtest/gtest.h>

#include "com/ole_conversions.h"
#include "host/convert.h"
#include "support/keyplan_fixture.h"

namespace palvane::testing {
namespace {

const LCID kEnglishUs = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
const LCID kGerman = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);

TEST(OleConversionsTest, NumbersFollowTheLocalesSeparator) {
  const com::OleConversions us(kEnglishUs), de(kGerman);
  EXPECT_EQ(us.TextToDouble("1.5"), 1.5);
  EXPECT_EQ(de.TextToDouble("1,5"), 1.5);
  EXPECT_EQ(us.DoubleToText(1250.5), "1250.5");
  EXPECT_EQ(de.DoubleToText(1250.5), "1250,5");
  EXPECT_EQ(de.DecimalSeparator(), ",");
  EXPECT_ERROR(us.TextToDouble("abc"), 13);
  EXPECT_ERROR(de.TextToDouble(""), 13);
  EXPECT_ERROR(us.TextToDouble("1e999"), 6);
}

// The texts the program may have written for a water date all read back,
// the zero date included; the invariant forms still read in any locale.
TEST(OleConversionsTest, DatesInTheLocalesFormsAndTheInvariantOnes) {
  const com::OleConversions us(kEnglishUs), de(kGerman);
  const host::Date june30 = host::MakeDate(2012, 6, 30);
  EXPECT_EQ(us.TextToDate("6/30/2012"), june30);
  EXPECT_EQ(de.TextToDate("30.06.2012"), june30);
  EXPECT_EQ(us.TextToDate("12:00:00 AM"), host::Date{0});
  EXPECT_EQ(de.TextToDate("00:00:00"), host::Date{0});
  for (const auto* c : {&us, &de}) {
    EXPECT_EQ(c->TextToDate("2012-06-30"), june30);
    EXPECT_EQ(c->TextToDate(c->DateToText(june30)), june30);  // round trip
    EXPECT_ERROR(c->TextToDate("not a date"), 13);
  }
}

// In a comma locale the keyplan's numbers carry commas in labels and
// attribute values, but never in a layer name, which the drawing would
// refuse: the chainage's layer keeps its point and no message is shown.
class LocaleExportTest : public KeyplanFixture {};

TEST_F(LocaleExportTest, CommaLocaleWritesCommasButLayerNamesKeepThePoint) {
  const com::OleConversions de(kGerman);
  automation::CenterlineClass german(sink, de);
  options.TextHeight = "2,5";
  options.SectionLineWidth = "0,5";
  german.ExportKeyplanAsAttributes(river.doc, options);
  EXPECT_TRUE(sink.messages().empty()) << sink.messages().front();
  ASSERT_NE(Keyplan(), nullptr);
  EXPECT_NE(Keyplan()->FindLayer("XS_100.250"), nullptr);
  for (const auto& layer : Keyplan()->layers()) {
    EXPECT_EQ(layer->name().find(','), std::string::npos) << layer->name();
  }
  std::vector<std::string> values;
  for (const auto* a :
       EntitiesOf<host::memory::MemAttributeDefinition>(*Keyplan()->FindBlock("1"))) {
    values.push_back(a->fields().value);
    EXPECT_EQ(a->fields().height, 2.5);
  }
  EXPECT_EQ(values, (std::vector<std::string>{"XS1", "100,000", "-50,000", "Left bank", "100,25",
                                              "4099,75"}));
}

}  // namespace
}  // namespace palvane::testing
