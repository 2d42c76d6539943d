target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Groups.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GroupTree.cpp
)
