// The entry point of the GDAL module (palvane-gis.so): writes a river read
// by the command, and turns every failure into a status and a reason, so
// that no exception crosses the module's edge.

#include <new>
#include <stdexcept>

#include "failure.h"
#include "gis/gis_module.h"
#include "gis/gis_write.h"

extern "C" __attribute__((visibility("default"))) void palvane_write_gis(
    const palvane::tools::GisRiver& river, const palvane::tools::GisOutput& output,
    palvane::tools::GisModuleResult& result) {
  try {
    result.written = palvane::tools::WriteGis(river, output);
  } catch (const palvane::tools::Failure& f) {
    result.status = f.status;
    result.reason = f.reason;
  } catch (const std::bad_alloc&) {
    result.status = 2;
    result.reason = "out of memory";
  } catch (const std::exception& e) {
    result.status = 2;
    result.reason = std::string("cannot write the GIS output: ") + e.what();
  }
}

// The entry's type must be the one the command calls it through.
static_assert(sizeof(&palvane_write_gis) == sizeof(palvane::tools::GisModuleEntry));
