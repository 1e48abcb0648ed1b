#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How long a player needs to show a frame after seeking into an HEVC overlay:
# exports ten minutes of the sample ride (600 to 1200 s, 1920x1080, 30 fps,
# default layout) with pacemark-cli, then asks the system FFmpeg for one
# frame at 20 positions spread over the movie,
#   ffmpeg -ss T -i overlay.mov -frames:v 1 -f null -
# and reports each time (wall and CPU), the worst, and the key frames'
# largest and mean distance in frames. Run on a quiet machine:
#   bench/hevc-seek.sh build-release/Sources/PacemarkCLI/pacemark-cli [MOVIE]
# MOVIE (default: a temporary file) is kept when given, and reused when it
# already exists.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:?usage: hevc-seek.sh PACEMARK-CLI [MOVIE]}"
movie="${2:-}"
if [[ -z "$movie" ]]; then
  scratch="$(mktemp -d)"
  trap 'rm -rf "$scratch"' EXIT
  movie="$scratch/overlay.mov"
fi
if [[ ! -e "$movie" ]]; then
  start=$(date +%s.%N)
  "$cli" export "$root/samples/sample-ride.fit" --codec hevc --start 600 --end 1200 --output "$movie" >/dev/null
  echo "export: $(echo "$(date +%s.%N) - $start" | bc) s"
fi

# Key-frame distances from the packet flags.
ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$movie" |
  awk '{ if (index($0, "K") == 1) { if (n) { d = NR - last; if (d > worst) worst = d; sum += d; count++ } last = NR; n++ } }
       END { printf "key frames: %d, largest distance %d frames, mean %.1f\n", n, worst, count ? sum / count : 0 }'

# Twenty positions from 59 s on, 27.1 s apart: they fall at every phase of
# the key-frame pattern, just after a key frame and just before one.
worst=0
for i in $(seq 0 19); do
  at=$(echo "scale=3; 59 + $i * 27.1" | bc)
  times=$( { /usr/bin/time -f "%e %U %S" ffmpeg -nostdin -v error -ss "$at" -i "$movie" -frames:v 1 -f null - ; } 2>&1 | tail -1)
  read -r wall user system <<<"$times"
  cpu=$(echo "$user + $system" | bc)
  printf "seek %7.3f s: %s s wall, %s s CPU\n" "$at" "$wall" "$cpu"
  if (( $(echo "$wall > $worst" | bc) )); then worst=$wall; fi
done
echo "worst seek: $worst s wall"
