#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time
# (seconds each, default 60) on its seed corpus in fuzz/corpus, from a fixed
# random seed (FUZZ_SEED) so that a bounded run can be repeated; two targets
# at a time, one a core. Any sanitizer report, crash or hang fails the run;
# the input that found it is left in build/fuzz/findings, to be added to the
# seed corpus once fixed.
#   bash scripts/fuzz.sh [SECONDS] [TARGET ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(dxf_reader_fuzz dxf_binary_fuzz dxf_roundtrip_fuzz options_fuzz commands_fuzz)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
findings="build/fuzz/findings"
mkdir -p "$findings"
scratch="$(mktemp -d)"
# An interrupted run ends the fuzzers it started too.
trap 'kill $(jobs -p) 2>/dev/null || true; wait || true; rm -rf "$scratch"' EXIT

# Runs one target; its outcome goes to build/fuzz/TARGET.log and its status
# to the scratch folder.
fuzz_one() {
  local target=$1 seeds max_len=65536
  case "$target" in
    dxf_binary_fuzz) seeds=fuzz/corpus/binary ;;
    options_fuzz) seeds=fuzz/corpus/options ;;
    # Whole surveyed rivers: the sample's and the real drawings' seeds are
    # larger than a reader's.
    commands_fuzz) seeds=fuzz/corpus/commands max_len=262144 ;;
    *) seeds=fuzz/corpus/dxf ;;
  esac
  # New inputs go to a scratch copy, never into the repository's corpus.
  local corpus="$scratch/$target"
  mkdir -p "$corpus"
  cp "$seeds"/* "$corpus/"
  if "./build/fuzz/fuzz/$target" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" \
      -max_len="$max_len" -timeout=10 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix="$findings/$target-" "$corpus" \
      >"build/fuzz/$target.log" 2>&1; then
    echo 0 >"$scratch/$target.status"
  else
    echo 1 >"$scratch/$target.status"
  fi
}

running=0
for target in "${targets[@]}"; do
  echo "fuzz: $target for ${seconds}s"
  fuzz_one "$target" &
  running=$((running + 1))
  if [ $running -ge 2 ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

status=0
for target in "${targets[@]}"; do
  if [ "$(cat "$scratch/$target.status" 2>/dev/null)" = 0 ]; then
    echo "fuzz: $target $(grep -E '^stat::number_of_executed_units' "build/fuzz/$target.log" || true)"
  else
    echo "fuzz: $target found a fault:"
    grep -E 'ERROR|SUMMARY|runtime error|differs|does not read|threw|Test unit written' \
      "build/fuzz/$target.log" | head -20 || true
    status=1
  fi
done
exit $status
