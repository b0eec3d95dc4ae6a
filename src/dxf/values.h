#pragma once

// Values as a drawing file spells them: numbers, handles, version and type
// names.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <string_view>

#include "host/convert.h"

namespace palvane::dxf {

inline constexpr double kDegrees = 180.0 / std::numbers::pi;

inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

inline double ToDouble(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double d = 0;
  std::from_chars(s.data(), s.data() + s.size(), d);
  return d;
}

// True for the same number, bit for bit where it matters: -0 is not 0, so a
// field the file gave as -0 is written again as it stood. (NaNs never are.)
inline bool SameNumber(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }

inline int64_t ToInt(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int64_t v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

inline std::string Hex(uint64_t h) { return host::HexText(h); }

// A handle: one to sixteen hexadecimal digits, spaces around allowed.
inline bool ParseHandle(std::string_view s, uint64_t& h) {
  s = Trim(s);
  if (s.empty() || s.size() > 16) return false;
  uint64_t value = 0;
  for (const char c : s) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
      digit = static_cast<unsigned>((c | 0x20) - 'a' + 10);
    } else {
      return false;
    }
    value = value << 4 | digit;
  }
  h = value;
  return true;
}

// A drawing version as $ACADVER gives it: AC and four digits.
inline bool IsDrawingVersion(std::string_view s) {
  return s.size() == 6 && s.starts_with("AC") &&
         std::all_of(s.begin() + 2, s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An entity type: a name of letters, digits and underscores.
inline bool IsEntityTypeName(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

}  // namespace palvane::dxf
