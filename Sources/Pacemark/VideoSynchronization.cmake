# PacemarkVideoSynchronization: aligning an activity with a background video
# from the video's metadata. Plain C++ over the core; no Qt, no FFmpeg.
add_library(PacemarkVideoSynchronization STATIC ${CMAKE_CURRENT_LIST_DIR}/VideoSynchronization.cpp)
target_include_directories(PacemarkVideoSynchronization PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(PacemarkVideoSynchronization PUBLIC TelemetryCore PRIVATE pacemark_warnings)
