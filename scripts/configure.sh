#!/usr/bin/env bash
# scripts/configure.sh BUILD_DIR [CMAKE_ARGS...]: configures the project in BUILD_DIR, with Ninja
# where it is installed (it schedules the build's many small steps with less overhead than
# make). A build folder made earlier with another generator is cleared first, since CMake
# refuses to switch generators in place.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
generator="Unix Makefiles"
command -v ninja >/dev/null && generator=Ninja
cache=$dir/CMakeCache.txt
if [ -f "$cache" ] && ! grep -qx "CMAKE_GENERATOR:INTERNAL=$generator" "$cache"; then
  rm -rf "$cache" "$dir/CMakeFiles"
fi
cmake -G "$generator" -S . -B "$dir" "$@" >/dev/null
