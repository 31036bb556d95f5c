#!/usr/bin/env bash
# Installs what is missing, builds if needed and runs the project's main job.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

cat <<'TXT'
kqconf: configurator for the radio and computer modules of a small satellite.

Built so far (in build/):
  lib/libserline.so   serial transport: one I/O thread per port, blocking calls, stop from any thread
  lib/libsatcmd.so    protocol error types
  bin/tst_*           the test programs (./test.sh runs them all)
  bin/serial_roundtrip  transport benchmark

The simulated satellite and the command-line driver are not there yet. Meanwhile,
here is the transport talking to an echo on a pseudo-terminal:
TXT
exec build/bin/serial_roundtrip 1000 "$@"
