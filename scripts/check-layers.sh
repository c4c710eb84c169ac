#!/usr/bin/env bash
# Checks that every #include in src/ points down the stack of layers:
#   app > front > play > flow > scene > gfx, audio > data > base > platform
# A file may include its own folder and any folder below it; an include that
# points up, or sideways between gfx and audio, fails with its file and line.
# Inside play/ the rooms stack the same way:
#   stage > rules > commands > objects > world
# and every file of play/ lives in one of them.
# Only src/platform may include the system libraries (SDL2, FreeType,
# fontconfig, FluidSynth, vorbis, iconv, POSIX).
# Usage: scripts/check-layers.sh [SRC_DIR]   (default: src/ of this checkout)
set -euo pipefail
src="${1:-$(cd "$(dirname "$0")/.." && pwd)/src}"
[ -d "$src" ] || { echo "check-layers: no folder $src" >&2; exit 2; }

find "$src" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inc' \) -print0 | sort -z |
  xargs -0 awk -v root="$src/" '
    BEGIN {
      split("platform base data gfx:audio scene flow play front app", order, " ")
      for (i in order) { n = split(order[i], same, ":"); for (j = 1; j <= n; j++) rank[same[j]] = i }
      split("world objects commands rules stage", rooms, " ")
      for (i in rooms) roomRank[rooms[i]] = i
      system_headers = "^(SDL|SDL2/|ft2build|freetype/|fontconfig/|fluidsynth|vorbis/|ogg/|iconv\\.h|unistd\\.h|fcntl\\.h|dlfcn\\.h|pthread\\.h|signal\\.h|poll\\.h|dirent\\.h|sys/|netinet/|arpa/)"
      bad = 0
    }
    FNR == 1 {
      rel = substr(FILENAME, length(root) + 1)
      layer = (index(rel, "/") ? substr(rel, 1, index(rel, "/") - 1) : "")
      room = ""
      if (layer == "play") {
        rest = substr(rel, length("play/") + 1)
        room = (index(rest, "/") ? substr(rest, 1, index(rest, "/") - 1) : "")
        if (!(room in roomRank)) {
          printf "%s: play/ keeps its files in its rooms (%s)\n", FILENAME, "world objects commands rules stage"
          bad = 1
        }
      }
    }
    /^[ \t]*#[ \t]*include[ \t]*[<"]/ {
      line = $0
      sub(/^[ \t]*#[ \t]*include[ \t]*/, "", line)
      quote = substr(line, 1, 1)
      target = substr(line, 2)
      sub(/[">].*$/, "", target)
      if (quote == "<") {
        if (layer != "platform" && layer != "" && target ~ system_headers) {
          printf "%s:%d: %s includes the system header <%s>; only platform/ may\n", FILENAME, FNR, layer, target
          bad = 1
        }
        next
      }
      if (index(target, "/") == 0) next                  # a file beside this one
      to = substr(target, 1, index(target, "/") - 1)
      if (!(to in rank)) next
      if (layer == "") next                              # main.cpp sits above every layer
      if (!(layer in rank)) {
        printf "%s:%d: folder %s is not a layer\n", FILENAME, FNR, layer
        bad = 1
        next
      }
      if (to != layer && rank[to] >= rank[layer]) {
        how = (rank[to] == rank[layer]) ? "sideways" : "up"
        printf "%s:%d: %s includes %s (%s: a layer includes only the layers below it)\n", FILENAME, FNR, layer, target, how
        bad = 1
      }
      if (to == "play") {
        rest = substr(target, length("play/") + 1)
        toRoom = (index(rest, "/") ? substr(rest, 1, index(rest, "/") - 1) : "")
        if (!(toRoom in roomRank)) {
          printf "%s:%d: includes %s, which is in no room of play/\n", FILENAME, FNR, target
          bad = 1
        } else if (layer == "play" && (room in roomRank) && roomRank[toRoom] > roomRank[room]) {
          printf "%s:%d: play/%s includes %s (up: a room of play/ includes only the rooms below it)\n", FILENAME, FNR, room, target
          bad = 1
        }
      }
    }
    END { exit bad }
  ' || { echo "check-layers: failed" >&2; exit 1; }
echo "check-layers: ok"
