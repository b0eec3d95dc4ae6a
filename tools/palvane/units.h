#pragma once

// The length unit a command works in: as --units gives it, else as the
// drawing says; and the distances whose defaults are metric, held in that
// unit.

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "host/host.h"
#include "model/units.h"

namespace palvane::tools {

// Adds --units to `app`, its value into `units`.
void AddUnitsOption(CLI::App& app, std::string& units);

// The unit to work in: as --units gives it (`option`, empty when not
// given), else as the drawing says (model::UnitsOf). Said in one line with
// the reason.
model::LengthUnit UnitsToUse(const std::string& option, host::Document& drawing);

// A distance option in drawing units: as given, else `metres` in `unit`
// (half a metre is 1.640 feet).
double LengthOr(const std::optional<double>& given, double metres, model::LengthUnit unit);

}  // namespace palvane::tools
