#!/usr/bin/env bash
# Fails when a source includes a header from a layer above its own: each
# folder of src/ may include only itself and the folders listed for it.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A allowed=(
  [geometry]=""
  [platform]=""
  [host]="geometry"
  [host/memory]="host geometry"
  [trap]="host"
  [model]="host trap geometry"
  [along]="host geometry"
  [view]="host trap model geometry"
  [keyplan]="host trap model geometry"
  [sections]="host trap model geometry along"
  [check]="host trap model geometry along sections"
  [tagging]="host trap model geometry along sections check"
  [automation]="host trap model geometry along view keyplan"
  [dxf]="host host/memory geometry platform"
  [com]="host trap model geometry along view keyplan automation"
)
status=0
for folder in "${!allowed[@]}"; do
  for file in src/"$folder"/*.h src/"$folder"/*.cc; do
    [ -e "$file" ] || continue
    while IFS= read -r included; do
      dir=${included%/*}
      [ "$dir" = "$included" ] && continue  # a header beside the source
      ok=0
      for a in "$folder" ${allowed[$folder]}; do [ "$dir" = "$a" ] && ok=1; done
      if [ $ok -eq 0 ]; then
        echo "$file includes \"$included\": $folder may not use $dir"
        status=1
      fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  done
done
# The file layer sees the in-memory host only through its seams: how a
# drawing is filled (builder), walked to be written (walk), what its objects'
# fields are (fields), and how it asks for what was left unread.
for file in src/dxf/*.h src/dxf/*.cc; do
  while IFS= read -r included; do
    case "$included" in
      host/memory/builder.h | host/memory/walk.h | host/memory/fields.h | host/memory/field_source.h) ;;
      host/memory/*)
        echo "$file includes \"$included\": the file layer may use only the in-memory host's seams"
        status=1
        ;;
    esac
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done
# Outside the in-memory host and the tests, nothing names its internal
# classes or its Inspector.
if grep -rnE '\bMem[A-Z][A-Za-z]*\b|\bInspector\b' src tools bench --include='*.h' --include='*.cc' |
    grep -v '^src/host/memory/'; then
  echo "the lines above name the in-memory host's internals outside it"
  status=1
fi
[ $status -eq 0 ] && echo "layers: no include runs back up"
exit $status
