#!/usr/bin/env bash
# Installs what is missing, builds if needed, starts the simulated satellite
# and drives it with the command-line driver: read the transceiver, list the
# on-board computer, upload and download a file and verify it.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

bin=build/bin
work=$(mktemp -d)
link=$work/uhf
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill -INT "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/satsim" --link "$link" >"$work/satsim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do grep -q '^ready' "$work/satsim.log" 2>/dev/null && break; sleep 0.1; done
grep -q '^ready' "$work/satsim.log" || { cat "$work/satsim.log"; exit 1; }
sed -n '1,6p' "$work/satsim.log" | sed 's/^/satsim  /'

step() { echo; echo "\$ satctl $*"; "$bin/satctl" --port "$link" "$@"; }

step get version freq rf-mode beacon src-call text-beacon
step set dst-call=QQ1AB text-beacon-period=120
step get dst-call text-beacon-period
step --type xhf-xhf get version rssi
step ls
head -c 20000 /dev/urandom >"$work/sample.dat"
step put "$work/sample.dat" SAMPLE.DAT
step get-file SAMPLE.DAT "$work/back.dat"
step checksum SAMPLE.DAT "$work/back.dat"
cmp "$work/sample.dat" "$work/back.dat" && echo "sample.dat came back byte for byte"
step mode
step --json beacons --count 1 --seconds 15
echo
echo "Done. Try it yourself: build/bin/satsim in one terminal, then"
echo "  build/bin/satctl --port <the link it prints> get"
