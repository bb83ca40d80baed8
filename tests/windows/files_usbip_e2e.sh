#!/usr/bin/env bash
# penwick-files.exe under Wine against the Linux emulated receiver's file store over USB/IP on
# loopback: a send and a receive that round-trip a file exactly, a receive of a file the
# receiver does not have (exit 1, LOCAL untouched), and an existing LOCAL without --force
# (exit 2, untouched); the local files in a folder with a non-ASCII name.
#   files_usbip_e2e.sh PENWICK_SIM WINDOWS_BIN   (Wine prefix and server set up by the caller)
set -euo pipefail
sim=$1
bin=$2
source "$(dirname "$0")/sim_start.sh"  # $work, start_sim
# The local files sit in a folder whose name no single-byte code page holds: only the UTF-8
# code page that the programs' manifest sets passes it through the "A" calls intact.
folder="$work/Ωmega データ"
mkdir -p "$work/store" "$folder"

start_sim "$work/sim.out" usb --port 0 --bcd-device 0200 --files "$work/store"
[ -n "$sim_usbip" ] || { echo "penwick-sim did not start"; cat "$work/sim.out"; exit 1; }
export PENWICK_USBIP=$sim_usbip

failures=0
# run EXPECTED_STATUS ARGS...: penwick-files.exe with the arguments, its status checked.
run() {
  local expected=$1 status=0
  shift
  timeout 120 wine "$bin/penwick-files.exe" "$@" --timeout 20 >"$work/out" 2>&1 </dev/null || status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL: penwick-files $* gave $status, expected $expected"
    sed 's/\r$//' "$work/out"
    failures=$((failures + 1))
  else
    echo "ok: penwick-files $* -> $status"
  fi
}
# same A B WHAT: the two files are byte for byte the same.
same() {
  if cmp -s "$1" "$2"; then echo "ok: $3"; else echo "FAIL: $3"; failures=$((failures + 1)); fi
}

head -c 300001 /dev/urandom >"$folder/sent.bin"
run 0 send "Z:$folder/sent.bin" sent.bin
same "$folder/sent.bin" "$work/store/sent.bin" "the store holds the sent file"
run 0 receive sent.bin "Z:$folder/back.bin"
same "$folder/sent.bin" "$folder/back.bin" "the received file is the sent one"

printf 'keep me' >"$folder/keep.bin"
cp "$folder/keep.bin" "$work/keep.ref"
run 1 receive missing.bin "Z:$folder/keep.bin" --force
same "$work/keep.ref" "$folder/keep.bin" "a failed receive leaves LOCAL untouched"
run 2 receive sent.bin "Z:$folder/keep.bin"
same "$work/keep.ref" "$folder/keep.bin" "a refused receive leaves LOCAL untouched"
leftovers=$(find "$folder" -name '*.part' | wc -l)
[ "$leftovers" -eq 0 ] && echo "ok: no temporary file left" || { echo "FAIL: $leftovers temporary files left"; failures=$((failures + 1)); }

exit $((failures > 0))
