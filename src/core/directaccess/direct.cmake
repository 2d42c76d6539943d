target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CompareProjectors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DirectAccess.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Force.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Iris.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Sources.cpp
)
target_sources(ombrix_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/GroupWork.cpp)
