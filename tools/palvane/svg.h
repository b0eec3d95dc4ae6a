#pragma once

#include <string>

#include "host/memory/memory_host.h"

namespace palvane::tools {

// The model space of `doc` as an SVG picture scaled to fit `width` pixels:
// polylines (with their widths and arcs), multi-line texts, and block
// references with their lines and attribute values. Y points up as in the
// drawing.
std::string DrawingSvg(const host::memory::MemDocument& doc, int width = 1200);

}  // namespace palvane::tools
