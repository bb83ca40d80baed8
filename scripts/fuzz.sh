#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs them from their checked-in corpora, as many side by side as there are cores.
#   scripts/fuzz.sh [SECONDS]        each target for SECONDS (default 20); for longer fuzzing:
#                                    scripts/fuzz.sh 3600
#   scripts/fuzz.sh --total SECONDS  every target, within about SECONDS of wall time in all
#                                    (the test command's smoke run)
#   scripts/fuzz.sh --build-only     builds the targets and runs none
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
seconds=20
total=""
build_only=0
case "${1:-}" in
  --total) total=${2:?--total needs SECONDS} ;;
  --build-only) build_only=1 ;;
  "") ;;
  *) seconds=$1 ;;
esac

CC=clang CXX=clang++ scripts/configure.sh build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPENWICK_FUZZ=ON -DPENWICK_TESTS=OFF -DPENWICK_SANITIZE=address,undefined -DPENWICK_WERROR=ON
cmake --build build/fuzz -j"$jobs" --target fuzzers
((build_only)) && exit 0
shopt -s nullglob
targets=(build/fuzz/bin/fuzz_*)
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets"
  exit 0
fi
if [ -n "$total" ]; then
  # Rounds of `jobs` targets side by side share the total.
  rounds=$(((${#targets[@]} + jobs - 1) / jobs))
  seconds=$((total / rounds))
  ((seconds > 0)) || seconds=1
fi

# fuzz_one TARGET SECONDS: one target from its corpus; prints its summary (a failure's whole
# report) in one piece when it ends, so that targets running side by side do not interleave.
fuzz_one() {
  local target=$1 seconds=$2 name work seeds status=0 lines=3
  name=$(basename "$target")
  work=build/fuzz/corpus/$name
  mkdir -p "$work"
  seeds=fuzz/corpus/${name#fuzz_}
  local dirs=("$work")
  [ -d "$seeds" ] && dirs+=("$seeds")
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "${dirs[@]}" \
    >"build/fuzz/$name.log" 2>&1 || status=$?
  ((status == 0)) || lines=80
  printf -- '-- %s for %ss%s\n%s\n' "$name" "$seconds" "$( ((status)) && echo ": FAILED ($status)")" \
    "$(tail -n "$lines" "build/fuzz/$name.log")"
  return "$status"
}
export -f fuzz_one
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'fuzz_one "$1" "$2"' _ {} "$seconds"
