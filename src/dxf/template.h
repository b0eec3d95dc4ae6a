#pragma once

// The project's own minimal drawing (template.dxf, compiled in): an empty
// 2013-format (AC1027) drawing with layer "0", the standard linetypes, text
// and dimension styles, model and paper space and their layouts. New drawings
// are made from it.

#include <string_view>

namespace palvane::dxf {

std::string_view TemplateDrawing();

}  // namespace palvane::dxf
