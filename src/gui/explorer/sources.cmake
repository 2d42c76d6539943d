target_sources(ombrix_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ExplorerWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RamFilesView.cpp
)
