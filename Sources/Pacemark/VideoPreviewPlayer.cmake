# PacemarkVideoPlayer: the muted background-video player of the editor preview.
# QtCore for the object, its timer and signals; FFmpeg decoding through the
# platform reader on a worker thread.
find_package(Qt6 REQUIRED COMPONENTS Core)
find_package(Threads REQUIRED)
add_library(PacemarkVideoPlayer STATIC
  ${CMAKE_CURRENT_LIST_DIR}/VideoPreviewPlayer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VideoPreviewPlayer.h)
set_target_properties(PacemarkVideoPlayer PROPERTIES AUTOMOC ON)
target_include_directories(PacemarkVideoPlayer PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(PacemarkVideoPlayer
  PUBLIC Qt6::Core PacemarkFFmpegReader Threads::Threads
  PRIVATE pacemark_warnings)
