#!/usr/bin/env bash
# Cross-builds the Windows DLLs and tools with Debian's mingw-w64 compilers into build/windows/,
# and packs them with mingw's C++ runtime DLLs, the public headers and the import libraries
# into build/windows/dist/penwick-windows-<version>.zip.
#   scripts/build-windows.sh [--tests]   (--tests also builds the tests that run under Wine)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++-mingw-w64-x86-64-posix wine wine64 zip cmake make)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

tests=OFF
[ "${1:-}" = "--tests" ] && tests=ON
build=build/windows
[ -f /etc/profile.d/ccache-penwick.sh ] && source /etc/profile.d/ccache-penwick.sh
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DPENWICK_TESTS=$tests -DPENWICK_WERROR="${PENWICK_WERROR:-ON}" >/dev/null
cmake --build "$build" -j"${PENWICK_JOBS:-2}"

version=$(sed -n 's/^project(Penwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage="$build/dist/penwick-windows-$version"
rm -rf "$stage" "$stage.zip"
cmake --install "$build" --prefix "$stage" >/dev/null
rm -rf "$stage/lib/pkgconfig"  # pkg-config files describe a Unix install
(cd "$build/dist" && zip -qr "penwick-windows-$version.zip" "penwick-windows-$version")
echo "Windows build: $build/bin, package: $stage.zip"
