# Where the installed program keeps its files; the ports a person can pick; how bytes
# reach the line.
add_executable(install_tests ${CMAKE_CURRENT_LIST_DIR}/../unit/install_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../unit/rfc2217_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../unit/line_write_test.cpp)
target_link_libraries(install_tests PRIVATE ombrix_core GTest::gtest_main)
# The description lookup's error box takes its text from the type library.
add_dependencies(install_tests kelvaneproj)
gtest_discover_tests(install_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

# A network serial server in rfc2217 mode in front of the simulator.
add_test(NAME rfc2217_through_ser2net
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/../e2e/rfc2217_ser2net.sh $<TARGET_FILE_DIR:ombrix-cli>
          ${PROJECT_SOURCE_DIR}/data/demo-bus.cfg)
set_tests_properties(rfc2217_through_ser2net PROPERTIES LABELS e2e TIMEOUT 120)

# ombrix-cli --json against the in-process simulator.
find_package(nlohmann_json 3.10 REQUIRED)
add_executable(cli_json_tests ${CMAKE_CURRENT_LIST_DIR}/../integration/cli_json_test.cpp)
target_link_libraries(cli_json_tests PRIVATE ombrix_core ombrix_sim ombrix_cli nlohmann_json::nlohmann_json GTest::gtest_main)
add_dependencies(cli_json_tests kelvaneproj)
gtest_discover_tests(cli_json_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)
