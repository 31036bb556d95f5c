#!/usr/bin/env bash
# Installs what is missing, builds if needed and starts the simulated
# satellite, then
#   ./run.sh         the configurator, with the simulator's port in its list
#                    (without a display: the command-line tour below)
#   ./run.sh --cli   a tour with the command-line driver: read the transceiver,
#                    list the on-board computer, upload, download and verify
# Built with Qt 5 in build/; KQ_QT_MAJOR=6 ./run.sh builds with Qt 6 in build-qt6/.
set -euo pipefail
cd "$(dirname "$0")"
mode=gui
case "${1:-}" in
  "") ;;
  --cli) mode=cli ;;
  -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
  *) echo "run.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
esac
if [ "$mode" = gui ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display here; running the command-line tour instead (./run.sh --cli)"
  mode=cli
fi
qt=${KQ_QT_MAJOR:-5}
build=build
[ "$qt" = 6 ] && build=build-qt6
KQ_QT_MAJOR=$qt tools/install-deps.sh
tools/configure.sh "$build" -DKQ_QT_MAJOR="$qt" # as ./test.sh does: one build for both
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

bin=$build/bin
work=$(mktemp -d)
link=$work/uhf
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill -INT "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/satsim" --link "$link" --text-reply >"$work/satsim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do grep -q '^ready' "$work/satsim.log" 2>/dev/null && break; sleep 0.1; done
grep -q '^ready' "$work/satsim.log" || { cat "$work/satsim.log"; exit 1; }
sed -n '1,6p' "$work/satsim.log" | sed 's/^/satsim  /'

if [ "$mode" = gui ]; then
  echo
  echo "Starting the configurator: Module > New connection, type \"xHF\" or \"xHF->xHF->OBC\","
  echo "serial port $link; \"X-band\" on $link-xband, \"FSPS\" on $link-fsps."
  "$bin/radcfg" --port "$link" --port "$link-xband" --port "$link-fsps"
  exit 0
fi

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
step text send "hello from the bench" --seconds 2 --count 1
step monitor rssi rx-packets uptime --interval 0.5 --count 3
xstep() { echo; echo "\$ satctl --port $link-xband $*"; "$bin/satctl" --port "$link-xband" "$@"; }
xstep xband put "$work/sample.dat" SAMPLE
xstep xband ls
xstep xband report --full
xstep monitor board-temp pa-temp supply --interval 0.5 --count 3
echo
echo "Done. Try it yourself: $bin/satsim in one terminal, then"
echo "  $bin/satctl --port <the link it prints> get"
