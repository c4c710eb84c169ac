#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the runtime need.
# Idempotent: when everything is present it prints nothing and installs nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3 git
  libsdl2-dev libsdl2-image-dev
  libfreetype-dev libfontconfig-dev
  libfluidsynth-dev libvorbis-dev
  fonts-ipafont-gothic fonts-ipafont-mincho timgm6mb-soundfont
  libgtest-dev libgmock-dev libbenchmark-dev
  libpixman-1-dev  # the effects benchmark's peer only; the runtime does not link it
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
