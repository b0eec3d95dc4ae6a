#!/usr/bin/env bash
# Installs what is needed, builds the release preset and runs the main job:
# the check of the sample river before modelling (its findings, and their
# picture check.svg), its labelled keyplan, as keyplan.dxf, keyplan.svg and an A3 keyplan.pdf,
# and its reaches and sections as a GeoPackage for QGIS, river.gpkg; then a
# river drawn without tags (untagged.dxf), tagged from its lines
# (tagged.dxf) and checked.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/tools/palvane/palvane check examples/river.dxf --svg check.svg --overwrite
./build/release/tools/palvane/palvane keyplan examples/river.dxf -o keyplan.dxf \
  --svg keyplan.svg --pdf keyplan.pdf --paper A3 --landscape \
  --fields name,chainage,mike11,description --text-height 5 --overwrite
./build/release/tools/palvane/palvane gis examples/river.dxf -o river.gpkg --crs EPSG:27700 \
  --overwrite
p=./build/release/tools/palvane/palvane
$p generate --sections 25 --untagged -o untagged.dxf --overwrite
$p tag reach untagged.dxf --polyline 31 --number 1 --current -o reach.dxf --overwrite
$p tag sections reach.dxf -o tagged.dxf --section-name 'XS{n}' --overwrite
$p check tagged.dxf
echo "wrote check.svg, keyplan.dxf, keyplan.svg, keyplan.pdf, river.gpkg, and tagged.dxf from untagged.dxf"
