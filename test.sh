#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite with CTest.
#   ./test.sh           plain build (with CI=true: plain, then sanitizers)
#   ./test.sh --asan    AddressSanitizer + UndefinedBehaviorSanitizer build only
#   ./test.sh --all     plain, then sanitizers
set -euo pipefail
cd "$(dirname "$0")"

mode=plain
[ "${CI:-}" = true ] && mode=all
case "${1:-}" in
  "") ;;
  --asan) mode=asan ;;
  --all) mode=all ;;
  -h|--help) sed -n '2,6p' "$0"; exit 0 ;;
  *) echo "test.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
esac

tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

suite() { # build-dir sanitizer
  local dir=$1 sanitizer=$2
  echo "== build ($dir${sanitizer:+, $sanitizer sanitizer})"
  cmake -S . -B "$dir" -DKQ_SANITIZER="$sanitizer" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== tests ($dir)"
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 600)
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/lsan.supp}

case "$mode" in
  plain) suite build "" ;;
  asan) suite build-asan address ;;
  all) suite build ""; suite build-asan address ;;
esac
