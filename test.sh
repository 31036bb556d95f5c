#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite with CTest.
#   ./test.sh           plain build with Qt 5 (with CI=true: everything, as --all)
#   ./test.sh --qt6     plain build with Qt 6 (in build-qt6)
#   ./test.sh --asan    AddressSanitizer + UndefinedBehaviorSanitizer build (Qt 5 in build-asan;
#                       KQ_QT_MAJOR=6: Qt 6 in build-qt6-asan)
#   ./test.sh --tsan    ThreadSanitizer build of the thread tests only
#   ./test.sh --fuzz    every fuzz target for 20 s (fuzz/run.sh)
#   ./test.sh --format  only the format check of the C++ sources (tools/check-format.sh)
#   ./test.sh --package the Debian package built from the plain build and checked (tools/make-deb.sh)
#   ./test.sh --all     the format check, plain with Qt 5 and its package, Qt 6 under
#                       AddressSanitizer + UndefinedBehaviorSanitizer, ThreadSanitizer, then fuzzing
# Each suite names its ten slowest tests and fails when one ran past its budget
# (tools/test-times.sh); every run ends with the wall time of each stage.
# KQ_TEST_JOBS sets how many tests run at once (default: four per core, as
# most of them wait on the simulated link rather than compute).
set -euo pipefail
cd "$(dirname "$0")"

mode=plain
[ "${CI:-}" = true ] && mode=all
case "${1:-}" in
  "") ;;
  --qt6) mode=qt6 ;;
  --asan) mode=asan ;;
  --tsan) mode=tsan ;;
  --fuzz) mode=fuzz ;;
  --format) mode=format ;;
  --package) mode=package ;;
  --all) mode=all ;;
  -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
  *) echo "test.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
esac

# The wall time of each stage, printed at the end whatever the outcome.
stage_names=()
stage_seconds=()
stage_now=
stage_start=0
run_start=$SECONDS
stage() {
  stage_end
  stage_now=$1
  stage_start=$SECONDS
  echo "== $1"
}
stage_end() {
  [ -n "$stage_now" ] || return 0
  stage_names+=("$stage_now")
  stage_seconds+=($((SECONDS - stage_start)))
  stage_now=
}
stage_table() {
  local rc=$? i
  stage_end
  [ ${#stage_names[@]} -gt 0 ] || return 0
  echo
  echo "stage times (./test.sh${1:+ $1}, exit $rc):"
  for i in "${!stage_names[@]}"; do
    printf '  %-50s %6d s\n' "${stage_names[$i]}" "${stage_seconds[$i]}"
  done
  printf '  %-50s %6d s\n' "total" $((SECONDS - run_start))
}
trap 'stage_table "$mode"' EXIT

stage "install what is missing"
case "$mode" in
  qt6) tools/install-deps.sh --qt6 ;;
  all) tools/install-deps.sh --qt6 --package ;;
  *) tools/install-deps.sh ;;
esac

jobs=$(nproc 2>/dev/null || echo 2)
test_jobs=${KQ_TEST_JOBS:-$((4 * jobs))}

# Runs the tests of a build folder (CTest arguments may narrow them), keeps
# CTest's record in Testing/junit.xml and holds the times against the budgets.
run_tests() { # build-dir ctest-arguments...
  local dir=$1 rc=0
  shift
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$test_jobs" \
    --output-junit Testing/junit.xml "$@") || rc=$?
  tools/test-times.sh "$dir" || rc=$((rc ? rc : 1))
  return "$rc"
}

suite() { # build-dir sanitizer qt-major
  local dir=$1 sanitizer=$2 qt=$3
  stage "build ($dir, Qt $qt${sanitizer:+, $sanitizer sanitizer})"
  tools/configure.sh "$dir" -DKQ_QT_MAJOR="$qt" -DKQ_SANITIZER="$sanitizer"
  cmake --build "$dir" -j "$jobs"
  stage "tests ($dir)"
  run_tests "$dir"
}

# The transport and module tests whose threads the checker follows; reports
# whose ordering lies inside Qt are suppressed in tools/tsan.supp.
thread_suite() {
  stage "build (build-tsan, Qt 5, thread sanitizer)"
  tools/configure.sh build-tsan -DKQ_QT_MAJOR=5 -DKQ_SANITIZER=thread -DKQ_BUILD_BENCH=OFF
  cmake --build build-tsan -j "$jobs" --target thread_tests
  stage "thread tests (build-tsan)"
  TSAN_OPTIONS="suppressions=$PWD/tools/tsan.supp:halt_on_error=1" run_tests build-tsan -L threads
}

package() {
  stage "Debian package from build/"
  KQ_QT_MAJOR=5 tools/make-deb.sh build
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/lsan.supp}

asan_qt=${KQ_QT_MAJOR:-5}
asan_dir=build-asan
[ "$asan_qt" = 6 ] && asan_dir=build-qt6-asan

case "$mode" in
  plain) suite build "" 5 ;;
  qt6) suite build-qt6 "" 6 ;;
  asan) suite "$asan_dir" address "$asan_qt" ;;
  tsan) thread_suite ;;
  fuzz)
    stage "fuzz"
    fuzz/run.sh 20
    ;;
  format)
    stage "format check"
    tools/check-format.sh
    ;;
  package) package ;;
  all)
    # Qt 5 and Qt 6 each build and pass the whole suite; the sanitizers see
    # the whole suite once (Qt 6 under AddressSanitizer, the threads under
    # ThreadSanitizer).
    stage "format check"
    tools/check-format.sh
    suite build "" 5
    package
    suite build-qt6-asan address 6
    thread_suite
    stage "fuzz"
    fuzz/run.sh 20
    ;;
esac
