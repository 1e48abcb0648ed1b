#!/usr/bin/env bash
# The run command of the README: installs what is missing, builds, and runs
# the main job on FILE (default: the bundled sample ride).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${PACEMARK_BUILD_DIR:-$root/build}"
file="${1:-$root/samples/sample-ride.fit}"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
"$build/Sources/PacemarkCLI/pacemark-cli" info "$file"
