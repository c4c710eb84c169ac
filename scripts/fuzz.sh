#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) and gives each a short run
# with a fixed seed, starting from its seed files in fuzz/corpus/<target>/.
# Then the data-file targets get a second short run over inputs up to 16 MB,
# from large seeds the independent writer makes (hostile and valid files):
# a reader whose memory follows what a file claims rather than what it holds
# passes the RSS limit there.
# Usage: scripts/fuzz.sh [RUNS [LARGE_SECONDS]]   (default 20000 inputs per
# target, 25 s per target for the large run)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20000}"
large_seconds="${2:-25}"
shopt -s nullglob
targets=(fuzz/*_fuzz.cpp)
[ ${#targets[@]} -eq 0 ] && { echo "fuzz: no targets"; exit 0; }
bash scripts/build.sh fuzz
status=0
for src in "${targets[@]}"; do
  name="$(basename "$src" .cpp)"
  seeds="fuzz/corpus/$name"
  work="build/fuzz/corpus-$name"
  rm -rf "$work" && mkdir -p "$work"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  if ./build/fuzz/"$name" -seed=1 -runs="$runs" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
       "$work" >"build/fuzz/$name.log" 2>&1; then
    echo "fuzz: $name: $(grep -E '^Done' "build/fuzz/$name.log" | tail -1)"
  else
    echo "fuzz: $name FAILED"; tail -40 "build/fuzz/$name.log"; status=1
  fi
done

# The large run: seeds of about 4 MB, inputs up to 16 MB.
seeds=build/fuzz/large-seeds
rm -rf "$seeds" && python3 tests/data/project_writer.py "$seeds" --hostile 4
large_run() {  # target, then its seed files
  local name="$1"; shift
  local work="build/fuzz/large-$name"
  rm -rf "$work" && mkdir -p "$work"
  cp "$@" "$work"/
  if ./build/fuzz/"$name" -seed=1 -max_len=16777216 -len_control=0 -rss_limit_mb=2048 -timeout=20 \
       -artifact_prefix=build/fuzz/ \
       -max_total_time="$large_seconds" "$work" >"build/fuzz/$name-large.log" 2>&1; then
    echo "fuzz: $name (up to 16 MB): $(grep -E '^Done' "build/fuzz/$name-large.log" | tail -1)"
  else
    echo "fuzz: $name (up to 16 MB) FAILED"; tail -40 "build/fuzz/$name-large.log"; status=1
  fi
  rm -rf "$work"  # the inputs it kept are megabytes each
}
large_run stage_fuzz "$seeds"/hostile/*.stg4_1
# The database target takes the list's number first.
{ printf '\x00'; cat "$seeds/hostile/db/AnimeSet.dat"; } >"$seeds/animeset.in"
{ printf '\x03'; cat "$seeds/hostile/db/SwordType.dat"; } >"$seeds/swordtype.in"
large_run database_fuzz "$seeds"/*.in
rm -rf "$seeds"
exit "$status"
