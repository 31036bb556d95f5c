#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite with CTest.
#   ./test.sh           plain build with Qt 5 (with CI=true: everything, as --all)
#   ./test.sh --qt6     plain build with Qt 6 (in build-qt6)
#   ./test.sh --asan    AddressSanitizer + UndefinedBehaviorSanitizer build only
#   ./test.sh --tsan    ThreadSanitizer build of the thread tests only
#   ./test.sh --fuzz    every fuzz target for 20 s (fuzz/run.sh)
#   ./test.sh --format  only the format check of the C++ sources (tools/check-format.sh)
#   ./test.sh --package the Debian package built from the plain build and checked (tools/make-deb.sh)
#   ./test.sh --all     the format check, plain with Qt 5 and its package, plain with Qt 6,
#                       AddressSanitizer, ThreadSanitizer, then fuzzing
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
  -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
  *) echo "test.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
esac

case "$mode" in
  qt6) tools/install-deps.sh --qt6 ;;
  all) tools/install-deps.sh --qt6 --package ;;
  *) tools/install-deps.sh ;;
esac

jobs=$(nproc 2>/dev/null || echo 2)

suite() { # build-dir sanitizer [qt-major]
  local dir=$1 sanitizer=$2 qt=${3:-5}
  echo "== build ($dir, Qt $qt${sanitizer:+, $sanitizer sanitizer})"
  cmake -S . -B "$dir" -DKQ_QT_MAJOR="$qt" -DKQ_SANITIZER="$sanitizer" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== tests ($dir)"
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 600)
}

# The transport and module tests whose threads the checker follows; reports
# whose ordering lies inside Qt are suppressed in tools/tsan.supp.
thread_suite() {
  echo "== build (build-tsan, thread sanitizer)"
  cmake -S . -B build-tsan -DKQ_QT_MAJOR=5 -DKQ_SANITIZER=thread -DKQ_BUILD_BENCH=OFF >/dev/null
  cmake --build build-tsan -j "$jobs" --target thread_tests
  echo "== thread tests (build-tsan)"
  (cd build-tsan && TSAN_OPTIONS="suppressions=$PWD/../tools/tsan.supp:halt_on_error=1" \
    QT_QPA_PLATFORM=offscreen ctest -L threads --output-on-failure -j "$jobs" --timeout 600)
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/lsan.supp}

case "$mode" in
  plain) suite build "" ;;
  qt6) suite build-qt6 "" 6 ;;
  asan) suite build-asan address ;;
  tsan) thread_suite ;;
  fuzz) fuzz/run.sh 20 ;;
  format) tools/check-format.sh ;;
  package) KQ_QT_MAJOR=5 tools/make-deb.sh build ;;
  all)
    tools/check-format.sh
    suite build ""
    KQ_QT_MAJOR=5 tools/make-deb.sh build
    suite build-qt6 "" 6
    suite build-asan address
    thread_suite
    fuzz/run.sh 20
    ;;
esac
