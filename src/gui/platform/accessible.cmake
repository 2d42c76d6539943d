target_sources(ombrix_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Accessible.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProjectorNews.cpp
)
