#!/usr/bin/env bash
# Checks identifier naming (.clang-tidy: readability-identifier-naming) over the given folders,
# default sim/, their headers included. Needs only a configured tree for the compile commands,
# no build. Fails on the first folder with a misnamed identifier.
set -euo pipefail
cd "$(dirname "$0")/.."
folders=("$@")
[ ${#folders[@]} -gt 0 ] || folders=(sim)
cmake -S . -B build/naming -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
for folder in "${folders[@]}"; do
  echo "naming: ${folder}/"
  git ls-files "${folder}/*.cpp" |
    xargs -P"$(nproc)" -n8 clang-tidy -p build/naming --quiet \
      --header-filter="^$PWD/${folder}/.*" 2>/dev/null
done
