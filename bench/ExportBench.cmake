# SPDX-License-Identifier: GPL-3.0-or-later
# The export benchmark drives the real renderer and the ProRes writer, and
# decodes what it wrote (with the tests' decoder) to report picture quality.
target_sources(ExportBench PRIVATE ${PROJECT_SOURCE_DIR}/Tests/Export/MovieDecoding.cpp)
target_include_directories(ExportBench PRIVATE ${PROJECT_SOURCE_DIR}/Tests/Export)
target_link_libraries(ExportBench PRIVATE PacemarkFFmpeg PacemarkX265 PacemarkCairo)
target_compile_definitions(ExportBench PRIVATE PACEMARK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
