#pragma once

// The standard automation conversions the system relies on. Each raises the
// runtime's own error (Type mismatch, Overflow, Invalid procedure call) on
// failure. Text to number and date and number and date to text follow the
// conversions in force on the thread: the invariant forms below (a point as
// decimal separator, ISO dates) unless an entry point chose others, as the
// COM server does with the user's locale.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/variant.h"

namespace palvane::host {

// The locale-dependent conversions. The base class gives the invariant forms
// documented with the free functions below.
class Conversions {
 public:
  virtual ~Conversions() = default;
  virtual double TextToDouble(std::string_view text) const;
  virtual Date TextToDate(std::string_view text) const;
  virtual std::string DateToText(Date date) const;
  virtual std::string DoubleToText(double value) const;
  // The decimal separator that number patterns are written with.
  virtual std::string DecimalSeparator() const { return "."; }
};

const Conversions& InvariantConversions();

// Makes `conversions` the ones in force on this thread until the scope ends.
class ConversionsScope {
 public:
  explicit ConversionsScope(const Conversions& conversions);
  ~ConversionsScope();
  ConversionsScope(const ConversionsScope&) = delete;
  ConversionsScope& operator=(const ConversionsScope&) = delete;

 private:
  const Conversions* previous_;
};

// Text to Boolean: "True"/"False" in any letter case, or a number (zero is
// false). Surrounding blanks are ignored. Anything else is a type mismatch.
bool TextToBoolean(std::string_view text);

// Text to Double: an optional sign, digits with an optional decimal point and
// an optional exponent, surrounding blanks ignored. Otherwise a type mismatch;
// a number beyond the range of a Double is an overflow.
double TextToDouble(std::string_view text);

// Rounds to the nearest whole number, a tie going to the even one; overflow
// when the result does not fit 16 or 32 bits.
int16_t DoubleToInteger(double value);
int32_t DoubleToLong(double value);
int32_t TextToLong(std::string_view text);  // TextToDouble, then DoubleToLong.

// Double to text: up to 15 significant digits, no trailing zeros, no decimal
// point for a whole number, exponent form ("1E+20", "1E-05") for very large
// or very small magnitudes.
std::string DoubleToText(double value);

// The number patterns "0" and "0.000": a fixed count of decimals, at least
// one digit before the decimal separator, a tie rounded away from zero on the
// value's 15-digit decimal form.
std::string FormatFixed(double value, int decimals);
// The same with a point for the separator in every locale: for names and
// text that programs read, such as layer names.
std::string FormatFixedWithPoint(double value, int decimals);

// A handle as drawings write it: upper-case hexadecimal digits, no leading
// zeros. (Not through printf: a library that registers a printf extension,
// as one GDAL loads does, sends every printf call down glibc's slow path.)
std::string HexText(uint64_t value);

// Rounds to `places` decimals, a tie going to the even digit, judged on the
// exact stored value of the double. A negative count is an invalid call.
double RoundToEven(double value, int32_t places);

// Dates to text ("2012-06-30", or "2012-06-30 14:05:09" with a time of day)
// and back. TextToDate also reads the forms other programs write: day first
// ("30/06/2012", "30.06.2012"), month first where only that makes a date
// ("6/30/2012"), twelve-hour times ("2:05:09 PM"), and a time alone, which is
// a time on the zero date ("00:00:00", "12:00:00 AM").
std::string DateToText(Date date);
Date TextToDate(std::string_view text);
Date MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Conversions of a whole Variant, as the runtime makes them when a value is
// used as a given type.
std::string ToText(const Variant& v);
double ToDouble(const Variant& v);
bool ToBoolean(const Variant& v);
int16_t ToInteger(const Variant& v);
int32_t ToLong(const Variant& v);
Date ToDate(const Variant& v);

}  // namespace palvane::host
