#!/usr/bin/env bash
# Runs every test, with warnings as errors: formatting, the unit and end-to-end tests (and
# every fuzz target's corpus replayed) under AddressSanitizer and UndefinedBehaviorSanitizer,
# the threaded tests under ThreadSanitizer, the install check, and each fuzz target for a
# bounded time (FUZZ_SECONDS, default 20) with its corpus replayed first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
mkdir -p build
jobs=$(nproc)

echo "== format"
git ls-files '*.cpp' '*.h' '*.hpp' | xargs clang-format --dry-run -Werror

echo "== address,undefined"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPENWICK_SANITIZE=address,undefined \
  -DPENWICK_WERROR=ON >/dev/null
cmake --build build/asan -j"$jobs"
(cd build/asan && ctest -j"$jobs" --output-on-failure) | tee build/asan-ctest.log

echo "== thread"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DPENWICK_SANITIZE=thread -DPENWICK_WERROR=ON \
  >/dev/null
cmake --build build/tsan -j"$jobs" --target threaded_tests
(cd build/tsan && TSAN_OPTIONS="halt_on_error=1" ctest -j"$jobs" -L threaded --output-on-failure) |
  tee build/tsan-ctest.log

echo "== install"
scripts/check-install.sh

echo "== package"
scripts/check-package.sh

echo "== fuzz"
scripts/fuzz.sh "${FUZZ_SECONDS:-20}"

# One closing line over both ctest runs (a failure has already stopped the script above).
total=$(awk '/tests failed out of/ { n += $NF } END { print n + 0 }' build/asan-ctest.log \
  build/tsan-ctest.log)
echo "tests: ${total} passed, 0 failed"
