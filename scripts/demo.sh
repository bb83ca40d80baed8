#!/usr/bin/env bash
# Builds the tool and runs its main job for real against the emulated receiver (penwick-sim):
# a serial download over a pseudo-terminal, then over USB/IP a USB download of the transfer
# file into the receiver, which checks what it got, and a USB upload of the receiver's
# settings back into a new transfer file. The files stay in build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/configure.sh build/release -DCMAKE_BUILD_TYPE=Release -DPENWICK_TESTS=OFF
cmake --build build/release -j"$(nproc)" >/dev/null
bin=$PWD/build/release/bin
work=$PWD/build/demo
rm -rf "$work" && mkdir -p "$work"
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true' EXIT
cd "$work"

# A transfer file as a settings editor hands it over: a realistic settings region, packed.
"$bin/penwick-pack" sample region.upk 7
"$bin/penwick-pack" pack region.upk image.pak 0x1234
head -c 256 region.upk >eeprom.bin
"$bin/penwick-pack" transfer image.pak eeprom.bin settings.dat

# Starts the emulated receiver off the bus; it arrives (as after a reboot) once the program
# waits for it. Sets PENWICK_USBIP to where it listens.
start_receiver() {
  "$bin/penwick-sim" usb --port 0 --appear-after-ms 2000 "$@" >sim.out 2>sim.err &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q '^USBIP' sim.out 2>/dev/null && break
    sleep 0.1
  done
  export PENWICK_USBIP=$(awk '/^USBIP/ { print $2; exit }' sim.out)
}
finish_receiver() {
  wait "$sim_pid" || true
  sim_pid=
  echo "receiver: $(tail -n 1 sim.out)"
}

echo "== Serial download of settings.dat into the receiver (COM1 is the receiver's pty)"
"$bin/penwick-sim" serial --file settings.dat --run "$bin/PenwickUpload" -fsettings.dat -pCOM1 \
  --console | grep -v '^Writing \[.*[1-9] %$'

echo
echo "== USB download of settings.dat into the receiver"
start_receiver --mode download --file settings.dat
status=0
"$bin/PenwickUpload" -fsettings.dat -pCOM0 --console || status=$?
finish_receiver
[ "$status" = 0 ] || exit "$status"

echo
echo "== USB upload of the receiver's settings into received.dat"
start_receiver --mode upload --file settings.dat
"$bin/PenwickUpload" -freceived.dat -pCOM256 --console
finish_receiver
echo
if cmp -s received.dat <(tail -c +65 settings.dat); then
  echo "$work/received.dat ($(stat -c %s received.dat) bytes) holds the images of"
  echo "$work/settings.dat; the program's log is $work/Upload.Log"
else
  echo "received.dat DIFFERS from the images of settings.dat"
  exit 1
fi
