#!/usr/bin/env bash
# penwick-pack.exe under Wine against the Linux penwick-pack: the same sample region packs to
# the same image, each side unpacks the other's image to the region, and a damaged image is
# refused with the same status on both.
#   pack_crosscheck.sh LINUX_PENWICK_PACK WINDOWS_BIN   (Wine prefix and server set up by the caller)
set -euo pipefail
linux=$1
bin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {
  if "$@"; then echo "ok: ${what}"; else echo "FAIL: ${what}"; failures=$((failures + 1)); fi
}
wpack() { timeout 120 wine "$bin/penwick-pack.exe" "$@" </dev/null >/dev/null 2>&1; }

"$linux" sample "$work/region.upk" 7 >/dev/null
"$linux" pack "$work/region.upk" "$work/linux.pak" 0x0202 >/dev/null
what="the Windows tool writes the same sample"
check wpack sample "Z:$work/win-region.upk" 7
check cmp -s "$work/region.upk" "$work/win-region.upk"
what="the Windows tool packs to the same image"
check wpack pack "Z:$work/region.upk" "Z:$work/win.pak" 0x0202
check cmp -s "$work/linux.pak" "$work/win.pak"
what="the Windows tool unpacks the Linux image to the region"
check wpack unpack "Z:$work/linux.pak" "Z:$work/win-back.upk"
check cmp -s "$work/region.upk" "$work/win-back.upk"

# A damaged packed image: both refuse it with the same status.
cp "$work/linux.pak" "$work/bad.pak"
printf '\xff\xff\xff\xff' | dd of="$work/bad.pak" bs=1 seek=200 conv=notrunc status=none
linux_status=0
"$linux" unpack "$work/bad.pak" "$work/l.upk" >/dev/null 2>&1 || linux_status=$?
win_status=0
wpack unpack "Z:$work/bad.pak" "Z:$work/w.upk" || win_status=$?
what="a damaged image is refused alike (Linux $linux_status, Windows $win_status)"
check test "$linux_status" -ne 0 -a "$linux_status" -eq "$win_status"

exit $((failures > 0))
