#!/usr/bin/env bash
# Builds palvane.dll, palvane.exe and the tests for Windows with Debian's
# MinGW-w64 cross compilers and runs them under Wine, with no display:
#   bash scripts/windows.sh [x64] [x86]
# - every test program, the operation suites once on the in-memory host and
#   once through the COM adapter over the automation facade;
# - the server: registration, creation by ProgID, the operations late-bound by
#   name, a VBScript through the script host, unregistration (and, with both
#   widths, unregistering either one first keeps the other creatable);
# - palvane.exe --host automation against the Linux palvane, byte for byte
#   (scripts/compare-windows.sh), and the command's own tests through it.
# Installs the cross compilers and Wine when missing (as root, or with sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
arches=("${@:-x64}")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

bash scripts/install-deps.sh --windows

wine64_cmd=""
for w in wine64 /usr/lib/wine/wine64; do
  if command -v "$w" >/dev/null; then wine64_cmd="$w"; break; fi
done
[ -n "$wine64_cmd" ] || { echo "windows: 64-bit Wine is not installed"; exit 1; }
status=0
wine32_ok=0
[ -x /usr/lib/wine/wine ] && [ -d /usr/lib/i386-linux-gnu/wine ] && wine32_ok=1

# Each width is built when its cross compiler is there; its tests run when
# Wine of that width is there too. Without 32-bit Wine (its packages cannot
# always be had), the x86 build is still made and checked to compile.
built=() runs=()
for arch in "${arches[@]}"; do
  compiler=x86_64-w64-mingw32-g++-posix
  [ "$arch" = x86 ] && compiler=i686-w64-mingw32-g++-posix
  if ! command -v "$compiler" >/dev/null; then
    echo "windows: $arch not built: its cross compiler ($compiler) is not installed"
    status=1
    continue
  fi
  cmake --preset "windows-$arch" >/dev/null
  cmake --build --preset "windows-$arch"
  built+=("$arch")
  if [ "$arch" = x86 ] && [ $wine32_ok -eq 0 ]; then
    echo "windows: x86 built, its tests not run: 32-bit Wine (wine32:i386) is not installed"
  else
    runs+=("$arch")
  fi
done
[ ${#runs[@]} -gt 0 ] || exit $status

# One 64-bit prefix serves both widths, as a 64-bit Windows does.
export WINEPREFIX
WINEPREFIX="$(mktemp -d)"
trap 'timeout 60 wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
if ! timeout 300 "$wine64_cmd" wineboot -i >"$WINEPREFIX.boot.log" 2>&1; then
  echo "windows: wineboot failed; Wine cannot start a prefix here:"
  tail -5 "$WINEPREFIX.boot.log"
  exit 1
fi
timeout 60 "$wine64_cmd" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
timeout 60 wineserver -w || true
# One server for the whole run: a server that ends a few seconds after its
# last program, as it does by default, now and then refuses the program
# that starts as it ends. Its services start here, writing nowhere, so that
# none holds the output of a program run later in $(...) open.
timeout 60 wineserver -p || true
timeout 300 "$wine64_cmd" wineboot >/dev/null 2>&1 </dev/null || true

wine_for() { if [ "$1" = x64 ]; then echo "$wine64_cmd"; else echo wine; fi; }
winpath() { winepath -w "$1" 2>/dev/null; }

operation_suites=(point_along_test station_test tags_test lookup_test river_test section_view_test label_test
                  export_test attributes_test error_trap_test locale_test fault_sweep_test
                  survey_check_test tagging_test survey_test)
other_suites=(check_test measures_test convert_test stable_math_test polyline_test memory_host_test memory_storage_test wildcard_test
              drawing_test raw_tags_test files_test bad_input_test message_sink_test info_test outputs_test
              facade_test guarded_test field_rows_test model_readers_test picture_test)

for arch in "${runs[@]}"; do
  w=$(wine_for "$arch")
  tests="build/windows-$arch/tests"
  # Every test program built is run: one missing from the lists fails.
  for exe in "$tests"/*.exe; do
    name=$(basename "$exe" .exe)
    if [[ " ${operation_suites[*]} ${other_suites[*]} " != *" $name "* ]]; then
      echo "windows: $name ($arch) is built but in neither list of suites"; status=1
    fi
  done
  for t in "${operation_suites[@]}"; do
    for h in memory automation; do
      if out=$(timeout 600 "$w" "$tests/$t.exe" --host=$h 2>&1); then
        echo "$t ($arch, $h host): $(grep -E '^\[  PASSED  \]' <<<"$out")"
      else
        echo "$t ($arch, $h host): FAILED"; echo "$out" | grep -E 'FAILED|Failure' -A3 | head -40
        status=1
      fi
    done
  done
  for t in "${other_suites[@]}"; do
    if out=$(cd tests && timeout 600 "$w" "../$tests/$t.exe" 2>&1); then
      echo "$t ($arch): $(grep -E '^\[  PASSED  \]' <<<"$out")"
    else
      echo "$t ($arch): FAILED"; echo "$out" | grep -E 'FAILED|Failure' -A3 | head -40
      status=1
    fi
  done
done

# The server of each width: registered, tested, a script through the script
# host of the same width (its message box answered by box_watch).
register() {  # arch, /u or nothing
  local w; w=$(wine_for "$1")
  timeout 120 "$w" regsvr32 /s ${2:-} "$(winpath "$WINEPREFIX/$1/palvane.dll")"
}
for arch in "${runs[@]}"; do
  w=$(wine_for "$arch")
  out="build/windows-$arch/src/com"
  mkdir -p "$WINEPREFIX/$arch"
  cp "$out/palvane.dll" "$out/com_test.exe" "$out/box_watch.exe" tests/com/call.vbs "$WINEPREFIX/$arch/"
  register "$arch" || { echo "regsvr32 failed ($arch)"; status=1; continue; }
  timeout 300 "$w" "$WINEPREFIX/$arch/com_test.exe" || status=1
  # Again in a German user locale (a comma for decimals): Wine takes the
  # user's locale from LC_ALL, whether or not the Unix locale is generated.
  LC_ALL=de_DE.UTF-8 PALVANE_EXPECT_DECIMAL=, timeout 300 "$w" "$WINEPREFIX/$arch/com_test.exe" ||
    status=1
  timeout 120 "$w" "$WINEPREFIX/$arch/box_watch.exe" 60 > "$WINEPREFIX/$arch/boxes.txt" 2>/dev/null &
  watcher=$!
  cscript='C:\windows\system32\cscript.exe'
  [ "$arch" = x86 ] && cscript='C:\windows\syswow64\cscript.exe'
  script_out=$(timeout 120 "$w" "$cscript" //nologo "$(winpath "$WINEPREFIX/$arch/call.vbs")" 2>&1 || true)
  kill "$watcher" 2>/dev/null || true
  wait "$watcher" 2>/dev/null || true
  if grep -q "palvane-script-ok" <<<"$script_out" &&
     grep -q "box: Object variable or With block variable not set" "$WINEPREFIX/$arch/boxes.txt"; then
    echo "script: passed ($arch)"
  else
    echo "script: FAILED ($arch): $script_out / $(cat "$WINEPREFIX/$arch/boxes.txt")"
    status=1
  fi
done

# Unregistering removes every key that registering wrote; with both widths
# registered, unregistering either first leaves the ProgID to the other.
progid_registered() { timeout 60 "$wine64_cmd" reg query 'HKCR\Palvane.CenterlineClass' >/dev/null 2>&1; }
keys_left() {
  local left=0
  for key in 'HKCR\Palvane.CenterlineClass' 'HKCR\CLSID\{4E8C2B71-5A3D-4C9E-B1F2-7D6A0C3E9B12}' \
             'HKCR\TypeLib\{4E8C2B71-5A3D-4C9E-B1F2-7D6A0C3E9B10}' \
             'HKCR\Interface\{4E8C2B71-5A3D-4C9E-B1F2-7D6A0C3E9B11}'; do
    if timeout 60 "$wine64_cmd" reg query "$key" >/dev/null 2>&1; then
      echo "left after regsvr32 /u: $key"
      left=1
    fi
  done
  return $left
}
if [ ${#runs[@]} -eq 2 ]; then
  for first in x64 x86; do
    second=x86; [ "$first" = x86 ] && second=x64
    register x64 && register x86
    register "$first" /u
    if progid_registered; then
      echo "unregister $first first: the ProgID stays for $second (passed)"
    else
      echo "unregister $first first: FAILED, the ProgID went with it"; status=1
    fi
    register "$second" /u
    if keys_left; then echo "unregister both: passed"; else status=1; fi
  done
else
  for arch in "${runs[@]}"; do
    register "$arch" /u || status=1
    if keys_left; then echo "unregister: passed ($arch)"; else status=1; fi
  done
fi

# The command line through the adapter: byte for byte with Linux, and the
# command's own tests.
for arch in "${runs[@]}"; do
  bash scripts/compare-windows.sh "$arch" "$(wine_for "$arch")" || status=1
done
exit $status
