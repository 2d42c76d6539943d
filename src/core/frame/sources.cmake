target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FrameTables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HelpTopics.cpp
)
