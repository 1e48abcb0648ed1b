# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when the core links anything beyond what it is allowed: expat, the
# header-only nlohmann/json and the project's warning flags; and when a
# program linking only the core depends on cairo, Pango, FFmpeg, x265 or Qt.
cmake_policy(SET CMP0057 NEW)  # if(IN_LIST) in a script
set(allowed "EXPAT::EXPAT" "nlohmann_json::nlohmann_json" "pacemark_warnings")
string(REGEX REPLACE "\\$<LINK_ONLY:([^>]*)>" "\\1" libraries "${LINK_LIBRARIES}")
foreach(library IN LISTS libraries)
  if(NOT library IN_LIST allowed)
    message(FATAL_ERROR "TelemetryCore links ${library}, which is not one of: ${allowed}")
  endif()
endforeach()
execute_process(COMMAND ldd ${PROBE} OUTPUT_VARIABLE deps RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ldd failed on ${PROBE}")
endif()
string(TOLOWER "${deps}" deps_lower)
if(deps_lower MATCHES "libcairo|libpango|libavformat|libavcodec|libavutil|libswscale|libx265|libqt")
  message(FATAL_ERROR "A program linking only TelemetryCore depends on a platform library:\n${deps}")
endif()
message(STATUS "TelemetryCore link interface: ${LINK_LIBRARIES}")
