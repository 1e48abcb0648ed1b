#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzzers (every fuzz/*Fuzzer.cpp) with libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer, and runs one of them.
#
#   scripts/fuzz.sh                       build every fuzzer
#   scripts/fuzz.sh NAME [SECONDS] [ARGS] build all, then run NAME for SECONDS
#                                         (default 60) in one process; extra
#                                         ARGS go to libFuzzer
#
# Each fuzzer names in its source the core files it needs and the seed files
# it wants (and libFuzzer options of its own), so the script stays the same for every fuzzer:
#   // fuzz-sources: Telemetry/FITParser.cpp Telemetry/TelemetryTime.cpp
#   // fuzz-seeds: fit
#   // fuzz-options: -max_len=65536
# (paths relative to Sources/TelemetryCore; seeds by file extension, taken
# from samples/, fuzz/seeds/ and from the shared test data beside the
# checkout if present).
# Everything is written under fuzz-out/ (git-ignored): binaries, the corpus,
# crash artifacts and the run log.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/fuzz-out"
core="$root/Sources/TelemetryCore"
shared="$root/../shared/testdata"
cxx=${CXX_FUZZ:-clang++}
mkdir -p "$out/bin"

directive() {  # directive FILE NAME: the words after "// fuzz-NAME:"
  sed -n "s|^// fuzz-$2:||p" "$1" | tr '\n' ' '
}

build() {
  local source=$1 name sources=() s
  name=$(basename "$source" .cpp)
  for s in $(directive "$source" sources); do sources+=("$core/$s"); done
  if [ ${#sources[@]} -eq 0 ]; then
    mapfile -t sources < <(find "$core" -name '*.cpp' | sort)
  fi
  echo "building $name" >&2
  "$cxx" -std=c++20 -g -O1 -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$core" "$source" "${sources[@]}" -lexpat -o "$out/bin/$name"
}

for source in "$root"/fuzz/*Fuzzer.cpp; do
  [ -e "$source" ] || continue
  build "$source"
done

[ $# -ge 1 ] || exit 0
name=$1
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
source="$root/fuzz/$name.cpp"
[ -x "$out/bin/$name" ] || { echo "no fuzzer named $name" >&2; exit 2; }

corpus="$out/corpus/$name"
artifacts="$out/artifacts/$name"
mkdir -p "$corpus" "$artifacts"
for extension in $(directive "$source" seeds); do
  for folder in "$root/samples" "$shared" "$root/fuzz/seeds"; do
    [ -d "$folder" ] || continue
    find "$folder" -type f -name "*.$extension" -exec cp -n {} "$corpus/" \;
  done
done

echo "running $name for $seconds s on $(ls "$corpus" | wc -l) corpus files" >&2
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
"$out/bin/$name" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$artifacts/" $(directive "$source" options) "$@" "$corpus" 2>&1 | tee "$out/$name.log"
