#!/bin/sh
# Saves pictures of the configurator against the simulated satellite into
# doc/images (or the folder given), without a display.
set -eu
cd "$(dirname "$0")/.."
out="${1:-doc/images}"
tools/install-deps.sh
[ -f build/CMakeCache.txt ] || tools/configure.sh build -DKQ_QT_MAJOR="${KQ_QT_MAJOR:-5}"
cmake --build build --target window_shots -j"$(nproc)" >/dev/null
QT_QPA_PLATFORM=offscreen build/bin/window_shots "$out"
# The same window at twice the scale, as on a high-DPI screen.
scaled=$(mktemp -d)
trap 'rm -rf "$scaled"' EXIT
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 build/bin/window_shots "$scaled" >/dev/null
cp "$scaled/uhf-panel.png" "$out/uhf-panel-scale2.png"
echo "$out/uhf-panel-scale2.png"
