#!/usr/bin/env bash
# Writes the QGIS plugin as a zip that QGIS's plugin manager installs
# ("Install from ZIP"): the folder palvane_processing/ without compiled files.
# Usage: bash scripts/package-qgis.sh [OUT.zip]   (default build/palvane_processing.zip)
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/palvane_processing.zip}")"
mkdir -p "$(dirname "$out")"
/usr/bin/python3 - "$out" <<'PY'
import os, sys, zipfile
out = sys.argv[1]
partial = out + ".partial"
with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in os.walk("qgis/palvane_processing"):
        dirs[:] = sorted(d for d in dirs if d != "__pycache__")
        for name in sorted(files):
            if name.endswith((".pyc", ".pyo")):
                continue
            path = os.path.join(folder, name)
            z.write(path, os.path.relpath(path, "qgis"))
os.replace(partial, out)
print(out)
PY
