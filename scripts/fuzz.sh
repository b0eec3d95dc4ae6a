#!/usr/bin/env bash
# Builds the reader's fuzz target with clang and runs it for a bounded time
# (seconds, default 60) on a seed corpus of the project's own drawings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
cp examples/river.dxf "$corpus/"
./build/release/tools/palvane/palvane generate --sections 3 -o "$corpus/small.dxf" 2>/dev/null ||
  true
./build/fuzz/fuzz/dxf_reader_fuzz -max_total_time="$seconds" -max_len=65536 -timeout=10 \
  -print_final_stats=1 "$corpus"
