#!/usr/bin/env bash
# Configures a build folder the way ./test.sh and ./run.sh share:
#   tools/configure.sh BUILD_DIR [CMAKE_OPTIONS...]
# Ninja when it is installed, the libraries and programs compiled in batches
# (CMAKE_UNITY_BUILD: a clean build in about half the time), and the prefix
# the Debian package needs, so that the package is made from the tested build
# without relinking it. A folder another generator made is configured afresh.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:?usage: tools/configure.sh BUILD_DIR [CMAKE_OPTIONS...]}
shift
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ -f "$dir/CMakeCache.txt" ] && [ ${#generator[@]} -gt 0 ] &&
  ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
fi
cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_UNITY_BUILD=ON -DCMAKE_INSTALL_PREFIX=/usr "$@" \
  >/dev/null
