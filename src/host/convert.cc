#include "host/convert.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "host/error.h"

namespace palvane::host {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the shape [sign] digits [. digits] [e [sign] digits] with at least
// one mantissa digit, so that from_chars never sees "inf", "nan" or hex.
bool IsDecimalNumber(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t exp_digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return false;
  }
  return i == s.size();
}

constexpr int64_t kDaysFrom1970To1899_12_30 = -25569;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

unsigned DaysInMonth(int64_t y, unsigned m) {
  static constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Reads an unsigned decimal field of 1 to `max_digits` digits.
bool ReadField(std::string_view& s, int max_digits, int& out) {
  int n = 0, value = 0;
  while (!s.empty() && IsDigit(s.front()) && n < max_digits) {
    value = value * 10 + (s.front() - '0');
    s.remove_prefix(1);
    ++n;
  }
  out = value;
  return n > 0;
}

bool Expect(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

}  // namespace

bool TextToBoolean(std::string_view text) {
  const std::string_view t = Trim(text);
  if (EqualsIgnoringCase(t, "true")) return true;
  if (EqualsIgnoringCase(t, "false")) return false;
  return TextToDouble(t) != 0.0;
}

double Conversions::TextToDouble(std::string_view text) const {
  std::string_view t = Trim(text);
  if (!IsDecimalNumber(t)) throw Error::TypeMismatch();
  bool negative = false;
  if (t.front() == '+' || t.front() == '-') {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  double value = 0.0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large overflows; too small is zero. The text is a valid number:
    // its first significant digit stands at 10^(exponent + position), the
    // position counted from the point. Counts are held far beyond any
    // double's range, never wrapping around, however long the text.
    constexpr int64_t kFar = 1'000'000'000'000'000;  // beyond any text held in memory
    const size_t e = std::min(t.find_first_of("eE"), t.size());
    const std::string_view mantissa = t.substr(0, e);
    const size_t point = std::min(mantissa.find('.'), mantissa.size());
    const size_t first = mantissa.find_first_of("123456789");
    int64_t position = 0;
    if (first != std::string_view::npos) {
      position = first < point ? std::min(static_cast<int64_t>(point - first - 1), kFar)
                               : -std::min(static_cast<int64_t>(first - point), kFar);
    }
    int64_t exponent = 0;
    std::string_view digits = e < t.size() ? t.substr(e + 1) : std::string_view();
    const bool negative_exponent = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
      digits.remove_prefix(1);
    }
    for (char c : digits) exponent = std::min(exponent * 10 + (c - '0'), kFar);
    if (negative_exponent) exponent = -exponent;
    if (exponent + position > 0) throw Error::Overflow();
    value = 0.0;
  } else if (ec != std::errc() || end != t.data() + t.size()) {
    throw Error::TypeMismatch();
  }
  return negative ? -value : value;
}

int16_t DoubleToInteger(double value) {
  const double r = std::nearbyint(value);
  if (!(r >= -32768.0 && r <= 32767.0)) throw Error::Overflow();
  return static_cast<int16_t>(r);
}

int32_t DoubleToLong(double value) {
  const double r = std::nearbyint(value);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw Error::Overflow();
  return static_cast<int32_t>(r);
}

int32_t TextToLong(std::string_view text) { return DoubleToLong(TextToDouble(text)); }

namespace {

// The fifteen significant digits of `magnitude` (finite, positive) and the
// power of ten of the first, as to_chars gives them in scientific form with
// fourteen decimals.
void DecimalDigits(double magnitude, char (&digits)[16], int& exponent) {
  char sci[32];
  const auto [sci_end, ec] =
      std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific, 14);
  (void)ec;
  int count = 0;
  const char* p = sci;
  for (; p < sci_end && *p != 'e'; ++p) {
    if (IsDigit(*p)) digits[count++] = *p;
  }
  exponent = 0;
  if (p < sci_end) {
    const bool negative = p + 1 < sci_end && p[1] == '-';
    const char* e = p + 1 < sci_end && (p[1] == '-' || p[1] == '+') ? p + 2 : p + 1;
    std::from_chars(e, sci_end, exponent);
    if (negative) exponent = -exponent;
  }
}

}  // namespace

std::string Conversions::DoubleToText(double value) const {
  if (value == 0.0) return "0";  // negative zero too
  // Up to fifteen significant digits, trailing zeros dropped, in plain form
  // unless the exponent is below -4 or above 14: printf's %.15G, with
  // infinities and NaN in lower case.
  char buf[32];
  char* end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15).ptr;
  std::replace(buf, end, 'e', 'E');
  return std::string(buf, end);
}

namespace {

// The number patterns with a point as the decimal separator.

thread_local const Conversions* t_conversions = nullptr;

const Conversions& Current() {
  return t_conversions != nullptr ? *t_conversions : InvariantConversions();
}

}  // namespace

const Conversions& InvariantConversions() {
  static const Conversions kInvariant;
  return kInvariant;
}

ConversionsScope::ConversionsScope(const Conversions& conversions) : previous_(t_conversions) {
  t_conversions = &conversions;
}

ConversionsScope::~ConversionsScope() { t_conversions = previous_; }

double TextToDouble(std::string_view text) { return Current().TextToDouble(text); }
std::string DoubleToText(double value) { return Current().DoubleToText(value); }
std::string DateToText(Date date) { return Current().DateToText(date); }

std::string HexText(uint64_t value) {
  char buf[24];
  char* end = std::to_chars(buf, buf + sizeof buf, value, 16).ptr;
  for (char* c = buf; c != end; ++c) {
    if (*c >= 'a' && *c <= 'f') *c = static_cast<char>(*c - 'a' + 'A');
  }
  return std::string(buf, end);
}
Date TextToDate(std::string_view text) { return Current().TextToDate(text); }

std::string FormatFixedWithPoint(double value, int decimals) {
  if (!std::isfinite(value)) return InvariantConversions().DoubleToText(value);
  if (decimals < 0) decimals = 0;
  // The value's 15-significant-digit decimal form: d.dddddddddddddd e X.
  char digits[16];
  const int count = 15;
  int exponent = 0;
  DecimalDigits(std::fabs(value), digits, exponent);
  // Digits before the point in `digits`, and how many digits survive rounding.
  const int point = exponent + 1;
  const int keep = point + decimals;
  char kept[20];  // digits kept, most significant first; zeros after them
  int length = 0;
  int kept_point = point;
  if (keep <= 0) {
    // Everything lies below the last decimal shown; only a round-up survives,
    // as one unit in the last place.
    const bool round_up = keep == 0 && digits[0] >= '5';
    kept[length++] = round_up ? '1' : '0';
    kept_point = round_up ? 1 - decimals : 1;
  } else if (keep >= count) {
    std::memcpy(kept, digits, static_cast<size_t>(count));
    length = count;
  } else {
    // Rounded half up, with room in front for a carry out of the first digit.
    char carried[20];
    carried[0] = '0';
    std::memcpy(carried + 1, digits, static_cast<size_t>(keep));
    if (digits[keep] >= '5') {
      int i = keep;
      while (carried[i] == '9') carried[i--] = '0';
      ++carried[i];
    }
    const bool carry = carried[0] != '0';
    length = keep + (carry ? 1 : 0);
    std::memcpy(kept, carry ? carried : carried + 1, static_cast<size_t>(length));
    if (carry) ++kept_point;
  }
  // Lay the kept digits out around the point: digit k of the kept ones
  // stands at place kept_point - 1 - k before it, zeros wherever none does.
  auto digit_at = [&](int k) { return k >= 0 && k < length ? kept[k] : '0'; };
  int first = 0;  // no leading zeros
  while (first < kept_point - 1 && digit_at(first) == '0') ++first;
  const int whole = kept_point <= 0 ? 1 : kept_point - first;
  const bool negative = value < 0;
  std::string out(static_cast<size_t>(negative + whole + (decimals > 0 ? 1 + decimals : 0)), '0');
  char* o = out.data() + (negative ? 1 : 0);
  bool nonzero = false;
  if (kept_point > 0) {
    for (int k = first; k < kept_point; ++k) nonzero |= (*o++ = digit_at(k)) != '0';
  } else {
    ++o;
  }
  if (decimals > 0) {
    *o++ = '.';
    for (int j = 0; j < decimals; ++j) nonzero |= (*o++ = digit_at(kept_point + j)) != '0';
  }
  // A value that shows as zero shows no sign.
  if (negative) {
    if (nonzero) {
      out[0] = '-';
    } else {
      out.erase(0, 1);
    }
  }
  return out;
}

std::string FormatFixed(double value, int decimals) {
  std::string text = FormatFixedWithPoint(value, decimals);
  const std::string separator = Current().DecimalSeparator();
  if (separator != ".") {
    const size_t point = text.find('.');
    if (point != std::string::npos) text.replace(point, 1, separator);
  }
  return text;
}

namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

double RoundToEven(double value, int32_t places) {
  if (places < 0) throw Error::InvalidProcedureCall();
  if (!std::isfinite(value) || places > 340) return value;
  // Most values fit the quick way: the scaled value and its rounding error,
  // both exact, tell which whole number of units of the last place is
  // nearest; dividing by the power of ten, itself exact, then gives the
  // double nearest that decimal, as reading it back would.
  if (places <= 22) {
    const double scale = kPowersOfTen[places];
    const double magnitude = std::fabs(value);
    const double scaled = magnitude * scale;
    if (scaled < 0x1p52 && (magnitude == 0 || magnitude >= 0x1p-900)) {
      const double error = std::fma(magnitude, scale, -scaled);  // exact
      const double whole = std::floor(scaled);
      // The exact remainder above `whole` is (scaled - whole) + error; its
      // difference from one half has the sign of that sum, computed exactly
      // enough, as both parts are exact and the sum is zero only when equal.
      const double above_half = (scaled - whole - 0.5) + error;
      double units = whole;
      if (above_half > 0 || (above_half == 0 && std::fmod(whole, 2) != 0)) units += 1;
      const double rounded = units / scale;
      return value < 0 ? -rounded : rounded;
    }
  }
  // to_chars in fixed form rounds the exact binary value, ties to even. The
  // largest double has 309 digits before the point.
  char buf[340 + 400];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, places);
  if (ec != std::errc()) return value;
  double rounded = 0.0;
  std::from_chars(buf, end, rounded);
  return rounded;
}

Date MakeDate(int year, int month, int day, int hour, int minute, int second) {
  const int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
      kDaysFrom1970To1899_12_30;
  const double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Before the epoch the time of day still counts forward: -1.25 is
  // 29 December 1899, 06:00.
  return Date{days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time};
}

std::string Conversions::DateToText(Date date) const {
  if (!std::isfinite(date.serial) || std::fabs(date.serial) > 3e6) throw Error::Overflow();
  int64_t day = static_cast<int64_t>(std::trunc(date.serial));
  int64_t seconds = std::llround(std::fabs(date.serial - static_cast<double>(day)) * 86400.0);
  if (seconds >= 86400) {
    seconds = 0;
    day += date.serial < 0 ? -1 : 1;
  }
  int64_t y;
  unsigned m, d;
  CivilFromDays(day + kDaysFrom1970To1899_12_30, y, m, d);
  char buf[64];
  if (seconds == 0) {
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  } else {
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(y), m,
                  d, static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
  }
  return buf;
}

namespace {

bool ValidDay(int year, int month, int day) {
  return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         static_cast<unsigned>(day) <= DaysInMonth(year, static_cast<unsigned>(month));
}

// A calendar date at the start of `s`: year first ("2012-06-30",
// "2012/06/30"), day first with a dot ("30.06.2012"), or with slashes day
// first ("30/06/2012") unless only month first makes a date ("6/30/2012").
// False, having read nothing, when `s` does not start with one.
bool ReadCalendarDate(std::string_view& s, int& year, int& month, int& day) {
  std::string_view t = s;
  int a = 0, b = 0, c = 0;
  if (!ReadField(t, 4, a)) return false;
  const size_t first_digits = s.size() - t.size();
  if (t.empty() || (t.front() != '-' && t.front() != '/' && t.front() != '.')) return false;
  const char sep = t.front();
  t.remove_prefix(1);
  if (!ReadField(t, 2, b) || !Expect(t, sep) || !ReadField(t, 4, c)) return false;
  if (first_digits == 4) {
    if (sep == '.') return false;
    year = a, month = b, day = c;
  } else if (sep == '-') {
    return false;
  } else if (sep == '.' || ValidDay(c, b, a)) {
    day = a, month = b, year = c;
  } else {
    month = a, day = b, year = c;
  }
  if (!ValidDay(year, month, day)) return false;
  s = t;
  return true;
}

// A time of day at the start of `s`: "14:05", "14:05:09", or in twelve-hour
// form "2:05:09 PM" ("12:00:00 AM" is midnight).
bool ReadTimeOfDay(std::string_view& s, int& hour, int& minute, int& second) {
  std::string_view t = s;
  second = 0;
  if (!ReadField(t, 2, hour) || !Expect(t, ':') || !ReadField(t, 2, minute)) return false;
  if (!t.empty() && t.front() == ':' && (t.remove_prefix(1), !ReadField(t, 2, second))) {
    return false;
  }
  if (t.size() >= 3 && t[0] == ' ' && (t[2] == 'M' || t[2] == 'm') &&
      (t[1] == 'A' || t[1] == 'a' || t[1] == 'P' || t[1] == 'p')) {
    if (hour < 1 || hour > 12) return false;
    const bool afternoon = t[1] == 'P' || t[1] == 'p';
    hour = hour % 12 + (afternoon ? 12 : 0);
    t.remove_prefix(3);
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  s = t;
  return true;
}

}  // namespace

Date Conversions::TextToDate(std::string_view text) const {
  std::string_view s = Trim(text);
  // The zero date, 30 December 1899, when the text is a time of day alone.
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  const bool has_date = ReadCalendarDate(s, year, month, day);
  if (has_date && !s.empty()) {
    if (s.front() != ' ' && s.front() != 'T') throw Error::TypeMismatch();
    s.remove_prefix(1);
  }
  if ((!has_date || !s.empty()) && !ReadTimeOfDay(s, hour, minute, second)) {
    throw Error::TypeMismatch();
  }
  if (!s.empty()) throw Error::TypeMismatch();
  return MakeDate(year, month, day, hour, minute, second);
}

std::string ToText(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::kEmpty:
      return "";
    case Variant::Type::kBoolean:
      return v.AsBooleanUnchecked() ? "True" : "False";
    case Variant::Type::kInteger:
      return std::to_string(v.AsIntegerUnchecked());
    case Variant::Type::kLong:
      return std::to_string(v.AsLongUnchecked());
    case Variant::Type::kDouble:
      return DoubleToText(v.AsDoubleUnchecked());
    case Variant::Type::kDate:
      return DateToText(v.AsDateUnchecked());
    case Variant::Type::kString:
      return v.AsStringUnchecked();
    case Variant::Type::kObject:
    case Variant::Type::kArray:
      break;
  }
  throw Error::TypeMismatch();
}

double ToDouble(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::kEmpty:
      return 0.0;
    case Variant::Type::kBoolean:
      return v.AsBooleanUnchecked() ? -1.0 : 0.0;
    case Variant::Type::kInteger:
      return v.AsIntegerUnchecked();
    case Variant::Type::kLong:
      return v.AsLongUnchecked();
    case Variant::Type::kDouble:
      return v.AsDoubleUnchecked();
    case Variant::Type::kDate:
      return v.AsDateUnchecked().serial;
    case Variant::Type::kString:
      return TextToDouble(v.AsStringUnchecked());
    case Variant::Type::kObject:
    case Variant::Type::kArray:
      break;
  }
  throw Error::TypeMismatch();
}

bool ToBoolean(const Variant& v) {
  if (v.type() == Variant::Type::kBoolean) return v.AsBooleanUnchecked();
  if (v.type() == Variant::Type::kString) return TextToBoolean(v.AsStringUnchecked());
  return ToDouble(v) != 0.0;
}

int16_t ToInteger(const Variant& v) { return DoubleToInteger(ToDouble(v)); }

int32_t ToLong(const Variant& v) { return DoubleToLong(ToDouble(v)); }

Date ToDate(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::kDate:
      return v.AsDateUnchecked();
    case Variant::Type::kString:
      return TextToDate(v.AsStringUnchecked());
    case Variant::Type::kObject:
    case Variant::Type::kArray:
      throw Error::TypeMismatch();
    default:
      return Date{ToDouble(v)};
  }
}

}  // namespace palvane::host
