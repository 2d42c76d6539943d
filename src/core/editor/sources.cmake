target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EditorFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PrintLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextSearch.cpp
)
