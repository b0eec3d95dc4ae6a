#pragma once

#include "gis/gis_river.h"
#include "host/host.h"
#include "host/message_sink.h"

namespace palvane::tools {

// Reads every reach, and every section layer the keyplan exports visit,
// from `drawing` (model::ReadRiver). Arcs become chords within
// `tolerance` of them. A lost section tag is restored from the centre point
// in the drawing in memory only. Messages go to `sink` and to the section
// they concern; a section that cannot be read is kept, with its problems
// and no geometry, and never takes another section's values.
GisRiver ReadGisRiver(const host::Ref<host::Document>& drawing, host::MessageSink& sink,
                      double tolerance);

}  // namespace palvane::tools
