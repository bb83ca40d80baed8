#!/usr/bin/env bash
# Installs a plain build into a scratch prefix, checks that it holds exactly the headers a
# client of the installed libraries uses (no test double, nothing the project's libraries only
# share among themselves), and builds a small C and a small C++ program against both libraries
# through pkg-config, as another program would. It builds only what is installed (the target
# `installed`): the rest of a plain build compiles the same way in the sanitizer builds.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
scripts/configure.sh build/install-check -DCMAKE_BUILD_TYPE=Release -DPENWICK_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --build build/install-check -j"$(nproc)" --target installed >/dev/null
cmake --install build/install-check >/dev/null

# The libraries' C headers, the helpers they include, and the window and message-box services
# a client needs to receive notifications.
expected="HvUsb.h
NorraLink.h
PenwickHelpers.h
penwick/message_box.hpp
penwick/platform_api.h
penwick/usb_settings.hpp
penwick/window.h
penwick/window.hpp"
installed=$(cd "$prefix/include" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$installed" != "$expected" ]; then
  echo "installed headers differ from the public ones:"
  diff <(echo "$expected") <(echo "$installed") || true
  exit 1
fi

libdir=$(find "$prefix" -name NorraLink.pc -printf '%h\n' | head -n 1)
export PKG_CONFIG_PATH=$libdir
cc -std=c11 -Wall -Werror tests/install/client.c -o "$prefix/client" $(pkg-config --cflags --libs NorraLink HvUsb) \
  -Wl,-rpath,"$libdir/.."
"$prefix/client"
c++ -std=c++20 -Wall -Werror tests/install/client.cpp -o "$prefix/client++" \
  $(pkg-config --cflags --libs NorraLink) -Wl,-rpath,"$libdir/.."
"$prefix/client++"
test -x "$prefix/bin/PenwickUpload"
test -f "$prefix/share/applications/penwick-upload.desktop"
for size in 16 32; do test -f "$prefix/share/icons/hicolor/${size}x${size}/apps/penwick-upload.png"; done
"$prefix/bin/PenwickUpload" --version >/dev/null
# A run that cannot read its transfer file ends at once with the "bad transfer file" status.
status=0
(cd "$prefix" && "$prefix/bin/PenwickUpload" -pCOM0 -fmissing.dat --console >/dev/null) || status=$?
[ "$status" = 4 ] || { echo "PenwickUpload without its file: exit $status, expected 4"; exit 1; }
echo "install check: ok"
