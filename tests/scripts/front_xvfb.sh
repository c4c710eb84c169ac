#!/usr/bin/env bash
# The game in a real window on a virtual X display (Xvfb), played with real
# key presses (xdotool; each key pressed and let go once, as short as a tap
# gets): the start dialog, the title, a second copy answered No (the game
# keeps its keys), the world map, a stage, Escape, the quit question and
# Yes. A screenshot of each step is kept in the output folder. Every step waits for what it checks (a window, a line of the
# game's frame trace or dialog log, a colour on the screen), never for a
# fixed time; a wait that lasts minutes is a hang and fails.
# Skips, saying so, where Xvfb, xdotool or python3 is missing.
# Usage: tests/scripts/front_xvfb.sh [BUILD_DIR [OUT_DIR]]
#   (default build/release, screenshots and logs in BUILD_DIR/front_xvfb)
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-build/release}")
out=$(realpath -m "${2:-$build/front_xvfb}")
for tool in Xvfb xdotool python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "front_xvfb: skipped ($tool is not installed)"
    exit 0
  fi
done

rm -rf "$out" && mkdir -p "$out/fb" "$out/run" || exit 1
screen="$out/fb/Xvfb_screen0"
trace="$out/trace.jsonl"
dialogs="$out/dialogs.log"
watch() { python3 "$here/xvfb_watch.py" "$@"; }
game=""
second=""
xvfb=""
steps=0
cleanup() {
  [ -n "$game" ] && kill "$game" 2>/dev/null
  [ -n "$second" ] && kill "$second" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT
fail() {
  echo "front_xvfb: FAIL at step $((steps + 1)): $*"
  echo "front_xvfb: what it left is in $out (trace.jsonl, dialogs.log, game.out, project/Report_Game.txt)"
  [ -f "$screen" ] && watch shot "$screen" "$out/failed.png" 2>/dev/null
  exit 1
}
shot() {  # NAME: the whole screen, as the step left it
  steps=$((steps + 1))
  watch shot "$screen" "$out/$(printf '%02d' "$steps")-$1.png" || fail "no screenshot"
  echo "ok   $steps $1"
}
key() { xdotool key "$1" || fail "xdotool could not press $1"; }
# Waits for a frame of the trace that meets the condition (xvfb_watch.py
# trace ...) and keeps its number in $at.
frame() { at=$(watch trace "$trace" "$@") || fail "the game did not reach: $*"; }

# A display of its own: Xvfb names the one it took once it is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -fbdir "$out/fb" -nolisten tcp 3>"$out/display" 2>"$out/xvfb.log" &
xvfb=$!
watch --timeout 30 text "$out/display" $'\n' || fail "Xvfb did not start (see xvfb.log)"
export DISPLAY=":$(tr -d '[:space:]' <"$out/display")"

"$build/pelmora-tool" make-demo "$out/project" >/dev/null || fail "make-demo"
# Ask for the drawing mode (the start dialog), play in a window.
printf 'Direct3D=2\nWindowMode=1\nShowFps=0\nExit\n' >"$out/project/System.ini"
(
  cd "$out/project" &&
    exec env -u SDL_VIDEODRIVER -u PELMORA_HEADLESS -u PELMORA_DIALOG_ANSWERS SDL_AUDIODRIVER=dummy \
      PELMORA_TRACE="$trace" PELMORA_DIALOG_LOG="$dialogs" PELMORA_RUNTIME_DIR="$out/run" "$build/pelmora"
) >"$out/game.out" 2>&1 &
game=$!

# The visible window of the game whose width is $1 (the start dialog comes
# before the game window, which is 640 wide).
window_of_width() {
  local want=$1 id
  for _ in $(seq 600); do
    for id in $(xdotool search --onlyvisible --pid "$game" 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
      if [ "${WIDTH:-0}" -eq "$want" ]; then
        echo "$id $X $Y $WIDTH $HEIGHT"
        return 0
      fi
    done
    kill -0 "$game" 2>/dev/null || return 1
    xdotool sleep 0.1
  done
  return 1
}
# The pointer over the window: where there is no window manager, keys go to
# the window under the pointer.
point_at() { xdotool mousemove "$(($2 + $4 / 2))" "$(($3 + $5 / 2))" || fail "xdotool mousemove"; }
title_bar=2F5F98  # the dialogs' and boxes' title bar

# 1. The start dialog: Return presses Start (it has the focus).
read -r -a dialog < <(window_of_width 388) || fail "no start dialog"
watch colour "$screen" "$((dialog[1] + 100))" "${dialog[2]}" "$((dialog[2] + 30))" "$title_bar" ||
  fail "the start dialog is not drawn"
point_at "${dialog[@]}"
shot start-dialog
key Return
watch text "$dialogs" $'\tresult 1 (shown)' || fail "Start was not pressed"

# 2. The title, once its menu takes keys: Z chooses the new game, Z the
# first save slot.
read -r -a win < <(window_of_width 640) || fail "no game window"
point_at "${win[@]}"
frame --scene 0 --settled 60
shot title

# 2a. A second copy asks whether to close this one (its box takes the
# keyboard); "n" answers No and it ends. This copy keeps its keys: Down and
# Up move the title's cursor (the cursor sound), back onto the new game.
(
  cd "$out/project" &&
    exec env -u SDL_VIDEODRIVER -u PELMORA_HEADLESS -u PELMORA_DIALOG_ANSWERS SDL_AUDIODRIVER=dummy \
      PELMORA_DIALOG_LOG="$dialogs" PELMORA_RUNTIME_DIR="$out/run" "$build/pelmora"
) >"$out/second.out" 2>&1 &
second=$!
box=""
for _ in $(seq 600); do
  box=$(xdotool search --onlyvisible --pid "$second" 2>/dev/null | head -1)
  [ -n "$box" ] && break
  kill -0 "$second" 2>/dev/null || break
  xdotool sleep 0.1
done
[ -n "$box" ] || fail "the second copy showed no question"
watch colour "$screen" "$((win[1] + 320))" 0 767 "$title_bar" || fail "the question is not drawn"
shot second-copy-question
key n
timeout 60 tail --pid="$second" -f /dev/null || fail "the second copy did not end"
wait "$second" || fail "the second copy ended with an error"
second=""
watch text "$dialogs" $'二重起動\t' || fail "the second copy's question is not in the log"
grep -q $'二重起動\t.*\tno$' "$dialogs" || fail "the question was not answered No"
frame --scene 0 --after "$at"
key Down
frame --scene 0 --after "$at" --sound 0
key Up
frame --scene 0 --after "$at" --sound 0
shot title-after-the-second-copy
key z
frame --scene 0 --after "$at" --sound 1
key z

# 3. The world map: two steps right reach the first world (the hero walks
# a second between them), whose menu opens on its second row; Up picks
# "challenge the stage", Z enters it.
frame --scene 1 --after "$at" --settled 60
shot world-map
key Right
frame --scene 1 --after "$at" --sound 0
frame --scene 1 --after "$((at + 60))"
key Right
frame --scene 1 --after "$at" --sound 1
key Up
frame --scene 1 --after "$at" --sound 0
key z

# 4. The stage, playing.
frame --scene 4 --mode 2 --after "$at"
shot stage

# 5. Escape: the quit question comes up over the game.
key Escape
watch colour "$screen" "$((win[1] + 320))" "${win[2]}" "$((win[2] + 480))" "$title_bar" ||
  fail "no quit question"
shot quit-question

# 6. Return answers Yes (the default): the game ends in order.
key Return
watch text "$dialogs" $'終了確認\t終了しますか？\\n\tyes' || fail "the quit question was not answered"
timeout 60 tail --pid="$game" -f /dev/null || fail "the game did not end"
wait "$game"
code=$?
game=""
[ "$code" -eq 0 ] || fail "the game ended with exit code $code"
watch colour "$screen" "$((win[1] + 320))" "${win[2]}" "$((win[2] + 480))" "$title_bar" --gone ||
  fail "the window stayed"
shot ended
echo "front_xvfb: $steps passed, 0 failed (screenshots in $out)"
