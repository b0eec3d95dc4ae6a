#!/usr/bin/env bash
# Installs what is needed, builds the release preset and runs the main job:
# the labelled keyplan of the sample river, as keyplan.dxf and keyplan.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/tools/palvane/palvane keyplan examples/river.dxf -o keyplan.dxf \
  --svg keyplan.svg --fields name,chainage,mike11,description --text-height 5
echo "wrote keyplan.dxf and keyplan.svg"
