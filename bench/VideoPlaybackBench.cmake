# SPDX-License-Identifier: GPL-3.0-or-later
# Background-video playback in the real window; needs a display (xvfb-run).
if(TARGET PacemarkWindow AND TARGET PacemarkVideoServices)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  target_link_libraries(VideoPlaybackBench PRIVATE Qt6::Test
    PacemarkWindow PacemarkVideoServices PacemarkFFmpeg PacemarkX265 PacemarkCairo)
  target_compile_definitions(VideoPlaybackBench PRIVATE PACEMARK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
else()
  set_target_properties(VideoPlaybackBench PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()
