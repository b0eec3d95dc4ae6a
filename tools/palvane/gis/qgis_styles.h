#pragma once

// QGIS styles of the river layers, as QGIS keeps them in a GeoPackage's
// layer_styles table: section lines labelled with their name and chainage,
// sections with problems in red, the current reach drawn heavier. QGIS
// applies a layer's default style when it opens the layer.

#include <string_view>

namespace palvane::tools {

// The QML style of a layer `palvane gis` writes ("reaches", "sections",
// "centre_points") or `palvane check --gis` ("findings"); empty for
// another.
std::string_view QgisStyleOf(std::string_view layer);

}  // namespace palvane::tools
