#!/usr/bin/env bash
# Installs what is missing, builds the Release and the ASan+UBSan variants, and
# runs every test in both. Ends with ctest's summary; non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs="$(nproc)"
status=0
echo "== layers"
bash scripts/check-layers.sh || status=1
echo "== fuzz (short fixed-seed runs)"
bash scripts/fuzz.sh || status=1
for variant in release asan; do
  bash scripts/build.sh "$variant"
  echo "== tests ($variant)"
  # Tests never need a display or a sound card.
  if ! SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
       ctest --test-dir "build/$variant" --output-on-failure -j"$jobs" --timeout 300; then
    status=1
  fi
done
exit "$status"
