#!/usr/bin/env bash
# The Debian packages: built by scripts/package.sh (reusing build/release), their file lists
# checked, unpacked into a scratch root (dpkg -x) where the program runs and clients of the
# libraries build through pkg-config, and lintian without errors (its warnings are shown).
# Nothing is installed on the system.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
scripts/package.sh >/dev/null
deb=$(ls build/package/penwick_*.deb)
dev=$(ls build/package/penwick-dev_*.deb)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
libdir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)

# The file lists: what each package must hold, and no development file in the program's.
files() { dpkg-deb -c "$1" | awk '{ print $6 }' | sed 's|^\./|/|'; }
missing=0
expect() {
  local list=$1
  shift
  for path in "$@"; do
    grep -qxF "$path" <<<"$list" || { echo "$(basename "$deb" .deb) lacks $path"; missing=1; }
  done
}
runtime=$(files "$deb")
development=$(files "$dev")
expect "$runtime" /usr/bin/PenwickUpload /usr/bin/penwick-files /usr/bin/penwick-pack \
  /usr/bin/penwick-sim /usr/bin/penwick-udev-rule \
  /usr/share/applications/penwick-upload.desktop \
  /usr/share/icons/hicolor/16x16/apps/penwick-upload.png \
  /usr/share/icons/hicolor/32x32/apps/penwick-upload.png /usr/share/doc/penwick/copyright
for lib in NorraLink HvUsb PenwickPlatform; do
  expect "$runtime" "$libdir/lib$lib.so.0"
  expect "$development" "$libdir/lib$lib.so"
done
for page in PenwickUpload penwick-files penwick-pack penwick-sim penwick-udev-rule; do
  expect "$runtime" "/usr/share/man/man1/$page.1.gz"
done
expect "$development" /usr/include/NorraLink.h /usr/include/HvUsb.h /usr/include/PenwickHelpers.h \
  /usr/include/penwick/window.hpp "$libdir/pkgconfig/NorraLink.pc" "$libdir/pkgconfig/HvUsb.pc" \
  /usr/share/doc/penwick-dev/copyright
if grep -E '^/usr/include/|\.so$|\.pc$' <<<"$runtime"; then
  echo "development files in $(basename "$deb")"
  missing=1
fi
[ "$missing" = 0 ]
# Dependencies found from the binaries, not listed by hand.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libusb-1.0-0 libqt6widgets6; do
  grep -q "$needed" <<<"$depends" || { echo "Depends lacks $needed: $depends"; exit 1; }
done

# Unpacked into a scratch root: the program runs on the packaged libraries, and clients build
# against the packaged headers and pkg-config files.
dpkg -x "$deb" "$root"
dpkg -x "$dev" "$root"
export LD_LIBRARY_PATH=$root$libdir
version=$("$root/usr/bin/PenwickUpload" --version)
[ "$version" = "PenwickUpload $(dpkg-deb -f "$deb" Version | sed 's/-[^-]*$//')" ] ||
  { echo "PenwickUpload --version: $version"; exit 1; }
ldd "$root/usr/bin/PenwickUpload" | grep -q "$root$libdir/libNorraLink.so.0" ||
  { echo "PenwickUpload does not run on the packaged libraries"; exit 1; }
export PKG_CONFIG_LIBDIR=$root$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$root
cc -std=c11 -Wall -Werror tests/install/client.c -o "$root/client" \
  $(pkg-config --cflags --libs NorraLink HvUsb)
"$root/client" >/dev/null
c++ -std=c++20 -Wall -Werror tests/install/client.cpp -o "$root/client++" \
  $(pkg-config --cflags --libs NorraLink)
"$root/client++"

# lintian: no errors; its warnings are listed.
lintian --fail-on error \
  "$deb" "$dev" || { echo "lintian found errors"; exit 1; }
echo "package check: ok ($(basename "$deb"), $(basename "$dev")) in $(($(date +%s) - start)) s"
