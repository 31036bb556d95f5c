#!/usr/bin/env bash
# Reads the times CTest kept of a run and holds them against the budgets:
#   tools/test-times.sh BUILD_DIR
# BUILD_DIR/Testing/junit.xml is CTest's record (ctest --output-junit);
# BUILD_DIR/test_budgets.txt names each test program's budget in seconds
# (tests/CMakeLists.txt, KQ_TEST_BUDGET and BUDGET). A test split into its
# functions ("program:function") has the program's budget for each of them.
# Prints the ten slowest tests; exits 1 when one ran past its budget.
set -euo pipefail
dir=${1:?usage: tools/test-times.sh BUILD_DIR}
junit=$dir/Testing/junit.xml
budgets=$dir/test_budgets.txt
[ -f "$junit" ] || { echo "test-times.sh: no $junit (ctest --output-junit)" >&2; exit 2; }
[ -f "$budgets" ] || { echo "test-times.sh: no $budgets" >&2; exit 2; }

# One line per test: seconds, name.
times=$(sed -n 's/^[[:space:]]*<testcase name="\([^"]*\)"[^>]* time="\([0-9.]*\)".*/\2 \1/p' "$junit")
[ -n "$times" ] || { echo "test-times.sh: $junit lists no test" >&2; exit 2; }

echo "the ten slowest tests ($dir):"
# awk reads everything: a reader that stops early (head) would make sort die
# of SIGPIPE, and pipefail the whole script.
sort -rn <<<"$times" | awk 'NR <= 10 { printf "  %7.1f s  %s\n", $1, $2 }'

over=$(awk 'NR == FNR { budget[$1] = $2; next }
            { program = $2; sub(/:.*/, "", program)
              limit = (program in budget) ? budget[program] : 0
              if (limit == 0) { printf "  %s: no budget set\n", $2; next }
              if ($1 > limit) printf "  %s took %.1f s, over its budget of %d s\n", $2, $1, limit }' \
  "$budgets" - <<<"$times")
if [ -n "$over" ]; then
  echo "test-times.sh: tests ran past their budget (make them wait on events, or set their" \
    "BUDGET in tests/ with the reason):" >&2
  echo "$over" >&2
  exit 1
fi
