#!/usr/bin/env bash
# Runs every check, with warnings as errors. See --help for the phases; each phase's wall time
# is printed at the end (also when a phase fails), so a slow phase shows in every CI log.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'USAGE'
Usage: scripts/test.sh [--quick]

Runs every check, with warnings as errors, in these phases:
  format       clang-format over the tracked sources
  asan build   everything, under AddressSanitizer and UndefinedBehaviorSanitizer
  asan tests   the unit and end-to-end tests, and every fuzz target's corpus replayed
  tsan build   the threaded tests and what they start, under ThreadSanitizer
  tsan tests   the threaded tests
  install      a plain Release build of what is installed, installed and used through
               pkg-config by a small C and a small C++ client
  package      the Debian packages built, their file lists checked, unpacked into a scratch
               root and used from there, and lintian
  windows      the Windows cross build (mingw-w64) and its tests under Wine, with the Windows
               tools against the Linux emulated receiver
  fuzz build   the libFuzzer targets (clang)
  fuzz         every fuzz target side by side, FUZZ_TOTAL_SECONDS of wall time in all
               (default 120; scripts/fuzz.sh SECONDS fuzzes for longer)
and prints each phase's wall time at the end.

  --quick      the ASan build and tests only (for development; CI runs the full command)
  --help       this text
USAGE
}

quick=0
case "${1:-}" in
  "") ;;
  --quick) quick=1 ;;
  -h | --help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac

jobs=$(nproc)
phases=()

# Prints the phases timed so far, and the one that failed (on success and on failure alike).
current=""
current_start=0
report() {
  ((${#phases[@]})) || [ -n "$current" ] || return 0
  echo "== phase times (wall)"
  ((${#phases[@]} == 0)) || printf '  %-12s %6ss\n' "${phases[@]}"
  [ -z "$current" ] || printf '  %-12s %6ss  FAILED\n' "$current" $((SECONDS - current_start))
  printf '  %-12s %6ss\n' total "$SECONDS"
}
trap report EXIT

# phase NAME COMMAND...: runs the command and records its wall time.
phase() {
  current=$1
  current_start=$SECONDS
  shift
  echo "== $current"
  "$@"
  phases+=("$current" $((SECONDS - current_start)))
  current=""
}

phase setup scripts/install-deps.sh
mkdir -p build

phase format bash -c "git ls-files '*.cpp' '*.h' '*.hpp' | xargs clang-format --dry-run -Werror"

asan_build() {
  scripts/configure.sh build/asan -DCMAKE_BUILD_TYPE=Debug -DPENWICK_SANITIZE=address,undefined \
    -DPENWICK_WERROR=ON
  cmake --build build/asan -j"$jobs"
}
phase "asan build" asan_build

asan_tests() { (cd build/asan && ctest -j"$jobs" --output-on-failure) | tee build/asan-ctest.log; }
phase "asan tests" asan_tests

if ((quick == 0)); then
  tsan_build() {
    scripts/configure.sh build/tsan -DCMAKE_BUILD_TYPE=Debug -DPENWICK_SANITIZE=thread \
      -DPENWICK_WERROR=ON
    cmake --build build/tsan -j"$jobs" --target threaded_tests
  }
  phase "tsan build" tsan_build
  tsan_tests() {
    (cd build/tsan && TSAN_OPTIONS="halt_on_error=1" ctest -j"$jobs" -L threaded \
      --output-on-failure) | tee build/tsan-ctest.log
  }
  phase "tsan tests" tsan_tests
  phase install scripts/check-install.sh
  phase package scripts/check-package.sh
  phase windows scripts/test-windows.sh
  phase "fuzz build" scripts/fuzz.sh --build-only
  phase fuzz scripts/fuzz.sh --total "${FUZZ_TOTAL_SECONDS:-120}"
else
  rm -f build/tsan-ctest.log
fi

# One closing line over the ctest runs (a failure has already stopped the script above).
logs=(build/asan-ctest.log)
[ -f build/tsan-ctest.log ] && logs+=(build/tsan-ctest.log)
total=$(awk '/tests failed out of/ { n += $NF } END { print n + 0 }' "${logs[@]}")
echo "tests: ${total} passed, 0 failed"
