#!/usr/bin/env bash
# scripts/install-deps.sh on a bad day, with apt-get and dpkg replaced by
# stubs: an update that keeps failing is tried three times and then gone
# past, a package of another architecture that cannot be installed is left
# out with one line, and only a needed package that cannot be installed
# fails the run.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
script="$here/../../scripts/install-deps.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# apt-get: logs each call; `update` fails when STUB_UPDATE=fail; `install`
# fails when it is asked for STUB_BROKEN.
cat >"$work/apt" <<'STUB'
#!/usr/bin/env bash
echo "apt $*" >>"$STUB_LOG"
[ "$1" = update ] && { [ "$STUB_UPDATE" = fail ] && { echo "E: Failed to fetch mirror"; exit 100; }; exit 0; }
for p in "$@"; do [ "$p" = "$STUB_BROKEN" ] && { echo "E: Unable to correct problems"; exit 100; }; done
exit 0
STUB
# dpkg: nothing is installed, no foreign architecture is known.
cat >"$work/dpkg" <<'STUB'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STUB_LOG"
case "$1" in -s) exit 1 ;; --print-foreign-architectures) exit 0 ;; esac
exit 0
STUB
chmod +x "$work/apt" "$work/dpkg"
printf 'needed-a\n# a comment\nneeded-b  # trailing\n\n' >"$work/needed.txt"
printf 'cross-c\nwine32:i386\n' >"$work/windows.txt"

failures=0
# case: update, broken package, expected status, expected output, expected calls
run_case() {
  local name=$1 update=$2 broken=$3 want_status=$4 want_out=$5 want_calls=$6
  : >"$work/log"
  local out status
  out=$(STUB_LOG="$work/log" STUB_UPDATE=$update STUB_BROKEN=$broken \
        PALVANE_APT="$work/apt" PALVANE_DPKG="$work/dpkg" PALVANE_APT_RETRY_SECONDS=0 \
        PALVANE_PACKAGE_LISTS="$work/needed.txt $work/windows.txt" \
        bash "$script" --windows 2>&1)
  status=$?
  local ok=1
  [ "$status" = "$want_status" ] || { echo "  status $status, expected $want_status"; ok=0; }
  grep -qF -- "$want_out" <<<"$out" || { echo "  output lacks: $want_out"; ok=0; }
  local calls
  calls=$(grep -c '^apt ' "$work/log")
  [ "$calls" = "$want_calls" ] || { echo "  $calls apt-get calls, expected $want_calls"; ok=0; }
  if [ $ok -eq 1 ]; then
    echo "passed: $name"
  else
    echo "FAILED: $name"; echo "$out" | sed 's/^/  | /'; sed 's/^/  > /' "$work/log"
    failures=$((failures + 1))
  fi
}

run_case "a good day installs needed and wanted packages" ok "" 0 "" 3
run_case "a failing update is tried three times, then gone past" fail "" 0 \
  "apt-get update failed 3 times (E: Failed to fetch mirror); going on" 5
run_case "a wanted package that cannot be installed is left out in one line" fail wine32:i386 0 \
  "install-deps: wine32:i386 could not be installed, going on without it (E: Unable" 5
run_case "a needed package that cannot be installed fails the run" fail needed-b 1 \
  "needed packages could not be installed: needed-a needed-b cross-c" 4

# The architecture of a wanted package is made known before the update.
grep -q -- '--add-architecture i386' "$work/log" ||
  { echo "FAILED: i386 was not added"; failures=$((failures + 1)); }
exit $((failures > 0))
