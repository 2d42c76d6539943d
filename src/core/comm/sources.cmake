target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CommLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InfoPages.cpp
)
