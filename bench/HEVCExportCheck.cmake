# SPDX-License-Identifier: GPL-3.0-or-later
# The long-export check drives the real exporter and renderer and decodes
# with node-av (installed into the build tree by the HEVCAlphaDecoderSetup
# test), the system FFmpeg and libde265's dec265.
find_program(PACEMARK_NODE node)
find_program(PACEMARK_DEC265 NAMES libde265-dec265 dec265)
target_link_libraries(HEVCExportCheck PRIVATE PacemarkFFmpeg PacemarkX265 PacemarkMovieWriters PacemarkCairo)
target_compile_definitions(HEVCExportCheck PRIVATE
  PACEMARK_NODE="${PACEMARK_NODE}"
  PACEMARK_DEC265="${PACEMARK_DEC265}"
  PACEMARK_HEVC_ALPHA_DECODER_FOLDER="${PROJECT_BINARY_DIR}/hevc-alpha-decoder"
  PACEMARK_HEVC_STREAM_DECODE_SCRIPT="${PROJECT_SOURCE_DIR}/Tests/Platform/decode-hevc-alpha.mjs")
