#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one from its seed corpus.
#   fuzz/run.sh              every target for 20 s (what CI runs)
#   fuzz/run.sh 600          every target for 10 minutes
#   fuzz/run.sh 600 kqup_frame dirlist    only these targets
# New inputs go to build-fuzz/corpus/<target>, findings to build-fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
KQ_WITH_FUZZ=1 tools/install-deps.sh

build=build-fuzz
# Each source compiled on its own: the one build that would catch a source
# leaning on the includes of another in its batch.
tools/configure.sh "$build" -DCMAKE_UNITY_BUILD=OFF -DKQ_FUZZ=ON -DKQ_QT_MAJOR=5 \
  -DCMAKE_CXX_COMPILER=clang++
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=($(ls fuzz/corpus))
mkdir -p "$build/findings"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/lsan.supp}

# One target: its work corpus, its log, and its verdict in a file of its own.
fuzz_one() {
  local t=$1 work="$build/corpus/$1"
  mkdir -p "$work"
  rm -f "$build/findings/$t.failed"
  # The seeds are read, never written: new inputs go to the work corpus.
  "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$t-" "$work" "fuzz/corpus/$t" \
    >"$build/findings/$t.log" 2>&1 || touch "$build/findings/$t.failed"
}

# Each target is single-threaded: as many run at once as there are cores,
# each for its full time.
jobs=$(nproc 2>/dev/null || echo 2)
echo "== ${#targets[@]} fuzz targets for ${seconds} s each, $jobs at a time"
running=0
for t in "${targets[@]}"; do
  fuzz_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

failed=()
for t in "${targets[@]}"; do
  if [ -f "$build/findings/$t.failed" ]; then
    failed+=("$t")
    tail -40 "$build/findings/$t.log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/findings/$t.log")
  added=$(sed -n 's/^stat::new_units_added: *//p' "$build/findings/$t.log")
  echo "fuzz_$t: ${runs:-0} inputs, $(( ${runs:-0} / seconds )) per second, ${added:-0} new"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]} (inputs under $build/findings)" >&2
  exit 1
fi
echo "fuzz: no findings in ${#targets[@]} targets"
