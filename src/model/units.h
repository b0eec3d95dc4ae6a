#pragma once

// The length unit a drawing is drawn in. Drawings say it in INSUNITS, but
// the code is often a template's leftover: real survey drawings in metres
// say inches or millimetres. So only the codes a survey is drawn in are
// believed (metres, feet, US survey feet); any other code, or none, is
// taken for metres, and the reason says so.

#include <optional>
#include <string>
#include <string_view>

#include "host/error.h"
#include "host/host.h"

namespace palvane::model {

enum class LengthUnit { kMetre, kFoot, kUsSurveyFoot };

struct DrawingUnits {
  LengthUnit unit = LengthUnit::kMetre;
  std::string why;  // "INSUNITS 4 (millimetres) is no survey unit: taken as metres"
};

inline const char* UnitName(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::kMetre:
      return "metres";
    case LengthUnit::kFoot:
      return "feet";
    case LengthUnit::kUsSurveyFoot:
      return "US survey feet";
  }
  return "";
}

// As axes and scale bars label lengths.
inline const char* UnitSymbol(LengthUnit unit) { return unit == LengthUnit::kMetre ? "m" : "ft"; }

inline double MetresPer(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::kMetre:
      return 1;
    case LengthUnit::kFoot:
      return 0.3048;
    case LengthUnit::kUsSurveyFoot:
      return 1200.0 / 3937.0;
  }
  return 1;
}

// "m", "ft" or "us-ft", as --units takes them.
inline std::optional<LengthUnit> UnitNamed(std::string_view name) {
  if (name == "m") return LengthUnit::kMetre;
  if (name == "ft") return LengthUnit::kFoot;
  if (name == "us-ft") return LengthUnit::kUsSurveyFoot;
  return std::nullopt;
}

// The name of an INSUNITS code, for messages.
inline std::string InsUnitsName(int code) {
  static const char* const kNames[] = {"unitless",
                                       "inches",
                                       "feet",
                                       "miles",
                                       "millimetres",
                                       "centimetres",
                                       "metres",
                                       "kilometres",
                                       "microinches",
                                       "mils",
                                       "yards",
                                       "angstroms",
                                       "nanometres",
                                       "microns",
                                       "decimetres",
                                       "decametres",
                                       "hectometres",
                                       "gigametres",
                                       "astronomical units",
                                       "light years",
                                       "parsecs",
                                       "US survey feet"};
  if (code >= 0 && code < static_cast<int>(std::size(kNames))) return kNames[code];
  return "an unknown unit";
}

// The units of `drawing` from its INSUNITS, as the comment above says.
inline DrawingUnits UnitsOf(host::Document& drawing) {
  int code = 0;
  try {
    const host::Variant v = drawing.GetVariable("INSUNITS");
    code = v.type() == host::Variant::Type::kInteger ? v.AsIntegerUnchecked()
           : v.type() == host::Variant::Type::kLong  ? v.AsLongUnchecked()
                                                     : 0;
  } catch (const host::Error&) {
    code = 0;  // a host that does not know the variable says nothing
  }
  const std::string said = "INSUNITS " + std::to_string(code) + " (" + InsUnitsName(code) + ")";
  switch (code) {
    case 2:
      return {LengthUnit::kFoot, said};
    case 21:
      return {LengthUnit::kUsSurveyFoot, said};
    case 6:
      return {LengthUnit::kMetre, said};
    case 0:
      return {LengthUnit::kMetre, "the drawing gives no unit (INSUNITS 0): taken as metres"};
    default:
      return {LengthUnit::kMetre, said + " is no unit a survey is drawn in: taken as metres"};
  }
}

}  // namespace palvane::model
