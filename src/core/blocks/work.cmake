target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/BlockWork.cpp
)
