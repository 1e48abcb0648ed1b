# SPDX-License-Identifier: GPL-3.0-or-later
# HEVC-with-alpha encoding speed against ProRes on the same rendered frames.
target_link_libraries(HEVCAlphaBench PRIVATE PacemarkX265 PacemarkFFmpeg PacemarkMovieWriters PacemarkCairo)
