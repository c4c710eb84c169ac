#!/usr/bin/env bash
# Builds into build/release (default) or build/asan (AddressSanitizer + UBSan).
set -euo pipefail
cd "$(dirname "$0")/.."
variant="${1:-release}"
case "$variant" in
  release) flags=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan)    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_SANITIZE=ON -DPELMORA_BENCH=OFF) ;;
  *) echo "usage: scripts/build.sh [release|asan]" >&2; exit 2 ;;
esac
dir="build/$variant"
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
fi
cmake --build "$dir" -- -j"$(nproc)"
