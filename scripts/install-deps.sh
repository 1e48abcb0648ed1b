#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages the build, the tests and the application need.
# Only what is missing is installed; uses sudo when not running as root.
set -euo pipefail

packages=(
  # toolchain and test frameworks
  g++ cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # telemetry input
  libexpat1-dev
  # layout files (JSON, header-only)
  nlohmann-json3-dev
  # drawing and text
  libcairo2-dev libpango1.0-dev fonts-inter
  # movie writing and reading
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libx265-dev ffmpeg
  # desktop application
  qt6-base-dev libgl-dev xvfb xauth
  # Debian package: building it (dpkg-shlibdeps), icons drawn from the SVG,
  # and the tools its tests validate it with (lintian, desktop entry, AppStream,
  # MIME database queried through GIO, manual pages)
  dpkg-dev librsvg2-bin lintian desktop-file-utils appstream shared-mime-info libglib2.0-bin man-db groff
  # Qt's own dialogs in Russian (a dependency of the package)
  qt6-translations-l10n
  # independent decoder used by the HEVC tests (fetched from the npm registry by the test script)
  nodejs
  # a second independent HEVC decoder (dec265) for the HEVC tests
  libde265-examples
  # GStreamer's QuickTime demuxer and ProRes decoder for the compact ProRes tests
  gstreamer1.0-tools gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-good gstreamer1.0-libav
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Устанавливаю недостающие пакеты: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
