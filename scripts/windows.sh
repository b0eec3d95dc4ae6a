#!/usr/bin/env bash
# Builds palvane.dll for x86_64 (and i686 when 32-bit Wine is installed) and
# runs its tests under Wine in a fresh prefix, with no display: message boxes
# are dismissed by the test program itself, and every Wine command is bounded.
set -euo pipefail
cd "$(dirname "$0")/.."
arches=("${@:-x64}")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
status=0
for arch in "${arches[@]}"; do
  cmake --preset "windows-$arch" >/dev/null
  cmake --build --preset "windows-$arch"
  out="build/windows-$arch/src/com"
  export WINEPREFIX
  WINEPREFIX="$(mktemp -d)"
  # Debian's 64-bit loader is not on PATH; the plain wine runs 32-bit programs
  # such as the script host.
  wine_cmd=wine
  if [ "$arch" = x64 ]; then
    for w in wine64 /usr/lib/wine/wine64; do
      if command -v "$w" >/dev/null; then wine_cmd="$w"; break; fi
    done
  fi
  timeout 300 $wine_cmd wineboot -i >/dev/null 2>&1 || true
  timeout 60 $wine_cmd reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  timeout 60 wineserver -w || true
  cp "$out/palvane.dll" "$out/com_test.exe" "$WINEPREFIX/"
  timeout 120 $wine_cmd regsvr32 /s "$(winepath -w "$WINEPREFIX/palvane.dll" 2>/dev/null)" ||
    { echo "regsvr32 failed ($arch)"; status=1; }
  timeout 300 $wine_cmd "$WINEPREFIX/com_test.exe" || status=1
  # A script through the script host of the same width: its message box is
  # answered by box_watch.
  cp "$out/box_watch.exe" tests/com/call.vbs "$WINEPREFIX/"
  timeout 120 $wine_cmd "$WINEPREFIX/box_watch.exe" 60 > "$WINEPREFIX/boxes.txt" 2>/dev/null &
  watcher=$!
  script_out=$(timeout 120 $wine_cmd 'C:\windows\system32\cscript.exe' //nologo \
    "$(winepath -w "$WINEPREFIX/call.vbs")" 2>&1 || true)
  kill "$watcher" 2>/dev/null || true
  wait "$watcher" 2>/dev/null || true
  if grep -q "palvane-script-ok" <<<"$script_out" &&
     grep -q "box: Object variable or With block variable not set" "$WINEPREFIX/boxes.txt"; then
    echo "script: passed ($arch)"
  else
    echo "script: FAILED ($arch): $script_out / $(cat "$WINEPREFIX/boxes.txt")"
    status=1
  fi
  # Unregistering removes every key that registering wrote.
  timeout 120 $wine_cmd regsvr32 /u /s "$(winepath -w "$WINEPREFIX/palvane.dll" 2>/dev/null)" || status=1
  left=0
  for key in 'HKCR\Palvane.CenterlineClass' 'HKCR\CLSID\{4E8C2B71-5A3D-4C9E-B1F2-7D6A0C3E9B12}' \
             'HKCR\TypeLib\{4E8C2B71-5A3D-4C9E-B1F2-7D6A0C3E9B10}' \
             'HKCR\Interface\{4E8C2B71-5A3D-4C9E-B1F2-7D6A0C3E9B11}'; do
    if timeout 60 $wine_cmd reg query "$key" >/dev/null 2>&1; then
      echo "left after regsvr32 /u: $key"
      left=1
    fi
  done
  if [ $left -eq 0 ]; then echo "unregister: passed ($arch)"; else status=1; fi
  timeout 60 wineserver -k || true
  rm -rf "$WINEPREFIX"
done
exit $status
