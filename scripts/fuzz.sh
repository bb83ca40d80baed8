#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each for the given number of seconds (default 20), starting from its checked-in corpus.
# For longer fuzzing: scripts/fuzz.sh 3600
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPENWICK_FUZZ=ON -DPENWICK_TESTS=OFF -DPENWICK_SANITIZE=address,undefined -DPENWICK_WERROR=ON \
  >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target fuzzers
shopt -s nullglob
targets=(build/fuzz/bin/fuzz_*)
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets"
  exit 0
fi
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work=build/fuzz/corpus/$name
  mkdir -p "$work"
  seeds=fuzz/corpus/${name#fuzz_}
  dirs=("$work")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "-- $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "${dirs[@]}" \
    2>&1 | tail -n 3
done
