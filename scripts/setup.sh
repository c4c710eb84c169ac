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

# The real-window test (tests/scripts/front_xvfb.sh) plays the game on a
# virtual X display with real key presses; its screenshots come from the
# display's own dump (Xvfb -fbdir), so nothing more is needed for them.
# Where these cannot be installed the test says so and skips.
optional=(xvfb xdotool)

missing_of() {
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$p"
    fi
  done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || [ ${#missing[@]} -eq 0 ]
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ${#missing_optional[@]} -gt 0 ]; then
  echo "setup: installing ${missing_optional[*]} (for the real-window test)"
  $sudo apt-get install -y -qq --no-install-recommends "${missing_optional[@]}" >/dev/null ||
    echo "setup: ${missing_optional[*]} could not be installed; the real-window test will be skipped"
fi
