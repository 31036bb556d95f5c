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
  lib/libserline.so      serial transport: one I/O thread per port, blocking calls, stop from any thread
  lib/libsatcmd.so       text protocol and engine with relays; UHF, FSPS, OBC and X-band modules
  bin/tst_*              the test programs (./test.sh runs them all)
  bin/serial_roundtrip   transport benchmark
  bin/command_roundtrip  status-word reads against the simulated transceiver
  bin/ax25_decode        AX.25 decoder throughput
  bin/uhf_flash          firmware flash through the stack against the simulated transceiver
  bin/obc_transfer       file transfer through two relays to the simulated on-board computer

The simulator program and the command-line driver are not there yet. Meanwhile,
here is the whole stack talking to the simulated transceiver on a pseudo-terminal:
TXT
build/bin/command_roundtrip 1000
echo
build/bin/uhf_flash 16
echo
build/bin/obc_transfer 1
echo
build/bin/ax25_decode 2
