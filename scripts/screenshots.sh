#!/usr/bin/env bash
# Refreshes the README's pictures of the window: the window tests draw them (offscreen) under
# build/asan/screenshots/, and the ones the README shows are copied to docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/configure.sh build/asan -DCMAKE_BUILD_TYPE=Debug -DPENWICK_SANITIZE=address,undefined -DPENWICK_WERROR=ON
cmake --build build/asan -j2 --target app_window_test >/dev/null
(cd build/asan && ctest -R 'WindowTest\.(InitialLook|ServicePanel)' --output-on-failure >/dev/null)
cp build/asan/screenshots/window-50.png docs/screenshots/window-download.png
cp build/asan/screenshots/service-panel.png docs/screenshots/service-panel.png
echo "docs/screenshots/: window-download.png service-panel.png"
