#!/usr/bin/env bash
# Serial session benchmark over a pseudo-terminal against the emulated receiver:
#  - a full serial download and a full serial upload: host wall time and host CPU time;
#  - the host CPU time of a download that waits 10 s for a request that never comes (the
#    workers sleep on the receive queue; goal: under 1 % of one core);
#  - the time the same exchanges would take on a 115200-baud line, from the bytes the
#    receiver logged on the line (10 bits per byte, both directions).
# Usage: bench/serial_bench.sh [RUNS]   (default 3 runs of each session)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
build=build/bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPENWICK_TESTS=OFF -DPENWICK_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target penwick-sim penwick-serial-session penwick-pack >/dev/null
bin=$build/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The payload: a realistic settings region packed through the public API, and an EEPROM image.
"$bin/penwick-pack" sample "$work/region.upk" 1 >/dev/null
"$bin/penwick-pack" pack "$work/region.upk" "$work/image.pak" 0x1234 >/dev/null
head -c 256 "$work/region.upk" >"$work/eeprom.bin"

# Bytes on the line: every frame the receiver logged (8 + LEN bytes each).
line_bytes() {
  awk '{ for (i = 1; i < NF; i++) if ($i == "len") n += 8 + $(i + 1) } END { print n + 0 }' "$1"
}
at_115200() { awk -v b="$1" 'BEGIN { printf "%.2f", b * 10 / 115200 }'; }

session() {  # mode, run
  local mode=$1 log=$work/$1-$2.log out
  if [ "$mode" = down ]; then
    out=$("$bin/penwick-sim" serial --mode download --pak "$work/image.pak" \
      --eeprom "$work/eeprom.bin" --verbose --run "$bin/penwick-serial-session" down COM1 \
      "$work/image.pak" "$work/eeprom.bin" "$work" 2>"$log")
  else
    out=$("$bin/penwick-sim" serial --mode upload --pak "$work/image.pak" \
      --eeprom "$work/eeprom.bin" --verbose --run "$bin/penwick-serial-session" up COM1 \
      "$work/up.pak" "$work/up.bin" 2>"$log")
    cmp -s "$work/up.pak" "$work/image.pak" && cmp -s "$work/up.bin" "$work/eeprom.bin" ||
      { echo "upload: the images differ" >&2; exit 1; }
  fi
  local summary host bytes
  summary=$(grep '^SIM ' <<<"$out")
  host=$(grep '^SESSION ' <<<"$out")
  bytes=$(line_bytes "$log")
  [[ $summary == "SIM OK"* ]] || { echo "$mode: $summary" >&2; exit 1; }
  printf '%-8s run %d: %s  line_bytes=%d  at_115200_s=%s\n' "$mode" "$2" \
    "${host#SESSION * }" "$bytes" "$(at_115200 "$bytes")"
}

echo "serial download and upload over a pseudo-terminal (host process times)"
for ((r = 1; r <= runs; r++)); do session down "$r"; done
for ((r = 1; r <= runs; r++)); do session up "$r"; done

echo "download waiting 10 s for a request that never comes"
# No reboot frame is sent, so the receiver never announces itself.
"$bin/penwick-sim" serial --pak "$work/image.pak" --eeprom "$work/eeprom.bin" --timeout 30 \
  --run "$bin/penwick-serial-session" idle COM1 10 |
  grep '^IDLE ' || true
