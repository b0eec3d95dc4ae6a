#include "host/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>
#include <vector>

#include "support/river.h"

namespace palvane::host {
namespace {

TEST(ConvertTest, TextToBooleanAcceptsWordsInAnyCaseAndNumbers) {
  const struct {
    const char* text;
    bool expected;
  } cases[] = {{"True", true},   {"TRUE", true},   {"true", true},   {"tRuE", true},
               {"False", false}, {"false", false}, {"FALSE", false}, {"1", true},
               {"-1", true},     {"0", false},     {"0.0", false},   {"2.5", true},
               {" True ", true}, {"1e3", true}};
  for (const auto& c : cases) EXPECT_EQ(TextToBoolean(c.text), c.expected) << c.text;
}

TEST(ConvertTest, TextToBooleanRefusesOtherText) {
  for (const char* text : {"", "maybe", "yes", "T", "on", "1,0", "True1"}) {
    EXPECT_ERROR(TextToBoolean(text), 13);
  }
}

TEST(ConvertTest, TextToDoubleReadsDecimalNumbersWithAPoint) {
  const struct {
    const char* text;
    double expected;
  } cases[] = {{"0", 0},     {"12.5", 12.5}, {"-3", -3},    {"+4.25", 4.25},
               {".5", 0.5},  {"5.", 5},      {"1e3", 1000}, {"1.5E-2", 0.015},
               {"  7  ", 7}, {"1e-400", 0},  {"0.1", 0.1}};
  for (const auto& c : cases) EXPECT_EQ(TextToDouble(c.text), c.expected) << c.text;
}

TEST(ConvertTest, TextToDoubleRefusesNonNumbersAndOverflows) {
  for (const char* text :
       {"", " ", "abc", "1,5", "1.2.3", "e5", "inf", "nan", "0x10", "--1", "1e", "12m"}) {
    EXPECT_ERROR(TextToDouble(text), 13);
  }
  EXPECT_ERROR(TextToDouble("1e400"), 6);
  EXPECT_ERROR(TextToDouble("-1e400"), 6);
}

// Out of a double's range, too large is an overflow and too small is zero,
// judged on where the first significant digit stands, however far the
// exponent or the digits run.
TEST(ConvertTest, TextToDoubleJudgesMagnitudesOutOfRangeWithoutWrapping) {
  const std::string zeros(400, '0');
  EXPECT_EQ(TextToDouble("0." + zeros + "1e50"), 0);  // 1e-351
  EXPECT_EQ(TextToDouble("0." + zeros + "1e-9"), 0);
  EXPECT_ERROR(TextToDouble("1" + zeros + ".5e-50"), 6);  // 1e350
  EXPECT_EQ(TextToDouble("1e-99999999999999999999999"), 0);
  EXPECT_ERROR(TextToDouble("1e+99999999999999999999999"), 6);
  // Found by fuzzing: the exponent saturated, then the digits were added.
  EXPECT_ERROR(TextToDouble(" -444444.5E+444444444444444443044444444300 "), 6);
}

TEST(ConvertTest, TextToLongRoundsTiesToEvenAndOverflows) {
  const struct {
    const char* text;
    int32_t expected;
  } cases[] = {{"2", 2},
               {"2.5", 2},
               {"3.5", 4},
               {"-2.5", -2},
               {"2.4999", 2},
               {"0.5", 0},
               {"1.5", 2},
               {"-0.5", 0},
               {"2147483647", 2147483647},
               {"-2147483648", -2147483647 - 1}};
  for (const auto& c : cases) EXPECT_EQ(TextToLong(c.text), c.expected) << c.text;
  EXPECT_ERROR(TextToLong("2147483648"), 6);
  EXPECT_ERROR(TextToLong("-2147483649"), 6);
  EXPECT_ERROR(TextToLong("1e10"), 6);
  EXPECT_ERROR(TextToLong("two"), 13);
  EXPECT_ERROR(DoubleToInteger(32768), 6);
  EXPECT_EQ(DoubleToInteger(-32768), -32768);
}

TEST(ConvertTest, DoubleToTextWritesUpToFifteenSignificantDigits) {
  const struct {
    double value;
    const char* expected;
  } cases[] = {{0, "0"},
               {-0.0, "0"},
               {12, "12"},
               {12.5, "12.5"},
               {-3.25, "-3.25"},
               {0.1, "0.1"},
               {1.0 / 3, "0.333333333333333"},
               {2949.5, "2949.5"},
               {123456789012345678.0, "1.23456789012346E+17"},
               {1e20, "1E+20"},
               {0.00001, "1E-05"},
               {0.0001, "0.0001"},
               {312456.78, "312456.78"},
               {std::numeric_limits<double>::infinity(), "inf"},
               {-std::numeric_limits<double>::infinity(), "-inf"},
               {std::numeric_limits<double>::quiet_NaN(), "nan"}};
  for (const auto& c : cases) EXPECT_EQ(DoubleToText(c.value), c.expected) << c.value;
}

TEST(ConvertTest, FormatFixedRoundsTiesAwayFromZero) {
  const struct {
    double value;
    int decimals;
    const char* expected;
  } cases[] = {{1234.5, 3, "1234.500"},
               {0.25, 3, "0.250"},
               {-3, 3, "-3.000"},
               {1234.5, 0, "1235"},
               {1233.5, 0, "1234"},
               {-1234.5, 0, "-1235"},
               {100.0004, 3, "100.000"},
               {100.0001, 3, "100.000"},
               {0.0005, 3, "0.001"},
               {0.0004, 3, "0.000"},
               {-0.0004, 3, "0.000"},
               {999.9996, 3, "1000.000"},
               {312456.7846, 3, "312456.785"},
               {0, 3, "0.000"},
               {0.4, 0, "0"},
               {0.5, 0, "1"},
               {9.5, 0, "10"},
               {1e-20, 3, "0.000"},
               {12345678901234567.0, 3, "12345678901234600.000"},
               {999.9995, 3, "1000.000"},
               {-0.0005, 3, "-0.001"},
               {123456.789, 12, "123456.789000000000"},
               {0.000123456, 8, "0.00012346"},
               {-99.5, 0, "-100"},
               {5e-324, 2, "0.00"}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatFixed(c.value, c.decimals), c.expected) << c.value << " " << c.decimals;
  }
}

TEST(ConvertTest, RoundToEvenWorksOnTheStoredDouble) {
  const struct {
    double value;
    int32_t places;
    double expected;
  } cases[] = {{2.5, 0, 2},
               {3.5, 0, 4},
               {-2.5, 0, -2},
               {87.125, 2, 87.12},
               {87.125, 0, 87},
               {87.135, 2, 87.14},
               {1250.5, 3, 1250.5},
               // 2.675 is stored as 2.67499999999999982236431605997495353221893310546875.
               {2.675, 2, 2.67},
               {0.125, 2, 0.12},
               {0.375, 2, 0.38},
               {1e300, 2, 1e300},
               {123.456, 400, 123.456}};
  for (const auto& c : cases) {
    EXPECT_EQ(RoundToEven(c.value, c.places), c.expected) << c.value << " " << c.places;
  }
  EXPECT_ERROR(RoundToEven(1.5, -1), 5);
}

// 53 random bits times two to a random power from `lowest` on, `count` of them.
double RandomDouble(std::mt19937_64& random, int lowest, int count) {
  const auto mantissa = static_cast<double>(random() >> 11);
  return std::ldexp(mantissa, lowest + static_cast<int>(random() % static_cast<uint64_t>(count)));
}

// Against reading back the stored double's own decimal expansion, rounded
// half to even at the place: over scales from tiny to beyond the quick path.
TEST(ConvertTest, RoundToEvenAgreesWithTheDecimalExpansion) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    const int32_t places = static_cast<int32_t>(random() % 25);
    double value = RandomDouble(random, -109, 110);
    if (i % 3 == 0) value = std::round(value * 1000) / 1000 + 0.0005;  // near ties
    if (i % 2 == 0) value = -value;
    char text[1100];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, places).ptr;
    double expected = 0;
    std::from_chars(text, end, expected);
    ASSERT_EQ(RoundToEven(value, places), expected) << value << " " << places;
  }
}

// Fixed-point text as the listing writes it, worked out the long way: the
// value's fifteen significant digits from printf, then half-up rounding of
// the decimal string.
std::string FixedTheLongWay(double value, int decimals) {
  char sci[40];
  std::snprintf(sci, sizeof sci, "%.14e", std::fabs(value));
  std::string digits = std::string(1, sci[0]) + std::string(sci + 2, 14);
  const int point = std::atoi(std::strchr(sci, 'e') + 1) + 1;  // digits before the point
  // Whole digits, then decimals + 1 fraction digits (one to round on).
  std::string whole, fraction;
  for (int i = 0; i < std::max(point, 1); ++i) {
    const int at = point > 0 ? i : -1;
    whole += at >= 0 && at < 15 ? digits[static_cast<size_t>(at)] : '0';
  }
  for (int j = 0; j <= decimals; ++j) {
    const int at = point + j;
    fraction += at >= 0 && at < 15 ? digits[static_cast<size_t>(at)] : '0';
  }
  std::string number = whole + fraction;
  const bool up = number.back() >= '5';
  number.pop_back();
  for (size_t i = number.size(); up && i-- > 0;) {
    if (number[i] == '9') {
      number[i] = '0';
      if (i == 0) number.insert(number.begin(), '1');
      continue;
    }
    ++number[i];
    break;
  }
  std::string integer = number.substr(0, number.size() - static_cast<size_t>(decimals));
  const std::string decimal = number.substr(integer.size());
  integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size() - 1));
  std::string out = integer + (decimals > 0 ? "." + decimal : "");
  if (value < 0 && out.find_first_not_of("0.") != std::string::npos) out.insert(0, "-");
  return out;
}

TEST(ConvertTest, FormatFixedAgreesWithTheLongWay) {
  std::mt19937_64 random(11);
  for (int i = 0; i < 200000; ++i) {
    const int decimals = static_cast<int>(random() % 10);
    double value = RandomDouble(random, -89, 90);
    if (i % 4 == 0) value = std::round(value * 1000) / 1000 + 0.0005;         // half-way cases
    if (i % 5 == 0) value = 1e15 - static_cast<double>(random() % 1000) / 8;  // carries
    if (i % 2 == 0) value = -value;
    ASSERT_EQ(FormatFixed(value, decimals), FixedTheLongWay(value, decimals))
        << std::setprecision(17) << value << " " << decimals;
  }
}

TEST(ConvertTest, DoubleToTextWritesFifteenDigitsAsPrintfDoes) {
  std::mt19937_64 random(13);
  for (int i = 0; i < 200000; ++i) {
    double value = RandomDouble(random, -110, 140);
    if (i % 4 == 0) value = std::round(value * 1000) / 1000;                   // few digits
    if (i % 7 == 0) value = 1e15 - static_cast<double>(random() % 1000) / 16;  // carries
    if (i % 2 == 0) value = -value;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.15G", value);
    ASSERT_EQ(DoubleToText(value), value == 0 ? "0" : expected) << std::setprecision(17) << value;
  }
}

// Fifteen digits at the edges: subnormal values, the ends of the range, and
// decimals of fourteen to seventeen digits, on either side of fifteen.
TEST(ConvertTest, FifteenDigitsAgreeWithPrintfAtEveryKindOfValue) {
  const double kMin = std::numeric_limits<double>::min();
  std::vector<double> values = {std::numeric_limits<double>::denorm_min(),
                                kMin,
                                std::nextafter(kMin, 0.0),
                                std::nextafter(kMin, 1.0),
                                std::numeric_limits<double>::max(),
                                0.1,
                                0.3,
                                1e15 - 0.5,
                                999999999999999.0,
                                9999999999999995.0,
                                0.000099999999999999995,
                                123456789012345.6,
                                12345678901234.56,
                                1234567890123.456};
  std::mt19937_64 random(17);
  for (int i = 0; i < 20000; ++i) {
    values.push_back(std::ldexp(static_cast<double>(random() >> 11), -1074));  // subnormal
    values.push_back(RandomDouble(random, -1074, 2045 - 52));                  // anywhere
    // Decimals of 14 to 17 digits, around the fifteen-digit border.
    const int digits = 14 + static_cast<int>(random() % 4);
    const auto mantissa =
        static_cast<double>(random() % static_cast<uint64_t>(std::pow(10, digits)));
    values.push_back(mantissa * std::pow(10.0, static_cast<int>(random() % 40) - 20 - digits));
  }
  for (double value : values) {
    if (value == 0 || !std::isfinite(value)) continue;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.15G", value);
    ASSERT_EQ(DoubleToText(value), expected) << std::setprecision(17) << value;
    ASSERT_EQ(FormatFixed(value, 3), FixedTheLongWay(value, 3)) << std::setprecision(17) << value;
  }
}

TEST(ConvertTest, HexTextIsUpperCaseWithoutLeadingZeros) {
  EXPECT_EQ(HexText(0), "0");
  EXPECT_EQ(HexText(0x2A), "2A");
  EXPECT_EQ(HexText(0xABCDEF0123ull), "ABCDEF0123");
  EXPECT_EQ(HexText(UINT64_MAX), "FFFFFFFFFFFFFFFF");
}

TEST(ConvertTest, DatesRoundTripThroughText) {
  const struct {
    Date date;
    const char* text;
  } cases[] = {{MakeDate(2012, 6, 30), "2012-06-30"},
               {MakeDate(1899, 12, 30), "1899-12-30"},
               {MakeDate(2000, 2, 29, 14, 5, 9), "2000-02-29 14:05:09"},
               {MakeDate(1899, 12, 29, 6, 0, 0), "1899-12-29 06:00:00"},
               {MakeDate(1700, 3, 1), "1700-03-01"},
               {MakeDate(9999, 12, 31, 23, 59, 59), "9999-12-31 23:59:59"}};
  for (const auto& c : cases) {
    EXPECT_EQ(DateToText(c.date), c.text);
    EXPECT_EQ(TextToDate(c.text), c.date) << c.text;
  }
  EXPECT_EQ(MakeDate(1899, 12, 30).serial, 0.0);
  EXPECT_EQ(MakeDate(1899, 12, 29, 6).serial, -1.25);
  EXPECT_EQ(MakeDate(1900, 1, 1).serial, 2.0);
  EXPECT_EQ(TextToDate("30/06/2012"), MakeDate(2012, 6, 30));
  EXPECT_EQ(TextToDate("2012/06/30 08:15"), MakeDate(2012, 6, 30, 8, 15));
}

// The forms the CAD program writes a date in, in the locales of its users.
TEST(ConvertTest, TextToDateReadsTheFormsOtherProgramsWrite) {
  const struct {
    const char* text;
    Date date;
  } cases[] = {{"6/30/2012", MakeDate(2012, 6, 30)},
               {"30.06.2012", MakeDate(2012, 6, 30)},
               {"1.2.2012", MakeDate(2012, 2, 1)},
               {"1/2/2012", MakeDate(2012, 2, 1)},  // day first when both make a date
               {"12/31/1999 11:59:59 PM", MakeDate(1999, 12, 31, 23, 59, 59)},
               {"30.06.2012 14:05", MakeDate(2012, 6, 30, 14, 5)},
               {"6/30/2012 12:30:00 AM", MakeDate(2012, 6, 30, 0, 30)},
               {"00:00:00", Date{0}},
               {"12:00:00 AM", Date{0}},
               {"12:00 pm", Date{0.5}},
               {"06:00", Date{0.25}}};
  for (const auto& c : cases) EXPECT_EQ(TextToDate(c.text), c.date) << c.text;
}

TEST(ConvertTest, TextToDateRefusesWhatIsNotADate) {
  for (const char* text : {"",
                           "tomorrow",
                           "2012-13-01",
                           "2012-02-30",
                           "2011-02-29",
                           "12",
                           "2012-06-30 25:00",
                           "2012-06-30x",
                           "06-30-2012",
                           "2012-06",
                           "13/13/2012",
                           "2012.06.30",
                           "30.6.2012.",
                           "31.04.2012",
                           "0:00 AM",
                           "13:00 PM",
                           "12:60",
                           "2012-06-30 T",
                           "AM",
                           "6/30/2012 PM"}) {
    EXPECT_ERROR(TextToDate(text), 13);
  }
}

TEST(ConvertTest, VariantConversions) {
  EXPECT_EQ(ToText(Variant()), "");
  EXPECT_EQ(ToText(Variant(true)), "True");
  EXPECT_EQ(ToText(Variant(int32_t{7})), "7");
  EXPECT_EQ(ToText(Variant(int16_t{-1})), "-1");
  EXPECT_EQ(ToText(Variant(1250.5)), "1250.5");
  EXPECT_EQ(ToDouble(Variant("12.5")), 12.5);
  EXPECT_EQ(ToDouble(Variant(true)), -1.0);
  EXPECT_TRUE(ToBoolean(Variant(int16_t{1})));
  EXPECT_TRUE(ToBoolean(Variant(int16_t{-1})));
  EXPECT_FALSE(ToBoolean(Variant(int16_t{0})));
  EXPECT_EQ(ToInteger(Variant(true)), -1);
  EXPECT_EQ(ToDate(Variant("2012-06-30")), MakeDate(2012, 6, 30));
  EXPECT_ERROR(ToText(Variant::Point(1, 2, 3)), 13);
  EXPECT_ERROR(ToDouble(Variant("x")), 13);
  EXPECT_ERROR(ToDate(Variant("x")), 13);
}

}  // namespace
}  // namespace palvane::host
