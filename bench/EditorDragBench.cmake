# SPDX-License-Identifier: GPL-3.0-or-later
# The editor's drag step needs the window library (the widget previews) and Qt.
if(TARGET PacemarkWindow)
  target_link_libraries(EditorDragBench PRIVATE PacemarkWindow PacemarkCairo)
  target_include_directories(EditorDragBench PRIVATE ${PROJECT_SOURCE_DIR}/Tests/Rendering
                             ${PROJECT_SOURCE_DIR}/Sources/Pacemark/Window)
else()
  set_target_properties(EditorDragBench PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()
