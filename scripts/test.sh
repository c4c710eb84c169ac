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
# The same scripted play twice on the demo stage gives the same trace and
# screenshots, byte for byte.
play_twice() (
  tool="build/$1/pelmora-tool"
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  "$tool" make-demo "$work/project" > /dev/null || return 1
  printf '%s\n' '# fall, walk right, pause and go on' '1-60 RIGHT' '90 SPACE' '120 B1' '130-150 LEFT+B1' > "$work/keys.txt"
  for run in a b; do
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$tool" play "$work/project" 'data\stg4\demo.stg4_1' \
      --frames 240 --input "$work/keys.txt" --trace "$work/$run.jsonl" --shots "$work/$run" --every 30 \
      > /dev/null || return 1
  done
  [ "$(wc -l < "$work/a.jsonl")" -eq 240 ] || { echo "trace has $(wc -l < "$work/a.jsonl") lines, not 240"; return 1; }
  cmp "$work/a.jsonl" "$work/b.jsonl" || return 1
  [ "$(ls "$work/a" | wc -l)" -eq 8 ] || { echo "expected 8 screenshots"; return 1; }
  diff -r "$work/a" "$work/b" || return 1
)

for variant in release asan; do
  bash scripts/build.sh "$variant"
  echo "== tests ($variant)"
  # Tests never need a display or a sound card.
  if ! SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
       ctest --test-dir "build/$variant" --output-on-failure -j"$jobs" --timeout 300; then
    status=1
  fi
  echo "== scripted play twice ($variant)"
  if play_twice "$variant"; then echo "same trace and screenshots"; else echo "FAILED: scripted play differs"; status=1; fi
  # The game in a real window (Xvfb) with real key presses, screenshots in
  # build/<variant>/front_xvfb.
  echo "== real window ($variant)"
  bash tests/scripts/front_xvfb.sh "build/$variant" || status=1
done
exit "$status"
