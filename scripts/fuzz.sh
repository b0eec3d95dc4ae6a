#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time
# (seconds each, default 60) on its seed corpus in fuzz/corpus, from a fixed
# random seed (FUZZ_SEED) so that a bounded run can be repeated. Any
# sanitizer report, crash or hang fails the run; the input that found it is
# left in build/fuzz/findings, to be added to the seed corpus once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
findings="build/fuzz/findings"
mkdir -p "$findings"
status=0
for target in dxf_reader_fuzz dxf_binary_fuzz dxf_roundtrip_fuzz options_fuzz; do
  case "$target" in
    dxf_binary_fuzz) seeds=fuzz/corpus/binary ;;
    options_fuzz) seeds=fuzz/corpus/options ;;
    *) seeds=fuzz/corpus/dxf ;;
  esac
  # New inputs go to a scratch copy, never into the repository's corpus.
  corpus="$(mktemp -d)"
  trap 'rm -rf "$corpus"' EXIT
  cp "$seeds"/* "$corpus/"
  echo "fuzz: $target for ${seconds}s"
  # A fixed seed (FUZZ_SEED, default 1) makes a bounded run repeatable.
  if ! "./build/fuzz/fuzz/$target" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" \
      -max_len=65536 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$findings/$target-" "$corpus" \
      >"build/fuzz/$target.log" 2>&1; then
    echo "fuzz: $target found a fault:"
    grep -E 'ERROR|SUMMARY|runtime error|differs|does not read|Test unit written' \
      "build/fuzz/$target.log" | head -20 || true
    status=1
  else
    grep -E '^stat::number_of_executed_units' "build/fuzz/$target.log" || true
  fi
  rm -rf "$corpus"
done
exit $status
