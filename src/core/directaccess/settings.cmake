target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CompareBlocks.cpp
)
