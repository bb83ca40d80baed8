#!/usr/bin/env bash
# Runs every test: formatting, the unit and end-to-end tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, and each fuzz target
# for a bounded time (FUZZ_SECONDS, default 20) with its corpus replayed first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

echo "== format"
git ls-files '*.cpp' '*.h' '*.hpp' | xargs clang-format --dry-run -Werror

echo "== address,undefined"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPENWICK_SANITIZE=address,undefined >/dev/null
cmake --build build/asan -j"$jobs"
(cd build/asan && ctest -j"$jobs" --output-on-failure)

echo "== thread"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DPENWICK_SANITIZE=thread >/dev/null
cmake --build build/tsan -j"$jobs"
(cd build/tsan && TSAN_OPTIONS="halt_on_error=1" ctest -j"$jobs" -L threaded --output-on-failure)

echo "== install"
scripts/check-install.sh

echo "== fuzz"
scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
