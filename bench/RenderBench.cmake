# SPDX-License-Identifier: GPL-3.0-or-later
# The render benchmark draws through the cairo surface and reuses the test ride.
target_link_libraries(RenderBench PRIVATE PacemarkCairo)
target_include_directories(RenderBench PRIVATE ${PROJECT_SOURCE_DIR}/Tests/Rendering)
