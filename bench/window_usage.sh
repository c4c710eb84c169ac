#!/usr/bin/env bash
# Processor time and resident memory of the game in a window under Xvfb,
# measured over a fixed span after it settles, with the goals beside them:
#  - the demo stage (sky and hill backgrounds) played from its command line;
#  - story stage 1 reached from the title as a player does (new game, the
#    first world on the world map, "challenge the stage"), the hero standing
#    still. The route is driven with real key presses (xdotool), each step
#    waiting for the game's frame trace (PELMORA_TRACE) as
#    tests/scripts/front_xvfb.sh does; the trace stays on while measuring
#    (it costs a little: writing a line a frame).
#   bench/window_usage.sh [SECONDS]   (needs Xvfb, xdotool and python3)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
span="${1:-10}"
game="${PELMORA:-$root/build/release/pelmora}"
for tool in Xvfb xdotool python3; do
  command -v "$tool" > /dev/null || { echo "$tool is not installed (apt-get install xvfb xdotool python3)"; exit 1; }
done
watch() { python3 "$root/tests/scripts/xvfb_watch.py" "$@"; }
work="$(mktemp -d)"
xvfb=""
pid=""
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb=$!
cleanup() {
  [[ -n "$pid" ]] && kill -9 "$pid" 2> /dev/null || true
  [[ -n "$xvfb" ]] && kill "$xvfb" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
watch --timeout 30 text "$work/display" $'\n' > /dev/null || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' < "$work/display")"
hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }

# Starts the game in a fresh copy of the demo ($1: its command line, may be
# empty; $2: "trace" writes the frame trace), in a window without the start
# dialog.
start() {
  rm -rf "$work/project" "$work/trace.jsonl"
  cp -r "$root/build/demo" "$work/project"
  sed -i 's/^Direct3D=.*/Direct3D=1/; s/^WindowMode=.*/WindowMode=1/' "$work/project/System.ini"
  local trace=()
  [[ "${2:-}" == trace ]] && trace=(PELMORA_TRACE="$work/trace.jsonl")
  (cd "$work/project" && exec env -u SDL_VIDEODRIVER SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}" "${trace[@]}" \
    PELMORA_RUNTIME_DIR="$work" "$game" $1) > "$work/game.log" 2>&1 &
  pid=$!
}
stop() {
  kill -9 "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  pid=""
}
# Processor use over the span, in percent of a core; resident memory in MB.
measure() {
  local t0 t1
  t0=$(ticks)
  sleep "$span"
  t1=$(ticks)
  cpu=$(awk -v d=$((t1 - t0)) -v hz="$hz" -v s="$span" 'BEGIN{printf "%.1f", 100 * d / hz / s}')
  rss=$(awk '/^VmRSS:/{print int($2 / 1024)}' "/proc/$pid/status")
}
row() {  # MEASURE VALUE UNIT GOAL
  printf '%-52s %9s%-3s %9s%-3s  %s\n' "$1" "$2" "$3" "< $4" "$3" \
    "$(awk -v v="$2" -v g="$4" 'BEGIN{print (v < g) ? "met" : "NOT MET"}')"
}
frame() { at=$(watch trace "$work/trace.jsonl" "$@") || { echo "the game did not reach: $*"; exit 1; }; }
key() { xdotool key "$1"; }

printf '%-52s %12s %12s  %s\n' "goal of the game in a window" "measured" "goal" ""

# The demo stage from its command line (no trace: start-up and the stage's
# fade-in are over after 5 seconds).
start 'data\stg4\demo.stg4_1'
sleep 5
measure
row "processor, demo stage with sky and hills" "$cpu" "%" 5
row "resident memory, demo stage" "$rss" " MB" 100
stop

# Story stage 1 from the title, standing still.
start '' trace
for _ in $(seq 300); do
  id=$(xdotool search --onlyvisible --pid "$pid" 2> /dev/null | head -1) && [[ -n "$id" ]] && break
  sleep 0.1
done
[[ -n "${id:-}" ]] || { echo "no game window"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$id")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))  # keys go to the window under the pointer
frame --scene 0 --settled 60
key z
frame --scene 0 --after "$at" --sound 1
key z
frame --scene 1 --after "$at" --settled 60
key Right
frame --scene 1 --after "$at" --sound 0
frame --scene 1 --after "$((at + 60))"
key Right
frame --scene 1 --after "$at" --sound 1
key Up
frame --scene 1 --after "$at" --sound 0
key z
frame --scene 4 --mode 2 --after "$at"
frame --scene 4 --mode 2 --after "$((at + 120))"
measure
row "processor, story stage 1 standing still" "$cpu" "%" 5
row "resident memory, story stage 1" "$rss" " MB" 100
stop
