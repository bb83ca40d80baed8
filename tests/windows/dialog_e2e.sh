#!/usr/bin/env bash
# PenwickUpload.exe in its dialog under Wine, on the X display of the caller (Xvfb), against the
# Linux emulated receiver over USB/IP on loopback: a USB download that closes the dialog by
# itself with status 0, with two pictures of the screen taken during it (the status text drawn,
# the bar longer in the second); a USB upload that saves the transfer file and closes with 0; a
# refused download whose dialog stays open, saying why, until Exit is pressed, and then returns
# its status (11); and the service panel (--service), pictured and ended with Exit (8,
# cancelled). The pictures of the dialog go to SHOTS (docs/screenshots/ keeps two of them).
#   dialog_e2e.sh PENWICK_SIM PENWICK_PACK WINDOWS_BIN SHOTS
# (Wine prefix, server and DISPLAY set up by the caller.)
set -euo pipefail
mkdir -p "$4"
sim=$(realpath "$1")
pack=$(realpath "$2")
bin=$(realpath "$3")
shots=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/sim_start.sh"  # $work, start_sim
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

"$pack" sample region.upk 7 >/dev/null
"$pack" pack region.upk image.pak 0x1234 >/dev/null
head -c 256 /dev/urandom >eeprom.bin
"$pack" transfer image.pak eeprom.bin settings.dat >/dev/null

# start_usb_sim ARGS...: the emulated receiver on a free port, in place of the last one, the
# runs arriving 3 s after its start (the program is armed by then: Wine takes a second or two to
# start it); PENWICK_USBIP names it.
start_usb_sim() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  start_sim sim.out usb --port 0 "$@"
  export PENWICK_USBIP=$sim_usbip
}
# program ARGS...: PenwickUpload.exe in the background; its status lands in program.status.
program() {
  rm -f program.status
  (
    status=0
    timeout 120 wine "$bin/PenwickUpload.exe" "$@" --timeout 60 >program.out 2>&1 </dev/null ||
      status=$?
    echo "$status" >program.status
  ) &
  program_pid=$!
}
# finished EXPECTED WHAT: the program ended with EXPECTED.
finished() {
  wait "$program_pid" || true
  local status
  status=$(cat program.status)
  if [ "$status" = "$1" ]; then ok "$2: status $status"; else
    fail "$2: status $status, expected $1"
    sed 's/\r$//' program.out
  fi
}
# probe ARGS... > FILE: the dialog's rectangles and state (penwick-dialog-probe).
probe() { wine "$bin/penwick-dialog-probe.exe" "$@" </dev/null | sed 's/\r$//'; }
# shot NAME STATE: the whole screen as NAME.ppm, and the dialog alone (its window rectangle
# in STATE) as SHOTS/NAME.png.
shot() {
  xwd -root -display "$DISPLAY" | xwdtopnm 2>/dev/null >"$1.ppm"
  read -r _ left top right bottom < <(grep '^window ' "$2")
  pnmcut -left "$left" -top "$top" -width $((right - left)) -height $((bottom - top)) "$1.ppm" |
    pnmtopng >"$shots/$1.png"
}

# A USB download, pictured twice: the receiver pauses 1.5 s at 18% and again at 60% of the file
# (a block request lost, asked again), while the pictures are taken. (Its first requests walk the
# file's chunk lengths to its end, so the status shows up to 99% for a moment before the blocks.)
start_usb_sim --appear-after-ms 3000 --mode download --file settings.dat --drop-request 30,80 \
  --answer-ms 1500
program -fsettings.dat -pCOM0
if probe progress 15 50 30 >early.txt; then shot download-early early.txt; else fail "no progress"; fi
if probe progress 55 100 30 >late.txt; then shot download-late late.txt; else fail "no more progress"; fi
finished 0 "USB download closes itself"
for _ in $(seq 50); do grep -q '^SIM ' sim.out && break; sleep 0.1; done
grep -q '^SIM OK' sim.out && ok "the receiver got the images" || fail "$(tail -n1 sim.out)"
if [ -s early.txt ] && [ -s late.txt ]; then
  python3 "$here/dialog_shots.py" download-early.ppm early.txt download-late.ppm late.txt &&
    ok "pictures: the status text drawn, the bar grows ($(sed -n 's/^text //p' early.txt), then $(sed -n 's/^text //p' late.txt))" ||
    fail "pictures of the download"
fi

# A USB upload saves the transfer file (the images without the header) and closes itself.
start_usb_sim --appear-after-ms 3000 --mode upload --file settings.dat --bcd-device 0200
program -freceived.dat -pCOM256
finished 0 "USB upload closes itself"
if tail -c +65 settings.dat | cmp -s - received.dat; then ok "the upload saved the images"; else
  fail "received.dat differs from the images served"
fi

# A refused download: the dialog stays open with the reason until Exit, then returns 11.
start_usb_sim --appear-after-ms 3000 --mode download --file settings.dat --refuse-opening 1
program -fsettings.dat -pCOM0
for _ in $(seq 150); do
  probe wait 1 >failed.txt || true
  grep -q '^text The receiver did not take' failed.txt && break
  [ -f program.status ] && break
  sleep 0.2
done
sleep 1
if [ ! -f program.status ] && probe wait 1 >still.txt; then
  ok "the failed run stays open: $(sed -n 's/^text //p' still.txt)"
  probe press 1
else
  fail "the failed run did not stay open"
fi
finished 11 "Exit after a refused download"

# The service panel: a USB download armed and waiting (the receiver stays away), pictured,
# then ended by Exit (cancelled).
start_usb_sim --appear-after-ms 600000 --mode download --file settings.dat
program --service -fsettings.dat -pCOM0
for _ in $(seq 100); do
  probe wait 1 >service.txt && grep -q '^entry Eeprom Data read' service.txt && break
  sleep 0.2
done
sleep 0.5
shot service-panel service.txt
python3 "$here/dialog_shots.py" service-panel.ppm service.txt &&
  ok "picture: the service panel with its message list" || fail "picture of the service panel"
probe press 1
finished 8 "Exit while a download is armed"

exit $((failures > 0))
