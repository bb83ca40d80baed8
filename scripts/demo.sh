#!/usr/bin/env bash
# Builds the tool and runs its main job as far as it goes today: the program picks its run
# from the port text.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DPENWICK_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
bin=build/release/bin
for port in COM0 USB COM256 COM3; do
  "$bin/PenwickUpload" -fsettings.dat "-p$port"
done
