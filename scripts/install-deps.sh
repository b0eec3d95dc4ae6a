#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, when any is missing:
#   bash scripts/install-deps.sh [--windows] [--update]
# scripts/debian-packages.txt always; scripts/debian-packages-windows.txt too
# with --windows. A package named with its architecture (wine32:i386) is
# wanted, not needed: when it cannot be installed, one line says so and the
# rest goes on. --update refreshes the package lists even when nothing is
# missing (CI does, so that what it installs is current).
#
# A mirror caught mid-sync makes `apt-get update` fail now and then. It is
# tried three times; then the package lists the machine already has are
# used, with one line saying so, and the run fails only if a needed package
# cannot be installed from them.
#
# For the script's own test: PALVANE_APT and PALVANE_DPKG replace apt-get
# and dpkg, PALVANE_PACKAGE_LISTS the list files, PALVANE_APT_RETRY_SECONDS
# the wait between tries (10).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
windows=0 update=0
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1 ;;
    --update) update=1 ;;
    *) echo "install-deps: unknown option $arg" >&2; exit 2 ;;
  esac
done
lists=("$here/debian-packages.txt")
[ $windows -eq 1 ] && lists+=("$here/debian-packages-windows.txt")
[ -n "${PALVANE_PACKAGE_LISTS:-}" ] && read -r -a lists <<<"$PALVANE_PACKAGE_LISTS"

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
read -r -a apt <<<"${PALVANE_APT:-$sudo apt-get}"
read -r -a dpkg <<<"${PALVANE_DPKG:-dpkg}"
read -r -a dpkg_admin <<<"${PALVANE_DPKG:-$sudo dpkg}"
export DEBIAN_FRONTEND=noninteractive

needed=() wanted=()
while read -r p; do
  [ -n "$p" ] || continue
  "${dpkg[@]}" -s "$p" >/dev/null 2>&1 && continue
  if [[ "$p" == *:* ]]; then wanted+=("$p"); else needed+=("$p"); fi
done < <(cat "${lists[@]}" | sed 's/#.*//; s/[[:space:]]//g')
[ ${#needed[@]} -eq 0 ] && [ ${#wanted[@]} -eq 0 ] && [ $update -eq 0 ] && exit 0

# A wanted package of another architecture needs that architecture known.
for p in "${wanted[@]}"; do
  arch=${p##*:}
  "${dpkg[@]}" --print-foreign-architectures | grep -qx "$arch" ||
    "${dpkg_admin[@]}" --add-architecture "$arch"
done

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
updated=0
for try in 1 2 3; do
  if "${apt[@]}" update >"$log" 2>&1; then updated=1; break; fi
  [ $try -lt 3 ] && sleep "${PALVANE_APT_RETRY_SECONDS:-10}"
done
if [ $updated -eq 0 ]; then
  reason=$(grep -E '^(E|Err):' "$log" | head -1 || true)
  echo "install-deps: apt-get update failed 3 times${reason:+ ($reason)};" \
    "going on with the package lists this machine has"
fi

if [ ${#needed[@]} -gt 0 ] && ! "${apt[@]}" install -y --no-install-recommends "${needed[@]}"; then
  echo "install-deps: needed packages could not be installed: ${needed[*]}" >&2
  exit 1
fi
for p in "${wanted[@]}"; do
  if ! "${apt[@]}" install -y --no-install-recommends "$p" >"$log" 2>&1; then
    reason=$(grep -E '^(E:| [^ ].*: Depends)' "$log" | head -1 | sed 's/^ *//' || true)
    echo "install-deps: $p could not be installed, going on without it${reason:+ ($reason)}"
  fi
done
