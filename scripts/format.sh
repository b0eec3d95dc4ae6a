#!/usr/bin/env bash
# Formats the tracked C++ sources with clang-format (.clang-format, Google):
#   bash scripts/format.sh           rewrites them in place
#   bash scripts/format.sh --check   fails, naming each place, if any differs
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cc' '*.h')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror "${files[@]}"
  echo "format: ${#files[@]} files as clang-format writes them"
else
  clang-format -i "${files[@]}"
fi
