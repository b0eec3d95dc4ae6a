#!/usr/bin/env bash
# Installs what is needed, builds the release preset and runs the main job:
# the check of the sample river before modelling (its findings, and their
# picture check.svg), its labelled keyplan, as keyplan.dxf and keyplan.svg,
# and its reaches and sections as a GeoPackage for QGIS, river.gpkg.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/tools/palvane/palvane check examples/river.dxf --svg check.svg --overwrite
./build/release/tools/palvane/palvane keyplan examples/river.dxf -o keyplan.dxf \
  --svg keyplan.svg --fields name,chainage,mike11,description --text-height 5 --overwrite
./build/release/tools/palvane/palvane gis examples/river.dxf -o river.gpkg --crs EPSG:27700 \
  --overwrite
echo "wrote check.svg, keyplan.dxf, keyplan.svg and river.gpkg"
