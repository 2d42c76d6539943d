target_sources(ombrix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Mqtt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MqttEvents.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScheduleService.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Schedule.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Scheduler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceAction.cpp
)
