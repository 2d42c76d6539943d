# The service's side of the seats: the line lent to the machine's programs.
target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SeatHost.cpp
)
