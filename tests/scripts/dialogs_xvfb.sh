#!/usr/bin/env bash
# Drives each dialog with real keys and mouse clicks (xdotool) on a virtual
# display (Xvfb) and checks what each returned. Skips when Xvfb or xdotool
# is missing (machines without a display server).
# Usage: tests/scripts/dialogs_xvfb.sh [path/to/pelmora-tool]
set -u
tool=$(realpath "${1:-build/release/pelmora-tool}")
if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  echo "dialogs_xvfb: skipped (Xvfb or xdotool missing)"
  exit 0
fi
work=$(mktemp -d)
display=":$((200 + RANDOM % 500))"
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
export DISPLAY=$display SDL_AUDIODRIVER=dummy PELMORA_DIALOG_LOG="$work/dialogs.log"
unset SDL_VIDEODRIVER PELMORA_DIALOG_ANSWERS PELMORA_HEADLESS
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
"$tool" make-demo "$work/p" >/dev/null || exit 1
cd "$work/p" && mkdir -p user_data/rpl4 || exit 1
failed=0

# run KIND EXPECTED STEP...: each step is one xdotool command line.
run() {
  local kind=$1 expected=$2
  shift 2
  "$tool" dialog $kind >"$work/out" 2>&1 &
  local pid=$!
  timeout 10 xdotool search --sync --onlyvisible --class pelmora-tool >/dev/null 2>&1
  sleep 0.5
  for step in "$@"; do
    xdotool $step
    sleep 0.3
  done
  for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then
    kill $pid
    echo "FAIL $kind: still open"
    failed=1
    return
  fi
  local got
  got=$(cat "$work/out")
  if [ "$got" = "$expected" ]; then echo "ok   $kind: $got"; else echo "FAIL $kind: got '$got', expected '$expected'"; failed=1; fi
}

# Start dialog (388 x 278 pixels, centred): click DirectDraw, Tab to the
# check box, Space ticks it, Enter starts.
run start "start 1 mode 0 dont-ask 1" "mousemove 470 319" "click 1" "key Tab" "key space" "key Return"
[ -f user_data/Boot.dat ] || { echo "FAIL start: no user_data/Boot.dat"; failed=1; }
# Escape cancels, as the Cancel button does, and both leave the record.
cp user_data/Boot.dat "$work/boot"
run start "start 0 mode 0 dont-ask 1" "key Escape"
run start "start 0 mode 0 dont-ask 1" "mousemove 500 490" "click 1"
cmp -s user_data/Boot.dat "$work/boot" || { echo "FAIL start: Boot.dat changed by a cancel"; failed=1; }
# Text entry: three bytes at most, never half a character.
run text "result 1 name aあ" "type --delay 60 abcd" "key BackSpace BackSpace" "type --delay 80 あい" "key Return"
# Escape in the name entry is its Cancel: the name stays as it was.
run text "result 0 name " "type --delay 60 abc" "key Escape"
# Open: the list has ".." first; Down picks the first stage file, End the last.
run open "result 1 path data\\stg4\\c01-1.stg4_001" "key Down" "key Return"
run open "result 1 path data\\stg4\\demo.stg4_1" "key End" "key Return"
# Save: the proposed name is selected, typing replaces it, the extension is added.
run save "result 1 path user_data\\rpl4\\mine.rpl4_873" "type --delay 60 mine" "key Return"
# Saving over an existing file asks; No keeps the chooser open, Escape
# cancels it.
touch user_data/rpl4/mine.rpl4_873
run save "result 0 path user_data\\rpl4\\rpl4_test" "type --delay 60 mine" "key Return" "key n" "key Escape"
# Open a replay that is not there: the must-exist message, then Cancel.
run replay "result 0 path " "key Tab" "type --delay 60 none" "key Return" "key Return" "key Tab" "key Tab" \
  "key Return"
# A message box and the quit question.
run box "result 2" "key Tab" "key Return"
run quit "quit 0" "key n"
grep -c . "$work/dialogs.log" >/dev/null && echo "transcript:" && cat "$work/dialogs.log"
exit $failed
