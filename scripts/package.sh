#!/usr/bin/env bash
# Builds the Debian packages: build/package/penwick_<version>_<arch>.deb (the program, tools,
# libraries, desktop entry, icons, udev-rule helper and manual pages) and penwick-dev (headers,
# pkg-config files). A Release build in build/release, reused when it is there, with Debian's
# hardening flags and the /usr prefix; CPack's DEB generator with dpkg-shlibdeps.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022
build=build/release
out=build/package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# The package's binaries find their libraries on the system's path: no rpath of our own.
scripts/configure.sh "$build" -DCMAKE_BUILD_TYPE=Release -DPENWICK_TESTS=OFF -DPENWICK_BENCH=OFF \
  -DPENWICK_FUZZ=OFF -DPENWICK_MANPAGES=ON -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_INSTALL_RPATH= \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build" -j"$(nproc)"
rm -f "$out"/*.deb
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
ls "$out"/*.deb
