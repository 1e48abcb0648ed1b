#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The run command of the README: installs what is missing and builds. With a
# display it opens FILE (default: the bundled sample ride) in the window;
# without one it shows the summary of FILE and exports the first minute of its
# overlay as a ProRes 4444 movie with alpha into build/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${PACEMARK_BUILD_DIR:-$root/build}"
file="${1:-$root/samples/sample-ride.fit}"
cli="$build/Sources/PacemarkCLI/pacemark-cli"
app="$build/Sources/Pacemark/pacemark"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x "$app" ]]; then
  exec "$app" "$file"
fi
"$cli" info "$file"
echo
name="$(basename "${file%.*}")"
movie="$build/$name-telemetry.mov"
"$cli" export "$file" --end 60 -o "$movie"
echo "Фильм с оверлеем: $movie"
