#pragma once

// `palvane gis` writes through GDAL, whose hundred-odd shared libraries no
// other command needs: they live in a module of their own, palvane-gis.so
// beside the program, loaded only when gis runs. So every other command
// starts without them.

#include <string>

#include "gis/gis_write.h"

namespace palvane::tools {

// What the module's entry hands back: the files written, or a failure's
// exit status and one-line reason (status 0 when it wrote).
struct GisModuleResult {
  GisWritten written;
  int status = 0;
  std::string reason;
};

// The entry the module exports under kGisModuleEntry. It throws nothing:
// every failure comes back in `result`.
using GisModuleEntry = void (*)(const GisRiver& river, const GisOutput& output,
                                GisModuleResult& result);
inline constexpr const char* kGisModuleEntry = "palvane_write_gis";
inline constexpr const char* kGisModuleName = "palvane-gis.so";

// Loads the module from beside the running program (once) and writes
// `river` through it. Throws Failure (status 2) when the module cannot be
// loaded, or with the module's own status and reason when writing fails.
GisWritten WriteGisThroughModule(const GisRiver& river, const GisOutput& output);

}  // namespace palvane::tools
