#pragma once

#include <string>

#include "host/host.h"

namespace palvane::tools {

// The model space of `doc` as an SVG picture scaled to fit `width` pixels:
// polylines (with their widths and arcs), multi-line texts, and block
// references with their lines and attribute values. Y points up as in the
// drawing.
std::string DrawingSvg(host::Document& doc, int width = 1200);

}  // namespace palvane::tools
