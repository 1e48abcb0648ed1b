#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The test command of the README: installs what is missing, builds, runs
# every test through CTest.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${PACEMARK_BUILD_DIR:-$root/build}"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure --timeout 900 -j "$(nproc)"
