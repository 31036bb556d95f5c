#!/usr/bin/env bash
# Fails, naming each file, when a tracked C++ source of the repository (the
# one given, else this one) differs from what clang-format makes of it with
# the root's .clang-format. Debian's clang-format is the reference.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is not installed" >&2
  exit 2
fi
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
# Files in batches, as many batches at once as there are cores; each file
# that differs is named in clang-format's diagnostics.
mapfile -t bad < <(printf '%s\0' "${files[@]}" |
  xargs -0 -r -n 32 -P "$(nproc 2>/dev/null || echo 2)" clang-format --dry-run -Werror 2>&1 |
  sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)
if [ ${#bad[@]} -gt 0 ]; then
  printf 'check-format: not formatted: %s\n' "${bad[@]}" >&2
  echo "check-format: run clang-format -i on them ($(clang-format --version))" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files as clang-format writes them"
