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
# Until the game has its title menu, the bundled demo opens on its stage.
if [ $# -eq 0 ]; then
  exec "$root/build/release/pelmora" 'data\stg4\demo.stg4_1'
fi
exec "$root/build/release/pelmora" "${@:2}"
