#!/usr/bin/env bash
# Builds the Windows test configuration (scripts/build-windows.sh --tests) and runs the tests
# under Wine through ctest's cross-compiling emulator, in a Wine prefix of their own. Prints its
# wall time, where it went, and its CPU time, and leaves no Wine process behind.
#   scripts/test-windows.sh [ctest arguments...]
# The end-to-end runs need a Linux build's penwick-sim and penwick-pack: PENWICK_LINUX_BIN,
# else build/asan/bin.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
# step NAME: the wall time since the last step, so that a slow phase shows where its time went.
last=$start
step() { echo "== $1: $(($(date +%s) - last)) s"; last=$(date +%s); }

scripts/build-windows.sh --tests
scripts/install-deps.sh xvfb x11-apps netpbm  # the display, and the pictures of the dialog
step "cross build"

export WINEPREFIX="${PENWICK_WINEPREFIX:-$PWD/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"  # no Mono or Gecko prompts
# Windows of the tests (message boxes) go to a private virtual display, never the user's.
display_out=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_out" >/dev/null 2>&1 &
xvfb_pid=$!
stop_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
stop_display() {
  kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$display_out"
}
trap 'stop_wine; stop_display' EXIT
for _ in $(seq 50); do [ -s "$display_out" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$display_out")"

# A persistent server and one warm-up start: without them every test pays a cold start, and
# harnesses that capture output wait until the server exits.
start_wine() {
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
}
mkdir -p "$WINEPREFIX"
start_wine
# Wine manages its own windows (there is no window manager): otherwise hiding a window waits 2 s
# for one; and it draws their frames and captions itself, as the pictures of the dialog show them.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
# COM5 is a port Wine registers (as Windows lists its ports), so that PenwickUpload --list sees
# it; a link made while Wine runs opens, but is not listed. Registered ports are read when the
# server starts, so a new prefix restarts it once.
if ! wine reg query 'HKLM\Software\Wine\Ports' /v COM5 </dev/null >/dev/null 2>&1; then
  wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d /dev/null /f </dev/null >/dev/null 2>&1
  stop_wine
  start_wine
fi
step "Wine prefix and server"

# COM9 is a pseudo-terminal whose far end echoes every byte (the serial port's own tests).
# Wine takes the terminal as its controlling one, so the server stops before the peer does.
echo_out=$(mktemp)
python3 tests/windows/pty_echo.py >"$echo_out" &
echo_pid=$!
stop_all() { stop_wine; stop_display; kill "$echo_pid" 2>/dev/null || true; rm -f "$echo_out"; }
trap stop_all EXIT
for _ in $(seq 50); do [ -s "$echo_out" ] && break; sleep 0.1; done
ln -sfn "$(head -n1 "$echo_out")" "$WINEPREFIX/dosdevices/com9"

status=0
ctest --test-dir build/windows/test --output-on-failure "$@" || status=$?
step "unit tests"

# End to end: penwick-files.exe against the Linux emulated receiver over USB/IP, penwick-pack.exe
# against the Linux penwick-pack, PenwickUpload.exe in its dialog (pictured in
# build/windows/screenshots/), and PenwickUpload over serial and USB/IP against the emulated
# receiver (last: it stops Wine's server before the receiver's terminal closes). The Linux
# programs come from a Linux build (PENWICK_LINUX_BIN, else build/asan/bin).
linux_bin="${PENWICK_LINUX_BIN:-build/asan/bin}"
if [ -x "$linux_bin/penwick-sim" ] && [ -x "$linux_bin/penwick-pack" ]; then
  tests/windows/files_usbip_e2e.sh "$linux_bin/penwick-sim" build/windows/test/bin || status=$?
  tests/windows/pack_crosscheck.sh "$linux_bin/penwick-pack" build/windows/test/bin || status=$?
  tests/windows/dialog_e2e.sh "$linux_bin/penwick-sim" "$linux_bin/penwick-pack" \
    build/windows/test/bin build/windows/screenshots || status=$?
  tests/windows/upload_e2e.sh "$linux_bin/penwick-sim" "$linux_bin/penwick-pack" \
    build/windows/test/bin || status=$?
else
  echo "No Linux penwick-sim and penwick-pack in $linux_bin: the end-to-end runs were skipped."
  status=1
fi
stop_all
step "end-to-end runs"
cpu=$(mktemp)
times >"$cpu"  # in this shell: its children's user and system time
echo "Windows tests under Wine: $(($(date +%s) - start)) s wall, CPU user and system: $(tail -n1 "$cpu")"
rm -f "$cpu"
exit $status
