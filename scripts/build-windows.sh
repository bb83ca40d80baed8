#!/usr/bin/env bash
# Cross-builds the Windows DLLs and tools with Debian's mingw-w64 compilers into build/windows/,
# and packs them with mingw's C++ runtime DLLs, the public headers and the import libraries
# into build/windows/dist/penwick-windows-<version>.zip.
#   scripts/build-windows.sh [--tests]
# --tests builds instead the test configuration in build/windows/test: the tests that run under
# Wine and the tools their end-to-end runs start, at -O1 without debug information (a third of
# the optimised build's compile time) and with assertions on; no package.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 zip cmake make

toolchain=-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake"

if [ "${1:-}" = "--tests" ]; then
  # The test configuration treats warnings as errors, like the other test builds; the package
  # build below does not, so a newer compiler's warning cannot stop a user's build.
  build=build/windows/test
  cmake -S . -B "$build" "$toolchain" -DPENWICK_WERROR="${PENWICK_WERROR:-ON}" \
    -DCMAKE_BUILD_TYPE=WineTest -DCMAKE_C_FLAGS_WINETEST=-O1 -DCMAKE_CXX_FLAGS_WINETEST=-O1 -DPENWICK_TESTS=ON >/dev/null
  cmake --build "$build" -j"${PENWICK_JOBS:-2}" --target windows_tests
  echo "Windows test build: $build/bin"
  exit 0
fi

build=build/windows
cmake -S . -B "$build" "$toolchain" -DPENWICK_WERROR="${PENWICK_WERROR:-OFF}" \
  -DCMAKE_BUILD_TYPE=Release -DPENWICK_TESTS=OFF >/dev/null
cmake --build "$build" -j"${PENWICK_JOBS:-2}"

version=$(sed -n 's/^project(Penwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage="$build/dist/penwick-windows-$version"
rm -rf "$stage" "$stage.zip"
cmake --install "$build" --prefix "$stage" >/dev/null
rm -rf "$stage/lib/pkgconfig"  # pkg-config files describe a Unix install
(cd "$build/dist" && zip -qr "penwick-windows-$version.zip" "penwick-windows-$version")
echo "Windows build: $build/bin, package: $stage.zip"
