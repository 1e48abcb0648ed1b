# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DINPUT=FILE -DOUTPUT=FILE.gz -P GzipFile.cmake
# Compresses for the package the way Debian expects: best compression and no
# name or time stamp in the header, so the same input gives the same bytes.
execute_process(COMMAND gzip -9 -n -c "${INPUT}" OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "gzip failed on ${INPUT}: ${result}")
endif()
