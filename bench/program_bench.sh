#!/usr/bin/env bash
# Whole runs of PenwickUpload against the emulated receiver over USB/IP on loopback: a USB
# download and a USB upload of a realistic transfer file. Each run is timed from the start of
# the transfer (the program's "Start!" message, right after the receiver's arrival) to the
# program's exit, and reported as measured and less the sessions' fixed pauses (download:
# 300 ms after writing the download file and 100 ms before the completion notice; upload:
# 300 ms before the completion notice).
# Usage: bench/program_bench.sh [RUNS]   (default 5 runs of each)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
build=build/bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPENWICK_TESTS=OFF -DPENWICK_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target PenwickUpload penwick-sim penwick-pack >/dev/null
bin=$PWD/$build/bin
work=$(mktemp -d)
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
"$bin/penwick-pack" sample region.upk 1 >/dev/null
"$bin/penwick-pack" pack region.upk image.pak 0x1234 >/dev/null
head -c 256 region.upk >eeprom.bin
"$bin/penwick-pack" transfer image.pak eeprom.bin settings.dat

run() {  # mode port file pause_ms
  "$bin/penwick-sim" usb --port 0 --appear-after-ms 500 --mode "$1" --file settings.dat \
    >sim.out 2>/dev/null &
  sim_pid=$!
  for _ in $(seq 100); do grep -q '^USBIP' sim.out 2>/dev/null && break; sleep 0.05; done
  local address
  address=$(awk '/^USBIP/ { print $2; exit }' sim.out)
  # Every JSON line stamped with the time it arrived (us). The stamp is bash's own clock: a
  # `date` forked per line lagged behind the program by ~15 ms a line, so a run with many
  # progress lines looked seconds slower than it was.
  PENWICK_USBIP=$address PENWICK_USB_IDS= "$bin/PenwickUpload" "-f$3" "-p$2" --json 2>/dev/null |
    while IFS= read -r line; do echo "${EPOCHREALTIME/./} $line"; done >run.log
  wait "$sim_pid" || { echo "receiver: $(tail -n 1 sim.out)" >&2; exit 1; }
  sim_pid=
  grep -q '"exit":0' run.log || { echo "run failed: $(tail -n 1 run.log)" >&2; exit 1; }
  awk -v pause="$4" '/"text":"Start! / { start = $1 } { end = $1 }
    END { ms = (end - start) / 1e3; printf "%8.1f ms measured, %8.1f ms without pauses\n", ms, ms - pause }' run.log
}

echo "USB download (the download file of a realistic settings region):"
for _ in $(seq "$runs"); do run download COM0 settings.dat 400; done
echo "USB upload (131072-byte packed image in 3 blocks, 256-byte EEPROM image):"
for _ in $(seq "$runs"); do run upload COM256 received.dat 300; done
