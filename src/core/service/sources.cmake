target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EventHub.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistoryService.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProjectorJson.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceCommands.cpp
)
