#pragma once

#include <string>

#include "host/host.h"
#include "host/message_sink.h"

namespace palvane::view {

// The vertical plane of a section line, as the coordinate system "UCS1" is
// made from it: origin at the first vertex in plan (Z 0), an X-axis point
// 1 000 000 units towards the last vertex, a Y-axis point 1 000 000 units
// straight up.
constexpr double kAxisPointDistance = 1000000.0;

// Sets the drawing's view up to look along one cross-section: creates the
// coordinate system "UCS1" in the vertical plane through `section_line`'s
// first and last vertex, applies the line's normal as view direction, makes
// the section's layers the only thawed ones (SetSectionLayers), regenerates,
// switches "UCSFOLLOW" on, makes "UCS1" current and zooms to 0.75 of the
// extents.
//
// A missing layer "Temp" is created silently and the work goes on; any other
// error is shown through `sink` and ends the operation, leaving what earlier
// steps changed.
void ViewSection(host::MessageSink& sink, const host::Ref<host::Document>& drawing,
                 const host::Ref<host::LWPolyline>& section_line, bool original_data);

// The section prefix of a layer name: up to and including its first "_";
// empty when it holds none.
std::string SectionPrefix(const std::string& layer_name);

}  // namespace palvane::view
