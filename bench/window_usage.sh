#!/usr/bin/env bash
# Processor time and resident memory of the game in a window under Xvfb:
# the demo stage (sky and hill backgrounds) played from its command line,
# measured over a fixed span after it settles, with the goals beside them.
#   bench/window_usage.sh [SECONDS]   (needs Xvfb: apt-get install xvfb)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
span="${1:-10}"
game="${PELMORA:-$root/build/release/pelmora}"
command -v Xvfb > /dev/null || { echo "Xvfb is not installed (apt-get install xvfb)"; exit 1; }
work="$(mktemp -d)"
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1280x1024x24 > "$work/xvfb.log" 2>&1 &
xvfb=$!
cleanup() {
  [[ -n "${pid:-}" ]] && kill "$pid" 2> /dev/null || true
  kill "$xvfb" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
sleep 1
cp -r "$root/build/demo" "$work/project"
cd "$work/project"
DISPLAY="$display" SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}" "$game" 'data\stg4\demo.stg4_1' > "$work/game.log" 2>&1 &
pid=$!
sleep 5  # start-up and the stage's fade-in
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks)
sleep "$span"
t1=$(ticks)
rss=$(awk '/^VmRSS:/{print $2}' "/proc/$pid/status")
cpu=$(awk -v d=$((t1 - t0)) -v hz="$hz" -v s="$span" 'BEGIN{printf "%.1f", 100 * d / hz / s}')
printf '%-52s %10s %12s  %s\n' "goal of the game in a window" "measured" "goal" ""
printf '%-52s %9s%% %11s  %s\n' "processor, demo stage with sky and hills" "$cpu" "< 5%" \
  "$(awk -v c="$cpu" 'BEGIN{print (c < 5) ? "met" : "NOT MET"}')"
printf '%-52s %7d MB %12s  %s\n' "resident memory" $((rss / 1024)) "< 100 MB" \
  "$( ((rss < 100 * 1024)) && echo met || echo "NOT MET")"
