#!/usr/bin/env bash
# PenwickUpload under Wine against the Linux emulated receiver, in a work folder whose name no
# single-byte code page holds (the programs' manifest makes UTF-8 their code page):
#   - the console twin and the windowed program: PenwickUpload.com is a console program,
#     PenwickUpload.exe a windowed one; --list names the Wine COM port and the USB/IP server;
#   - a USB download (PenwickUpload.com --console) and a USB upload (PenwickUpload.exe --json,
#     the file named by its Windows path) over USB/IP on loopback;
#   - failures with their exit status and the transfer file untouched: the receiver unplugged
#     during a USB upload (the windowed program with PENWICK_UI=console, which shows the run on
#     the console instead of its dialog), a COM port that does not exist, and Ctrl-C while the run waits;
#   - a serial download through a Wine COM port that is the emulated receiver's pseudo-terminal.
# The serial run comes last: Wine's server takes the terminal as its controlling one, so it is
# stopped before the receiver closes the terminal.
#   upload_e2e.sh PENWICK_SIM PENWICK_PACK WINDOWS_BIN
# The caller sets up the Wine prefix and server, with COM5 among Wine's registered ports (as
# scripts/test-windows.sh does), and stops the server again afterwards.
set -euo pipefail
sim=$(realpath "$1")
pack=$(realpath "$2")
bin=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/sim_start.sh"  # $work, start_sim
cleanup() {
  rm -f "$WINEPREFIX/dosdevices/com5"
  end_sim_run
}
trap cleanup EXIT
folder="$work/Ωmega データ"
mkdir -p "$folder"
cd "$folder"

failures=0
pass() { echo "ok: $1"; }
fail() {
  echo "FAIL: $1"
  failures=$((failures + 1))
}
# check WHAT COMMAND...: passes when the command succeeds.
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
# run EXPECTED_STATUS PROGRAM ARGS...: the program under Wine, its output in $work/out and
# $work/err (line ends as Linux writes them), its status checked.
run() {
  local expected=$1 program=$2 status=0
  shift 2
  timeout 120 wine "$bin/$program" "$@" >"$work/out" 2>"$work/err" </dev/null || status=$?
  sed -i 's/\r$//' "$work/out" "$work/err"
  if [ "$status" -ne "$expected" ]; then
    fail "$program $* gave $status, expected $expected"
    cat "$work/out" "$work/err"
  else
    pass "$program $* -> $status"
  fi
}
# sim_verdict: waits for the emulated receiver's end and checks its last line.
sim_verdict() {
  local status=0
  wait "$sim_pid" || status=$?
  sim_pid=""
  if [ "$status" -eq 0 ] && tail -n1 "$work/sim.out" | grep -q '^SIM OK'; then
    pass "the receiver: $(tail -n1 "$work/sim.out")"
  else
    fail "the receiver: $(tail -n1 "$work/sim.out")"
  fi
}

# The images: a packed sample region and an EEPROM image, as a transfer file.
"$pack" sample "$work/region.upk" 7 >/dev/null
"$pack" pack "$work/region.upk" "$work/image.pak" 0x1234 >/dev/null
head -c 256 /dev/urandom >"$work/eeprom.bin"
"$pack" transfer "$work/image.pak" "$work/eeprom.bin" settings.dat >/dev/null
tail -c +65 settings.dat >"$work/saved.ref"  # what an upload of these images saves
cp settings.dat "réglages Ω.dat"

# The twins: a console program and a windowed one, both with their resources.
objdump=x86_64-w64-mingw32-objdump
check "PenwickUpload.com is a console program" grep -q 'Windows CUI' <($objdump -p "$bin/PenwickUpload.com")
check "PenwickUpload.exe is a windowed program" grep -q 'Windows GUI' <($objdump -p "$bin/PenwickUpload.exe")

# --list: the COM port Wine maps to a terminal, an unreachable USB/IP server, and the note that
# local USB devices are not listed on Windows.
ln -sfn /dev/null "$WINEPREFIX/dosdevices/com5"
PENWICK_USBIP=127.0.0.1:9 run 0 PenwickUpload.com --list
check "--list names COM5" grep -q 'COM5' "$work/out"
check "--list shows the unreachable server" grep -q '127.0.0.1:9: cannot be reached' "$work/out"
check "--list says local USB devices are not listed" grep -q 'not listed on Windows' "$work/out"

# USB download over USB/IP: the receiver arrives after the program has armed the download. A
# download file an ended run left behind is removed at the start.
: >'~tmpDown.hvd.part7'
start_sim "$work/sim.out" usb --port 0 --appear-after-ms 2500 --mode download --file settings.dat
export PENWICK_USBIP=$sim_usbip
PENWICK_USBIP=${PENWICK_USBIP%% *}
run 0 PenwickUpload.com "-fréglages Ω.dat" -pCOM0 --console --timeout 60
sim_verdict
check "the console says the download is done" grep -q '^Done: the USB download completed' "$work/out"
check "no download file is left in the work folder" test ! -e '~tmpDown.hvd' -a ! -e '~tmpDown.hvd.part7'
check "Upload.Log is written in the work folder" grep -aq '^Executed ' Upload.Log

# USB upload over USB/IP into a file named by its Windows path, by the windowed program with
# --json: the work folder (first message) has backslashes, the saved file the served images.
start_sim "$work/sim.out" usb --port 0 --appear-after-ms 2500 --mode upload --file settings.dat --bcd-device 0200
PENWICK_USBIP=$sim_usbip
PENWICK_USBIP=${PENWICK_USBIP%% *}
windows_folder="Z:${folder//\//\\}"
run 0 PenwickUpload.exe "-f$windows_folder\\received.dat" -pCOM256 --json --timeout 60
sim_verdict
check "the upload saved the receiver's images" cmp -s "$work/saved.ref" received.dat
json_folder=${windows_folder//\\/\\\\}  # as a JSON string holds it
check "the work folder is reported with its Windows path" \
  grep -qF "{\"type\":\"message\",\"text\":\"$json_folder\"}" "$work/out"
check "the JSON result says exit 0" grep -q '"type":"result","exit":0' "$work/out"

# Failures: the receiver unplugged during an upload (exit 1, the transfer file untouched), and a
# COM port that does not exist (exit 6).
cp received.dat "$work/received.before"
start_sim "$work/sim.out" usb --port 0 --appear-after-ms 2500 --mode upload --file settings.dat --hangup-after 3
PENWICK_USBIP=$sim_usbip
PENWICK_USBIP=${PENWICK_USBIP%% *}
PENWICK_UI=console run 1 PenwickUpload.exe -freceived.dat -pCOM256 --timeout 60
sim_verdict
check "the windowed program shows the run on the console" grep -q '^Failed: ' "$work/out"
check "a failed upload leaves the file untouched" cmp -s "$work/received.before" received.dat
rm -f "$WINEPREFIX/dosdevices/com5"
run 6 PenwickUpload.com -fsettings.dat -pCOM5 --console

# Ctrl-C while the run waits for the receiver (Wine turns SIGINT into the console's Ctrl-C):
# the run ends as Exit ends it, with status 8.
PENWICK_USBIP=127.0.0.1:9 wine "$bin/PenwickUpload.com" -fsettings.dat -pCOM0 --console \
  >"$work/out" 2>&1 </dev/null &
program=$!
for _ in $(seq 100); do grep -q 'Please reboot' "$work/out" && break; sleep 0.1; done
kill -INT "$program"
for _ in $(seq 300); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
kill -KILL "$program" 2>/dev/null || true  # still running after 30 s: a failure below
status=0
wait "$program" || status=$?
if [ "$status" -eq 8 ] && grep -q 'stopped by Ctrl-C' "$work/out"; then
  pass "Ctrl-C ends the run with status 8"
else
  fail "Ctrl-C gave status $status"
  sed 's/\r$//' "$work/out"
fi
unset PENWICK_USBIP

# Serial download through COM5, the emulated receiver's pseudo-terminal. The receiver keeps the
# terminal open a moment after the transfer, while Wine's server stops.
start_sim "$work/sim.out" serial --mode download --file settings.dat --linger-ms 2000 --timeout 60
ln -sfn "${sim_line#PTY }" "$WINEPREFIX/dosdevices/com5"
run 0 PenwickUpload.com -fsettings.dat -pCOM5 --console
wineserver -k 2>/dev/null || true
sim_verdict
check "the console says the serial download is done" grep -q '^Done: the serial download completed' "$work/out"

exit $((failures > 0))
