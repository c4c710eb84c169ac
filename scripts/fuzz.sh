#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) and gives each a short run
# with a fixed seed, starting from its seed files in fuzz/corpus/<target>/.
# Usage: scripts/fuzz.sh [RUNS]   (default 20000 inputs per target)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20000}"
shopt -s nullglob
targets=(fuzz/*_fuzz.cpp)
[ ${#targets[@]} -eq 0 ] && { echo "fuzz: no targets"; exit 0; }
bash scripts/build.sh fuzz
status=0
for src in "${targets[@]}"; do
  name="$(basename "$src" .cpp)"
  seeds="fuzz/corpus/$name"
  work="build/fuzz/corpus-$name"
  rm -rf "$work" && mkdir -p "$work"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  if ./build/fuzz/"$name" -seed=1 -runs="$runs" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
       "$work" >"build/fuzz/$name.log" 2>&1; then
    echo "fuzz: $name: $(grep -E '^Done' "build/fuzz/$name.log" | tail -1)"
  else
    echo "fuzz: $name FAILED"; tail -40 "build/fuzz/$name.log"; status=1
  fi
done
exit "$status"
