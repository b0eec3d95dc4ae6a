#!/usr/bin/env bash
# Installs what is needed, builds the command and its GIS module (release,
# nothing else) and runs the main job, writing into build/demo: the check of
# the sample river before modelling (its findings, and their picture
# check.svg), its labelled keyplan, as keyplan.dxf, keyplan.svg and an A3
# keyplan.pdf, and its reaches and sections as a GeoPackage for QGIS,
# river.gpkg; then a river drawn without tags (untagged.dxf), tagged from its
# lines (tagged.dxf) and checked.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target palvane palvane_gis_module
bin="$(pwd)/build/release/tools/palvane"
p="$bin/palvane"
river="$(pwd)/examples/river.dxf"
mkdir -p build/demo
cd build/demo
$p check "$river" --svg check.svg --overwrite
$p keyplan "$river" -o keyplan.dxf \
  --svg keyplan.svg --pdf keyplan.pdf --paper A3 --landscape \
  --fields name,chainage,mike11,description --text-height 5 --overwrite
$p gis "$river" -o river.gpkg --crs EPSG:27700 --overwrite
$p generate --sections 25 --untagged -o untagged.dxf --overwrite
$p tag reach untagged.dxf --polyline 31 --number 1 --current -o reach.dxf --overwrite
$p tag sections reach.dxf -o tagged.dxf --section-name 'XS{n}' --overwrite
$p check tagged.dxf
echo
echo "wrote check.svg, keyplan.dxf, keyplan.svg, keyplan.pdf, river.gpkg, and tagged.dxf"
echo "from untagged.dxf, in $(pwd)"
echo "the command is $p; to put it on PATH:"
echo "  export PATH=\"$bin:\$PATH\""
