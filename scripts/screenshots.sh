#!/usr/bin/env bash
# Refreshes the README's pictures of the window: the window tests draw them (offscreen) under
# build/asan/screenshots/, and the ones the README shows are copied to docs/screenshots/.
#   scripts/screenshots.sh [--windows]
# --windows copies instead the pictures of the Windows dialog that the Wine phase
# (scripts/test-windows.sh) drew last, from build/windows/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--windows" ]; then
  cp build/windows/screenshots/download-late.png docs/screenshots/windows-download.png
  cp build/windows/screenshots/service-panel.png docs/screenshots/windows-service-panel.png
  echo "docs/screenshots/: windows-download.png windows-service-panel.png"
  exit 0
fi
scripts/configure.sh build/asan -DCMAKE_BUILD_TYPE=Debug -DPENWICK_SANITIZE=address,undefined -DPENWICK_WERROR=ON
cmake --build build/asan -j2 --target app_window_test >/dev/null
(cd build/asan && ctest -R 'WindowTest\.(InitialLook|ServicePanel)' --output-on-failure >/dev/null)
cp build/asan/screenshots/window-50.png docs/screenshots/window-download.png
cp build/asan/screenshots/service-panel.png docs/screenshots/service-panel.png
echo "docs/screenshots/: window-download.png service-panel.png"
