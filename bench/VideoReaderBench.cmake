# SPDX-License-Identifier: GPL-3.0-or-later
# The reader benchmark opens generated 4K clips through the FFmpeg reader.
if(TARGET PacemarkFFmpegReader)
  target_link_libraries(${name} PRIVATE PacemarkFFmpegReader)
else()
  set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
endif()
