# SPDX-License-Identifier: GPL-3.0-or-later
# The window's responsiveness: the real window over the real services, as
# main() builds them; needs a display (run it under xvfb-run).
if(TARGET PacemarkWindow AND TARGET PacemarkVideoServices)
  target_link_libraries(WindowResponsivenessBench PRIVATE
    PacemarkWindow PacemarkVideoServices PacemarkFFmpeg PacemarkX265 PacemarkMovieWriters PacemarkCairo)
  target_compile_definitions(WindowResponsivenessBench PRIVATE PACEMARK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
else()
  set_target_properties(WindowResponsivenessBench PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()
