# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the independent decoder used by the HEVC-with-alpha tests -- the
# npm packages node-av and its prebuilt Linux FFmpeg binding -- into FOLDER
# (a cache inside the build tree). Without npm, or when the registry cannot
# be reached, it says so and succeeds: the decoding tests then report that
# they skipped.
#   cmake -DNPM=<npm or empty> -DFOLDER=<folder> -P install-hevc-alpha-decoder.cmake
set(NODE_AV_VERSION 6.1.1)
set(marker "${FOLDER}/node_modules/@seydx/node-av-linux-x64/node-av.node")
if(EXISTS "${marker}" AND EXISTS "${FOLDER}/node_modules/node-av/package.json")
  message(STATUS "HEVC alpha decoder already installed in ${FOLDER}")
  return()
endif()
if(NOT NPM)
  message(STATUS "npm not found: the HEVC alpha decoding tests will skip")
  return()
endif()
file(MAKE_DIRECTORY "${FOLDER}")
# --ignore-scripts: the binding ships prebuilt; node-av's own install
# scripts would only download an ffmpeg command-line tool we do not use.
# --omit=optional: node-av's optional dependencies are other platforms'
# bindings and a WebRTC stack; the Linux binding is named explicitly.
execute_process(
  COMMAND "${NPM}" install --prefix "${FOLDER}" --no-audit --no-fund --no-save --ignore-scripts --omit=optional
          "node-av@${NODE_AV_VERSION}" "@seydx/node-av-linux-x64@${NODE_AV_VERSION}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output
  TIMEOUT 600)
if(NOT result EQUAL 0 OR NOT EXISTS "${marker}")
  message(STATUS "Could not install node-av (${result}); the HEVC alpha decoding tests will skip:\n${output}")
else()
  message(STATUS "HEVC alpha decoder installed in ${FOLDER}")
endif()
