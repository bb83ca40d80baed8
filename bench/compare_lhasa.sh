#!/usr/bin/env bash
# Decoding speed of lhasa and of our -lh5- decoder on the same stream, in MB/s of output.
#
# The sample data (8 realistic settings regions, 3 MB) is packed by jlha as one -lh5- entry.
# lhasa prints it to /dev/null repeatedly (its start-up time, measured on a one-byte entry, is
# subtracted); our decoder expands the same raw stream under Google Benchmark. lhasa is called
# as "lhasa": "lha" may be another archiver through Debian's alternatives.
#
#   bench/compare_lhasa.sh [repeats]      (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
repeats=${1:-20}
for tool in jlha lhasa; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh)"; exit 1; }
done

build=build/bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPENWICK_BENCH=ON -DPENWICK_TESTS=OFF \
  -DPENWICK_SANITIZE= >/dev/null
cmake --build "$build" -j2 --target bench_decoder >/dev/null
bench=$build/bin/bench_decoder

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-sample "$work/sample.bin"
printf 'x' >"$work/tiny.bin"
(cd "$work" && jlha ao5q sample.lzh sample.bin >/dev/null && jlha ao5q tiny.lzh tiny.bin >/dev/null)
size=$(stat -c %s "$work/sample.bin")
lhasa pq "$work/sample.lzh" | cmp -s - "$work/sample.bin" || { echo "lhasa output differs"; exit 1; }

# CPU time (user + system) of the runs, as Google Benchmark reports ours: fair on a busy machine.
run_lha() { # archive, repeats -> seconds
  local TIMEFORMAT='%U %S' times
  times=$({ time (for ((i = 0; i < $2; i++)); do lhasa pq "$1" >/dev/null; done) ; } 2>&1)
  awk -v t="$times" 'BEGIN { split(t, a, " "); print a[1] + a[2] }'
}
lha_total=$(run_lha "$work/sample.lzh" "$repeats")
lha_startup=$(run_lha "$work/tiny.lzh" "$repeats")
calc() { awk "BEGIN { print $1 }"; }
lha_mbs=$(calc "$size * $repeats / ($lha_total - $lha_startup) / 1000000")
lha_raw_mbs=$(calc "$size * $repeats / $lha_total / 1000000")

# Google Benchmark's CSV: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,...
ours_bps=$("$bench" --lzh "$work/sample.lzh" --original "$work/sample.bin" \
  --benchmark_filter=BM_LzhStream --benchmark_format=csv --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true 2>/dev/null |
  awk -F, '$1 ~ /BM_LzhStream_median/ { print $6 }')
ours_mbs=$(calc "$ours_bps / 1000000")

printf 'data: %d bytes of settings regions, -lh5- stream of %d bytes (jlha)\n' "$size" \
  "$(stat -c %s "$work/sample.lzh")"
printf 'lhasa (lhasa pq, %d runs): %.1f MB/s (CPU time, start-up subtracted), %.1f MB/s (whole runs)\n' \
  "$repeats" "$lha_mbs" "$lha_raw_mbs"
printf 'our decoder (median of 5, CPU time): %.1f MB/s\n' "$ours_mbs"
printf 'ratio: %.2f\n' "$(calc "$ours_mbs / $lha_mbs")"
