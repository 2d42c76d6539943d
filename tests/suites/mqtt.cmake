# Schedules: the file, next runs across daylight-saving changes, and the scheduler on the
# virtual clock against the in-process simulator.
add_executable(schedule_tests ${CMAKE_CURRENT_LIST_DIR}/../service/schedule_test.cpp)
target_link_libraries(schedule_tests PRIVATE ombrix_core ombrix_sim GTest::gtest_main)
target_include_directories(schedule_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support)
add_dependencies(schedule_tests kelvaneproj)
gtest_discover_tests(schedule_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

# The MQTT side without a broker: configuration, topics, payloads, what is published.
add_executable(mqtt_logic_tests ${CMAKE_CURRENT_LIST_DIR}/../service/mqtt_logic_test.cpp)
target_link_libraries(mqtt_logic_tests PRIVATE ombrix_core GTest::gtest_main)
target_include_directories(mqtt_logic_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support)
find_package(nlohmann_json 3.10 REQUIRED)
target_link_libraries(mqtt_logic_tests PRIVATE nlohmann_json::nlohmann_json)
add_dependencies(mqtt_logic_tests kelvaneproj)
gtest_discover_tests(mqtt_logic_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

# The broker adapter against mosquitto started by the test on a loopback port.
add_executable(mqtt_bridge_tests ${CMAKE_CURRENT_LIST_DIR}/../service/mqtt_bridge_test.cpp)
target_link_libraries(mqtt_bridge_tests PRIVATE ombrix_mqtt ombrix_sim GTest::gtest_main nlohmann_json::nlohmann_json)
target_include_directories(mqtt_bridge_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support)
add_dependencies(mqtt_bridge_tests kelvaneproj)
# MqttBridgeChild is the process the last-will test starts and kills, not a test.
gtest_discover_tests(mqtt_bridge_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES TEST_FILTER -MqttBridgeChild.*
                     PROPERTIES LABELS threaded)

# Schedule runs through the service's commands against the in-process simulator.
add_executable(schedule_service_tests ${CMAKE_CURRENT_LIST_DIR}/../service/schedule_service_test.cpp)
target_link_libraries(schedule_service_tests PRIVATE ombrix_core ombrix_sim ombrix_cli GTest::gtest_main)
target_include_directories(schedule_service_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support)
add_dependencies(schedule_service_tests kelvaneproj)
gtest_discover_tests(schedule_service_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS threaded)

# ombrix-server as a whole on ombrix-sim's pseudo-terminal, with mosquitto on a loopback port.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
add_executable(mqtt_server_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/../service/mqtt_server_e2e_test.cpp)
target_link_libraries(mqtt_server_e2e_tests PRIVATE ombrix_mqtt PkgConfig::HTTPLIB GTest::gtest_main)
target_include_directories(mqtt_server_e2e_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support)
target_compile_definitions(mqtt_server_e2e_tests PRIVATE
  OMBRIX_BIN_DIR="${CMAKE_BINARY_DIR}/bin" OMBRIX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(mqtt_server_e2e_tests ombrix-server ombrix-sim kelvaneproj)
gtest_discover_tests(mqtt_server_e2e_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS e2e)
