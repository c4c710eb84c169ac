#!/usr/bin/env bash
# Builds into build/release (default), build/asan (AddressSanitizer + UBSan)
# or build/tsan (ThreadSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
variant="${1:-release}"
case "$variant" in
  release) flags=(-DCMAKE_BUILD_TYPE=Release) ;;
  # Line tables only (-g1): the sanitizers' reports still name file and
  # line, and the build takes a fifth less time than with full debug info.
  asan)    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_SANITIZE=ON -DPELMORA_BENCH=OFF
                  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG") ;;
  # ThreadSanitizer, for hunting data races between the game's threads
  # (run by hand with TSAN_OPTIONS; CI does not run it).
  tsan)    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_TSAN=ON -DPELMORA_BENCH=OFF
                  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG") ;;
  fuzz)    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
                  -DPELMORA_FUZZ=ON -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF) ;;
  *) echo "usage: scripts/build.sh [release|asan|tsan|fuzz]" >&2; exit 2 ;;
esac
dir="build/$variant"
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
fi
cmake --build "$dir" -- -j"$(nproc)"
# The bundled demo project, written by the tool from code (release build).
if [ "$variant" = release ]; then
  rm -rf build/demo.new
  "$dir/pelmora-tool" make-demo build/demo.new
  # Keep what a player's runs wrote (saves, options) across rebuilds.
  if [ -d build/demo/user_data ]; then cp -a build/demo/user_data build/demo.new/; fi
  rm -rf build/demo && mv build/demo.new build/demo
fi
