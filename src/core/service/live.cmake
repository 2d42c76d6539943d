# The service's live view of the bus: kept identity, generations, the reader's rounds.
target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/LiveView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusReader.cpp
)
