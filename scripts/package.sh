#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The package command of the README: installs what is missing, builds, and
# makes the Debian package build/package/pacemark_VERSION_ARCH.deb (printing
# its path).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${PACEMARK_BUILD_DIR:-$root/build}"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DPACEMARK_BUILD_APP=ON
if [[ ! -f "$build/CPackConfig.cmake" ]]; then
  echo "Пакет собирается только вместе с приложением: оно не собралось." >&2
  exit 1
fi
cpack --config "$build/CPackConfig.cmake" -B "$build/package" |
  sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p'
