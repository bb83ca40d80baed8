#!/usr/bin/env bash
# Builds the tool and runs its main job as far as it goes today: the program picks its run
# from the port text, and a settings region goes through a pack/unpack round trip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DPENWICK_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
bin=build/release/bin
for port in COM0 USB COM256 COM3; do
  "$bin/PenwickUpload" -fsettings.dat "-p$port"
done

# A pack/unpack round trip of a realistic settings region through libNorraLink.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin/penwick-pack" sample "$work/region.upk" 7
"$bin/penwick-pack" pack "$work/region.upk" "$work/image.pak" 0x1234
"$bin/penwick-pack" unpack "$work/image.pak" "$work/back.upk"
if cmp -s "$work/region.upk" "$work/back.upk"; then
  echo "round trip: region came back byte for byte"
else
  echo "round trip: region DIFFERS after pack/unpack"
  exit 1
fi
