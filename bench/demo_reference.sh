#!/usr/bin/env bash
# Records the demo's traces and screenshots, or compares them with a record
# made before: the guard of every speed change, which must leave what the
# game does and shows byte for byte the same.
#   bench/demo_reference.sh record DIR   (writes DIR)
#   bench/demo_reference.sh compare DIR  (runs again into DIR.now and compares)
# Runs: the every-command stage of the demo, 1000 frames with screenshots
# every 5 frames, in Direct3D and in DirectDraw at 32 and 16 bits; and the
# story game from the title to game over.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tool="${PELMORA_TOOL:-$root/build/release/pelmora-tool}"
demo="${PELMORA_DEMO:-$root/build/demo}"
what="${1:?record or compare}"
ref="${2:?folder}"
out="$ref"
[[ "$what" == compare ]] && out="$ref.now"
rm -rf "$out"
mkdir -p "$out"
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

keys="$out/every_command_keys.txt"
{
  printf '130-131 RIGHT\n150 B2\n280-282 DOWN\n284-286 UP\n'
  for ((f = 500; f < 740; f += 10)); do printf '%d-%d B3\n' "$f" "$((f + 1))"; done
  printf '760-800 RIGHT\n810 B4\n850 B4\n860-861 LEFT\n870 B2\n890 B2\n910-950 RIGHT\n945 B1\n'
} > "$keys"
title_keys="$out/title_keys.txt"
{
  printf '100 B1\n140 B1\n200 RIGHT\n210 RIGHT\n250 UP\n260 B1\n370-4700 RIGHT\n'
  for ((f = 400; f < 4720; f += 100)); do printf '%d-%d B1\n' "$f" "$((f + 15))"; done
} > "$title_keys"

# A fresh copy of the demo with "System.ini" set to the mode of `$1` (d3d,
# dd32, dd16).
project() {
  local p="$out/project_$1"
  rm -rf "$p"
  cp -r "$demo" "$p"
  case "$1" in
    d3d) sed -i 's/^Direct3D=.*/Direct3D=1/; s/^Bpp=.*/Bpp=0/' "$p/System.ini" ;;
    dd32) sed -i 's/^Direct3D=.*/Direct3D=0/; s/^Bpp=.*/Bpp=32/' "$p/System.ini" ;;
    dd16) sed -i 's/^Direct3D=.*/Direct3D=0/; s/^Bpp=.*/Bpp=16/; s/^WindowMode=.*/WindowMode=0/' "$p/System.ini" ;;
  esac
  echo "$p"
}

pids=()
for mode in d3d dd32 dd16; do
  p="$(project "$mode")"
  mkdir -p "$out/shots_$mode"
  "$tool" play "$p" 'data\stg4\demo.stg4_1' --frames 1000 --input "$keys" --trace "$out/trace_$mode.jsonl" \
    --shots "$out/shots_$mode" --every 5 > "$out/log_$mode.txt" 2>&1 &
  pids+=($!)
done
p="$(project title)"
"$tool" play "$p" --frames 4780 --input "$title_keys" --trace "$out/trace_title.jsonl" > "$out/log_title.txt" 2>&1 &
pids+=($!)
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
[[ $status == 0 ]] || { echo "a run failed; see $out/log_*.txt"; exit 1; }
rm -rf "$out"/project_*

if [[ "$what" == compare ]]; then
  if diff -rq -x 'log_*' "$ref" "$out"; then
    echo "same: traces and $(find "$out" -name '*.png' -o -name '*.bmp' | wc -l) screenshots"
  else
    echo "DIFFERENT"
    exit 1
  fi
fi
