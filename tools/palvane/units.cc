#include "units.h"

#include "console.h"

namespace palvane::tools {

void AddUnitsOption(CLI::App& app, std::string& units) {
  app.add_option("--units", units,
                 "The drawing's length unit, m, ft or us-ft (default: as its INSUNITS says, "
                 "when that is one of them, else m)")
      ->check(CLI::IsMember({"m", "ft", "us-ft", "metric", "us"}));
}

model::LengthUnit UnitsToUse(const std::string& option, host::Document& drawing) {
  // "metric" and "us" are the option's older names.
  const std::string name = option == "metric" ? "m" : option == "us" ? "ft" : option;
  if (!name.empty()) {
    const model::LengthUnit unit = *model::UnitNamed(name);  // one --units takes
    Say(std::string("units: ") + model::UnitName(unit) + ", as --units gives");
    return unit;
  }
  const model::DrawingUnits units = model::UnitsOf(drawing);
  Say(std::string("units: ") + model::UnitName(units.unit) + " (" + units.why +
      "; --units m, ft or us-ft to say otherwise)");
  return units.unit;
}

double LengthOr(const std::optional<double>& given, double metres, model::LengthUnit unit) {
  return given ? *given : metres / model::MetresPer(unit);
}

}  // namespace palvane::tools
