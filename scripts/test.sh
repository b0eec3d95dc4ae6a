#!/usr/bin/env bash
# Installs what is needed, builds and runs the whole test suite.
# With --sanitize, under the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=debug
[ "${1:-}" = "--sanitize" ] && preset=sanitize
bash scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
