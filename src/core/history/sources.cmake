# The block history: Debian's SQLite behind the adapter in Sqlite.cpp.
find_package(SQLite3 REQUIRED)
target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/BlockDiff.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistoryJson.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistoryPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistoryStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Snapshots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Sqlite.cpp
)
target_link_libraries(ombrix_core PRIVATE SQLite::SQLite3)
