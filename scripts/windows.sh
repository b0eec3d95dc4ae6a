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
  wine_cmd=wine
  [ "$arch" = x64 ] && command -v wine64 >/dev/null && wine_cmd=wine64
  timeout 300 $wine_cmd wineboot -i >/dev/null 2>&1 || true
  timeout 60 $wine_cmd reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  timeout 60 wineserver -w || true
  cp "$out/palvane.dll" "$out/com_test.exe" "$WINEPREFIX/"
  timeout 120 $wine_cmd regsvr32 /s "$(winepath -w "$WINEPREFIX/palvane.dll" 2>/dev/null)" ||
    { echo "regsvr32 failed ($arch)"; status=1; }
  timeout 300 $wine_cmd "$WINEPREFIX/com_test.exe" || status=1
  timeout 60 wineserver -k || true
  rm -rf "$WINEPREFIX"
done
exit $status
