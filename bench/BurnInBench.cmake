# SPDX-License-Identifier: GPL-3.0-or-later
# The burn-in benchmark runs the real renderer, the ProRes writer (for the
# overlay movie the ffmpeg command composites) and the burn-in.
if(TARGET PacemarkFFmpeg AND TARGET PacemarkCairo AND TARGET PacemarkMovieWriters)
  target_link_libraries(${name} PRIVATE PacemarkFFmpeg PacemarkCairo PacemarkMovieWriters)
else()
  set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
endif()
