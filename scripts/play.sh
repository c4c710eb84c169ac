#!/usr/bin/env bash
# Installs what is missing, builds, and plays the game in PROJECT_FOLDER
# (default: the bundled demo project, made under build/demo).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# A folder named must be there already (before the long set-up and build):
# nothing here makes it.
if [ $# -ge 1 ] && [ ! -d "$1" ]; then
  echo "play.sh: no folder $1: name a game's project folder (the one with data\ and bmp\ in it)" >&2
  exit 2
fi
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" release
# The demo project is written by the build.
project="${1:-$root/build/demo}"
# The game plays in the folder it is given (its log and saves go there); it
# opens on its title, and a stage file after the folder is played on its own.
exec "$root/build/release/pelmora" "$project" "${@:2}"
