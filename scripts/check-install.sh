#!/usr/bin/env bash
# Installs a plain build into a scratch prefix and builds a small C program against both
# libraries through pkg-config, as another program would.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake -S . -B build/install-check -DCMAKE_BUILD_TYPE=Release -DPENWICK_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build build/install-check -j"$(nproc)" >/dev/null
cmake --install build/install-check >/dev/null
libdir=$(find "$prefix" -name NorraLink.pc -printf '%h\n' | head -n 1)
export PKG_CONFIG_PATH=$libdir
cat > "$prefix/client.c" <<'C'
#include <HvUsb.h>
#include <NorraLink.h>
#include <stdio.h>
int main(void) {
  const uint8_t digits[] = "123456789";
  uint16_t a = GetCrc16(digits, 9);
  printf("%04X %u\n", a, (unsigned)Dll_GetSystemId());
  return a == 0xBB3D ? 0 : 1;
}
C
cc -std=c11 -Wall -Werror "$prefix/client.c" -o "$prefix/client" $(pkg-config --cflags --libs NorraLink HvUsb) \
  -Wl,-rpath,"$libdir/.."
"$prefix/client"
test -x "$prefix/bin/PenwickUpload"
test -f "$prefix/share/applications/penwick-upload.desktop"
for size in 16 32; do test -f "$prefix/share/icons/hicolor/${size}x${size}/apps/penwick-upload.png"; done
"$prefix/bin/PenwickUpload" -pCOM0 -fx >/dev/null
echo "install check: ok"
