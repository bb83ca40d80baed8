#!/usr/bin/env bash
# Installs what building, testing, fuzzing, benchmarking and packaging need on Debian, or the
# packages named as arguments (scripts/install-deps.sh PACKAGE...).
# Skips apt-get when everything is already there (a developer's machine).
set -euo pipefail
packages=("$@")
((${#packages[@]})) || packages=(
  cmake ninja-build make g++ clang libclang-rt-14-dev clang-format binutils pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  lhasa jlha-utils
  libusb-1.0-0-dev
  qt6-base-dev qt6-qpa-plugins xvfb xauth fonts-dejavu-core
  help2man dpkg-dev file lintian
)
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
