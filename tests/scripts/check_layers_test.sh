#!/usr/bin/env bash
# scripts/check-layers.sh passes on the tree as it is and fails, naming the
# file and line, on an include planted up or sideways across the layers and on
# a system header outside platform/.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
check="$root/scripts/check-layers.sh"
bash "$check" "$root/src" >/dev/null || { echo "FAIL: the tree itself does not pass"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
expect_failure() {  # file, line to plant, what the report must name
  rm -rf "$work/src" && cp -r "$root/src" "$work/src"
  printf '%s\n' "$2" >>"$work/src/$1"
  local lines
  lines=$(wc -l <"$work/src/$1")
  if out=$(bash "$check" "$work/src" 2>&1); then
    echo "FAIL: '$2' in $1 passed"; status=1
  elif ! grep -q "src/$1:$lines: .*$3" <<<"$out"; then
    echo "FAIL: '$2' in $1 not reported at line $lines: $out"; status=1
  fi
}
expect_failure data/record.h '#include "app/startup.h"' 'up'
expect_failure base/logs.cpp '#include "data/record.h"' 'up'
expect_failure gfx/dd.h '#include "audio/sound.h"' 'sideways'
expect_failure audio/sound.h '#include "gfx/dd.h"' 'sideways'
expect_failure scene/scene.h '#include <SDL.h>' 'system header'
[ "$status" -eq 0 ] && echo "check-layers test: ok"
exit "$status"
