#!/usr/bin/env bash
# Installs what is missing, builds, and plays the game in PROJECT_FOLDER
# (default: the bundled demo project, made under build/demo).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" release
project="${1:-$root/build/demo}"
mkdir -p "$project"
cd "$project"
# The game opens on its title; a stage file after the folder is played on
# its own.
exec "$root/build/release/pelmora" "${@:2}"
