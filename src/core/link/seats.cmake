# A line the service holds, used through its seat.
target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SeatLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SeatWire.cpp
)
