#!/usr/bin/env bash
# palvane.exe --host automation (the operations through the COM adapter over
# the automation facade, under Wine) against the Linux palvane: the same
# output files byte for byte and the same messages, on the sample river and a
# generated 2 000-section river with clutter. Then the command's own tests run
# through palvane.exe. Run by scripts/windows.sh after its build:
#   bash scripts/compare-windows.sh x64|x86 WINE_COMMAND
set -euo pipefail
export WINEDEBUG=-all
cd "$(dirname "$0")/.."
arch=$1
wine_cmd=$2
linux=build/debug/tools/palvane/palvane
# Built, or brought up to date, every time: a checkout used before keeps an
# older command and tests otherwise.
cmake --preset debug >/dev/null
cmake --build --preset debug --target palvane palvane_test
exe="$(pwd)/build/windows-$arch/tools/palvane/palvane.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$linux" generate --sections 2000 --clutter 3 --seed 7 -o "$work/big.dxf"
cp examples/river.dxf "$work/river.dxf"

status=0
json_field() { python3 -c "import json,sys; j=json.load(open(sys.argv[1])); print($2)" "$1"; }
# Runs one command both ways; compares exit status, standard output and error,
# and the files named after the command.
compare() {  # name, files..., --, arguments...
  local name=$1; shift
  local files=()
  while [ "$1" != "--" ]; do files+=("$1"); shift; done
  shift
  local args=("$@")
  local l_args=("${args[@]//@OUT@/$work/linux}") w_args=("${args[@]//@OUT@/$work/windows}")
  set +e
  "$linux" "${l_args[@]}" >"$work/l.out" 2>"$work/l.err"; local l=$?
  timeout 600 "$wine_cmd" "$exe" --host automation "${w_args[@]}" >"$work/w.out" 2>"$work/w.err"
  local w=$?
  set -e
  local same=1
  [ $l -eq $w ] || { echo "  exit status $l (Linux) vs $w (Windows)"; same=0; }
  cmp -s "$work/l.out" "$work/w.out" || { echo "  standard output differs"; same=0; }
  sed "s|$work/windows|$work/linux|g" "$work/w.err" >"$work/w2.err"
  cmp -s "$work/l.err" "$work/w2.err" || { echo "  messages differ:"; diff "$work/l.err" "$work/w2.err" | head -5; same=0; }
  for f in "${files[@]}"; do
    cmp -s "$work/linux$f" "$work/windows$f" || { echo "  $f differs"; same=0; }
  done
  if [ $same -eq 1 ]; then echo "same ($arch): $name"; else echo "DIFFERENT ($arch): $name"; status=1; fi
}

for drawing in river big; do
  d="$work/$drawing.dxf"
  "$linux" info "$d" --json >"$work/info.json"
  reach=$(json_field "$work/info.json" "j['reaches'][0]['handle']")
  section=$(json_field "$work/info.json" "j['sections'][0]['handle']")
  compare "$drawing: info --json" -- info "$d" --json
  compare "$drawing: point-along --json" -- point-along "$d" --polyline "$reach" \
    --distance 0 --distance 12.5 --distance 100 --distance 1e9 --json
  compare "$drawing: view-section -o" .view.dxf -- view-section "$d" --polyline "$section" \
    -o @OUT@.view.dxf --overwrite
  compare "$drawing: keyplan -o" .keyplan.dxf -- keyplan "$d" -o @OUT@.keyplan.dxf --overwrite \
    --fields name,en,bearing,chainage,mike11,description
  compare "$drawing: keyplan --attributes -o" .attributes.dxf -- keyplan "$d" --attributes \
    -o @OUT@.attributes.dxf --overwrite
done

# In a German user locale (a comma for decimals) the attribute keyplan of the
# sample river is the Linux one but for the numbers in its texts, which carry
# the comma; no layer name holds one, and the messages are the same.
set +e
"$linux" keyplan "$work/river.dxf" --attributes -o "$work/linux.de.dxf" >"$work/l.out" 2>"$work/l.err"
LC_ALL=de_DE.UTF-8 timeout 600 "$wine_cmd" "$exe" --host automation keyplan "$work/river.dxf" \
  --attributes -o "$work/windows.de.dxf" >"$work/w.out" 2>"$work/w.err"
set -e
sed "s|$work/windows|$work/linux|g" "$work/w.err" >"$work/w2.err"
if cmp -s "$work/l.err" "$work/w2.err" &&
   python3 - "$work/linux.de.dxf" "$work/windows.de.dxf" <<'PY'; then
import re, sys
def lines(path):
    text = open(path, encoding="utf-8", errors="surrogateescape").read().splitlines()
    # The header (save-time variables) aside.
    start = text.index("HEADER")
    end = text.index("ENDSEC", start)
    return text[:start] + text[end:]
linux, windows = lines(sys.argv[1]), lines(sys.argv[2])
if len(linux) != len(windows):
    sys.exit(f"{len(linux)} lines against {len(windows)}")
in_layers = False
for i in range(0, len(windows) - 1, 2):
    code, value = windows[i].strip(), windows[i + 1]
    if code == "2" and value == "LAYER":
        in_layers = True
    elif code == "0" and value == "ENDTAB":
        in_layers = False
    elif in_layers and code == "2" and "," in value:
        sys.exit(f"a layer name holds a comma: {value}")
comma = 0
for a, b in zip(linux, windows):
    if a == b:
        continue
    if re.sub(r"(?<=\d),(?=\d)", ".", b) != a:
        sys.exit(f"differs: {a!r} against {b!r}")
    comma += 1
if comma == 0:
    sys.exit("no number carries a comma")
PY
  echo "same but for decimal commas ($arch, German locale): river: keyplan --attributes"
else
  echo "DIFFERENT ($arch, German locale): river: keyplan --attributes"
  diff "$work/l.err" "$work/w2.err" | head -5
  status=1
fi

# The command's own tests, each command through palvane.exe.
if PALVANE_COMMAND="$wine_cmd $exe --host automation" build/debug/tests/palvane_test \
     --gtest_brief=1 >"$work/cli.txt" 2>&1; then
  echo "palvane_test through palvane.exe --host automation ($arch): $(grep -E 'PASSED' "$work/cli.txt")"
else
  echo "palvane_test through palvane.exe --host automation ($arch): FAILED"
  grep -E 'FAILED|Failure' -A4 "$work/cli.txt" | head -60
  status=1
fi
exit $status
